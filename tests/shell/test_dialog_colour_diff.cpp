// The colour-difference dialog: loading either sequence from the dialog, the pairing of a
// shorter sequence's last frame with the rest of the longer one, and where the run stops.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "resources/dialog_templates.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"
#include "shell/colour_diff_dialog.h"
#include "shell/frame_store.h"
#include "shell/sequences.h"
#include "tests/shell/dialog_fakes.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/pipeline_calls.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace c = colour_diff_item;
using test::FakeDialog;
using test::ScriptedPlatform;

struct ColourDiffTest : ::testing::Test {
    test::TempFolder folder;
    FrameStore store;
    ScriptedPlatform p;

    void SetUp() override {
        test::write_test_profile(folder.path);
        store.profile_folder = folder.path.string();
        std::ostringstream trace;
        const std::string f = store.profile_folder;
        store.atd_filters.a = load_channel_filter(f + "/kernel_L.txt", kernel_sample_angle, trace);
        store.atd_filters.t = load_channel_filter(f + "/kernel_RG.txt", kernel_sample_angle, trace);
        store.atd_filters.d = load_channel_filter(f + "/kernel_BY.txt", kernel_sample_angle, trace);
        finish_filter_set(store.atd_filters);
        store.atd_filter_set = 1;
    }

    // Files with a pattern that differs per frame (`seed`) and per pixel.
    std::vector<std::string> write_frames(const std::string& stem, int frames, int seed,
                                          int width = 6, int height = 4) {
        std::vector<std::string> paths;
        for (int k = 0; k < frames; ++k) {
            test::BmpSpec spec;
            spec.width = width;
            spec.height = height;
            spec.pixels.resize(test::source_row_pixels(width, 24) * height);
            for (std::size_t i = 0; i < spec.pixels.size(); ++i) {
                spec.pixels[i] = static_cast<std::uint8_t>((i * 37 + k * 53 + seed * 11) % 256);
            }
            paths.push_back(folder.file(stem + "_" + std::to_string(k) + ".bmp"));
            test::write_file(paths.back(), test::make_bmp(spec));
        }
        return paths;
    }

    void load(const std::vector<std::string>& paths, SequenceTable table) {
        ASSERT_EQ(load_frame_sequence(store, paths, table).count, static_cast<int>(paths.size()));
        if (table == SequenceTable::reference) {
            store.reference_count = static_cast<int>(paths.size());
            store.image_loaded = 1;
        } else {
            store.degraded_count = static_cast<int>(paths.size());
        }
    }

    // The measurement of one pair made directly, as the batch tool makes it.
    InterleavedImage direct(int reference_slot, int degraded_slot) {
        PixelBuffer out;
        InterleavedImage result;
        const PixelBuffer& r = store.reference_pixels[reference_slot];
        out = make_pixel_buffer(r.width, r.height);
        EXPECT_EQ(test_calls::make_difference_image(r, store.degraded_pixels[degraded_slot], out,
                                                    kernel_sample_angle, store.atd_filters,
                                                    store.profile_folder, result),
                  1);
        return result;
    }
};

TEST(PairSlot, FallsBackToTheLastFrameOnlyForEmptySlots) {
    std::array<PixelBuffer, max_frames> table{};
    for (int k : {0, 1, 2, 4}) table[k] = make_pixel_buffer(2, 2);
    const struct {
        int count, i, expected;
    } cases[] = {
        {3, 0, 0},  {3, 2, 2},
        {3, 3, 2},  {3, 4, 4},  // a frame left from an earlier, longer load is compared unchanged
        {3, 5, 2},              // empty slot: the last frame of the sequence
        {0, 3, -1},             // an empty sequence has no last frame (never slot -1)
        {4, 5, -1},             // a count whose last slot is empty
    };
    for (const auto& k : cases) {
        EXPECT_EQ(pair_slot(table, k.count, k.i), k.expected) << k.count << " " << k.i;
    }
}

