#include "scielab/real_plane_filter.h"

#include <algorithm>

#include "numeric/fft.h"

namespace orv {

namespace {

// Row pairs transformed side by side per batch.
constexpr int batch_pairs = 32;

}  // namespace

// The spectrum Z of the complex row x + i y (rows 2j and 2j + 1; a last odd row pairs with
// zeros) carries X(k) = (Z(k) + conj Z(-k)) / 2 and Y(k) = (Z(k) - conj Z(-k)) / 2i, and a
// real row's spectrum is determined by its frequencies 0 .. width / 2. So the half spectrum
// of every row fits in the plane's own block, one slot of 2 * half values per row. Rows are
// read into the batch before any slot over them is written: going up the plane on the way
// in (slot y starts at or after row y) and down on the way out.
void filter_real_plane(double* plane, const RadialBins& bins, const double* response) {
    const int w = bins.width;
    const int h = bins.height;
    const int half = w / 2 + 1;
    const auto slot = static_cast<std::ptrdiff_t>(2 * half);
    const auto width = static_cast<std::size_t>(w);
    const int pairs = (h + 1) / 2;
    std::vector<double> zre(batch_pairs * width);
    std::vector<double> zim(batch_pairs * width);
    const auto row = [&](int y) { return plane + static_cast<std::size_t>(y) * width; };
    const auto slot_re = [&](int y) { return plane + static_cast<std::ptrdiff_t>(y) * slot; };

    for (int last = pairs; last > 0; last -= batch_pairs) {
        const int first = std::max(0, last - batch_pairs);
        for (int j = first; j < last; ++j) {
            const std::size_t at = static_cast<std::size_t>(j - first) * width;
            std::copy_n(row(2 * j), width, zre.data() + at);
            if (2 * j + 1 < h) {
                std::copy_n(row(2 * j + 1), width, zim.data() + at);
            } else {
                std::fill_n(zim.data() + at, width, 0.0);
            }
        }
        fft_lines(zre.data(), zim.data(), 1, w, last - first, w, 1);
        for (int j = first; j < last; ++j) {
            const double* zr = zre.data() + static_cast<std::size_t>(j - first) * width;
            const double* zi = zim.data() + static_cast<std::size_t>(j - first) * width;
            double* even = slot_re(2 * j);
            double* odd = 2 * j + 1 < h ? slot_re(2 * j + 1) : nullptr;
            for (int k = 0; k < half; ++k) {
                const int k2 = k == 0 ? 0 : w - k;
                const double a = zr[k], b = zi[k], c = zr[k2], d = zi[k2];
                even[k] = 0.5 * (a + c);
                even[half + k] = 0.5 * (b - d);
                if (odd != nullptr) {
                    odd[k] = 0.5 * (b + d);
                    odd[half + k] = 0.5 * (c - a);
                }
            }
        }
    }

    fft_lines(plane, plane + half, 1, h, half, 1, slot);
    std::vector<std::int32_t> bin_row(width);
    for (int q = 0; q < h; ++q) {
        bins.row(bins.fy2[static_cast<std::size_t>(q)], bin_row.data());
        double* re = slot_re(q);
        double* im = re + half;
        for (int k = 0; k < half; ++k) {
            const double weight = response[bin_row[static_cast<std::size_t>(k)]];
            re[k] *= weight;
            im[k] *= weight;
        }
    }
    fft_lines(plane, plane + half, -1, h, half, 1, slot);

    for (int first = 0; first < pairs; first += batch_pairs) {
        const int last = std::min(pairs, first + batch_pairs);
        for (int j = first; j < last; ++j) {
            double* zr = zre.data() + static_cast<std::size_t>(j - first) * width;
            double* zi = zim.data() + static_cast<std::size_t>(j - first) * width;
            const double* even = slot_re(2 * j);
            const double* odd = 2 * j + 1 < h ? slot_re(2 * j + 1) : nullptr;
            // Z = X + i Y, with X(-k) = conj X(k) and Y(-k) = conj Y(k) above half.
            for (int k = 0; k < half; ++k) {
                const double yr = odd != nullptr ? odd[k] : 0.0;
                const double yi = odd != nullptr ? odd[half + k] : 0.0;
                zr[k] = even[k] - yi;
                zi[k] = even[half + k] + yr;
            }
            for (int k = half; k < w; ++k) {
                const int m = w - k;
                const double yr = odd != nullptr ? odd[m] : 0.0;
                const double yi = odd != nullptr ? odd[half + m] : 0.0;
                zr[k] = even[m] + yi;
                zi[k] = yr - even[half + m];
            }
        }
        fft_lines(zre.data(), zim.data(), -1, w, last - first, w, 1);
        for (int j = first; j < last; ++j) {
            const std::size_t at = static_cast<std::size_t>(j - first) * width;
            std::copy_n(zre.data() + at, width, row(2 * j));
            if (2 * j + 1 < h) std::copy_n(zim.data() + at, width, row(2 * j + 1));
        }
    }
}

}  // namespace orv
