// The environment-settings and ATD filter settings dialogs driven through their item ids.

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

#include "resources/dialog_templates.h"
#include "scielab/filter_kernels.h"
#include "scielab/filter_settings.h"
#include "shell/failure_texts.h"
#include "shell/frame_store.h"
#include "shell/settings_dialogs.h"
#include "tests/shell/dialog_fakes.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace s = settings_item;
using test::FakeDialog;
using test::ScriptedPlatform;

struct EnvironmentPathCase {
    std::string folder;
    std::string display_path;
    std::string cone_path;
};

TEST(EnvironmentDialog, OpeningShowsTheFolderAndItsPathsWithTheSeparatorAppendedAlways) {
    const EnvironmentPathCase cases[] = {
        {"/data/prof", "/data/prof/DISPGOG_parameter.txt", "/data/prof/SmithPokornyCones.txt"},
        // The root keeps its own separator, so the file name follows a second one.
        {"/", "//DISPGOG_parameter.txt", "//SmithPokornyCones.txt"},
        {"/data/prof/", "/data/prof//DISPGOG_parameter.txt", "/data/prof//SmithPokornyCones.txt"},
        {"", "/DISPGOG_parameter.txt", "/SmithPokornyCones.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        FrameStore store;
        store.profile_folder = c.folder;
        ScriptedPlatform p;
        FakeDialog d("SETTING_DLG", store, p.platform);
        EXPECT_EQ(d.text(s::folder_edit), c.folder);
        EXPECT_EQ(d.text(s::display_path), c.display_path);
        EXPECT_EQ(d.text(s::cone_path), c.cone_path);
        EXPECT_TRUE(p.repainted_main());
        EXPECT_TRUE(d.open());
    }
}

TEST(EnvironmentDialog, ChooserStartsAtTheFolderAndCancelledChooserChangesNothing) {
    FrameStore store;
    store.profile_folder = "/data/prof";
    ScriptedPlatform p;
    FakeDialog d("SETTING_DLG", store, p.platform);
    p.invalidations.clear();
    d.press(s::choose_folder);  // no answer queued: cancelled
    ASSERT_EQ(p.folder_requests.size(), 1u);
    EXPECT_EQ(p.folder_requests[0].title, "PROFILE DATA フォルダの指定");
    EXPECT_EQ(p.folder_requests[0].start, "/data/prof");
    EXPECT_EQ(store.profile_folder, "/data/prof");
    EXPECT_EQ(d.text(s::display_path), "/data/prof/DISPGOG_parameter.txt");
    EXPECT_TRUE(p.repainted_main());  // the dialog still refreshes and repaints
}

TEST(EnvironmentDialog, CancelKeepsANewlyChosenFolder) {
    FrameStore store;
    store.profile_folder = "/old";
    ScriptedPlatform p;
    p.folder_answers.push_back("/new/prof");
    FakeDialog d("SETTING_DLG", store, p.platform);
    d.press(s::choose_folder);
    EXPECT_EQ(d.text(s::folder_edit), "/new/prof");
    EXPECT_EQ(d.text(s::cone_path), "/new/prof/SmithPokornyCones.txt");
    d.press(item::cancel);
    EXPECT_EQ(d.result, item::cancel);
    EXPECT_EQ(store.profile_folder, "/new/prof");
    EXPECT_EQ(store.atd_filter_set, 0);
}

TEST(EnvironmentDialog, OkRefusesAnEmptyFolderAndNeverReadsTypedText) {
    FrameStore store;
    ScriptedPlatform p;
    FakeDialog d("SETTING_DLG", store, p.platform);
    d.texts[s::folder_edit] = "/typed/by/hand";
    d.press(item::ok);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, "PROFILE DATA フォルダアドレスを指定して下さい!! \n");
    EXPECT_EQ(p.messages[0].caption, "FILE ADRESS is not selection!!");
    EXPECT_EQ(p.messages[0].owner, Window::dialog);
    EXPECT_EQ(p.messages[0].icon, MessageIcon::information);
    EXPECT_TRUE(p.messages[0].topmost);
    EXPECT_TRUE(d.open());
    EXPECT_EQ(store.profile_folder, "");

    // OK reads the chosen folder's profile files: a folder without them stays refused.
    p.messages.clear();
    store.profile_folder = "/chosen";
    d.press(item::ok);
    EXPECT_TRUE(d.open());
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, "Error: file open [/chosen/DISPGOG_parameter.txt].");
    store.profile_folder = ORV_DEFAULT_PROFILE;
    d.press(item::ok);
    EXPECT_EQ(d.result, item::ok);
    EXPECT_EQ(store.profile_folder, ORV_DEFAULT_PROFILE);
}

