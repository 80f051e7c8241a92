#include "colour/signal_rows.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "numeric/processor.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orv {

namespace {

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ORV_AVX2_ROWS 1
#endif

// The light of one value by the profile's model, srgb or bt1886, with power_of's powers.
double power_light(const SignalLight& s, int c, double v) {
    switch (s.transfer) {
        case DisplayTransfer::srgb: {
            const double w = clip01(v);
            const double y = power_of(s.power[0], (w + 0.055) * (1.0 / 1.055));
            return w <= 0.04045 ? w / 12.92 : y;
        }
        case DisplayTransfer::bt1886: {
            const double x = clip01(v) + s.parameters.bt1886_b;
            return power_of(s.power[0], x < 0.0 ? 0.0 : x) * s.bt1886_factor;
        }
        default: {
            const GogChannel& g = c == 0 ? s.gog.red : (c == 1 ? s.gog.green : s.gog.blue);
            const double base = g.gain * v + g.offset;
            return power_of(s.power[static_cast<std::size_t>(c)], base > 0.0 ? base : 0.0);
        }
    }
}

// y takes the byte's table entry where v is a byte's value.
inline void take_byte_entry(const double* table, double v, double& y) {
    int d = 0;
    if (near_byte(v, d) && byte_match(v, d) != 0) y = table[d];
}

// Values that are a byte's take the byte's table entry. Decoded video seldom has one apart
// from black and clipped white, so the row is looked over first for values near a byte's.
void byte_entries_plain(const SignalLight& s, int c, const double* v, double* y, int n) {
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    for (int i = 0; i < n; ++i) take_byte_entry(table, v[i], y[i]);
}

#if defined(ORV_AVX2_ROWS)
// The lanes (a bit each) of four values whose 255 multiple lies within 2^-40 of a whole
// number: inside (0, 1) the lanes near_byte may accept.
[[gnu::target("avx2")]] inline int near_byte_lanes(__m256d value) {
    const __m256d scaled = _mm256_mul_pd(value, _mm256_set1_pd(255.0));
    const __m256d whole = _mm256_round_pd(scaled, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256d off = _mm256_and_pd(_mm256_sub_pd(scaled, whole),
                                      _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF)));
    return _mm256_movemask_pd(_mm256_cmp_pd(off, _mm256_set1_pd(0x1p-40), _CMP_LT_OQ));
}

// The lanes (a bit each) of four values inside (0, 1); not a number is outside.
[[gnu::target("avx2")]] inline int inside_unit_lanes(__m256d value) {
    return _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(value, _mm256_setzero_pd(), _CMP_GT_OQ),
                                            _mm256_cmp_pd(value, _mm256_set1_pd(1.0), _CMP_LT_OQ)));
}

// Puts right, one by one, the lanes of the four values at v[i] that lie outside a fast path
// (`outside`: y = slow(v)) or may be a byte's value (`maybe_byte`), in that order.
template <class Slow>
inline void fix_lanes(int outside, int maybe_byte, const double* table, const double* v, double* y,
                      int i, const Slow& slow) {
    for (int lanes = outside | maybe_byte; lanes != 0; lanes &= lanes - 1) {
        const int lane = __builtin_ctz(static_cast<unsigned>(lanes));
        const int j = i + lane;
        if ((outside >> lane) & 1) y[j] = slow(v[j]);
        if ((maybe_byte >> lane) & 1) take_byte_entry(table, v[j], y[j]);
    }
}

// Four values at a time, a lane looked at one by one only where it may be a byte's: its 255
// multiple within 2^-40 of a whole number, or the value at or outside 0 and 1, or not a number.
[[gnu::target("avx2")]] void byte_entries_avx2(const SignalLight& s, int c, const double* v,
                                               double* y, int n) {
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d value = _mm256_loadu_pd(v + i);
        const int maybe = near_byte_lanes(value) | (~inside_unit_lanes(value) & 15);
        fix_lanes(0, maybe, table, v, y, i, [](double) { return 0.0; });
    }
    byte_entries_plain(s, c, v + i, y + i, n - i);
}
#endif

void byte_entries(const SignalLight& s, int c, const double* v, double* y, int n) {
#if defined(ORV_AVX2_ROWS)
    if (processor_has_avx2()) {
        byte_entries_avx2(s, c, v, y, n);
        return;
    }
#endif
    byte_entries_plain(s, c, v, y, n);
}

