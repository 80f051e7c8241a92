#include "shell/panes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "numeric/number_text.h"
#include "report/heatmap.h"
#include "shell/view_zoom.h"

namespace orv {

namespace {

// The pixel of `buffer` at column x, row y from the top, when the buffer is there and holds it.
// The buffer's own geometry decides: a slot whose shared geometry was replaced by a frame of
// another size is never read outside its bytes.
constexpr std::size_t outside = static_cast<std::size_t>(-1);

// Byte offset of the pixel at column x, row y from the top (rows bottom-up), or `outside`.
std::size_t pixel_offset(const PixelBuffer& buffer, int x, int y) {
    if (!is_present(buffer) || x < 0 || y < 0 || x >= buffer.width || y >= buffer.height) {
        return outside;
    }
    const std::size_t offset =
        static_cast<std::size_t>(buffer.height - 1 - y) * static_cast<std::size_t>(buffer.stride) +
        3 * static_cast<std::size_t>(x);
    return offset + 3 > buffer.bytes.size() ? outside : offset;
}

// Index of the difference value at column x, row y from the top (rows bottom-up, one value per
// pixel), or `outside`.
std::size_t difference_index(const InterleavedImage& result, int x, int y) {
    if (x < 0 || y < 0 || x >= result.width || y >= result.height) return outside;
    const std::size_t channels =
        result.channels > 0 ? static_cast<std::size_t>(result.channels) : 1;
    const std::size_t index =
        (static_cast<std::size_t>(result.height - 1 - y) * static_cast<std::size_t>(result.width) +
         static_cast<std::size_t>(x)) *
        channels;
    return index >= result.data.size() ? outside : index;
}

bool read_pixel(const PixelBuffer& buffer, int x, int y, std::uint8_t bgr[3]) {
    const std::size_t offset = pixel_offset(buffer, x, y);
    if (offset == outside) return false;
    for (int k = 0; k < 3; ++k) bgr[k] = buffer.bytes[offset + k];
    return true;
}

bool read_difference(const InterleavedImage& result, int x, int y, double& value) {
    const std::size_t index = difference_index(result, x, y);
    if (index == outside) return false;
    value = result.data[index];
    return true;
}

// Mouse coordinate to image pixel: the low 16 bits of the position, scaled back, truncated
// toward zero and kept to 16 bits.
int map_coordinate(int position, double scale) {
    const double pixel = std::trunc((1.0 / scale) * static_cast<double>(position & 0xFFFF));
    if (!(pixel >= 0.0) || pixel >= 9.0e18) return 0;
    return static_cast<int>(static_cast<long long>(pixel) & 0xFFFF);
}

// A picture (top row first, R, G, B) written into a pixel buffer (rows bottom-up, B, G, R);
// a buffer of the same size keeps its memory, so stepping through heatmaps does not take
// fresh memory every step.
void copy_picture(const RgbImage& picture, PixelBuffer& buffer) {
    if (buffer.width != picture.width || buffer.height != picture.height || buffer.bytes.empty()) {
        buffer = make_pixel_buffer(picture.width, picture.height);
    }
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* in =
            picture.rgb.data() + static_cast<std::size_t>(y) * picture.width * 3;
        std::uint8_t* out =
            buffer.bytes.data() + static_cast<std::size_t>(picture.height - 1 - y) * buffer.stride;
        for (int x = 0; x < picture.width; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
}

// The heatmap of slot `slot` with its colour bar, made by the report's writer on its fixed
// scale; kept until another slot or another result is shown.
const PixelBuffer& heatmap_picture(FrameStore& store, int slot) {
    const InterleavedImage& map = store.diff_results[static_cast<std::size_t>(slot)];
    if (store.heatmap_slot != slot || store.heatmap_source != map.data.data()) {
        copy_picture(heatmap_with_colour_bar(map, HeatmapStyle{}), store.heatmap_pixels);
        store.heatmap_slot = slot;
        store.heatmap_source = map.data.data();
    }
    return store.heatmap_pixels;
}

}  // namespace

double pane_scale(int pane_width, int pane_height, int frame_width, int frame_height) {
    if (pane_height - frame_height > pane_width - frame_width) {
        return static_cast<double>(pane_width) / static_cast<double>(frame_width);
    }
    return static_cast<double>(pane_height) / static_cast<double>(frame_height);
}

double fit_scale(int pane_width, int pane_height, int frame_width, int frame_height) {
    return std::min(static_cast<double>(pane_width) / static_cast<double>(frame_width),
                    static_cast<double>(pane_height) / static_cast<double>(frame_height));
}

bool colour_bar_shown(const FrameStore& store) {
    if (!store.heatmap_view || store.image_loaded != 1 || store.diff_ready <= 0) return false;
    const int slot = lower_pane_slot(store);
    if (slot < 0 || slot >= max_frames) return false;
    const auto s = static_cast<std::size_t>(slot);
    return is_present(store.diff_pixels[s]) && !store.diff_results[s].data.empty() &&
           store.frame_width[s] > 0 && store.frame_height[s] > 0;
}

PaneDrawing paint_pane(FrameStore& store, Pane pane, int client_width, int client_height,
                       int status_height) {
    PaneDrawing drawing;
    if (store.image_loaded != 1) return drawing;

    int slot = -1;
    const PixelBuffer* image = nullptr;
    const PixelBuffer* readout = nullptr;
    switch (pane) {
        case Pane::left:
            if (store.flicker_degraded && store.degraded_ready == 1 &&
                right_pane_slot(store) >= 0) {
                // Flicker: the degraded frame in the reference's place, read as it is shown.
                slot = right_pane_slot(store);
                image = readout = &store.degraded_pixels[slot];
                break;
            }
            slot = left_pane_slot(store);
            if (slot < 0) return drawing;
            image = store.scielab_done == 1 ? &store.scielab_pixels[slot]
                                            : &store.reference_pixels[slot];
            // The colour readout stays on the reference frame while the filtered one is shown.
            readout = &store.reference_pixels[slot];
            break;
        case Pane::right:
            if (store.degraded_ready != 1) return drawing;
            slot = right_pane_slot(store);
            if (slot < 0) return drawing;
            image = readout = &store.degraded_pixels[slot];
            if (const PixelBuffer* tinted = overlay_picture(store, slot)) image = tinted;
            break;
        case Pane::lower:
            if (store.diff_ready <= 0) return drawing;
            slot = lower_pane_slot(store);
            if (slot < 0 || slot >= max_frames) return drawing;
            // A slot reached by a longer sequence loaded after the difference images were made
            // has geometry but no picture and no data: it stays undrawn and unread.
            if (!is_present(store.diff_pixels[slot]) || store.diff_results[slot].data.empty()) {
                return drawing;
            }
            image = store.heatmap_view ? &heatmap_picture(store, slot) : &store.diff_pixels[slot];
            break;
    }
    // The frame's own size where its buffer is there: the slot's shared geometry is that of
    // the sequence loaded last, which may be the other sequence at another size.
    if (store.frame_width[slot] <= 0 || store.frame_height[slot] <= 0) return drawing;
    const PixelBuffer& own = pane == Pane::lower ? store.diff_pixels[slot] : *readout;
    const bool sized = is_present(own) && own.width > 0 && own.height > 0;
    const int w = sized ? own.width : store.frame_width[slot];
    const int h = sized ? own.height : store.frame_height[slot];
    if (w <= 0 || h <= 0) return drawing;

    drawing.drawn = true;
    drawing.slot = slot;
    const int pane_width = client_width;
    const int pane_height = client_height - status_height < 0 ? 0 : client_height - status_height;
    const double scale = store.zoom > 0.0    ? store.zoom
                         : store.fit_to_pane ? fit_scale(pane_width, pane_height, w, h)
                                             : pane_scale(pane_width, pane_height, w, h);
    store.display_scale = scale;
    drawing.scale = scale;
    drawing.image = is_present(*image) ? image : nullptr;
    drawing.dest_width = static_cast<int>(std::trunc(w * scale));
    drawing.dest_height = static_cast<int>(std::trunc(h * scale));
    // A heatmap's canvas holds the picture at its top left and the colour bar to its right:
    // the pane draws the picture, so positions map as for the grey picture.
    drawing.source_width = std::min(w, image->width > 0 ? image->width : w);
    drawing.source_height = std::min(h, image->height > 0 ? image->height : h);
    if (store.zoom > 0.0) {
        // Zoomed: the part of the frame the pane holds, from the view on, pixel for pixel.
        const ZoomWindow z = zoom_window(store, w, h, pane_width, pane_height);
        drawing.source_x = z.x;
        drawing.source_y = z.y;
        drawing.source_width = std::min(z.width, drawing.source_width - z.x);
        drawing.source_height = std::min(z.height, drawing.source_height - z.y);
        drawing.dest_width = static_cast<int>(drawing.source_width * scale);
        drawing.dest_height = static_cast<int>(drawing.source_height * scale);
        drawing.grid = scale >= grid_zoom;
    }

    if (store.cursor_x >= w) store.cursor_x = w - 1;
    if (store.cursor_y >= h) store.cursor_y = h - 1;
    if (store.cursor_outside) {
        drawing.status = {std::string(), std::string(), std::string()};
        return drawing;
    }
    drawing.status[0] = position_readout(store.cursor_x, store.cursor_y);

    if (pane == Pane::lower) {
        const InterleavedImage& result = store.diff_results[slot];
        double value = 0.0;
        if (read_difference(result, store.cursor_x, store.cursor_y, value)) {
            drawing.status[1] = difference_readout(value);
        }
        drawing.status[2] = mean_difference_readout(result.mean);
    } else {
        std::uint8_t bgr[3];
        if (read_pixel(*readout, store.cursor_x, store.cursor_y, bgr)) {
            drawing.status[1] = colour_readout(bgr[2], bgr[1], bgr[0]);
        }
    }
    return drawing;
}

void prefetch_panes(const FrameStore& store, int frame) {
    if (!spill_enabled() || store.image_loaded != 1 || frame < 0 || frame >= max_frames) return;
    const int x = store.cursor_x;
    const int y = store.cursor_y;
    const int left = pane_slot(frame, store.reference_count);
    if (left >= 0) {
        const PixelBuffer& reference = store.reference_pixels[static_cast<std::size_t>(left)];
        if (store.scielab_done == 1) {
            prefetch_pages(store.scielab_pixels[static_cast<std::size_t>(left)].bytes);
            // The readout's pixel only: a touch of a page not in memory reads the pages
            // around it too, far more than one pixel needs.
            const std::size_t at = pixel_offset(reference, x, y);
            if (at != outside) prefetch_pages(reference.bytes.data(), at, 3);
        } else {
            prefetch_pages(reference.bytes);
        }
    }
    const int right = pane_slot(frame, store.degraded_count);
    if (right >= 0 && store.degraded_ready == 1) {
        prefetch_pages(store.degraded_pixels[static_cast<std::size_t>(right)].bytes);
    }
    if (store.diff_ready > 0) {
        const auto s = static_cast<std::size_t>(frame);
        const InterleavedImage& result = store.diff_results[s];
        if (store.heatmap_view) {
            prefetch_pages(result.data);
        } else {
            prefetch_pages(store.diff_pixels[s].bytes);
            const std::size_t at = difference_index(result, x, y);
            if (at != outside)
                prefetch_pages(result.data.data(), at * sizeof(double), sizeof(double));
        }
    }
}

void pane_mouse_move(FrameStore& store, Platform& platform, int x, int y) {
    if (store.display_scale == 0.0 || store.image_loaded != 1) return;
    store.cursor_x = map_coordinate(x, store.display_scale);
    store.cursor_y = map_coordinate(y, store.display_scale);
    if (store.zoom > 0.0) {  // zoomed: from the pixel at the panes' top left
        store.cursor_x += store.view_x;
        store.cursor_y += store.view_y;
    }
    // Beyond the picture's right or lower edge the readouts show nothing (paint keeps the
    // cursor clamped for the next move inside).
    const int slot = pane_slot(store.current_frame, store.reference_count);
    if (slot >= 0) {
        const auto s = static_cast<std::size_t>(slot);
        store.cursor_outside = x < 0 || y < 0 || store.cursor_x >= store.frame_width[s] ||
                               store.cursor_y >= store.frame_height[s];
    }
    platform.invalidate(Window::left_pane, false);
    platform.invalidate(Window::right_pane, false);
    platform.invalidate(Window::lower_pane, false);
}

std::array<std::string, 3> widest_readouts(Pane pane) {
    // Digits are equally wide in the fonts readouts use; 8 is often the widest of them.
    const std::string position = position_readout(65535, 65535);
    if (pane == Pane::lower) {
        return {position, difference_readout(888.888888), mean_difference_readout(888.888888)};
    }
    return {position, colour_readout(255, 255, 255), ""};
}

std::array<int, 3> status_part_edges_for(const std::array<int, 3>& text_widths, int padding) {
    std::array<int, 3> edges{};
    int right = 0;
    for (std::size_t part = 0; part < edges.size(); ++part) {
        right += std::max(text_widths[part], 0) + padding;
        edges[part] = right;
    }
    return edges;
}

std::string position_readout(int x, int y) {
    char text[64];
    std::snprintf(text, sizeof text, " X:%d Y:%d", x, y);
    return text;
}

std::string colour_readout(unsigned red, unsigned green, unsigned blue) {
    char text[64];
    std::snprintf(text, sizeof text, " R:%u G:%u B:%u", red, green, blue);
    return text;
}

// Six decimals with a decimal point, whatever the process locale is.
std::string difference_readout(double value) { return "⊿Eab:" + fixed_text(value, 6); }

std::string mean_difference_readout(double mean) { return "S-CIELAB色差:" + fixed_text(mean, 6); }

}  // namespace orv
