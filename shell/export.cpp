#include "shell/export.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "image/bmp_file.h"
#include "image/file_names.h"
#include "measure/frame_loop.h"
#include "measure/sequence_runner.h"
#include "shell/colour_diff_dialog.h"
#include "shell/dialog_logic.h"
#include "shell/failure_texts.h"
#include "shell/main_window.h"
#include "shell/noise_dialog.h"
#include "shell/slot_memory.h"

namespace orv {

namespace {

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void tell(Platform& platform, const std::string& text, const std::string& caption) {
    MessageRequest request;
    request.owner = Window::main;
    request.text = text;
    request.caption = caption;
    platform.message_box(request);
}

// The pairs the colour-difference run measured: those with a result, up to the first without.
std::vector<std::pair<int, int>> measured_pairs(const FrameStore& store) {
    std::vector<std::pair<int, int>> pairs = store_pairs(store);
    const auto measured = std::find_if(pairs.begin(), pairs.end(), [&](const auto& pair) {
        const auto slot = static_cast<std::size_t>(&pair - pairs.data());
        return store.diff_results[slot].data.empty();
    });
    pairs.erase(measured, pairs.end());
    return pairs;
}

}  // namespace

std::string export_base(const std::string& chosen_path) {
    for (const char* end : {".csv", ".json", ".html", ".png"}) {
        if (ends_with(chosen_path, end)) {
            return chosen_path.substr(0, chosen_path.size() - std::string(end).size());
        }
    }
    return chosen_path;
}

ReportSettings export_settings(const std::string& base) {
    ReportSettings settings;
    settings.files.table = base + ".csv";
    settings.files.summary = base + "_summary.csv";
    settings.files.json = base + ".json";
    settings.files.report = base + ".html";
    settings.files.heatmaps = base;
    settings.command_line = {export_program_name};
    return settings;
}

std::string export_measurement(const FrameStore& store, Platform& platform,
                               const std::string& base) {
    const std::vector<std::pair<int, int>> pairs = measured_pairs(store);
    const int count = static_cast<int>(pairs.size());
    const ReportSettings settings = export_settings(base);
    if (auto problem = output_problem(report_output_names(settings, count))) {
        if (problem->kind == FailureKind::output_exists) return problem->path;
        throw std::move(*problem);
    }

    InputRecord degraded = make_input_record(store.degraded_files, store.degraded_count);
    if (store.degraded_files.empty()) degraded.colour_handling = store.degraded_origin;
    if (store.degraded_origin == noise_origin_text)
        degraded.colour_handling = noise_record_text(store);
    ReportRun run;
    start_report(run, settings, store.measured_conditions,
                 make_input_record(store.reference_files, store.reference_count), degraded, count);
    ProgressScope progress(platform, export_progress_label, count);
    // The stored results go through the writers as a run's pairs would, frames by reference.
    const RunSide reference = store_side(store, SequenceTable::reference, pairs);
    const RunSide degraded_side = store_side(store, SequenceTable::degraded, pairs);
    RunSettings replay;
    replay.threads = machine_threads();
    replay.thresholds = settings.thresholds;
    replay.progress = [&progress](int done, int) { progress.step(done); };
    RunConsumer consumer = report_consumer(run);
    consumer.deliver = [&store, &run, &pairs](MeasuredPair&& pair) {
        deliver_report_pair(run, pair);
        const auto slot = static_cast<std::size_t>(pair.frame);
        drop_slot_pages(store, pair.frame);
        drop_slot_pages(store, pairs[slot].first);
        drop_slot_pages(store, pairs[slot].second);
    };
    RunOutcome outcome;
    try {
        outcome = replay_sequence(
            count,
            [&](int i) {
                MeasuredPair pair;
                pair.frame = i;
                pair.reference = reference.read(i);
                pair.degraded = degraded_side.read(i);
                const auto slot = static_cast<std::size_t>(i);
                pair.kept_map = &store.diff_results[slot];
                pair.result.statistics = frame_statistics(*pair.kept_map, replay.thresholds);
                return pair;
            },
            replay, consumer);
    } catch (const RunCancelled&) {
        // None of the files existed before: a cancelled export leaves none of them behind.
        progress.close();
        for (const std::string& name : report_output_names(settings, count)) {
            std::error_code error;
            std::filesystem::remove(name, error);
        }
        throw;
    }
    finish_report(run, outcome.pooled);
    return "";
}

void run_export_command(FrameStore& store, Platform& platform) {
    if (store.diff_ready != 1 || store.measured_changes != store.input_changes ||
        measured_pairs(store).empty()) {
        tell(platform, export_needs_results_text, caution_caption);
        return;
    }
    FileDialogRequest request;
    request.owner = Window::main;
    request.title = export_dialog_title;
    request.filters = {{"CSV files(*.csv)", "*.csv"}};
    request.default_extension = "csv";
    const std::optional<std::string> chosen = platform.save_file(request);
    if (!chosen) return;
    const std::string base = export_base(*chosen);
    std::string existing;
    try {
        existing = export_measurement(store, platform, base);
    } catch (const RunCancelled&) {
        tell(platform, export_cancelled_text, main_window_caption);
        return;
    }
    if (!existing.empty()) {
        tell(platform, gui_failure_template(FailureKind::file_exists), existing);
        return;
    }
    tell(platform,
         std::string(export_done_text) + base + ".csv\n" + base + "_summary.csv\n" + base +
             ".json\n" + base + ".html\n" + base + "_NNNN.png",
         main_window_caption);
}

}  // namespace orv
