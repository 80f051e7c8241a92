#pragma once
// The record of one measured sequence: what was measured (profile, inputs, formula) and what
// came out (per-frame and pooled statistics). The JSON record, the summary, the extra table
// columns and the HTML report are all written from it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "colour/colour_types.h"
#include "colour/delta_e.h"
#include "measure/frame_metrics.h"
#include "measure/statistics.h"
#include "media/media_sequence.h"
#include "scielab/conditions.h"
#include "scielab/filter_kernels.h"

namespace orv {

// The program's version, "MAJOR.MINOR".
std::string_view orv_version();

struct FilterRecord {
    std::string channel;  // "A", "T", "D"
    std::string file;     // kernel file name in the profile folder
    int count = 0;
    std::vector<double> spreads;
    std::vector<double> weights;
    int half_width = 0;  // of the finished set, as the responses were computed
    int length = 0;
};

struct ProfileRecord {
    std::string folder;
    GogParameters display_model;
    Matrix3 rgb_to_xyz{};
    Matrix3 xyz_to_lms{};
    Matrix3 lms_to_atd{};
    std::vector<FilterRecord> filters;
    double kernel_sample_angle = 0.0;
    ViewingGeometry viewing;
    DisplayChoice display;  // the display model and primaries measured with
    Matrix3
        display_rgb_to_xyz{};  // the primaries' matrix used (the profile's, or a standard set's)
    // The degraded side's display and primaries' matrix where they differ from the above (which
    // are then the reference's).
    std::optional<DisplayChoice> degraded_display;
    Matrix3 degraded_display_rgb_to_xyz{};
};

// The record of the conditions a run measured with: the profile's files as read, the
// finished filter set and the viewing geometry.
ProfileRecord profile_record(const MeasurementConditions& conditions);

// The viewing geometry as the HTML pages show it: "68.66 pixels per degree (pixel angle
// 0.0145651&deg;; default)". HTML-safe.
std::string viewing_text(const ViewingGeometry& viewing);

struct InputRecord {
    std::vector<std::string> paths;
    int frame_width = 0;
    int frame_height = 0;
    int frame_count = 0;
    // How the input's pixels became display RGB (for BMP frames: used as stored).
    std::string colour_handling = "BMP pixels used as display RGB as stored";
    // Frames of a damaged video that did not decode (measured with damage allowed), numbered
    // as in the whole file.
    std::vector<int> missing_frames;
};

// One file of a sequence and how its pixels became RGB.
struct InputFile {
    std::string path;
    std::string colour;
};

// The record of an input: its files in order, its frame count and the ways its files' pixels
// became RGB (each named once, in order of first use, joined by "; ").
InputRecord make_input_record(const std::vector<InputFile>& files, int frame_count);

// The record of an opened sequence: its files, how their pixels become RGB, its frame count.
InputRecord input_record(const MediaSequence& sequence);

struct FrameRecord {
    int frame = 0;
    std::string reference;  // the files of the pair
    std::string degraded;
    FrameStatistics statistics;
};

struct RunRecord {
    std::vector<std::string> command_line;
    ProfileRecord profile;
    InputRecord reference;
    InputRecord degraded;
    DeltaEFormula formula = DeltaEFormula::cie94;
    std::vector<double> thresholds;
    std::vector<FrameRecord> frames;
    PooledStatistics pooled;
    std::string pair_by = "position";   // or "time"
    std::vector<std::string> warnings;  // what may make the figures wrong, as said on stderr
    // PSNR and SSIM beside the colour differences, when asked for: how they were measured,
    // each frame's figures (in the order of metric_columns) and their means over the run.
    MetricsPlan metrics;
    std::vector<std::vector<double>> frame_metrics;
    PooledMetrics pooled_metrics;
};

// A number with six decimals, independent of the locale ("nan", "inf" for those values).
std::string fixed6(double value);

// A threshold as written in column names and labels: shortest form ("1", "2.5").
std::string threshold_text(double threshold);

// The table columns that follow the six of every row: median, p95, p99, one share per
// threshold (above_T), and the position of the largest difference (max_x, max_y).
std::string extra_csv_header(const std::vector<double>& thresholds);
std::string extra_csv_fields(const FrameStatistics& statistics);

// The pooled figures as a two-column table "figure,value".
std::string summary_csv(const RunRecord& run);

}  // namespace orv
