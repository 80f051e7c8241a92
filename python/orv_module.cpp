// The compiled part of the Python package `orv`: profiles, frame pairs as numpy arrays, frame
// files, and whole sequences measured by the ordered frame loop. Every measurement runs with
// the interpreter lock released, so Python threads measure side by side.
//
// Arrays are the usual Python image layout: uint8 of shape (height, width, 3), channels red,
// green, blue, row 0 the top of the picture. Frame buffers inside are blue, green, red with the
// bottom row first; the conversion happens here, in both directions.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <string>
#include <utility>
#include <vector>

#include "colour/colour_types.h"
#include "colour/conversions.h"
#include "colour/delta_e.h"
#include "image/pixel_buffer.h"
#include "measure/display_tags.h"
#include "measure/frame_loop.h"
#include "measure/inputs.h"
#include "measure/run_pairing.h"
#include "measure/sequence_runner.h"
#include "measure/statistics.h"
#include "media/media_sequence.h"
#include "media/media_source.h"
#include "media/media_text.h"
#include "media/raw_format.h"
#include "numeric/failure.h"
#include "python/module_options.h"
#include "python/signal_arrays.h"
#include "python/viewing_keywords.h"
#include "report/run_warnings.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"

namespace py = pybind11;

namespace orv {
namespace {

using Opt = std::optional<std::string>;

// A checked profile-data folder with its finished filter set. Immutable once made, so any
// number of threads may measure with one profile at the same time.
struct LoadedProfile {
    std::string folder;
    MeasurementConditions conditions;  // CIE94; a call's formula replaces it in a copy
    DisplayKeywords display;           // as given: what the streams' tags may still choose
};

LoadedProfile load_profile(const std::string& folder, int threads, bool kernel_trace,
                           const ViewingKeywords& viewing, const DisplayKeywords& display = {}) {
    const DisplayChoice choice = display_choice(display);
    if (threads <= 0) threads = machine_threads();
    viewing.check();
    LoadedProfile profile;
    profile.folder = folder;
    py::gil_scoped_release unlocked;
    std::ostream discard(nullptr);
    profile.conditions = load_conditions(folder, threads, kernel_trace ? std::cerr : discard);
    viewing.apply(profile.conditions);  // raises without touching the interpreter
    set_display_choice(profile.conditions.colour, choice);
    profile.display = display;
    return profile;
}

// The profile's conditions with the formula a call asks for.
MeasurementConditions conditions_for(const LoadedProfile& profile, DeltaEFormula formula) {
    MeasurementConditions conditions = profile.conditions;
    conditions.formula = formula;
    return conditions;
}

// One frame pair's result: the per-pixel map (row 0 the top, or None when not kept) and the
// per-frame statistics. mean, max and min are the map's own, as orv-cli's first columns.
struct FrameDiff {
    py::object map = py::none();
    py::object reference = py::none();  // the frames' names, for frames read from files
    py::object degraded = py::none();
    double mean = 0.0;
    double max = 0.0;
    double min = 0.0;
    FrameStatistics statistics;
    std::vector<double> thresholds;
    DeltaEFormula formula = DeltaEFormula::cie94;
    py::object metrics = py::none();  // PSNR and SSIM by column, when asked for
};

// Per-frame figures computed without the interpreter lock; turned into a FrameDiff after.
struct FrameFigures {
    InterleavedImage map;
    FrameStatistics statistics;
    std::string reference;
    std::string degraded;
    std::vector<double> metrics;
};

FrameFigures measure_frames(const PixelBuffer& reference, const PixelBuffer& degraded,
                            const MeasurementConditions& conditions, const Measurement& asked,
                            const SignalFrame* reference_signal = nullptr,
                            const SignalFrame* degraded_signal = nullptr) {
    PairResult result = measure_pair(reference, degraded, conditions, asked.thresholds, false, {},
                                     reference_signal, degraded_signal);
    FrameFigures figures;
    figures.map = std::move(result.map);
    figures.statistics = std::move(result.statistics);
    return figures;
}

FrameDiff to_frame_diff(FrameFigures&& figures, bool keep_map, const Measurement& asked,
                        const MetricsPlan& plan = {}) {
    FrameDiff diff;
    if (plan.request.any()) diff.metrics = metrics_dict(metric_columns(plan), figures.metrics);
    const InterleavedImage& map = figures.map;
    diff.mean = map.mean;
    diff.max = map.max;
    diff.min = map.min;
    diff.statistics = std::move(figures.statistics);
    diff.thresholds = asked.thresholds;
    diff.formula = asked.formula;
    if (!figures.reference.empty()) {
        diff.reference = py::str(figures.reference);
        diff.degraded = py::str(figures.degraded);
    }
    if (keep_map) {
        py::array_t<double> array(
            {static_cast<py::ssize_t>(map.height), static_cast<py::ssize_t>(map.width)});
        double* out = array.mutable_data();
        const std::size_t row = static_cast<std::size_t>(map.width);
        // Stored row 0 is the bottom of the picture; the array starts with the top row.
        for (int y = 0; y < map.height; ++y) {
            std::memcpy(out + static_cast<std::size_t>(map.height - 1 - y) * row,
                        map.data.data() + static_cast<std::size_t>(y) * row, row * sizeof(double));
        }
        diff.map = std::move(array);
    }
    return diff;
}

// The figures of a frame under the names of orv-cli's table columns.
py::dict frame_stats(const FrameDiff& d) {
    const FrameStatistics& s = d.statistics;
    py::dict stats;
    stats["mean"] = d.mean;
    stats["max"] = d.max;
    stats["min"] = d.min;
    stats["median"] = s.median;
    stats["p95"] = s.p95;
    stats["p99"] = s.p99;
    for (std::size_t k = 0; k < d.thresholds.size() && k < s.share_above.size(); ++k) {
        stats[py::str(threshold_name(d.thresholds[k]))] = s.share_above[k];
    }
    stats["max_x"] = s.max_x;
    stats["max_y"] = s.max_y;
    return stats;
}

// A measured sequence: every frame's result in order and the pooled figures.
struct SequenceDiff {
    std::vector<FrameDiff> frames;
    py::dict pooled;
    py::list inputs;
    std::string pair_by;                // "position" or "time"
    std::vector<std::string> warnings;  // what may make the figures wrong, orv-cli's words
    py::list missing_frames;            // per side: frames of a damaged video not measured
    py::object metrics = py::none();    // the means of PSNR and SSIM, when asked for
};

// An open media file handing out its frames one by one.
struct MediaFile {
    MediaSource source;
};

FrameDiff diff_arrays(const py::handle& reference, const py::handle& degraded,
                      const LoadedProfile& profile, const py::object& delta_e,
                      const std::vector<double>& thresholds, const DisplayKeywords& display,
                      const SideKeywords& sides, const py::object& metrics) {
    const Measurement asked = measurement(delta_e, thresholds);
    const MetricsPlan plan = plan_metrics(metrics_request(metrics), {""}, {""});
    MeasurementConditions conditions = conditions_for(profile, asked.formula);
    choose_side_displays(conditions, profile.folder, profile.display, display, sides);
    // uint16 and float arrays are measured exactly, through their signal.
    PixelBuffer r, d;
    SignalFrame rs, ds;
    if (is_deep_array(reference)) {
        signal_from_array(reference, "reference", rs, r);
    } else {
        r = frame_from_array(reference, "reference");
    }
    if (is_deep_array(degraded)) {
        signal_from_array(degraded, "degraded", ds, d);
    } else {
        d = frame_from_array(degraded, "degraded");
    }
    if (r.width != d.width || r.height != d.height) {
        raise_failure(FailureKind::array_size_mismatch, {},
                      {std::to_string(r.width) + "x" + std::to_string(r.height),
                       std::to_string(d.width) + "x" + std::to_string(d.height)});
    }
    FrameFigures figures;
    {
        py::gil_scoped_release unlocked;
        figures = measure_frames(r, d, conditions, asked, &rs, &ds);
        const FrameMetrics m = measure_frame_metrics(plan, r, {}, "reference", d, {}, "degraded");
        figures.metrics = metric_values(plan, m);
    }
    return to_frame_diff(std::move(figures), true, asked, plan);
}

py::array_t<std::uint8_t> filter_array(const py::handle& frame, const LoadedProfile& profile) {
    const PixelBuffer source = frame_from_array(frame, "frame");
    PixelBuffer filtered = make_pixel_buffer(source.width, source.height);
    {
        py::gil_scoped_release unlocked;
        scielab_filter_frame(source, filtered, profile.conditions);
    }
    return array_from_frame(filtered);
}

MediaFile open_media_file(const std::string& path, const MediaOptions& options) {
    py::gil_scoped_release unlocked;
    return MediaFile{open_media(path, options)};
}

py::object next_media_frame(MediaFile& file) {
    PixelBuffer pixels;
    HeaderBlock header;
    bool more = false;
    {
        py::gil_scoped_release unlocked;
        more = next_frame(file.source, pixels, header);
    }
    if (!more) throw py::stop_iteration();
    return array_from_frame(pixels);
}

SequenceDiff diff_files(const std::vector<std::string>& reference,
                        const std::vector<std::string>& degraded, const LoadedProfile& profile,
                        int threads, bool keep_maps, const py::object& delta_e,
                        const std::vector<double>& thresholds, int reference_start,
                        int degraded_start, std::optional<int> frames, const MediaOptions& given,
                        const py::object& metrics, const std::string& pair_by, bool allow_damaged,
                        const SideKeywords& sides) {
    const Measurement asked = measurement(delta_e, thresholds);
    const MetricsRequest request = metrics_request(metrics);
    MediaOptions options = given;
    options.keep_planes = request.any();
    if (reference.empty() || degraded.empty()) {
        raise_failure(FailureKind::missing_inputs);
    }
    if (reference_start < 0 || degraded_start < 0 || (frames && *frames < 1)) {
        throw py::value_error("starts must be 0 or more and frames 1 or more");
    }
    if (pair_by != "position" && pair_by != "time") {
        throw py::value_error("pair_by must be 'position' or 'time', not '" + pair_by + "'");
    }
    options.allow_damaged = allow_damaged;
    PairBy pairing = PairBy::position;
    auto inputs_of = [&](const std::vector<std::string>& paths) {
        std::vector<SequenceInput> inputs;
        for (const std::string& path : paths) inputs.push_back({path, options});
        return inputs;
    };
    std::vector<FrameFigures> figures;
    RunOutcome outcome;
    MetricsPlan plan;
    RunSide reference_side;
    RunSide degraded_side;
    {
        py::gil_scoped_release unlocked;
        reference_side = open_run_side(inputs_of(reference), reference_start);
        degraded_side = open_run_side(inputs_of(degraded), degraded_start);
        pairing = run_pairing(pair_by == "time" ? PairBy::time : PairBy::position, allow_damaged,
                              reference_side, degraded_side);
        RunSettings settings;
        settings.threads = std::max(threads, 1);
        settings.frames = frames;
        settings.pair_by = pairing;
        settings.thresholds = asked.thresholds;
        settings.metrics = plan_run_metrics(request, reference_side, degraded_side);
        RunConsumer consumer;
        consumer.deliver = [&](MeasuredPair&& pair) {
            FrameFigures result;
            result.map = std::move(pair.result.map);
            if (!keep_maps) result.map.data = {};
            result.statistics = std::move(pair.result.statistics);
            result.reference = std::move(pair.reference.name);
            result.degraded = std::move(pair.degraded.name);
            result.metrics = metric_values(settings.metrics, pair.result.metrics);
            figures.push_back(std::move(result));
        };
        // Each side's tagged video chooses its display where no keyword did.
        MeasurementConditions conditions = conditions_for(profile, asked.formula);
        choose_side_displays(conditions, profile.folder, profile.display, {}, sides,
                             reference_side.media.get(), degraded_side.media.get());
        plan = settings.metrics;
        outcome = run_sequence(conditions, reference_side, degraded_side, settings, consumer);
    }
    SequenceDiff result;
    result.frames.reserve(figures.size());
    for (FrameFigures& frame : figures) {
        result.frames.push_back(to_frame_diff(std::move(frame), keep_maps, asked, plan));
    }
    result.pooled = pooled_stats(outcome.pooled, asked);
    if (request.any())
        result.metrics = metrics_dict(outcome.metrics.columns, outcome.metrics.values);
    result.pair_by = pairing_name(pairing);
    result.warnings =
        run_warnings(*reference_side.media, *degraded_side.media, pairing == PairBy::time);
    result.missing_frames.append(py::cast(missing_frames_of(*reference_side.media)));
    result.missing_frames.append(py::cast(missing_frames_of(*degraded_side.media)));
    result.inputs = describe_inputs(*reference_side.media, "reference");
    for (const py::handle input : describe_inputs(*degraded_side.media, "degraded")) {
        result.inputs.append(input);
    }
    return result;
}

}  // namespace
}  // namespace orv