TEST_F(ColourDiffTest, ThreeReferenceFramesAgainstFiveDegradedGiveFiveResults) {
    load(write_frames("ref", 3, 1), SequenceTable::reference);
    load(write_frames("deg", 5, 2), SequenceTable::degraded);
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    EXPECT_EQ(d.text(c::reference_path), "");  // opening shows nothing of the store
    d.press(item::ok);
    ASSERT_TRUE(p.messages.empty()) << p.messages[0].text;
    ASSERT_EQ(d.result, item::ok);
    EXPECT_EQ(store.diff_ready, 1);
    EXPECT_EQ(store.degraded_ready, 1);
    EXPECT_TRUE(p.repainted_main());
    const int reference_of[] = {0, 1, 2, 2, 2};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(store.diff_results[i].data.empty());
        const InterleavedImage want = direct(reference_of[i], i);
        // The same measurement as the batch path, to the bit.
        EXPECT_EQ(store.diff_results[i].mean, want.mean);
        EXPECT_EQ(store.diff_results[i].data, want.data);
        EXPECT_EQ(store.diff_pixels[i].width, 6);
        EXPECT_EQ(store.diff_pixels[i].height, 4);
        EXPECT_GT(store.diff_results[i].mean, 0.0);
    }
    EXPECT_NE(store.diff_results[3].mean, store.diff_results[4].mean);
    ASSERT_FALSE(p.progress.empty());
    EXPECT_EQ(p.progress.front(), std::make_tuple(std::string(colour_diff_progress_label), 0, 5));
    EXPECT_EQ(p.progress.back(), std::make_tuple(std::string(colour_diff_progress_label), 5, 5));
}

// A uniform 16-bit PNG of 16 x 12 (written by the ffmpeg tool from raw rgb48le words).
bool write_png16(const std::string& path, const std::uint16_t rgb[3]) {
    std::vector<std::uint16_t> words;
    for (int i = 0; i < 16 * 12; ++i) words.insert(words.end(), {rgb[0], rgb[1], rgb[2]});
    const std::string raw = path + ".rgb";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(words.data()),
               static_cast<std::streamsize>(words.size() * 2));
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -f rawvideo "
        "-pix_fmt rgb48le -s 16x12 -i '" +
        raw + "' -pix_fmt rgb48be '" + path + "'";
    return std::system(command.c_str()) == 0;
}

// Two 16-bit pictures one code apart: the panes' 8-bit pixels are equal, and the run measures
// the exact values (a non-zero map); 8-bit pictures beside them keep their 8-bit measurement.
TEST_F(ColourDiffTest, PicturesAboveEightBitsAreMeasuredExactly) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg tool";
    const std::uint16_t a[3] = {30000, 40000, 20000};
    const std::uint16_t b[3] = {30000, 40001, 20000};
    const std::string ref = folder.file("a.png");
    const std::string deg = folder.file("b.png");
    ASSERT_TRUE(write_png16(ref, a) && write_png16(deg, b));
    load({ref}, SequenceTable::reference);
    load({deg}, SequenceTable::degraded);
    EXPECT_EQ(store.reference_deep[0].path, ref);
    EXPECT_EQ(store.degraded_pixels[0].bytes, store.reference_pixels[0].bytes);
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(item::ok);
    ASSERT_TRUE(p.messages.empty()) << p.messages[0].text;
    ASSERT_FALSE(store.diff_results[0].data.empty());
    EXPECT_GT(store.diff_results[0].min, 0.0);
    EXPECT_LT(store.diff_results[0].max, 0.01);

    // The same 8-bit pixels as BMP files measure as equal.
    load(write_frames("ref8", 1, 3, 16, 12), SequenceTable::reference);
    load(write_frames("ref8", 1, 3, 16, 12), SequenceTable::degraded);
    EXPECT_TRUE(store.reference_deep[0].path.empty());
    d.press(item::ok);
    EXPECT_EQ(store.diff_results[0].max, 0.0);
}

