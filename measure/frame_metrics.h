#pragma once
// PSNR and SSIM beside the colour-difference measurement of a run: which figures were asked
// for, on which planes they are measured (the decoded Y, U, V planes when both inputs are YUV
// of one pixel format, else the R, G, B planes of the 24-bit frames), each pair's figures and
// their mean over the run's frames.

#include <string>
#include <vector>

#include "image/decoded_planes.h"
#include "image/pixel_buffer.h"
#include "measure/plane_metrics.h"

namespace orv {

struct MetricsRequest {
    bool psnr = false;
    bool ssim = false;

    bool any() const { return psnr || ssim; }
};

// "psnr", "ssim" or both separated by commas, in any order; raises Failure unknown_metric
// naming the first word that is neither.
MetricsRequest parse_metrics(const std::string& text);
// The request as the names measured: "psnr,ssim", "psnr", "ssim" or "".
std::string metrics_text(const MetricsRequest& request);

// How a run's figures are measured, decided when its inputs are opened.
struct MetricsPlan {
    MetricsRequest request;
    bool planes = false;  // on the decoded YUV planes; else on the 24-bit RGB frames
    std::string format;   // the planes' pixel format, "rgb24" for the RGB frames
    // Why the figures are measured on RGB although an input is YUV; empty otherwise.
    std::string note;
};

// The plan for inputs whose files hand out decoded planes of the pixel formats given (one
// per file; empty for a file that is not planar YUV): the planes when every file of both
// sides has the same format, RGB otherwise (with a note when any file is YUV).
// `reference_colours` and `degraded_colours`, when given, say how each file's planes stand for
// colours ("BT.709 limited"): planes of one format but different colours are still measured
// as they are, as the filters do, with a note that the figures compare different encodings.
MetricsPlan plan_metrics(const MetricsRequest& request,
                         const std::vector<std::string>& reference_formats,
                         const std::vector<std::string>& degraded_formats,
                         const std::vector<std::string>& reference_colours = {},
                         const std::vector<std::string>& degraded_colours = {});

// The names of the planes measured: y, u, v or r, g, b.
std::vector<std::string> metric_plane_names(const MetricsPlan& plan);
// The columns of the figures asked for, in order: psnr_P... psnr_avg, ssim_P... ssim_all.
std::vector<std::string> metric_columns(const MetricsPlan& plan);

// The figures of one pair, with the number of samples of each plane and their peak value.
struct FrameMetrics {
    bool measured = false;
    PlaneMetrics figures;
    std::vector<double> samples;  // per plane
    int depth = 8;
};

// Measures a pair as the plan says. Raises Failure metrics_planes_missing, naming the frame,
// when a frame lacks the planes the plan measures on.
FrameMetrics measure_frame_metrics(const MetricsPlan& plan, const PixelBuffer& reference,
                                   const DecodedPlanes& reference_planes,
                                   const std::string& reference_name, const PixelBuffer& degraded,
                                   const DecodedPlanes& degraded_planes,
                                   const std::string& degraded_name);

// The figures in the order of metric_columns; PSNR of identical planes infinite.
std::vector<double> metric_values(const MetricsPlan& plan, const FrameMetrics& frame);

// The figures of a run: the mean over its frames of each column. A frame whose plane is
// identical in both inputs (infinite PSNR) counts with the PSNR that an error of one code
// value in one sample of the plane would give, 10 log10(peak² · samples), just above any
// differing plane, so that the mean stays finite; such frames are counted per column.
struct PooledMetrics {
    std::vector<std::string> columns;
    std::vector<double> values;
    std::vector<int> identical;  // frames with infinite PSNR, per column (0 for SSIM)
    int frames = 0;
    int depth = 8;
};

// The pooling rule in words, for the records.
extern const char* const metrics_pooling_rule;

struct MetricsPool {
    std::vector<std::string> columns;
    std::vector<double> sums;
    std::vector<int> identical;
    int frames = 0;
    int depth = 8;
};

void add_frame_metrics(MetricsPool& pool, const MetricsPlan& plan, const FrameMetrics& frame);
PooledMetrics pooled_metrics(const MetricsPool& pool);

}  // namespace orv
