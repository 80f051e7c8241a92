#pragma once
// A frame's non-linear signal values kept exact beside its 24-bit pixels: for inputs of more
// than 8 bits, red, green and blue of every pixel as doubles in [0, 1], rows bottom-up as in
// a PixelBuffer. An empty frame means "none": the 24-bit pixels are the signal.

#include <cstddef>
#include <vector>

namespace orv {

struct SignalFrame {
    int width = 0;
    int height = 0;
    std::vector<double> rgb;  // pixel (x, y) at 3 * (y * width + x): red, green, blue

    bool present() const { return !rgb.empty(); }
    const double* row(int y) const {
        return rgb.data() + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
};

inline SignalFrame make_signal_frame(int width, int height) {
    SignalFrame f;
    f.width = width;
    f.height = height;
    f.rgb.assign(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0.0);
    return f;
}

}  // namespace orv
