#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "shell/sequences.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/media_writer.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

using test::BmpSpec;
using test::Bytes;

BmpSpec spec_of_width(int width, int bits = 24) {
    BmpSpec spec;
    spec.width = width;
    spec.height = 2;
    spec.bits_per_pixel = bits;
    return spec;
}

// Files of distinct widths, so that each slot shows which file it came from.
std::vector<std::string> write_frames(const test::TempFolder& folder,
                                      const std::vector<int>& widths, const std::string& prefix) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        paths.push_back(folder.file(prefix + std::to_string(i) + ".bmp"));
        test::write_file(paths.back(), test::make_bmp(spec_of_width(widths[i], i % 2 ? 8 : 24)));
    }
    return paths;
}

void expect_slot_holds(const FrameStore& store, const PixelBuffer& pixels, int k, int width,
                       int bits) {
    const BmpSpec spec = spec_of_width(width, bits);
    EXPECT_EQ(pixels.width, width) << "slot " << k;
    EXPECT_EQ(pixels.bytes, test::expected_frame(spec)) << "slot " << k;
    EXPECT_EQ(store.frame_width[k], width);
    EXPECT_EQ(store.frame_height[k], 2);
    EXPECT_EQ(store.frame_stride[k], stride_for_width(width));
    EXPECT_EQ(header_width(store.frame_headers[k]), width);
}

TEST(LoadSequence, OneFileFillsSlotZero) {
    test::TempFolder folder;
    auto store = std::make_unique<FrameStore>();
    const auto paths = write_frames(folder, {5}, "one");
    const SequenceLoad load = load_frame_sequence(*store, paths, SequenceTable::reference);
    EXPECT_EQ(load.count, 1);
    EXPECT_FALSE(load.failed);
    expect_slot_holds(*store, store->reference_pixels[0], 0, 5, 24);
    EXPECT_EQ(store->reference_names[0], paths[0]);
    EXPECT_EQ(store->reference_count, 0);  // counts and flags are the caller's
    EXPECT_EQ(store->image_loaded, 0);
}

TEST(LoadSequence, KeepsTheGivenOrderAndNamesTheDegradedLastFile) {
    test::TempFolder folder;
    auto store = std::make_unique<FrameStore>();
    auto files = write_frames(folder, {3, 4, 5}, "f");  // f0 w3, f1 w4, f2 w5
    const std::vector<std::string> paths = {files[1], files[0], files[2]};
    const SequenceLoad load = load_frame_sequence(*store, paths, SequenceTable::degraded);
    ASSERT_EQ(load.count, 3);
    expect_slot_holds(*store, store->degraded_pixels[0], 0, 4, 8);
    expect_slot_holds(*store, store->degraded_pixels[1], 1, 3, 24);
    expect_slot_holds(*store, store->degraded_pixels[2], 2, 5, 24);
    EXPECT_EQ(store->degraded_name, files[2]);
    EXPECT_FALSE(is_present(store->reference_pixels[0]));
    EXPECT_TRUE(store->reference_names[0].empty());
}

// A load of five files that fails at the third over an earlier load of five: slots 0 and 1
// hold the new frames, slot 2 and beyond still hold the earlier frames whole.
class LoadFailing : public testing::TestWithParam<SequenceTable> {};