// ATD filter dialog -------------------------------------------------------------------------

struct FilterDialogTest : ::testing::Test {
    test::TempFolder folder;
    FrameStore store;
    ScriptedPlatform p;

    void SetUp() override {
        test::write_kernel_files(folder.path);
        store.profile_folder = folder.path.string();
    }
};

TEST_F(FilterDialogTest, OpeningShowsFolderAndFourteenFieldsWithFourDecimals) {
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    EXPECT_EQ(d.text(s::folder_edit), store.profile_folder);
    const std::pair<int, const char*> expected[] = {
        {s::a_spread_1, "0.0500"}, {s::a_spread_2, "0.3333"}, {s::a_spread_3, "0.1200"},
        {s::a_weight_1, "0.9000"}, {s::a_weight_2, "0.2000"}, {s::a_weight_3, "-0.1000"},
        {s::t_spread_1, "0.0685"}, {s::t_spread_2, "0.1500"}, {s::t_weight_1, "0.6000"},
        {s::t_weight_2, "0.4000"}, {s::d_spread_1, "0.0920"}, {s::d_spread_2, "0.2000"},
        {s::d_weight_1, "0.5500"}, {s::d_weight_2, "0.4500"},
    };
    for (const auto& [id, text] : expected) EXPECT_EQ(d.text(id), text) << id;
    EXPECT_TRUE(p.messages.empty());
    // Loading alone makes nothing usable.
    EXPECT_EQ(store.atd_filter_set, 0);
    EXPECT_EQ(store.atd_filters.a.count, 0);
}

TEST_F(FilterDialogTest, FirstOkFinishesTheSetWithTheFieldValuesAndSetsTheFlag) {
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    d.press(item::ok);
    EXPECT_EQ(d.result, item::ok);
    EXPECT_EQ(store.atd_filter_set, 1);
    EXPECT_TRUE(filter_set_finished(store.atd_filters));
    EXPECT_TRUE(p.repainted_main());
    // The field text replaced the file's 0.333333.
    ASSERT_EQ(store.atd_filters.a.count, 3);
    EXPECT_EQ(store.atd_filters.a.spreads[1], 0.3333);
    EXPECT_DOUBLE_EQ(store.atd_filters.a.variances[1],
                     (1.0 / kernel_sample_angle * 0.3333) * (1.0 / kernel_sample_angle * 0.3333));
}

TEST_F(FilterDialogTest, OkWithoutEditsGivesTheSetOfLoadingAndFinishingDirectly) {
    // Values with at most four decimals survive the fields unchanged.
    test::write_text(folder.path / "kernel_L.txt",
                     test::kernel_text("L", {0.05, 0.225, 0.12}, {0.921, 0.105, -0.026}));
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    d.press(item::ok);
    std::ostringstream trace;
    AtdFilters direct;
    direct.a = load_channel_filter(folder.file("kernel_L.txt"), kernel_sample_angle, trace);
    direct.t = load_channel_filter(folder.file("kernel_RG.txt"), kernel_sample_angle, trace);
    direct.d = load_channel_filter(folder.file("kernel_BY.txt"), kernel_sample_angle, trace);
    finish_filter_set(direct);
    const ChannelFilter* got[] = {&store.atd_filters.a, &store.atd_filters.t, &store.atd_filters.d};
    const ChannelFilter* want[] = {&direct.a, &direct.t, &direct.d};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(got[k]->spreads, want[k]->spreads);
        EXPECT_EQ(got[k]->weights, want[k]->weights);
        EXPECT_EQ(got[k]->half_width, want[k]->half_width);
        EXPECT_EQ(got[k]->kernel, want[k]->kernel);
        EXPECT_EQ(got[k]->response, want[k]->response);
    }
}

