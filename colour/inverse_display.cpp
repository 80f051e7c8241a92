// The inverse display model of the filtered frames: opponent planes back to the display's
// bytes, exactly as the formula gives them, by look-up wherever a table can say the byte.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "colour/conversions.h"
#include "numeric/failure.h"
#include "numeric/processor.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#endif

namespace orv {

std::uint8_t inverse_display_byte(double u, const GogChannel& ch, double inverse_gamma) {
    // A negative u with a non-integer exponent has no real power: pow gives NaN and the
    // byte is 0, like every value at or below 0.
    const double linear = (std::pow(u, inverse_gamma) - ch.offset) / ch.gain;
    const double s = linear * 255.0;
    if (s >= 255.0) return 255;
    if (!(s > 0.0)) return 0;
    return static_cast<std::uint8_t>(s);
}

void planes_to_display(PixelBuffer& out, const PlanarImage& image, const GogParameters& gog,
                       const Matrix3& m_inverse) {
    check_pixel_buffer(out, "destination");
    check_planar_image(image, "image");
    if (out.width != image.width || out.height != image.height) {
        raise_failure(FailureKind::destination_mismatch, {},
                      {std::to_string(out.width), std::to_string(out.height),
                       std::to_string(image.width), std::to_string(image.height)});
    }
    planes_to_display_from(out, image.planes[0].data(), image.planes[1].data(),
                           image.planes[2].data(), gog, m_inverse);
}

namespace {

// The inverse display model of one channel by look-up. The range [0, top) of channel values is
// cut into equal bins; a bin whose whole extent (widened by a relative margin far above the
// error of pow) gives one byte stores it. A bin across which the byte steps up by one stores
// its lower byte and the step's edge, the smallest value giving the upper byte (found by
// bisection over the doubles), and every other value is computed exactly. The exact function
// is non-decreasing for a positive gain, so a clean bin is exact for every value inside it,
// and a bin of one edge for every value on either side of it: the table never changes a byte.
struct InverseChannelTable {
    // Fine enough that few values fall into a bin with two edges or none of the table's
    // ranges and need the power (the tables are built once per thread and display model).
    static constexpr int bins = 32768;
    bool usable = false;
    double top = 0.0;    // values at or above top (and finite) give 255
    double scale = 0.0;  // bins / top
    // A byte; -(b + 2) for a bin that steps from b to b + 1 at edge[b + 1]; -1: compute
    // exactly. Past the bins: -1 (a value that rounds up into bin `bins`), 255 (the entry the
    // vector path gives values from top up), then the entry of finite negative values: 0 where
    // their power has no real value, else -1.
    std::array<std::int16_t, bins + 3> byte{};
    static constexpr int negative_entry = bins + 2;
    std::array<double, 257> edge{};