TEST_P(LoadFailing, StopsAtTheThirdOfFiveAndKeepsEverySlotValid) {
    const SequenceTable table = GetParam();
    test::TempFolder folder;
    auto store = std::make_unique<FrameStore>();
    auto& pixels =
        table == SequenceTable::reference ? store->reference_pixels : store->degraded_pixels;
    const auto old_paths = write_frames(folder, {1, 2, 3, 4, 5}, "old");
    ASSERT_EQ(load_frame_sequence(*store, old_paths, table).count, 5);
    const HeaderBlock old_header_2 = store->frame_headers[2];

    auto new_paths = write_frames(folder, {7, 8, 9, 10, 11}, "new");
    Bytes broken = test::make_bmp(spec_of_width(9));
    broken.resize(broken.size() - 10);
    test::write_file(new_paths[2], broken);
    const SequenceLoad load = load_frame_sequence(*store, new_paths, table);
    EXPECT_EQ(load.count, 0);
    EXPECT_TRUE(load.failed);
    EXPECT_EQ(load.message.text, "BMPファイルの画素データがファイルに収まっていません");
    EXPECT_EQ(load.message.caption, new_paths[2]);

    expect_slot_holds(*store, pixels[0], 0, 7, 24);
    expect_slot_holds(*store, pixels[1], 1, 8, 8);
    expect_slot_holds(*store, pixels[2], 2, 3, 24);
    EXPECT_EQ(store->frame_headers[2], old_header_2);
    expect_slot_holds(*store, pixels[3], 3, 4, 8);
    expect_slot_holds(*store, pixels[4], 4, 5, 24);
    if (table == SequenceTable::reference) {
        EXPECT_EQ(store->reference_names[1], new_paths[1]);
        EXPECT_EQ(store->reference_names[2], old_paths[2]);  // the name still belongs to its frame
    } else {
        EXPECT_EQ(store->degraded_name, new_paths[2]);
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, LoadFailing,
                         testing::Values(SequenceTable::reference, SequenceTable::degraded));

TEST(LoadSequence, MissingFileGivesTheOpenMessage) {
    test::TempFolder folder;
    auto store = std::make_unique<FrameStore>();
    auto paths = write_frames(folder, {3}, "a");
    paths.push_back(folder.file("missing.bmp"));
    const SequenceLoad load = load_frame_sequence(*store, paths, SequenceTable::reference);
    EXPECT_EQ(load.count, 0);
    EXPECT_TRUE(load.failed);
    EXPECT_EQ(load.message.text, "ファイルが開けません");
    EXPECT_EQ(load.message.caption, paths[1]);
    EXPECT_EQ(store->frame_stride[1], 0);
    EXPECT_FALSE(is_present(store->reference_pixels[1]));
}

TEST(LoadSequence, FifteenHundredPathsLoadTheFirstThousand) {
    test::TempFolder folder;
    auto store = std::make_unique<FrameStore>();
    const auto files = write_frames(folder, {1, 2, 3}, "s");
    std::vector<std::string> paths;
    for (int i = 0; i < 1000; ++i) paths.push_back(files[i % 3]);
    // Beyond the thousandth path nothing is read: these files do not exist.
    for (int i = 1000; i < 1500; ++i)
        paths.push_back(folder.file("absent" + std::to_string(i) + ".bmp"));
    const SequenceLoad load = load_frame_sequence(*store, paths, SequenceTable::reference);
    EXPECT_FALSE(load.failed);
    EXPECT_EQ(load.count, 1000);
    EXPECT_EQ(store->reference_pixels[999].width, 1);  // 999 % 3 == 0
    EXPECT_EQ(store->reference_names[998], files[2]);
}

TEST(SaveNames, BaseDropsFourCharactersAndNeverUnderflows) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"D:\\data\\out.bmp", "D:\\data\\out"},
        {"/data/out.bmp", "/data/out"},
        {"out.jpeg", "out."},
        {"a.bmp", "a"},
        {".bmp", ""},
        {"abc", ""},
        {"x", ""},
        {"", ""}};
    for (const auto& [chosen, base] : cases) EXPECT_EQ(save_base(chosen), base) << chosen;
}

TEST(SaveNames, FrameNumbersHaveAtLeastFourDigits) {
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "out_0000.bmp"},   {9, "out_0009.bmp"},    {10, "out_0010.bmp"},
        {99, "out_0099.bmp"},  {100, "out_0100.bmp"},  {123, "out_0123.bmp"},
        {999, "out_0999.bmp"}, {1000, "out_1000.bmp"}, {12345, "out_12345.bmp"}};
    for (const auto& [index, name] : cases) EXPECT_EQ(numbered_name("out", index), name) << index;
    EXPECT_EQ(numbered_name("out", 7, ".BMP"), "out_0007.BMP");
}

struct Saved {
    std::unique_ptr<FrameStore> store = std::make_unique<FrameStore>();
    std::vector<FileMessage> messages;
};

// A store whose degraded sequence has `count` frames of 3 to 3 + count - 1 pixels width.
Saved degraded_store(const test::TempFolder& folder, int count) {
    Saved saved;
    std::vector<int> widths;
    for (int i = 0; i < count; ++i) widths.push_back(3 + i);
    const SequenceLoad load = load_frame_sequence(*saved.store, write_frames(folder, widths, "src"),
                                                  SequenceTable::degraded);
    EXPECT_EQ(load.count, count);
    saved.store->degraded_count = load.count;
    return saved;
}

int save(Saved& saved, const std::string& base) {
    return save_degraded_frames(*saved.store, base,
                                [&](const FileMessage& m) { saved.messages.push_back(m); });
}

