#include "python/module_options.h"

#include <charconv>
#include <cmath>

#include "numeric/failure.h"
#include "numeric/number_text.h"

namespace orv {

DisplayChoice display_choice(const DisplayKeywords& k) {
    DisplayChoice c;
    if (k.display) {
        const auto t = transfer_from_text(*k.display);
        if (!t) raise_failure(FailureKind::display_text, {}, {*k.display});
        c.transfer = *t;
    }
    if (k.primaries) {
        const auto p = primaries_from_text(*k.primaries);
        if (!p) raise_failure(FailureKind::primaries_text, {}, {*k.primaries});
        c.primaries = *p;
    }
    c.white_luminance = k.white_luminance;
    c.black_luminance = k.black_luminance;
    c.peak_luminance = k.peak_luminance;
    check_display_choice(c);
    return c;
}

void choose_side_displays(MeasurementConditions& conditions, const std::string& folder,
                          const DisplayKeywords& profile, const DisplayKeywords& call,
                          const SideKeywords& sides, const MediaSequence* reference,
                          const MediaSequence* degraded) {
    const DisplayChoice given = call.given() ? display_choice(call) : conditions.colour.display;
    const bool transfer_given = profile.display || call.display;
    const bool primaries_given = profile.primaries || call.primaries;
    const auto side = [&](const std::optional<std::string>& display,
                          const std::optional<std::string>& primaries,
                          const MediaSequence* sequence) {
        SideDisplayOptions own;
        own.transfer = display ? display_choice({display, {}, {}, {}, {}}).transfer
                               : std::optional<DisplayTransfer>();
        own.primaries = primaries ? display_choice({{}, primaries, {}, {}, {}}).primaries
                                  : std::optional<DisplayPrimaries>();
        return sequence ? side_display(given, transfer_given, primaries_given, own, *sequence)
                        : with_side_options(given, own);
    };
    const DisplayChoice r = side(sides.reference_display, sides.reference_primaries, reference);
    const DisplayChoice d = side(sides.degraded_display, sides.degraded_primaries, degraded);
    if (!call.given() && same_display(r, given) && same_display(d, given)) return;
    // The profile's colour model afresh, with each side's display.
    conditions.colour = read_colour_model(folder);
    set_side_displays(conditions, r, d);
}

Measurement measurement(const py::object& delta_e, const std::vector<double>& thresholds) {
    std::optional<DeltaEFormula> formula;
    if (py::isinstance<py::str>(delta_e)) {
        formula = formula_from_option(delta_e.cast<std::string>());
    } else if (py::isinstance<py::int_>(delta_e)) {
        formula = formula_from_option(std::to_string(delta_e.cast<long long>()));
    }
    if (!formula) {
        throw py::value_error(
            "delta_e must be 94 (CIE94), 2000 (CIEDE2000), 76 (CIE76) or 'itp' (ITP), not " +
            py::repr(delta_e).cast<std::string>());
    }
    for (double t : thresholds) {
        if (!std::isfinite(t) || t < 0.0) {
            throw py::value_error("thresholds must be finite numbers, 0 or more");
        }
    }
    return {*formula, thresholds};
}

std::string threshold_name(double threshold) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, threshold);
    return "above_" + std::string(text, end.ptr);
}

MediaOptions media_options(const std::optional<std::string>& matrix,
                           const std::optional<std::string>& range,
                           const std::optional<std::string>& size,
                           const std::optional<std::string>& pix_fmt,
                           const std::optional<std::string>& fps) {
    MediaText text;
    // A value given is checked even when empty, so that "" is refused as orv-cli refuses it.
    const auto take = [](const std::optional<std::string>& value, std::string& field,
                         std::string (*error)(const std::string&)) {
        if (!value) return;
        const std::string why = error(*value);
        if (!why.empty()) throw py::value_error(why);
        field = *value;
    };
    take(matrix, text.matrix, matrix_text_error);
    take(range, text.range, range_text_error);
    take(size, text.size, size_text_error);
    take(pix_fmt, text.pixel_format, pixel_format_text_error);
    take(fps, text.fps, fps_text_error);
    return parse_media_text(text);
}

MetricsRequest metrics_request(const py::object& metrics) {
    if (metrics.is_none()) return {};
    if (py::isinstance<py::str>(metrics)) return parse_metrics(metrics.cast<std::string>());
    std::string names;
    for (const py::handle name : metrics) {
        names += (names.empty() ? "" : ",") + py::str(name).cast<std::string>();
    }
    return names.empty() ? MetricsRequest{} : parse_metrics(names);
}

py::dict metrics_dict(const std::vector<std::string>& columns, const std::vector<double>& values) {
    py::dict figures;
    for (std::size_t k = 0; k < columns.size() && k < values.size(); ++k) {
        figures[py::str(columns[k])] = values[k];
    }
    return figures;
}

// The pooled figures under the names of orv-cli's summary.
py::dict pooled_stats(const PooledStatistics& p, const Measurement& asked) {
    py::dict stats;
    stats["delta_e"] = std::string(formula_name(asked.formula));
    stats["frames"] = p.frames;
    stats["pixels"] = p.pixels;
    stats["mean_of_means"] = p.mean_of_means;
    stats["median_of_means"] = p.median_of_means;
    stats["p95_of_means"] = p.p95_of_means;
    stats["largest_mean"] = p.largest_mean;
    stats["largest_mean_frame"] = p.largest_mean_frame;
    stats["max"] = p.max;
    stats["max_frame"] = p.max_frame;
    stats["max_x"] = p.max_x;
    stats["max_y"] = p.max_y;
    stats["median"] = p.median;
    stats["p95"] = p.p95;
    stats["p99"] = p.p99;
    for (std::size_t k = 0; k < asked.thresholds.size() && k < p.share_above.size(); ++k) {
        stats[py::str(threshold_name(asked.thresholds[k]))] = p.share_above[k];
    }
    return stats;
}

// One dict per file of a sequence: role, path, frames and colour handling.
py::list describe_inputs(const MediaSequence& sequence, const char* role) {
    py::list inputs;
    for (const SequenceEntry& entry : sequence.entries) {
        py::dict input;
        input["role"] = role;
        input["path"] = entry.path;
        input["frames"] = entry.frame_count;
        input["colour"] = entry.colour;
        inputs.append(input);
    }
    return inputs;
}

}  // namespace orv
