#pragma once
// The spectrum side of the S-CIELAB filter shared by the pipeline's plane filters: the
// response bin of every frequency, and the filtering of one real plane through a
// real-input transform.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "numeric/arrays.h"
#include "scielab/pipeline.h"
#include "scielab/viewing_geometry.h"

namespace orv {

// The response bin of every frequency of a W x H spectrum in the transform's natural order
// (index p of a row holds frequency p, or p - W from ceil(W/2) on). The frequency terms are
// formed once per row and column exactly as the per-sample formula forms them, so every bin
// is the one the centred loop computes.
struct RadialBins {
    int width;
    int height;
    double n_a;
    double sample_angle;
    std::vector<double> fx2;
    std::vector<double> fy2;

    RadialBins(int w, int h, int response_length, double angle, double pixel_angle)
        : width(w),
          height(h),
          n_a(response_length),
          sample_angle(angle),
          fx2(static_cast<std::size_t>(w)),
          fy2(static_cast<std::size_t>(h)) {
        const double theta = pixel_angle;
        for (int p = 0; p < w; ++p) {
            const int u = p < w - w / 2 ? p : p - w;
            const double fx = u / (w * theta);
            fx2[static_cast<std::size_t>(p)] = fx * fx;
        }
        for (int q = 0; q < h; ++q) {
            const int v = q < h - h / 2 ? q : q - h;
            const double fy = v / (h * theta);
            fy2[static_cast<std::size_t>(q)] = fy * fy;
        }
    }

    // The bins of one spectrum row (frequency term fy2_row), for every p: r * n_a * angle *
    // frequency_to_bin in that order, plus 0.5, truncated. A loop of its own so that the
    // square roots and conversions run four at a time; the bins are small and non-negative,
    // so the 32-bit truncation gives the same integer as the 64-bit one.
    void row(double fy2_row, std::int32_t* out) const {
        const double* f = fx2.data();
        for (int p = 0; p < width; ++p) {
            const double r = std::sqrt(f[p] + fy2_row);
            out[p] =
                static_cast<std::int32_t>(r * n_a * sample_angle * viewing::frequency_to_bin + 0.5);
        }
    }
};

// Filters the real plane `plane` (rows of `bins.width` values, row y at y * width) by the
// response, in place: the rows transformed two at a time as one complex row, the columns of
// the half spectrum (frequencies 0 .. width / 2) transformed, weighted and transformed back,
// then the rows. The plane's block must hold height * (2 * (width / 2 + 1)) doubles: the half
// spectrum is laid out in it row by row (real parts, then imaginary parts).
void filter_real_plane(double* plane, const RadialBins& bins, const double* response);

// Doubles the block of filter_real_plane needs for a plane of width x height.
inline std::size_t real_plane_block(int width, int height) {
    return static_cast<std::size_t>(height) * (2 * static_cast<std::size_t>(width / 2 + 1));
}

}  // namespace orv