    InverseChannelTable(const GogChannel& ch, double inverse_gamma) {
        const double full = ch.gain + ch.offset;  // the linear value 1 in display terms
        if (!(ch.gain > 0.0) || !(full > 0.0)) return;
        constexpr double margin = 1e-12;
        const double threshold = std::pow(full, ch.gamma);
        top = threshold * (1.0 + 1e-9);
        if (!std::isfinite(top) || !(top > 0.0) ||
            inverse_display_byte(top, ch, inverse_gamma) != 255) {
            return;
        }
        scale = bins / top;
        // A subnormal top makes the scale infinite, and 0 * infinity would give a NaN bin.
        if (!std::isfinite(scale)) return;
        for (int q = 0; q < bins; ++q) {
            const double lo = q / scale;
            const double hi = (q + 1) / scale;
            const double below = lo * (1.0 - margin) - 1e-300;
            const double above = hi * (1.0 + margin);
            const std::uint8_t first = inverse_display_byte(below, ch, inverse_gamma);
            const std::uint8_t last = inverse_display_byte(above, ch, inverse_gamma);
            std::int16_t entry = first == last ? first : -1;
            // One step inside a bin of positive values: its edge by bisection over the
            // doubles, which are ordered as their bit patterns.
            if (last == first + 1 && below > 0.0) {
                auto from = std::bit_cast<std::int64_t>(below);
                auto to = std::bit_cast<std::int64_t>(above);
                while (to - from > 1) {
                    const std::int64_t mid = from + (to - from) / 2;
                    const double u = std::bit_cast<double>(mid);
                    (inverse_display_byte(u, ch, inverse_gamma) >= last ? to : from) = mid;
                }
                edge[static_cast<std::size_t>(last)] = std::bit_cast<double>(to);
                entry = static_cast<std::int16_t>(-(first + 2));
            }
            byte[static_cast<std::size_t>(q)] = entry;
        }
        byte[bins] = -1;
        byte[bins + 1] = 255;
        // A finite negative value raised to a finite exponent that is not an integer has no
        // real power: pow gives NaN, and the byte is 0 whatever the gain and offset (filtered
        // saturated colours give many such values). Integer exponents have real powers, which
        // the formula computes.
        const bool no_real_power =
            std::isfinite(inverse_gamma) && std::trunc(inverse_gamma) != inverse_gamma;
        byte[negative_entry] = no_real_power ? 0 : -1;
        usable = true;
    }

    std::uint8_t lookup(double u, const GogChannel& ch, double inverse_gamma) const {
        if (usable && u < 0.0 && u >= -std::numeric_limits<double>::max() &&
            byte[negative_entry] == 0) {
            return 0;
        }
        if (usable && u >= 0.0) {
            if (u >= top) {
                if (u <= std::numeric_limits<double>::max()) return 255;
            } else {
                const int q = static_cast<int>(u * scale);
                if (q < bins) {
                    const std::int16_t b = byte[static_cast<std::size_t>(q)];
                    if (b >= 0) return static_cast<std::uint8_t>(b);
                    if (b <= -2) {
                        const int low = -b - 2;
                        return static_cast<std::uint8_t>(
                            low + (u >= edge[static_cast<std::size_t>(low + 1)]));
                    }
                }
            }
        }
        return inverse_display_byte(u, ch, inverse_gamma);
    }
};

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
// One channel of four pixels by look-up: the table entry of each value's bin (a bin of one
// edge answered by comparing the value with the edge), the entry past the bins that holds
// 255 for values from top up, the entry of finite negative values, the -1 entry for anything
// else (NaN, infinite). The four entries are read one by one: on the machines measured, four
// plain reads cost less than a gather instruction.
[[gnu::target("avx2")]] inline __m128i quad_entries(const InverseChannelTable& table, __m256d u) {
    constexpr int bins = InverseChannelTable::bins;
    const __m256d top = _mm256_set1_pd(table.top);
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(u, _mm256_setzero_pd(), _CMP_GE_OQ),
                                         _mm256_cmp_pd(u, top, _CMP_LT_OQ));
    const __m256d above = _mm256_and_pd(
        _mm256_cmp_pd(u, top, _CMP_GE_OQ),
        _mm256_cmp_pd(u, _mm256_set1_pd(std::numeric_limits<double>::max()), _CMP_LE_OQ));
    const __m256d negative = _mm256_and_pd(
        _mm256_cmp_pd(u, _mm256_setzero_pd(), _CMP_LT_OQ),
        _mm256_cmp_pd(u, _mm256_set1_pd(-std::numeric_limits<double>::max()), _CMP_GE_OQ));
    const __m256d outside =
        _mm256_blendv_pd(_mm256_blendv_pd(_mm256_set1_pd(bins), _mm256_set1_pd(bins + 1), above),
                         _mm256_set1_pd(InverseChannelTable::negative_entry), negative);
    const __m256d bin =
        _mm256_blendv_pd(outside, _mm256_mul_pd(u, _mm256_set1_pd(table.scale)), inside);
    alignas(16) std::int32_t at[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at), _mm256_cvttpd_epi32(bin));
    const std::int16_t* bytes = table.byte.data();
    const __m128i entry = _mm_setr_epi32(bytes[at[0]], bytes[at[1]], bytes[at[2]], bytes[at[3]]);
    // Bins of one edge: the lower byte, plus one where the value has reached the edge.
    const __m128i stepped = _mm_cmplt_epi32(entry, _mm_set1_epi32(-1));
    if (_mm_movemask_ps(_mm_castsi128_ps(stepped)) == 0) return entry;
    const __m128i low = _mm_sub_epi32(_mm_set1_epi32(-2), entry);
    const __m256d edge =
        _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table.edge.data() + 1, low,
                                 _mm256_castsi256_pd(_mm256_cvtepi32_epi64(stepped)), 8);
    const __m256i reached = _mm256_castpd_si256(_mm256_cmp_pd(u, edge, _CMP_GE_OQ));
    // The low halves of the four 64-bit comparisons; -1 where reached, so subtracting adds one.
    const __m128i reached32 = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(reached, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
    return _mm_blendv_epi8(entry, _mm_sub_epi32(low, reached32), stepped);
}