void power_row_plain(const SignalLight& s, int c, const double* v, double* y, int n) {
    for (int i = 0; i < n; ++i) y[i] = power_light(s, c, v[i]);
    byte_entries_plain(s, c, v, y, n);
}

#if defined(ORV_AVX2_ROWS)
// One channel's constants of power_quad, as vectors, and its tables.
struct PowerLanes {
    __m256d c0, c1, c2, c3, c4, c5;
    __m256d gain, offset, black_lift, bt1886_factor;
    const double* inverse_step;
    const double* of_two;
    const double* of_step;
};

template <DisplayTransfer transfer>
[[gnu::target("avx2,fma")]] void set_lanes(PowerLanes& k, const SignalLight& s, int c) {
    const PowerTable& p = s.power[transfer == DisplayTransfer::profile ? c : 0];
    const GogChannel& g = c == 0 ? s.gog.red : (c == 1 ? s.gog.green : s.gog.blue);
    k.c0 = _mm256_set1_pd(p.series[0]);
    k.c1 = _mm256_set1_pd(p.series[1]);
    k.c2 = _mm256_set1_pd(p.series[2]);
    k.c3 = _mm256_set1_pd(p.series[3]);
    k.c4 = _mm256_set1_pd(p.series[4]);
    k.c5 = _mm256_set1_pd(p.series[5]);
    k.gain = _mm256_set1_pd(g.gain);
    k.offset = _mm256_set1_pd(g.offset);
    k.black_lift = _mm256_set1_pd(s.parameters.bt1886_b);
    k.bt1886_factor = _mm256_set1_pd(s.bt1886_factor);
    k.inverse_step = p.inverse_step.data();
    k.of_two = p.of_two.data();
    k.of_step = p.of_step.data();
}

