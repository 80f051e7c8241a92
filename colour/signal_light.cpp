#include "colour/signal_light.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orv {

namespace {

double clip01(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }

}  // namespace

PowerTable make_power_table(double exponent) {
    PowerTable p;
    p.exponent = exponent;
    if (!std::isfinite(exponent)) return p;
    // Coefficients g (g - 1) ... (g - n + 1) / n!; the first term left out must stay below
    // 2^-64 at |t| = 2^-11.
    double c = 1.0;
    for (int n = 0; n < 6; ++n) {
        p.series[static_cast<std::size_t>(n)] = c;
        c *= (exponent - n) / (n + 1);
    }
    p.series_fits = std::fabs(c) * std::ldexp(1.0, -66) < std::ldexp(1.0, -64);
    if (!p.series_fits) return p;
    p.of_two.resize(PowerTable::biased_count);
    for (unsigned i = 0; i < PowerTable::biased_count; ++i) {
        const int e = static_cast<int>(PowerTable::lowest_biased + i) - 1023;
        p.of_two[i] = std::pow(std::ldexp(1.0, e), exponent);
    }
    p.of_step.resize(PowerTable::steps + 1);
    p.inverse_step.resize(PowerTable::steps + 1);
    for (int k = 0; k <= PowerTable::steps; ++k) {
        const double step = 1.0 + std::ldexp(static_cast<double>(k), -PowerTable::step_bits);
        p.of_step[static_cast<std::size_t>(k)] = std::pow(step, exponent);
        p.inverse_step[static_cast<std::size_t>(k)] = 1.0 / step;
    }
    return p;
}

ExpTable make_exp_table(double lowest, double highest) {
    ExpTable e;
    e.first = static_cast<int>(std::floor(lowest * ExpTable::per_unit));
    const int last = static_cast<int>(std::floor(highest * ExpTable::per_unit));
    double factorial = 1.0;
    for (std::size_t n = 0; n < e.series.size(); ++n) {
        if (n > 0) factorial *= static_cast<double>(n);
        e.series[n] = 1.0 / factorial;
    }
    e.of_step.resize(static_cast<std::size_t>(last - e.first + 1));
    for (std::size_t i = 0; i < e.of_step.size(); ++i) {
        e.of_step[i] =
            std::exp(static_cast<double>(e.first + static_cast<int>(i)) / ExpTable::per_unit);
    }
    return e;
}

namespace {

// PQ's absolute light 10000 ((E - c1)+ / (c2 - c3 E))^(1/m1), E = V^(1/m2), in extended
// precision, for fitting.
long double pq_light_extended(long double v) {
    namespace k = display_constants;
    const long double e = std::pow(v, 1.0L / static_cast<long double>(k::pq_m2));
    const long double x = std::max(e - static_cast<long double>(k::pq_c1), 0.0L);
    return 10000.0L * std::pow(x / (static_cast<long double>(k::pq_c2) -
                                    static_cast<long double>(k::pq_c3) * e),
                               1.0L / static_cast<long double>(k::pq_m1));
}

}  // namespace

PqPolynomials make_pq_polynomials() {
    PqPolynomials table;
    constexpr int n = PqPolynomials::terms;
    table.polynomials.resize(static_cast<std::size_t>(PqPolynomials::cells));
    const long double pi = 3.141592653589793238462643383279502884L;
    for (int cell = 0; cell < PqPolynomials::cells; ++cell) {
        // The cell [a, b): octave 2^o split into 2^cell_bits equal steps.
        const int o = PqPolynomials::lowest_octave + (cell >> PqPolynomials::cell_bits);
        const int j = cell & ((1 << PqPolynomials::cell_bits) - 1);
        const long double step = std::ldexp(1.0L, o - PqPolynomials::cell_bits);
        const long double a = std::ldexp(1.0L, o) + j * step;
        // The polynomial in s = 2 (V - a) / step - 1 through PQ's light at the Chebyshev
        // points: the Vandermonde system solved by elimination with pivoting.
        long double m[n][n + 1];
        for (int i = 0; i < n; ++i) {
            const long double si = std::cos(pi * (i + 0.5L) / n);
            long double power = 1.0L;
            for (int c = 0; c < n; ++c) {
                m[i][c] = power;
                power *= si;
            }
            m[i][n] = pq_light_extended(a + step * (si + 1.0L) / 2.0L);
        }
        for (int c = 0; c < n; ++c) {
            int pivot = c;
            for (int r = c + 1; r < n; ++r) {
                if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
            }
            for (int k = 0; k <= n; ++k) std::swap(m[c][k], m[pivot][k]);
            for (int r = 0; r < n; ++r) {
                if (r == c) continue;
                const long double q = m[r][c] / m[c][c];
                for (int k = c; k <= n; ++k) m[r][k] -= q * m[c][k];
            }
        }
        for (int c = 0; c < n; ++c) {
            table.polynomials[static_cast<std::size_t>(cell)].c[c] =
                static_cast<double>(m[c][n] / m[c][c]);
        }
    }
    return table;
}

