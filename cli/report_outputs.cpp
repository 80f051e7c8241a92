#include "cli/report_outputs.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orv {

namespace {

// "3, 7, 12" (at most 20 frames, then how many more).
std::string frame_list(const std::vector<int>& frames) {
    std::string text;
    for (std::size_t i = 0; i < frames.size() && i < 20; ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(frames[i]);
    }
    if (frames.size() > 20) text += " and " + std::to_string(frames.size() - 20) + " more";
    return text;
}

// Names the frames whose figure exceeds the limit; true when there are any.
bool report_frames_above(const RunRecord& record, const std::optional<double>& limit,
                         double FrameStatistics::*figure, const char* option, const char* what) {
    if (!limit) return false;
    std::vector<int> frames;
    for (const FrameRecord& f : record.frames) {
        if (!(f.statistics.*figure <= *limit)) frames.push_back(f.frame);
    }
    if (frames.empty()) return false;
    std::fprintf(stderr, "orv-cli: %zu of %zu frames have a %s above %s (%s): frame%s %s\n",
                 frames.size(), record.frames.size(), what, fixed6(*limit).c_str(), option,
                 frames.size() == 1 ? "" : "s", frame_list(frames).c_str());
    return true;
}

}  // namespace

void add_report_options(CLI::App& diff, ReportOptions& options) {
    diff.add_option("--summary", options.summary,
                    "Write the pooled figures of the sequence as a table figure,value")
        ->type_name("FILE");
    diff.add_option("--json", options.json,
                    "Write the whole record (profile, inputs, formula, per-frame and pooled "
                    "statistics) as JSON")
        ->type_name("FILE");
    diff.add_option("--heatmaps", options.heatmaps,
                    "Write each difference map as a heatmap with a colour bar, BASE_NNNN.png")
        ->type_name("BASE");
    diff.add_option("--heatmap-max", options.heatmap_max,
                    "Difference at the top of the heatmaps' fixed scale (larger ones take the "
                    "top colour; default 5, for --delta-e itp 20)")
        ->type_name("DE");
    diff.add_option("--heatmap-colours", options.colour_map, "Colour map of the heatmaps")
        ->check(CLI::IsMember({"viridis", "magma"}))
        ->capture_default_str();
    diff.add_option("--report", options.report,
                    "Write a self-contained HTML report: provenance, pooled figures, plots and "
                    "the five worst frames")
        ->type_name("FILE.html");
    diff.add_option("--delta-e", options.delta_e,
                    "Colour-difference formula: 94 (CIE94, the default), 2000 (CIEDE2000), 76 "
                    "(CIE76) or itp (BT.2124 ΔE ITP, from absolute light)")
        ->check(CLI::IsMember({"94", "2000", "76", "itp"}))
        ->capture_default_str();
    diff.add_option("--thresholds", options.thresholds,
                    "Differences for the shares of pixels above them, comma-separated")
        ->type_name("LIST")
        ->delimiter(',')
        ->capture_default_str();
    diff.add_option_function<double>(
            "--fail-above", [&options](double value) { options.fail_above = value; },
            "After all outputs, exit with status 3 if any frame's mean exceeds X")
        ->type_name("X");
    diff.add_option_function<double>(
            "--fail-above-p95", [&options](double value) { options.fail_above_p95 = value; },
            "After all outputs, exit with status 3 if any frame's 95th percentile exceeds X")
        ->type_name("X");
    diff.add_flag("--quiet", options.quiet, "No progress; nothing on standard error but errors");
}

void check_report_options(const ReportOptions& options) {
    if (options.heatmap_max &&
        (!std::isfinite(*options.heatmap_max) || !(*options.heatmap_max > 0.0))) {
        throw CLI::ValidationError("--heatmap-max", "must be a positive finite number");
    }
    for (double t : options.thresholds) {
        if (!std::isfinite(t) || t < 0.0) {
            throw CLI::ValidationError("--thresholds", "each must be a finite number, 0 or more");
        }
    }
    for (const auto& [limit, name] : {std::pair{options.fail_above, "--fail-above"},
                                      std::pair{options.fail_above_p95, "--fail-above-p95"}}) {
        if (limit && !std::isfinite(*limit)) {
            throw CLI::ValidationError(name, "must be a finite number");
        }
    }
}

DeltaEFormula chosen_formula(const ReportOptions& options) {
    return formula_from_option(options.delta_e).value_or(DeltaEFormula::cie94);
}

ReportSettings report_settings(const ReportOptions& options) {
    ReportSettings settings;
    settings.files.summary = options.summary;
    settings.files.json = options.json;
    settings.files.heatmaps = options.heatmaps;
    settings.files.report = options.report;
    settings.command_line = options.command_line;
    settings.formula = chosen_formula(options);
    settings.thresholds = options.thresholds;
    settings.style.scale_max =
        options.heatmap_max.value_or(default_heatmap_scale(settings.formula));
    settings.style.colours = colour_map_from_name(options.colour_map).value_or(ColourMap::viridis);
    return settings;
}

int threshold_status(const ReportOptions& options, const RunRecord& record) {
    const bool mean_failed = report_frames_above(record, options.fail_above, &FrameStatistics::mean,
                                                 "--fail-above", "mean");
    const bool p95_failed =
        report_frames_above(record, options.fail_above_p95, &FrameStatistics::p95,
                            "--fail-above-p95", "95th percentile");
    return mean_failed || p95_failed ? status_failed_threshold : 0;
}

}  // namespace orv