// power_light of four values, the table entries loaded one by one (the processor's gathers
// are slower here): the same IEEE operations in the same order, so the same doubles. The
// lanes outside the power's tables (`outside`) and the lanes that may be a byte's value
// (`maybe_byte`) are for the caller to put right one by one (fix_lanes).
template <DisplayTransfer transfer>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256d light_quad(const PowerLanes& k,
                                                                          __m256d raw, int& outside,
                                                                          int& maybe_byte) {
    constexpr int shift = 52 - PowerTable::step_bits;
    const __m256i mantissa = _mm256_set1_epi64x((std::int64_t{1} << 52) - 1);
    const __m256i exponent_one = _mm256_set1_epi64x(std::int64_t{1023} << 52);
    const __m256i half_step = _mm256_set1_epi64x(std::int64_t{1} << (shift - 1));
    const __m256i lowest = _mm256_set1_epi64x(PowerTable::lowest_biased);
    const __m256i rows = _mm256_set1_epi64x(PowerTable::biased_count);
    const __m256i none = _mm256_set1_epi64x(-1);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d positive = _mm256_cmp_pd(raw, zero, _CMP_GT_OQ);
    const __m256d below_one = _mm256_cmp_pd(raw, one, _CMP_LT_OQ);
    const __m256d w = _mm256_and_pd(_mm256_blendv_pd(one, raw, below_one), positive);
    __m256d x;
    if constexpr (transfer == DisplayTransfer::srgb) {
        x = _mm256_mul_pd(_mm256_add_pd(w, _mm256_set1_pd(0.055)), _mm256_set1_pd(1.0 / 1.055));
    } else if constexpr (transfer == DisplayTransfer::bt1886) {
        const __m256d lifted = _mm256_add_pd(w, k.black_lift);
        x = _mm256_blendv_pd(lifted, zero, _mm256_cmp_pd(lifted, zero, _CMP_LT_OQ));
    } else {
        const __m256d base = _mm256_add_pd(_mm256_mul_pd(k.gain, raw), k.offset);
        x = _mm256_and_pd(base, _mm256_cmp_pd(base, zero, _CMP_GT_OQ));
    }
    // power_of: the biased exponent less the table's first row, the nearest step.
    const __m256i bits = _mm256_castpd_si256(x);
    const __m256i row = _mm256_sub_epi64(_mm256_srli_epi64(bits, 52), lowest);
    const __m256i in_table =
        _mm256_and_si256(_mm256_cmpgt_epi64(rows, row), _mm256_cmpgt_epi64(row, none));
    const __m256i fraction = _mm256_and_si256(bits, mantissa);
    const __m256i step_index = _mm256_srli_epi64(_mm256_add_epi64(fraction, half_step), shift);
    const __m256d m = _mm256_castsi256_pd(_mm256_or_si256(fraction, exponent_one));
    const __m256d step =
        _mm256_castsi256_pd(_mm256_add_epi64(_mm256_slli_epi64(step_index, shift), exponent_one));
    alignas(32) std::int64_t ks[4];
    alignas(32) std::int64_t rs[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(ks), step_index);
    _mm256_store_si256(reinterpret_cast<__m256i*>(rs), _mm256_and_si256(row, in_table));
    const __m256d inverse = _mm256_set_pd(k.inverse_step[ks[3]], k.inverse_step[ks[2]],
                                          k.inverse_step[ks[1]], k.inverse_step[ks[0]]);
    const __m256d t = _mm256_mul_pd(_mm256_sub_pd(m, step), inverse);
    const __m256d t2 = _mm256_mul_pd(t, t);
    const __m256d inner =
        _mm256_fmadd_pd(t2, _mm256_fmadd_pd(k.c5, t, k.c4), _mm256_fmadd_pd(k.c3, t, k.c2));
    const __m256d sum = _mm256_fmadd_pd(t2, inner, _mm256_fmadd_pd(k.c1, t, k.c0));
    const __m256d of_two =
        _mm256_set_pd(k.of_two[rs[3]], k.of_two[rs[2]], k.of_two[rs[1]], k.of_two[rs[0]]);
    const __m256d of_step =
        _mm256_set_pd(k.of_step[ks[3]], k.of_step[ks[2]], k.of_step[ks[1]], k.of_step[ks[0]]);
    __m256d light = _mm256_mul_pd(_mm256_mul_pd(of_two, of_step), sum);
    if constexpr (transfer == DisplayTransfer::srgb) {
        // The straight line near black, divided only where a lane is on it.
        const __m256d line = _mm256_cmp_pd(w, _mm256_set1_pd(0.04045), _CMP_LE_OQ);
        if (_mm256_movemask_pd(line) != 0) {
            light = _mm256_blendv_pd(light, _mm256_div_pd(w, _mm256_set1_pd(12.92)), line);
        }
    } else if constexpr (transfer == DisplayTransfer::bt1886) {
        light = _mm256_mul_pd(light, k.bt1886_factor);
    }
    // Lanes outside the power's tables, and lanes that may be a byte's value, as
    // byte_entries_avx2 finds them.
    const int inside = _mm256_movemask_pd(_mm256_and_pd(positive, below_one));
    outside = _mm256_movemask_pd(_mm256_castsi256_pd(in_table)) ^ 15;
    maybe_byte = near_byte_lanes(raw) | (~inside & 15);
    return light;
}

template <DisplayTransfer transfer>
[[gnu::target("avx2,fma")]] void power_row_avx2(const SignalLight& s, int c, const double* v,
                                                double* y, int n) {
    PowerLanes k;
    set_lanes<transfer>(k, s, c);
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        int outside = 0;
        int maybe_byte = 0;
        _mm256_storeu_pd(y + i,
                         light_quad<transfer>(k, _mm256_loadu_pd(v + i), outside, maybe_byte));
        fix_lanes(outside, maybe_byte, table, v, y, i,
                  [&s, c](double value) { return power_light(s, c, value); });
    }
    power_row_plain(s, c, v + i, y + i, n - i);
}
#endif