// A 10-bit video tagged PQ and BT.2020 is measured on that display (the record's conditions
// say so); BMP files keep the profile's display, also when the other side is the video.
TEST_F(ColourDiffTest, StreamTagsChooseTheDisplay) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg tool";
    const std::string video = folder.file("pq.mp4");
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i color=c=gray:s=16x16:d=0.08 "
        "-r 25 -frames:v 1 -c:v libx265 -x265-params lossless=1:log-level=error -pix_fmt "
        "yuv420p10le "
        "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc '" +
        video + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    load(write_frames("ref", 1, 1, 16, 16), SequenceTable::reference);
    EXPECT_TRUE(is_profile_display(store_display(store, Side::reference)));
    load({video}, SequenceTable::degraded);
    EXPECT_TRUE(is_profile_display(store_display(store, Side::reference)));
    const DisplayChoice chosen = store_display(store, Side::degraded);
    EXPECT_EQ(chosen.transfer, DisplayTransfer::pq);
    EXPECT_EQ(chosen.primaries, DisplayPrimaries::bt2020);
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(item::ok);
    ASSERT_TRUE(p.messages.empty()) << p.messages[0].text;
    EXPECT_TRUE(is_profile_display(store.measured_conditions.colour.display));
    ASSERT_TRUE(store.measured_conditions.degraded_colour.has_value());
    EXPECT_EQ(store.measured_conditions.degraded_colour->display.transfer, DisplayTransfer::pq);
    EXPECT_EQ(store.measured_conditions.formula, DeltaEFormula::cie94);
}

TEST_F(ColourDiffTest, IdenticalSequencesGiveZeroDifference) {
    const auto paths = write_frames("same", 2, 4);
    load(paths, SequenceTable::reference);
    load(paths, SequenceTable::degraded);
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(item::ok);
    ASSERT_EQ(d.result, item::ok);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(store.diff_results[i].mean, 0.0);
}

TEST_F(ColourDiffTest, AnEmptySequenceMakesThePairAbsentAndTheLoopStopsSilently) {
    load(write_frames("deg", 2, 2), SequenceTable::degraded);
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(item::ok);
    EXPECT_TRUE(d.open());
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(store.diff_ready, 0);
    EXPECT_EQ(store.degraded_ready, 0);
    EXPECT_TRUE(store.diff_results[0].data.empty());
}

TEST_F(ColourDiffTest, FramesOfDifferentSizesAreRefusedAndEarlierSlotsKeepTheirResults) {
    load(write_frames("ref", 3, 1), SequenceTable::reference);
    auto degraded = write_frames("deg", 1, 2);
    const auto wide = write_frames("wide", 1, 3, 8, 4);
    degraded.push_back(wide[0]);
    degraded.push_back(write_frames("deg_more", 1, 5)[0]);
    load(degraded, SequenceTable::degraded);
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(item::ok);
    EXPECT_TRUE(d.open());
    ASSERT_EQ(p.messages.size(), 1u);
    // The same refusal as every face's: the frame and both files are named.
    EXPECT_EQ(p.messages[0].text, "フレーム 1: 原画像 [" + store.reference_frame_names[1] +
                                      "] (6x4) と劣化画像 [" + wide[0] +
                                      "] (8x4) の大きさが異なるため、色差を計算できません");
    EXPECT_EQ(p.messages[0].owner, Window::dialog);
    EXPECT_FALSE(store.diff_results[0].data.empty());
    EXPECT_TRUE(store.diff_results[1].data.empty());
    EXPECT_TRUE(store.diff_results[2].data.empty());
    EXPECT_EQ(store.diff_ready, 0);
    EXPECT_EQ(store.degraded_ready, 0);
    EXPECT_EQ(std::get<1>(p.progress.back()), std::get<2>(p.progress.back()));  // closed
}

