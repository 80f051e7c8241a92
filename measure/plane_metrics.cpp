#include "measure/plane_metrics.h"

#include <cmath>
#include <limits>

namespace orv {

namespace {

std::uint8_t sample(const PlaneView& p, int x, int y) {
    return p.data[static_cast<std::ptrdiff_t>(y) * p.row_step +
                  static_cast<std::ptrdiff_t>(x) * p.sample_step];
}

// Sums of one 4 x 4 block: both planes' samples, their squares together, their products.
struct BlockSums {
    std::int64_t a = 0, b = 0, squares = 0, products = 0;
};

BlockSums block_sums(const PlaneView& a, const PlaneView& b, int x0, int y0) {
    BlockSums s;
    for (int y = y0; y < y0 + 4; ++y) {
        for (int x = x0; x < x0 + 4; ++x) {
            const std::int64_t p = sample(a, x, y), q = sample(b, x, y);
            s.a += p;
            s.b += q;
            s.squares += p * p + q * q;
            s.products += p * q;
        }
    }
    return s;
}

// SSIM of one 8 x 8 window from its sums over 64 samples; the constants (0.01·255)² and
// (0.03·255)² scaled to sums of 64 samples.
double window_ssim(double s1, double s2, double ss, double s12) {
    const double c1 = 0.01 * 0.01 * 255 * 255 * 64;
    const double c2 = 0.03 * 0.03 * 255 * 255 * 64 * 63;
    const double variances = ss * 64 - s1 * s1 - s2 * s2;
    const double covariance = s12 * 64 - s1 * s2;
    return (2 * s1 * s2 + c1) * (2 * covariance + c2) /
           ((s1 * s1 + s2 * s2 + c1) * (variances + c2));
}

}  // namespace

double plane_mse(const PlaneView& a, const PlaneView& b) {
    std::int64_t sum = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const int d = static_cast<int>(sample(a, x, y)) - static_cast<int>(sample(b, x, y));
            sum += d * d;
        }
    }
    const double count = static_cast<double>(a.width) * a.height;
    return count > 0 ? static_cast<double>(sum) / count : 0.0;
}

double psnr_of_mse(double mse) {
    if (mse <= 0.0) return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

double plane_ssim(const PlaneView& a, const PlaneView& b) {
    const int bw = a.width / 4, bh = a.height / 4;  // whole 4 x 4 blocks
    if (bw < 2 || bh < 2) return 1.0;
    std::vector<BlockSums> blocks(static_cast<std::size_t>(bw) * bh);
    for (int y = 0; y < bh; ++y) {
        for (int x = 0; x < bw; ++x) {
            blocks[static_cast<std::size_t>(y) * bw + x] = block_sums(a, b, 4 * x, 4 * y);
        }
    }
    double total = 0.0;
    for (int y = 0; y + 1 < bh; ++y) {
        for (int x = 0; x + 1 < bw; ++x) {
            BlockSums w;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const BlockSums& s = blocks[static_cast<std::size_t>(y + dy) * bw + x + dx];
                    w.a += s.a;
                    w.b += s.b;
                    w.squares += s.squares;
                    w.products += s.products;
                }
            }
            total += window_ssim(static_cast<double>(w.a), static_cast<double>(w.b),
                                 static_cast<double>(w.squares), static_cast<double>(w.products));
        }
    }
    return total / (static_cast<double>(bw - 1) * (bh - 1));
}

PlaneMetrics plane_metrics(const std::vector<PlaneView>& a, const std::vector<PlaneView>& b,
                           const std::vector<std::string>& names) {
    PlaneMetrics m;
    m.names = names;
    double weighted_mse = 0.0, weighted_ssim = 0.0, pixels = 0.0;
    for (std::size_t c = 0; c < a.size(); ++c) {
        const double mse = plane_mse(a[c], b[c]);
        const double ssim = plane_ssim(a[c], b[c]);
        const double count = static_cast<double>(a[c].width) * a[c].height;
        m.psnr.push_back(psnr_of_mse(mse));
        m.ssim.push_back(ssim);
        weighted_mse += mse * count;
        weighted_ssim += ssim * count;
        pixels += count;
    }
    m.psnr_avg = psnr_of_mse(pixels > 0 ? weighted_mse / pixels : 0.0);
    m.ssim_all = pixels > 0 ? weighted_ssim / pixels : 1.0;
    return m;
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
