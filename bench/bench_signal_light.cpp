// The display light of exact signals alone: signal_row_to_light over a full-HD frame of
// decoded-video-like values for every display, one thread, best of several runs, in
// nanoseconds a value; beside it the 8-bit path's table lookups of the same frame, for scale.
// Usage: bench_signal_light [runs, default 5] [display, default all]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "colour/conversions.h"
#include "colour/display_model.h"
#include "colour/signal_light.h"

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    constexpr int width = 1920;
    constexpr int height = 1080;
    // Smooth content with 10-bit steps and a little noise: many distinct values, as decoded
    // video has.
    std::vector<double> frame(3 * static_cast<std::size_t>(width) * height);
    std::mt19937 random(3);
    std::uniform_int_distribution<int> jitter(-3, 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int code =
                    std::clamp((x * 1023 / width + y * (c + 1)) % 1024 + jitter(random), 0, 1023);
                frame[3 * (static_cast<std::size_t>(y) * width + x) + c] =
                    (code + 0.25 * c) / 1023.0;
            }
        }
    }
    const orv::GogParameters gog{{1.0, 0.0, 2.2}, {1.0, 0.0, 2.2}, {1.0, 0.0, 2.2}};
    std::vector<double> planes(3 * static_cast<std::size_t>(width));
    double* const rows[3] = {planes.data(), planes.data() + width, planes.data() + 2 * width};
    const orv::DisplayTransfer transfers[] = {
        orv::DisplayTransfer::profile, orv::DisplayTransfer::srgb, orv::DisplayTransfer::bt1886,
        orv::DisplayTransfer::pq, orv::DisplayTransfer::hlg};
    const std::string only = argc > 2 ? argv[2] : "all";
    for (const orv::DisplayTransfer t : transfers) {
        if (only != "all" && only != orv::transfer_name(t)) continue;
        orv::DisplayChoice choice;
        choice.transfer = t;
        const orv::TransferParameters p = orv::transfer_parameters(choice);
        orv::DisplayTable table{};
        for (std::size_t c = 0; c < 3; ++c) {
            for (std::size_t d = 0; d < 256; ++d) {
                table[c][d] = orv::channel_light(p, static_cast<double>(d) / 255.0);
            }
        }
        const orv::SignalLight light = orv::make_signal_light(gog, p, table);
        double best = 1e300;
        double sum = 0.0;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            for (int y = 0; y < height; ++y) {
                orv::signal_row_to_light(
                    light, frame.data() + 3 * static_cast<std::size_t>(y) * width, width, rows);
                sum += planes[static_cast<std::size_t>(y)];
            }
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            best = std::min(best, took.count());
        }
        std::printf("%-8s %6.2f ns a value, %6.1f ms a frame (check %g)\n",
                    orv::transfer_name(t).data(), best * 1e9 / (3.0 * width * height), best * 1e3,
                    sum);
    }
    return 0;
}
