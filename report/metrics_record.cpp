#include "report/metrics_record.h"

#include <cmath>

#include "numeric/number_text.h"
#include "report/html_report.h"

namespace orv {

namespace {

using json = nlohmann::ordered_json;

json number(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

}  // namespace

std::string metrics_csv_header(const MetricsPlan& plan) {
    std::string header;
    for (const std::string& column : metric_columns(plan)) header += "," + column;
    return header;
}

std::string metrics_csv_fields(const std::vector<double>& values) {
    std::string fields;
    for (double v : values) fields += "," + fixed6(v);
    return fields;
}

json metrics_json(const RunRecord& run) {
    const MetricsPlan& plan = run.metrics;
    const PooledMetrics& pooled = run.pooled_metrics;
    const std::vector<std::string> columns = metric_columns(plan);
    json means = json::object(), identical = json::object();
    for (std::size_t k = 0; k < pooled.columns.size() && k < pooled.values.size(); ++k) {
        means[pooled.columns[k]] = number(pooled.values[k]);
        if (pooled.columns[k].rfind("psnr", 0) == 0 && k < pooled.identical.size()) {
            identical[pooled.columns[k]] = pooled.identical[k];
        }
    }
    json frames = json::array();
    for (std::size_t i = 0; i < run.frame_metrics.size(); ++i) {
        json frame = {{"frame", i < run.frames.size() ? run.frames[i].frame : static_cast<int>(i)}};
        const std::vector<double>& values = run.frame_metrics[i];
        for (std::size_t k = 0; k < columns.size() && k < values.size(); ++k) {
            frame[columns[k]] = number(values[k]);
        }
        frames.push_back(frame);
    }
    json names = json::array();
    if (plan.request.psnr) names.push_back("psnr");
    if (plan.request.ssim) names.push_back("ssim");
    return {{"measured", names},
            {"planes", plan.planes ? "decoded" : "rgb"},
            {"pixel_format", plan.format},
            {"bit_depth", pooled.depth},
            {"peak", (1 << pooled.depth) - 1},
            {"note", plan.note},
            {"pooling", metrics_pooling_rule},
            {"pooled", means},
            {"identical_frames", identical},
            {"frames", frames}};
}

std::string metrics_html(const RunRecord& run) {
    const PooledMetrics& pooled = run.pooled_metrics;
    std::string h = "<h2>PSNR and SSIM</h2>\n<p>On the " +
                    std::string(run.metrics.planes ? "decoded planes of " : "R, G, B planes of ") +
                    html_escaped(run.metrics.format) + " (" + std::to_string(pooled.depth) +
                    " bits); means over the frames.</p>\n<table>\n";
    for (std::size_t k = 0; k < pooled.columns.size() && k < pooled.values.size(); ++k) {
        const bool psnr = pooled.columns[k].rfind("psnr", 0) == 0;
        std::string value = fixed_text(pooled.values[k], psnr ? 2 : 4) + (psnr ? " dB" : "");
        if (psnr && k < pooled.identical.size() && pooled.identical[k] > 0) {
            value += " (" + std::to_string(pooled.identical[k]) + " identical frame" +
                     (pooled.identical[k] == 1 ? "" : "s") + ")";
        }
        h += "<tr><th>" + html_escaped(pooled.columns[k]) + "</th><td>" + value + "</td></tr>\n";
    }
    h += "</table>\n<p><small>" + html_escaped(metrics_pooling_rule) + ".";
    if (!run.metrics.note.empty()) h += " " + html_escaped(run.metrics.note) + ".";
    return h + "</small></p>\n";
}

}  // namespace orv
