#include "measure/plane_metrics.h"

#include <cmath>
#include <limits>

namespace orv {

namespace {

template <class View>
const auto* row_of(const View& p, int y) {
    return p.data + static_cast<std::ptrdiff_t>(y) * p.row_step;
}

template <class View>
double mse_of(const View& a, const View& b) {
    std::int64_t sum = 0;
    for (int y = 0; y < a.height; ++y) {
        const auto* pa = row_of(a, y);
        const auto* pb = row_of(b, y);
        std::int64_t row = 0;
        for (int x = 0; x < a.width; ++x) {
            const std::int64_t d = static_cast<std::int64_t>(pa[x * a.sample_step]) -
                                   static_cast<std::int64_t>(pb[x * b.sample_step]);
            row += d * d;
        }
        sum += row;
    }
    const double count = static_cast<double>(a.width) * a.height;
    return count > 0 ? static_cast<double>(sum) / count : 0.0;
}

// Sums of one 4 x 4 block: both planes' samples, their squares together, their products.
struct BlockSums {
    std::int64_t a = 0, b = 0, squares = 0, products = 0;
};

template <class View>
BlockSums block_sums(const View& a, const View& b, int x0, int y0) {
    BlockSums s;
    for (int y = y0; y < y0 + 4; ++y) {
        const auto* pa = row_of(a, y);
        const auto* pb = row_of(b, y);
        for (int x = x0; x < x0 + 4; ++x) {
            const std::int64_t p = pa[x * a.sample_step], q = pb[x * b.sample_step];
            s.a += p;
            s.b += q;
            s.squares += p * p + q * q;
            s.products += p * q;
        }
    }
    return s;
}

// SSIM of one 8 x 8 window from its sums over 64 samples; the constants (0.01·peak)² and
// (0.03·peak)² scaled to sums of 64 samples.
double window_ssim(double s1, double s2, double ss, double s12, double peak) {
    const double c1 = 0.01 * 0.01 * peak * peak * 64;
    const double c2 = 0.03 * 0.03 * peak * peak * 64 * 63;
    const double variances = ss * 64 - s1 * s1 - s2 * s2;
    const double covariance = s12 * 64 - s1 * s2;
    return (2 * s1 * s2 + c1) * (2 * covariance + c2) /
           ((s1 * s1 + s2 * s2 + c1) * (variances + c2));
}

template <class View>
double ssim_of(const View& a, const View& b, double peak) {
    const int bw = a.width / 4, bh = a.height / 4;  // whole 4 x 4 blocks
    if (bw < 2 || bh < 2) return 1.0;
    // Two rows of block sums at a time: each window takes two blocks of two rows.
    std::vector<BlockSums> upper(static_cast<std::size_t>(bw)), lower(upper.size());
    for (int x = 0; x < bw; ++x) upper[static_cast<std::size_t>(x)] = block_sums(a, b, 4 * x, 0);
    double total = 0.0;
    for (int y = 0; y + 1 < bh; ++y) {
        for (int x = 0; x < bw; ++x) {
            lower[static_cast<std::size_t>(x)] = block_sums(a, b, 4 * x, 4 * (y + 1));
        }
        for (int x = 0; x + 1 < bw; ++x) {
            const auto k = static_cast<std::size_t>(x);
            const BlockSums* parts[4] = {&upper[k], &upper[k + 1], &lower[k], &lower[k + 1]};
            BlockSums w;
            for (const BlockSums* s : parts) {
                w.a += s->a;
                w.b += s->b;
                w.squares += s->squares;
                w.products += s->products;
            }
            total +=
                window_ssim(static_cast<double>(w.a), static_cast<double>(w.b),
                            static_cast<double>(w.squares), static_cast<double>(w.products), peak);
        }
        std::swap(upper, lower);
    }
    return total / (static_cast<double>(bw - 1) * (bh - 1));
}

template <class View>
PlaneMetrics metrics_of(const std::vector<View>& a, const std::vector<View>& b,
                        const std::vector<std::string>& names, double peak, MetricChoice choice) {
    PlaneMetrics m;
    m.names = names;
    double weighted_mse = 0.0, weighted_ssim = 0.0, pixels = 0.0;
    for (std::size_t c = 0; c < a.size(); ++c) {
        const double count = static_cast<double>(a[c].width) * a[c].height;
        pixels += count;
        if (choice.psnr) {
            const double mse = mse_of(a[c], b[c]);
            m.psnr.push_back(psnr_of_mse(mse, peak));
            weighted_mse += mse * count;
        }
        if (choice.ssim) {
            const double ssim = ssim_of(a[c], b[c], peak);
            m.ssim.push_back(ssim);
            weighted_ssim += ssim * count;
        }
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    m.psnr_avg = !choice.psnr ? nan : psnr_of_mse(pixels > 0 ? weighted_mse / pixels : 0.0, peak);
    m.ssim_all = !choice.ssim ? nan : pixels > 0 ? weighted_ssim / pixels : 1.0;
    return m;
}

}  // namespace

double plane_mse(const PlaneView& a, const PlaneView& b) { return mse_of(a, b); }
double plane_mse(const WidePlaneView& a, const WidePlaneView& b) { return mse_of(a, b); }

double psnr_of_mse(double mse, double peak) {
    if (mse <= 0.0) return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(peak * peak / mse);
}

double plane_ssim(const PlaneView& a, const PlaneView& b) { return ssim_of(a, b, 255.0); }
double plane_ssim(const WidePlaneView& a, const WidePlaneView& b, double peak) {
    return ssim_of(a, b, peak);
}

double depth_peak(int depth) { return static_cast<double>((1 << depth) - 1); }

PlaneMetrics plane_metrics(const std::vector<PlaneView>& a, const std::vector<PlaneView>& b,
                           const std::vector<std::string>& names) {
    return metrics_of(a, b, names, 255.0, MetricChoice{});
}

PlaneMetrics plane_metrics(const std::vector<PlaneView>& a, const std::vector<PlaneView>& b,
                           const std::vector<std::string>& names, MetricChoice choice) {
    return metrics_of(a, b, names, 255.0, choice);
}

PlaneMetrics plane_metrics(const std::vector<WidePlaneView>& a, const std::vector<WidePlaneView>& b,
                           const std::vector<std::string>& names, int depth, MetricChoice choice) {
    return metrics_of(a, b, names, depth_peak(depth), choice);
}

std::vector<PlaneView> rgb_planes(const PixelBuffer& frame) {
    std::vector<PlaneView> planes;
    const std::uint8_t* top =
        frame.bytes.data() + static_cast<std::ptrdiff_t>(frame.height - 1) * frame.stride;
    for (int channel : {2, 1, 0}) {  // red, green, blue in a BGR buffer
        planes.push_back({top + channel, frame.width, frame.height, 3, -frame.stride});
    }
    return planes;
}

PlaneMetrics rgb_metrics(const PixelBuffer& reference, const PixelBuffer& degraded) {
    return plane_metrics(rgb_planes(reference), rgb_planes(degraded), {"r", "g", "b"});
}

}  // namespace orv
