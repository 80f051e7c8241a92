// The report writers: heatmap colours on the fixed scale, the colour bar, PNG bytes, the JSON
// record's non-finite numbers, the worst-frame list and the page's self-containment.

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <png.h>
#include <string>

#include "colour/conversions.h"
#include "report/bitmap_font.h"
#include "report/colour_maps.h"
#include "report/heatmap.h"
#include "report/html_report.h"
#include "report/json_record.h"
#include "report/png_file.h"

namespace orv {
namespace {

InterleavedImage map_of(int width, int height, std::vector<double> stored) {
    InterleavedImage map;
    map.width = width;
    map.height = height;
    map.channels = 1;
    map.data.assign(stored.begin(), stored.end());
    summarise_map(map);
    return map;
}

Rgb pixel(const RgbImage& image, int x, int y) {
    const std::uint8_t* p = image.rgb.data() + (static_cast<std::size_t>(y) * image.width + x) * 3;
    return {p[0], p[1], p[2]};
}

// First and last rows of the published tables (van der Walt and Smith 2015), times 255 and
// rounded: viridis 0.267004 0.004874 0.329415 / 0.993248 0.906157 0.143936,
// magma 0.001462 0.000466 0.013866 / 0.987053 0.991438 0.749504.
struct ColourCase {
    ColourMap map;
    double value;
    Rgb expected;
};

class HeatmapColours : public testing::TestWithParam<ColourCase> {};

TEST_P(HeatmapColours, ZeroScaleMaximumAndBeyond) {
    const ColourCase& c = GetParam();
    const HeatmapStyle style{5.0, c.map};
    const RgbImage image = colour_heatmap(map_of(1, 1, {c.value}), style);
    EXPECT_EQ(pixel(image, 0, 0), c.expected) << c.value;
}

constexpr Rgb viridis_low{68, 1, 84}, viridis_high{253, 231, 37};
constexpr Rgb magma_low{0, 0, 4}, magma_high{252, 253, 191};

INSTANTIATE_TEST_SUITE_P(Maps, HeatmapColours,
                         testing::Values(ColourCase{ColourMap::viridis, 0.0, viridis_low},
                                         ColourCase{ColourMap::viridis, 5.0, viridis_high},
                                         ColourCase{ColourMap::viridis, 5.0001, viridis_high},
                                         ColourCase{ColourMap::viridis, 1e300, viridis_high},
                                         ColourCase{ColourMap::viridis,
                                                    std::numeric_limits<double>::infinity(),
                                                    viridis_high},
                                         ColourCase{ColourMap::viridis, -1.0, viridis_low},
                                         ColourCase{ColourMap::viridis, std::nan(""), viridis_low},
                                         ColourCase{ColourMap::magma, 0.0, magma_low},
                                         ColourCase{ColourMap::magma, 5.0, magma_high},
                                         ColourCase{ColourMap::magma, 70.0, magma_high}));

TEST(ColourMapIndex, RoundsOnTheScale) {
    EXPECT_EQ(colour_map_index(2.5, 5.0), 128);  // 127.5 rounds up
    EXPECT_EQ(colour_map_index(1.0, 5.0), 51);
    EXPECT_EQ(colour_map_index(4.99, 5.0), 254);
    EXPECT_EQ(colour_map_index(1.0, 0.0), 0);
}

// The same difference gets the same colour in two frames however large the other values
// are, and the picture's top row is the map's last stored row.
TEST(Heatmap, FixedScaleMakesFramesComparable) {
    const HeatmapStyle style;
    // Stored bottom-up: the first two values are the picture's bottom row.
    const RgbImage quiet = colour_heatmap(map_of(2, 2, {0.0, 0.0, 1.0, 0.2}), style);
    const RgbImage loud = colour_heatmap(map_of(2, 2, {40.0, 3.0, 1.0, 0.2}), style);
    EXPECT_EQ(pixel(quiet, 0, 0), pixel(loud, 0, 0));
    EXPECT_EQ(pixel(quiet, 1, 0), pixel(loud, 1, 0));
    EXPECT_EQ(pixel(quiet, 0, 0), colour_map_entry(ColourMap::viridis, 51));
    EXPECT_EQ(pixel(loud, 0, 1), viridis_high);
    EXPECT_EQ(pixel(quiet, 0, 1), viridis_low);
}

TEST(Heatmap, ColourBarBesideThePictureRunsFromZeroToTheTop) {
    const HeatmapStyle style{2.5, ColourMap::magma};
    const InterleavedImage map = map_of(30, 20, std::vector<double>(600, 1.0));
    const RgbImage canvas = heatmap_with_colour_bar(map, style);
    const RgbImage picture = colour_heatmap(map, style);
    ASSERT_GT(canvas.width, picture.width + 20);
    ASSERT_GE(canvas.height, picture.height);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x)
            ASSERT_EQ(pixel(canvas, x, y), pixel(picture, x, y));
    }
    // The bar's column: the top colour near the top, entry 0 near the bottom, white around.
    const int bar_x = picture.width + 6 + 5;
    bool top_found = false, bottom_found = false;
    for (int y = 0; y < canvas.height; ++y) {
        top_found |= pixel(canvas, bar_x, y) == magma_high;
        bottom_found |= pixel(canvas, bar_x, y) == magma_low;
    }
    EXPECT_TRUE(top_found);
    EXPECT_TRUE(bottom_found);
    EXPECT_EQ(pixel(canvas, bar_x, 0), (Rgb{255, 255, 255}));
    // Labels are drawn in black somewhere right of the bar.
    int black = 0;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = bar_x + 12; x < canvas.width; ++x) black += pixel(canvas, x, y) == Rgb{};
    }
    EXPECT_GT(black, 30);
}

