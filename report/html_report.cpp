#include "report/html_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "report/json_record.h"
#include "report/metrics_record.h"
#include "report/png_file.h"

namespace orv {

std::string html_escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

namespace {

// A number for the page: up to `decimals` decimals, locale-independent; "–" when not finite.
std::string shown(double value, int decimals = 4) {
    if (!std::isfinite(value)) return "&ndash;";
    char text[400];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, end.ptr);
}

std::string percent(double share) { return shown(100.0 * share, 2) + " %"; }

// The smallest value of the form 1, 2, 2.5 or 5 times a power of ten that is at least `value`.
double nice_ceiling(double value) {
    if (!(value > 0.0) || !std::isfinite(value)) return 1.0;
    double decade = std::pow(10.0, std::floor(std::log10(value)));
    for (;;) {
        for (double m : {1.0, 2.0, 2.5, 5.0}) {
            if (m * decade >= value * (1.0 - 1e-12)) return m * decade;
        }
        decade *= 10.0;
    }
}

std::string quoted_command(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) {
        if (!line.empty()) line += ' ';
        const bool plain = !w.empty() && w.find_first_not_of(
                                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                             "0123456789_-+=./,:@%") == std::string::npos;
        if (plain) {
            line += w;
        } else {
            line += '\'';
            for (char c : w) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
            line += '\'';
        }
    }
    return line;
}

struct Plot {
    double width = 860, height = 320;
    double left = 64, right = 170, top = 16, bottom = 48;
    double x_min = 0, x_max = 1, y_max = 1;
    double x(double v) const {
        return left + (v - x_min) / (x_max - x_min) * (width - left - right);
    }
    double y(double v) const { return top + (1.0 - v / y_max) * (height - top - bottom); }
};

std::string axes(const Plot& p, const std::vector<double>& x_ticks, double x_step,
                 const std::vector<double>& y_ticks, double y_step, const std::string& x_label,
                 const std::string& y_label) {
    std::string s;
    const double x0 = p.left, x1 = p.width - p.right;
    const double y0 = p.height - p.bottom, y1 = p.top;
    for (double t : y_ticks) {
        const double y = p.y(t);
        s += "<line class=\"grid\" x1=\"" + shown(x0, 1) + "\" y1=\"" + shown(y, 1) + "\" x2=\"" +
             shown(x1, 1) + "\" y2=\"" + shown(y, 1) + "\"/>";
        s += "<text x=\"" + shown(x0 - 6, 1) + "\" y=\"" + shown(y + 4, 1) +
             "\" text-anchor=\"end\">" + tick_label(t, y_step) + "</text>";
    }
    for (double t : x_ticks) {
        const double x = p.x(t);
        s += "<line class=\"axis\" x1=\"" + shown(x, 1) + "\" y1=\"" + shown(y0, 1) + "\" x2=\"" +
             shown(x, 1) + "\" y2=\"" + shown(y0 + 5, 1) + "\"/>";
        s += "<text x=\"" + shown(x, 1) + "\" y=\"" + shown(y0 + 18, 1) +
             "\" text-anchor=\"middle\">" + tick_label(t, x_step) + "</text>";
    }
    s += "<line class=\"axis\" x1=\"" + shown(x0, 1) + "\" y1=\"" + shown(y0, 1) + "\" x2=\"" +
         shown(x1, 1) + "\" y2=\"" + shown(y0, 1) + "\"/>";
    s += "<line class=\"axis\" x1=\"" + shown(x0, 1) + "\" y1=\"" + shown(y0, 1) + "\" x2=\"" +
         shown(x0, 1) + "\" y2=\"" + shown(y1, 1) + "\"/>";
    s += "<text class=\"label\" x=\"" + shown((x0 + x1) / 2, 1) + "\" y=\"" +
         shown(p.height - 8, 1) + "\" text-anchor=\"middle\">" + html_escaped(x_label) + "</text>";
    s += "<text class=\"label\" transform=\"translate(16 " + shown((y0 + y1) / 2, 1) +
         ") rotate(-90)\" text-anchor=\"middle\">" + html_escaped(y_label) + "</text>";
    return s;
}

std::vector<double> integer_ticks(int last, int max_intervals) {
    if (last <= 0) return {0.0};
    std::vector<double> ticks = colour_bar_ticks(nice_ceiling(last), max_intervals);
    std::vector<double> kept;
    for (double t : ticks) {
        if (t <= last && t == std::floor(t)) kept.push_back(t);
    }
    return kept;
}

