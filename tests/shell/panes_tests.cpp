// What the panes draw and read out: scale rule, destination size, cursor mapping and
// clamping, readout texts, slots per pane.

#include <gtest/gtest.h>

#include "shell/panes.h"
#include "tests/shell/main_window_platform.h"
#include "tests/shell/main_window_test_frames.h"

namespace orv {
namespace {

using test::ScriptedMainPlatform;

TEST(PaneScaleTest, ComparesSparePixelsNotRatios) {
    struct Case {
        int pane_w, pane_h, frame_w, frame_h;
        double scale;
    };
    const Case cases[] = {
        {500, 300, 100, 100, 3.0},   // 200 spare rows, 400 spare columns: height decides
        {1000, 200, 900, 100, 2.0},  // equal spare pixels: height decides (ratios: 1000 / 900)
        {300, 500, 100, 100, 3.0},   // more spare rows: width decides
        {1000, 250, 900, 100, 1000.0 / 900.0},
        {10, 10, 100, 50, 0.1},  // -40 spare rows beat -90 spare columns
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(pane_scale(c.pane_w, c.pane_h, c.frame_w, c.frame_h), c.scale)
            << c.pane_w << "x" << c.pane_h << " " << c.frame_w << "x" << c.frame_h;
    }
}

TEST(PanePaintTest, Example500By321WithA100By100Frame) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 1, 100, 100);
    const PaneDrawing d = paint_pane(*store, Pane::left, 500, 321);
    ASSERT_TRUE(d.drawn);
    EXPECT_DOUBLE_EQ(d.scale, 3.0);
    EXPECT_DOUBLE_EQ(store->display_scale, 3.0);
    EXPECT_EQ(d.dest_width, 300);
    EXPECT_EQ(d.dest_height, 300);
    EXPECT_EQ(d.image, &store->reference_pixels[0]);

    pane_mouse_move(*store, p.platform, 150, 60);
    EXPECT_EQ(store->cursor_x, 50);
    EXPECT_EQ(store->cursor_y, 20);
    for (Window w : {Window::left_pane, Window::right_pane, Window::lower_pane}) {
        EXPECT_TRUE(p.invalidated(w, false));
        EXPECT_FALSE(p.invalidated(w, true));
    }
    const PaneDrawing again = paint_pane(*store, Pane::left, 500, 321);
    EXPECT_EQ(again.status[0], " X:50 Y:20");
}

TEST(PanePaintTest, Example900By100FrameIn1000By221) {
    auto store = test::fresh_store();
    test::open_reference(*store, 1, 900, 100);
    const PaneDrawing d = paint_pane(*store, Pane::left, 1000, 221);
    ASSERT_TRUE(d.drawn);
    EXPECT_DOUBLE_EQ(d.scale, 2.0);
    EXPECT_EQ(d.dest_width, 1800);
    EXPECT_EQ(d.dest_height, 200);
}

TEST(PanePaintTest, PaneShorterThanStatusBarUsesHeightZero) {
    auto store = test::fresh_store();
    test::open_reference(*store, 1, 10, 10);
    const PaneDrawing d = paint_pane(*store, Pane::left, 100, 15);
    ASSERT_TRUE(d.drawn);
    EXPECT_DOUBLE_EQ(d.scale, 0.0);
    EXPECT_EQ(d.dest_width, 0);
}

TEST(PaneReadoutTest, BlueTenGreenTwentyRedThirty) {
    auto store = test::fresh_store();
    test::open_reference(*store, 1, 4, 3);
    test::set_pixel(store->reference_pixels[0], 0, 0, 10, 20, 30);
    // Before any mouse movement the readouts show the top-left pixel (the last stored row).
    const PaneDrawing d = paint_pane(*store, Pane::left, 400, 321);
    EXPECT_EQ(d.status[0], " X:0 Y:0");
    EXPECT_EQ(d.status[1], " R:30 G:20 B:10");
    EXPECT_FALSE(d.status[2].has_value());
    EXPECT_EQ(colour_readout(30, 20, 10), " R:30 G:20 B:10");
}

