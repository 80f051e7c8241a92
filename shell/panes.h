#pragma once
// What the three image panes draw and read out, as pure functions of the frame store and the
// pane's client size. The window layer blits `PaneDrawing::image` stretched onto the
// destination rectangle and writes the status texts; nothing here knows a toolkit.

#include <array>
#include <optional>
#include <string>

#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv {

enum class Pane { left, right, lower };

// Height of the strip at the bottom of a pane that its status bar covers.
inline constexpr int status_bar_height = 21;
// Right edges of the three status-bar parts, in pixels, before the window's font is known.
inline constexpr std::array<int, 3> status_part_edges = {100, 200, 400};

// The widest text each status part of `pane` can show: the position at 16-bit coordinates,
// the colour readout at 255, the difference readouts with three integer digits ("" for a
// part the pane leaves empty).
std::array<std::string, 3> widest_readouts(Pane pane);

// Right edges of the three parts for texts `text_widths` pixels wide, each part `padding`
// pixels wider than its text (frame and margins), so that every readout shows whole.
std::array<int, 3> status_part_edges_for(const std::array<int, 3>& text_widths, int padding);

struct PaneDrawing {
    bool drawn = false;  // false: the pane shows its background, texts untouched
    int slot = -1;
    const PixelBuffer* image = nullptr;  // drawn stretched at (0, 0); null draws nothing
    int dest_width = 0;
    int dest_height = 0;
    // The part of `image` drawn: its top-left source_width x source_height pixels (the whole
    // frame; a heatmap's colour bar to the right of it is drawn beside the pane).
    int source_width = 0;
    int source_height = 0;
    // Zoomed: the top left of the part drawn, and whether a pixel grid goes over it.
    int source_x = 0;
    int source_y = 0;
    bool grid = false;
    double scale = 0.0;
    // Texts of status parts 0, 1, 2; an empty optional leaves that part as it was.
    std::array<std::optional<std::string>, 3> status;
};

// Pane pixels per image pixel: fits the direction with fewer spare pixels (compares
// W - w with H - h, not the ratios).
double pane_scale(int pane_width, int pane_height, int frame_width, int frame_height);

// The fit view's scale: the whole frame inside the pane, aspect kept.
double fit_scale(int pane_width, int pane_height, int frame_width, int frame_height);

// Whether the heatmap's colour bar shows beside the lower pane: the heatmap view is on and the
// lower pane draws a difference map for the current frame.
bool colour_bar_shown(const FrameStore& store);

// The paint of one pane with a client area of client_width x client_height, by the scale rule
// or, with fit_to_pane set, by fit_scale. Writes
// display_scale and clamps cursor_x / cursor_y in the store, as every paint does.
PaneDrawing paint_pane(FrameStore& store, Pane pane, int client_width, int client_height,
                       int status_height = status_bar_height);

// Starts reading from the frame store's temporary files what paint_pane would read for
// `frame` with the cursor where it is (the pictures and the readouts' values), without waiting
// for it, so that painting the frame does not wait for the disk. Nothing without a spill
// folder or for a frame out of range.
void prefetch_panes(const FrameStore& store, int frame);

// A mouse move over any pane at client position (x, y): maps it through display_scale into
// cursor_x / cursor_y and repaints the three panes without erasing. Nothing before the first
// paint (scale 0.0) or before a reference sequence is open.
void pane_mouse_move(FrameStore& store, Platform& platform, int x, int y);

std::string position_readout(int x, int y);
std::string colour_readout(unsigned red, unsigned green, unsigned blue);
std::string difference_readout(double value);
std::string mean_difference_readout(double mean);

}  // namespace orv