std::string frame_plot(const RunRecord& run) {
    const int n = static_cast<int>(run.frames.size());
    Plot p;
    p.x_max = std::max(n - 1, 1);
    double largest = 0.0;
    for (const FrameRecord& f : run.frames) {
        if (std::isfinite(f.statistics.max)) largest = std::max(largest, f.statistics.max);
    }
    p.y_max = nice_ceiling(largest);
    const std::vector<double> y_ticks = colour_bar_ticks(p.y_max, 8);
    const std::vector<double> x_ticks = integer_ticks(n - 1, 10);
    const double x_step = x_ticks.size() > 1 ? x_ticks[1] - x_ticks[0] : 1.0;
    const double y_step = y_ticks.size() > 1 ? y_ticks[1] - y_ticks[0] : 1.0;
    std::string s =
        "<svg class=\"plot\" viewBox=\"0 0 860 320\" width=\"860\" height=\"320\" "
        "role=\"img\" aria-label=\"per-frame mean, 95th percentile and maximum\">";
    s += axes(p, x_ticks, x_step, y_ticks, y_step, "frame",
              "\u0394E (" + std::string(formula_name(run.formula)) + ")");
    const struct {
        const char* name;
        const char* colour;
        double FrameStatistics::*field;
    } series[] = {{"maximum", "#c0392b", &FrameStatistics::max},
                  {"95th percentile", "#e67e22", &FrameStatistics::p95},
                  {"mean", "#2c5aa0", &FrameStatistics::mean}};
    int legend = 0;
    for (const auto& line : series) {
        std::string points;
        for (const FrameRecord& f : run.frames) {
            const double v = f.statistics.*line.field;
            if (!std::isfinite(v)) continue;
            points += shown(p.x(f.frame), 1) + "," + shown(p.y(v), 1) + " ";
        }
        s += "<polyline fill=\"none\" stroke=\"" + std::string(line.colour) +
             "\" stroke-width=\"2\" points=\"" + points + "\"/>";
        if (n <= 60) {
            for (const FrameRecord& f : run.frames) {
                const double v = f.statistics.*line.field;
                if (!std::isfinite(v)) continue;
                s += "<circle r=\"3\" fill=\"" + std::string(line.colour) + "\" cx=\"" +
                     shown(p.x(f.frame), 1) + "\" cy=\"" + shown(p.y(v), 1) + "\"/>";
            }
        }
        const double lx = p.width - p.right + 16, ly = p.top + 8 + 18 * legend++;
        s += "<line x1=\"" + shown(lx, 1) + "\" y1=\"" + shown(ly, 1) + "\" x2=\"" +
             shown(lx + 24, 1) + "\" y2=\"" + shown(ly, 1) + "\" stroke=\"" + line.colour +
             "\" stroke-width=\"3\"/><text x=\"" + shown(lx + 30, 1) + "\" y=\"" +
             shown(ly + 4, 1) + "\">" + line.name + "</text>";
    }
    return s + "</svg>";
}

std::string histogram_plot(const RunRecord& run, const ValueHistogram& h) {
    std::uint64_t total = h.beyond;
    for (std::uint64_t c : h.counts) total += c;
    const double data_end = h.bin_width * static_cast<double>(h.counts.size());
    const double range = std::min(nice_ceiling(std::max(run.pooled.p99, h.bin_width)), data_end);
    const auto bins_in_range = static_cast<std::size_t>(std::llround(range / h.bin_width));
    const std::size_t group = std::max<std::size_t>((bins_in_range + 49) / 50, 1);
    const std::size_t bars = (bins_in_range + group - 1) / group;
    std::vector<double> shares(bars + 1, 0.0);  // the last bar: everything beyond the range
    for (std::size_t i = 0; i < h.counts.size(); ++i) {
        const std::size_t bar = std::min(i / group, bars);
        shares[bar] += static_cast<double>(h.counts[i]);
    }
    shares[bars] += static_cast<double>(h.beyond);
    double tallest = 0.0;
    for (double& v : shares) {
        v = total > 0 ? 100.0 * v / static_cast<double>(total) : 0.0;
        tallest = std::max(tallest, v);
    }
    Plot p;
    p.x_max = range + group * h.bin_width;  // room for the bar beyond the range
    p.y_max = nice_ceiling(tallest);
    const std::vector<double> y_ticks = colour_bar_ticks(p.y_max, 6);
    const std::vector<double> x_ticks = colour_bar_ticks(range, 10);
    const double x_step = x_ticks.size() > 1 ? x_ticks[1] - x_ticks[0] : range;
    const double y_step = y_ticks.size() > 1 ? y_ticks[1] - y_ticks[0] : p.y_max;
    std::string s =
        "<svg class=\"plot\" viewBox=\"0 0 860 320\" width=\"860\" height=\"320\" "
        "role=\"img\" aria-label=\"histogram of all pixel differences\">";
    s += axes(p, x_ticks, x_step, y_ticks, y_step,
              "\u0394E (" + std::string(formula_name(run.formula)) + "); the last bar: beyond " +
                  tick_label(range, x_step),
              "share of all pixels (%)");
    const double bar_w = group * h.bin_width;
    for (std::size_t b = 0; b <= bars; ++b) {
        const double x0 = p.x(b * bar_w), x1 = p.x((b + 1) * bar_w);
        const double y = p.y(shares[b]);
        s += "<rect fill=\"" + std::string(b == bars ? "#c0392b" : "#2c5aa0") + "\" x=\"" +
             shown(x0 + 0.5, 1) + "\" y=\"" + shown(y, 1) + "\" width=\"" +
             shown(std::max(x1 - x0 - 1.0, 0.5), 1) + "\" height=\"" + shown(p.y(0) - y, 1) +
             "\"/>";
    }
    return s + "</svg>";
}

