// The compiled part of the Python package `orv`: profiles, frame pairs as numpy arrays, frame
// files, and whole sequences measured by the ordered frame loop. Every measurement runs with
// the interpreter lock released, so Python threads measure side by side.
//
// Arrays are the usual Python image layout: uint8 of shape (height, width, 3), channels red,
// green, blue, row 0 the top of the picture. Frame buffers inside are blue, green, red with the
// bottom row first; the conversion happens here, in both directions.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <iostream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "colour/colour_types.h"
#include "colour/conversions.h"
#include "image/pixel_buffer.h"
#include "measure/frame_loop.h"
#include "measure/inputs.h"
#include "numeric/failure.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"

namespace py = pybind11;

namespace orv {
namespace {

// A checked profile-data folder with its finished filter set. Immutable once made, so any
// number of threads may measure with one profile at the same time.
struct LoadedProfile {
    std::string folder;
    AtdFilters filters;
};

LoadedProfile load_profile(const std::string& folder, int threads, bool kernel_trace) {
    if (threads <= 0) threads = machine_threads();
    LoadedProfile profile;
    profile.folder = folder;
    py::gil_scoped_release unlocked;
    std::ostream discard(nullptr);
    profile.filters = load_atd_filters(folder, threads, kernel_trace ? std::cerr : discard);
    return profile;
}

// The difference formulas the measurement knows; others are refused before any work.
void check_delta_e(int delta_e) {
    if (delta_e != 94) {
        throw py::value_error("delta_e must be 94 (CIE94); got " + std::to_string(delta_e));
    }
}

// One frame pair's result: the per-pixel map (row 0 the top, or None when not kept) and the
// per-frame statistics. Statistics beyond mean, max and min join here as the reports layer
// provides them.
struct FrameDiff {
    py::object map = py::none();
    double mean = 0.0;
    double max = 0.0;
    double min = 0.0;
    int width = 0;
    int height = 0;
};

// Per-frame figures computed without the interpreter lock; turned into a FrameDiff after.
struct FrameFigures {
    InterleavedImage map;
};

FrameDiff to_frame_diff(FrameFigures&& figures, bool keep_map) {
    FrameDiff diff;
    const InterleavedImage& map = figures.map;
    diff.mean = map.mean;
    diff.max = map.max;
    diff.min = map.min;
    diff.width = map.width;
    diff.height = map.height;
    if (keep_map) {
        py::array_t<double> array({static_cast<py::ssize_t>(map.height),
                                   static_cast<py::ssize_t>(map.width)});
        double* out = array.mutable_data();
        const std::size_t row = static_cast<std::size_t>(map.width);
        // Stored row 0 is the bottom of the picture; the array starts with the top row.
        for (int y = 0; y < map.height; ++y) {
            std::memcpy(out + static_cast<std::size_t>(map.height - 1 - y) * row,
                        map.data.data() + static_cast<std::size_t>(y) * row,
                        row * sizeof(double));
        }
        diff.map = std::move(array);
    }
    return diff;
}

// Copies an RGB (height, width, 3) uint8 array of any strides into a frame buffer.
PixelBuffer frame_from_array(const py::handle& object, const char* what) {
    if (!py::isinstance<py::array>(object)) {
        throw py::type_error(std::string(what) + " must be a numpy array of uint8, shape (H, W, 3)");
    }
    const py::array array = py::reinterpret_borrow<py::array>(object);
    if (!array.dtype().is(py::dtype::of<std::uint8_t>())) {
        throw py::type_error(std::string(what) + " must have dtype uint8, not " +
                             std::string(py::str(array.dtype())));
    }
    if (array.ndim() != 3 || array.shape(2) != 3) {
        throw py::value_error(std::string(what) + " must have shape (H, W, 3), not " +
                              std::string(py::str(py::tuple(py::cast(std::vector<py::ssize_t>(
                                  array.shape(), array.shape() + array.ndim()))))));
    }
    const py::ssize_t height = array.shape(0);
    const py::ssize_t width = array.shape(1);
    if (height < 1 || width < 1 || height > max_frame_side || width > max_frame_side) {
        throw py::value_error(std::string(what) + " must be 1 to " +
                              std::to_string(max_frame_side) + " pixels wide and high");
    }
    PixelBuffer frame = make_pixel_buffer(static_cast<int>(width), static_cast<int>(height));
    const auto* base = static_cast<const std::uint8_t*>(array.data());
    const py::ssize_t sy = array.strides(0), sx = array.strides(1), sc = array.strides(2);
    for (py::ssize_t y = 0; y < height; ++y) {
        std::uint8_t* out = frame.bytes.data() +
                            static_cast<std::size_t>(height - 1 - y) *
                                static_cast<std::size_t>(frame.stride);
        const std::uint8_t* in = base + y * sy;
        for (py::ssize_t x = 0; x < width; ++x, in += sx, out += 3) {
            out[0] = in[2 * sc];
            out[1] = in[sc];
            out[2] = in[0];
        }
    }
    return frame;
}

py::array_t<std::uint8_t> array_from_frame(const PixelBuffer& frame) {
    py::array_t<std::uint8_t> array({static_cast<py::ssize_t>(frame.height),
                                     static_cast<py::ssize_t>(frame.width), py::ssize_t{3}});
    std::uint8_t* out = array.mutable_data();
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* in = frame.bytes.data() +
                                 static_cast<std::size_t>(frame.height - 1 - y) *
                                     static_cast<std::size_t>(frame.stride);
        for (int x = 0; x < frame.width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    return array;
}

FrameDiff diff_arrays(const py::handle& reference, const py::handle& degraded,
                      const LoadedProfile& profile, int delta_e, const std::vector<double>& thresholds) {
    check_delta_e(delta_e);
    (void)thresholds;  // the shares above the thresholds come with the reports layer
    const PixelBuffer r = frame_from_array(reference, "reference");
    const PixelBuffer d = frame_from_array(degraded, "degraded");
    if (r.width != d.width || r.height != d.height) {
        throw Failure{"reference is " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                      " but degraded is " + std::to_string(d.width) + "x" +
                      std::to_string(d.height) + "; the frames of a pair must have the same size"};
    }
    FrameFigures figures;
    {
        py::gil_scoped_release unlocked;
        PixelBuffer grey = make_pixel_buffer(r.width, r.height);
        make_difference_image(r, d, grey, kernel_sample_angle, profile.filters, profile.folder,
                              figures.map);
    }
    return to_frame_diff(std::move(figures), true);
}

py::array_t<std::uint8_t> filter_array(const py::handle& frame, const LoadedProfile& profile) {
    const PixelBuffer source = frame_from_array(frame, "frame");
    PixelBuffer filtered = make_pixel_buffer(source.width, source.height);
    {
        py::gil_scoped_release unlocked;
        scielab_filter_frame(source, filtered, profile.filters.a, profile.filters.t,
                             profile.filters.d, kernel_sample_angle, profile.folder);
    }
    return array_from_frame(filtered);
}

py::array_t<std::uint8_t> read_frame_array(const std::string& path) {
    FrameFile frame;
    {
        py::gil_scoped_release unlocked;
        frame = read_frame_file(path);
    }
    return array_from_frame(frame.pixels);
}

std::vector<FrameDiff> diff_files(const std::vector<std::string>& reference,
                                  const std::vector<std::string>& degraded,
                                  const LoadedProfile& profile, int threads, bool keep_maps,
                                  int delta_e, const std::vector<double>& thresholds) {
    check_delta_e(delta_e);
    (void)thresholds;
    if (reference.empty() || degraded.empty()) {
        throw Failure{"both a reference and a degraded sequence are needed"};
    }
    const int reference_count = static_cast<int>(reference.size());
    const int degraded_count = static_cast<int>(degraded.size());
    const int count = std::max(reference_count, degraded_count);
    std::vector<FrameFigures> frames(static_cast<std::size_t>(count));
    {
        py::gil_scoped_release unlocked;
        // A sequence shorter than the other repeats its last frame.
        auto work = [&](int i) {
            const std::string& r = reference[static_cast<std::size_t>(std::min(i, reference_count - 1))];
            const std::string& d = degraded[static_cast<std::size_t>(std::min(i, degraded_count - 1))];
            const FrameFile rf = read_frame_file(r);
            const FrameFile df = read_frame_file(d);
            check_pair_size(i, r, rf.pixels, d, df.pixels);
            FrameFigures figures;
            PixelBuffer grey = make_pixel_buffer(rf.pixels.width, rf.pixels.height);
            make_difference_image(rf.pixels, df.pixels, grey, kernel_sample_angle,
                                  profile.filters, profile.folder, figures.map);
            if (!keep_maps) figures.map.data = {};
            return figures;
        };
        auto deliver = [&](int i, FrameFigures&& figures) {
            frames[static_cast<std::size_t>(i)] = std::move(figures);
        };
        run_ordered_frames<FrameFigures>(count, std::max(threads, 1), work, deliver);
    }
    std::vector<FrameDiff> result;
    result.reserve(frames.size());
    for (FrameFigures& figures : frames) result.push_back(to_frame_diff(std::move(figures), keep_maps));
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
            PyErr_SetString(error.ptr(), failure.message.c_str());
        }
    });

