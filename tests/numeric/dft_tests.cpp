// Direct transform, centring shifts and magnitudes.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <numeric>
#include <random>
#include <vector>

#include "numeric/dft.h"
#include "numeric/fft.h"

namespace {

// Allocations on this thread still allowed before one fails with std::bad_alloc; -1: none fails.
thread_local int allocations_until_failure = -1;

}  // namespace

// The program's allocator, able to fail one chosen allocation of the calling thread.
[[gnu::noinline]] void* operator new(std::size_t size) {
    if (allocations_until_failure == 0) {
        allocations_until_failure = -1;
        throw std::bad_alloc();
    }
    if (allocations_until_failure > 0) --allocations_until_failure;
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Values = std::vector<double>;

// A helper thread that cannot be started part-way (its state cannot be allocated) leaves no
// thread running and reaches the caller as the failure itself, for every point of failure.
TEST(Dft1d, HelperThatCannotStartIsReportedAfterTheOthersAreJoined) {
    orv::set_dft_thread_limit(4);
    const int n = 600;  // long enough to be split between four threads
    for (int allowed = 0; allowed < 8; ++allowed) {
        Values re(n, 1.0), im(n, 0.0);
        allocations_until_failure = allowed;
        bool failed = false;
        try {
            orv::dft_1d(re.data(), im.data(), 1, n);
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        allocations_until_failure = -1;
        if (!failed) {
            EXPECT_GE(allowed, 5) << "every allocation was needed";
            EXPECT_NEAR(re[0], 1.0, 1e-12);
        }
    }
    orv::set_dft_thread_limit(0);
}

TEST(Dft1d, ImpulseGivesMeanWithSignOneAndOnesOtherwise) {
    for (int n : {1, 2, 3, 5, 8, 13}) {
        for (int sign : {1, -1}) {
            Values re(static_cast<std::size_t>(n), 0.0), im(static_cast<std::size_t>(n), 0.0);
            re[0] = 1.0;
            orv::dft_1d(re.data(), im.data(), sign, n);
            const double want = sign == 1 ? 1.0 / n : 1.0;
            for (int k = 0; k < n; ++k) {
                EXPECT_DOUBLE_EQ(re[static_cast<std::size_t>(k)], want) << n << " " << sign;
                EXPECT_EQ(im[static_cast<std::size_t>(k)], 0.0);
            }
        }
    }
}

// The chirp method stands in for the direct transform where only rounding matters: random
// data and a smooth kernel of the lengths filters have, both signs.
TEST(ChirpDft1d, AgreesWithTheDirectTransformToRounding) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int n : {2, 3, 7, 64, 333, 1000, 1331}) {
        for (int sign : {1, -1}) {
            for (bool smooth : {false, true}) {
                Values re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n), 0.0);
                for (int j = 0; j < n; ++j) {
                    const double x = (j - n / 2) / (0.05 * n + 1.0);
                    re[static_cast<std::size_t>(j)] = smooth ? std::exp(-x * x) : uniform(rng);
                    if (!smooth) im[static_cast<std::size_t>(j)] = uniform(rng);
                }
                Values dre = re, dim = im;
                orv::dft_1d(dre.data(), dim.data(), sign, n);
                orv::chirp_dft_1d(re.data(), im.data(), sign, n);
                double largest = 0.0;
                for (int k = 0; k < n; ++k)
                    largest = std::max(largest, std::hypot(dre[static_cast<std::size_t>(k)],
                                                           dim[static_cast<std::size_t>(k)]));
                for (int k = 0; k < n; ++k) {
                    const auto i = static_cast<std::size_t>(k);
                    ASSERT_NEAR(re[i], dre[i], 1e-12 * largest)
                        << n << " " << sign << " " << smooth << " " << k;
                    ASSERT_NEAR(im[i], dim[i], 1e-12 * largest)
                        << n << " " << sign << " " << smooth << " " << k;
                }
            }
        }
    }
}

TEST(Dft1d, SingleValueUnchangedAndEmptyIgnored) {
    Values re = {4.25};
    Values im = {-1.5};
    orv::dft_1d(re.data(), im.data(), 1, 1);
    EXPECT_EQ(re[0], 4.25);
    EXPECT_EQ(im[0], -1.5);
    orv::dft_1d(re.data(), im.data(), 1, 0);
    orv::dft_1d(re.data(), im.data(), -1, -3);
    EXPECT_EQ(re[0], 4.25);
    EXPECT_EQ(im[0], -1.5);
}

// Sign 1 is the negative exponent divided by n: fft_1d's unscaled step divided by n. The
// twelve-digit angle constant costs about n * 4e-13 of phase at the last index.
TEST(Dft1d, SignOneEqualsFftBackDividedByLength) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int n : {3, 5, 7, 9, 15, 21, 31, 45, 61, 101}) {
        Values re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            re[static_cast<std::size_t>(i)] = uniform(rng);
            im[static_cast<std::size_t>(i)] = uniform(rng);
        }
        Values fr = re, fi = im;
        orv::dft_1d(re.data(), im.data(), 1, n);
        orv::fft_1d(fr.data(), fi.data(), -1, n);
        for (int k = 0; k < n; ++k) {
            const auto i = static_cast<std::size_t>(k);
            EXPECT_NEAR(re[i], fr[i] / n, 1e-11) << n << " " << k;
            EXPECT_NEAR(im[i], fi[i] / n, 1e-11) << n << " " << k;
        }
        // Sign -1: positive exponent, unscaled, i.e. n times fft_1d's forward step.
        Values gr = fr, gi = fi;
        Values hr = fr, hi = fi;
        orv::dft_1d(gr.data(), gi.data(), -1, n);
        orv::fft_1d(hr.data(), hi.data(), 1, n);
        for (int k = 0; k < n; ++k) {
            const auto i = static_cast<std::size_t>(k);
            EXPECT_NEAR(gr[i], hr[i] * n, 1e-12 * n * n) << n;
            EXPECT_NEAR(gi[i], hi[i] * n, 1e-12 * n * n) << n;
        }
    }
}

