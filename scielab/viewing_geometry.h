#pragma once
// The fixed viewing geometry of every S-CIELAB measurement: a 1920 x 1080 display of
// diagonal 14.0 seen at a distance factor of 0.04. The tangent of one pixel's visual angle is
// the pixel pitch times the distance factor; frequencies map to response bins with a factor
// of 0.5.

namespace orv::viewing {

inline constexpr double display_width_pixels = 1920.0;
inline constexpr double display_height_pixels = 1080.0;
inline constexpr double display_diagonal = 14.0;
inline constexpr double distance_factor = 0.04;
inline constexpr double degrees_per_radian = 57.29577951307855;
inline constexpr double frequency_to_bin = 0.5;

}  // namespace orv::viewing
