// The mixed-radix transform against a plain O(n^2) transform, its conventions and limits.

#include <cmath>
#include <cstddef>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <vector>

#include "numeric/fft.h"
#include "numeric/fft_dispatch.h"

namespace {

using Values = std::vector<double>;

struct Sequence {
    Values re, im;
};

Sequence random_sequence(int n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    Sequence s{Values(static_cast<std::size_t>(n)), Values(static_cast<std::size_t>(n))};
    for (int i = 0; i < n; ++i) {
        s.re[static_cast<std::size_t>(i)] = uniform(rng);
        s.im[static_cast<std::size_t>(i)] = uniform(rng);
    }
    return s;
}

// X_k = sum_j x_j e^{sign 2 pi i jk / n}, unscaled. The rotation factors come from a table
// evaluated in long double at the reduced index jk mod n, so the only error left is that of
// the double accumulation (about sqrt(n) ulp), far below what the tests allow.
Sequence reference_transform(const Sequence& x, int sign) {
    const std::size_t n = x.re.size();
    Values c(n), s(n);
    const long double pi = 3.141592653589793238462643383279502884L;
    for (std::size_t r = 0; r < n; ++r) {
        const long double a = 2.0L * pi * static_cast<long double>(r) / static_cast<long double>(n);
        c[r] = static_cast<double>(std::cos(a));
        s[r] = sign * static_cast<double>(std::sin(a));
    }
    Sequence out{Values(n), Values(n)};
    for (std::size_t k = 0; k < n; ++k) {
        double sr = 0.0;
        double si = 0.0;
        std::size_t idx = 0;
        for (std::size_t j = 0; j < n; ++j) {
            sr += x.re[j] * c[idx] - x.im[j] * s[idx];
            si += x.re[j] * s[idx] + x.im[j] * c[idx];
            idx += k;
            if (idx >= n) idx -= n;
        }
        out.re[k] = sr;
        out.im[k] = si;
    }
    return out;
}

// The same transform with the opposite sign: X+_k = X-_{(n-k) mod n}.
Sequence mirrored(const Sequence& x) {
    const std::size_t n = x.re.size();
    Sequence out{Values(n), Values(n)};
    for (std::size_t k = 0; k < n; ++k) {
        out.re[k] = x.re[(n - k) % n];
        out.im[k] = x.im[(n - k) % n];
    }
    return out;
}

Sequence scaled(Sequence x, double factor) {
    for (double& v : x.re) v *= factor;
    for (double& v : x.im) v *= factor;
    return x;
}

double relative_error(const Sequence& got, const Sequence& want) {
    double num = 0.0;
    double den = 0.0;
    for (std::size_t i = 0; i < want.re.size(); ++i) {
        const double dr = got.re[i] - want.re[i];
        const double di = got.im[i] - want.im[i];
        num += dr * dr + di * di;
        den += want.re[i] * want.re[i] + want.im[i] * want.im[i];
    }
    return den == 0.0 ? std::sqrt(num) : std::sqrt(num / den);
}

constexpr double tolerance = 1e-13;

// Checks both directions of fft_1d and the round trip for one length.
void check_length(int n) {
    SCOPED_TRACE("length " + std::to_string(n));
    const Sequence x = random_sequence(n, 1000u + static_cast<unsigned>(n));
    const Sequence negative = reference_transform(x, -1);

    Sequence back = x;
    orv::fft_1d(back.re.data(), back.im.data(), -1, n);
    EXPECT_LT(relative_error(back, negative), tolerance);

    Sequence forward = x;
    orv::fft_1d(forward.re.data(), forward.im.data(), 1, n);
    EXPECT_LT(relative_error(forward, scaled(mirrored(negative), 1.0 / n)), tolerance);

    orv::fft_1d(forward.re.data(), forward.im.data(), -1, n);
    EXPECT_LT(relative_error(forward, x), tolerance);
}

// Every length from first to last against the direct transform.
void check_lengths(int first, int last) {
#ifdef ORV_NUMERIC_THIN_SWEEP
    // Instrumented builds: all short lengths, then a spread of the longer ones.
    for (int n = first; n <= last; n += (n < 200 ? 1 : 13)) check_length(n);
#else
    for (int n = first; n <= last; ++n) check_length(n);
#endif
}

// Every length from 1 to 1100, in ranges of about equal cost so that they can run in parallel.
TEST(Fft1dEveryLength, From1To550) { check_lengths(1, 550); }
TEST(Fft1dEveryLength, From551To750) { check_lengths(551, 750); }
TEST(Fft1dEveryLength, From751To900) { check_lengths(751, 900); }
TEST(Fft1dEveryLength, From901To1010) { check_lengths(901, 1010); }
TEST(Fft1dEveryLength, From1011To1100) { check_lengths(1011, 1100); }

// Beyond the full sweep, every third prime up to 4100 (lengths taken by the chirp method) and
// a spread of the other lengths.
TEST(Fft1dEveryLength, PrimesAndASpreadFrom1101To4100) {
#ifdef ORV_NUMERIC_THIN_SWEEP
    const int every = 30;
#else
    const int every = 3;
#endif
    int primes = 0;
    for (int n = 1101; n <= 4100; ++n) {
        bool prime = true;
        for (int d = 2; d * d <= n && prime; ++d) prime = n % d != 0;
        if (prime ? primes++ % every == 0 : n % (every * 37) == 0) check_length(n);
    }
}

// Frame sides, repeated general factors, square-free products beyond 210, large primes and
// primes whose predecessor is smooth (taken by Rader's method).
TEST(Fft1d, NamedLengthsMatchDirectTransform) {
    for (int n : {1080, 1920,    98,   784,      210, 840, 330, 2310, 121,  22,   683,  1366, 1155,
                  2730, 29 * 31, 4096, 1024 * 3, 640, 480, 720, 576,  1153, 2161, 1201, 8641})
        check_length(n);
}

// Primes beyond the sweep whose predecessor has no factor above 5, up to the sides of 8K
// frames: Rader's method at lengths where its index tables and filter are longest.
TEST(Fft1d, PrimesWithASmoothPredecessorUpTo8K) {
    const auto smooth = [](int m) {
        for (int f : {2, 3, 5})
            while (m % f == 0) m /= f;
        return m == 1;
    };
    int checked = 0;
    for (int n = 4101; n <= 7681; n += 2) {
        bool prime = true;
        for (int d = 3; d * d <= n && prime; d += 2) prime = n % d != 0;
        if (!prime || !smooth(n - 1)) continue;
#ifdef ORV_NUMERIC_THIN_SWEEP
        if (checked++ % 3 != 0) continue;
#else
        ++checked;
#endif
        check_length(n);
    }
    EXPECT_EQ(checked, 4);  // 4801, 4861, 6481 and 7681
}

TEST(Fft1d, FactorListsFollowTheEngineOrder) {
    struct Case {
        int n;
        std::vector<int> factors;
    };
    const std::vector<Case> cases = {
        {1920, {4, 4, 4, 6, 5}},
        {1080, {4, 6, 3, 3, 5}},
        {8, {4, 2}},
        {16, {4, 4}},
        {98, {2, 7, 7}},
        {784, {4, 4, 7, 7}},
        {840, {4, 6, 5, 7}},
        {330, {6, 5, 11}},
        {121, {11, 11}},
        {22, {2, 11}},
        {2, {2}},
        {4, {4}},
        {64, {4, 4, 4}},
        {683, {683}},
        {1, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(orv::fft_factors(c.n), c.factors) << "n = " << c.n;
}

TEST(Fft1d, ImpulseGivesOnesOrTheirMean) {
    for (int n : {2, 3, 4, 5, 7, 8, 16, 49, 64, 1080, 1920}) {
        Values re(static_cast<std::size_t>(n), 0.0), im(static_cast<std::size_t>(n), 0.0);
        re[0] = 1.0;
        Values re2 = re, im2 = im;
        orv::fft_1d(re.data(), im.data(), -1, n);
        orv::fft_1d(re2.data(), im2.data(), 1, n);
        for (int k = 0; k < n; ++k) {
            const auto i = static_cast<std::size_t>(k);
            ASSERT_NEAR(re[i], 1.0, 1e-14) << n;
            ASSERT_NEAR(im[i], 0.0, 1e-14) << n;
            ASSERT_NEAR(re2[i], 1.0 / n, 1e-16) << n;
            ASSERT_NEAR(im2[i], 0.0, 1e-16) << n;
        }
    }
}

TEST(Fft1d, ShortLengthsAndOtherDirectionsDoNothingOrUnscaled) {
    Values re = {3.0, -1.0};
    Values im = {0.5, 2.0};
    orv::fft_1d(re.data(), im.data(), 1, 1);
    orv::fft_1d(re.data(), im.data(), -1, 0);
    orv::fft_1d(re.data(), im.data(), 1, -5);
    orv::fft_core(re.data(), im.data(), 1, 1);
    EXPECT_EQ(re, (Values{3.0, -1.0}));
    EXPECT_EQ(im, (Values{0.5, 2.0}));
    // Directions other than 1 are the unscaled negative-exponent step.
    for (int direction : {0, 2, -7}) {
        Sequence a = random_sequence(12, 5);
        Sequence b = a;
        orv::fft_1d(a.re.data(), a.im.data(), direction, 12);
        orv::fft_1d(b.re.data(), b.im.data(), -1, 12);
        EXPECT_EQ(a.re, b.re);
        EXPECT_EQ(a.im, b.im);
    }
}

TEST(Fft1d, CoreIsUnscaledWithEitherSign) {
    const Sequence x = random_sequence(60, 77);
    for (int sign : {1, -1}) {
        Sequence y = x;
        orv::fft_core(y.re.data(), y.im.data(), 60, sign);
        EXPECT_LT(relative_error(y, reference_transform(x, sign)), tolerance) << sign;
    }
}

// ---- two-dimensional transform ----

struct Plane {
    int width, height;
    Sequence values;
};

Plane random_plane(int width, int height, std::uint64_t seed) {
    return {width, height, random_sequence(width * height, seed)};
}

// fft_2d written out with the reference: rows, then columns, scaled for direction 1.
Sequence reference_2d(const Plane& p, int direction) {
    const int sign = direction == 1 ? 1 : -1;
    Sequence out = p.values;
    const auto w = static_cast<std::size_t>(p.width);
    const auto h = static_cast<std::size_t>(p.height);
    for (std::size_t y = 0; y < h; ++y) {
        Sequence row{Values(out.re.begin() + static_cast<std::ptrdiff_t>(y * w),
                            out.re.begin() + static_cast<std::ptrdiff_t>((y + 1) * w)),
                     Values(out.im.begin() + static_cast<std::ptrdiff_t>(y * w),
                            out.im.begin() + static_cast<std::ptrdiff_t>((y + 1) * w))};
        row = reference_transform(row, sign);
        if (direction == 1) row = scaled(row, 1.0 / p.width);
        for (std::size_t x = 0; x < w; ++x) {
            out.re[y * w + x] = row.re[x];
            out.im[y * w + x] = row.im[x];
        }
    }
    for (std::size_t x = 0; x < w; ++x) {
        Sequence col{Values(h), Values(h)};
        for (std::size_t y = 0; y < h; ++y) {
            col.re[y] = out.re[y * w + x];
            col.im[y] = out.im[y * w + x];
        }
        col = reference_transform(col, sign);
        if (direction == 1) col = scaled(col, 1.0 / p.height);
        for (std::size_t y = 0; y < h; ++y) {
            out.re[y * w + x] = col.re[y];
            out.im[y * w + x] = col.im[y];
        }
    }
    return out;
}

const std::vector<std::pair<int, int>> plane_sizes = {
    {1, 1},  {1, 7},   {7, 1},   {2, 3},   {5, 4},   {15, 9},  {16, 12}, {33, 17},
    {31, 8}, {9, 10},  {13, 64}, {64, 13}, {17, 17}, {3, 100}, {100, 3}, {40, 30},
    {98, 7}, {22, 29}, {8, 8},   {1, 2},   {2, 1},   {11, 25}, {48, 27},
};

TEST(Fft2d, MatchesRowAndColumnReferenceForOddAndEvenSides) {
    for (const auto& [w, h] : plane_sizes) {
        for (int direction : {1, -1}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " direction " +
                         std::to_string(direction));
            const Plane p = random_plane(w, h, static_cast<std::uint64_t>(w * 1000 + h));
            Sequence got = p.values;
            orv::fft_2d(got.re.data(), got.im.data(), direction, w, h);
            EXPECT_LT(relative_error(got, reference_2d(p, direction)), tolerance);
        }
    }
}

// The plane path transforms many lines side by side; each must equal fft_1d exactly.
TEST(Fft2d, EqualsOneDimensionalTransformsBitForBit) {
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{
             {20, 9}, {7, 33}, {1920, 3}, {5, 1080}, {98, 11}, {1999, 3}, {17, 211}, {1024, 19}}) {
        for (int direction : {1, -1}) {
            const Plane p = random_plane(w, h, 42);
            Sequence got = p.values;
            orv::fft_2d(got.re.data(), got.im.data(), direction, w, h);
            Sequence want = p.values;
            Values line_re, line_im;
            for (int y = 0; y < h; ++y) {
                double* r = want.re.data() + static_cast<std::ptrdiff_t>(y) * w;
                double* i = want.im.data() + static_cast<std::ptrdiff_t>(y) * w;
                orv::fft_1d(r, i, direction, w);
            }
            for (int x = 0; x < w; ++x) {
                line_re.assign(static_cast<std::size_t>(h), 0.0);
                line_im.assign(static_cast<std::size_t>(h), 0.0);
                for (int y = 0; y < h; ++y) {
                    line_re[static_cast<std::size_t>(y)] =
                        want.re[static_cast<std::size_t>(y * w + x)];
                    line_im[static_cast<std::size_t>(y)] =
                        want.im[static_cast<std::size_t>(y * w + x)];
                }
                orv::fft_1d(line_re.data(), line_im.data(), direction, h);
                for (int y = 0; y < h; ++y) {
                    want.re[static_cast<std::size_t>(y * w + x)] =
                        line_re[static_cast<std::size_t>(y)];
                    want.im[static_cast<std::size_t>(y * w + x)] =
                        line_im[static_cast<std::size_t>(y)];
                }
            }
            EXPECT_EQ(got.re, want.re) << w << "x" << h;
            EXPECT_EQ(got.im, want.im) << w << "x" << h;
        }
    }
}

// Lines whose rows lie a multiple of 4 KB apart are moved and batched their own ways; every
// line must still equal fft_1d on its own, whatever its length, count and the batch left over.
TEST(FftLines, LinesOfRowsFourKilobytesApartEqualSingleTransforms) {
    struct Case {
        int n, count, seq_stride, elem_stride;
    };
    const Case cases[] = {{1000, 20, 1024, 1},
                          {513, 16, 2048, 1},
                          {999, 35, 1, 1024},
                          {7, 70, 1, 512},
                          {64, 32, 1, 4096}};
    for (const Case& c : cases) {
        for (const int direction : {1, -1}) {
            SCOPED_TRACE(std::to_string(c.n) + " x " + std::to_string(c.count) + " direction " +
                         std::to_string(direction));
            const int values = (c.count - 1) * c.seq_stride + (c.n - 1) * c.elem_stride + 1;
            const Sequence input = random_sequence(values, static_cast<std::uint64_t>(values));
            Sequence got = input;
            orv::fft_lines(got.re.data(), got.im.data(), direction, c.n, c.count, c.seq_stride,
                           c.elem_stride);
            Sequence want = input;
            Values line_re(static_cast<std::size_t>(c.n)), line_im(static_cast<std::size_t>(c.n));
            for (int q = 0; q < c.count; ++q) {
                const auto at = [&](int e) {
                    return static_cast<std::size_t>(q * c.seq_stride + e * c.elem_stride);
                };
                for (int e = 0; e < c.n; ++e) {
                    line_re[static_cast<std::size_t>(e)] = want.re[at(e)];
                    line_im[static_cast<std::size_t>(e)] = want.im[at(e)];
                }
                orv::fft_1d(line_re.data(), line_im.data(), direction, c.n);
                for (int e = 0; e < c.n; ++e) {
                    want.re[at(e)] = line_re[static_cast<std::size_t>(e)];
                    want.im[at(e)] = line_im[static_cast<std::size_t>(e)];
                }
            }
            // Values between the lines stay untouched.
            EXPECT_EQ(got.re, want.re);
            EXPECT_EQ(got.im, want.im);
        }
    }
}

TEST(Fft2d, RoundTripsInBothOrders) {
    for (const auto& [w, h] :
         std::vector<std::pair<int, int>>{{64, 48}, {45, 27}, {1, 30}, {121, 2}}) {
        for (int first : {1, -1}) {
            const Plane p = random_plane(w, h, 9);
            Sequence v = p.values;
            orv::fft_2d(v.re.data(), v.im.data(), first, w, h);
            orv::fft_2d(v.re.data(), v.im.data(), -first, w, h);
            EXPECT_LT(relative_error(v, p.values), tolerance) << w << "x" << h;
        }
    }
}

TEST(Fft2d, ConstantPlaneGoesToTheOrigin) {
    const int w = 12;
    const int h = 10;
    Values re(static_cast<std::size_t>(w * h), 2.5), im(static_cast<std::size_t>(w * h), 0.0);
    orv::fft_2d(re.data(), im.data(), 1, w, h);
    EXPECT_NEAR(re[0], 2.5, 1e-15);
    for (std::size_t i = 1; i < re.size(); ++i) {
        ASSERT_NEAR(re[i], 0.0, 1e-15) << i;
        ASSERT_NEAR(im[i], 0.0, 1e-15) << i;
    }
}

TEST(Fft2d, ZeroSidesDoNothing) {
    Values re = {1.0, 2.0, 3.0};
    Values im = {4.0, 5.0, 6.0};
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{0, 0}, {0, 3}, {3, 0}, {-1, 3}}) {
        orv::fft_2d(re.data(), im.data(), 1, w, h);
        EXPECT_EQ(re, (Values{1.0, 2.0, 3.0}));
        EXPECT_EQ(im, (Values{4.0, 5.0, 6.0}));
    }
}