TEST(PaneReadoutTest, DifferenceTextsHaveSixDecimals) {
    EXPECT_EQ(difference_readout(1.5), "⊿Eab:1.500000");
    EXPECT_EQ(mean_difference_readout(0.25), "S-CIELAB色差:0.250000");
    EXPECT_EQ(position_readout(7, 65535), " X:7 Y:65535");
}

TEST(PaneCursorTest, PointerBeyondTheImageShowsNoReadout) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 1, 100, 100);
    test::set_pixel(store->reference_pixels[0], 99, 99, 1, 2, 3);
    paint_pane(*store, Pane::left, 500, 321);  // scale 3
    // Right of, below, and right of and below the picture: every part empty.
    for (const auto& [x, y] : {std::pair{480, 150}, std::pair{150, 310}, std::pair{480, 310}}) {
        pane_mouse_move(*store, p.platform, x, y);
        EXPECT_TRUE(store->cursor_outside);
        const PaneDrawing d = paint_pane(*store, Pane::left, 500, 321);
        EXPECT_TRUE(d.drawn);
        for (const auto& text : d.status) EXPECT_EQ(text, std::string());
    }
    // The last pixel inside reads again.
    pane_mouse_move(*store, p.platform, 299, 299);
    EXPECT_FALSE(store->cursor_outside);
    const PaneDrawing d = paint_pane(*store, Pane::left, 500, 321);
    EXPECT_EQ(d.status[0], " X:99 Y:99");
    EXPECT_EQ(d.status[1], " R:3 G:2 B:1");
}

TEST(PaneCursorTest, PositionIsTakenAsUnsigned16Bits) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 1, 100, 100);
    store->display_scale = 1.0;
    pane_mouse_move(*store, p.platform, -1, 70000);
    EXPECT_EQ(store->cursor_x, 65535);
    EXPECT_EQ(store->cursor_y, 70000 & 0xFFFF);
}

TEST(PaneCursorTest, MovesDoNothingBeforeFirstPaintOrWithoutImage) {
    auto store = test::fresh_store();
    ScriptedMainPlatform p;
    test::open_reference(*store, 1, 100, 100);
    pane_mouse_move(*store, p.platform, 50, 50);  // scale still 0.0
    EXPECT_EQ(store->cursor_x, 0);
    EXPECT_TRUE(p.invalidations.empty());

    store->image_loaded = 0;
    store->display_scale = 2.0;
    pane_mouse_move(*store, p.platform, 50, 50);
    EXPECT_EQ(store->cursor_x, 0);
    EXPECT_TRUE(p.invalidations.empty());
}

TEST(PaneSlotTest, ShorterReferenceShowsItsLastFrameDegradedItsOwn) {
    auto store = test::fresh_store();
    test::open_reference(*store, 3, 4, 3);
    for (int i = 0; i < 5; ++i) test::put_degraded_frame(*store, i, 4, 3, 0x80);
    for (int i = 0; i < 5; ++i)
        test::set_pixel(store->degraded_pixels[i], 0, 0, 0, 0, static_cast<std::uint8_t>(i));
    test::set_pixel(store->reference_pixels[2], 0, 0, 0, 0, 222);
    store->degraded_count = 5;
    store->degraded_ready = 1;
    store->current_frame = 4;

    const PaneDrawing left = paint_pane(*store, Pane::left, 400, 321);
    EXPECT_EQ(left.slot, 2);
    EXPECT_EQ(left.image, &store->reference_pixels[2]);
    EXPECT_EQ(left.status[1], " R:222 G:0 B:0");
    const PaneDrawing right = paint_pane(*store, Pane::right, 400, 321);
    EXPECT_EQ(right.slot, 4);
    EXPECT_EQ(right.image, &store->degraded_pixels[4]);
    EXPECT_EQ(right.status[1], " R:4 G:0 B:0");
}

