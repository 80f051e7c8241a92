#pragma once
// Per-pixel colour arithmetic of the S-CIELAB measurement.

#include <string>

#include "colour/colour_types.h"
#include "colour/pixel_buffer.h"

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

}  // namespace orv
