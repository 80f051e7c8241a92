#include "scielab/grey_picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

// Each value's grey level is worked out for a row first (compiled for AVX2 as well, four
// values at once: the same operations, so the same bytes), then written to the three channels.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("avx2", "default")]]
#endif
void grey_between(const double* values, double min, double max, PixelBuffer& output) {
    const int w = output.width;
    const int h = output.height;
    const double range = max - min;
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(w), 0);
    for (int y = 0; y < h; ++y) {
        const double* v = values + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        std::uint8_t* g = grey.data();
        if (max != min) {
            for (int x = 0; x < w; ++x) {
                const double s = (v[x] - min) / range * 255.0;
                // 255 from 255 on, the integer part inside (0, 255), else (a NaN too) 0.
                const double clamped = s >= 255.0 ? 255.0 : (s > 0.0 ? s : 0.0);
                g[x] = static_cast<std::uint8_t>(static_cast<int>(clamped));
            }
        }
        std::uint8_t* row = output.bytes.data() + static_cast<std::size_t>(y) * output.stride;
        for (int x = 0; x < w; ++x) {
            row[3 * x] = g[x];
            row[3 * x + 1] = g[x];
            row[3 * x + 2] = g[x];
        }
    }
}

PixelBuffer map_grey_picture(const InterleavedImage& map) {
    PixelBuffer grey = make_pixel_buffer(map.width, map.height);
    grey_between(map.data.data(), map.min, map.max, grey);
    return grey;
}

}  // namespace orv
