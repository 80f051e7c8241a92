#pragma once
// The report options of `orv-cli diff`: the pooled summary, the JSON record, heatmaps, the
// HTML report, the formula choice and the pass/fail status. The writers themselves are the
// shared ones of report/sequence_report.h, which the command's frame loop calls.

#include <optional>
#include <string>
#include <vector>

#include "colour/delta_e.h"
#include "media/media_sequence.h"
#include "report/sequence_report.h"

namespace CLI {
class App;
}

namespace orv {

struct ReportOptions {
    std::vector<std::string> command_line;
    std::string summary;                // pooled figures, "figure,value"
    std::string json;                   // the JSON record
    std::string heatmaps;               // base name of BASE_NNNN.png
    std::string report;                 // the HTML report
    std::optional<double> heatmap_max;  // default: the formula's own scale
    std::string colour_map = "viridis";
    std::string delta_e = "94";
    std::vector<double> thresholds = default_thresholds();
    std::optional<double> fail_above;      // any frame mean above it: status 3
    std::optional<double> fail_above_p95;  // any frame's 95th percentile above it: status 3
    bool quiet = false;
};

// Status of a run whose outputs are all written but a frame failed --fail-above(-p95).
constexpr int status_failed_threshold = 3;

void add_report_options(CLI::App& diff, ReportOptions& options);

// Refuses (CLI::ValidationError) values the options cannot take.
void check_report_options(const ReportOptions& options);

DeltaEFormula chosen_formula(const ReportOptions& options);

// The shared report settings the options ask for (the per-frame table is the command's own).
ReportSettings report_settings(const ReportOptions& options);

// After the report's files are written: names the frames beyond --fail-above /
// --fail-above-p95 on standard error. Returns 0 or 3.
int threshold_status(const ReportOptions& options, const RunRecord& record);

}  // namespace orv