// Small pictures are shown enlarged by a whole factor, sharp (image-rendering: pixelated).
std::string image_tag(const std::string& png, int width, int zoom, const std::string& alt) {
    return "<img alt=\"" + html_escaped(alt) + "\" width=\"" + std::to_string(width * zoom) +
           "\" src=\"data:image/png;base64," + base64(png) + "\">";
}

std::string row(const std::string& name, const std::string& value) {
    return "<tr><th>" + name + "</th><td>" + value + "</td></tr>\n";
}

std::string input_rows(const char* role, const InputRecord& in) {
    std::string files = html_escaped(in.paths.empty() ? "" : in.paths.front());
    if (in.paths.size() > 1) files += " &hellip; " + html_escaped(in.paths.back());
    return row(role, std::to_string(in.frame_count) + " frames of " +
                         std::to_string(in.frame_width) + " &times; " +
                         std::to_string(in.frame_height) + ": " + files + "<br><small>" +
                         html_escaped(in.colour_handling) + "</small>");
}

constexpr const char* style_sheet = R"(
body { font-family: sans-serif; margin: 24px; color: #222; max-width: 1400px; }
h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 1.6em; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; } th, td { text-align: left; padding: 3px 10px; border-bottom: 1px solid #eee; vertical-align: top; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
code, pre { font-family: monospace; font-size: 0.9em; } pre { background: #f6f6f6; padding: 8px; overflow-x: auto; }
svg.plot text { font-size: 12px; fill: #222; } svg.plot .label { font-size: 13px; }
svg.plot .axis { stroke: #222; stroke-width: 1; } svg.plot .grid { stroke: #ddd; stroke-width: 1; }
.frames { display: flex; gap: 12px; flex-wrap: wrap; align-items: flex-start; }
figure { margin: 0; } figcaption { font-size: 0.9em; color: #555; }
img { image-rendering: pixelated; border: 1px solid #ccc; height: auto; }
)";

}  // namespace

void add_to_histogram(ValueHistogram& histogram, const InterleavedImage& map) {
    const std::size_t bins = histogram.counts.size();
    for (double v : map.data) {
        const double position = v / histogram.bin_width;
        if (!(position >= 0.0)) {
            ++histogram.counts[0];  // a negative value or NaN: the first bin
        } else if (position >= static_cast<double>(bins)) {
            ++histogram.beyond;
        } else {
            ++histogram.counts[static_cast<std::size_t>(position)];
        }
    }
}

bool is_worst_frame(const WorstFrames& worst, double mean) {
    return worst.frames.size() < worst.keep ||
           (!worst.frames.empty() && mean > worst.frames.back().mean);
}

void keep_worst_frame(WorstFrames& worst, WorstFrame frame) {
    if (!is_worst_frame(worst, frame.mean)) return;
    const auto at = std::find_if(worst.frames.begin(), worst.frames.end(),
                                 [&](const WorstFrame& f) { return frame.mean > f.mean; });
    worst.frames.insert(at, std::move(frame));
    if (worst.frames.size() > worst.keep) worst.frames.pop_back();
}

WorstFrame make_worst_frame(int frame, double mean, const PixelBuffer& reference,
                            const PixelBuffer& degraded, const InterleavedImage& map,
                            const HeatmapStyle& style, int max_width) {
    WorstFrame w;
    w.frame = frame;
    w.mean = mean;
    // The heatmap shrinks by the pictures' factor, so its map part stays the same size.
    const RgbImage picture = shrink_to_width(frame_picture(reference), max_width);
    const int factor = picture.width > 0 ? reference.width / picture.width : 1;
    const RgbImage heatmap = heatmap_with_colour_bar(map, style);
    const RgbImage shrunk_heatmap = shrink_to_width(heatmap, heatmap.width / std::max(factor, 1));
    w.reference_png = encode_png(picture);
    w.degraded_png = encode_png(shrink_to_width(frame_picture(degraded), max_width));
    w.heatmap_png = encode_png(shrunk_heatmap);
    w.picture_width = picture.width;
    w.heatmap_width = shrunk_heatmap.width;
    return w;
}

std::string html_report(const RunRecord& run, const ValueHistogram& histogram,
                        const WorstFrames& worst, const HeatmapStyle& style) {
    const PooledStatistics& p = run.pooled;
    std::string h =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>ORV colour-difference report</title>\n<style>";
    h += style_sheet;
    h += "</style>\n</head>\n<body>\n<h1>ORV colour-difference report</h1>\n";

    h += "<h2>What was measured</h2>\n<table>\n";
    h += row("ORV", html_escaped(orv_version()));
    h += row("Command", "<code>" + html_escaped(quoted_command(run.command_line)) + "</code>");
    h += row("Formula", std::string(formula_name(run.formula)) + ", S-CIELAB");
    h += input_rows("Reference", run.reference);
    h += input_rows("Degraded", run.degraded);
    h += row("Profile folder", html_escaped(run.profile.folder));
    h += row("Kernel sample angle", shown(run.profile.kernel_sample_angle, 4) + "&deg;");
    h += row("Viewing", viewing_text(run.profile.viewing));
    h += "</table>\n<details><summary>Profile as used (display model, matrices, filters, viewing "
         "geometry)</summary>\n<pre>" +
         html_escaped(run_json(run)["profile"].dump(2)) + "</pre></details>\n";

    h += "<h2>Pooled figures</h2>\n<table>\n";
    h += row("Frames", std::to_string(p.frames));
    h += row("Mean of the frame means", shown(p.mean_of_means));
    h += row("Median of the frame means", shown(p.median_of_means));
    h += row("95th percentile of the frame means", shown(p.p95_of_means));
    h += row("Largest frame mean",
             shown(p.largest_mean) + " (frame " + std::to_string(p.largest_mean_frame) + ")");
    h += row("Largest pixel difference", shown(p.max) + " (frame " + std::to_string(p.max_frame) +
                                             ", x " + std::to_string(p.max_x) + ", y " +
                                             std::to_string(p.max_y) + " from the top)");
    h += row("Median of all pixels", shown(p.median));
    h += row("95th percentile of all pixels", shown(p.p95));
    h += row("99th percentile of all pixels", shown(p.p99));
    for (std::size_t k = 0; k < run.thresholds.size() && k < p.share_above.size(); ++k) {
        h += row("Pixels above " + threshold_text(run.thresholds[k]) + " &Delta;E",
                 percent(p.share_above[k]));
    }
    h += "</table>\n<p><small>Percentiles are nearest-rank: the P-th percentile of n sorted values "
         "is the value at rank &lceil;P&middot;n/100&rceil;.</small></p>\n";

    if (run.metrics.request.any()) h += metrics_html(run);
    h += "<h2>Per frame</h2>\n" + frame_plot(run) + "\n";
    h += "<h2>Distribution of all pixel differences</h2>\n" + histogram_plot(run, histogram) + "\n";

    h += "<h2>Worst frames</h2>\n<p>By frame mean; heatmaps on the fixed scale 0 to " +
         shown(style.scale_max, 2) + " &Delta;E (" + std::string(colour_map_name(style.colours)) +
         "), values above it in the top colour.</p>\n";
    for (const WorstFrame& w : worst.frames) {
        const std::string label = "frame " + std::to_string(w.frame);
        h += "<h3>" + label + ": mean " + shown(w.mean) + "</h3>\n<div class=\"frames\">";
        const int zoom = w.picture_width > 0 ? std::max(1, 288 / w.picture_width) : 1;
        h += "<figure>" + image_tag(w.reference_png, w.picture_width, zoom, label + " reference") +
             "<figcaption>reference</figcaption></figure>";
        h += "<figure>" + image_tag(w.degraded_png, w.picture_width, zoom, label + " degraded") +
             "<figcaption>degraded</figcaption></figure>";
        h += "<figure>" + image_tag(w.heatmap_png, w.heatmap_width, zoom, label + " heatmap") +
             "<figcaption>heatmap (&Delta;E)</figcaption></figure>";
        h += "</div>\n";
    }
    h += "</body>\n</html>\n";
    return h;
}

}  // namespace orv