void power_row(const SignalLight& s, int c, const double* v, double* y, int n) {
#if defined(ORV_AVX2_ROWS)
    if (processor_has_avx2_fma() && s.power[0].series_fits &&
        (s.transfer != DisplayTransfer::profile ||
         (s.power[1].series_fits && s.power[2].series_fits))) {
        switch (s.transfer) {
            case DisplayTransfer::srgb:
                power_row_avx2<DisplayTransfer::srgb>(s, c, v, y, n);
                return;
            case DisplayTransfer::bt1886:
                power_row_avx2<DisplayTransfer::bt1886>(s, c, v, y, n);
                return;
            default:
                power_row_avx2<DisplayTransfer::profile>(s, c, v, y, n);
                return;
        }
    }
#endif
    power_row_plain(s, c, v, y, n);
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
    // Fused multiply-adds, each rounded once, as the rows' vector code forms them.
    const double low = std::fma(std::fma(c[3], x, c[2]), x2, std::fma(c[1], x, c[0]));
    const double high = std::fma(std::fma(c[7], x, c[6]), x2, std::fma(c[5], x, c[4]));
    return std::fma(high, x4, low);
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

#if defined(ORV_AVX2_ROWS)
// One channel's constants of the PQ quad, as vectors, and the polynomials.
struct PqLanes {
    const PqPolynomials::Cell* cells;
    __m256d peak, per_white, black, full;
};

template <DisplayTransfer>
[[gnu::target("avx2,fma")]] void set_lanes(PqLanes& k, const SignalLight& s, int c) {
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    k.cells = s.pq->polynomials.data();
    k.peak = _mm256_set1_pd(s.parameters.peak);
    k.per_white = _mm256_set1_pd(s.per_white);
    k.black = _mm256_set1_pd(table[0]);
    k.full = _mm256_set1_pd(table[255]);
}

// pq_relative of four values: each lane's polynomial loaded as two vectors and the four
// transposed, then the same operations in the same order, so the same doubles. The lanes
// between 2^-21 and the polynomials' table (`outside`) and the lanes inside (0, 1) that may be
// a byte's value (`maybe_byte`, as byte_entries_avx2) are for the caller to put right one by
// one.
template <DisplayTransfer>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256d light_quad(const PqLanes& k,
                                                                          __m256d raw, int& outside,
                                                                          int& maybe_byte) {
    const __m256i offset = _mm256_set1_epi64x(std::int64_t{1023 + PqPolynomials::lowest_octave}
                                              << PqPolynomials::cell_bits);
    const __m256i count = _mm256_set1_epi64x(PqPolynomials::cells);
    const __m256i none = _mm256_set1_epi64x(-1);
    const __m256i start_mask = _mm256_set1_epi64x(~((std::int64_t{1} << 46) - 1));
    const __m256i scale_base = _mm256_set1_epi64x(2053);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d tiny = _mm256_set1_pd(0x1p-21);
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
        const double* coefficients = k.cells[index[lane]].c;
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
    const __m256d p01 = _mm256_fmadd_pd(term[1], x, term[0]);
    const __m256d p23 = _mm256_fmadd_pd(term[3], x, term[2]);
    const __m256d p45 = _mm256_fmadd_pd(term[5], x, term[4]);
    const __m256d p67 = _mm256_fmadd_pd(term[7], x, term[6]);
    const __m256d lower = _mm256_fmadd_pd(p23, x2, p01);
    const __m256d upper = _mm256_fmadd_pd(p67, x2, p45);
    const __m256d light = _mm256_fmadd_pd(upper, x4, lower);
    const __m256d shown = _mm256_blendv_pd(k.peak, light, _mm256_cmp_pd(light, k.peak, _CMP_LT_OQ));
    // Below 2^-21 the light is 0 (E < c1); 0 and 1 themselves are bytes' values, which take
    // the bytes' entries; other clipped values give the 0 and the peak computed.
    const __m256d dark = _mm256_cmp_pd(value, tiny, _CMP_LT_OQ);
    __m256d result = _mm256_andnot_pd(dark, _mm256_mul_pd(shown, k.per_white));
    result = _mm256_blendv_pd(result, k.black, _mm256_cmp_pd(raw, zero, _CMP_EQ_OQ));
    result = _mm256_blendv_pd(result, k.full, _mm256_cmp_pd(raw, one, _CMP_EQ_OQ));
    const int unit = _mm256_movemask_pd(_mm256_and_pd(positive, below_one));
    outside = _mm256_movemask_pd(
        _mm256_andnot_pd(dark, _mm256_castsi256_pd(_mm256_andnot_si256(inside, none))));
    maybe_byte = near_byte_lanes(raw) & unit;
    return result;
}

[[gnu::target("avx2,fma")]] void pq_row_avx2(const SignalLight& s, int c, const double* v,
                                             double* y, int n) {
    PqLanes k;
    set_lanes<DisplayTransfer::pq>(k, s, c);
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        int outside = 0;
        int maybe_byte = 0;
        _mm256_storeu_pd(
            y + i, light_quad<DisplayTransfer::pq>(k, _mm256_loadu_pd(v + i), outside, maybe_byte));
        fix_lanes(outside, maybe_byte, table, v, y, i,
                  [&s](double value) { return pq_relative(s, value); });
    }
    pq_row_plain(s, c, v + i, y + i, n - i);
}
#endif

