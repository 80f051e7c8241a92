#pragma once
// The report outputs of `orv-cli diff`: per-frame statistics columns, the pooled summary, the
// JSON record, heatmaps, the HTML report, the formula choice and the pass/fail status.
// Kept apart from the command's frame loop, which calls the hooks below.

#include <optional>
#include <string>
#include <vector>

#include "colour/delta_e.h"
#include "measure/statistics.h"
#include "media/media_sequence.h"
#include "report/heatmap.h"
#include "report/html_report.h"
#include "report/run_record.h"
#include "scielab/filter_kernels.h"

namespace CLI {
class App;
}

namespace orv {

struct ReportOptions {
    std::vector<std::string> command_line;
    std::string summary;   // pooled figures, "figure,value"
    std::string json;      // the JSON record
    std::string heatmaps;  // base name of BASE_NNNN.png
    std::string report;    // the HTML report
    double heatmap_max = 5.0;
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

// Every file the options will write for `count` frames, for the check before any work.
std::vector<std::string> report_output_names(const ReportOptions& options, int count);

// What a frame's worker computes besides the map.
struct FrameExtras {
    FrameStatistics statistics;
    std::string heatmap_png;  // PNG bytes when heatmaps are written
};

// The state of one run across its frames.
struct ReportRun {
    const ReportOptions* options = nullptr;
    HeatmapStyle style;
    std::vector<std::string> heatmap_names;
    RunRecord record;
    std::optional<PooledAccumulator> pool;
    ValueHistogram histogram;
    WorstFrames worst;
    bool wants_frames = false;  // the worker hands over both frames' pixels (for the report)
};

// The inputs' records take the files of each sequence, its frame count (after any skip) and
// how its files' pixels became RGB.
void start_report(ReportRun& run, const ReportOptions& options, const std::string& profile,
                  const AtdFilters& filters, const MediaSequence& reference,
                  const MediaSequence& degraded, int count);

// Worker thread: statistics and, when asked, the heatmap of one frame's map.
FrameExtras frame_extras(const ReportRun& run, const InterleavedImage& map);

// Calling thread, frame order: writes the frame's heatmap and takes its figures in.
void deliver_report_frame(ReportRun& run, int frame, const std::string& reference_path,
                          const std::string& degraded_path, const PixelBuffer& reference,
                          const PixelBuffer& degraded, const InterleavedImage& map,
                          const FrameExtras& extras);

// After the last frame: writes the summary, the JSON record and the HTML report, then names
// the frames beyond --fail-above / --fail-above-p95 on standard error. Returns 0 or 3.
int finish_report(ReportRun& run);

}  // namespace orv
