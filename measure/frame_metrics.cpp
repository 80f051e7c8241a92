#include "measure/frame_metrics.h"

#include <cmath>
#include <limits>

#include "numeric/failure.h"

namespace orv {

const char* const metrics_pooling_rule =
    "mean over frames; a plane identical in both inputs (infinite PSNR) counts as "
    "10*log10(peak^2*samples), the PSNR of one code value wrong in one of its samples";

MetricsRequest parse_metrics(const std::string& text) {
    MetricsRequest request;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string word =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (word == "psnr") {
            request.psnr = true;
        } else if (word == "ssim") {
            request.ssim = true;
        } else {
            raise_failure(FailureKind::unknown_metric, {}, {word});
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return request;
}

std::string metrics_text(const MetricsRequest& request) {
    if (request.psnr && request.ssim) return "psnr,ssim";
    return request.psnr ? "psnr" : request.ssim ? "ssim" : "";
}

MetricsPlan plan_metrics(const MetricsRequest& request,
                         const std::vector<std::string>& reference_formats,
                         const std::vector<std::string>& degraded_formats,
                         const std::vector<std::string>& reference_colours,
                         const std::vector<std::string>& degraded_colours) {
    MetricsPlan plan;
    plan.request = request;
    plan.format = "rgb24";
    std::vector<std::string> all = reference_formats;
    all.insert(all.end(), degraded_formats.begin(), degraded_formats.end());
    bool any_yuv = false, same = !all.empty();
    for (const std::string& format : all) {
        any_yuv = any_yuv || !format.empty();
        same = same && !format.empty() && format == all.front();
    }
    std::vector<std::string> colours = reference_colours;
    colours.insert(colours.end(), degraded_colours.begin(), degraded_colours.end());
    if (same) {
        plan.planes = true;
        plan.format = all.front();
        const bool both = !reference_colours.empty() && !degraded_colours.empty();
        for (const std::string& colour : colours) {
            if (!both || colour == colours.front()) continue;
            plan.note = "PSNR and SSIM compare " + plan.format +
                        " planes whose values stand for colours differently (reference " +
                        reference_colours.front() + ", degraded " + degraded_colours.front() + ")";
            break;
        }
    } else if (any_yuv) {
        auto side = [](const std::vector<std::string>& formats) {
            std::string text;
            for (const std::string& format : formats) {
                const std::string name = format.empty() ? "RGB" : format;
                if (text.find(name) == std::string::npos) text += (text.empty() ? "" : "+") + name;
            }
            return text;
        };
        plan.note =
            "PSNR and SSIM measured on the 8-bit RGB frames: the inputs' pixel formats "
            "differ (reference " +
            side(reference_formats) + ", degraded " + side(degraded_formats) + ")";
    }
    return plan;
}

std::vector<std::string> metric_plane_names(const MetricsPlan& plan) {
    return plan.planes ? std::vector<std::string>{"y", "u", "v"}
                       : std::vector<std::string>{"r", "g", "b"};
}

std::vector<std::string> metric_columns(const MetricsPlan& plan) {
    std::vector<std::string> columns;
    const std::vector<std::string> names = metric_plane_names(plan);
    if (plan.request.psnr) {
        for (const std::string& n : names) columns.push_back("psnr_" + n);
        columns.push_back("psnr_avg");
    }
    if (plan.request.ssim) {
        for (const std::string& n : names) columns.push_back("ssim_" + n);
        columns.push_back("ssim_all");
    }
    return columns;
}

namespace {

std::vector<WidePlaneView> wide_views(const DecodedPlanes& planes) {
    std::vector<WidePlaneView> views;
    for (const DecodedPlane& p : planes.planes) {
        views.push_back({p.samples.data(), p.width, p.height, 1, p.width});
    }
    return views;
}

bool planes_fit(const DecodedPlanes& a, const DecodedPlanes& b, const std::string& format) {
    if (a.format != format || b.format != format || a.planes.size() != 3 || b.planes.size() != 3) {
        return false;
    }
    for (std::size_t c = 0; c < 3; ++c) {
        if (a.planes[c].width != b.planes[c].width || a.planes[c].height != b.planes[c].height) {
            return false;
        }
    }
    return true;
}

}  // namespace

FrameMetrics measure_frame_metrics(const MetricsPlan& plan, const PixelBuffer& reference,
                                   const DecodedPlanes& reference_planes,
                                   const std::string& reference_name, const PixelBuffer& degraded,
                                   const DecodedPlanes& degraded_planes,
                                   const std::string& degraded_name) {
    FrameMetrics m;
    if (!plan.request.any()) return m;
    const MetricChoice choice{plan.request.psnr, plan.request.ssim};
    m.measured = true;
    if (plan.planes) {
        if (!planes_fit(reference_planes, degraded_planes, plan.format)) {
            const bool reference_fits = reference_planes.format == plan.format;
            raise_failure(FailureKind::metrics_planes_missing,
                          reference_fits ? degraded_name : reference_name, {plan.format});
        }
        m.depth = reference_planes.depth;
        m.figures = plane_metrics(wide_views(reference_planes), wide_views(degraded_planes),
                                  metric_plane_names(plan), m.depth, choice);
        for (const DecodedPlane& p : reference_planes.planes) {
            m.samples.push_back(static_cast<double>(p.width) * p.height);
        }
        return m;
    }
    m.figures = plane_metrics(rgb_planes(reference), rgb_planes(degraded), metric_plane_names(plan),
                              choice);
    m.samples.assign(3, static_cast<double>(reference.width) * reference.height);
    return m;
}

std::vector<double> metric_values(const MetricsPlan& plan, const FrameMetrics& frame) {
    std::vector<double> values;
    const PlaneMetrics& f = frame.figures;
    if (plan.request.psnr) {
        values.insert(values.end(), f.psnr.begin(), f.psnr.end());
        values.push_back(f.psnr_avg);
    }
    if (plan.request.ssim) {
        values.insert(values.end(), f.ssim.begin(), f.ssim.end());
        values.push_back(f.ssim_all);
    }
    return values;
}

void add_frame_metrics(MetricsPool& pool, const MetricsPlan& plan, const FrameMetrics& frame) {
    if (!frame.measured) return;
    if (pool.columns.empty()) {
        pool.columns = metric_columns(plan);
        pool.sums.assign(pool.columns.size(), 0.0);
        pool.identical.assign(pool.columns.size(), 0);
        pool.depth = frame.depth;
    }
    const std::vector<double> values = metric_values(plan, frame);
    // Samples behind each PSNR column: one plane's, or all planes' for the average.
    double all_samples = 0.0;
    for (double s : frame.samples) all_samples += s;
    const double peak = depth_peak(frame.depth);
    const std::size_t planes = frame.samples.size();
    for (std::size_t k = 0; k < values.size() && k < pool.sums.size(); ++k) {
        double value = values[k];
        if (std::isinf(value)) {
            const double samples = k < planes ? frame.samples[k] : all_samples;
            value = 10.0 * std::log10(peak * peak * samples);
            ++pool.identical[k];
        }
        pool.sums[k] += value;
    }
    ++pool.frames;
}

PooledMetrics pooled_metrics(const MetricsPool& pool) {
    PooledMetrics pooled;
    pooled.columns = pool.columns;
    pooled.identical = pool.identical;
    pooled.frames = pool.frames;
    pooled.depth = pool.depth;
    for (double sum : pool.sums) {
        pooled.values.push_back(pool.frames > 0 ? sum / pool.frames
                                                : std::numeric_limits<double>::quiet_NaN());
    }
    return pooled;
}

}  // namespace orv
