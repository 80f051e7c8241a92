// The main window's logic: layout rule, stepping, close confirmation, commands and guards.

#include <gtest/gtest.h>
#include <new>
#include <sstream>

#include "resources/menu.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"
#include "shell/main_window.h"
#include "tests/shell/main_window_platform.h"
#include "tests/shell/main_window_test_frames.h"
#include "tests/support/pipeline_calls.h"

namespace orv {
namespace {

using test::ScriptedMainPlatform;

TEST(PaneLayoutTest, ExampleWithBorderFourIn801By601) {
    const PaneLayout layout = compute_pane_layout(4, 801, 601);
    const PaneRect left = left_pane_rect(layout);
    const PaneRect right = right_pane_rect(layout);
    const PaneRect lower = lower_pane_rect(layout);
    EXPECT_EQ(left.x, -4);
    EXPECT_EQ(left.y, -4);
    EXPECT_EQ(left.width, 404);
    EXPECT_EQ(left.height, 304);
    EXPECT_EQ(right.x, 400);
    EXPECT_EQ(right.y, -4);
    EXPECT_EQ(right.width, 405);
    EXPECT_EQ(right.height, 304);
    EXPECT_EQ(lower.x, -4);
    EXPECT_EQ(lower.y, 300);
    EXPECT_EQ(lower.width, 404);
    EXPECT_EQ(lower.height, 305);
    EXPECT_EQ(right.x + right.width, 805);
    EXPECT_EQ(lower.y + lower.height, 605);
}

TEST(PaneLayoutTest, PanesTileUpperHalfAndLowerLeftForAnySize) {
    struct Case {
        int border, width, height;
    };
    const Case cases[] = {{4, 801, 601}, {4, 800, 600}, {0, 1, 1}, {3, 0, 0}, {2, 1919, 1080}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.border << " " << c.width << "x" << c.height);
        const PaneLayout layout = compute_pane_layout(c.border, c.width, c.height);
        const PaneRect left = left_pane_rect(layout);
        const PaneRect right = right_pane_rect(layout);
        const PaneRect lower = lower_pane_rect(layout);
        EXPECT_EQ(left.x + left.width, right.x);  // left and right meet
        EXPECT_EQ(right.x + right.width, c.width + c.border);
        EXPECT_EQ(left.y + left.height, lower.y);  // left and lower meet
        EXPECT_EQ(lower.y + lower.height, c.height + c.border);
        EXPECT_EQ(lower.width, left.width);
        EXPECT_EQ(right.height, left.height);
        EXPECT_EQ(layout.left_width, c.border + c.width / 2);
        EXPECT_EQ(layout.top_height, c.border + c.height / 2);
    }
}

TEST(PaneLayoutTest, UncoveredQuarterIsExactlyTheLowerRight) {
    const PaneLayout layout = compute_pane_layout(4, 801, 601);
    struct Case {
        int x, y;
        bool uncovered;
    };
    const Case cases[] = {
        {400, 300, true},  {800, 600, true},  {600, 450, true},  {399, 300, false},
        {400, 299, false}, {801, 450, false}, {600, 601, false}, {10, 10, false},
        {600, 10, false},  {10, 450, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(in_uncovered_quarter(layout, 801, 601, c.x, c.y), c.uncovered)
            << c.x << "," << c.y;
    }
}

TEST(StepTest, ClickInUncoveredQuarterStepsAndWrapsAtLargerCount) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 3);
    store->degraded_count = 5;
    const PaneLayout layout = compute_pane_layout(4, 801, 601);
    const int expected[] = {1, 2, 3, 4, 0, 1};
    for (int frame : expected) {
        EXPECT_TRUE(main_window_click(*store, p.platform, layout, 801, 601, 700, 500));
        EXPECT_EQ(store->current_frame, frame);
    }
    EXPECT_TRUE(p.invalidated(Window::left_pane, true));
    EXPECT_TRUE(p.invalidated(Window::right_pane, true));
    EXPECT_TRUE(p.invalidated(Window::lower_pane, true));
}

