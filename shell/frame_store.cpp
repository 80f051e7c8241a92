#include "shell/frame_store.h"

#include <algorithm>
#include <memory>

#include "measure/sequence_runner.h"

namespace orv {

FrameStore& frame_store() {
    // Built on first use; too large for a stack frame, so it lives in static storage.
    static FrameStore store;
    return store;
}

void reset_frame_store(FrameStore& store) {
    // A fresh store made on the heap (it is large) and moved in; the old blocks are released.
    auto fresh = std::make_unique<FrameStore>();
    store = std::move(*fresh);
}

void release_frame_slot(PixelBuffer& pixels, HeaderBlock& header) {
    pixels = PixelBuffer{};  // the moved-in empty buffer releases the old block
    header = HeaderBlock{};
}

void clear_measurement(FrameStore& store) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(max_frames); ++i) {
        if (!store.diff_results[i].data.empty() || is_present(store.diff_pixels[i])) {
            store.diff_pixels[i] = PixelBuffer{};
            store.diff_results[i] = InterleavedImage{};
        }
        store.diff_p95_known[i] = false;
    }
    store.diff_ready = 0;
    store.heatmap_pixels = PixelBuffer{};
    store.heatmap_slot = -1;
    store.heatmap_source = nullptr;
    store.overlay_pixels = PixelBuffer{};
    store.overlay_slot = -1;
    store.overlay_source = nullptr;
}

void advance_frame(FrameStore& store) {
    const int count = std::max(store.reference_count, store.degraded_count);
    store.current_frame = store.current_frame + 1;
    if (store.current_frame >= count) store.current_frame = 0;
}

int pane_slot(int frame, int count) { return paired_index(frame, count); }

int left_pane_slot(const FrameStore& store) {
    return pane_slot(store.current_frame, store.reference_count);
}

int right_pane_slot(const FrameStore& store) {
    return pane_slot(store.current_frame, store.degraded_count);
}

int lower_pane_slot(const FrameStore& store) { return store.current_frame; }

void start_frame_store(FrameStore& store, const std::string& current_directory) {
    store.start_directory = current_directory;
    store.profile_folder = store.start_directory;
    clear_reference_store(*store.reference_store);
    for (int i = 0; i < max_frames; ++i) {
        release_frame_slot(store.reference_pixels[i], store.frame_headers[i]);
        release_frame_slot(store.degraded_pixels[i], store.frame_headers[i]);
    }
}

void shut_down_frame_store(FrameStore& store) {
    clear_reference_store(*store.reference_store);
    for (int i = 0; i < max_frames; ++i) {
        release_frame_slot(store.reference_pixels[i], store.frame_headers[i]);
    }
}

}  // namespace orv
