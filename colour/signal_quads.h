#pragma once
// The pieces of the signal rows' kernels (colour/signal_rows.cpp): the polynomials' cells,
// the byte-value check, and one channel's light of four values at a time with AVX2 from the
// cells (the profile's model, sRGB, BT.1886, PQ), with the same operations in the same order
// as the value-by-value form. For signal_rows.cpp alone.

#include <bit>
#include <cstdint>

#include "colour/signal_light.h"
#include "colour/signal_rows.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ORV_AVX2_ROWS 1
#endif

namespace orv::signal_rows_detail {

// The polynomials' cell of v in [0, 1] (outside [0, cells) below 2^-19): the exponent and the
// six bits after it.
inline std::int64_t pq_cell(std::uint64_t bits) {
    return static_cast<std::int64_t>(bits >> 46) -
           (std::int64_t{1023 + PqPolynomials::lowest_octave} << PqPolynomials::cell_bits);
}

// The polynomial of v's cell in s = 2 (v - a) / step - 1, a the cell's start (v with the bits
// after the cell's cleared) and 2 / step = 2^(7 - octave), so that s is exact.
inline double cell_polynomial(const PqPolynomials::Cell* cells, std::uint64_t bits,
                              std::int64_t cell, double v) {
    const double a = std::bit_cast<double>(bits & ~((std::uint64_t{1} << 46) - 1));
    const double scale = std::bit_cast<double>((2053 - (bits >> 52)) << 52);
    const double x = (v - a) * scale - 1.0;
    const double* c = cells[static_cast<std::size_t>(cell)].c;
    // Estrin's order: short chains of dependent operations.
    const double x2 = x * x;
    const double x4 = x2 * x2;
    // Fused multiply-adds, each rounded once, as the rows' vector code forms them.
    const double low = std::fma(std::fma(c[3], x, c[2]), x2, std::fma(c[1], x, c[0]));
    const double high = std::fma(std::fma(c[7], x, c[6]), x2, std::fma(c[5], x, c[4]));
    return std::fma(high, x4, low);
}

// y takes the byte's table entry where v is a byte's value.
inline void take_byte_entry(const double* table, double v, double& y) {
    int d = 0;
    if (near_byte(v, d) && byte_match(v, d) != 0) y = table[d];
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
#endif

#if defined(ORV_AVX2_ROWS)
// Four pixels' red, green and blue (twelve values from p) as three vectors: (r0 g0 | b0 r1),
// (g1 b1 | r2 g2), (b2 r3 | g3 b3) regrouped by halves and then shuffled within them.
[[gnu::target("avx2"), gnu::always_inline]] inline void take_apart_quad(const double* p,
                                                                        __m256d v[3]) {
    const __m256d m0 = _mm256_loadu_pd(p);
    const __m256d m1 = _mm256_loadu_pd(p + 4);
    const __m256d m2 = _mm256_loadu_pd(p + 8);
    const __m256d lo = _mm256_permute2f128_pd(m0, m1, 0x30);   // r0 g0 | r2 g2
    const __m256d mid = _mm256_permute2f128_pd(m0, m2, 0x21);  // b0 r1 | b2 r3
    const __m256d hi = _mm256_permute2f128_pd(m1, m2, 0x30);   // g1 b1 | g3 b3
    v[0] = _mm256_shuffle_pd(lo, mid, 0b1010);
    v[1] = _mm256_shuffle_pd(lo, hi, 0b0101);
    v[2] = _mm256_shuffle_pd(mid, hi, 0b1010);
}
#endif

#if defined(ORV_AVX2_ROWS)
// Lanes whose value is exactly 0 or 1, bytes' values common in clipped video (black bars), take
// the bytes' light (table[0], table[255]) four at a time and leave both masks: for the quads
// that leave them to fix_lanes, on the path taken only where a quad has such lanes.
[[gnu::target("avx2")]] inline __m256d take_ends(__m256d raw, __m256d light, const double* table,
                                                 int& outside, int& maybe_byte) {
    const __m256d black = _mm256_cmp_pd(raw, _mm256_setzero_pd(), _CMP_EQ_OQ);
    const __m256d white = _mm256_cmp_pd(raw, _mm256_set1_pd(1.0), _CMP_EQ_OQ);
    const int ends = _mm256_movemask_pd(_mm256_or_pd(black, white));
    outside &= ~ends;
    maybe_byte &= ~ends;
    return _mm256_blendv_pd(_mm256_blendv_pd(light, _mm256_set1_pd(table[0]), black),
                            _mm256_set1_pd(table[255]), white);
}
#endif

#if defined(ORV_AVX2_ROWS)
// One channel's cells, for the quads of power_light where they hold the light.
struct CellLanes {
    const PqPolynomials::Cell* cells;
    __m256d ceiling;
};

template <DisplayTransfer>
[[gnu::target("avx2,fma")]] void set_lanes(CellLanes& k, const SignalLight& s, int c) {
    k.cells = s.cells[static_cast<std::size_t>(c)]->polynomials.data();
    k.ceiling = _mm256_set1_pd(s.ceiling);
}

// power_light of four values from their cells: each lane's polynomial loaded as two vectors
// and the four transposed, then cells_light's operations in its order, so the same doubles.
// The lanes outside [2^-19, 1) or in a cell the fit left (NaN) are `outside`; `maybe_byte` as
// byte_entries_avx2 finds them.
template <DisplayTransfer transfer>
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256d light_quad(const CellLanes& k,
                                                                          __m256d raw, int& outside,
                                                                          int& maybe_byte) {
    const __m256i offset = _mm256_set1_epi64x(std::int64_t{1023 + PqPolynomials::lowest_octave}
                                              << PqPolynomials::cell_bits);
    const __m256i count = _mm256_set1_epi64x(PqPolynomials::cells - 1);
    const __m256i none = _mm256_set1_epi64x(-1);
    const __m256i start_mask = _mm256_set1_epi64x(~((std::int64_t{1} << 46) - 1));
    const __m256i scale_base = _mm256_set1_epi64x(2053);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256i bits = _mm256_castpd_si256(raw);
    const __m256i cell = _mm256_sub_epi64(_mm256_srli_epi64(bits, 46), offset);
    const __m256i inside =
        _mm256_and_si256(_mm256_cmpgt_epi64(count, cell), _mm256_cmpgt_epi64(cell, none));
    alignas(32) std::int64_t index[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(index), _mm256_and_si256(cell, inside));
    const __m256d a = _mm256_castsi256_pd(_mm256_and_si256(bits, start_mask));
    const __m256d scale = _mm256_castsi256_pd(
        _mm256_slli_epi64(_mm256_sub_epi64(scale_base, _mm256_srli_epi64(bits, 52)), 52));
    const __m256d x = _mm256_sub_pd(_mm256_mul_pd(_mm256_sub_pd(raw, a), scale), one);
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
    const __m256d missed = _mm256_cmp_pd(light, light, _CMP_UNORD_Q);
    outside = _mm256_movemask_pd(
                  _mm256_or_pd(missed, _mm256_castsi256_pd(_mm256_andnot_si256(inside, none)))) &
              15;
    maybe_byte = near_byte_lanes(raw) | (~inside_unit_lanes(raw) & 15);
    // PQ's light clipped at the peak (a NaN lane, put right later, takes the ceiling).
    if constexpr (transfer == DisplayTransfer::pq) return _mm256_min_pd(light, k.ceiling);
    return light;
}
#endif

}  // namespace orv::signal_rows_detail
