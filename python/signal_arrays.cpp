#include "python/signal_arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <pybind11/stl.h>
#include <string>

#include "colour/conversions.h"

namespace py = pybind11;

namespace orv {

// Copies an RGB (height, width, 3) uint8 array of any strides into a frame buffer.
PixelBuffer frame_from_array(const py::handle& object, const char* what) {
    if (!py::isinstance<py::array>(object)) {
        throw py::type_error(std::string(what) +
                             " must be a numpy array of uint8, shape (H, W, 3)");
    }
    const py::array array = py::reinterpret_borrow<py::array>(object);
    if (!array.dtype().is(py::dtype::of<std::uint8_t>())) {
        throw py::type_error(std::string(what) + " must have dtype uint8 (or uint16, float), not " +
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
        std::uint8_t* out = frame.bytes.data() + static_cast<std::size_t>(height - 1 - y) *
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
        const std::uint8_t* in =
            frame.bytes.data() +
            static_cast<std::size_t>(frame.height - 1 - y) * static_cast<std::size_t>(frame.stride);
        for (int x = 0; x < frame.width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    return array;
}

bool is_deep_array(const py::handle& object) {
    if (!py::isinstance<py::array>(object)) return false;
    const py::dtype type = py::reinterpret_borrow<py::array>(object).dtype();
    return type.is(py::dtype::of<std::uint16_t>()) || type.is(py::dtype::of<float>()) ||
           type.is(py::dtype::of<double>());
}

void signal_from_array(const py::handle& object, const char* what, SignalFrame& signal,
                       PixelBuffer& frame) {
    const py::array original = py::reinterpret_borrow<py::array>(object);
    const bool words = original.dtype().is(py::dtype::of<std::uint16_t>());
    if (original.ndim() != 3 || original.shape(2) != 3) {
        throw py::value_error(std::string(what) + " must have shape (H, W, 3)");
    }
    const py::ssize_t height = original.shape(0);
    const py::ssize_t width = original.shape(1);
    if (height < 1 || width < 1 || height > max_frame_side || width > max_frame_side) {
        throw py::value_error(std::string(what) + " must be 1 to " +
                              std::to_string(max_frame_side) + " pixels wide and high");
    }
    // As doubles in C order, whatever the strides.
    const auto values = py::array_t<double, py::array::c_style | py::array::forcecast>(original);
    const double* in = values.data();
    const double scale = words ? 1.0 / 65535.0 : 1.0;
    signal = make_signal_frame(static_cast<int>(width), static_cast<int>(height));
    frame = make_pixel_buffer(static_cast<int>(width), static_cast<int>(height));
    for (py::ssize_t y = 0; y < height; ++y) {
        const std::size_t bottom_up = static_cast<std::size_t>(height - 1 - y);
        double* out = signal.rgb.data() + 3 * bottom_up * static_cast<std::size_t>(width);
        std::uint8_t* bytes =
            frame.bytes.data() + bottom_up * static_cast<std::size_t>(frame.stride);
        for (py::ssize_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double v = *in++ * scale;
                if (!std::isfinite(v)) {
                    throw py::value_error(std::string(what) + " must hold finite values");
                }
                const double clipped = std::clamp(v, 0.0, 1.0);
                out[3 * x + c] = clipped;
                bytes[3 * x + 2 - c] = static_cast<std::uint8_t>(std::lround(clipped * 255.0));
            }
        }
    }
}

}  // namespace orv
