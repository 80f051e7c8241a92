#pragma once
// An 8-bit RGB picture, top row first, three bytes per pixel without row padding: the layout
// PNG files and the report use.

#include <cstdint>
#include <vector>

#include "image/pixel_buffer.h"
#include "report/colour_maps.h"

namespace orv {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3
};

// A picture of one colour.
RgbImage make_rgb_image(int width, int height, Rgb fill);

void fill_rectangle(RgbImage& image, int x, int y, int width, int height, Rgb colour);

// A frame (blue, green, red, rows bottom-up) as a picture, top row first.
RgbImage frame_picture(const PixelBuffer& frame);

// The picture reduced by the smallest whole factor that brings its width to at most
// `max_width`, each output pixel the mean of its factor x factor block.
RgbImage shrink_to_width(const RgbImage& image, int max_width);

}  // namespace orv
