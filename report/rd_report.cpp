#include "report/rd_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "numeric/number_text.h"
#include "report/html_report.h"
#include "report/run_record.h"

namespace orv {

namespace {

// A tick step of 1, 2 or 5 times a power of ten giving about five ticks up to `top`.
double tick_step(double top) {
    if (!(top > 0.0)) return 1.0;
    const double raw = top / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10.0 * power;
}

std::string tick_text(double value, double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
    return fixed_text(value, decimals);
}

const char* const codec_colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e"};

// The Bjøntegaard table of the run, when it has two curves or more.
std::string bd_section(const RdRun& run) {
    const std::vector<BdRow> rows = rd_bd_rows(run);
    if (rows.empty()) return {};
    return "<h2>Bjøntegaard delta against " + html_escaped(rows.front().anchor) +
           "</h2>\n<p class=\"small\">BD-rate: percent more (+) or fewer (−) bits for the same "
           "figure; BD-delta: the mean difference of the figure at the same rate (for ΔE, "
           "negative is better). PCHIP interpolation over log10(bitrate), exact integration "
           "over the overlap of the two curves; curves of fewer than " +
           std::to_string(bd_min_points) + " points give no number.</p>\n" + bd_html_table(rows);
}

nlohmann::ordered_json pooled_json(const PooledFigures& pooled) {
    return {
        {"mean", pooled.mean}, {"median", pooled.median}, {"p95", pooled.p95}, {"max", pooled.max}};
}

// A point's PSNR and SSIM means, "planes" first.
nlohmann::ordered_json point_metrics_json(const RdPoint& p) {
    nlohmann::ordered_json m = {{"planes", p.metric_planes}};
    if (!p.metric_note.empty()) m["note"] = p.metric_note;
    for (std::size_t k = 0; k < p.metric_columns.size() && k < p.metrics.size(); ++k) {
        m[p.metric_columns[k]] = p.metrics[k];
    }
    return m;
}

// The extra header cells and point cells of the HTML table.
std::string metric_header_cells(const RdRun& run) {
    std::string cells;
    for (const std::string& column : run.metric_columns) {
        cells += "<th>" + html_escaped(column) + "</th>";
    }
    return cells;
}

std::string metric_cells(const RdRun& run, const RdPoint& p) {
    std::string cells;
    for (const std::string& column : run.metric_columns) {
        const double value = point_metric(p, column);
        const int decimals = column.rfind("psnr", 0) == 0 ? 2 : 4;
        cells += "<td class=\"n\">" +
                 (std::isnan(value) ? std::string() : fixed_text(value, decimals)) + "</td>";
    }
    return cells;
}

}  // namespace

std::string point_setting(const RdPoint& point) {
    return point.existing.empty() ? setting_label(point.settings) : point.existing;
}

double point_metric(const RdPoint& point, const std::string& name) {
    for (std::size_t k = 0; k < point.metric_columns.size() && k < point.metrics.size(); ++k) {
        if (point.metric_columns[k] == name) return point.metrics[k];
    }
    return std::numeric_limits<double>::quiet_NaN();
}

std::string rd_csv(const RdRun& run) {
    std::string text = "codec,setting,bytes,bitrate,mean,median,p95,max";
    for (const std::string& column : run.metric_columns) text += "," + column;
    text += "\n";
    for (const RdPoint& p : run.points) {
        text += p.settings.codec + "," + point_setting(p) + "," + std::to_string(p.stream_bytes) +
                "," + fixed_text(p.bitrate, 0) + "," + fixed_text(p.pooled.mean, 6) + "," +
                fixed_text(p.pooled.median, 6) + "," + fixed_text(p.pooled.p95, 6) + "," +
                fixed_text(p.pooled.max, 6);
        // A point measured on other planes than the first has empty cells for its columns.
        for (const std::string& column : run.metric_columns) {
            const double value = point_metric(p, column);
            text += "," + (std::isnan(value) ? std::string() : fixed_text(value, 6));
        }
        text += "\n";
    }
    return text;
}

std::vector<RdCurve> rd_curves(const RdRun& run, std::vector<std::string>& figure_names) {
    figure_names = {"mean", "p95"};
    std::vector<RdCurve> curves;
    for (const RdPoint& p : run.points) {
        auto curve = std::find_if(curves.begin(), curves.end(),
                                  [&](const RdCurve& c) { return c.name == p.settings.codec; });
        if (curve == curves.end()) {
            curves.push_back({p.settings.codec, {}, std::vector<std::vector<double>>(2)});
            curve = curves.end() - 1;
        }
        curve->bitrates.push_back(p.bitrate);
        curve->figures[0].push_back(p.pooled.mean);
        curve->figures[1].push_back(p.pooled.p95);
    }
    // Luma PSNR when every point has it.
    const bool psnr_y = !run.points.empty() &&
                        std::all_of(run.points.begin(), run.points.end(), [](const RdPoint& p) {
                            return !std::isnan(point_metric(p, "psnr_y"));
                        });
    if (psnr_y) {
        figure_names.push_back("psnr_y");
        for (RdCurve& curve : curves) curve.figures.emplace_back();
        for (const RdPoint& p : run.points) {
            for (RdCurve& curve : curves) {
                if (curve.name == p.settings.codec)
                    curve.figures[2].push_back(point_metric(p, "psnr_y"));
            }
        }
    }
    return curves;
}

std::vector<BdRow> rd_bd_rows(const RdRun& run) {
    std::vector<std::string> names;
    std::vector<RdCurve> curves = rd_curves(run, names);
    if (curves.size() < 2) return {};
    const RdCurve anchor = curves.front();
    curves.erase(curves.begin());
    return bd_rows(anchor, curves, names);
}

std::string rd_json(const RdRun& run) {
    using json = nlohmann::ordered_json;
    json points = json::array();
    for (const RdPoint& p : run.points) {
        const char* rate = p.settings.rate == RateControl::crf  ? "crf"
                           : p.settings.rate == RateControl::qp ? "qp"
                                                                : "bitrate";
        json frames = json::array();
        for (const RdFrame& f : p.frames) {
            frames.push_back({{"frame", f.coded.index},
                              {"type", std::string(1, f.coded.type)},
                              {"bytes", f.coded.bytes},
                              {"mean", f.mean},
                              {"max", f.max}});
        }
        if (!p.existing.empty()) {
            points.push_back({
                {"codec", p.settings.codec},
                {"encoder", p.encoder},
                {"setting", p.existing},
                {"rate_control", "existing bitstream"},
                {"bitstream", p.bitstream},
                {"bytes", p.stream_bytes},
                {"file_bytes", p.file_bytes},
                {"bitrate", p.bitrate},
                {"pooled", pooled_json(p.pooled)},
                {"frames", frames},
            });
            if (!p.metric_columns.empty()) points.back()["metrics"] = point_metrics_json(p);
            continue;
        }
        points.push_back({
            {"codec", p.settings.codec},
            {"encoder", p.encoder},
            {"setting", setting_label(p.settings)},
            {"rate_control", rate},
            {"value", p.settings.value},
            {"preset",
             p.settings.preset.empty() ? encode_default_preset(p.encoder) : p.settings.preset},
            {"gop", p.settings.gop},
            {"pix_fmt", p.settings.pix_fmt},
            {"fps", p.settings.fps},
            {"matrix", p.settings.matrix},
            {"range", p.settings.range},
            {"encoder_params", encoder_params(p.settings, p.encoder)},
            {"tune", p.settings.tune},
            {"passes", p.settings.passes},
            {"bitstream", p.bitstream},
            {"bytes", p.stream_bytes},
            {"file_bytes", p.file_bytes},
            {"bitrate", p.bitrate},
            {"pooled", pooled_json(p.pooled)},
            {"frames", frames},
        });
        if (!p.metric_columns.empty()) points.back()["metrics"] = point_metrics_json(p);
    }
    json document = {
        {"kind", "orv rate-distortion"},
        {"schema_version", 1},
        {"command", run.command},
        {"profile", run.profile},
        {"viewing",
         {{"pixels_per_degree", 1.0 / run.viewing.pixel_angle_degrees},
          {"pixel_angle_degrees", run.viewing.pixel_angle_degrees},
          {"source", run.viewing.source}}},
        {"inputs", run.inputs},
        {"width", run.width},
        {"height", run.height},
        {"frames", run.points.empty() ? 0 : run.points.front().frames.size()},
        {"difference", "S-CIELAB, CIE94 per pixel"},
        {"points", points},
    };
    if (!run.metric_columns.empty()) {
        document["metrics"] = {{"columns", run.metric_columns}, {"pooling", metrics_pooling_rule}};
    }
    return document.dump(2) + "\n";
}

std::string rd_html(const RdRun& run) {
    // Plot area in SVG units.
    const double left = 70, top = 20, width = 640, height = 380;
    double min_rate = 0.0, max_rate = 0.0, max_delta = 0.0;
    for (const RdPoint& p : run.points) {
        const double kbit = p.bitrate / 1000.0;
        if (kbit > 0.0 && (min_rate == 0.0 || kbit < min_rate)) min_rate = kbit;
        max_rate = std::max(max_rate, kbit);
        max_delta = std::max({max_delta, p.pooled.p95, p.pooled.mean});
    }
    // Bitrate on a logarithmic axis from the decade below the lowest rate to the one above
    // the highest, as rate-distortion curves are read.
    const double x_low = min_rate > 0.0 ? std::floor(std::log10(min_rate)) : 0.0;
    const double x_high =
        std::max(x_low + 1.0, max_rate > 0.0 ? std::ceil(std::log10(max_rate)) : x_low + 1.0);
    const double y_step = tick_step(max_delta * 1.1);
    const double y_top = std::max(y_step, std::ceil(max_delta * 1.1 / y_step) * y_step);
    auto sx = [&](double kbit) {
        const double at = kbit > 0.0 ? std::log10(kbit) : x_low;
        return fixed_text(left + (at - x_low) / (x_high - x_low) * width, 1);
    };
    auto sy = [&](double delta) { return fixed_text(top + height - delta / y_top * height, 1); };

    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"760\" height=\"460\" "
        "viewBox=\"0 0 760 460\" role=\"img\" aria-label=\"rate-distortion plot\">\n";
    svg += "<rect x=\"" + fixed_text(left, 0) + "\" y=\"" + fixed_text(top, 0) + "\" width=\"" +
           fixed_text(width, 0) + "\" height=\"" + fixed_text(height, 0) +
           "\" fill=\"#fff\" stroke=\"#888\"/>\n";
    for (double decade = x_low; decade < x_high + 0.5; decade += 1.0) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double x = m * std::pow(10.0, decade);
            if (std::log10(x) > x_high + 1e-9) break;
            svg += "<line x1=\"" + sx(x) + "\" y1=\"" + sy(0) + "\" x2=\"" + sx(x) + "\" y2=\"" +
                   sy(y_top) + "\" stroke=\"" + (m == 1.0 ? "#ddd" : "#f2f2f2") + "\"/><text x=\"" +
                   sx(x) + "\" y=\"" + fixed_text(top + height + 18, 0) +
                   "\" text-anchor=\"middle\">" + tick_text(x, std::min(1.0, x)) + "</text>\n";
        }
    }
    for (double y = 0.0; y <= y_top + y_step / 2; y += y_step) {
        svg += "<line x1=\"" + sx(0) + "\" y1=\"" + sy(y) + "\" x2=\"" +
               sx(std::pow(10.0, x_high)) + "\" y2=\"" + sy(y) + "\" stroke=\"#eee\"/><text x=\"" +
               fixed_text(left - 8, 0) + "\" y=\"" + sy(y) +
               "\" text-anchor=\"end\" dominant-baseline=\"middle\">" + tick_text(y, y_step) +
               "</text>\n";
    }
    svg += "<text x=\"" + fixed_text(left + width / 2, 0) + "\" y=\"" +
           fixed_text(top + height + 40, 0) +
           "\" text-anchor=\"middle\">bitrate (kbit/s), logarithmic scale</text>\n";
    svg += "<text transform=\"translate(18 " + fixed_text(top + height / 2, 0) +
           ") rotate(-90)\" text-anchor=\"middle\">S-CIELAB ΔE (CIE94)</text>\n";

    // One curve per codec: the pooled mean solid, the 95th percentile dashed.
    std::vector<std::string> codecs;
    for (const RdPoint& p : run.points) {
        if (std::find(codecs.begin(), codecs.end(), p.settings.codec) == codecs.end()) {
            codecs.push_back(p.settings.codec);
        }
    }
    std::string legend;
    for (std::size_t c = 0; c < codecs.size(); ++c) {
        const std::string colour = codec_colours[c % std::size(codec_colours)];
        std::vector<const RdPoint*> curve;
        for (const RdPoint& p : run.points) {
            if (p.settings.codec == codecs[c]) curve.push_back(&p);
        }
        std::sort(curve.begin(), curve.end(),
                  [](const RdPoint* a, const RdPoint* b) { return a->bitrate < b->bitrate; });
        for (int series = 0; series < 2; ++series) {
            std::string line;
            for (const RdPoint* p : curve) {
                const double delta = series == 0 ? p->pooled.mean : p->pooled.p95;
                line += sx(p->bitrate / 1000.0) + "," + sy(delta) + " ";
            }
            svg += "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"2\"" +
                   (series == 1 ? " stroke-dasharray=\"6 4\"" : "") + " points=\"" + line +
                   "\"/>\n";
            for (const RdPoint* p : curve) {
                const double delta = series == 0 ? p->pooled.mean : p->pooled.p95;
                svg += "<circle cx=\"" + sx(p->bitrate / 1000.0) + "\" cy=\"" + sy(delta) +
                       "\" r=\"4\" fill=\"" + (series == 0 ? colour : std::string("#fff")) +
                       "\" stroke=\"" + colour + "\"><title>" + html_escaped(codecs[c]) + " " +
                       point_setting(*p) + ": " + fixed_text(p->bitrate / 1000.0, 1) + " kbit/s, " +
                       (series == 0 ? "mean " : "p95 ") + fixed_text(delta, 3) +
                       "</title></circle>\n";
            }
        }
        const std::string y = fixed_text(top + 14 + 36.0 * static_cast<double>(c), 0);
        const std::string y2 = fixed_text(top + 30 + 36.0 * static_cast<double>(c), 0);
        const std::string lx = fixed_text(left + width - 150, 0);
        const std::string lx2 = fixed_text(left + width - 126, 0);
        const std::string tx = fixed_text(left + width - 120, 0);
        legend += "<line x1=\"" + lx + "\" y1=\"" + y + "\" x2=\"" + lx2 + "\" y2=\"" + y +
                  "\" stroke=\"" + colour + "\" stroke-width=\"2\"/><text x=\"" + tx + "\" y=\"" +
                  y + "\" dominant-baseline=\"middle\">" + html_escaped(codecs[c]) +
                  " mean</text>\n";
        legend += "<line x1=\"" + lx + "\" y1=\"" + y2 + "\" x2=\"" + lx2 + "\" y2=\"" + y2 +
                  "\" stroke=\"" + colour + "\" stroke-width=\"2\" stroke-dasharray=\"6 4\"/>" +
                  "<text x=\"" + tx + "\" y=\"" + y2 + "\" dominant-baseline=\"middle\">" +
                  html_escaped(codecs[c]) + " p95</text>\n";
    }
    svg += legend + "</svg>\n";

    std::string rows;
    for (const RdPoint& p : run.points) {
        rows += "<tr><td>" + html_escaped(p.settings.codec) + " (" + html_escaped(p.encoder) +
                ")</td><td>" + html_escaped(point_setting(p)) + "</td><td>" +
                html_escaped(p.bitstream) + "</td><td class=\"n\">" +
                std::to_string(p.stream_bytes) + "</td><td class=\"n\">" +
                fixed_text(p.bitrate / 1000.0, 1) + "</td><td class=\"n\">" +
                fixed_text(p.pooled.mean, 4) + "</td><td class=\"n\">" +
                fixed_text(p.pooled.median, 4) + "</td><td class=\"n\">" +
                fixed_text(p.pooled.p95, 4) + "</td><td class=\"n\">" +
                fixed_text(p.pooled.max, 4) + "</td>" + metric_cells(run, p) + "</tr>\n";
    }
    std::string inputs;
    for (const std::string& input : run.inputs) inputs += html_escaped(input) + "<br>\n";
    std::string command;
    for (const std::string& word : run.command) command += html_escaped(word) + " ";

    const std::size_t frames = run.points.empty() ? 0 : run.points.front().frames.size();
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>ORV rate-distortion</title>\n<style>\n"
           "body { font-family: sans-serif; margin: 24px; color: #222; max-width: 1400px; }\n"
           "h1 { font-size: 1.5em; }\n"
           "table { border-collapse: collapse; margin: 1em 0; } th, td { text-align: left; "
           "padding: 3px 10px; border-bottom: 1px solid #eee; vertical-align: top; }\n"
           "td.n { text-align: right; font-variant-numeric: tabular-nums; }\n"
           "svg text { font-size: 12px; fill: #222; }\n.small { font-size: 0.9em; color: #555; }\n"
           "</style>\n</head>\n<body>\n<h1>Rate–distortion</h1>\n<p>" +
           std::to_string(frames) + " frames of " + std::to_string(run.width) + " × " +
           std::to_string(run.height) +
           ", S-CIELAB colour difference (CIE94 per pixel) of each decoded frame against its "
           "input. Solid: pooled mean; dashed: 95th percentile of every pixel's difference.</p>\n" +
           svg +
           "<table>\n<tr><th>codec</th><th>setting</th><th>bitstream</th><th>bytes</th>"
           "<th>kbit/s</th><th>mean</th><th>median</th><th>p95</th><th>max</th>" +
           metric_header_cells(run) + "</tr>\n" + rows + "</table>\n" + bd_section(run) +
           "<p class=\"small\">Profile: " + html_escaped(run.profile) +
           "<br>Viewing: " + viewing_text(run.viewing) + "<br>Command: " + command +
           "</p>\n<details class=\"small\"><summary>Inputs</summary>" + inputs +
           "</details>\n</body>\n</html>\n";
}

}  // namespace orv
