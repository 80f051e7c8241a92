#pragma once
// The Bjøntegaard delta between two rate-quality curves: how many percent more or fewer bits
// the test curve needs than the anchor for the same quality (BD-rate), and how much better or
// worse its quality is at the same rate (BD-quality). Each curve is interpolated piecewise by
// cubic Hermite pieces with shape-preserving slopes (PCHIP) and integrated exactly over the
// overlap of the two curves' ranges. Toolkit-free; the one place this is computed.

#include <optional>
#include <string>
#include <vector>

namespace orv {

struct RatePoint {
    double bitrate = 0.0;  // bits per second, > 0
    double quality = 0.0;  // ΔE (lower is better), PSNR (higher is better), ...
};

// One delta, or why there is none (too few points, no overlap, repeated values).
struct BdValue {
    std::optional<double> value;
    std::string warning;  // English, empty when value is set
};

// The slopes of the shape-preserving piecewise cubic Hermite interpolant through (x, y),
// x strictly increasing: interior points the weighted harmonic mean of the neighbouring
// secants (0 where they differ in sign or one is 0), end points the one-sided three-point
// estimate limited to keep the shape. Two points give the secant at both ends.
std::vector<double> pchip_slopes(const std::vector<double>& x, const std::vector<double>& y);

// The exact integral of that interpolant from a to b, x[0] <= a <= b <= x.back().
double pchip_integral(const std::vector<double>& x, const std::vector<double>& y,
                      const std::vector<double>& slopes, double a, double b);

// The fewest points a curve needs for a delta.
constexpr std::size_t bd_min_points = 4;

// BD-rate in percent: log10(bitrate) interpolated over quality; negative: the test needs
// fewer bits for the same quality.
BdValue bd_rate_percent(const std::vector<RatePoint>& anchor, const std::vector<RatePoint>& test);
// BD-quality: quality interpolated over log10(bitrate); the mean of test - anchor over the
// overlap.
BdValue bd_quality_delta(const std::vector<RatePoint>& anchor, const std::vector<RatePoint>& test);

}  // namespace orv
