#pragma once
// Small profile folders and filter sets for the S-CIELAB tests.

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "image/pixel_buffer.h"
#include "scielab/filter_kernels.h"
#include "tests/support/temp_folder.h"

namespace orv::scielab_test {

using ScratchFolder = test::TempFolder;

// Kernel files with the published Zhang-Wandell weights; the widest A spread is held at
// 1 degree so that the responses stay short and the tests fast.
inline const char* kernel_l_text =
    "Luminance Num 3 Spread 0.05 0.225 1.0 Weight 1.00327 0.114416 -0.117686\n";
inline const char* kernel_rg_text = "RedGreen Num 2 Spread 0.0685 0.826 Weight 0.616725 0.383275\n";
inline const char* kernel_by_text =
    "BlueYellow Num 2 Spread 0.0920 0.6451 Weight 0.567885 0.432115\n";

// A display model, sRGB-like primaries scaled to the CIELAB white, Hunt-Pointer-Estevez cones
// and opponent rows; the kernel files above.
inline void write_profile(const ScratchFolder& dir) {
    dir.write(
        "DISPGOG_parameter.txt",
        "Red gain offset gamma Green x Blue y z\n0.98 0.02 2.2\n1.0 0.0 2.3\n0.98 0.02 2.1\n");
    dir.write("RGBtoXYZ_mat.txt", "39.5 34.3 18.0\n21.3 71.4 7.2\n1.9 11.9 95.0\n");
    dir.write("XYZtoLMS_mat.txt", "0.38971 0.68898 -0.07868\n-0.22981 1.18340 0.04641\n0 0 1\n");
    dir.write("LMStoATD_mat.txt",
              "0.990 -0.106 -0.094\n-0.669 0.742 -0.027\n-0.212 -0.354 0.911\n");
    dir.write("kernel_L.txt", kernel_l_text);
    dir.write("kernel_RG.txt", kernel_rg_text);
    dir.write("kernel_BY.txt", kernel_by_text);
}

inline ChannelFilter filter_from_text(const std::string& text, std::ostream& trace) {
    std::istringstream in(text);
    ChannelFilter f = parse_kernel_file(in, "test", kernel_sample_angle, trace);
    size_filter(f, trace);
    return f;
}

// The finished set of the kernel files above.
inline AtdFilters finished_filters() {
    std::ostringstream trace;
    AtdFilters set;
    set.a = filter_from_text(kernel_l_text, trace);
    set.t = filter_from_text(kernel_rg_text, trace);
    set.d = filter_from_text(kernel_by_text, trace);
    finish_filter_set(set);
    return set;
}

// A deterministic, textured frame (a smooth pattern plus hashed noise).
inline PixelBuffer pattern_frame(int w, int h, unsigned seed) {
    PixelBuffer p = make_pixel_buffer(w, h);
    unsigned state = seed * 2654435761u + 12345u;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                state = state * 1664525u + 1013904223u;
                const int smooth = (x * (40 + 20 * c) / (w > 1 ? w : 1) +
                                    y * (60 - 15 * c) / (h > 1 ? h : 1) + 50 * c) %
                                   200;
                const int noise = static_cast<int>((state >> 24) % 56);
                p.bytes[static_cast<std::size_t>(y * p.stride + 3 * x + c)] =
                    static_cast<std::uint8_t>(smooth + noise);
            }
        }
    }
    return p;
}

// A 16 x 12 frame of one colour, red, green and blue given as bytes.
inline PixelBuffer uniform_frame(const std::array<int, 3>& rgb) {
    PixelBuffer f = make_pixel_buffer(16, 12);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            for (int c = 0; c < 3; ++c) {
                f.bytes[static_cast<std::size_t>(y * f.stride + 3 * x + c)] =
                    static_cast<std::uint8_t>(rgb[static_cast<std::size_t>(2 - c)]);
            }
        }
    }
    return f;
}

}  // namespace orv::scielab_test
