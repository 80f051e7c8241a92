#pragma once
// Frames through a standard display model (colour/display_model.h) into opponent planes and
// back, where the profile's byte-table path (colour/conversions.h) does not apply: HLG, whose
// OOTF mixes the channels, and the inverse of every standard transfer.

#include <cstddef>

#include "colour/colour_types.h"
#include "colour/conversions.h"
#include "colour/display_model.h"
#include "image/pixel_buffer.h"

namespace orv {

// HLG frames: `scene_table` holds the scene light E of every byte value (per channel, red,
// green, blue); the OOTF makes display light, and `m` takes it to the planes.
void hlg_display_to_plane_rows(const PixelBuffer& pixels, const DisplayTable& scene_table,
                               const TransferParameters& p, const Matrix3& m, double* const* rows0,
                               double* const* rows1, double* const* rows2);

// Display light of one pixel from its non-linear red, green, blue signals in [0, 1] (clipped),
// for any standard transfer (HLG's OOTF included).
void signal_to_light(const TransferParameters& p, double rgb[3]);

// Planes back to 24-bit pixels through the inverse of `m` and of the standard transfer:
// each channel's signal times 255, truncated, as the profile's inverse model does.
void plane_rows_to_signal_bytes(PixelBuffer& out, const double* const* rows0,
                                const double* const* rows1, const double* const* rows2,
                                const TransferParameters& p, const Matrix3& m_inverse);

// One row of filtered opponent values to ICtCp (three values per pixel): XYZ through
// `atd_to_xyz`, linear BT.2020 RGB through `xyz_to_bt2020`, times `white_luminance` for
// absolute light, then bt2020_to_ictcp.
void atd_row_to_ictcp(const Matrix3& atd_to_xyz, const Matrix3& xyz_to_bt2020,
                      double white_luminance, int width, const double* a, const double* t,
                      const double* d, double* ictcp);

// ΔE ITP of `count` pixel pairs, ICtCp triples side by side, reference first.
void itp_difference_row(const double* reference_ictcp, const double* sample_ictcp,
                        std::size_t count, double* out);

}  // namespace orv