TEST_F(ColourDiffTest, RepeatedOkReplacesTheResults) {
    load(write_frames("ref", 2, 1), SequenceTable::reference);
    load(write_frames("deg", 2, 2), SequenceTable::degraded);
    FakeDialog first("COLOR_DIFF_DLG", store, p.platform);
    first.press(item::ok);
    const InterleavedImage before = store.diff_results[1];
    load(write_frames("deg2", 2, 7), SequenceTable::degraded);
    FakeDialog second("COLOR_DIFF_DLG", store, p.platform);
    second.press(item::ok);
    ASSERT_EQ(second.result, item::ok);
    EXPECT_NE(store.diff_results[1].mean, before.mean);
    EXPECT_EQ(store.diff_results[1].data.size(), before.data.size());
    EXPECT_EQ(store.diff_results[1].mean, direct(1, 1).mean);
}

TEST_F(ColourDiffTest, ReferenceButtonClearsTheFilteredFlagEvenWhenCancelled) {
    store.scielab_done = 1;
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(c::open_reference);  // no answer queued: cancelled
    EXPECT_EQ(store.scielab_done, 0);
    EXPECT_EQ(d.text(c::reference_path), "");
    EXPECT_EQ(store.image_loaded, 0);
    ASSERT_EQ(p.open_requests.size(), 1u);
    EXPECT_EQ(p.open_requests[0].owner, Window::dialog);
    EXPECT_TRUE(d.open());
}

TEST_F(ColourDiffTest, ButtonsLoadBothSequencesAndShowFirstReferenceAndLastDegradedPath) {
    const auto reference = write_frames("ref", 2, 1);
    const auto degraded = write_frames("deg", 3, 2);
    p.open_answers.push_back(reference);
    p.open_answers.push_back(degraded);
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(c::open_reference);
    d.press(c::open_degraded);
    EXPECT_EQ(d.text(c::reference_path), reference[0]);
    EXPECT_EQ(d.text(c::degraded_path), degraded[2]);
    EXPECT_EQ(store.reference_count, 2);
    EXPECT_EQ(store.degraded_count, 3);
    EXPECT_EQ(store.image_loaded, 1);
    // The check boxes only toggle; they change nothing.
    d.press(c::scielab_check);
    d.press(c::cielab_check);
    EXPECT_TRUE(d.open());
    d.press(item::cancel);
    EXPECT_EQ(d.result, item::cancel);
    EXPECT_EQ(store.degraded_count, 3);  // loaded sequences stay loaded
    EXPECT_EQ(store.diff_ready, 0);
}

TEST_F(ColourDiffTest, FailedDegradedLoadChangesNoCount) {
    load(write_frames("deg", 2, 2), SequenceTable::degraded);
    p.open_answers.push_back(std::vector<std::string>{folder.file("missing.bmp")});
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(c::open_degraded);
    EXPECT_EQ(store.degraded_count, 2);
    EXPECT_EQ(d.text(c::degraded_path), "");
    EXPECT_EQ(p.messages.size(), 1u);  // the reader's message
}

TEST_F(ColourDiffTest, AnUnfinishedFilterSetIsRefusedWithAMessage) {
    load(write_frames("ref", 1, 1), SequenceTable::reference);
    load(write_frames("deg", 1, 2), SequenceTable::degraded);
    store.atd_filters = AtdFilters{};
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(item::ok);
    EXPECT_TRUE(d.open());
    EXPECT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(store.diff_ready, 0);
}

TEST_F(ColourDiffTest, RunningOutOfMemoryIsReportedAndTheDialogStaysOpen) {
    p.platform.open_files =
        [](const FileDialogRequest&) -> std::optional<std::vector<std::string>> {
        throw std::bad_alloc();
    };
    FakeDialog d("COLOR_DIFF_DLG", store, p.platform);
    d.press(c::open_degraded);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, out_of_memory_text);
    EXPECT_TRUE(d.open());
}

}  // namespace
}  // namespace orv
