// PSNR and SSIM of picture planes against the ffmpeg tool's psnr and ssim filters on the same
// pair of frames (per plane within 0.01 dB and 0.0005), and the exact cases.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

#include "image/bmp_file.h"
#include "measure/plane_metrics.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

// "key:value key:value ..." of the filters' stats files, first line.
std::map<std::string, double> stats_line(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::map<std::string, double> values;
    std::istringstream words(line);
    for (std::string word; words >> word;) {
        const std::size_t colon = word.find(':');
        if (colon != std::string::npos) {
            values[word.substr(0, colon)] = std::strtod(word.c_str() + colon + 1, nullptr);
        }
    }
    return values;
}

TEST(PlaneMetrics, RgbFramesAgreeWithTheFfmpegFilters) {
    if (std::system("command -v ffmpeg >/dev/null") != 0) GTEST_SKIP() << "ffmpeg is needed";
    test::TempFolder temp;
    PixelBuffer reference;
    HeaderBlock header;
    ASSERT_GT(
        read_bmp_frame(std::string(ORV_SAMPLES_DIR) + "/reference_0000.bmp", reference, header), 0);
    PixelBuffer degraded = make_pixel_buffer(reference.width, reference.height);
    degraded.bytes.assign(reference.bytes.begin(), reference.bytes.end());
    unsigned state = 12345;
    for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < 3 * reference.width; ++x) {
            state = state * 1103515245u + 12345u;
            const int v = degraded.bytes[static_cast<std::size_t>(y) * reference.stride + x] +
                          static_cast<int>((state >> 16) % 41) - 20 + (y < 20 ? 15 : 0);
            degraded.bytes[static_cast<std::size_t>(y) * reference.stride + x] =
                static_cast<std::uint8_t>(std::clamp(v, 0, 255));
        }
    }
    const std::string a = temp.file("a.bmp"), b = temp.file("b.bmp");
    ASSERT_EQ(write_bmp_frame(a, reference, header), 0);
    ASSERT_EQ(write_bmp_frame(b, degraded, header), 0);
    const std::string psnr = temp.file("psnr.txt"), ssim = temp.file("ssim.txt");
    const std::string command = "ffmpeg -v error -i '" + b + "' -i '" + a +
                                "' -lavfi \"[0][1]psnr=stats_file='" + psnr +
                                "';[0][1]ssim=stats_file='" + ssim + "'\" -f null - 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::map<std::string, double> p = stats_line(psnr), s = stats_line(ssim);

    const PlaneMetrics m = rgb_metrics(reference, degraded);
    ASSERT_EQ(m.names, (std::vector<std::string>{"r", "g", "b"}));
    const char* upper[] = {"R", "G", "B"};
    for (std::size_t c = 0; c < 3; ++c) {
        ASSERT_TRUE(p.count("psnr_" + m.names[c])) << "psnr_" << m.names[c];
        EXPECT_NEAR(m.psnr[c], p.at("psnr_" + m.names[c]), 0.01) << m.names[c];
        ASSERT_TRUE(s.count(upper[c])) << upper[c];
        EXPECT_NEAR(m.ssim[c], s.at(upper[c]), 0.0005) << m.names[c];
    }
    EXPECT_NEAR(m.psnr_avg, p.at("psnr_avg"), 0.01);
    EXPECT_NEAR(m.ssim_all, s.at("All"), 0.0005);
}

TEST(PlaneMetrics, IdenticalAndConstantPlanes) {
    std::vector<std::uint8_t> zeros(16 * 12, 0), ones(16 * 12, 1), same(16 * 12, 7);
    const PlaneView z{zeros.data(), 16, 12, 1, 16}, o{ones.data(), 16, 12, 1, 16};
    const PlaneView s{same.data(), 16, 12, 1, 16};
    EXPECT_DOUBLE_EQ(plane_mse(z, o), 1.0);
    EXPECT_NEAR(psnr_of_mse(1.0), 48.130803608679, 1e-9);  // 20 log10(255)
    EXPECT_TRUE(std::isinf(psnr_of_mse(0.0)));
    EXPECT_DOUBLE_EQ(plane_ssim(s, s), 1.0);
    // Windows 8 x 8 at every fourth pixel: planes smaller than 8 in either direction hold none.
    const PlaneView tiny{zeros.data(), 7, 12, 1, 16}, tiny2{ones.data(), 7, 12, 1, 16};
    EXPECT_DOUBLE_EQ(plane_ssim(tiny, tiny2), 1.0);
}

}  // namespace
}  // namespace orv