void pq_row(const SignalLight& s, int c, const double* v, double* y, int n) {
#if defined(ORV_AVX2_ROWS)
    if (processor_has_avx2_fma()) {
        pq_row_avx2(s, c, v, y, n);
        return;
    }
#endif
    pq_row_plain(s, c, v, y, n);
}

#if defined(ORV_AVX2_ROWS)
// One lane of channel c put right: the transfer's light, value by value.
template <DisplayTransfer transfer>
double lane_light(const SignalLight& s, int c, double value) {
    if constexpr (transfer == DisplayTransfer::pq) {
        return pq_relative(s, value);
    } else {
        return power_light(s, c, value);
    }
}

// signal_row_to_planes four pixels at a time: the pixels' channels taken apart with
// shuffles (as take_apart_avx2), each channel's light_quad, lanes put right one by one where
// they must be, and the matrix with the products and sums in the plain order, the light never
// leaving the registers. The row's last pixels go value by value.
template <DisplayTransfer transfer, class Lanes>
[[gnu::target("avx2,fma")]] void planes_row_avx2(const SignalLight& s, const Matrix3& m,
                                                 const double* in, int n, double* const out[3]) {
    Lanes k[3];
    for (int c = 0; c < 3; ++c) set_lanes<transfer>(k[c], s, c);
    __m256d q[9];
    for (std::size_t i = 0; i < 9; ++i) q[i] = _mm256_set1_pd(m[i]);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const double* p = in + 3 * static_cast<std::size_t>(x);
        const __m256d m0 = _mm256_loadu_pd(p);
        const __m256d m1 = _mm256_loadu_pd(p + 4);
        const __m256d m2 = _mm256_loadu_pd(p + 8);
        const __m256d lo = _mm256_permute2f128_pd(m0, m1, 0x30);   // r0 g0 | r2 g2
        const __m256d mid = _mm256_permute2f128_pd(m0, m2, 0x21);  // b0 r1 | b2 r3
        const __m256d hi = _mm256_permute2f128_pd(m1, m2, 0x30);   // g1 b1 | g3 b3
        const __m256d v[3] = {_mm256_shuffle_pd(lo, mid, 0b1010), _mm256_shuffle_pd(lo, hi, 0b0101),
                              _mm256_shuffle_pd(mid, hi, 0b1010)};
        __m256d light[3];
        int outside[3];
        int maybe_byte[3];
        for (int c = 0; c < 3; ++c) {
            light[c] = light_quad<transfer>(k[c], v[c], outside[c], maybe_byte[c]);
        }
        for (int c = 0; c < 3; ++c) {
            if ((outside[c] | maybe_byte[c]) == 0) continue;
            alignas(32) double raw[4];
            alignas(32) double y[4];
            _mm256_store_pd(raw, v[c]);
            _mm256_store_pd(y, light[c]);
            fix_lanes(outside[c], maybe_byte[c], s.table[static_cast<std::size_t>(c)].data(), raw,
                      y, 0, [&s, c](double value) { return lane_light<transfer>(s, c, value); });
            light[c] = _mm256_load_pd(y);
        }
        for (int row = 0; row < 3; ++row) {
            const __m256d sum =
                _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(q[3 * row], light[0]),
                                            _mm256_mul_pd(q[3 * row + 1], light[1])),
                              _mm256_mul_pd(q[3 * row + 2], light[2]));
            _mm256_storeu_pd(out[row] + x, sum);
        }
    }
    // The last pixels: their light as channel_light_row gives it, then the matrix.
    double rgb[3][4];
    double light[3][4];
    const int rest = n - x;
    take_apart(in + 3 * static_cast<std::size_t>(x), rest, rgb[0], rgb[1], rgb[2]);
    for (int c = 0; c < 3; ++c) channel_light_row(s, c, rgb[c], light[c], rest);
    for (int i = 0; i < rest; ++i) {
        for (int row = 0; row < 3; ++row) {
            const std::size_t r = 3 * static_cast<std::size_t>(row);
            out[row][x + i] = m[r] * light[0][i] + m[r + 1] * light[1][i] + m[r + 2] * light[2][i];
        }
    }
}
#endif