TEST(SaveDegraded, WritesNumberedFilesAfterTheChosenName) {
    test::TempFolder folder;
    Saved saved = degraded_store(folder, 12);
    EXPECT_EQ(save(saved, save_base(folder.file("out.bmp"))), 12);
    EXPECT_TRUE(saved.messages.empty());
    for (int i = 0; i < 12; ++i) {
        PixelBuffer pixels;
        HeaderBlock header;
        const std::string name = folder.file(i < 10 ? "out_000" + std::to_string(i) + ".bmp"
                                                    : "out_00" + std::to_string(i) + ".bmp");
        ASSERT_GT(read_bmp_frame(name, pixels, header), 0) << name;
        EXPECT_EQ(pixels.bytes, saved.store->degraded_pixels[i].bytes);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("out_0012.bmp")));
}

TEST(SaveDegraded, TypedNameKeepsItsOwnExtension) {
    test::TempFolder folder;
    Saved saved = degraded_store(folder, 2);
    EXPECT_EQ(save(saved, save_base(folder.file("out.jpeg"))), 2);
    EXPECT_TRUE(std::filesystem::exists(folder.file("out._0000.bmp")));
    EXPECT_TRUE(std::filesystem::exists(folder.file("out._0001.bmp")));
}

TEST(SaveDegraded, SavingTwiceRefusesEveryFrameAndChangesNoFile) {
    test::TempFolder folder;
    Saved saved = degraded_store(folder, 4);
    const std::string base = save_base(folder.file("twice.bmp"));
    ASSERT_EQ(save(saved, base), 4);
    std::vector<Bytes> first;
    for (int i = 0; i < 4; ++i) first.push_back(test::read_file(numbered_name(base, i)));

    // Different content now: were any file overwritten, it would show.
    for (int i = 0; i < 4; ++i)
        saved.store->degraded_pixels[i].bytes.assign(saved.store->degraded_pixels[i].bytes.size(),
                                                     0x99);
    EXPECT_EQ(save(saved, base), 0);
    ASSERT_EQ(saved.messages.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(saved.messages[i].text, "同名のファイルが既に存在しています");
        EXPECT_EQ(saved.messages[i].caption, numbered_name(base, i));
        EXPECT_EQ(test::read_file(numbered_name(base, i)), first[i]);
    }
}

TEST(SaveDegraded, RefusedFrameIsSkippedAndTheRestWritten) {
    test::TempFolder folder;
    Saved saved = degraded_store(folder, 3);
    const std::string base = save_base(folder.file("part.bmp"));
    test::write_file(numbered_name(base, 1), {'x'});
    EXPECT_EQ(save(saved, base), 2);
    ASSERT_EQ(saved.messages.size(), 1u);
    EXPECT_EQ(saved.messages[0].caption, numbered_name(base, 1));
    EXPECT_TRUE(std::filesystem::exists(numbered_name(base, 2)));
    EXPECT_EQ(test::read_file(numbered_name(base, 1)), Bytes{'x'});
}

TEST(SaveDegraded, NoFramesWritesNothing) {
    test::TempFolder folder;
    Saved saved = degraded_store(folder, 2);
    saved.store->degraded_count = 0;
    EXPECT_EQ(save(saved, save_base(folder.file("none.bmp"))), 0);
    EXPECT_TRUE(saved.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(folder.file("none_0000.bmp")));
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

// A BMP file, then a video longer than the slots left: the video fills slots 1 to 999, its
// frame numbers are kept beside the names, and the load says the video was cut.
TEST(LoadSequence, AVideoFillsTheSlotsUpToTheLimitAndSaysWhenCut) {
    test::TempFolder folder;
    const std::vector<std::string> bmp = write_frames(folder, {8}, "still");
    const std::string video = folder.file("long.mkv");
    test::VideoSpec spec;
    spec.container = "matroska";
    spec.codec = "ffv1";
    spec.pixel_format = "bgr0";
    spec.width = 8;
    spec.height = 2;
    ASSERT_EQ(test::write_video(video, spec, max_frames + 2, test::pattern_frames()), "");
    auto store = std::make_unique<FrameStore>();
    const SequenceLoad load =
        load_frame_sequence(*store, {bmp[0], video}, SequenceTable::reference);
    EXPECT_FALSE(load.failed);
    EXPECT_EQ(load.count, max_frames);
    EXPECT_EQ(load.notice.text, video_cut_text);
    EXPECT_EQ(load.notice.caption, video);
    EXPECT_EQ(store->reference_names[0], bmp[0]);
    EXPECT_EQ(store->reference_names[1], video);
    EXPECT_EQ(store->reference_frame_index[1], 0);
    EXPECT_EQ(store->reference_frame_index[max_frames - 1], max_frames - 2);
    EXPECT_NE(store->reference_pixels[1].bytes, store->reference_pixels[2].bytes);
    EXPECT_EQ(store->frame_stride[max_frames - 1], stride_for_width(8));
}

}  // namespace
}  // namespace orv