// Long transforms are split between threads; each output must still be the one sum in index
// order, to the last bit (the filter responses, and through them every result, depend on it).
TEST(Dft1d, LongTransformsGiveTheBitsOfTheDirectSum) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int n : {511, 512, 1331}) {
        Values re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            re[static_cast<std::size_t>(i)] = uniform(rng);
            im[static_cast<std::size_t>(i)] = i % 3 == 0 ? 0.0 : uniform(rng);
        }
        for (int sign : {1, -1}) {
            for (int limit : {0, 1, 3}) {  // the machine's cores, one thread, three threads
                orv::set_dft_thread_limit(limit);
                Values r = re, m = im;
                orv::dft_1d(r.data(), m.data(), sign, n);
                const double s = sign;
                const double scale = 1.0 / (sign == 1 ? static_cast<double>(n) : 1.0);
                int mismatches = 0;
                for (int k = 0; k < n; ++k) {
                    double acc_re = re[0];
                    double acc_im = im[0];
                    for (int j = 1; j < n; ++j) {
                        const double theta =
                            static_cast<double>(j) * static_cast<double>(k) * 6.28318530718 / n;
                        const double c = std::cos(theta);
                        const double sn = std::sin(theta);
                        acc_re += c * re[static_cast<std::size_t>(j)] +
                                  s * sn * im[static_cast<std::size_t>(j)];
                        acc_im += c * im[static_cast<std::size_t>(j)] -
                                  s * sn * re[static_cast<std::size_t>(j)];
                    }
                    mismatches += r[static_cast<std::size_t>(k)] != acc_re * scale;
                    mismatches += m[static_cast<std::size_t>(k)] != acc_im * scale;
                }
                EXPECT_EQ(mismatches, 0) << n << " " << sign << " " << limit;
            }
        }
        orv::set_dft_thread_limit(0);
    }
}

TEST(ShiftCentre1d, RotatesElementZeroToTheMiddle) {
    struct Case {
        Values in, out;
    };
    const std::vector<Case> cases = {
        {{0, 1, 2, 3, 4}, {3, 4, 0, 1, 2}},
        {{0, 1, 2, 3}, {2, 3, 0, 1}},
        {{0, 1}, {1, 0}},
        {{0, 1, 2}, {2, 0, 1}},
        {{7}, {7}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        Values v = c.in;
        orv::shift_centre_1d(v.data(), static_cast<int>(v.size()));
        EXPECT_EQ(v, c.out);
    }
}

TEST(ShiftQuadrants2d, EvenPlaneExchangesQuadrants) {
    // rows a b c d / e f g h  ->  g h e f / c d a b
    Values v = {1, 2, 3, 4, 5, 6, 7, 8};
    orv::shift_quadrants_2d(v.data(), 4, 2);
    EXPECT_EQ(v, (Values{7, 8, 5, 6, 3, 4, 1, 2}));
    orv::shift_quadrants_2d(v.data(), 4, 2);
    EXPECT_EQ(v, (Values{1, 2, 3, 4, 5, 6, 7, 8}));
}

// For every side, odd or even: (x, y) goes to ((x + w/2) mod w, (y + h/2) mod h), so the
// zero frequency lands at (w/2, h/2), and the unshift restores the plane exactly.
TEST(ShiftQuadrants2d, AnySidesMoveOriginToCentreAndUnshiftRestores) {
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 4}, {5, 1}, {3, 3}, {4, 3},
                                                    {5, 6}, {7, 9}, {8, 8}, {2, 7}, {11, 4}};
    for (const auto& [w, h] : sizes) {
        Values v(static_cast<std::size_t>(w * h));
        std::iota(v.begin(), v.end(), 0.0);
        const Values original = v;
        orv::shift_quadrants_2d(v.data(), w, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int nx = (x + w / 2) % w;
                const int ny = (y + h / 2) % h;
                ASSERT_EQ(v[static_cast<std::size_t>(ny * w + nx)],
                          original[static_cast<std::size_t>(y * w + x)])
                    << w << "x" << h << " at " << x << "," << y;
            }
        }
        orv::unshift_quadrants_2d(v.data(), w, h);
        EXPECT_EQ(v, original) << w << "x" << h;
    }
    Values untouched = {1, 2};
    orv::shift_quadrants_2d(untouched.data(), 0, 2);
    orv::unshift_quadrants_2d(untouched.data(), 2, -1);
    EXPECT_EQ(untouched, (Values{1, 2}));
}

TEST(SpectrumMagnitude, IsTheModulus) {
    const Values re = {3.0, 0.0, -5.0, -0.5};
    const Values im = {4.0, -2.0, 12.0, 0.0};
    Values out(4);
    orv::spectrum_magnitude(re.data(), im.data(), 4, out.data());
    EXPECT_EQ(out[0], 5.0);
    EXPECT_EQ(out[1], 2.0);
    EXPECT_EQ(out[2], 13.0);
    EXPECT_EQ(out[3], 0.5);
}

}  // namespace