// The scene light of HLG's inverse OETF, as channel_light gives it.
double hlg_scene_light(const SignalLight& s, double v) {
    namespace k = display_constants;
    v = clip01(v);
    return v <= 0.5 ? v * v / 3.0
                    : (exp_of(s.hlg_exp, (v - k::hlg_c) / k::hlg_a) + k::hlg_b) / 12.0;
}

}  // namespace

void channel_light_row(const SignalLight& s, int c, const double* v, double* y, int n) {
    switch (s.transfer) {
        case DisplayTransfer::pq:
            pq_row(s, c, v, y, n);
            return;
        case DisplayTransfer::hlg:
            for (int i = 0; i < n; ++i) y[i] = hlg_scene_light(s, v[i]);
            byte_entries(s, c, v, y, n);
            return;
        default:
            power_row(s, c, v, y, n);
            return;
    }
}

namespace {

// Red, green and blue of n pixels into three arrays.
void take_apart_plain(const double* from, int n, double* r, double* g, double* b) {
    for (int i = 0; i < n; ++i) {
        r[i] = from[3 * i];
        g[i] = from[3 * i + 1];
        b[i] = from[3 * i + 2];
    }
}

#if defined(ORV_AVX2_ROWS)
// Four pixels at a time: (r0 g0 | b0 r1), (g1 b1 | r2 g2), (b2 r3 | g3 b3) regrouped by halves
// and then shuffled within them.
[[gnu::target("avx2")]] void take_apart_avx2(const double* from, int n, double* r, double* g,
                                             double* b) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const double* p = from + 3 * i;
        const __m256d m0 = _mm256_loadu_pd(p);
        const __m256d m1 = _mm256_loadu_pd(p + 4);
        const __m256d m2 = _mm256_loadu_pd(p + 8);
        const __m256d x = _mm256_permute2f128_pd(m0, m1, 0x30);  // r0 g0 | r2 g2
        const __m256d y = _mm256_permute2f128_pd(m0, m2, 0x21);  // b0 r1 | b2 r3
        const __m256d z = _mm256_permute2f128_pd(m1, m2, 0x30);  // g1 b1 | g3 b3
        _mm256_storeu_pd(r + i, _mm256_shuffle_pd(x, y, 0b1010));
        _mm256_storeu_pd(g + i, _mm256_shuffle_pd(x, z, 0b0101));
        _mm256_storeu_pd(b + i, _mm256_shuffle_pd(y, z, 0b1010));
    }
    take_apart_plain(from + 3 * i, n - i, r + i, g + i, b + i);
}
#endif

}  // namespace

void take_apart(const double* from, int n, double* r, double* g, double* b) {
#if defined(ORV_AVX2_ROWS)
    if (processor_has_avx2()) {
        take_apart_avx2(from, n, r, g, b);
        return;
    }
#endif
    take_apart_plain(from, n, r, g, b);
}

bool signal_row_to_planes(const SignalLight& s, const Matrix3& m, const double* in, int width,
                          double* p0, double* p1, double* p2) {
#if defined(ORV_AVX2_ROWS)
    if (!processor_has_avx2_fma()) return false;
    double* const out[3] = {p0, p1, p2};
    const bool series_fit =
        s.power[0].series_fits && s.power[1].series_fits && s.power[2].series_fits;
    switch (s.transfer) {
        case DisplayTransfer::pq:
            planes_row_avx2<DisplayTransfer::pq, PqLanes>(s, m, in, width, out);
            return true;
        case DisplayTransfer::srgb:
            if (!s.power[0].series_fits) return false;
            planes_row_avx2<DisplayTransfer::srgb, PowerLanes>(s, m, in, width, out);
            return true;
        case DisplayTransfer::bt1886:
            if (!s.power[0].series_fits) return false;
            planes_row_avx2<DisplayTransfer::bt1886, PowerLanes>(s, m, in, width, out);
            return true;
        case DisplayTransfer::profile:
            if (!series_fit) return false;
            planes_row_avx2<DisplayTransfer::profile, PowerLanes>(s, m, in, width, out);
            return true;
        case DisplayTransfer::hlg:
            return false;
    }
#endif
    (void)s, (void)m, (void)in, (void)width, (void)p0, (void)p1, (void)p2;
    return false;
}

}  // namespace orv
