#include "colour/signal_rows.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "colour/signal_quads.h"
#include "numeric/processor.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orv {

namespace {

using namespace signal_rows_detail;

// The light of v from a channel's cells where they hold it: v in [2^-19, 1) and a cell the
// fit kept (the others hold NaN). False elsewhere.
inline bool cells_light(const PqPolynomials* p, double v, double& y) {
    if (p == nullptr) return false;
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const std::int64_t cell = pq_cell(bits);
    if (cell < 0 || cell >= PqPolynomials::cells - 1) return false;
    const double value = cell_polynomial(p->polynomials.data(), bits, cell, v);
    if (std::isnan(value)) return false;
    y = value;
    return true;
}

// PQ's absolute light by the formula: E = V^(1/m2) and the outer power from the tables.
double pq_formula_light(const SignalLight& s, double v) {
    namespace k = display_constants;
    const double e = power_of(s.power[0], v);
    return 10000.0 * power_of(s.pq_outer, std::max(e - k::pq_c1, 0.0) / (k::pq_c2 - k::pq_c3 * e));
}

// PQ's absolute light of v in [0, 1]: its cell's polynomial, below 2^-19 the formula.
inline double pq_light(const SignalLight& s, double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const std::int64_t cell = pq_cell(bits);
    if (cell < 0 || cell >= PqPolynomials::cells) {
        return v < 0x1p-21 ? 0.0 : pq_formula_light(s, v);
    }
    return cell_polynomial(s.pq->polynomials.data(), bits, cell, v);
}

// One row of PQ: clipped to [0, 1], the light, clipped at the peak and relative to the white,
// and a byte's value taking the byte's entry, in one pass.
inline double pq_relative(const SignalLight& s, double v) {
    const double light = pq_light(s, clip01(v));
    return (light < s.parameters.peak ? light : s.parameters.peak) * s.per_white;
}

// The light of one value by the profile's model, srgb, bt1886 or PQ (relative to the white):
// from the channel's cells, elsewhere with power_of's powers or PQ's own light.
double power_light(const SignalLight& s, int c, double v) {
    if (double y = 0.0; cells_light(s.cells[static_cast<std::size_t>(c)], v, y)) {
        return y < s.ceiling ? y : s.ceiling;  // as the rows' vector code clips PQ's light
    }
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
        case DisplayTransfer::pq:
            return pq_relative(s, v);
        default: {
            const GogChannel& g = c == 0 ? s.gog.red : (c == 1 ? s.gog.green : s.gog.blue);
            const double base = g.gain * v + g.offset;
            return power_of(s.power[static_cast<std::size_t>(c)], base > 0.0 ? base : 0.0);
        }
    }
}

// Values that are a byte's take the byte's table entry. Decoded video seldom has one apart
// from black and clipped white, so the row is looked over first for values near a byte's.
void byte_entries_plain(const SignalLight& s, int c, const double* v, double* y, int n) {
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    for (int i = 0; i < n; ++i) take_byte_entry(table, v[i], y[i]);
}

#if defined(ORV_AVX2_ROWS)

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

// power_row from the cells, four values at a time; lanes put right one by one by power_light.
template <DisplayTransfer transfer>
[[gnu::target("avx2,fma")]] void cells_row_avx2(const SignalLight& s, int c, const double* v,
                                                double* y, int n) {
    CellLanes k;
    set_lanes<transfer>(k, s, c);
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        int outside = 0;
        int maybe_byte = 0;
        const __m256d raw = _mm256_loadu_pd(v + i);
        __m256d light = light_quad<transfer>(k, raw, outside, maybe_byte);
        if ((outside | maybe_byte) != 0) light = take_ends(raw, light, table, outside, maybe_byte);
        _mm256_storeu_pd(y + i, light);
        fix_lanes(outside, maybe_byte, table, v, y, i,
                  [&s, c](double value) { return power_light(s, c, value); });
    }
    power_row_plain(s, c, v + i, y + i, n - i);
}
#endif

void power_row(const SignalLight& s, int c, const double* v, double* y, int n) {
#if defined(ORV_AVX2_ROWS)
    if (processor_has_avx2_fma() && s.cells[static_cast<std::size_t>(c)] != nullptr) {
        if (s.transfer == DisplayTransfer::pq) {
            cells_row_avx2<DisplayTransfer::pq>(s, c, v, y, n);
        } else {
            cells_row_avx2<DisplayTransfer::profile>(s, c, v, y, n);
        }
        return;
    }
#endif
    power_row_plain(s, c, v, y, n);
}

#if defined(ORV_AVX2_ROWS)
// signal_row_to_planes four pixels at a time: the pixels' channels taken apart with
// shuffles (take_apart_quad), each channel's light_quad, lanes put right one by one where
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
        __m256d v[3];
        take_apart_quad(in + 3 * static_cast<std::size_t>(x), v);
        __m256d light[3];
        int outside[3];
        int maybe_byte[3];
        for (int c = 0; c < 3; ++c) {
            light[c] = light_quad<transfer>(k[c], v[c], outside[c], maybe_byte[c]);
        }
        for (int c = 0; c < 3; ++c) {
            if ((outside[c] | maybe_byte[c]) == 0) continue;
            const double* table = s.table[static_cast<std::size_t>(c)].data();
            light[c] = take_ends(v[c], light[c], table, outside[c], maybe_byte[c]);
            if ((outside[c] | maybe_byte[c]) == 0) continue;
            alignas(32) double raw[4];
            alignas(32) double y[4];
            _mm256_store_pd(raw, v[c]);
            _mm256_store_pd(y, light[c]);
            fix_lanes(outside[c], maybe_byte[c], table, raw, y, 0,
                      [&s, c](double value) { return power_light(s, c, value); });
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
// Four pixels at a time.
[[gnu::target("avx2")]] void take_apart_avx2(const double* from, int n, double* r, double* g,
                                             double* b) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        __m256d v[3];
        take_apart_quad(from + 3 * i, v);
        _mm256_storeu_pd(r + i, v[0]);
        _mm256_storeu_pd(g + i, v[1]);
        _mm256_storeu_pd(b + i, v[2]);
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
    if (s.cells[0] != nullptr && s.cells[1] != nullptr && s.cells[2] != nullptr) {
        if (s.transfer == DisplayTransfer::pq) {
            planes_row_avx2<DisplayTransfer::pq, CellLanes>(s, m, in, width, out);
        } else {
            planes_row_avx2<DisplayTransfer::profile, CellLanes>(s, m, in, width, out);
        }
        return true;
    }
#endif
    (void)s, (void)m, (void)in, (void)width, (void)p0, (void)p1, (void)p2;
    return false;
}

}  // namespace orv
