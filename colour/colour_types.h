#pragma once
// Shared colour records: display model, 3x3 matrices, planar and interleaved images.

#include <array>
#include <vector>

#include "image/spill_memory.h"

namespace orv {

struct GogChannel {
    double gain = 0.0;
    double offset = 0.0;
    double gamma = 0.0;
};

// Nine values in file order: red gain, offset, gamma; green ...; blue ...
struct GogParameters {
    GogChannel red;
    GogChannel green;
    GogChannel blue;
};

// Row-major 3x3, applied to column vectors: y_r = m[3r] x0 + m[3r+1] x1 + m[3r+2] x2.
using Matrix3 = std::array<double, 9>;

// The fixed CIELAB reference white.
constexpr std::array<double, 3> display_white = {95.7336, 100.4817, 110.3641};

// Three planes of doubles; value of row y, column x at y * width + x; row 0 is the first
// stored row of the frame (the bottom of the picture).
struct PlanarImage {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::array<std::vector<double>, 3> planes;
};

// Channels of a pixel side by side: channel k of (x, y) at (y * width + x) * channels + k.
// mean, max and min are set for difference images only. An empty `data` means "no result".
// `data` is heap memory unless moved into a temporary file (image/spill_memory.h).
struct InterleavedImage {
    int width = 0;
    int height = 0;
    int channels = 0;
    SpillVector<double> data;
    double mean = 0.0;
    double max = 0.0;
    double min = 0.0;
};

}  // namespace orv
