#pragma once
// Looking closely: the three panes zoomed together to 1:1, 2x, 4x or 8x (nearest pixel, with a
// pixel grid from 8x) and panned together; the upper-left pane flipped between the reference
// and the degraded frame at the same place and zoom; the degraded picture's pixels whose
// colour difference exceeds a threshold tinted. Pure functions of the frame store.

#include <array>

#include "shell/frame_store.h"

namespace orv {

inline constexpr std::array<double, 4> zoom_levels = {1.0, 2.0, 4.0, 8.0};
// The zoom from which the panes draw a line between the image pixels.
inline constexpr double grid_zoom = 8.0;

// The scale the panes draw at now: the zoom, or the last paint's scale (scale rule or fit).
double current_scale(const FrameStore& store);

// Sets the zoom (0: off, back to the scale rule or the fit view) keeping the image pixel at
// pane position (anchor_x, anchor_y) under it. Paint keeps the view inside the frame.
void zoom_at(FrameStore& store, double zoom, int anchor_x, int anchor_y);

// The next zoom level above (steps > 0) or below (steps < 0) the current scale; below 1:1
// the zoom goes off.
double next_zoom(const FrameStore& store, int steps);

// Moves the view so that the image moves by (dx, dy) pane pixels, from the view (from_x,
// from_y) a drag started at. Nothing while not zoomed.
void pan_view(FrameStore& store, int from_x, int from_y, int dx, int dy);

// The part of a w x h frame a zoomed pane of pane_width x pane_height shows: the view kept
// inside the frame (written back) and the visible width and height.
struct ZoomWindow {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
ZoomWindow zoom_window(FrameStore& store, int w, int h, int pane_width, int pane_height);

// The picture of `picture` with the pixels whose value in `map` exceeds `threshold` tinted
// (half way to magenta), into `out` (kept when of the same size).
void tint_over_threshold(const PixelBuffer& picture, const InterleavedImage& map, double threshold,
                         PixelBuffer& out);

// The degraded picture of `slot` with the threshold overlay, when it is on and the slot has
// a difference map of the picture's size; null otherwise. Kept until the slot, the map or the
// threshold changes.
const PixelBuffer* overlay_picture(FrameStore& store, int slot);

}  // namespace orv
