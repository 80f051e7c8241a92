#include "report/run_record.h"

#include <charconv>

#include "numeric/number_text.h"

namespace orv {

#ifndef ORV_VERSION
#define ORV_VERSION "unknown"
#endif

std::string_view orv_version() { return ORV_VERSION; }

std::string viewing_text(const ViewingGeometry& viewing) {
    const double theta = viewing.pixel_angle_degrees;
    return fixed_text(1.0 / theta, 2) + " pixels per degree (pixel angle " + fixed_text(theta, 7) +
           "&deg;; " + viewing.source + ")";
}

ProfileRecord profile_record(const MeasurementConditions& conditions) {
    const ColourModel& colour = conditions.colour;
    const AtdFilters& filters = conditions.filters;
    ProfileRecord p;
    p.folder = colour.folder;
    p.display_model = colour.display_model;
    p.rgb_to_xyz = colour.rgb_to_xyz;
    p.xyz_to_lms = colour.xyz_to_lms;
    p.lms_to_atd = colour.lms_to_atd;
    p.kernel_sample_angle = conditions.sample_angle;
    p.viewing = conditions.viewing;
    p.display = colour.display;
    p.display_rgb_to_xyz = colour.display.primaries == DisplayPrimaries::profile
                               ? colour.rgb_to_xyz
                               : primaries_to_xyz(colour.display.primaries);
    if (conditions.degraded_colour) {
        const DisplayChoice& degraded = conditions.degraded_colour->display;
        p.degraded_display = degraded;
        p.degraded_display_rgb_to_xyz = degraded.primaries == DisplayPrimaries::profile
                                            ? colour.rgb_to_xyz
                                            : primaries_to_xyz(degraded.primaries);
    }
    const struct {
        const char* channel;
        const char* file;
        const ChannelFilter& filter;
    } channels[] = {{"A", profile_file::kernel_a, filters.a},
                    {"T", profile_file::kernel_t, filters.t},
                    {"D", profile_file::kernel_d, filters.d}};
    for (const auto& c : channels) {
        p.filters.push_back({c.channel, c.file, c.filter.count, c.filter.spreads, c.filter.weights,
                             c.filter.half_width, c.filter.length});
    }
    return p;
}

InputRecord make_input_record(const std::vector<InputFile>& files, int frame_count) {
    InputRecord in;
    in.frame_count = frame_count;
    in.colour_handling.clear();
    for (const InputFile& file : files) {
        in.paths.push_back(file.path);
        if (in.colour_handling.find(file.colour) == std::string::npos) {
            in.colour_handling += (in.colour_handling.empty() ? "" : "; ") + file.colour;
        }
    }
    return in;
}

std::string fixed6(double value) {
    char text[400];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    return std::string(text, end.ptr);
}

std::string threshold_text(double threshold) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, threshold);
    return std::string(text, end.ptr);
}

std::string extra_csv_header(const std::vector<double>& thresholds) {
    std::string header = "median,p95,p99";
    for (double t : thresholds) header += ",above_" + threshold_text(t);
    return header + ",max_x,max_y";
}

std::string extra_csv_fields(const FrameStatistics& s) {
    std::string fields = fixed6(s.median) + "," + fixed6(s.p95) + "," + fixed6(s.p99);
    for (double share : s.share_above) fields += "," + fixed6(share);
    return fields + "," + std::to_string(s.max_x) + "," + std::to_string(s.max_y);
}

std::string summary_csv(const RunRecord& run) {
    const PooledStatistics& p = run.pooled;
    std::string text = "figure,value\n";
    auto row = [&](const std::string& name, const std::string& value) {
        text += name + "," + value + "\n";
    };
    row("formula", std::string(formula_name(run.formula)));
    row("frames", std::to_string(p.frames));
    row("pixels", std::to_string(p.pixels));
    row("mean_of_means", fixed6(p.mean_of_means));
    row("median_of_means", fixed6(p.median_of_means));
    row("p95_of_means", fixed6(p.p95_of_means));
    row("largest_mean", fixed6(p.largest_mean));
    row("largest_mean_frame", std::to_string(p.largest_mean_frame));
    row("max", fixed6(p.max));
    row("max_frame", std::to_string(p.max_frame));
    row("max_x", std::to_string(p.max_x));
    row("max_y", std::to_string(p.max_y));
    row("median", fixed6(p.median));
    row("p95", fixed6(p.p95));
    row("p99", fixed6(p.p99));
    for (std::size_t k = 0; k < run.thresholds.size() && k < p.share_above.size(); ++k) {
        row("above_" + threshold_text(run.thresholds[k]), fixed6(p.share_above[k]));
    }
    if (run.metrics.request.any()) {
        const PooledMetrics& m = run.pooled_metrics;
        row("metrics_planes", run.metrics.format);
        for (std::size_t k = 0; k < m.columns.size() && k < m.values.size(); ++k) {
            row(m.columns[k], fixed6(m.values[k]));
        }
    }
    return text;
}

InputRecord input_record(const MediaSequence& sequence) {
    std::vector<InputFile> files;
    files.reserve(sequence.entries.size());
    for (const SequenceEntry& entry : sequence.entries) files.push_back({entry.path, entry.colour});
    return make_input_record(files, sequence.count);
}

}  // namespace orv
