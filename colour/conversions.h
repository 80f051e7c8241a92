#pragma once
// Per-pixel colour arithmetic of the S-CIELAB measurement.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "colour/colour_types.h"
#include "image/pixel_buffer.h"

namespace orv {

Matrix3 load_rgb_to_atd(const std::string& folder);  // LMStoATD * XYZtoLMS * RGBtoXYZ
Matrix3 load_xyz_to_atd(const std::string& folder);  // LMStoATD * XYZtoLMS

PlanarImage display_to_planes(const PixelBuffer& pixels, const GogParameters& gog,
                              const Matrix3& m);
// `out` must have the planes' width and height (it keeps its own stride).
void planes_to_display(PixelBuffer& out, const PlanarImage& image, const GogParameters& gog,
                       const Matrix3& m_inverse);

void xyz_to_lab(const double xyz[3], const double white[3], double lab[3]);
double delta_e94(const double reference_lab[3], const double sample_lab[3]);

InterleavedImage atd_to_lab_image(const PlanarImage& image, const std::string& folder);
InterleavedImage colour_difference_image(const InterleavedImage& reference,
                                         const InterleavedImage& sample);

// Largest width or height a frame may have.
constexpr int max_frame_side = 32768;

// Refuses (Failure) a buffer whose bytes do not cover its own width, height and stride.
// `what` names the buffer in the message ("source", "destination", ...).
void check_pixel_buffer(const PixelBuffer& buffer, const char* what);

// Refuses (Failure) a matrix with a non-finite element or (numerically) dependent rows.
void check_matrix_invertible(const Matrix3& m, const std::string& name);

// Pseudo-inverse of a 3x3 matrix.
Matrix3 invert_matrix3(const Matrix3& m);

// The forward display model of every byte value, per channel (red, green, blue):
// (gain * d * 0.00392156862745098 + offset) clamped at 0, raised to gamma.
using DisplayTable = std::array<std::array<double, 256>, 3>;
DisplayTable make_display_table(const GogParameters& gog);

// display_to_planes into caller-owned planes of pixels.width * pixels.height doubles
// (the buffer is assumed checked).
void display_to_planes_into(const PixelBuffer& pixels, const DisplayTable& table,
                            const Matrix3& m, double* plane0, double* plane1, double* plane2);

// The same with the planes given row by row: rowsK[y] is row y of plane K.
void display_to_plane_rows(const PixelBuffer& pixels, const DisplayTable& table, const Matrix3& m,
                           double* const* rows0, double* const* rows1, double* const* rows2);

// planes_to_display from caller-owned planes of out.width * out.height doubles
// (the buffer is assumed checked).
void planes_to_display_from(PixelBuffer& out, const double* plane0, const double* plane1,
                            const double* plane2, const GogParameters& gog,
                            const Matrix3& m_inverse);

// The same with the planes given row by row: rowsK[y] is row y of plane K.
void plane_rows_to_display(PixelBuffer& out, const double* const* rows0,
                           const double* const* rows1, const double* const* rows2,
                           const GogParameters& gog, const Matrix3& m_inverse);

// The inverse display model of one channel value u: (u^(1/gamma) - offset) / gain, times
// 255, clipped to 0..255 and truncated; 0 where u has no real power.
std::uint8_t inverse_display_byte(double u, const GogChannel& channel, double inverse_gamma);

// atd_to_lab_image with the ATD-to-XYZ matrix already at hand.
InterleavedImage atd_to_lab_with(int width, int height, const double* a, const double* t,
                                 const double* d, const Matrix3& atd_to_xyz);

}  // namespace orv