const PqPolynomials& pq_polynomials() {
    static const PqPolynomials table = make_pq_polynomials();
    return table;
}

SignalLight make_signal_light(const GogParameters& gog, const TransferParameters& transfer,
                              const DisplayTable& table) {
    SignalLight s;
    s.transfer = transfer.transfer;
    s.parameters = transfer;
    s.gog = gog;
    s.table = table;
    switch (transfer.transfer) {
        case DisplayTransfer::profile:
            s.power[0] = make_power_table(gog.red.gamma);
            s.power[1] = make_power_table(gog.green.gamma);
            s.power[2] = make_power_table(gog.blue.gamma);
            break;
        case DisplayTransfer::srgb:
        case DisplayTransfer::bt1886:
            s.power[0] = make_power_table(2.4);
            break;
        case DisplayTransfer::pq:
            s.power[0] = make_power_table(1.0 / display_constants::pq_m2);
            s.pq_outer = make_power_table(1.0 / display_constants::pq_m1);
            s.pq = &pq_polynomials();
            s.per_white = 1.0 / transfer.white;
            break;
        case DisplayTransfer::hlg:
            // (V - c) / a for V in (0.5, 1].
            s.hlg_exp = make_exp_table((0.5 - display_constants::hlg_c) / display_constants::hlg_a,
                                       (1.0 - display_constants::hlg_c) / display_constants::hlg_a);
            s.hlg_system = make_power_table(transfer.hlg_gamma - 1.0);
            break;
    }
    return s;
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ORV_ROW_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define ORV_ROW_CLONES
#endif

// The row stages below are plain loops that the vectoriser takes (four values at once with
// AVX2, table entries gathered); they do power_of's operations in its order, so every value is
// power_of's, and values outside the tables are put right afterwards one by one.

// y = x^g for n values in a plain loop: power_of's operations in its order, so every value
// is power_of's; values outside the tables are put right afterwards one by one.
void power_values_plain(const PowerTable& p, const double* __restrict x, double* __restrict y,
                        int n) {
    for (int i = 0; i < n; ++i) y[i] = power_of(p, x[i]);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
// The same four values at a time with the processor's gathers for the three table entries
// (the vectoriser will not gather for the generic processor): the same IEEE operations in the
// same order, so the same doubles. Returns false when a value lies outside the tables; the
// caller then takes power_of for every value.
[[gnu::target("avx2")]] bool power_values_avx2(const PowerTable& p, const double* x, double* y,
                                               int n) {
    constexpr int shift = 52 - PowerTable::step_bits;
    const __m256i mantissa = _mm256_set1_epi64x((std::int64_t{1} << 52) - 1);
    const __m256i one = _mm256_set1_epi64x(std::int64_t{1023} << 52);
    const __m256i half_step = _mm256_set1_epi64x(std::int64_t{1} << (shift - 1));
    const __m256i lowest = _mm256_set1_epi64x(PowerTable::lowest_biased);
    const __m256i rows = _mm256_set1_epi64x(PowerTable::biased_count);
    const __m256i below_zero = _mm256_set1_epi64x(-1);
    const __m256d c0 = _mm256_set1_pd(p.series[0]), c1 = _mm256_set1_pd(p.series[1]);
    const __m256d c2 = _mm256_set1_pd(p.series[2]), c3 = _mm256_set1_pd(p.series[3]);
    const __m256d c4 = _mm256_set1_pd(p.series[4]), c5 = _mm256_set1_pd(p.series[5]);
    const double* inverse_step = p.inverse_step.data();
    const double* of_two_table = p.of_two.data();
    const double* of_step_table = p.of_step.data();
    __m256i outside = _mm256_setzero_si256();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256i bits = _mm256_castpd_si256(_mm256_loadu_pd(x + i));
        // The biased exponent less the table's first; the sign bit puts negative x far above.
        const __m256i row = _mm256_sub_epi64(_mm256_srli_epi64(bits, 52), lowest);
        const __m256i in_table =
            _mm256_and_si256(_mm256_cmpgt_epi64(rows, row), _mm256_cmpgt_epi64(row, below_zero));
        outside = _mm256_or_si256(outside, _mm256_andnot_si256(in_table, below_zero));
        const __m256i fraction = _mm256_and_si256(bits, mantissa);
        const __m256i k = _mm256_srli_epi64(_mm256_add_epi64(fraction, half_step), shift);
        const __m256d m = _mm256_castsi256_pd(_mm256_or_si256(fraction, one));
        const __m256d step =
            _mm256_castsi256_pd(_mm256_add_epi64(_mm256_slli_epi64(k, shift), one));
        alignas(32) std::int64_t ks[4];
        alignas(32) std::int64_t rs[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(ks), k);
        _mm256_store_si256(reinterpret_cast<__m256i*>(rs), _mm256_and_si256(row, in_table));
        const __m256d inverse = _mm256_set_pd(inverse_step[ks[3]], inverse_step[ks[2]],
                                              inverse_step[ks[1]], inverse_step[ks[0]]);
        const __m256d t = _mm256_mul_pd(_mm256_sub_pd(m, step), inverse);
        const __m256d t2 = _mm256_mul_pd(t, t);
        const __m256d low = _mm256_add_pd(c0, _mm256_mul_pd(c1, t));
        const __m256d middle = _mm256_add_pd(c2, _mm256_mul_pd(c3, t));
        const __m256d high = _mm256_add_pd(c4, _mm256_mul_pd(c5, t));
        const __m256d sum =
            _mm256_add_pd(low, _mm256_mul_pd(t2, _mm256_add_pd(middle, _mm256_mul_pd(t2, high))));
        const __m256d of_two = _mm256_set_pd(of_two_table[rs[3]], of_two_table[rs[2]],
                                             of_two_table[rs[1]], of_two_table[rs[0]]);
        const __m256d of_step = _mm256_set_pd(of_step_table[ks[3]], of_step_table[ks[2]],
                                              of_step_table[ks[1]], of_step_table[ks[0]]);
        _mm256_storeu_pd(y + i, _mm256_mul_pd(_mm256_mul_pd(of_two, of_step), sum));
    }
    if (!_mm256_testz_si256(outside, outside)) return false;
    for (; i < n; ++i) y[i] = power_of(p, x[i]);
    return true;
}

bool have_avx2() {
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}
#endif

// y = x^g for n values.
void power_values(const PowerTable& p, const double* __restrict x, double* __restrict y, int n) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    if (p.series_fits && have_avx2() && power_values_avx2(p, x, y, n)) return;
#endif
    power_values_plain(p, x, y, n);
}

