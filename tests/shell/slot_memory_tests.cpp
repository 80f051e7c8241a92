// The frame store's buffers in temporary files, and the room check before a run.

#include <chrono>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

#include "image/spill_memory.h"
#include "resources/menu.h"
#include "shell/main_window.h"
#include "shell/navigation.h"
#include "shell/panes.h"
#include "shell/sequence_dialogs.h"
#include "shell/slot_memory.h"
#include "tests/shell/dialog_fakes.h"
#include "tests/shell/main_window_test_frames.h"
#include "tests/support/media_writer.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

// Spilling on for one test, off again after it.
struct SpillFolder {
    test::TempFolder folder;
    SpillFolder() { set_spill_folder(folder.path.string()); }
    ~SpillFolder() { set_spill_folder({}); }
};

TEST(SlotMemory, KeptBuffersLiveInTemporaryFilesAndKeepTheirContents) {
    SpillFolder spill;
    PixelBuffer frame = make_pixel_buffer(1000, 400);  // 1.2 MB
    for (std::size_t i = 0; i < frame.bytes.size(); ++i)
        frame.bytes[i] = static_cast<std::uint8_t>(i * 7);
    const std::vector<std::uint8_t> before(frame.bytes.begin(), frame.bytes.end());
    const std::size_t held = spilled_bytes();
    keep_in_store(frame);
    EXPECT_TRUE(is_spilled(frame.bytes.data()));
    EXPECT_GE(spilled_bytes(), held + before.size());
    // Pages given back come back from the file unchanged; writes after that stay.
    drop_resident_pages(frame.bytes);
    EXPECT_TRUE(frame.bytes == before);
    frame.bytes[5] = 1;
    drop_resident_pages(frame.bytes);
    EXPECT_EQ(frame.bytes[5], 1);
    // A copy of a kept buffer is an ordinary one; releasing the kept one unmaps its file.
    PixelBuffer copy = frame;
    EXPECT_FALSE(is_spilled(copy.bytes.data()));
    frame = PixelBuffer{};
    EXPECT_EQ(spilled_bytes(), held);
    // Small buffers and buffers without a spill folder stay on the heap.
    PixelBuffer small = make_pixel_buffer(10, 10);
    keep_in_store(small);
    EXPECT_FALSE(is_spilled(small.bytes.data()));
}

// Pages of a kept buffer in the page cache (its file's pages), out of all its pages.
int cached_pages(const PixelBuffer& pixels) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> flags((pixels.bytes.size() + page - 1) / page);
    ::mincore(const_cast<std::uint8_t*>(pixels.bytes.data()), pixels.bytes.size(), flags.data());
    int n = 0;
    for (unsigned char f : flags) n += f & 1;
    return n;
}

int pages_of(const PixelBuffer& pixels) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return static_cast<int>((pixels.bytes.size() + page - 1) / page);
}

// Out of memory and out of the page cache, as on a machine that cannot keep the files cached.
void page_out(const PixelBuffer& pixels) {
    void* block = const_cast<std::uint8_t*>(pixels.bytes.data());
    ::madvise(block, pixels.bytes.size(), MADV_POPULATE_READ);
    ::madvise(block, pixels.bytes.size(), MADV_PAGEOUT);
}

// Four frames of 1000 x 400 with their filtered pictures, kept in the frame store's files and
// pushed out of memory. False when this kernel keeps the pages cached all the same.
bool four_filtered_frames_on_disk(FrameStore& store) {
    test::open_reference(store, 4, 1000, 400);
    for (int i = 0; i < 4; ++i) {
        store.scielab_pixels[i] = store.reference_pixels[i];
        keep_in_store(store.reference_pixels[i]);
        keep_in_store(store.scielab_pixels[i]);
    }
    store.scielab_done = 1;
    ::sync();  // clean pages only leave the page cache
    for (int i = 0; i < 4; ++i) {
        page_out(store.reference_pixels[i]);
        page_out(store.scielab_pixels[i]);
        if (cached_pages(store.scielab_pixels[i]) != 0) return false;
    }
    return true;
}