TEST(StepTest, ClicksInsidePanesOrWithoutImageDoNotStep) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    const PaneLayout layout = compute_pane_layout(4, 801, 601);
    store->degraded_count = 5;  // a degraded sequence alone does not allow stepping
    EXPECT_FALSE(main_window_click(*store, p.platform, layout, 801, 601, 700, 500));
    EXPECT_EQ(store->current_frame, 0);

    test::open_reference(*store, 3);
    for (auto [x, y] : {std::pair{10, 10}, {700, 10}, {10, 500}, {399, 500}}) {
        EXPECT_FALSE(main_window_click(*store, p.platform, layout, 801, 601, x, y));
    }
    EXPECT_EQ(store->current_frame, 0);
    EXPECT_TRUE(p.invalidations.empty());
}

TEST(CloseTest, ExitAnsweredNoKeepsEveryFrame) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 2);
    p.answers = {MessageAnswer::no};
    EXPECT_EQ(run_main_command(*store, p.platform, command::exit), CommandResult::done);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, "終了してもよいですか");
    EXPECT_EQ(p.messages[0].caption, "終了確認");
    EXPECT_EQ(p.messages[0].buttons, MessageButtons::yes_no);
    EXPECT_EQ(p.messages[0].icon, MessageIcon::question);
    EXPECT_TRUE(p.messages[0].topmost);
    EXPECT_EQ(store->reference_count, 2);
    EXPECT_TRUE(is_present(store->reference_pixels[0]));
    EXPECT_TRUE(is_present(store->reference_pixels[1]));

    p.answers = {MessageAnswer::yes};
    EXPECT_EQ(run_main_command(*store, p.platform, command::exit), CommandResult::close_window);
}

// The guarded commands and the commands that work with nothing loaded.
struct GuardCase {
    const char* name;
    int id;
    int image_loaded;
    int atd_filter_set;
    const char* refusal;  // nullptr: no message
    const char* caption;
    const char* dialog;  // nullptr: no dialog
};

// Parameters print as their case name in test listings.
void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.name; }

class CommandGuardTest : public testing::TestWithParam<GuardCase> {};

TEST_P(CommandGuardTest, RefusesOrRuns) {
    const GuardCase& c = GetParam();
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    if (c.image_loaded) test::open_reference(*store, 2);
    // Sequences loaded but the filter flag alone decides the colour-difference command.
    store->degraded_count = 2;
    store->atd_filter_set = c.atd_filter_set;
    run_main_command(*store, p.platform, c.id);
    if (c.refusal) {
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].text, c.refusal);
        EXPECT_EQ(p.messages[0].caption, c.caption);
        EXPECT_EQ(p.messages[0].buttons, MessageButtons::ok);
        EXPECT_EQ(p.messages[0].icon, MessageIcon::information);
        EXPECT_TRUE(p.messages[0].topmost);
        EXPECT_EQ(p.messages[0].owner, Window::main);
    } else {
        EXPECT_TRUE(p.messages.empty());
    }
    if (c.dialog) {
        ASSERT_EQ(p.dialogs.size(), 1u);
        EXPECT_EQ(p.dialogs[0], c.dialog);
    } else {
        EXPECT_TRUE(p.dialogs.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandGuardTest,
    testing::Values(GuardCase{"DiffRefusedWithoutFilters", command::colour_difference, 1, 0,
                              "ATDフィルターの設定をして下さい\n", "CAUTION !!", nullptr},
                    GuardCase{"DiffRunsWithFilters", command::colour_difference, 0, 1, nullptr,
                              nullptr, "COLOR_DIFF_DLG"},
                    GuardCase{"NoiseRefusedWithoutImage", command::random_noise, 0, 1,
                              "カラー画像を開いてください\n", "CAUTION !!", nullptr},
                    GuardCase{"NoiseRunsWithImage", command::random_noise, 1, 0, nullptr, nullptr,
                              "RNDNOISE_DLG"},
                    GuardCase{"AtdSettingsWithNothing", command::atd_filter_settings, 0, 0, nullptr,
                              nullptr, "ATD_SETTING_DLG"},
                    GuardCase{"EnvironmentWithNothing", command::environment_settings, 0, 0,
                              nullptr, nullptr, "SETTING_DLG"},
                    GuardCase{"AboutWithNothing", command::about, 0, 0, "ORV 2.0\n", "...について",
                              nullptr},
                    GuardCase{"EncoderRefusedWhenNotStarted", command::h264_avc, 0, 0,
                              "アドレスが正しくありません!!", "CAUTION !! ", nullptr},
                    GuardCase{"UnknownIdIgnored", 40099, 1, 1, nullptr, nullptr, nullptr}),
    [](const testing::TestParamInfo<GuardCase>& info) { return info.param.name; });

TEST(CommandTest, EncoderStartsFromProfileFolderWithNoMessage) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    store->profile_folder = "/data/prof ile";
    p.process_starts = true;
    run_main_command(*store, p.platform, command::h264_avc);
    ASSERT_EQ(p.processes.size(), 1u);
    EXPECT_EQ(p.processes[0], "/data/prof ile/h264/SimpleEncoder.exe");
    EXPECT_TRUE(p.messages.empty());
}