// PQ's absolute light by the formula: E = V^(1/m2) and the outer power from the tables.
double pq_formula_light(const SignalLight& s, double v) {
    namespace k = display_constants;
    const double e = power_of(s.power[0], v);
    return 10000.0 * power_of(s.pq_outer, std::max(e - k::pq_c1, 0.0) / (k::pq_c2 - k::pq_c3 * e));
}

// The polynomial's cell of v in [0, 1] (outside [0, cells) below 2^-19): the exponent and the
// six bits after it.
inline std::int64_t pq_cell(std::uint64_t bits) {
    return static_cast<std::int64_t>(bits >> 46) -
           (std::int64_t{1023 + PqPolynomials::lowest_octave} << PqPolynomials::cell_bits);
}

// PQ's absolute light of v in [0, 1]: the cell's polynomial in s = 2 (v - a) / step - 1, a the
// cell's start (v with the bits after the cell's cleared) and 2 / step = 2^(7 - octave), so
// that s is exact.
inline double pq_light(const SignalLight& s, double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const std::int64_t cell = pq_cell(bits);
    if (cell < 0 || cell >= PqPolynomials::cells) {
        return v < 0x1p-21 ? 0.0 : pq_formula_light(s, v);
    }
    const double a = std::bit_cast<double>(bits & ~((std::uint64_t{1} << 46) - 1));
    const double scale = std::bit_cast<double>((2053 - (bits >> 52)) << 52);
    const double x = (v - a) * scale - 1.0;
    const double* c = s.pq->polynomials[static_cast<std::size_t>(cell)].c;
    // Estrin's order: short chains of dependent operations.
    const double x2 = x * x;
    const double x4 = x2 * x2;
    const double low = (c[0] + c[1] * x) + (c[2] + c[3] * x) * x2;
    const double high = (c[4] + c[5] * x) + (c[6] + c[7] * x) * x2;
    return low + high * x4;
}

