#include "shell/view_zoom.h"

#include <algorithm>
#include <cmath>

namespace orv {

double current_scale(const FrameStore& store) {
    return store.zoom > 0.0 ? store.zoom : store.display_scale;
}

namespace {

// The image pixel at pane position p, for the scale and view in use.
int pixel_at(double scale, int view, int p) {
    if (!(scale > 0.0)) return view;
    return view + static_cast<int>(std::floor(p / scale));
}

}  // namespace

void zoom_at(FrameStore& store, double zoom, int anchor_x, int anchor_y) {
    const double scale = current_scale(store);
    const int view_x = store.zoom > 0.0 ? store.view_x : 0;
    const int view_y = store.zoom > 0.0 ? store.view_y : 0;
    const int px = pixel_at(scale, view_x, anchor_x);
    const int py = pixel_at(scale, view_y, anchor_y);
    store.zoom = zoom > 0.0 ? zoom : 0.0;
    if (store.zoom > 0.0) {
        store.view_x = std::max(0, px - static_cast<int>(std::floor(anchor_x / store.zoom)));
        store.view_y = std::max(0, py - static_cast<int>(std::floor(anchor_y / store.zoom)));
    } else {
        store.view_x = store.view_y = 0;
    }
}

double next_zoom(const FrameStore& store, int steps) {
    const double scale = current_scale(store);
    if (steps > 0) {
        for (double level : zoom_levels) {
            if (level > scale + 1e-9) return level;
        }
        return zoom_levels.back();
    }
    for (auto it = zoom_levels.rbegin(); it != zoom_levels.rend(); ++it) {
        if (*it < scale - 1e-9) return *it;
    }
    return 0.0;  // below 1:1: off
}

void pan_view(FrameStore& store, int from_x, int from_y, int dx, int dy) {
    if (!(store.zoom > 0.0)) return;
    store.view_x = std::max(0, from_x - static_cast<int>(std::lround(dx / store.zoom)));
    store.view_y = std::max(0, from_y - static_cast<int>(std::lround(dy / store.zoom)));
}

ZoomWindow zoom_window(FrameStore& store, int w, int h, int pane_width, int pane_height) {
    ZoomWindow z;
    const double zoom = store.zoom > 0.0 ? store.zoom : 1.0;
    z.width = std::clamp(static_cast<int>(std::ceil(pane_width / zoom)), 1, std::max(w, 1));
    z.height = std::clamp(static_cast<int>(std::ceil(pane_height / zoom)), 1, std::max(h, 1));
    store.view_x = std::clamp(store.view_x, 0, std::max(w - z.width, 0));
    store.view_y = std::clamp(store.view_y, 0, std::max(h - z.height, 0));
    z.x = store.view_x;
    z.y = store.view_y;
    return z;
}

void tint_over_threshold(const PixelBuffer& picture, const InterleavedImage& map, double threshold,
                         PixelBuffer& out) {
    if (out.width != picture.width || out.height != picture.height || out.bytes.empty()) {
        out = make_pixel_buffer(picture.width, picture.height);
    }
    const std::size_t channels = map.channels > 0 ? static_cast<std::size_t>(map.channels) : 1;
    for (int row = 0; row < picture.height; ++row) {  // stored rows, bottom-up in both
        const std::uint8_t* in =
            picture.bytes.data() + static_cast<std::size_t>(row) * picture.stride;
        std::uint8_t* to = out.bytes.data() + static_cast<std::size_t>(row) * out.stride;
        for (int x = 0; x < picture.width; ++x) {
            const std::size_t at =
                (static_cast<std::size_t>(row) * static_cast<std::size_t>(map.width) +
                 static_cast<std::size_t>(x)) *
                channels;
            const bool over = at < map.data.size() && map.data[at] > threshold;
            const std::uint8_t* p = in + 3 * x;
            std::uint8_t* q = to + 3 * x;
            // Blue, green, red; magenta is 255, 0, 255.
            q[0] = over ? static_cast<std::uint8_t>((p[0] + 255) / 2) : p[0];
            q[1] = over ? static_cast<std::uint8_t>(p[1] / 2) : p[1];
            q[2] = over ? static_cast<std::uint8_t>((p[2] + 255) / 2) : p[2];
        }
    }
}

const PixelBuffer* overlay_picture(FrameStore& store, int slot) {
    if (store.overlay_threshold < 0.0 || store.diff_ready <= 0) return nullptr;
    if (slot < 0 || slot >= max_frames) return nullptr;
    const int lower = lower_pane_slot(store);
    if (lower < 0 || lower >= max_frames) return nullptr;
    const PixelBuffer& picture = store.degraded_pixels[static_cast<std::size_t>(slot)];
    const InterleavedImage& map = store.diff_results[static_cast<std::size_t>(lower)];
    if (!is_present(picture) || map.data.empty() || map.width != picture.width ||
        map.height != picture.height) {
        return nullptr;
    }
    if (store.overlay_slot != slot || store.overlay_source != map.data.data() ||
        store.overlay_made_for != store.overlay_threshold) {
        tint_over_threshold(picture, map, store.overlay_threshold, store.overlay_pixels);
        store.overlay_slot = slot;
        store.overlay_source = map.data.data();
        store.overlay_made_for = store.overlay_threshold;
    }
    return &store.overlay_pixels;
}

}  // namespace orv
