#include "scielab/signal_planes.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "colour/display_model.h"
#include "numeric/failure.h"

namespace orv {

namespace {

// Each channel's light of the signal values met so far, by the values' bits in a small
// direct-mapped table: frames of a few bits more than 8 repeat their values, and a hit skips
// the powers. A value is only ever replaced by the light computed for it, so the results are
// exactly those of computing every value.
struct LightCache {
    static constexpr int slot_bits = 14;
    static constexpr std::size_t size = std::size_t{1} << slot_bits;
    std::vector<std::uint64_t> keys = std::vector<std::uint64_t>(size, ~std::uint64_t{0});
    std::vector<double> lights = std::vector<double>(size, 0.0);

    template <class Light>
    double get(double v, const Light& light) {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        // Fibonacci hashing: the product's top bits, which every bit of the value reaches.
        const std::size_t slot = (bits * 0x9E3779B97F4A7C15ULL) >> (64 - slot_bits);
        if (keys[slot] == bits) return lights[slot];
        const double l = light(v);
        keys[slot] = bits;
        lights[slot] = l;
        return l;
    }
};

}  // namespace

void check_signal(const SignalFrame* signal, const PixelBuffer& frame) {
    if (signal == nullptr || !signal->present()) return;
    const std::size_t count =
        3 * static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    if (signal->width != frame.width || signal->height != frame.height ||
        signal->rgb.size() != count) {
        raise_failure(FailureKind::frame_sizes_differ, {},
                      {std::to_string(frame.width), std::to_string(frame.height),
                       std::to_string(signal->width), std::to_string(signal->height)});
    }
}

void signal_to_plane_rows(const SignalFrame& signal, const ColourModel& colour,
                          double* const* rows0, double* const* rows1, double* const* rows2) {
    const Matrix3& m = colour.rgb_to_atd;
    const bool profile = colour.display.transfer == DisplayTransfer::profile;
    const GogChannel* gog[3] = {&colour.display_model.red, &colour.display_model.green,
                                &colour.display_model.blue};
    LightCache cache[3];
    for (int y = 0; y < signal.height; ++y) {
        const double* in = signal.row(y);
        for (int x = 0; x < signal.width; ++x) {
            double rgb[3] = {in[3 * x], in[3 * x + 1], in[3 * x + 2]};
            for (int c = 0; c < 3; ++c) {
                const GogChannel& g = *gog[c];
                rgb[c] = cache[c].get(rgb[c], [&](double v) {
                    if (!profile) return channel_light(colour.transfer, v);
                    const double base = g.gain * v + g.offset;
                    return std::pow(base > 0.0 ? base : 0.0, g.gamma);
                });
            }
            if (colour.display.transfer == DisplayTransfer::hlg) hlg_ootf(colour.transfer, rgb);
            rows0[y][x] = m[0] * rgb[0] + m[1] * rgb[1] + m[2] * rgb[2];
            rows1[y][x] = m[3] * rgb[0] + m[4] * rgb[1] + m[5] * rgb[2];
            rows2[y][x] = m[6] * rgb[0] + m[7] * rgb[1] + m[8] * rgb[2];
        }
    }
}

}  // namespace orv