// Every thread has its own working state: transforms running at once give the results of
// transforms run one after another.
TEST(Fft2d, ThreadsTransformIndependently) {
    const std::vector<std::pair<int, int>> sizes = {{30, 22}, {98, 49}, {64, 35}, {121, 15}};
    std::vector<Sequence> alone;
    for (const auto& [w, h] : sizes) {
        Sequence v = random_plane(w, h, 3).values;
        orv::fft_2d(v.re.data(), v.im.data(), 1, w, h);
        alone.push_back(v);
    }
    std::vector<Sequence> together(sizes.size());
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < sizes.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int repeat = 0; repeat < 20; ++repeat) {
                const auto [w, h] = sizes[t];
                Sequence v = random_plane(w, h, 3).values;
                orv::fft_2d(v.re.data(), v.im.data(), 1, w, h);
                // Other lengths in between, so the per-thread plans change under way.
                Sequence other = random_sequence(17 + static_cast<int>(t), 1);
                orv::fft_1d(other.re.data(), other.im.data(), -1, 17 + static_cast<int>(t));
                together[t] = v;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (std::size_t t = 0; t < sizes.size(); ++t) {
        EXPECT_EQ(together[t].re, alone[t].re);
        EXPECT_EQ(together[t].im, alone[t].im);
    }
}

