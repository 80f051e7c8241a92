#include "measure/bjontegaard.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "numeric/number_text.h"

namespace orv {

namespace {

int sign_of(double v) { return v > 0.0 ? 1 : (v < 0.0 ? -1 : 0); }

// The end slope from the first two intervals (widths h0, h1, secants m0, m1), limited so that
// the piece keeps the data's shape.
double end_slope(double h0, double h1, double m0, double m1) {
    double d = ((2.0 * h0 + h1) * m0 - h0 * m1) / (h0 + h1);
    if (sign_of(d) != sign_of(m0)) {
        d = 0.0;
    } else if (sign_of(m0) != sign_of(m1) && std::abs(d) > 3.0 * std::abs(m0)) {
        d = 3.0 * m0;
    }
    return d;
}

// The integral over t in [0, t] of the Hermite basis on the unit interval, per basis function.
double piece_antiderivative(double t, double y0, double y1, double hd0, double hd1) {
    const double t2 = t * t, t3 = t2 * t, t4 = t3 * t;
    return y0 * (t4 / 2.0 - t3 + t) + hd0 * (t4 / 4.0 - 2.0 * t3 / 3.0 + t2 / 2.0) +
           y1 * (-t4 / 2.0 + t3) + hd1 * (t4 / 4.0 - t3 / 3.0);
}

struct Curve {
    std::vector<double> x, y, slopes;
};

// The curve sorted along x; empty warning when it can be interpolated.
std::string make_curve(std::vector<std::pair<double, double>> points, const char* which,
                       Curve& curve) {
    if (points.size() < bd_min_points) {
        return std::string(which) + " curve has " + std::to_string(points.size()) +
               " points; at least " + std::to_string(bd_min_points) + " are needed";
    }
    std::sort(points.begin(), points.end());
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!std::isfinite(points[i].first) || !std::isfinite(points[i].second)) {
            return std::string(which) + " curve has a value that is not a finite number";
        }
        if (i > 0 && points[i].first == points[i - 1].first) {
            return std::string(which) + " curve has two points at " +
                   fixed_text(points[i].first, 6) + "; the values along it must differ";
        }
        curve.x.push_back(points[i].first);
        curve.y.push_back(points[i].second);
    }
    curve.slopes = pchip_slopes(curve.x, curve.y);
    return {};
}

// The mean of test - anchor over the overlap of their x ranges.
BdValue mean_difference(std::vector<std::pair<double, double>> anchor,
                        std::vector<std::pair<double, double>> test) {
    Curve a, t;
    BdValue result;
    result.warning = make_curve(std::move(anchor), "the anchor", a);
    if (result.warning.empty()) result.warning = make_curve(std::move(test), "the test", t);
    if (!result.warning.empty()) return result;
    const double low = std::max(a.x.front(), t.x.front());
    const double high = std::min(a.x.back(), t.x.back());
    if (!(high > low)) {
        result.warning = "the curves do not overlap";
        return result;
    }
    const double difference = pchip_integral(t.x, t.y, t.slopes, low, high) -
                              pchip_integral(a.x, a.y, a.slopes, low, high);
    result.value = difference / (high - low);
    return result;
}

}  // namespace

std::vector<double> pchip_slopes(const std::vector<double>& x, const std::vector<double>& y) {
    const std::size_t n = x.size();
    std::vector<double> d(n, 0.0);
    if (n < 2) return d;
    std::vector<double> h(n - 1), m(n - 1);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        h[k] = x[k + 1] - x[k];
        m[k] = (y[k + 1] - y[k]) / h[k];
    }
    if (n == 2) {
        d[0] = d[1] = m[0];
        return d;
    }
    for (std::size_t k = 1; k + 1 < n; ++k) {
        if (m[k - 1] == 0.0 || m[k] == 0.0 || sign_of(m[k - 1]) != sign_of(m[k])) continue;
        const double w1 = 2.0 * h[k] + h[k - 1];
        const double w2 = h[k] + 2.0 * h[k - 1];
        d[k] = (w1 + w2) / (w1 / m[k - 1] + w2 / m[k]);
    }
    d[0] = end_slope(h[0], h[1], m[0], m[1]);
    d[n - 1] = end_slope(h[n - 2], h[n - 3], m[n - 2], m[n - 3]);
    return d;
}

double pchip_integral(const std::vector<double>& x, const std::vector<double>& y,
                      const std::vector<double>& slopes, double a, double b) {
    double sum = 0.0;
    for (std::size_t k = 0; k + 1 < x.size(); ++k) {
        const double lo = std::max(a, x[k]);
        const double hi = std::min(b, x[k + 1]);
        if (!(hi > lo)) continue;
        const double h = x[k + 1] - x[k];
        const double t0 = (lo - x[k]) / h, t1 = (hi - x[k]) / h;
        const double hd0 = h * slopes[k], hd1 = h * slopes[k + 1];
        sum += h * (piece_antiderivative(t1, y[k], y[k + 1], hd0, hd1) -
                    piece_antiderivative(t0, y[k], y[k + 1], hd0, hd1));
    }
    return sum;
}

BdValue bd_rate_percent(const std::vector<RatePoint>& anchor, const std::vector<RatePoint>& test) {
    auto along_quality = [](const std::vector<RatePoint>& curve) {
        std::vector<std::pair<double, double>> points;
        for (const RatePoint& p : curve) {
            points.emplace_back(p.quality, p.bitrate > 0.0 ? std::log10(p.bitrate) : NAN);
        }
        return points;
    };
    BdValue result = mean_difference(along_quality(anchor), along_quality(test));
    if (result.value) result.value = (std::pow(10.0, *result.value) - 1.0) * 100.0;
    return result;
}

BdValue bd_quality_delta(const std::vector<RatePoint>& anchor, const std::vector<RatePoint>& test) {
    auto along_rate = [](const std::vector<RatePoint>& curve) {
        std::vector<std::pair<double, double>> points;
        for (const RatePoint& p : curve) {
            points.emplace_back(p.bitrate > 0.0 ? std::log10(p.bitrate) : NAN, p.quality);
        }
        return points;
    };
    return mean_difference(along_rate(anchor), along_rate(test));
}

}  // namespace orv
