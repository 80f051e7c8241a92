#include "shell/colour_diff_dialog.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>

#include "image/bmp_file.h"
#include "measure/display_tags.h"
#include "measure/frame_loop.h"
#include "measure/sequence_runner.h"
#include "measure/statistics.h"
#include "media/media_sequence.h"
#include "numeric/failure.h"
#include "resources/dialog_templates.h"
#include "scielab/pipeline.h"
#include "shell/failure_texts.h"
#include "shell/sequence_dialogs.h"
#include "shell/slot_memory.h"
#include "shell/viewing_settings.h"

namespace orv {

namespace c = colour_diff_item;

int pair_slot(const std::array<PixelBuffer, max_frames>& table, int count, int i) {
    if (i >= 0 && i < max_frames && is_present(table[static_cast<std::size_t>(i)])) return i;
    // An empty slot takes the sequence's last frame, as a shorter sequence repeats it.
    const int last = paired_index(max_frames, std::min(count, max_frames));
    if (last < 0 || !is_present(table[static_cast<std::size_t>(last)])) return -1;
    return last;
}

namespace {

// The exact values of a side's deeper frames, read from their files again: one reader for
// the side (the run's threads take turns), and the last frame's values kept, as a shorter
// sequence repeats its last frame.
struct DeepReads {
    std::mutex mutex;
    FrameReader reader;
    int last_slot = -1;
    SignalFrame last;
};

SignalFrame deep_signal(DeepReads& reads, const DeepSource& source, int slot) {
    std::lock_guard lock(reads.mutex);
    if (slot != reads.last_slot) {
        MediaOptions options;
        options.keep_signal = true;
        PixelBuffer pixels;
        HeaderBlock header;
        reads.last_slot = -1;
        read_frame_at(reads.reader, source.path, source.frame, options, pixels, header);
        reads.last = std::move(reads.reader.source.signal);
        reads.last_slot = slot;
    }
    return reads.last;
}

}  // namespace

RunSide store_side(const FrameStore& store, SequenceTable table,
                   const std::vector<std::pair<int, int>>& pairs, bool exact,
                   ReferenceStore* held) {
    const bool reference = table == SequenceTable::reference;
    RunSide side;
    side.count = static_cast<int>(pairs.size());
    auto reads = std::make_shared<DeepReads>();
    side.read = [&store, &pairs, reference, reads, exact, held](int i) {
        const auto& [ri, di] = pairs[static_cast<std::size_t>(i)];
        const auto slot = static_cast<std::size_t>(reference ? ri : di);
        RunFrame frame;
        frame.name =
            reference ? store.reference_frame_names[slot] : store.degraded_frame_names[slot];
        frame.header = store.frame_headers[static_cast<std::size_t>(i)];
        frame.kept = reference ? &store.reference_pixels[slot] : &store.degraded_pixels[slot];
        const DeepSource& deep = reference ? store.reference_deep[slot] : store.degraded_deep[slot];
        if (exact && !deep.path.empty() &&
            (!reference || held == nullptr || !hold_reference(*held, static_cast<int>(slot))))
            frame.signal = deep_signal(*reads, deep, static_cast<int>(slot));
        return frame;
    };
    return side;
}

DisplayChoice store_display(const FrameStore& store, Side side) {
    return display_from_stream_tags(
        DisplayChoice{}, false, false,
        side == Side::reference ? store.reference_tags : store.degraded_tags);
}

std::vector<std::pair<int, int>> store_pairs(const FrameStore& store) {
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
    return pairs;
}

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
    const std::vector<std::pair<int, int>> pairs = store_pairs(store);
    const int ready = static_cast<int>(pairs.size());
    if (!check_room(platform, Window::dialog, difference_need(store))) return false;

    ProgressScope progress(platform, colour_diff_progress_label, n);
    int delivered = 0;  // slots holding a result of this run
    try {
        // The profile is read once for the whole run; the run keeps the conditions it measured
        // with for an export.
        // CIE94 on the profile's display, unless the streams' tags say PQ, HLG or BT.2020;
        // the export's record names the display measured with.
        MeasurementConditions conditions =
            make_conditions(store.profile_folder, store.atd_filters, DeltaEFormula::cie94,
                            store_viewing_geometry(store));
        set_side_displays(conditions, store_display(store, Side::reference),
                          store_display(store, Side::degraded));
        RunSettings settings;
        settings.threads = machine_threads();
        settings.grey = true;
        settings.pool = false;  // the results window pools the frame means it shows
        settings.progress = [&progress](int done, int) { progress.step(done); };
        // The reference frames' coordinates of an earlier run against the same reference
        // sequence under the same conditions serve this one; the store knows them by slot.
        settings.reuse.store = store.reference_store.get();
        settings.reuse.generation = store.reference_changes;
        settings.reuse.frame_key = [&pairs](int i) {
            return pairs[static_cast<std::size_t>(i)].first;
        };
        RunConsumer consumer;
        consumer.deliver = [&store, &pairs, &delivered](MeasuredPair&& pair) {
            // Replacing the slot's picture and data releases the previous ones.
            const int i = pair.frame;
            const auto slot = static_cast<std::size_t>(i);
            store.diff_pixels[slot] = std::move(pair.result.grey);
            store.diff_results[slot] = std::move(pair.result.map);
            store.diff_p95[slot] = pair.result.statistics.p95;
            store.diff_p95_known[slot] = true;
            keep_in_store(store.diff_pixels[slot]);
            keep_in_store(store.diff_results[slot]);
            drop_slot_pages(store, i);
            drop_slot_pages(store, pairs[slot].first);
            drop_slot_pages(store, pairs[slot].second);
            delivered = i + 1;
        };
        // Kept before the run: a cancelled run keeps the slots it measured, and their export
        // names these conditions.
        store.measured_conditions = conditions;
        run_sequence(
            conditions,
            store_side(store, SequenceTable::reference, pairs, true, store.reference_store.get()),
            store_side(store, SequenceTable::degraded, pairs, true), settings, consumer);
    } catch (const Failure& failure) {
        progress.close();
        show_dialog_message(platform, gui_failure_line(failure), dialog_error_caption);
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