// Whether v is byte d's value (d / 255, or d times the double nearest 1/255 as the profile's
// table is made), d the nearest byte.
inline int byte_match(double v, int d) {
    const double value = static_cast<double>(d);
    return static_cast<int>(value / 255.0 == v) | static_cast<int>(value * (1.0 / 255.0) == v);
}

inline int nearest_byte(double v) { return static_cast<int>(clip01(v) * 255.0 + 0.5); }

// Whether v * 255 (v clipped to [0, 1]) lies within 2^-40 of the whole number `d`, as every
// byte's value does; d is set to that number.
inline bool near_byte(double v, int& d) {
    const double scaled = clip01(v) * 255.0;
    d = static_cast<int>(scaled + 0.5);
    const double off = scaled - static_cast<double>(d);
    return off < 0x1p-40 && off > -0x1p-40;
}

// Values that are a byte's take the byte's table entry. Decoded video seldom has one apart
// from black and clipped white, so the row is looked over first for values near a byte's.
void byte_entries_plain(const SignalLight& s, int c, const double* v, double* y, int n) {
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    for (int i = 0; i < n; ++i) {
        int d = 0;
        if (near_byte(v[i], d) && byte_match(v[i], d) != 0) y[i] = table[d];
    }
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
// Four values at a time, a lane looked at one by one only where it may be a byte's: its 255
// multiple within 2^-40 of a whole number, or the value at or outside 0 and 1, or not a number.
[[gnu::target("avx2")]] void byte_entries_avx2(const SignalLight& s, int c, const double* v,
                                               double* y, int n) {
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    const __m256d scale = _mm256_set1_pd(255.0);
    const __m256d limit = _mm256_set1_pd(0x1p-40);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d unit = _mm256_set1_pd(1.0);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d value = _mm256_loadu_pd(v + i);
        const __m256d scaled = _mm256_mul_pd(value, scale);
        const __m256d off = _mm256_and_pd(
            _mm256_sub_pd(scaled,
                          _mm256_round_pd(scaled, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC)),
            magnitude);
        const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(value, zero, _CMP_GT_OQ),
                                             _mm256_cmp_pd(value, unit, _CMP_LT_OQ));
        const __m256d maybe =
            _mm256_or_pd(_mm256_cmp_pd(off, limit, _CMP_LT_OQ),
                         _mm256_andnot_pd(inside, _mm256_castsi256_pd(_mm256_set1_epi64x(-1))));
        int lanes = _mm256_movemask_pd(maybe);
        while (lanes != 0) {
            const int j = i + __builtin_ctz(static_cast<unsigned>(lanes));
            lanes &= lanes - 1;
            int d = 0;
            if (near_byte(v[j], d) && byte_match(v[j], d) != 0) y[j] = table[d];
        }
    }
    byte_entries_plain(s, c, v + i, y + i, n - i);
}
#endif