struct TickCase {
    double scale_max;
    int max_intervals;
    std::vector<double> ticks;
};

class ColourBarTicks : public testing::TestWithParam<TickCase> {};

TEST_P(ColourBarTicks, NiceStepsPreferringTheTop) {
    const TickCase& c = GetParam();
    const std::vector<double> ticks = colour_bar_ticks(c.scale_max, c.max_intervals);
    ASSERT_EQ(ticks.size(), c.ticks.size()) << c.scale_max;
    for (std::size_t k = 0; k < ticks.size(); ++k) EXPECT_NEAR(ticks[k], c.ticks[k], 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Scales, ColourBarTicks,
    testing::Values(TickCase{5.0, 6, {0, 1, 2, 3, 4, 5}},
                    TickCase{5.0, 10, {0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5}},
                    TickCase{5.0, 3, {0, 2.5, 5}}, TickCase{2.5, 5, {0, 0.5, 1, 1.5, 2, 2.5}},
                    TickCase{3.7, 10, {0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5}},
                    TickCase{100.0, 4, {0, 25, 50, 75, 100}},
                    TickCase{0.3, 3, {0, 0.1, 0.2, 0.3}}));

TEST(TickLabel, DecimalsOfTheStepWithoutTrailingZeros) {
    EXPECT_EQ(tick_label(2.5, 0.5), "2.5");
    EXPECT_EQ(tick_label(2.0, 0.5), "2");
    EXPECT_EQ(tick_label(10.0, 5.0), "10");
    EXPECT_EQ(tick_label(0.30000000000000004, 0.1), "0.3");
    EXPECT_EQ(tick_label(0.75, 0.25), "0.75");
    EXPECT_EQ(text_width("5+", 2), 22);
}

TEST(Png, DecodesToThePictureItWasMadeFrom) {
    RgbImage picture = make_rgb_image(7, 5, {10, 20, 30});
    fill_rectangle(picture, 2, 1, 3, 2, {250, 0, 128});
    const std::string bytes = encode_png(picture);
    ASSERT_EQ(bytes.substr(1, 3), "PNG");
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> decoded(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr));
    EXPECT_EQ(image.width, 7u);
    EXPECT_EQ(image.height, 5u);
    EXPECT_EQ(decoded, picture.rgb);
}

TEST(Base64, Rfc4648TestVectors) {
    const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(base64(in), out) << in;
}

TEST(JsonRecord, NonFiniteNumbersAreNull) {
    RunRecord run;
    run.thresholds = {1.0};
    FrameRecord frame;
    frame.statistics.mean = std::nan("");
    frame.statistics.max = std::numeric_limits<double>::infinity();
    frame.statistics.share_above = {0.25};
    run.frames.push_back(frame);
    const auto json = run_json(run);
    EXPECT_TRUE(json["frames"][0]["mean"].is_null());
    EXPECT_TRUE(json["frames"][0]["max"].is_null());
    EXPECT_EQ(json["frames"][0]["above"][0]["share"], 0.25);
    EXPECT_EQ(json.begin().key(), "schema_version");
    const std::string text = run_json_text(run);
    EXPECT_EQ(text.find("NaN"), std::string::npos);
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_EQ(text.find("inf"), std::string::npos);
}

TEST(WorstFrames, KeepsTheLargestMeansEarlierFirstOnTies) {
    WorstFrames worst;
    worst.keep = 3;
    const double means[] = {0.5, 2.0, 0.1, 2.0, 3.0, 0.7, 1.0};
    for (int i = 0; i < 7; ++i) {
        if (is_worst_frame(worst, means[i]))
            keep_worst_frame(worst, WorstFrame{i, means[i], "", "", "", 0, 0});
    }
    ASSERT_EQ(worst.frames.size(), 3u);
    EXPECT_EQ(worst.frames[0].frame, 4);
    EXPECT_EQ(worst.frames[1].frame, 1);
    EXPECT_EQ(worst.frames[2].frame, 3);
}

TEST(HtmlReport, SelfContainedWithEscapedPaths) {
    RunRecord run;
    run.thresholds = {1.0};
    run.reference.paths = {"a<b>&\".bmp"};
    run.command_line = {"orv-cli", "diff", "x y"};
    FrameRecord frame;
    frame.statistics.share_above = {0.0};
    run.frames.push_back(frame);
    WorstFrames worst;
    PixelBuffer pixels = make_pixel_buffer(4, 4);
    keep_worst_frame(worst, make_worst_frame(0, 0.0, pixels, pixels,
                                             map_of(4, 4, std::vector<double>(16, 0.0)), {}));
    const std::string page = html_report(run, ValueHistogram{}, worst, HeatmapStyle{});
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("http"), std::string::npos);
    EXPECT_EQ(page.find("a<b>"), std::string::npos);
    EXPECT_NE(page.find("a&lt;b&gt;&amp;&quot;.bmp"), std::string::npos);
    EXPECT_NE(page.find("diff 'x y'"), std::string::npos);
}

}  // namespace
}  // namespace orv