    py::class_<LoadedProfile, std::shared_ptr<LoadedProfile>>(
        m, "Profile",
        "A profile-data folder, read and checked once: the display-model file "
        "DISPGOG_parameter.txt, the matrix files RGBtoXYZ_mat.txt, XYZtoLMS_mat.txt and "
        "LMStoATD_mat.txt, and the kernel files kernel_L.txt, kernel_RG.txt and kernel_BY.txt, "
        "whose filters are finished as the filter dialog's OK does with the files' values.\n\n"
        "Profile(folder, threads=0, kernel_trace=False): threads limits the threads used to "
        "compute the filter responses (0: the machine's cores; the result is the same for any "
        "number); kernel_trace sends the kernel files' trace to standard error. Raises "
        "orv.Error with orv-cli's texts. The measurement still reads the display-model and "
        "matrix files for every frame, as orv-cli does. A Profile may be shared by threads.")
        .def(py::init([](const std::string& folder, int threads, bool kernel_trace) {
                 return std::make_shared<LoadedProfile>(load_profile(folder, threads, kernel_trace));
             }),
             py::arg("folder"), py::arg("threads") = 0, py::arg("kernel_trace") = false,
             "Reads and checks the profile-data folder `folder`; raises orv.Error.")
        .def_property_readonly(
            "folder", [](const LoadedProfile& p) { return p.folder; },
            "The profile-data folder as given.")
        .def_property_readonly(
            "response_length", [](const LoadedProfile& p) { return p.filters.a.length; },
            "Number of elements of each finished filter response (2 * half-width + 1).")
        .def("__repr__", [](const LoadedProfile& p) { return "orv.Profile(" + py::repr(py::str(p.folder)).cast<std::string>() + ")"; });

