// Pictures turned upright as a display matrix says: each turn checked on a labelled 3 x 2
// picture, and the matrices FFmpeg's own helpers build for rotations and mirror images.

#include <gtest/gtest.h>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/display.h>
}

#include "media/media_internal.h"

namespace orv {
namespace {

using media_internal::display_orientation;
using media_internal::orient_pixels;

// Rows from the top as strings of labels (one label per pixel, in its blue byte).
PixelBuffer picture(const std::vector<std::string>& rows) {
    const int height = static_cast<int>(rows.size());
    const int width = static_cast<int>(rows[0].size());
    PixelBuffer p = make_pixel_buffer(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            p.bytes[static_cast<std::size_t>((height - 1 - y) * p.stride + 3 * x)] =
                static_cast<std::uint8_t>(
                    rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
        }
    }
    return p;
}

std::vector<std::string> rows_of(const PixelBuffer& p) {
    std::vector<std::string> rows;
    for (int y = 0; y < p.height; ++y) {
        std::string row;
        for (int x = 0; x < p.width; ++x) {
            row += static_cast<char>(
                p.bytes[static_cast<std::size_t>((p.height - 1 - y) * p.stride + 3 * x)]);
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(Orientation, EachTurnOfTheDisplayMatrix) {
    struct Case {
        const char* what;
        double angle;  // clockwise degrees, as av_display_rotation_set takes them
        bool hflip, vflip;
        std::vector<std::string> upright;
        const char* words;
    };
    // The stored picture:  abc
    //                      def
    const Case cases[] = {
        {"none", 0, false, false, {"abc", "def"}, ""},
        {"quarter clockwise",
         90,
         false,
         false,
         {"da", "eb", "fc"},
         "rotated 90 degrees clockwise (display matrix)"},
        {"quarter counter-clockwise",
         -90,
         false,
         false,
         {"cf", "be", "ad"},
         "rotated 90 degrees counter-clockwise (display matrix)"},
        {"half turn", 180, false, false, {"fed", "cba"}, "rotated 180 degrees (display matrix)"},
        {"mirrored left to right",
         0,
         true,
         false,
         {"cba", "fed"},
         "mirrored left to right (display matrix)"},
        {"mirrored top to bottom",
         0,
         false,
         true,
         {"def", "abc"},
         "mirrored top to bottom (display matrix)"},
    };
    for (const Case& c : cases) {
        std::int32_t matrix[9];
        av_display_rotation_set(matrix, c.angle);
        av_display_matrix_flip(matrix, c.hflip, c.vflip);
        const Orientation turn = display_orientation(matrix);
        EXPECT_EQ(turn.name, c.words) << c.what;
        EXPECT_EQ(rows_of(orient_pixels(picture({"abc", "def"}), turn)), c.upright) << c.what;
    }
    EXPECT_EQ(display_orientation(nullptr).name, "");
}

}  // namespace
}  // namespace orv