void byte_entries(const SignalLight& s, int c, const double* __restrict v, double* __restrict y,
                  int n) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    if (have_avx2()) {
        byte_entries_avx2(s, c, v, y, n);
        return;
    }
#endif
    byte_entries_plain(s, c, v, y, n);
}

// One row of PQ: clipped to [0, 1], the light, clipped at the peak and relative to the white,
// and a byte's value taking the byte's entry, in one pass.
inline double pq_relative(const SignalLight& s, double v) {
    const double light = pq_light(s, clip01(v));
    return (light < s.parameters.peak ? light : s.parameters.peak) * s.per_white;
}

void pq_row_plain(const SignalLight& s, int c, const double* v, double* y, int n) {
    for (int i = 0; i < n; ++i) y[i] = pq_relative(s, v[i]);
    byte_entries_plain(s, c, v, y, n);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
// Four values at a time: each lane's polynomial loaded as two vectors and the four transposed,
// then the same operations in the same order as pq_relative, so the same doubles. Lanes below
// the polynomials' table and lanes that may be a byte's value are put right one by one.
[[gnu::target("avx2")]] void pq_row_avx2(const SignalLight& s, int c, const double* v, double* y,
                                         int n) {
    const PqPolynomials::Cell* cells = s.pq->polynomials.data();
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    const __m256i offset = _mm256_set1_epi64x(std::int64_t{1023 + PqPolynomials::lowest_octave}
                                              << PqPolynomials::cell_bits);
    const __m256i count = _mm256_set1_epi64x(PqPolynomials::cells);
    const __m256i none = _mm256_set1_epi64x(-1);
    const __m256i start_mask = _mm256_set1_epi64x(~((std::int64_t{1} << 46) - 1));
    const __m256i scale_base = _mm256_set1_epi64x(2053);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d peak = _mm256_set1_pd(s.parameters.peak);
    const __m256d per_white = _mm256_set1_pd(s.per_white);
    const __m256d tiny = _mm256_set1_pd(0x1p-21);
    const __m256d black = _mm256_set1_pd(table[0]);
    const __m256d full = _mm256_set1_pd(table[255]);
    const __m256d scale255 = _mm256_set1_pd(255.0);
    const __m256d limit = _mm256_set1_pd(0x1p-40);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d raw = _mm256_loadu_pd(v + i);
        // clip01: NaN and values at or below 0 give 0.
        const __m256d positive = _mm256_cmp_pd(raw, zero, _CMP_GT_OQ);
        const __m256d below_one = _mm256_cmp_pd(raw, one, _CMP_LT_OQ);
        const __m256d value = _mm256_and_pd(_mm256_blendv_pd(one, raw, below_one), positive);
        const __m256i bits = _mm256_castpd_si256(value);
        const __m256i cell = _mm256_sub_epi64(_mm256_srli_epi64(bits, 46), offset);
        const __m256i inside =
            _mm256_and_si256(_mm256_cmpgt_epi64(count, cell), _mm256_cmpgt_epi64(cell, none));
        alignas(32) std::int64_t index[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(index), _mm256_and_si256(cell, inside));
        const __m256d a = _mm256_castsi256_pd(_mm256_and_si256(bits, start_mask));
        const __m256d scale = _mm256_castsi256_pd(
            _mm256_slli_epi64(_mm256_sub_epi64(scale_base, _mm256_srli_epi64(bits, 52)), 52));
        const __m256d x = _mm256_sub_pd(_mm256_mul_pd(_mm256_sub_pd(value, a), scale), one);
        __m256d rows[2][4];
        for (int lane = 0; lane < 4; ++lane) {
            const double* coefficients = cells[index[lane]].c;
            rows[0][lane] = _mm256_load_pd(coefficients);
            rows[1][lane] = _mm256_load_pd(coefficients + 4);
        }
        __m256d term[8];
        for (int half = 0; half < 2; ++half) {
            const __m256d* r = rows[half];
            const __m256d t0 = _mm256_unpacklo_pd(r[0], r[1]);
            const __m256d t1 = _mm256_unpackhi_pd(r[0], r[1]);
            const __m256d t2 = _mm256_unpacklo_pd(r[2], r[3]);
            const __m256d t3 = _mm256_unpackhi_pd(r[2], r[3]);
            term[4 * half] = _mm256_permute2f128_pd(t0, t2, 0x20);
            term[4 * half + 1] = _mm256_permute2f128_pd(t1, t3, 0x20);
            term[4 * half + 2] = _mm256_permute2f128_pd(t0, t2, 0x31);
            term[4 * half + 3] = _mm256_permute2f128_pd(t1, t3, 0x31);
        }
        const __m256d x2 = _mm256_mul_pd(x, x);
        const __m256d x4 = _mm256_mul_pd(x2, x2);
        const __m256d p01 = _mm256_add_pd(term[0], _mm256_mul_pd(term[1], x));
        const __m256d p23 = _mm256_add_pd(term[2], _mm256_mul_pd(term[3], x));
        const __m256d p45 = _mm256_add_pd(term[4], _mm256_mul_pd(term[5], x));
        const __m256d p67 = _mm256_add_pd(term[6], _mm256_mul_pd(term[7], x));
        const __m256d lower = _mm256_add_pd(p01, _mm256_mul_pd(p23, x2));
        const __m256d upper = _mm256_add_pd(p45, _mm256_mul_pd(p67, x2));
        const __m256d light = _mm256_add_pd(lower, _mm256_mul_pd(upper, x4));
        const __m256d shown = _mm256_blendv_pd(peak, light, _mm256_cmp_pd(light, peak, _CMP_LT_OQ));
        // Below 2^-21 the light is 0 (E < c1); 0 and 1 themselves are bytes' values, which take
        // the bytes' entries; other clipped values give the 0 and the peak computed.
        const __m256d dark = _mm256_cmp_pd(value, tiny, _CMP_LT_OQ);
        __m256d result = _mm256_andnot_pd(dark, _mm256_mul_pd(shown, per_white));
        result = _mm256_blendv_pd(result, black, _mm256_cmp_pd(raw, zero, _CMP_EQ_OQ));
        result = _mm256_blendv_pd(result, full, _mm256_cmp_pd(raw, one, _CMP_EQ_OQ));
        _mm256_storeu_pd(y + i, result);
        // Lanes between 2^-21 and the table, and lanes inside (0, 1) that may be a byte's value
        // (as byte_entries_avx2), are put right one by one.
        const __m256d scaled = _mm256_mul_pd(raw, scale255);
        const __m256d off = _mm256_and_pd(
            _mm256_sub_pd(scaled,
                          _mm256_round_pd(scaled, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC)),
            magnitude);
        const __m256d near = _mm256_and_pd(_mm256_cmp_pd(off, limit, _CMP_LT_OQ),
                                           _mm256_and_pd(positive, below_one));
        int outside = _mm256_movemask_pd(
            _mm256_andnot_pd(dark, _mm256_castsi256_pd(_mm256_andnot_si256(inside, none))));
        int maybe_byte = _mm256_movemask_pd(near);
        while ((outside | maybe_byte) != 0) {
            const int lane = __builtin_ctz(static_cast<unsigned>(outside | maybe_byte));
            const int j = i + lane;
            if ((outside >> lane) & 1) y[j] = pq_relative(s, v[j]);
            int d = 0;
            if (near_byte(v[j], d) && byte_match(v[j], d) != 0) y[j] = table[d];
            outside &= ~(1 << lane);
            maybe_byte &= ~(1 << lane);
        }
    }
    pq_row_plain(s, c, v + i, y + i, n - i);
}
#endif