    py::class_<FrameDiff>(m, "FrameDiff",
                          "The S-CIELAB difference of one frame pair: the per-pixel CIE94 map "
                          "and its per-frame statistics.")
        .def_readonly("map", &FrameDiff::map,
                      "Per-pixel colour differences: float64 array of shape (H, W), row 0 the "
                      "top of the picture; None when the map was not kept.")
        .def_readonly("mean", &FrameDiff::mean, "Mean of the map.")
        .def_readonly("max", &FrameDiff::max, "Largest value of the map.")
        .def_readonly("min", &FrameDiff::min, "Smallest value of the map.")
        .def_readonly("width", &FrameDiff::width, "Width of the frames in pixels.")
        .def_readonly("height", &FrameDiff::height, "Height of the frames in pixels.")
        .def(
            "stats",
            [](const FrameDiff& d) {
                py::dict stats;
                stats["mean"] = d.mean;
                stats["max"] = d.max;
                stats["min"] = d.min;
                return stats;
            },
            "The per-frame statistics as a dict of plain numbers (no map).")
        .def("__repr__", [](const FrameDiff& d) {
            return "<orv.FrameDiff " + std::to_string(d.width) + "x" + std::to_string(d.height) +
                   " mean=" + py::repr(py::float_(d.mean)).cast<std::string>() + ">";
        });

    m.def("diff", &diff_arrays, py::arg("reference"), py::arg("degraded"), py::arg("profile"),
          py::arg("delta_e") = 94, py::arg("thresholds") = std::vector<double>{1.0, 2.0, 5.0},
          "diff(reference, degraded, profile, delta_e=94, thresholds=(1, 2, 5)) -> FrameDiff\n\n"
          "The S-CIELAB colour difference of one frame pair, exactly as orv-cli diff measures "
          "it. reference and degraded are numpy uint8 arrays of shape (H, W, 3), RGB, row 0 the "
          "top (any strides); profile is an orv.Profile. delta_e chooses the per-pixel formula "
          "(94: CIE94 with the reference as first argument); thresholds are the levels for the "
          "shares of pixels above them. The interpreter lock is released while measuring. "
          "Raises orv.Error (profile files, frames of different sizes), TypeError and "
          "ValueError (arrays of the wrong type or shape).");
    m.def("filter", &filter_array, py::arg("frame"), py::arg("profile"),
          "filter(frame, profile) -> numpy.ndarray\n\n"
          "The S-CIELAB-filtered version of one frame, as orv-cli filter writes it: uint8 "
          "(H, W, 3), RGB, row 0 the top, like the input. The interpreter lock is released "
          "while filtering.");
    m.def("read_frame", &read_frame_array, py::arg("path"),
          "read_frame(path) -> numpy.ndarray\n\n"
          "One frame file as uint8 (H, W, 3), RGB, row 0 the top. Raises orv.Error with "
          "orv-cli's texts.");
    m.def("diff_files", &diff_files, py::arg("reference"), py::arg("degraded"), py::arg("profile"),
          py::arg("threads") = 1, py::arg("keep_maps") = false, py::arg("delta_e") = 94,
          py::arg("thresholds") = std::vector<double>{1.0, 2.0, 5.0},
          "diff_files(reference, degraded, profile, threads=1, keep_maps=False, delta_e=94, "
          "thresholds=(1, 2, 5)) -> list of FrameDiff\n\n"
          "Measures two sequences of frame files pair by pair as orv-cli diff does (the shorter "
          "sequence repeats its last frame) with the ordered frame loop on `threads` threads, "
          "the interpreter lock released for the whole run. Maps are kept only with keep_maps. "
          "The first failing frame raises orv.Error.");
}
