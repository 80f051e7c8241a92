#pragma once
// The outputs of `orv-cli rd`: one row per codec and setting with its size, bitrate and pooled
// S-CIELAB figures, as CSV, JSON and an HTML page with the rate-distortion plot.

#include <string>
#include <vector>

#include "encode/encoder.h"
#include "numeric/number_text.h"
#include "report/bd_table.h"
#include "scielab/conditions.h"

namespace orv {

// Pooled figures of a sequence's colour differences (the statistics of measure/statistics.h).
struct PooledFigures {
    double mean = 0.0;    // mean of the frame means (all frames have the same size)
    double median = 0.0;  // nearest-rank median of every pixel's difference
    double p95 = 0.0;     // nearest-rank 95th percentile of every pixel's difference
    double max = 0.0;     // largest pixel difference of the sequence
};

struct RdFrame {
    CodedFrame coded;
    double mean = 0.0;
    double max = 0.0;
};

struct RdPoint {
    EncodeSettings settings;  // settings.codec: the curve's name (a codec, or a label)
    // An existing bitstream's file name as its setting; empty for ORV's own encodes, whose
    // setting is setting_label(settings).
    std::string existing;
    std::string encoder;
    std::string bitstream;  // the MP4 file kept in the output folder
    long long stream_bytes = 0;
    long long file_bytes = 0;
    double bitrate = 0.0;
    PooledFigures pooled;
    std::vector<RdFrame> frames;
    // PSNR and SSIM (rd --metrics): the columns measured and their means over the frames
    // (measure/frame_metrics.h); empty when not asked for.
    std::vector<std::string> metric_columns;
    std::vector<double> metrics;
    std::string metric_planes;  // the pixel format measured on ("yuv420p", or "rgb24")
    std::string metric_note;    // why the figures may mislead (see MetricsPlan::note)
};

struct RdRun {
    std::vector<std::string> command;  // argv as given
    std::string profile;
    ViewingGeometry viewing;  // the pixel angle the frames were measured at
    std::vector<std::string> inputs;
    int width = 0;
    int height = 0;
    std::vector<RdPoint> points;
    // The PSNR and SSIM columns of rd.csv (those of the first point measured with them);
    // empty: rd --metrics not given, and every output as without it.
    std::vector<std::string> metric_columns;
};

// A point's mean of the metric column `name`; NaN when the point has no such column.
double point_metric(const RdPoint& point, const std::string& name);

// The setting column of a point: "crf23", or an existing bitstream's file name.
std::string point_setting(const RdPoint& point);

std::string rd_csv(const RdRun& run);
// The run's curves, one per codec in the order of first appearance, with the pooled figures
// the Bjøntegaard table compares (full precision), named in `figure_names`.
std::vector<RdCurve> rd_curves(const RdRun& run, std::vector<std::string>& figure_names);
// Every curve after the first against the first; empty with fewer than two curves.
std::vector<BdRow> rd_bd_rows(const RdRun& run);
std::string rd_json(const RdRun& run);
std::string rd_html(const RdRun& run);

}  // namespace orv
