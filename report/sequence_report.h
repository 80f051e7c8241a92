#pragma once
// The outputs of one measured sequence, shared by the batch tool and the desktop program so
// that both write the same bytes for the same measurement: the per-frame table, the pooled
// summary, the JSON record, the heatmaps and the HTML report. Frames are handed in one by one
// in frame order; the files whose content needs the whole sequence are written at the end.

#include <optional>
#include <string>
#include <vector>

#include "colour/delta_e.h"
#include "image/pixel_buffer.h"
#include "measure/sequence_runner.h"
#include "measure/statistics.h"
#include "report/heatmap.h"
#include "report/html_report.h"
#include "report/run_record.h"
#include "scielab/conditions.h"

namespace orv {

// The files a run writes; an empty name: not written.
struct ReportFiles {
    std::string table;     // per-frame table (written whole at the end)
    std::string summary;   // pooled figures, "figure,value"
    std::string json;      // the JSON record
    std::string heatmaps;  // base name of BASE_NNNN.png
    std::string report;    // the HTML report
};

struct ReportSettings {
    ReportFiles files;
    std::vector<std::string> command_line;
    DeltaEFormula formula = DeltaEFormula::cie94;
    std::vector<double> thresholds = default_thresholds();
    HeatmapStyle style;
    MetricsPlan metrics;  // PSNR and SSIM columns, when asked for
};

// Every file the settings will write for `count` frames, for the check before any work.
std::vector<std::string> report_output_names(const ReportSettings& settings, int count);

// One CSV field: quoted (with doubled quotes) when it holds a comma, a quote or a line end.
std::string csv_field(const std::string& text);

// The per-frame table: its header line and the line of one frame (each ending with "\n").
std::string table_header(const std::vector<double>& thresholds);
std::string table_line(int frame, const std::string& reference, const std::string& degraded,
                       const InterleavedImage& map, const FrameStatistics& statistics);
// The same with the columns of PSNR and SSIM after the others, when the plan asks for them.
std::string table_header(const std::vector<double>& thresholds, const MetricsPlan& metrics);
std::string table_line(int frame, const std::string& reference, const std::string& degraded,
                       const InterleavedImage& map, const FrameStatistics& statistics,
                       const MetricsPlan& metrics, const FrameMetrics& figures);

// The state of one run across its frames.
struct ReportRun {
    ReportSettings settings;
    std::vector<std::string> heatmap_names;
    RunRecord record;
    ValueHistogram histogram;
    WorstFrames worst;
    std::string table;          // the table so far, when it is written at the end
    bool wants_frames = false;  // the pairs' pixels are needed (for the report)
};

// Starts a run of `count` frames measured with `conditions`.
void start_report(ReportRun& run, const ReportSettings& settings,
                  const MeasurementConditions& conditions, const InputRecord& reference,
                  const InputRecord& degraded, int count);

// Worker thread: the heatmap's PNG bytes into the pair's attachment, when heatmaps are written.
void report_pair_work(const ReportRun& run, MeasuredPair& pair);

// Calling thread, frame order: writes the pair's heatmap and takes its figures in.
void deliver_report_pair(ReportRun& run, const MeasuredPair& pair);

// The consumer of a run that feeds these writers.
RunConsumer report_consumer(ReportRun& run);

// After the last frame: writes the table, the summary, the JSON record and the HTML report
// with the run's pooled figures.
void finish_report(ReportRun& run, const PooledStatistics& pooled);

// Writes bytes to a file created new; raises Failure "cannot write PATH: REASON".
void write_report_file(const std::string& path, const std::string& bytes);

}  // namespace orv
