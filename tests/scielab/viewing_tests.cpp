// The viewing options: the forms, the presets' figures and every refusal with its text.

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

#include "numeric/failure.h"
#include "scielab/pipeline.h"
#include "scielab/viewing.h"

namespace orv {
namespace {

constexpr double degrees = 180.0 / 3.14159265358979323846;

// The refusal's English line, or "" when the options are accepted.
std::string refusal(const ViewingOptions& options, OptionStyle style, double max_ppd = 1e9) {
    try {
        (void)viewing_geometry(options, style, max_ppd);
    } catch (const Failure& failure) {
        EXPECT_TRUE(is_viewing_refusal(failure.kind)) << failure_text(failure);
        return failure_text(failure);
    }
    return "";
}

ViewingOptions display(double cm, double pixels, double distance) {
    ViewingOptions o;
    o.display_width_cm = cm;
    o.display_width_pixels = pixels;
    o.distance_cm = distance;
    return o;
}

ViewingOptions preset(const std::string& name) {
    ViewingOptions o;
    o.preset = name;
    return o;
}

TEST(ViewingOptions, NoOptionIsTheFixedGeometryExactly) {
    const ViewingGeometry g = viewing_geometry(ViewingOptions{}, OptionStyle::command_line);
    EXPECT_EQ(g.pixel_angle_degrees, pixel_angle_degrees());
    EXPECT_EQ(g.source, "default");
    EXPECT_TRUE(viewing_options_empty(ViewingOptions{}));
}

// Pixels per degree of each preset, worked out from its published figures (the issue's
// list: 27-inch 4K monitor 67.2, UHD television at 3 heights 113.1 and at 1.5 heights 56.5).
TEST(ViewingOptions, PresetsGiveTheirFigures) {
    const struct {
        const char* name;
        double theta;
    } cases[] = {
        {"laptop14", pixel_angle_degrees()},
        {"desktop27-4k", std::atan(59.8 / 3840.0 / 60.0) * degrees},
        {"tv-uhd-1.5h", std::atan(1.0 / (1.5 * 2160.0)) * degrees},
        {"tv-uhd-3h", std::atan(1.0 / (3.0 * 2160.0)) * degrees},
        {"tv-hd-3h", std::atan(1.0 / (3.0 * 1080.0)) * degrees},
        {"phone", std::atan(6.5 / 1170.0 / 30.0) * degrees},
    };
    ASSERT_EQ(viewing_presets().size(), std::size(cases));
    for (const auto& c : cases) {
        const ViewingGeometry g = viewing_geometry(preset(c.name), OptionStyle::command_line);
        EXPECT_NEAR(g.pixel_angle_degrees, c.theta, 1e-14 * c.theta) << c.name;
        EXPECT_EQ(g.source, c.name);
    }
    EXPECT_EQ(viewing_geometry(preset("laptop14"), OptionStyle::keyword).pixel_angle_degrees,
              pixel_angle_degrees());
    EXPECT_EQ(
        ppd_text(pixels_per_degree(viewing_geometry(preset("desktop27-4k"), OptionStyle::keyword))),
        "67.24");
    EXPECT_EQ(
        ppd_text(pixels_per_degree(viewing_geometry(preset("tv-uhd-3h"), OptionStyle::keyword))),
        "113.10");
    // The fixed geometry's display figures, put through the display form, give its angle.
    const ViewingPreset* laptop = find_viewing_preset("laptop14");
    ASSERT_NE(laptop, nullptr);
    EXPECT_NEAR(viewing_geometry(laptop->form, OptionStyle::keyword).pixel_angle_degrees,
                pixel_angle_degrees(), 1e-13 * pixel_angle_degrees());
}

TEST(ViewingOptions, RefusalsNameTheOption) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    ViewingOptions zero_ppd, nan_ppd, negative_width, inf_heights, incomplete, heights_only,
        two_forms, form_and_preset, unknown, below_one;
    zero_ppd.ppd = 0.0;
    nan_ppd.ppd = nan;
    negative_width = display(-59.8, 3840, 60);
    inf_heights.distance_heights = inf;
    inf_heights.display_height_pixels = 2160;
    incomplete.display_width_cm = 59.8;
    heights_only.display_height_pixels = 2160;
    two_forms.ppd = 40;
    two_forms.distance_heights = 3;
    form_and_preset = display(59.8, 3840, 60);
    form_and_preset.preset = "phone";
    unknown.preset = "cinema";
    below_one.ppd = 0.5;
    const struct {
        ViewingOptions options;
        const char* command_line;
        const char* keyword;
    } cases[] = {
        {zero_ppd, "--ppd must be a positive finite number, not 0",
         "ppd must be a positive finite number, not 0"},
        {nan_ppd, "--ppd must be a positive finite number, not nan", nullptr},
        {negative_width, "--display-width-cm must be a positive finite number, not -59.8",
         "display_width_cm must be a positive finite number, not -59.8"},
        {inf_heights, "--distance-heights must be a positive finite number, not inf", nullptr},
        {incomplete, "--display-width-cm needs --display-width-pixels and --distance-cm as well",
         "display_width_cm needs display_width_pixels and distance_cm as well"},
        {heights_only, "--display-height-pixels needs --distance-heights as well", nullptr},
        {two_forms,
         "--ppd and --distance-heights both give the viewing geometry; give only one of them",
         "ppd and distance_heights both give the viewing geometry; give only one of them"},
        {form_and_preset,
         "--viewing and --display-width-cm both give the viewing geometry; give only one of them",
         nullptr},
        {unknown,
         "--viewing: unknown viewing preset \"cinema\"; the presets are laptop14, desktop27-4k, "
         "tv-uhd-1.5h, tv-uhd-3h, tv-hd-3h, phone",
         nullptr},
        {below_one, "--ppd: 0.50 pixels per degree; at least 1 is needed", nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusal(c.options, OptionStyle::command_line), c.command_line);
        if (c.keyword != nullptr) {
            EXPECT_EQ(refusal(c.options, OptionStyle::keyword), c.keyword);
        }
    }
    // Exactly 1 pixel per degree is accepted; a distance that puts fewer in a degree is not.
    ViewingOptions one;
    one.ppd = 1.0;
    EXPECT_EQ(refusal(one, OptionStyle::command_line), "");
    EXPECT_EQ(refusal(display(100, 10, 50), OptionStyle::command_line),
              "--display-width-cm, --display-width-pixels and --distance-cm: 0.09 pixels per "
              "degree; at least 1 is needed");
}

TEST(ViewingOptions, TheFiltersLimitIsNamedAndItsFigureAccepted) {
    ViewingOptions at;
    at.ppd = 141.42;
    EXPECT_EQ(refusal(at, OptionStyle::command_line, 141.429), "");
    at.ppd = 141.43;
    EXPECT_EQ(refusal(at, OptionStyle::command_line, 141.429),
              "--ppd: 141.43 pixels per degree is above the 141.42 the profile's filter "
              "responses reach");
    EXPECT_EQ(refusal(preset("tv-uhd-3h"), OptionStyle::keyword, 100.0),
              "viewing=\"tv-uhd-3h\": 113.10 pixels per degree is above the 100.00 the "
              "profile's filter responses reach");
    EXPECT_EQ(refusal(preset("tv-uhd-3h"), OptionStyle::command_line, 100.0),
              "--viewing tv-uhd-3h: 113.10 pixels per degree is above the 100.00 the "
              "profile's filter responses reach");
}

}  // namespace
}  // namespace orv
