#pragma once
// Inputs shared by the pipeline benchmarks: the bundled default profile, its finished filter
// set, and textured full-HD frames.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "image/pixel_buffer.h"
#include "scielab/filter_settings.h"
#include "scielab/pipeline.h"

namespace bench {

constexpr int width = 1920;
constexpr int height = 1080;

inline std::string default_profile() {
    return (std::filesystem::path(ORV_SOURCE_DIR) / "profiles" / "default").string();
}

inline orv::AtdFilters default_filters() {
    std::ostringstream trace;
    orv::AtdFilters set;
    const orv::FilterLoadOutcome outcome =
        orv::load_filter_settings(set, orv::kernel_sample_angle, default_profile(), trace);
    if (!outcome.loaded) {
        std::fprintf(stderr, "no default profile at %s\n", default_profile().c_str());
        std::exit(1);
    }
    orv::finish_filter_set(set);
    return set;
}

// A textured frame: smooth gradients with hashed noise, different per seed.
inline orv::PixelBuffer frame(unsigned seed, int width = bench::width, int height = bench::height) {
    orv::PixelBuffer p = orv::make_pixel_buffer(width, height);
    unsigned state = seed * 2654435761u + 1u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                state = state * 1664525u + 1013904223u;
                const int smooth = (x / 9 + y / (5 + c) + 60 * c) % 200;
                p.bytes[static_cast<std::size_t>(y * p.stride + 3 * x + c)] =
                    static_cast<std::uint8_t>(smooth + (state >> 26));
            }
        }
    }
    return p;
}

}  // namespace bench