// Pages the kernel keeps or drops on its own, whatever was asked: pages read a moment ago may
// still wait in a processor's small batch (15 pages) before joining the lists reclaim takes
// from, and a busy machine's reclaim may take a few pages just read (CI once found 290 of
// 293). A picture's 293 pages are "read" or "released" up to two batches.
constexpr int stray_pages = 30;

// Waits for the queued reads of a picture to land; true when they did, but for stray pages.
// The wait is long because the suite's other tests may keep the disk busy meanwhile (a CI
// run once took over 2 s); on a quiet machine the reads land within a few milliseconds.
bool read_soon(const PixelBuffer& pixels) {
    const int wanted = pages_of(pixels) - stray_pages;
    for (int wait = 0; wait < 1000 && cached_pages(pixels) < wanted; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cached_pages(pixels) >= wanted;
}

TEST(SlotMemory, SteppingStartsReadingWhatTheNextStepShows) {
    struct Case {
        const char* name;
        int from;
        FrameStep step;
        int shown;
        int read_ahead;  // frame whose pictures are read before the step to it
        int untouched;   // a frame nothing asks for
    };
    const Case cases[] = {
        {"next", 1, FrameStep::next, 2, 3, 0},
        {"next_wraps", 2, FrameStep::next, 3, 0, 1},
        {"previous", 2, FrameStep::previous, 1, 0, 3},
        {"previous_wraps", 1, FrameStep::previous, 0, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SpillFolder spill;
        auto store = test::fresh_store();
        if (!four_filtered_frames_on_disk(*store))
            GTEST_SKIP() << "this kernel keeps the pages cached";
        store->current_frame = c.from;
        // The frame shown before the step, read back into memory as painting it does.
        PixelBuffer& left_behind = store->scielab_pixels[c.from];
        ::madvise(left_behind.bytes.data(), left_behind.bytes.size(), MADV_POPULATE_READ);
        ASSERT_EQ(cached_pages(left_behind), pages_of(left_behind));
        test::ScriptedPlatform p;
        ASSERT_TRUE(step_frame(*store, p.platform, c.step));
        EXPECT_EQ(store->current_frame, c.shown);
        // The frame left behind gives its page-cache memory back; its contents stay.
        EXPECT_LE(cached_pages(left_behind), stray_pages);
        EXPECT_TRUE(left_behind.bytes == store->reference_pixels[c.from].bytes);
        // The read-ahead is queued, not awaited: it lands soon after.
        const PixelBuffer& ahead = store->scielab_pixels[c.read_ahead];
        EXPECT_TRUE(read_soon(ahead)) << cached_pages(ahead);
        EXPECT_TRUE(read_soon(store->scielab_pixels[c.shown]))
            << cached_pages(store->scielab_pixels[c.shown]);
        // The reference frame behind the filtered picture gives only the readout's pixel.
        EXPECT_GE(cached_pages(store->reference_pixels[c.read_ahead]), 1);
        EXPECT_LE(cached_pages(store->reference_pixels[c.read_ahead]), 2);
        EXPECT_EQ(cached_pages(store->scielab_pixels[c.untouched]), 0);
    }
}

// A command (here S_CIELAB, declined) ends by reading what the first step will show.
TEST(SlotMemory, ACommandLeavesTheShownAndTheNextFrameRead) {
    SpillFolder spill;
    auto store = test::fresh_store();
    if (!four_filtered_frames_on_disk(*store)) GTEST_SKIP() << "this kernel keeps the pages cached";
    store->current_frame = 3;
    test::ScriptedPlatform p;
    p.platform.message_box = [](const MessageRequest&) { return MessageAnswer::no; };
    run_main_command(*store, p.platform, command::scielab);
    EXPECT_TRUE(read_soon(store->scielab_pixels[3])) << cached_pages(store->scielab_pixels[3]);
    // the next frame, after the last
    EXPECT_TRUE(read_soon(store->scielab_pixels[0])) << cached_pages(store->scielab_pixels[0]);
    EXPECT_EQ(cached_pages(store->scielab_pixels[1]), 0);
}

TEST(SlotMemory, RunsTheMachineCannotHoldAreRefusedWithNeedAndRoomAndChangeNothing) {
    struct Case {
        const char* name;
        bool spilling;
        std::uint64_t memory_mb;
        std::uint64_t disk_mb;
        bool runs;
    };
    // Three 1000 x 1000 frames: 9 MB kept, about 240 MB working memory on two threads.
    const Case cases[] = {
        {"heap_enough", false, 8000, 0, true},
        {"heap_short", false, 200, 100000, false},
        {"disk_enough", true, 2000, 1000, true},
        {"disk_short", true, 100000, 100, false},
        {"disk_but_no_memory", true, 100, 100000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<SpillFolder> spill;
        if (c.spilling) spill.emplace();
        auto store = test::fresh_store();
        test::open_reference(*store, 3, 1000, 1000);
        test::ScriptedPlatform p;
        p.platform.machine_room = [&c] { return MachineRoom{c.memory_mb << 20, c.disk_mb << 20}; };
        const bool ok = check_room(p.platform, Window::main, scielab_need(*store));
        EXPECT_EQ(ok, c.runs);
        if (!c.runs) {
            ASSERT_EQ(p.messages.size(), 1u);
            const std::string& text = p.messages[0].text;
            EXPECT_EQ(
                text.rfind("メモリまたはディスクの空きが足りないため処理できません\n必要: ", 0), 0u)
                << text;
            EXPECT_NE(text.find("\n空き: "), std::string::npos);
            EXPECT_NE(text.find(" GB"), std::string::npos);
            EXPECT_EQ(text.find("一時ディスク") != std::string::npos, c.spilling);
            EXPECT_EQ(p.messages[0].caption, "CAUTION !!");
            // The command itself: asked, refused, nothing filtered.
            p.messages.clear();
            store->atd_filter_set = 1;
            run_main_command(*store, p.platform, command::scielab);
            EXPECT_EQ(store->scielab_done, 0);
            EXPECT_FALSE(is_present(store->scielab_pixels[0]));
            EXPECT_EQ(p.messages.size(), 2u);  // the question, then the refusal
        }
    }
}

TEST(SlotMemory, VideoLoadsAreSizedFromTheProbedFramesAndRefusedWhenTooLarge) {
    test::TempFolder folder;
    const std::string video = folder.file("clip.mkv");
    const test::VideoSpec spec{"matroska", "ffv1", "bgr0", 320, 240, {}, 2, 0};
    ASSERT_EQ(test::write_video(video, spec, 7, test::pattern_frames()), "");
    auto store = test::fresh_store();
    test::open_reference(*store, 2, 8, 6);
    const std::uint64_t frame = static_cast<std::uint64_t>(stride_for_width(320)) * 240;
    // Seven frames of the video; a file that cannot be probed adds nothing (the load reports it).
    const RoomNeed need = load_need(*store, {video, folder.file("missing.mp4")}, true);
    EXPECT_EQ(need.kept, 7 * frame);
    EXPECT_EQ(need.working, 2 * frame);
    EXPECT_EQ(need.released, 2 * static_cast<std::uint64_t>(stride_for_width(8)) * 6);

    // Memory for the head-room of 256 MB and one more: the video's 2 MB do not fit. Refused
    // with need and room; the loaded sequence stays.
    test::ScriptedPlatform p;
    p.platform.machine_room = [] { return MachineRoom{std::uint64_t{257} << 20, 0}; };
    EXPECT_EQ(
        load_sequence_files(*store, p.platform, Window::main, {video}, SequenceTable::reference),
        0);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_NE(p.messages[0].text.find("必要: メモリ "), std::string::npos);
    EXPECT_EQ(store->reference_count, 2);
    EXPECT_EQ(store->reference_pixels[0].width, 8);
}

}  // namespace
}  // namespace orv
