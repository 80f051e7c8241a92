// Writes the bundled sample reference sequence: small frames with sharp colour edges, smooth
// gradients and fine texture, moving a little from frame to frame; the last frame has an odd
// size (rows need filler bytes). Usage: orv-make-samples BASE  (writes BASE_0000.bmp, ...).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "image/bmp_file.h"
#include "image/file_names.h"
#include "image/pixel_buffer.h"

namespace {

struct Rgb {
    int r, g, b;
};

void put_u32(orv::HeaderBlock& h, int at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        h[static_cast<std::size_t>(at + k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

orv::HeaderBlock header_for(int width, int height) {
    orv::HeaderBlock h(orv::header_block_size, 0);
    put_u32(h, 0, 40);
    put_u32(h, 4, static_cast<std::uint32_t>(width));
    put_u32(h, 8, static_cast<std::uint32_t>(height));
    h[12] = 1;   // planes
    h[14] = 24;  // bits per pixel
    put_u32(h, 20, static_cast<std::uint32_t>(orv::stride_for_width(width) * height));
    put_u32(h, 24, 2835);  // 72 dots per inch
    put_u32(h, 28, 2835);
    return h;
}

// Colour of picture pixel (x, y), y counted from the top, in frame `frame`.
Rgb sample_colour(int x, int y, int width, int height, int frame) {
    const int band = height / 3;
    if (y < band) {
        // Saturated bars with sharp edges, drifting right by 3 pixels a frame.
        static const Rgb bars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                    {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
        const int bar_width = width / 8 > 0 ? width / 8 : 1;
        return bars[((x + 3 * frame) / bar_width) % 8];
    }
    if (y < 2 * band) {
        // Smooth gradients: red rises to the right, blue falls, green rises downwards.
        const int r = x * 255 / (width - 1);
        const int g = (y - band) * 255 / (band - 1 > 0 ? band - 1 : 1);
        const int b = 255 - r;
        return {r, (g + 16 * frame) % 256, b};
    }
    if (x < width / 2) {
        // One-pixel checkerboard of orange and blue, with a two-pixel patch that moves.
        const bool odd = ((x + y + frame) & 1) != 0;
        return odd ? Rgb{250, 140, 20} : Rgb{30, 60, 200};
    }
    // Zone plate: grey rings whose frequency grows with the distance from the centre.
    const double cx = width * 0.75 + frame;
    const double cy = 2.5 * band;
    const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    const int v = static_cast<int>(127.5 + 127.0 * std::cos(d2 * 0.06));
    return {v, v, (v + 40 > 255) ? 255 : v + 40};
}

orv::PixelBuffer make_frame(int width, int height, int frame) {
    orv::PixelBuffer pixels = orv::make_pixel_buffer(width, height);
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;  // rows are stored bottom-up
        std::uint8_t* p = pixels.bytes.data() + static_cast<std::size_t>(row) * pixels.stride;
        for (int x = 0; x < width; ++x) {
            const Rgb c = sample_colour(x, y, width, height, frame);
            p[3 * x + 0] = static_cast<std::uint8_t>(c.b);
            p[3 * x + 1] = static_cast<std::uint8_t>(c.g);
            p[3 * x + 2] = static_cast<std::uint8_t>(c.r);
        }
    }
    return pixels;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orv-make-samples BASE\n");
        return 2;
    }
    const std::string base = argv[1];
    struct Size {
        int width, height;
    };
    const Size sizes[4] = {{96, 64}, {96, 64}, {96, 64}, {97, 61}};
    for (int frame = 0; frame < 4; ++frame) {
        const Size size = sizes[frame];
        const std::string name = orv::numbered_name(base, frame);
        orv::Failure failure;
        if (orv::write_bmp_frame(name, make_frame(size.width, size.height, frame),
                                 header_for(size.width, size.height), &failure) != 0) {
            std::fprintf(stderr, "orv-make-samples: %s\n", orv::failure_text(failure).c_str());
            return 1;
        }
        std::printf("%s\n", name.c_str());
    }
    return 0;
}
