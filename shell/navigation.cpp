#include "shell/navigation.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "numeric/number_text.h"
#include "shell/panes.h"
#include "shell/slot_memory.h"
#include "shell/viewing_settings.h"

namespace orv {

namespace {

std::string file_name_of(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Six decimals with a decimal point, whatever the process locale is.
std::string six_decimals(double value) { return fixed_text(value, 6); }

}  // namespace

int frame_count(const FrameStore& store) {
    return std::min(std::max(store.reference_count, store.degraded_count), max_frames);
}

namespace {

// Starts reading what the panes show for `frame` and for one more step of `direction`.
void read_ahead(const FrameStore& store, int frame, int direction) {
    prefetch_panes(store, frame);
    const int count = frame_count(store);
    if (count > 1) prefetch_panes(store, (frame + direction + count) % count);
}

// Shows `frame`: gives back the pages of the slots no longer shown (and their memory in the
// page cache, which the reads of the next frames take again), repaints the panes, and
// starts reading from the disk what the panes show now and what one more step of `direction`
// (+1 or -1) would show, so that painting and stepping on do not wait for it.
void move_to(FrameStore& store, Platform& platform, int frame, int direction = 1) {
    const int shown[] = {left_pane_slot(store), right_pane_slot(store), lower_pane_slot(store)};
    store.current_frame = frame;
    const int now[] = {left_pane_slot(store), right_pane_slot(store), lower_pane_slot(store)};
    for (int slot : shown) {
        if (std::find(std::begin(now), std::end(now), slot) == std::end(now)) {
            release_slot_pages(store, slot);
        }
    }
    platform.invalidate(Window::left_pane, true);
    platform.invalidate(Window::right_pane, true);
    platform.invalidate(Window::lower_pane, true);
    read_ahead(store, frame, direction);
}

}  // namespace

void read_ahead_current(const FrameStore& store) {
    if (store.image_loaded == 1) read_ahead(store, store.current_frame, 1);
}

bool step_frame(FrameStore& store, Platform& platform, FrameStep step) {
    if (store.image_loaded != 1) return false;
    const int count = frame_count(store);
    int frame = store.current_frame;
    switch (step) {
        case FrameStep::next:
            // As advance_frame: the next frame, 0 after the last.
            frame = frame + 1 >= count ? 0 : frame + 1;
            break;
        case FrameStep::previous:
            frame = frame > 0 ? frame - 1 : std::max(count - 1, 0);
            break;
        case FrameStep::first:
            frame = 0;
            break;
        case FrameStep::last:
            frame = std::max(count - 1, 0);
            break;
    }
    move_to(store, platform, frame, step == FrameStep::previous ? -1 : 1);
    return true;
}

bool go_to_frame(FrameStore& store, Platform& platform, int frame) {
    if (store.image_loaded != 1 || frame < 0 || frame >= frame_count(store)) return false;
    move_to(store, platform, frame);
    return true;
}

bool key_step(FrameStore& store, Platform& platform, StepKey key) {
    switch (key) {
        case StepKey::right:
        case StepKey::space:
            return step_frame(store, platform, FrameStep::next);
        case StepKey::left:
            return step_frame(store, platform, FrameStep::previous);
        case StepKey::home:
            return step_frame(store, platform, FrameStep::first);
        case StepKey::end:
            return step_frame(store, platform, FrameStep::last);
        case StepKey::other:
            break;
    }
    return false;
}

bool wheel_step(FrameStore& store, Platform& platform, int delta) {
    if (delta == 0) return false;
    return step_frame(store, platform, delta > 0 ? FrameStep::previous : FrameStep::next);
}

std::vector<std::string> quarter_lines(const FrameStore& store) {
    std::vector<std::string> lines;
    if (store.image_loaded != 1) {
        lines.emplace_back("ファイル → 開く で原画像を開いてください");
        if (std::string viewing = viewing_quarter_line(store); !viewing.empty()) {
            lines.push_back(std::move(viewing));
        }
        return lines;
    }
    lines.push_back("フレーム " + std::to_string(store.current_frame + 1) + " / " +
                    std::to_string(frame_count(store)));
    if (store.zoom > 0.0) {
        lines.push_back(std::to_string(static_cast<int>(store.zoom)) +
                        "倍表示（Ctrl+ホイールで拡大・縮小、ドラッグで移動）");
    }
    if (store.flicker_degraded && store.degraded_ready == 1) {
        lines.emplace_back("左上: 劣化画像を表示中（F で原画像に戻す）");
    }
    if (store.overlay_threshold >= 0.0 && store.diff_ready > 0) {
        lines.push_back("右上: ⊿E > " + fixed_text(store.overlay_threshold, 2) + " の画素に色付け");
    }
    const int left = left_pane_slot(store);
    if (left >= 0) {
        lines.push_back("原画像: " +
                        file_name_of(store.reference_names[static_cast<std::size_t>(left)]));
    }
    const int right = right_pane_slot(store);
    if (right >= 0) {
        // The file of the frame shown (its frame number after "#" for a video), or where
        // the whole sequence came from (the noise degradation).
        const std::string& frame_name = store.degraded_frame_names[static_cast<std::size_t>(right)];
        const std::string& origin =
            store.degraded_origin.empty() ? store.degraded_name : store.degraded_origin;
        lines.push_back("劣化画像: " + file_name_of(frame_name.empty() ? origin : frame_name));
    }
    const int lower = lower_pane_slot(store);
    if (store.diff_ready > 0 && lower >= 0 && lower < max_frames &&
        !store.diff_results[static_cast<std::size_t>(lower)].data.empty()) {
        const InterleavedImage& r = store.diff_results[static_cast<std::size_t>(lower)];
        std::string figures = "色差 平均 " + six_decimals(r.mean);
        if (store.diff_p95_known[static_cast<std::size_t>(lower)]) {
            figures += "  95%点 " + six_decimals(store.diff_p95[static_cast<std::size_t>(lower)]);
        }
        lines.push_back(figures + "  最大 " + six_decimals(r.max) + "  最小 " +
                        six_decimals(r.min));
    }
    if (std::string viewing = viewing_quarter_line(store); !viewing.empty()) {
        lines.push_back(std::move(viewing));
    }
    lines.emplace_back(quarter_hint);
    return lines;
}

}  // namespace orv
