#include "python/signal_arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "colour/conversions.h"

namespace py = pybind11;

namespace orv {

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