// Row k of m times the columns (a, b, c), products and sums in the pixel loop's order.
[[gnu::target("avx2")]] inline __m256d matrix_row(const Matrix3& m, int k, __m256d a, __m256d b,
                                                  __m256d c) {
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(m[3 * k]), a),
                                       _mm256_mul_pd(_mm256_set1_pd(m[3 * k + 1]), b)),
                         _mm256_mul_pd(_mm256_set1_pd(m[3 * k + 2]), c));
}

// Four pixels of plane_rows_to_display where every channel's byte comes from its table: the
// matrix with the pixel loop's products and sums in its order (no fused multiply-add, so the
// same doubles), then the twelve bytes. False, with nothing written, where any value needs
// the exact inverse.
[[gnu::target("avx2"), gnu::always_inline]] inline bool looked_up_quad(
    const Matrix3& m, const InverseChannelTable& red, const InverseChannelTable& green,
    const InverseChannelTable& blue, const double* p0, const double* p1, const double* p2,
    std::uint8_t* out) {
    const __m256d a = _mm256_loadu_pd(p0);
    const __m256d b = _mm256_loadu_pd(p1);
    const __m256d c = _mm256_loadu_pd(p2);
    const __m128i r = quad_entries(red, matrix_row(m, 0, a, b, c));
    const __m128i g = quad_entries(green, matrix_row(m, 1, a, b, c));
    const __m128i bl = quad_entries(blue, matrix_row(m, 2, a, b, c));
    const __m128i all = _mm_or_si128(_mm_or_si128(r, g), bl);
    if (_mm_movemask_ps(_mm_castsi128_ps(all)) != 0) return false;
    // Blue, green, red in the low three bytes of each pixel's 32 bits, then the twelve packed.
    const __m128i bgr = _mm_or_si128(_mm_or_si128(bl, _mm_slli_epi32(g, 8)), _mm_slli_epi32(r, 16));
    const __m128i packed = _mm_shuffle_epi8(
        bgr, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    alignas(16) std::uint8_t bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), packed);
    std::copy_n(bytes, 12, out);
    return true;
}

// The pixels x of [0, count) (count a multiple of 4) of one row by look-up, four at a time,
// in one function compiled for AVX2 so that the matrix and the tables' constants stay in
// registers across the row. The first pixel of each quad the tables cannot answer goes into
// `missed`; returns how many.
[[gnu::target("avx2")]] int looked_up_row(const Matrix3& m, const InverseChannelTable& red,
                                          const InverseChannelTable& green,
                                          const InverseChannelTable& blue, const double* p0,
                                          const double* p1, const double* p2, std::uint8_t* row,
                                          int count, int* missed) {
    int n = 0;
    for (int x = 0; x < count; x += 4) {
        if (!looked_up_quad(m, red, green, blue, p0 + x, p1 + x, p2 + x, row + 3 * x)) {
            missed[n++] = x;
        }
    }
    return n;
}
#endif

