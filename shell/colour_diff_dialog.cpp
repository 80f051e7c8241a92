#include "shell/colour_diff_dialog.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "image/bmp_file.h"
#include "measure/frame_loop.h"
#include "measure/statistics.h"
#include "numeric/failure.h"
#include "resources/dialog_templates.h"
#include "scielab/pipeline.h"
#include "shell/failure_texts.h"
#include "shell/sequence_dialogs.h"
#include "shell/slot_memory.h"

namespace orv {

namespace c = colour_diff_item;

int pair_slot(const std::array<PixelBuffer, max_frames>& table, int count, int i) {
    if (i >= 0 && i < max_frames && is_present(table[static_cast<std::size_t>(i)])) return i;
    const int last = std::min(count, max_frames) - 1;
    if (last < 0 || !is_present(table[static_cast<std::size_t>(last)])) return -1;
    return last;
}

namespace {

struct SlotDifference {
    PixelBuffer picture;
    InterleavedImage result;
    FrameStatistics statistics;  // the same figures orv-cli writes for the frame
};

}  // namespace

namespace {

// A run cancelled after `delivered` slots: those keep their results and are shown; the later
// slots are emptied (they may hold an earlier run's results, which belong to no pair now).
bool keep_cancelled_run(FrameStore& store, int delivered) {
    for (int i = delivered; i < max_frames; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        store.diff_pixels[slot] = PixelBuffer{};
        store.diff_results[slot] = InterleavedImage{};
        store.diff_p95_known[slot] = false;
    }
    store.heatmap_slot = -1;
    if (delivered == 0) return false;
    store.diff_ready = 1;
    store.degraded_ready = 1;
    store.measured_changes = store.input_changes;
    return true;
}

}  // namespace

bool make_difference_sequence(FrameStore& store, Platform& platform) {
    const int n = std::min(std::max(store.reference_count, store.degraded_count), max_frames);

    // The pairs are fixed before any work starts, so the slots can be computed side by side
    // and still stop exactly where a slot-by-slot run stops: at the first absent pair.
    std::vector<std::pair<int, int>> pairs;
    pairs.reserve(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        const int ri = pair_slot(store.reference_pixels, store.reference_count, i);
        const int di = pair_slot(store.degraded_pixels, store.degraded_count, i);
        if (ri < 0 || di < 0) break;
        pairs.emplace_back(ri, di);
    }
    const int ready = static_cast<int>(pairs.size());
    if (!check_room(platform, Window::dialog, difference_need(store))) return false;

    ProgressScope progress(platform, colour_diff_progress_label, n);
    const FrameStore& input = store;
    int delivered = 0;  // slots holding a result of this run
    try {
        run_ordered_frames<SlotDifference>(
            ready, machine_threads(),
            [&input, &pairs](int i) {
                const auto slot = static_cast<std::size_t>(i);
                const auto [ri, di] = pairs[slot];
                const HeaderBlock& header = input.frame_headers[slot];
                SlotDifference made;
                made.picture = make_pixel_buffer(header_width(header), header_height(header));
                make_difference_image(input.reference_pixels[static_cast<std::size_t>(ri)],
                                      input.degraded_pixels[static_cast<std::size_t>(di)],
                                      made.picture, kernel_sample_angle, input.atd_filters,
                                      input.profile_folder, made.result);
                made.statistics = frame_statistics(made.result, default_thresholds());
                return made;
            },
            [&store, &pairs, &delivered](int i, SlotDifference&& made) {
                // Replacing the slot's picture and data releases the previous ones.
                const auto slot = static_cast<std::size_t>(i);
                store.diff_pixels[slot] = std::move(made.picture);
                store.diff_results[slot] = std::move(made.result);
                store.diff_p95[slot] = made.statistics.p95;
                store.diff_p95_known[slot] = true;
                keep_in_store(store.diff_pixels[slot]);
                keep_in_store(store.diff_results[slot]);
                drop_slot_pages(store, i);
                drop_slot_pages(store, pairs[slot].first);
                drop_slot_pages(store, pairs[slot].second);
                delivered = i + 1;
            },
            [&progress](int done, int) { progress.step(done); });
    } catch (const Failure& failure) {
        progress.close();
        show_dialog_message(platform, gui_failure_text(failure.message), dialog_error_caption);
        return false;
    } catch (const RunCancelled&) {
        progress.close();
        return keep_cancelled_run(store, delivered);
    }
    store.heatmap_slot = -1;  // the heatmap shown is made again from the new result
    if (ready < n) return false;
    store.diff_ready = 1;
    store.degraded_ready = 1;
    store.measured_changes = store.input_changes;
    return true;
}

DialogHandlers colour_diff_dialog_handlers(FrameStore& store, Platform& platform) {
    DialogHandlers h;
    // Opening shows the dialog as built: empty edits, both check boxes unchecked.
    h.open = [](DialogItems&) {};
    h.command = [&store, &platform](DialogItems& items, int id) {
        switch (id) {
            case c::open_reference:
                // The filtered images no longer belong to the reference sequence, even when the
                // file dialog is then cancelled.
                if (store.scielab_done == 1) store.scielab_done = 0;
                if (open_reference_sequence(store, platform, Window::dialog) > 0) {
                    items.set_text(c::reference_path, store.reference_names[0]);
                }
                break;
            case c::open_degraded: {
                const int count = open_degraded_sequence(store, platform, Window::dialog);
                if (count > 0) {
                    store.degraded_count = count;
                    items.set_text(c::degraded_path, store.degraded_name);
                }
                break;
            }
            case item::ok:
                if (!make_difference_sequence(store, platform)) return;
                items.end_dialog(item::ok);
                platform.invalidate(Window::main, true);
                break;
            case item::cancel:
                items.end_dialog(item::cancel);
                break;
            default:
                // The check boxes only toggle themselves.
                break;
        }
    };
    return h;
}

}  // namespace orv