TEST_F(FilterDialogTest, EditingAnASpreadWidensAAndBringsTAndDToItsLength) {
    FakeDialog first("ATD_SETTING_DLG", store, p.platform);
    first.press(item::ok);
    const int before = store.atd_filters.a.half_width;

    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    d.texts[s::a_spread_2] = "0.6";
    d.press(item::ok);
    EXPECT_GT(store.atd_filters.a.half_width, before);
    EXPECT_EQ(store.atd_filters.t.length, store.atd_filters.a.length);
    EXPECT_EQ(store.atd_filters.d.length, store.atd_filters.a.length);
    EXPECT_EQ(store.atd_filters.a.spreads[1], 0.6);
    EXPECT_TRUE(filter_set_finished(store.atd_filters));
}

TEST_F(FilterDialogTest, CancelNeverSetsTheFlagAndKeepsTheFinishedSetOfAnEarlierOk) {
    {
        FakeDialog d("ATD_SETTING_DLG", store, p.platform);
        d.press(item::cancel);
        EXPECT_EQ(d.result, item::cancel);
        EXPECT_EQ(store.atd_filter_set, 0);
        EXPECT_EQ(store.atd_filters.a.count, 0);
    }
    FakeDialog ok("ATD_SETTING_DLG", store, p.platform);
    ok.press(item::ok);
    const AtdFilters accepted = store.atd_filters;

    // Other kernel files, loaded and edited, then cancelled.
    test::write_text(folder.path / "kernel_L.txt", test::kernel_text("L", {0.5}, {1.0}));
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    d.texts[s::a_spread_1] = "0.9";
    d.press(s::load_kernels);
    d.press(item::cancel);
    EXPECT_EQ(store.atd_filter_set, 1);
    EXPECT_EQ(store.atd_filters.a.spreads, accepted.a.spreads);
    EXPECT_EQ(store.atd_filters.a.response, accepted.a.response);
    EXPECT_TRUE(filter_set_finished(store.atd_filters));
}

TEST_F(FilterDialogTest, NewFolderIsNotReadUntilLoadAndTypedFolderTextNeverIs) {
    test::TempFolder other;
    test::write_kernel_files(other.path);
    test::write_text(other.path / "kernel_RG.txt",
                     test::kernel_text("RG", {0.25, 0.5}, {0.7, 0.3}));
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    p.folder_answers.push_back(other.path.string());
    d.press(s::choose_folder);
    EXPECT_EQ(store.profile_folder, other.path.string());
    EXPECT_EQ(d.text(s::folder_edit), other.path.string());
    EXPECT_EQ(d.text(s::t_spread_1), "0.0685");  // not reloaded

    // A folder typed into the edit is ignored: the chosen one is loaded.
    d.texts[s::folder_edit] = folder.path.string();
    d.press(s::load_kernels);
    EXPECT_EQ(d.text(s::t_spread_1), "0.2500");
    EXPECT_EQ(d.text(s::t_weight_2), "0.3000");
}

TEST_F(FilterDialogTest, LoadAndOkRefuseAnEmptyFolder) {
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    store.profile_folder.clear();
    d.texts[s::a_spread_1] = "0.0700";
    d.press(s::load_kernels);
    d.press(item::ok);
    ASSERT_EQ(p.messages.size(), 2u);
    for (const auto& m : p.messages) {
        EXPECT_EQ(m.text, folder_refusal_text);
        EXPECT_EQ(m.caption, folder_refusal_caption);
    }
    EXPECT_TRUE(d.open());
    EXPECT_EQ(d.text(s::a_spread_1), "0.0700");
    EXPECT_EQ(store.atd_filter_set, 0);
}

