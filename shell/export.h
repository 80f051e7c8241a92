#pragma once
// Export of the current measurement: the per-frame table (CSV), the pooled figures, the JSON
// record, the heatmaps (PNG) and the HTML report, written by the same writers as the batch
// tool's `diff`, so the same frames measured with the same settings give the same bytes.

#include <string>

#include "report/sequence_report.h"
#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv {

inline constexpr const char* export_dialog_title = "エクスポート";
inline constexpr const char* export_progress_label = "エクスポート";
inline constexpr const char* export_needs_results_text =
    "色差画像を生成してからエクスポートして下さい\n";
inline constexpr const char* export_done_text = "エクスポートしました\n";
inline constexpr const char* export_cancelled_text =
    "エクスポートを中止しました\n書きかけのファイルは削除しました\n";

// The command line the exported records name as what made them.
inline constexpr const char* export_program_name = "orv";

// The base name of the files from the path the save dialog gave: the path without a ".csv",
// ".json", ".html" or ".png" ending.
std::string export_base(const std::string& chosen_path);

// The files of an export to `base`: BASE.csv (the table), BASE_summary.csv (the pooled
// figures), BASE.json, BASE.html and BASE_NNNN.png (one heatmap per frame).
ReportSettings export_settings(const std::string& base);

// Writes every file of the export for the store's colour-difference results (diff_ready);
// raises Failure when a file cannot be written. Files that exist are refused before any work:
// returns the first such name without writing anything, or "" when all was written.
std::string export_measurement(const FrameStore& store, Platform& platform,
                               const std::string& base);

// The menu command: asks for the base name with the save dialog, refuses when there is
// nothing to export (no colour-difference images, or inputs changed since they were made) or
// a file exists, writes and says where. Errors propagate to the caller.
void run_export_command(FrameStore& store, Platform& platform);

}  // namespace orv
