#pragma once
// The grey picture of a difference map: each value scaled between the map's extremes to a
// byte, the same in all three channels.

#include "colour/colour_types.h"
#include "image/pixel_buffer.h"

namespace orv {

// scale_to_grey's picture of values whose extremes, found from -10000 and 10000, are `min`
// and `max`; `output` is checked and matches the values.
void grey_between(const double* values, double min, double max, PixelBuffer& output);

// The grey picture difference_map makes of its map, between the map's own minimum and maximum
// (summarise_map): a new buffer of the map's geometry.
PixelBuffer map_grey_picture(const InterleavedImage& map);

}  // namespace orv