// The plane driver on every instruction set this processor runs gives the baseline's bytes:
// rows and columns, whole and partial batches, radices 2 to 5, a general odd factor, the
// chirp method and Rader's (1153), rows 8 KB apart and columns of rows 4 KB apart (the
// ways those go), both signs, scaled and not.
TEST(FftPaths, EveryInstructionSetGivesTheBaselineBytes) {
    using orv::fft_detail::FftPath;
    struct Case {
        int n, count, seq_stride, elem_stride;
    };
    const Case cases[] = {{1920, 19, 1920, 1}, {1080, 37, 1, 37}, {1123, 16, 1, 16},
                          {77, 5, 77, 1},      {360, 48, 1, 48},  {1153, 21, 1153, 1},
                          {1024, 17, 1024, 1}, {40, 48, 1, 512}};
    std::vector<FftPath> paths = {FftPath::baseline};
    if (orv::fft_detail::widest_fft_path() >= FftPath::avx2) paths.push_back(FftPath::avx2);
    if (orv::fft_detail::widest_fft_path() >= FftPath::avx512) paths.push_back(FftPath::avx512);
    for (const Case& c : cases) {
        for (const int sign : {1, -1}) {
            const int values = (c.count - 1) * c.seq_stride + (c.n - 1) * c.elem_stride + 1;
            const Sequence input = random_sequence(values, static_cast<std::uint64_t>(c.n));
            std::vector<Sequence> results;
            for (const FftPath path : paths) {
                Sequence v = input;
                orv::fft_detail::transform_lines_on(path, v.re.data(), v.im.data(), c.n, sign,
                                                    c.count, c.seq_stride, c.elem_stride, sign == 1,
                                                    1.0 / c.n);
                results.push_back(v);
            }
            for (std::size_t p = 1; p < results.size(); ++p) {
                EXPECT_EQ(results[p].re, results[0].re) << c.n << " path " << p << " sign " << sign;
                EXPECT_EQ(results[p].im, results[0].im) << c.n << " path " << p << " sign " << sign;
            }
        }
    }
}

}  // namespace