// The three channels' tables of one display model. Building them takes some 200 000 powers
// (two a bin, and a bisection for each edge), so each thread keeps those of the model it used
// last: a frame loop builds them once.
struct InverseTables {
    GogParameters gog;
    InverseChannelTable red, green, blue;

    explicit InverseTables(const GogParameters& g)
        : gog(g),
          red(g.red, 1.0 / g.red.gamma),
          green(g.green, 1.0 / g.green.gamma),
          blue(g.blue, 1.0 / g.blue.gamma) {}
};

bool same_channel(const GogChannel& x, const GogChannel& y) {
    return x.gain == y.gain && x.offset == y.offset && x.gamma == y.gamma;
}

const InverseTables& inverse_tables(const GogParameters& gog) {
    thread_local std::unique_ptr<InverseTables> last;
    if (!last || !same_channel(last->gog.red, gog.red) ||
        !same_channel(last->gog.green, gog.green) || !same_channel(last->gog.blue, gog.blue)) {
        last = std::make_unique<InverseTables>(gog);
    }
    return *last;
}

}  // namespace

void planes_to_display_from(PixelBuffer& out, const double* plane0, const double* plane1,
                            const double* plane2, const GogParameters& gog,
                            const Matrix3& m_inverse) {
    const auto w = static_cast<std::size_t>(out.width);
    const auto h = static_cast<std::size_t>(out.height);
    std::vector<const double*> rows(3 * h);
    for (std::size_t y = 0; y < h; ++y) {
        rows[y] = plane0 + y * w;
        rows[h + y] = plane1 + y * w;
        rows[2 * h + y] = plane2 + y * w;
    }
    plane_rows_to_display(out, rows.data(), rows.data() + h, rows.data() + 2 * h, gog, m_inverse);
}

void plane_rows_to_display(PixelBuffer& out, const double* const* rows0, const double* const* rows1,
                           const double* const* rows2, const GogParameters& gog,
                           const Matrix3& m_inverse) {
    const int w = out.width;
    const int h = out.height;
    const double ig_r = 1.0 / gog.red.gamma;
    const double ig_g = 1.0 / gog.green.gamma;
    const double ig_b = 1.0 / gog.blue.gamma;
    const InverseTables& tables = inverse_tables(gog);
    const InverseChannelTable* red = &tables.red;
    const InverseChannelTable* green = &tables.green;
    const InverseChannelTable* blue = &tables.blue;
    const Matrix3& m = m_inverse;
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    const bool vector = processor_has_avx2() && red->usable && green->usable && blue->usable;
    std::vector<int> missed(vector ? static_cast<std::size_t>(w / 4) : 0);
#else
    const bool vector = false;
#endif
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = out.bytes.data() + static_cast<std::size_t>(y) * out.stride;
        const double* p0 = rows0[y];
        const double* p1 = rows1[y];
        const double* p2 = rows2[y];
        const auto pixel = [&](int x) {
            const double u0 = m[0] * p0[x] + m[1] * p1[x] + m[2] * p2[x];
            const double u1 = m[3] * p0[x] + m[4] * p1[x] + m[5] * p2[x];
            const double u2 = m[6] * p0[x] + m[7] * p1[x] + m[8] * p2[x];
            row[3 * x] = blue->lookup(u2, gog.blue, ig_b);
            row[3 * x + 1] = green->lookup(u1, gog.green, ig_g);
            row[3 * x + 2] = red->lookup(u0, gog.red, ig_r);
        };
        int x = 0;
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
        if (vector) {
            x = w - w % 4;
            const int n = looked_up_row(m, *red, *green, *blue, p0, p1, p2, row, x, missed.data());
            for (int i = 0; i < n; ++i) {
                const int first = missed[static_cast<std::size_t>(i)];
                for (int k = first; k < first + 4; ++k) pixel(k);
            }
        }
#endif
        for (; x < w; ++x) pixel(x);
    }
}

}  // namespace orv