TEST_F(FilterDialogTest, FolderWithoutKernelLShowsTheFolderErrorAndOkRefuses) {
    test::TempFolder empty;
    store.profile_folder = empty.path.string();
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, "PROFILE DATA フォルダアドレスが間違ってます!! \n");
    EXPECT_EQ(p.messages[0].caption, "FILE OPEN ERROR");
    EXPECT_EQ(p.messages[0].owner, Window::dialog);
    EXPECT_EQ(d.text(s::a_spread_1), "");

    // OK before any successful load: a clear refusal, no flag, still open.
    d.press(item::ok);
    ASSERT_EQ(p.messages.size(), 2u);
    EXPECT_EQ(p.messages[1].text, filters_not_loaded_text);
    EXPECT_TRUE(d.open());
    EXPECT_EQ(store.atd_filter_set, 0);
}

TEST_F(FilterDialogTest, MissingRedGreenOrBlueYellowFileShowsTheErrorAndChangesNothing) {
    for (const char* missing : {"kernel_RG.txt", "kernel_BY.txt"}) {
        SCOPED_TRACE(missing);
        ScriptedPlatform q;
        test::TempFolder partial;
        test::write_kernel_files(partial.path);
        std::filesystem::remove(partial.path / missing);
        FakeDialog d("ATD_SETTING_DLG", store, q.platform);  // loads the good folder
        const std::string shown = d.text(s::t_spread_1);
        store.profile_folder = partial.path.string();
        d.press(s::load_kernels);
        ASSERT_EQ(q.messages.size(), 1u);
        EXPECT_NE(q.messages[0].text.find(missing), std::string::npos);
        EXPECT_TRUE(d.open());
        EXPECT_EQ(d.text(s::t_spread_1), shown);
        // The earlier load still stands: OK finishes it.
        d.press(item::ok);
        EXPECT_EQ(d.result, item::ok);
        EXPECT_EQ(store.atd_filters.t.spreads[0], 0.0685);
        store.profile_folder = folder.path.string();
    }
}

TEST_F(FilterDialogTest, FieldsOfMissingComponentsStayEmptyAndComponentsBeyondKeepTheirValues) {
    test::write_text(folder.path / "kernel_RG.txt", test::kernel_text("RG", {0.0685}, {1.0}));
    test::write_text(folder.path / "kernel_BY.txt",
                     test::kernel_text("BY", {0.092, 0.2, 0.3}, {0.5, 0.3, 0.2}));
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    EXPECT_EQ(d.text(s::t_spread_2), "");
    EXPECT_EQ(d.text(s::t_weight_2), "");
    d.texts[s::t_spread_2] = "0.5";  // typed into a field with no component: ignored
    d.texts[s::d_spread_1] = "0.1";
    d.press(item::ok);
    ASSERT_EQ(d.result, item::ok);
    EXPECT_EQ(store.atd_filters.t.count, 1);
    EXPECT_EQ(store.atd_filters.t.spreads, std::vector<double>{0.0685});
    EXPECT_EQ(store.atd_filters.d.spreads, (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_EQ(store.atd_filters.d.weights[2], 0.2);
    EXPECT_TRUE(filter_set_finished(store.atd_filters));
}

TEST_F(FilterDialogTest, FieldTextIsANumberWithAPointOrAComma) {
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    d.texts[s::t_spread_2] = "0,2";
    d.texts[s::t_weight_2] = "  0.25";
    d.press(item::ok);
    ASSERT_EQ(d.result, item::ok);
    EXPECT_EQ(store.atd_filters.t.spreads[1], 0.2);
    EXPECT_EQ(store.atd_filters.t.weights[1], 0.25);
}

TEST_F(FilterDialogTest, FieldTextThatIsNotANumberIsRefusedByName) {
    FakeDialog d("ATD_SETTING_DLG", store, p.platform);
    d.texts[s::t_spread_2] = "0.2abc";
    d.press(item::ok);
    EXPECT_TRUE(d.open());
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, field_not_number_text("Tフィルター 標準偏差 2", "0.2abc"));
    EXPECT_EQ(store.atd_filter_set, 0);
}

}  // namespace
}  // namespace orv
