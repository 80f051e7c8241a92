// 設定 → 観察条件 without a toolkit: the dialog's state, its preview, the remembered text and the
// quarter's line.

#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "numeric/failure.h"
#include "scielab/pipeline.h"
#include "shell/frame_store.h"
#include "shell/navigation.h"
#include "shell/viewing_settings.h"

namespace orv {
namespace {

ViewingDialogState with_mode(ViewingMode mode) {
    ViewingDialogState s = default_viewing_dialog_state();
    s.mode = mode;
    return s;
}

TEST(ViewingSettings, DefaultStateIsTheFixedGeometryAndItsFiguresGiveItsAngle) {
    auto store = std::make_unique<FrameStore>();
    const ViewingDialogState s = default_viewing_dialog_state();
    EXPECT_EQ(s.mode, ViewingMode::standard);
    EXPECT_TRUE(viewing_options_empty(viewing_dialog_options(s)));
    EXPECT_EQ(viewing_preview(s, *store), "68.66 画素/度 (1画素の視角 0.0145651°)");
    // The display form, opened on the default's figures, shows the same pixels per degree.
    EXPECT_EQ(viewing_preview(with_mode(ViewingMode::display), *store).substr(0, 5), "68.66");
    EXPECT_EQ(viewing_preview(with_mode(ViewingMode::ppd), *store).substr(0, 5), "68.66");
}

TEST(ViewingSettings, PreviewFollowsTheFieldsAndNamesRefusals) {
    auto store = std::make_unique<FrameStore>();
    ViewingDialogState s = with_mode(ViewingMode::heights);
    s.fields[field_heights] = "3";
    s.fields[field_height_pixels] = "2160";
    EXPECT_EQ(viewing_preview(s, *store).substr(0, 6), "113.10");
    s.fields[field_heights] = " 1.5 ";
    EXPECT_EQ(viewing_preview(s, *store).substr(0, 5), "56.55");
    const struct {
        const char* text;
        const char* shown;
    } refused[] = {
        {"1,5", "値「1,5」は数値ではありません"},
        {"abc", "値「abc」は数値ではありません"},
        {"-3", "観察条件 distance_heights の値 -3 は使えません（正の有限の数を入力して下さい）"},
        {"0", "観察条件 distance_heights の値 0 は使えません（正の有限の数を入力して下さい）"},
        {"",
         "観察条件 display_height_pixels には distance_heights "
         "も必要です（空の欄に値を入力して下さい）"},
    };
    for (const auto& r : refused) {
        s.fields[field_heights] = r.text;
        EXPECT_EQ(viewing_preview(s, *store), r.shown) << r.text;
    }
    ViewingDialogState phone = with_mode(ViewingMode::preset);
    phone.preset = 5;
    EXPECT_EQ(*viewing_dialog_options(phone).preset, "phone");
    EXPECT_EQ(viewing_preview(phone, *store).substr(0, 5), "94.25");
    // Fields of the other forms do not count.
    phone.fields[field_ppd] = "junk";
    EXPECT_EQ(viewing_preview(phone, *store).substr(0, 5), "94.25");
}

TEST(ViewingSettings, StateOfOptionsRoundTrips) {
    ViewingOptions display;
    display.display_width_cm = 59.8;
    display.display_width_pixels = 3840;
    display.distance_cm = 60;
    const ViewingDialogState s = viewing_dialog_state(display);
    EXPECT_EQ(s.mode, ViewingMode::display);
    EXPECT_EQ(s.fields[field_width_cm], "59.8");
    EXPECT_EQ(s.fields[field_width_pixels], "3840");
    EXPECT_EQ(viewing_setting_text(viewing_dialog_options(s)), "display=59.8,3840,60");
    ViewingOptions preset;
    preset.preset = "tv-hd-3h";
    EXPECT_EQ(viewing_dialog_state(preset).mode, ViewingMode::preset);
    EXPECT_EQ(viewing_dialog_state(preset).preset, 4);
}

TEST(ViewingSettings, RememberedTextReadsBackAndBadTextsFallBackToTheDefault) {
    const char* kept[] = {"",
                          "ppd=40",
                          "ppd=67.5",
                          "display=59.8,3840,60",
                          "heights=3,2160",
                          "preset=phone",
                          "preset=laptop14"};
    for (const char* text : kept) {
        EXPECT_EQ(viewing_setting_text(parse_viewing_setting(text)), text);
    }
    const char* dropped[] = {
        "ppd=",           "ppd=-4",        "ppd=0.5", "ppd=4,0", "display=59.8,3840",
        "heights=3;2160", "preset=cinema", "zoom=2",  "garbage"};
    for (const char* text : dropped) {
        EXPECT_TRUE(viewing_options_empty(parse_viewing_setting(text))) << text;
    }
}

TEST(ViewingSettings, QuarterNamesThePixelsPerDegreeOnlyAwayFromTheDefault) {
    auto store = std::make_unique<FrameStore>();
    EXPECT_EQ(viewing_quarter_line(*store), "");
    store->viewing.preset = "laptop14";
    EXPECT_EQ(viewing_quarter_line(*store), "");
    store->viewing.preset = "desktop27-4k";
    EXPECT_EQ(viewing_quarter_line(*store), "観察条件: 67.24 画素/度 (desktop27-4k)");
    store->viewing = {};
    store->viewing.ppd = 40;
    EXPECT_EQ(viewing_quarter_line(*store), "観察条件: 40.00 画素/度 (ppd)");
    // The quarter shows it before any sequence is open.
    EXPECT_EQ(quarter_lines(*store).back(), "観察条件: 40.00 画素/度 (ppd)");
    store->viewing = {};
    EXPECT_EQ(quarter_lines(*store).size(), 1u);
}

}  // namespace
}  // namespace orv
