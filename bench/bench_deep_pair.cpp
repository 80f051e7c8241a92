// A 10-bit frame pair against the same content at 8 bits, in one run: difference_map's wall
// time on one thread for the 24-bit frames and for the same frames given as exact signals
// (each byte b as the 10-bit code 4b + (x + y) % 4, so that the content is the same), best of
// several runs, and the ratio 10-bit / 8-bit (target <= 1.2). Display: the profile's model,
// or the one named (pq with bt2020 primaries exercises the standard transfer functions).
// Usage: bench_deep_pair [width height, default 1920 1080] [runs, default 3] [profile|pq]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "image/signal_frame.h"
#include "numeric/parallel.h"

namespace {

orv::SignalFrame ten_bits(const orv::PixelBuffer& frame) {
    orv::SignalFrame s = orv::make_signal_frame(frame.width, frame.height);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* row = frame.bytes.data() + static_cast<std::size_t>(y) * frame.stride;
        double* out = s.rgb.data() + 3 * static_cast<std::size_t>(y) * frame.width;
        for (int x = 0; x < frame.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int code = std::min(1023, 4 * row[3 * x + 2 - c] + (x + y) % 4);
                out[3 * x + c] = code / 1023.0;
            }
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int w = argc > 2 ? std::atoi(argv[1]) : 1920;
    const int h = argc > 2 ? std::atoi(argv[2]) : 1080;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string display = argc > 4 ? argv[4] : "profile";
    if (w < 1 || h < 1 || runs < 1 || (display != "profile" && display != "pq")) {
        std::fprintf(stderr, "usage: bench_deep_pair [width height] [runs] [profile|pq]\n");
        return 2;
    }
    orv::MeasurementConditions conditions =
        orv::make_conditions(bench::default_profile(), bench::default_filters());
    if (display == "pq") {
        orv::DisplayChoice choice;
        choice.transfer = orv::DisplayTransfer::pq;
        choice.primaries = orv::DisplayPrimaries::bt2020;
        orv::set_display_choice(conditions.colour, choice);
    }
    const orv::PixelBuffer reference = bench::frame(3, w, h);
    const orv::PixelBuffer degraded = bench::frame(4, w, h);
    const orv::SignalFrame reference_deep = ten_bits(reference);
    const orv::SignalFrame degraded_deep = ten_bits(degraded);
    orv::set_core_budget(1);

    const auto best_ms = [&](bool deep) {
        double best = 1e300;
        for (int i = 0; i <= runs; ++i) {  // the first run warms up
            const auto start = std::chrono::steady_clock::now();
            const orv::InterleavedImage map = orv::difference_map(
                reference, degraded, conditions, nullptr, {}, deep ? &reference_deep : nullptr,
                deep ? &degraded_deep : nullptr);
            const auto stop = std::chrono::steady_clock::now();
            if (i > 0) {
                best =
                    std::min(best, std::chrono::duration<double, std::milli>(stop - start).count());
            }
            if (map.data.empty()) return -1.0;
        }
        return best;
    };
    const double eight = best_ms(false);
    const double ten = best_ms(true);
    std::printf(
        "%dx%d pair, display %s, one thread, best of %d: 8-bit %.0f ms, 10-bit %.0f ms, "
        "ratio %.2f (target <= 1.2)\n",
        w, h, display.c_str(), runs, eight, ten, ten / eight);
    return 0;
}