TEST(CommandTest, SaveWithNothingLoadedShowsTheDialogOnly) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    run_main_command(*store, p.platform, command::save);
    EXPECT_EQ(p.save_requests.size(), 1u);
    EXPECT_TRUE(p.messages.empty());
}

TEST(ScielabCommandTest, RefusesBeforeAskingWithoutImage) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    store->atd_filter_set = 1;
    run_main_command(*store, p.platform, command::scielab);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, "カラー画像を開いてください\n");
    EXPECT_EQ(p.messages[0].caption, "CAUTION !!");
    EXPECT_TRUE(p.invalidated(Window::main, true));
    EXPECT_EQ(store->scielab_done, 0);
}

TEST(ScielabCommandTest, AsksFirstAndRefusesOnlyAfterYesWhenFiltersUnset) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 2);

    p.answers = {MessageAnswer::no};
    run_main_command(*store, p.platform, command::scielab);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, "S_CIELAB処理を実行しますか");
    EXPECT_EQ(p.messages[0].caption, "S_CIELAB処理確認");
    EXPECT_EQ(p.messages[0].buttons, MessageButtons::yes_no);
    EXPECT_EQ(p.messages[0].icon, MessageIcon::question);
    EXPECT_TRUE(p.invalidated(Window::main, true));

    p.messages.clear();
    p.answers = {MessageAnswer::yes};
    run_main_command(*store, p.platform, command::scielab);
    ASSERT_EQ(p.messages.size(), 2u);
    EXPECT_EQ(p.messages[0].text, "S_CIELAB処理を実行しますか");
    EXPECT_EQ(p.messages[1].text, "プロファイル設定をして下さい\n");
    EXPECT_EQ(p.messages[1].caption, "CAUTION !!");
    EXPECT_EQ(store->scielab_done, 0);
    EXPECT_TRUE(p.progress.empty());
}

// The default profile's filters, finished, as the filter dialog's OK leaves them.
void finish_default_filters(FrameStore& store) {
    const std::string folder = ORV_DEFAULT_PROFILE;
    std::ostringstream trace;
    store.atd_filters.a = load_channel_filter(folder + "/kernel_L.txt", kernel_sample_angle, trace);
    store.atd_filters.t =
        load_channel_filter(folder + "/kernel_RG.txt", kernel_sample_angle, trace);
    store.atd_filters.d =
        load_channel_filter(folder + "/kernel_BY.txt", kernel_sample_angle, trace);
    finish_filter_set(store.atd_filters);
    store.atd_filter_set = 1;
}

TEST(ScielabCommandTest, PipelineErrorIsShownAndLosesNothing) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 3);
    // The flag is set but the filter set was never finished, and the folder holds no
    // profile: the pipeline refuses, the command stops with the message.
    store->atd_filter_set = 1;
    store->profile_folder = "/nonexistent-profile-folder";
    const auto before = store->reference_pixels[1].bytes;
    p.answers = {MessageAnswer::yes};
    EXPECT_EQ(run_main_command(*store, p.platform, command::scielab), CommandResult::done);
    ASSERT_EQ(p.messages.size(), 2u);
    EXPECT_EQ(p.messages[1].caption, "CAUTION !!");
    EXPECT_FALSE(p.messages[1].text.empty());
    EXPECT_EQ(store->scielab_done, 0);
    EXPECT_EQ(store->reference_count, 3);
    EXPECT_EQ(store->reference_pixels[1].bytes, before);
    // The progress window was opened and closed again.
    ASSERT_FALSE(p.progress.empty());
    EXPECT_EQ(p.progress.front(), std::make_pair(0, 3));
    EXPECT_EQ(p.progress.back(), std::make_pair(3, 3));
}