TEST(PaneSlotTest, WhatEachPaneNeedsBeforeItDraws) {
    auto store = test::fresh_store();
    test::put_degraded_frame(*store, 0, 4, 3);
    store->degraded_count = 1;
    store->degraded_ready = 1;
    // Nothing is drawn before a reference sequence is open.
    for (Pane pane : {Pane::left, Pane::right, Pane::lower}) {
        EXPECT_FALSE(paint_pane(*store, pane, 400, 321).drawn);
    }
    test::open_reference(*store, 1);
    store->degraded_ready = 0;
    EXPECT_TRUE(paint_pane(*store, Pane::left, 400, 321).drawn);
    EXPECT_FALSE(paint_pane(*store, Pane::right, 400, 321).drawn);
    store->degraded_ready = 1;
    EXPECT_TRUE(paint_pane(*store, Pane::right, 400, 321).drawn);
    // The lower pane waits for the colour-difference images, even after S_CIELAB.
    store->scielab_done = 1;
    EXPECT_FALSE(paint_pane(*store, Pane::lower, 400, 321).drawn);
    // An empty slot (width 0) is left undrawn with its texts untouched.
    store->frame_width[0] = 0;
    const PaneDrawing empty = paint_pane(*store, Pane::left, 400, 321);
    EXPECT_FALSE(empty.drawn);
    EXPECT_FALSE(empty.status[0].has_value());
}

TEST(PaneSlotTest, FilteredImageShownButReferenceBytesRead) {
    auto store = test::fresh_store();
    test::open_reference(*store, 1, 4, 3);
    test::set_pixel(store->reference_pixels[0], 0, 0, 10, 20, 30);
    store->scielab_pixels[0] = make_pixel_buffer(4, 3);
    store->scielab_done = 1;
    const PaneDrawing d = paint_pane(*store, Pane::left, 400, 321);
    EXPECT_EQ(d.image, &store->scielab_pixels[0]);
    EXPECT_EQ(d.status[1], " R:30 G:20 B:10");
}

TEST(PaneSlotTest, LowerPaneReadsDifferenceDataOnlyWhereItExists) {
    auto store = test::fresh_store();
    test::open_reference(*store, 3, 2, 2);
    store->diff_ready = 1;
    // Slot 0 has a picture and data; slot 1 has geometry only (a longer sequence came later).
    store->diff_pixels[0] = make_pixel_buffer(2, 2);
    InterleavedImage& result = store->diff_results[0];
    result.width = 2;
    result.height = 2;
    result.channels = 1;
    result.data = {1.0, 2.0, 3.0, 4.0};  // rows bottom-up
    result.mean = 2.5;

    store->cursor_x = 1;
    store->cursor_y = 0;  // top row = last stored row
    const PaneDrawing d = paint_pane(*store, Pane::lower, 400, 321);
    ASSERT_TRUE(d.drawn);
    EXPECT_EQ(d.image, &store->diff_pixels[0]);
    EXPECT_EQ(d.status[0], " X:1 Y:0");
    EXPECT_EQ(d.status[1], "⊿Eab:4.000000");
    EXPECT_EQ(d.status[2], "S-CIELAB色差:2.500000");

    store->current_frame = 1;
    EXPECT_FALSE(paint_pane(*store, Pane::lower, 400, 321).drawn);
    // The lower pane keeps current_frame unchanged, even beyond every count.
    store->current_frame = 999;
    EXPECT_FALSE(paint_pane(*store, Pane::lower, 400, 321).drawn);
}

TEST(PaneSlotTest, FramesKeepTheirOwnSizeWhenTheSlotGeometryIsAnothers) {
    auto store = test::fresh_store();
    test::open_reference(*store, 1, 2, 2);
    // A larger degraded frame loaded later replaced the slot's shared geometry.
    test::put_degraded_frame(*store, 0, 50, 40);
    store->degraded_count = 1;
    store->degraded_ready = 1;
    store->cursor_x = 30;
    store->cursor_y = 30;
    const PaneDrawing d = paint_pane(*store, Pane::left, 400, 321);
    ASSERT_TRUE(d.drawn);
    // The 2 x 2 reference frame is drawn and read at its own size, never outside its bytes.
    EXPECT_EQ(d.source_width, 2);
    EXPECT_EQ(d.status[0], " X:1 Y:1");
    EXPECT_TRUE(d.status[1].has_value());
    const PaneDrawing right = paint_pane(*store, Pane::right, 400, 321);
    EXPECT_EQ(right.source_width, 50);
    EXPECT_EQ(right.source_height, 40);
}

}  // namespace
}  // namespace orv