PYBIND11_MODULE(_orv, m) {
    using namespace orv;
    m.doc() =
        "The compiled core of the orv package: S-CIELAB filtering and CIE94 difference maps of "
        "frames given as numpy arrays (uint8, shape (H, W, 3), RGB, row 0 the top) or as files. "
        "Use it through the package: import orv.";

    static py::exception<Failure> error(m, "Error", PyExc_Exception);
    error.doc() =
        "A refusal or failure of the measurement: an unreadable or invalid profile, frame file or "
        "frame pair. The text is the one orv-cli prints after 'orv-cli: '.";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Failure& failure) {
            PyErr_SetString(error.ptr(), failure_text(failure).c_str());
        }
    });

    py::class_<LoadedProfile, std::shared_ptr<LoadedProfile>>(
        m, "Profile",
        "A profile-data folder, read and checked once: the display-model file "
        "DISPGOG_parameter.txt, the matrix files RGBtoXYZ_mat.txt, XYZtoLMS_mat.txt and "
        "LMStoATD_mat.txt, and the kernel files kernel_L.txt, kernel_RG.txt and kernel_BY.txt, "
        "whose filters are finished as the filter dialog's OK does with the files' values.\n\n"
        "Profile(folder, threads=0, kernel_trace=False): threads sets the process's core "
        "budget, as orv-cli's --threads does (0: the machine's cores): the filter responses, "
        "the two halves of one frame pair and the frame loop's workers of diff_files share it, "
        "and the results are the same for any number; kernel_trace sends the kernel files' trace "
        "to standard error; the viewing keywords (one form) set the pixels per degree as orv-cli's "
        "options do. The keywords display ('profile', 'srgb', 'bt1886', 'pq', 'hlg'), "
        "primaries ('profile', 'bt709', 'p3d65', 'bt2020'), white_luminance, black_luminance "
        "and peak_luminance (cd/m2) are orv-cli's --display, --primaries and luminances. Raises "
        "orv.Error with orv-cli's texts. A Profile may be shared by threads.")
        .def(py::init([](const std::string& folder, int threads, bool kernel_trace,
                         std::optional<double> ppd, std::optional<double> width_cm,
                         std::optional<double> width_pixels, std::optional<double> distance_cm,
                         std::optional<double> heights, std::optional<double> height_pixels,
                         std::optional<std::string> preset,
                         const std::optional<std::string>& display,
                         const std::optional<std::string>& primaries, std::optional<double> white,
                         std::optional<double> black, std::optional<double> peak) {
                 const ViewingKeywords viewing{
                     {ppd, width_cm, width_pixels, distance_cm, heights, height_pixels, preset}};
                 return std::make_shared<LoadedProfile>(
                     load_profile(folder, threads, kernel_trace, viewing,
                                  {display, primaries, white, black, peak}));
             }),
             py::arg("folder"), py::arg("threads") = 0, py::arg("kernel_trace") = false,
             py::kw_only(), py::arg("ppd") = py::none(), py::arg("display_width_cm") = py::none(),
             py::arg("display_width_pixels") = py::none(), py::arg("distance_cm") = py::none(),
             py::arg("distance_heights") = py::none(),
             py::arg("display_height_pixels") = py::none(), py::arg("viewing") = py::none(),
             py::arg("display") = py::none(), py::arg("primaries") = py::none(),
             py::arg("white_luminance") = py::none(), py::arg("black_luminance") = py::none(),
             py::arg("peak_luminance") = py::none(),
             "Reads and checks the profile-data folder `folder`; raises orv.Error.")
        .def_property_readonly(
            "folder", [](const LoadedProfile& p) { return p.folder; },
            "The profile-data folder as given.")
        .def_property_readonly(
            "response_length", [](const LoadedProfile& p) { return p.conditions.filters.a.length; },
            "Number of elements of each finished filter response (2 * half-width + 1).")
        .def_property_readonly(
            "pixels_per_degree",
            [](const LoadedProfile& p) { return 1.0 / p.conditions.viewing.pixel_angle_degrees; },
            "Display pixels per degree of visual angle the profile measures at.")
        .def("__repr__", [](const LoadedProfile& p) {
            return "orv.Profile(" + py::repr(py::str(p.folder)).cast<std::string>() + ")";
        });

    py::class_<FrameDiff>(m, "FrameDiff",
                          "The S-CIELAB difference of one frame pair: the per-pixel map and its "
                          "per-frame statistics (percentiles are nearest-rank and exact).")
        .def_readonly("map", &FrameDiff::map,
                      "Per-pixel colour differences: float64 array of shape (H, W), row 0 the "
                      "top of the picture; None when the map was not kept.")
        .def_readonly("reference", &FrameDiff::reference,
                      "Name of the reference frame ('file' or 'file#N' for a frame of a video) "
                      "when read from files, else None.")
        .def_readonly("degraded", &FrameDiff::degraded,
                      "Name of the degraded frame when read from files, else None.")
        .def_readonly("metrics", &FrameDiff::metrics,
                      "With metrics=...: PSNR and SSIM by orv-cli's column names (psnr_y, ..., "
                      "ssim_all; r, g, b for RGB), else None.")
        .def_readonly("mean", &FrameDiff::mean, "Mean of the map.")
        .def_readonly("max", &FrameDiff::max, "Largest value of the map.")
        .def_readonly("min", &FrameDiff::min, "Smallest value of the map.")
        .def_property_readonly(
            "median", [](const FrameDiff& d) { return d.statistics.median; },
            "Median of the map (the 50th nearest-rank percentile).")
        .def_property_readonly(
            "p95", [](const FrameDiff& d) { return d.statistics.p95; },
            "95th percentile of the map (nearest rank).")
        .def_property_readonly(
            "p99", [](const FrameDiff& d) { return d.statistics.p99; },
            "99th percentile of the map (nearest rank).")
        .def_property_readonly(
            "thresholds", [](const FrameDiff& d) { return py::tuple(py::cast(d.thresholds)); },
            "The thresholds of share_above, as asked.")
        .def_property_readonly(
            "share_above",
            [](const FrameDiff& d) { return py::tuple(py::cast(d.statistics.share_above)); },
            "Per threshold, the fraction of pixels whose difference is strictly above it.")
        .def_property_readonly(
            "max_x", [](const FrameDiff& d) { return d.statistics.max_x; },
            "Column of the largest difference, from the left.")
        .def_property_readonly(
            "max_y", [](const FrameDiff& d) { return d.statistics.max_y; },
            "Row of the largest difference, from the top.")
        .def_property_readonly(
            "delta_e", [](const FrameDiff& d) { return std::string(formula_name(d.formula)); },
            "The colour-difference formula used: \"CIE94\", \"CIEDE2000\" or \"CIE76\".")
        .def_property_readonly(
            "width", [](const FrameDiff& d) { return d.statistics.width; },
            "Width of the frames in pixels.")
        .def_property_readonly(
            "height", [](const FrameDiff& d) { return d.statistics.height; },
            "Height of the frames in pixels.")
        .def("stats", &frame_stats,
             "The per-frame statistics as a dict under the names of orv-cli's table columns: "
             "mean, max, min, median, p95, p99, above_T for each threshold T, max_x, max_y.")
        .def("__repr__", [](const FrameDiff& d) {
            return "<orv.FrameDiff " + std::to_string(d.statistics.width) + "x" +
                   std::to_string(d.statistics.height) +
                   " mean=" + py::repr(py::float_(d.mean)).cast<std::string>() + ">";
        });

    m.def("keep_freed_frame_planes", &keep_freed_frame_planes,
          "keep_freed_frame_planes()\n\n"
          "Sets the process's allocator up for long runs of large frames, as orv-cli does: the "
          "planes a frame frees stay on the heap for the next frame instead of going back to "
          "the system. It changes the whole process (its memory is not returned), so the "
          "package never calls it on import; orv.corpus calls it in its workers.");
    m.def(
        "expand_sequence_paths",
        [](const std::vector<std::string>& paths) { return expand_sequence_paths(paths); },
        py::arg("paths"),
        "expand_sequence_paths(paths) -> list[str]\n\n"
        "The frame files of the paths in order, as orv-cli reads them: a directory stands for "
        "its files ending in one of IMAGE_SUFFIXES, in natural name order (frame_2 before "
        "frame_10); any other path is taken as it is. Raises orv.Error for a directory "
        "without frame files.");
    m.def("image_sequence_suffixes", &image_sequence_suffixes,
          "image_sequence_suffixes() -> list[str]\n\n"
          "The name endings (lower case) taken as frames when a directory is a sequence.");
    m.def("threshold_name", &threshold_name, py::arg("threshold"),
          "threshold_name(threshold) -> str\n\n"
          "The name of the share above `threshold` among the statistics: 'above_' and the "
          "shortest text of the number ('above_1', 'above_2.5'), as in orv-cli's columns.");
    m.def(
        "formula_name",
        [](const py::object& delta_e) {
            return std::string(formula_name(measurement(delta_e, {}).formula));
        },
        py::arg("delta_e"),
        "formula_name(delta_e) -> str\n\n"
        "The name of the formula of delta_e 94, 2000 or 76: 'CIE94', 'CIEDE2000' or 'CIE76'. "
        "Raises ValueError for other values.");
    m.def(
        "diff",
        [](const py::handle& reference, const py::handle& degraded, const LoadedProfile& profile,
           const py::object& delta_e, const std::vector<double>& thresholds,
           const std::optional<std::string>& display, const std::optional<std::string>& primaries,
           std::optional<double> white, std::optional<double> black, std::optional<double> peak,
           const py::object& metrics, const Opt& rd, const Opt& dd, const Opt& rp, const Opt& dp) {
            return diff_arrays(reference, degraded, profile, delta_e, thresholds,
                               {display, primaries, white, black, peak}, {rd, rp, dd, dp}, metrics);
        },
        py::arg("reference"), py::arg("degraded"), py::arg("profile"), py::arg("delta_e") = 94,
        py::arg("thresholds") = std::vector<double>{1.0, 2.0, 5.0}, py::kw_only(),
        py::arg("display") = py::none(), py::arg("primaries") = py::none(),
        py::arg("white_luminance") = py::none(), py::arg("black_luminance") = py::none(),
        py::arg("peak_luminance") = py::none(), py::arg("metrics") = py::none(),
        py::arg("reference_display") = py::none(), py::arg("degraded_display") = py::none(),
        py::arg("reference_primaries") = py::none(), py::arg("degraded_primaries") = py::none(),
        "diff(reference, degraded, profile, delta_e=94, thresholds=(1, 2, 5), *, display=None, "
        "primaries=None, white_luminance=None, black_luminance=None, peak_luminance=None, "
        "metrics=None, reference_display=None, degraded_display=None, reference_primaries=None, "
        "degraded_primaries=None) -> FrameDiff\n\n"
        "reference_display and the rest set one side's display or primaries alone (over display "
        "and "
        "primaries). "
        "metrics=('psnr', 'ssim') (or 'psnr,ssim') adds FrameDiff.metrics: PSNR and SSIM of "
        "the R, G, B planes as orv-cli diff --metrics measures them. "
        "display and the rest, when any is given, replace the profile's display choice for "
        "this call (as orv.Profile's keywords). delta_e may also be 'itp' (ITU-R BT.2124). "
        "The S-CIELAB colour difference of one frame pair, exactly as orv-cli diff measures "
        "it. reference and degraded are numpy arrays of shape (H, W, 3), RGB, row 0 the "
        "top (any strides): uint8, or uint16 (values / 65535) and float (values in [0, 1]) "
        "measured exactly; profile is an orv.Profile. delta_e chooses the per-pixel formula "
        "(94: CIE94, 2000: CIEDE2000, 76: CIE76; the reference is the first argument); "
        "thresholds are the levels of the shares of pixels above them. The interpreter lock is "
        "released while measuring. "
        "Raises orv.Error (profile files, frames of different sizes), TypeError and "
        "ValueError (arrays of the wrong type or shape).");
    m.def("filter", &filter_array, py::arg("frame"), py::arg("profile"),
          "filter(frame, profile) -> numpy.ndarray\n\n"
          "The S-CIELAB-filtered version of one frame, as orv-cli filter writes it: uint8 "
          "(H, W, 3), RGB, row 0 the top, like the input. The interpreter lock is released "
          "while filtering.");
    py::class_<MediaFile>(m, "MediaFile",
                          "An open frame file: BMP (ORV's own reader), image, video or raw file "
                          "(FFmpeg's libraries). Iterating yields its frames in presentation "
                          "order as uint8 (H, W, 3) RGB arrays, row 0 the top.")
        .def(py::init([](const std::string& path, const std::optional<std::string>& matrix,
                         const std::optional<std::string>& range,
                         const std::optional<std::string>& size,
                         const std::optional<std::string>& pix_fmt,
                         const std::optional<std::string>& fps) {
                 return open_media_file(path, media_options(matrix, range, size, pix_fmt, fps));
             }),
             py::arg("path"), py::kw_only(), py::arg("matrix") = py::none(),
             py::arg("range") = py::none(), py::arg("size") = py::none(),
             py::arg("pix_fmt") = py::none(), py::arg("fps") = py::none(),
             "MediaFile(path, *, matrix=None, range=None, size=None, pix_fmt=None, fps=None): "
             "opens and counts the frames of `path`. matrix ('bt601', 'bt709', 'bt2020') and "
             "range ('limited', 'full') override a YUV stream's own; size ('WxH'), pix_fmt "
             "(e.g. 'yuv420p') and fps describe a raw .yuv/.rgb/.raw file. Raises orv.Error "
             "with orv-cli's texts.")
        .def_property_readonly(
            "path", [](const MediaFile& f) { return f.source.path; }, "The file.")
        .def_property_readonly(
            "frame_count", [](const MediaFile& f) { return f.source.frame_count; },
            "Frames the file holds.")
        .def_property_readonly(
            "colour", [](const MediaFile& f) { return f.source.colour; },
            "How the file's pixels become 24-bit RGB (empty for BMP files).")
        .def(
            "__iter__", [](MediaFile& f) -> MediaFile& { return f; },
            "The file itself: its frames are read once, in order.")
        .def("__next__", &next_media_frame,
             "The next frame as uint8 (H, W, 3), RGB, row 0 the top; StopIteration after the "
             "last.");

    py::class_<SequenceDiff>(m, "SequenceDiff",
                             "Two sequences measured pair by pair: frames and pooled figures.")
        .def_readonly("frames", &SequenceDiff::frames, "The FrameDiff of every pair, in order.")
        .def_readonly("pooled", &SequenceDiff::pooled,
                      "The pooled figures under the names of orv-cli's summary: delta_e, "
                      "frames, pixels, mean_of_means, median_of_means, p95_of_means, "
                      "largest_mean, largest_mean_frame, max, max_frame, max_x, max_y, median, "
                      "p95, p99 and above_T for each threshold T (over every pixel).")
        .def_readonly("metrics", &SequenceDiff::metrics,
                      "With metrics=...: the mean over frames of each PSNR and SSIM column "
                      "(an identical plane counted as orv-cli's summary does), else None.")
        .def_readonly("inputs", &SequenceDiff::inputs,
                      "One dict per file (role, path, frames, colour): what was read and how "
                      "its pixels became RGB.")
        .def_readonly("pair_by", &SequenceDiff::pair_by,
                      "How the frames were paired: 'position' or 'time'.")
        .def_readonly("warnings", &SequenceDiff::warnings,
                      "What may make the figures wrong, in orv-cli's words: frames of a damaged "
                      "video that do not decode, inputs of different lengths.")
        .def_readonly("missing_frames", &SequenceDiff::missing_frames,
                      "[reference, degraded]: the frames of a damaged video (allow_damaged) not "
                      "measured, numbered in the whole sequence.");

    m.def(
        "diff_files",
        [](const std::vector<std::string>& reference, const std::vector<std::string>& degraded,
           const LoadedProfile& profile, int threads, bool keep_maps, const py::object& delta_e,
           const std::vector<double>& thresholds, int reference_start, int degraded_start,
           std::optional<int> frames, const std::optional<std::string>& matrix,
           const std::optional<std::string>& range, const std::optional<std::string>& size,
           const std::optional<std::string>& pix_fmt, const std::optional<std::string>& fps,
           const py::object& metrics, const std::string& pair_by, bool allow_damaged, const Opt& rd,
           const Opt& dd, const Opt& rp, const Opt& dp) {
            return diff_files(reference, degraded, profile, threads, keep_maps, delta_e, thresholds,
                              reference_start, degraded_start, frames,
                              media_options(matrix, range, size, pix_fmt, fps), metrics, pair_by,
                              allow_damaged, {rd, rp, dd, dp});
        },
        py::arg("reference"), py::arg("degraded"), py::arg("profile"), py::arg("threads") = 1,
        py::arg("keep_maps") = false, py::arg("delta_e") = 94,
        py::arg("thresholds") = std::vector<double>{1.0, 2.0, 5.0}, py::kw_only(),
        py::arg("reference_start") = 0, py::arg("degraded_start") = 0,
        py::arg("frames") = py::none(), py::arg("matrix") = py::none(),
        py::arg("range") = py::none(), py::arg("size") = py::none(),
        py::arg("pix_fmt") = py::none(), py::arg("fps") = py::none(),
        py::arg("metrics") = py::none(), py::arg("pair_by") = "position",
        py::arg("allow_damaged") = false, py::arg("reference_display") = py::none(),
        py::arg("degraded_display") = py::none(), py::arg("reference_primaries") = py::none(),
        py::arg("degraded_primaries") = py::none(),
        "diff_files(reference, degraded, profile, threads=1, keep_maps=False, delta_e=94, "
        "thresholds=(1, 2, 5), *, reference_start=0, degraded_start=0, frames=None, matrix=None, "
        "range=None, size=None, pix_fmt=None, fps=None, metrics=None, pair_by='position', "
        "allow_damaged=False, reference_display=None, degraded_display=None, "
        "reference_primaries=None, degraded_primaries=None) -> SequenceDiff\n\n"
        "Each side's tagged video chooses its display where no keyword did; "
        "reference_display and the rest set one side's display or primaries alone (over display "
        "and "
        "primaries). "
        "metrics=('psnr', 'ssim') measures PSNR and SSIM as orv-cli diff --metrics does "
        "(FrameDiff.metrics, SequenceDiff.metrics: the means). "
        "Measures two sequences of frame files pair by pair as orv-cli diff does (the shorter "
        "sequence repeats its last frame) with the ordered frame loop on `threads` threads, "
        "the interpreter lock released for the whole run, and pools the figures. Maps are "
        "kept only with keep_maps. Each path is any file the media layer reads (a video gives "
        "all its frames); reference_start and degraded_start skip frames at the start, frames "
        "limits the pairs, and the media options are MediaFile's, for both sequences. "
        "Each FrameDiff names its two frames ('file' or 'file#N'); inputs describes the files "
        "and how their pixels became RGB. pair_by='time' pairs each reference frame with the "
        "degraded frame on screen at its time (one video on each side); allow_damaged measures "
        "a damaged video's frames that decode (paired by time) instead of refusing it, and "
        "warnings and missing_frames say what was left out. The first failing frame raises "
        "orv.Error.");
}