void pq_row(const SignalLight& s, int c, const double* v, double* y, int n) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    if (have_avx2()) {
        pq_row_avx2(s, c, v, y, n);
        return;
    }
#endif
    pq_row_plain(s, c, v, y, n);
}

// The scene light of HLG's inverse OETF, as channel_light gives it.
double hlg_scene_light(const SignalLight& s, double v) {
    namespace k = display_constants;
    v = clip01(v);
    return v <= 0.5 ? v * v / 3.0
                    : (exp_of(s.hlg_exp, (v - k::hlg_c) / k::hlg_a) + k::hlg_b) / 12.0;
}

// One channel of a row by the profile's model or a standard transfer other than HLG.
ORV_ROW_CLONES
void channel_row(const SignalLight& s, int c, const double* __restrict v, double* __restrict x,
                 double* __restrict y, int n) {
    namespace k = display_constants;
    const TransferParameters& p = s.parameters;
    // Held in locals, so that the stores to y cannot be taken to change them.
    const double white = p.white;
    const double gain = p.bt1886_a;
    switch (s.transfer) {
        case DisplayTransfer::profile: {
            const GogChannel& g = c == 0 ? s.gog.red : (c == 1 ? s.gog.green : s.gog.blue);
            for (int i = 0; i < n; ++i) {
                const double base = g.gain * v[i] + g.offset;
                x[i] = base > 0.0 ? base : 0.0;
            }
            power_values(s.power[static_cast<std::size_t>(c)], x, y, n);
            break;
        }
        case DisplayTransfer::srgb:
            for (int i = 0; i < n; ++i) x[i] = (clip01(v[i]) + 0.055) / 1.055;
            power_values(s.power[0], x, y, n);
            for (int i = 0; i < n; ++i) {
                const double w = clip01(v[i]);
                y[i] = w <= 0.04045 ? w / 12.92 : y[i];
            }
            break;
        case DisplayTransfer::bt1886:
            for (int i = 0; i < n; ++i) x[i] = std::max(clip01(v[i]) + p.bt1886_b, 0.0);
            power_values(s.power[0], x, y, n);
            for (int i = 0; i < n; ++i) y[i] = gain * y[i] / white;
            break;
        case DisplayTransfer::pq:
            pq_row(s, c, v, y, n);  // its byte values included
            return;
        case DisplayTransfer::hlg:
            for (int i = 0; i < n; ++i) y[i] = hlg_scene_light(s, v[i]);
            break;
    }
    byte_entries(s, c, v, y, n);
}

}  // namespace

