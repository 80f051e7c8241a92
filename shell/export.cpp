#include "shell/export.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "image/bmp_file.h"
#include "measure/frame_loop.h"
#include "shell/colour_diff_dialog.h"
#include "shell/dialog_logic.h"
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

// The slots of each measured pair, as the colour-difference run paired them.
struct ExportPair {
    int reference = -1;
    int degraded = -1;
};

std::vector<ExportPair> measured_pairs(const FrameStore& store) {
    const int n = std::min(std::max(store.reference_count, store.degraded_count), max_frames);
    std::vector<ExportPair> pairs;
    for (int i = 0; i < n; ++i) {
        const ExportPair pair{pair_slot(store.reference_pixels, store.reference_count, i),
                              pair_slot(store.degraded_pixels, store.degraded_count, i)};
        if (pair.reference < 0 || pair.degraded < 0 ||
            store.diff_results[static_cast<std::size_t>(i)].data.empty()) {
            break;
        }
        pairs.push_back(pair);
    }
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
    const std::vector<ExportPair> pairs = measured_pairs(store);
    const int count = static_cast<int>(pairs.size());
    const ReportSettings settings = export_settings(base);
    for (const std::string& name : report_output_names(settings, count)) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(name, error))) return name;
    }

    InputRecord degraded = make_input_record(store.degraded_files, store.degraded_count);
    if (store.degraded_files.empty()) degraded.colour_handling = store.degraded_origin;
    if (store.degraded_origin == noise_origin_text)
        degraded.colour_handling = noise_record_text(store);
    ReportRun run;
    start_report(run, settings, store.profile_folder, store.atd_filters,
                 make_input_record(store.reference_files, store.reference_count), degraded, count);
    ProgressScope progress(platform, export_progress_label, count);
    try {
        run_ordered_frames<FrameExtras>(
            count, machine_threads(),
            [&store, &run](int i) {
                return frame_extras(run, store.diff_results[static_cast<std::size_t>(i)]);
            },
            [&store, &run, &pairs](int i, FrameExtras&& extras) {
                const auto slot = static_cast<std::size_t>(i);
                const auto ri = static_cast<std::size_t>(pairs[slot].reference);
                const auto di = static_cast<std::size_t>(pairs[slot].degraded);
                deliver_report_frame(run, i, store.reference_frame_names[ri],
                                     store.degraded_frame_names[di], store.reference_pixels[ri],
                                     store.degraded_pixels[di], store.diff_results[slot], extras);
                drop_slot_pages(store, i);
                drop_slot_pages(store, pairs[slot].reference);
                drop_slot_pages(store, pairs[slot].degraded);
            },
            [&progress](int done, int) { progress.step(done); });
    } catch (const RunCancelled&) {
        // None of the files existed before: a cancelled export leaves none of them behind.
        progress.close();
        for (const std::string& name : report_output_names(settings, count)) {
            std::error_code error;
            std::filesystem::remove(name, error);
        }
        throw;
    }
    finish_report(run);
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
        tell(platform, bmp_text_file_exists, existing);
        return;
    }
    tell(platform,
         std::string(export_done_text) + base + ".csv\n" + base + "_summary.csv\n" + base +
             ".json\n" + base + ".html\n" + base + "_NNNN.png",
         main_window_caption);
}

}  // namespace orv
