#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "shell/frame_store.h"

namespace orv {
namespace {

std::unique_ptr<FrameStore> new_store() { return std::make_unique<FrameStore>(); }

PixelBuffer some_pixels() { return make_pixel_buffer(2, 2); }
HeaderBlock some_header() { return HeaderBlock(header_block_size, 1); }

TEST(FrameStore, StepsToTheLargerCountAndPanesClampToTheirSequence) {
    auto store = new_store();
    store->reference_count = 3;
    store->degraded_count = 5;
    struct Expected {
        int current, left, right;
    };
    const std::vector<Expected> visits = {{1, 1, 1}, {2, 2, 2}, {3, 2, 3},
                                          {4, 2, 4}, {0, 0, 0}, {1, 1, 1}};
    for (const Expected& e : visits) {
        advance_frame(*store);
        EXPECT_EQ(store->current_frame, e.current);
        EXPECT_EQ(left_pane_slot(*store), e.left);
        EXPECT_EQ(right_pane_slot(*store), e.right);
        EXPECT_EQ(lower_pane_slot(*store), e.current);
    }
}

TEST(FrameStore, SteppingWrapsForEveryCountPair) {
    struct Case {
        int reference_count, degraded_count, wrap;
    };
    for (const Case& c :
         std::vector<Case>{{1, 0, 1}, {0, 0, 1}, {5, 3, 5}, {1000, 1000, 1000}, {2, 7, 7}}) {
        auto store = new_store();
        store->reference_count = c.reference_count;
        store->degraded_count = c.degraded_count;
        for (int step = 1; step <= 2 * c.wrap; ++step) {
            advance_frame(*store);
            EXPECT_EQ(store->current_frame, step % c.wrap)
                << c.reference_count << "/" << c.degraded_count;
        }
    }
}

TEST(FrameStore, EmptySequenceHasNoPaneSlot) {
    auto store = new_store();
    store->reference_count = 2;
    store->current_frame = 1;
    EXPECT_EQ(left_pane_slot(*store), 1);
    EXPECT_EQ(right_pane_slot(*store), -1);
    EXPECT_EQ(lower_pane_slot(*store), 1);
}

TEST(FrameStore, ReleaseEmptiesFilledAndEmptySlots) {
    PixelBuffer pixels = some_pixels();
    HeaderBlock header = some_header();
    release_frame_slot(pixels, header);
    EXPECT_FALSE(is_present(pixels));
    EXPECT_EQ(pixels.width, 0);
    EXPECT_EQ(pixels.stride, 0);
    EXPECT_TRUE(header.empty());
    release_frame_slot(pixels, header);  // already null: harmless
    EXPECT_FALSE(is_present(pixels));
}

TEST(FrameStore, StartUpReleasesBothSequencesAndShutdownTheReference) {
    auto store = new_store();
    for (int i : {0, 499, 999}) {
        store->reference_pixels[i] = some_pixels();
        store->degraded_pixels[i] = some_pixels();
        store->frame_headers[i] = some_header();
    }
    start_frame_store(*store, "/home/user/data");
    EXPECT_EQ(store->start_directory, "/home/user/data");
    EXPECT_EQ(store->profile_folder, "/home/user/data");
    for (int i = 0; i < max_frames; ++i) {
        EXPECT_FALSE(is_present(store->reference_pixels[i]));
        EXPECT_FALSE(is_present(store->degraded_pixels[i]));
        EXPECT_TRUE(store->frame_headers[i].empty());
    }

    store->reference_pixels[999] = some_pixels();
    store->degraded_pixels[999] = some_pixels();
    store->frame_headers[999] = some_header();
    shut_down_frame_store(*store);
    EXPECT_FALSE(is_present(store->reference_pixels[999]));
    EXPECT_TRUE(store->frame_headers[999].empty());
    EXPECT_TRUE(is_present(store->degraded_pixels[999]));
}

TEST(FrameStore, ResetGivesTheStartState) {
    auto store = new_store();
    store->reference_pixels[3] = some_pixels();
    store->frame_headers[3] = some_header();
    store->frame_stride[3] = 8;
    store->reference_names[3] = "a.bmp";
    store->reference_count = 4;
    store->degraded_count = 2;
    store->degraded_name = "b.bmp";
    store->current_frame = 2;
    store->cursor_x = 5;
    store->display_scale = 1.5;
    store->profile_folder = "/p";
    store->image_loaded = store->degraded_ready = store->atd_filter_set = 1;
    store->scielab_done = store->diff_ready = 1;
    store->diff_results[3].data = {1.0};
    reset_frame_store(*store);
    EXPECT_FALSE(is_present(store->reference_pixels[3]));
    EXPECT_TRUE(store->frame_headers[3].empty());
    EXPECT_EQ(store->frame_stride[3], 0);
    EXPECT_TRUE(store->reference_names[3].empty());
    EXPECT_TRUE(store->diff_results[3].data.empty());
    EXPECT_EQ(
        store->reference_count + store->degraded_count + store->current_frame + store->cursor_x, 0);
    EXPECT_EQ(store->display_scale, 0.0);
    EXPECT_TRUE(store->degraded_name.empty());
    EXPECT_TRUE(store->profile_folder.empty());
    EXPECT_EQ(store->image_loaded + store->degraded_ready + store->atd_filter_set +
                  store->scielab_done + store->diff_ready,
              0);
}

TEST(FrameStore, OneStoreForTheProgram) { EXPECT_EQ(&frame_store(), &frame_store()); }

}  // namespace
}  // namespace orv
