#include "report/json_record.h"

#include <cmath>

#include "report/metrics_record.h"
#include "scielab/pipeline.h"
#include "scielab/viewing_geometry.h"

namespace orv {

namespace {

using json = nlohmann::ordered_json;

json number(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

json numbers(const std::vector<double>& values) {
    json array = json::array();
    for (double v : values) array.push_back(number(v));
    return array;
}

json matrix(const Matrix3& m) {
    json rows = json::array();
    for (int r = 0; r < 3; ++r) {
        rows.push_back({number(m[3 * r]), number(m[3 * r + 1]), number(m[3 * r + 2])});
    }
    return rows;
}

json gog(const GogChannel& c) {
    return {{"gain", number(c.gain)}, {"offset", number(c.offset)}, {"gamma", number(c.gamma)}};
}

json shares(const std::vector<double>& thresholds, const std::vector<double>& values) {
    json array = json::array();
    for (std::size_t k = 0; k < thresholds.size() && k < values.size(); ++k) {
        array.push_back({{"threshold", number(thresholds[k])}, {"share", number(values[k])}});
    }
    return array;
}

json display_json(const DisplayChoice& display, const Matrix3& rgb_to_xyz) {
    return {{"transfer", std::string(transfer_name(display.transfer))},
            {"primaries", std::string(primaries_name(display.primaries))},
            {"white_cd_per_m2", number(white_luminance(display))},
            {"black_cd_per_m2", number(black_luminance(display))},
            {"peak_cd_per_m2", number(peak_luminance(display))},
            {"RGBtoXYZ", matrix(rgb_to_xyz)}};
}

json profile_json(const ProfileRecord& p) {
    json filters = json::array();
    for (const FilterRecord& f : p.filters) {
        filters.push_back({{"channel", f.channel},
                           {"file", f.file},
                           {"count", f.count},
                           {"spreads", numbers(f.spreads)},
                           {"weights", numbers(f.weights)},
                           {"half_width", f.half_width},
                           {"length", f.length}});
    }
    const double pixel_angle = p.viewing.pixel_angle_degrees;
    // The fixed geometry's figures describe the default angle only; an angle the user gave
    // is described by its figures and where it came from.
    json viewing_geometry = json::object();
    if (p.viewing.source == "default") {
        viewing_geometry = {{"display_width_pixels", viewing::display_width_pixels},
                            {"display_height_pixels", viewing::display_height_pixels},
                            {"display_diagonal", viewing::display_diagonal},
                            {"distance_factor", viewing::distance_factor}};
    }
    viewing_geometry["frequency_to_bin"] = viewing::frequency_to_bin;
    viewing_geometry["pixel_angle_degrees"] = number(pixel_angle);
    viewing_geometry["pixels_per_degree"] = number(1.0 / pixel_angle);
    viewing_geometry["source"] = p.viewing.source;
    json profile = {{"folder", p.folder},
                    {"display_model",
                     {{"red", gog(p.display_model.red)},
                      {"green", gog(p.display_model.green)},
                      {"blue", gog(p.display_model.blue)}}},
                    {"matrices",
                     {{"RGBtoXYZ", matrix(p.rgb_to_xyz)},
                      {"XYZtoLMS", matrix(p.xyz_to_lms)},
                      {"LMStoATD", matrix(p.lms_to_atd)}}},
                    {"filters", filters},
                    {"kernel_sample_angle", number(p.kernel_sample_angle)},
                    {"viewing_geometry", viewing_geometry},
                    {"display", display_json(p.display, p.display_rgb_to_xyz)}};
    // Only where the sides differ: "display" is then the reference's.
    if (p.degraded_display) {
        profile["degraded_display"] =
            display_json(*p.degraded_display, p.degraded_display_rgb_to_xyz);
    }
    return profile;
}

json input_json(const InputRecord& in) {
    return {{"paths", in.paths},
            {"frame_width", in.frame_width},
            {"frame_height", in.frame_height},
            {"frame_count", in.frame_count},
            {"colour_handling", in.colour_handling},
            {"missing_frames", in.missing_frames}};
}

json frame_json(const FrameRecord& f, const std::vector<double>& thresholds) {
    const FrameStatistics& s = f.statistics;
    return {{"frame", f.frame},
            {"reference", f.reference},
            {"degraded", f.degraded},
            {"width", s.width},
            {"height", s.height},
            {"mean", number(s.mean)},
            {"max", number(s.max)},
            {"min", number(s.min)},
            {"median", number(s.median)},
            {"p95", number(s.p95)},
            {"p99", number(s.p99)},
            {"above", shares(thresholds, s.share_above)},
            {"max_position", {{"x", s.max_x}, {"y", s.max_y}}}};
}

json pooled_json(const PooledStatistics& p, const std::vector<double>& thresholds) {
    return {
        {"frames", p.frames},
        {"pixels", p.pixels},
        {"mean_of_means", number(p.mean_of_means)},
        {"median_of_means", number(p.median_of_means)},
        {"p95_of_means", number(p.p95_of_means)},
        {"largest_mean", {{"value", number(p.largest_mean)}, {"frame", p.largest_mean_frame}}},
        {"max", {{"value", number(p.max)}, {"frame", p.max_frame}, {"x", p.max_x}, {"y", p.max_y}}},
        {"median", number(p.median)},
        {"p95", number(p.p95)},
        {"p99", number(p.p99)},
        {"above", shares(thresholds, p.share_above)}};
}

}  // namespace

json run_json(const RunRecord& run) {
    json frames = json::array();
    for (const FrameRecord& f : run.frames) frames.push_back(frame_json(f, run.thresholds));
    json record = {
        {"schema_version", json_schema_version},
        {"orv_version", std::string(orv_version())},
        {"command_line", run.command_line},
        {"profile", profile_json(run.profile)},
        {"inputs",
         {{"reference", input_json(run.reference)}, {"degraded", input_json(run.degraded)}}},
        {"formula", std::string(formula_name(run.formula))},
        {"thresholds", numbers(run.thresholds)},
        {"frames", frames},
        {"pooled", pooled_json(run.pooled, run.thresholds)},
        {"pair_by", run.pair_by},
        {"warnings", run.warnings}};
    if (run.metrics.request.any()) record["metrics"] = metrics_json(run);
    return record;
}

std::string run_json_text(const RunRecord& run) {
    // Invalid UTF-8 in a path is replaced rather than refused.
    return run_json(run).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace orv