void signal_row_to_light(const SignalLight& s, const double* in, int width, double* scratch,
                         double* const light_rows[3]) {
    // In pieces that keep the stages' arrays in the first-level cache.
    // The three channels are taken apart in one pass.
    constexpr int piece = 256;
    double* x = scratch;
    double v[3][piece];
    for (int start = 0; start < width; start += piece) {
        const int n = std::min(piece, width - start);
        const double* from = in + 3 * static_cast<std::size_t>(start);
        for (int i = 0; i < n; ++i) {
            v[0][i] = from[3 * i];
            v[1][i] = from[3 * i + 1];
            v[2][i] = from[3 * i + 2];
        }
        for (int c = 0; c < 3; ++c) channel_row(s, c, v[c], x, light_rows[c] + start, n);
    }
    if (s.transfer != DisplayTransfer::hlg) return;
    namespace k = display_constants;
    const TransferParameters& p = s.parameters;
    for (int i = 0; i < width; ++i) {
        double rgb[3] = {light_rows[0][i], light_rows[1][i], light_rows[2][i]};
        bool bytes = true;
        for (int c = 0; c < 3; ++c) {
            const double w = in[3 * static_cast<std::size_t>(i) + c];
            bytes = bytes && byte_match(w, nearest_byte(w)) != 0;
        }
        if (bytes) {
            hlg_ootf(p, rgb);  // as the 8-bit path does
        } else {
            const double ys = k::luma_r * rgb[0] + k::luma_g * rgb[1] + k::luma_b * rgb[2];
            const double factor = ys > 0.0 ? p.peak * power_of(s.hlg_system, ys) / p.white : 0.0;
            for (double& l : rgb) l *= factor;
        }
        for (int c = 0; c < 3; ++c) light_rows[c][i] = rgb[c];
    }
}

}  // namespace orv
