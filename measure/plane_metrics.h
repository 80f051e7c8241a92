#pragma once
// PSNR and SSIM of decoded picture planes, computed the way the usual video tools report
// them beside perceptual measures: PSNR from each plane's mean squared error, SSIM on 8 x 8
// windows stepped by 4 pixels (sums of 4 x 4 blocks), plane figures combined weighted by
// their pixel counts. 8-bit samples, or 9 to 16 bits with the peak (1 << depth) - 1.
// Toolkit-free.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"

namespace orv {

// One plane of 8-bit samples: sample (x, y) at data[y * row_step + x * sample_step], y = 0
// the top row (row_step may be negative for bottom-up buffers).
struct PlaneView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t sample_step = 1;
    std::ptrdiff_t row_step = 0;
};

// One plane of samples of up to 16 bits, laid out as a PlaneView.
struct WidePlaneView {
    const std::uint16_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t sample_step = 1;
    std::ptrdiff_t row_step = 0;
};

// The mean squared error of two planes of the same size.
double plane_mse(const PlaneView& a, const PlaneView& b);
double plane_mse(const WidePlaneView& a, const WidePlaneView& b);
// 10 log10(peak² / mse); infinite for identical planes.
double psnr_of_mse(double mse, double peak = 255.0);
// The mean SSIM of the 8 x 8 windows at every fourth pixel of two planes of the same size
// (1 for planes too small to hold one window); `peak` sets the stabilising constants.
double plane_ssim(const PlaneView& a, const PlaneView& b);
double plane_ssim(const WidePlaneView& a, const WidePlaneView& b, double peak);

// The largest sample of `depth` bits: (1 << depth) - 1.
double depth_peak(int depth);

// Per-frame figures of planes named in order (y, u, v or r, g, b).
struct PlaneMetrics {
    std::vector<std::string> names;
    std::vector<double> psnr;  // per plane
    std::vector<double> ssim;  // per plane
    double psnr_avg = 0.0;     // from the pixel-count-weighted mean of the planes' MSE
    double ssim_all = 0.0;     // pixel-count-weighted mean of the planes' SSIM
};

PlaneMetrics plane_metrics(const std::vector<PlaneView>& a, const std::vector<PlaneView>& b,
                           const std::vector<std::string>& names);

// Which figures to compute; those left out stay empty (psnr_avg, ssim_all NaN).
struct MetricChoice {
    bool psnr = true;
    bool ssim = true;
};
PlaneMetrics plane_metrics(const std::vector<PlaneView>& a, const std::vector<PlaneView>& b,
                           const std::vector<std::string>& names, MetricChoice choice);
// Planes of `depth` bits (the peak of PSNR and SSIM (1 << depth) - 1).
PlaneMetrics plane_metrics(const std::vector<WidePlaneView>& a, const std::vector<WidePlaneView>& b,
                           const std::vector<std::string>& names, int depth, MetricChoice choice);

// The R, G and B planes of a 24-bit frame (rows bottom-up in memory, top row first here).
std::vector<PlaneView> rgb_planes(const PixelBuffer& frame);
// PSNR and SSIM of the R, G and B planes of two frames of the same size.
PlaneMetrics rgb_metrics(const PixelBuffer& reference, const PixelBuffer& degraded);

}  // namespace orv
