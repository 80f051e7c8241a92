#include "numeric/dft.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "numeric/fft.h"

namespace orv {

namespace {

// Twelve-digit angle constant, deliberately not the full-precision 2 pi.
constexpr double two_pi_12 = 6.28318530718;

// Outputs k in [first, last) of the direct transform, each summed over j in index order.
void dft_outputs(const double* re, const double* im, double s, int n, int first, int last,
                 double* t_re, double* t_im) {
    for (int k = first; k < last; ++k) {
        double acc_re = re[0];
        double acc_im = im[0];
        for (int j = 1; j < n; ++j) {
            const double theta = static_cast<double>(j) * static_cast<double>(k) * two_pi_12 / n;
            const double c = std::cos(theta);
            const double sn = std::sin(theta);
            acc_re += c * re[j] + s * sn * im[j];
            acc_im += c * im[j] - s * sn * re[j];
        }
        t_re[k] = acc_re;
        t_im[k] = acc_im;
    }
}

// Below this many terms (n * n) the transform stays on the calling thread.
constexpr long long parallel_terms = 1 << 18;

std::atomic<int> thread_limit{0};

}  // namespace

void dft_1d(double* re, double* im, int sign, int n) {
    if (n <= 0) return;
    const double s = static_cast<double>(sign);
    std::vector<double> t_re(static_cast<std::size_t>(n));
    std::vector<double> t_im(static_cast<std::size_t>(n));
    // Every output is an independent sum in a fixed order, so splitting the outputs between
    // threads gives exactly the bytes of one thread. Long transforms (a filter's response of
    // over a thousand taps costs millions of sines and cosines) use the machine's cores.
    const int limit = thread_limit.load(std::memory_order_relaxed);
    const unsigned cores = limit > 0 ? static_cast<unsigned>(limit)
                                     : std::max(1u, std::thread::hardware_concurrency());
    const int parts = static_cast<long long>(n) * n < parallel_terms
                          ? 1
                          : static_cast<int>(std::min<long long>(cores, n));
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(parts - 1));
    int first = 0;
    // A helper that cannot be started (no memory, no thread to spare) ends the transform: the
    // helpers already running finish their outputs and are joined, then the failure travels
    // on to the caller.
    try {
        for (int part = 1; part < parts; ++part) {
            const int last = static_cast<int>(static_cast<long long>(n) * part / parts);
            helpers.emplace_back(dft_outputs, re, im, s, n, first, last, t_re.data(), t_im.data());
            first = last;
        }
    } catch (...) {
        for (std::thread& helper : helpers) helper.join();
        throw;
    }
    dft_outputs(re, im, s, n, first, n, t_re.data(), t_im.data());
    for (std::thread& helper : helpers) helper.join();

    const double scale = 1.0 / (sign == 1 ? static_cast<double>(n) : 1.0);
    for (int k = 0; k < n; ++k) {
        re[k] = t_re[static_cast<std::size_t>(k)] * scale;
        im[k] = t_im[static_cast<std::size_t>(k)] * scale;
    }
}

namespace {

// The smallest length of at least `least` with no prime factor above 5.
int smooth_length(int least) {
    for (int m = least;; ++m) {
        int r = m;
        for (int f : {2, 3, 5})
            while (r % f == 0) r /= f;
        if (r == 1) return m;
    }
}

}  // namespace

void chirp_dft_1d(double* re, double* im, int sign, int n) {
    if (n <= 1) return;
    // With a = 6.28318530718 / n and jk = (j^2 + k^2 - (k - j)^2) / 2, X_k = c_k sum_j (x_j c_j)
    // conj(c_{k-j}) for c_j = e^{-i s a j^2 / 2}: a cyclic convolution of a length m >= 2n - 1.
    // The chirp's angles are reduced in long double, so each holds to about 1e-16.
    const auto count = static_cast<std::size_t>(n);
    const int m = smooth_length(2 * n - 1);
    const auto mm = static_cast<std::size_t>(m);
    const long double step = static_cast<long double>(two_pi_12) / n;
    const long double full_turn = 6.283185307179586476925286766559005768L;
    std::vector<double> cr(count), ci(count);
    for (std::size_t j = 0; j < count; ++j) {
        const long double jj = static_cast<long double>(j) * static_cast<long double>(j);
        const long double angle = std::fmod(step * jj * 0.5L, full_turn);
        cr[j] = static_cast<double>(std::cos(angle));
        ci[j] = -sign * static_cast<double>(std::sin(angle));
    }
    std::vector<double> ar(mm, 0.0), ai(mm, 0.0), br(mm, 0.0), bi(mm, 0.0);
    for (std::size_t j = 0; j < count; ++j) {
        ar[j] = re[j] * cr[j] - im[j] * ci[j];
        ai[j] = re[j] * ci[j] + im[j] * cr[j];
        br[j] = cr[j];
        bi[j] = -ci[j];
        if (j > 0) {
            br[mm - j] = cr[j];
            bi[mm - j] = -ci[j];
        }
    }
    fft_core(ar.data(), ai.data(), m, -1);
    fft_core(br.data(), bi.data(), m, -1);
    for (std::size_t k = 0; k < mm; ++k) {
        const double xr = ar[k] * br[k] - ai[k] * bi[k];
        ai[k] = ar[k] * bi[k] + ai[k] * br[k];
        ar[k] = xr;
    }
    fft_core(ar.data(), ai.data(), m, 1);
    const double scale = 1.0 / m / (sign == 1 ? static_cast<double>(n) : 1.0);
    for (std::size_t k = 0; k < count; ++k) {
        re[k] = (ar[k] * cr[k] - ai[k] * ci[k]) * scale;
        im[k] = (ar[k] * ci[k] + ai[k] * cr[k]) * scale;
    }
}

void set_dft_thread_limit(int threads) {
    thread_limit.store(threads > 0 ? threads : 0, std::memory_order_relaxed);
}

void shift_centre_1d(double* values, int n) {
    if (n <= 1) return;
    // Element i moves to (i + n/2) mod n: a left rotation by n - n/2.
    const int h = n / 2;
    std::rotate(values, values + (n - h), values + n);
}

namespace {

// Moves element (x, y) to ((x + dx) mod w, (y + dy) mod h), 0 <= dx < w, 0 <= dy < h.
void rotate_plane(double* plane, int width, int height, int dx, int dy) {
    if (width <= 0 || height <= 0) return;
    const std::size_t w = static_cast<std::size_t>(width);
    if (dx != 0) {
        for (int y = 0; y < height; ++y) {
            double* row = plane + static_cast<std::size_t>(y) * w;
            std::rotate(row, row + (width - dx), row + width);
        }
    }
    if (dy != 0) {
        const std::size_t total = w * static_cast<std::size_t>(height);
        std::rotate(plane, plane + w * static_cast<std::size_t>(height - dy), plane + total);
    }
}

}  // namespace

void shift_quadrants_2d(double* plane, int width, int height) {
    if (width <= 0 || height <= 0) return;
    rotate_plane(plane, width, height, width / 2, height / 2);
}

void unshift_quadrants_2d(double* plane, int width, int height) {
    if (width <= 0 || height <= 0) return;
    // The opposite rotation: by ceil(side / 2), which equals side / 2 for even sides.
    rotate_plane(plane, width, height, (width - width / 2) % width, (height - height / 2) % height);
}

void spectrum_magnitude(const double* re, const double* im, int n, double* out) {
    for (int i = 0; i < n; ++i) out[i] = std::sqrt(re[i] * re[i] + im[i] * im[i]);
}

}  // namespace orv