// A finished filter set but a folder without profile files: the reader's text is shown and
// nothing is filtered.
TEST(ScielabCommandTest, MissingProfileFileIsShownAndLosesNothing) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 2, 12, 9);
    finish_default_filters(*store);
    store->profile_folder = "/nonexistent-profile-folder";
    p.answers = {MessageAnswer::yes};
    run_main_command(*store, p.platform, command::scielab);
    ASSERT_EQ(p.messages.size(), 2u);
    EXPECT_EQ(p.messages[1].text.rfind("Error: file open [/nonexistent-profile-folder/", 0), 0u)
        << p.messages[1].text;
    EXPECT_EQ(p.messages[1].caption, "CAUTION !!");
    EXPECT_EQ(store->scielab_done, 0);
    EXPECT_EQ(store->reference_count, 2);
}

// Memory running out part-way (here: after the first frame, thrown from the progress
// callback on the calling thread while the frame loop runs) is shown with its own text, and
// neither the loaded frames nor a second, successful run are harmed.
TEST(ScielabCommandTest, RunningOutOfMemoryIsShownAndLosesNothing) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 3, 12, 9);
    const std::string folder = ORV_DEFAULT_PROFILE;
    finish_default_filters(*store);
    store->profile_folder = folder;
    const auto before = store->reference_pixels[2].bytes;

    bool fail = true;
    auto recording = p.platform.progress;
    p.platform.progress = [&](const std::string& label, int done, int total) {
        if (recording) recording(label, done, total);
        if (fail && done == 1) throw std::bad_alloc();
    };
    p.answers = {MessageAnswer::yes};
    EXPECT_EQ(run_main_command(*store, p.platform, command::scielab), CommandResult::done);
    ASSERT_EQ(p.messages.size(), 2u);
    EXPECT_EQ(p.messages[1].text, no_memory_text);
    EXPECT_EQ(p.messages[1].caption, "CAUTION !!");
    EXPECT_EQ(store->scielab_done, 0);
    EXPECT_EQ(store->image_loaded, 1);
    EXPECT_EQ(store->reference_count, 3);
    EXPECT_EQ(store->reference_pixels[2].bytes, before);

    fail = false;
    p.answers = {MessageAnswer::yes};
    run_main_command(*store, p.platform, command::scielab);
    EXPECT_EQ(store->scielab_done, 1);
    EXPECT_EQ(p.messages.size(), 3u);
}

TEST(ScielabCommandTest, FiltersEveryReferenceFrameWithTheDefaultProfile) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 3, 12, 9);
    test::put_reference_frame(*store, 2, 7, 5, 0x90);  // frames may differ in size
    for (int i = 0; i < 3; ++i) test::set_pixel(store->reference_pixels[i], 3, 2, 250, 10, 30);
    const std::string folder = ORV_DEFAULT_PROFILE;
    finish_default_filters(*store);
    store->profile_folder = folder;
    store->scielab_pixels[5] = make_pixel_buffer(2, 2);  // beyond the count: left alone

    p.answers = {MessageAnswer::yes};
    run_main_command(*store, p.platform, command::scielab);
    ASSERT_EQ(p.messages.size(), 1u);  // only the question
    EXPECT_EQ(store->scielab_done, 1);
    EXPECT_TRUE(p.invalidated(Window::main, true));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const PixelBuffer& source = store->reference_pixels[i];
        PixelBuffer expected = make_pixel_buffer(source.width, source.height);
        test_calls::scielab_filter_frame(source, expected, store->atd_filters.a,
                                         store->atd_filters.t, store->atd_filters.d,
                                         kernel_sample_angle, folder);
        EXPECT_EQ(store->scielab_pixels[i].width, source.width);
        EXPECT_EQ(store->scielab_pixels[i].height, source.height);
        EXPECT_EQ(store->scielab_pixels[i].bytes, expected.bytes);
        EXPECT_NE(store->scielab_pixels[i].bytes, source.bytes);
    }
    EXPECT_EQ(store->scielab_pixels[5].width, 2);
    ASSERT_GE(p.progress.size(), 2u);
    EXPECT_EQ(p.progress.front(), std::make_pair(0, 3));
    EXPECT_EQ(p.progress.back(), std::make_pair(3, 3));
}

}  // namespace
}  // namespace orv
