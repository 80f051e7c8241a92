#include "colour/conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "colour/profile_files.h"
#include "numeric/failure.h"
#include "numeric/processor.h"
#include "numeric/svd.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#endif

namespace orv {

namespace {

constexpr double byte_scale = 0.00392156862745098;  // the double nearest 1/255

Matrix3 multiply(const Matrix3& p, const Matrix3& q) {
    Matrix3 r{};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) sum += p[3 * row + k] * q[3 * k + col];
            r[3 * row + col] = sum;
        }
    }
    return r;
}

}  // namespace

void check_pixel_buffer(const PixelBuffer& buffer, const char* what) {
    if (buffer.width > max_frame_side || buffer.height > max_frame_side) {
        raise_failure(FailureKind::frame_too_large, {},
                      {what, std::to_string(buffer.width), std::to_string(buffer.height),
                       std::to_string(max_frame_side)});
    }
    const bool sane = buffer.width > 0 && buffer.height > 0 && buffer.stride >= buffer.width * 3 &&
                      buffer.bytes.size() >= static_cast<std::size_t>(buffer.stride) *
                                                 static_cast<std::size_t>(buffer.height);
    if (!sane) {
        raise_failure(FailureKind::pixel_buffer_incomplete, {},
                      {what, std::to_string(buffer.width), std::to_string(buffer.height),
                       std::to_string(buffer.stride), std::to_string(buffer.bytes.size())});
    }
}

void check_planar_image(const PlanarImage& image, const char* what) {
    const bool sides = image.width > 0 && image.height > 0;
    const std::size_t count =
        sides ? static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) : 0;
    for (const auto& plane : image.planes) {
        if (!sides || plane.size() != count) {
            raise_failure(FailureKind::planes_incomplete, {},
                          {what, std::to_string(image.width), std::to_string(image.height)});
        }
    }
}

void check_matrix_invertible(const Matrix3& m, const std::string& path, const char* composed_from) {
    const std::vector<std::string> from = composed_from == nullptr
                                              ? std::vector<std::string>{}
                                              : std::vector<std::string>{composed_from};
    for (double v : m) {
        if (!std::isfinite(v)) {
            raise_failure(composed_from == nullptr ? FailureKind::matrix_not_finite
                                                   : FailureKind::composed_matrix_not_finite,
                          path, from);
        }
        if (std::fabs(v) > max_profile_magnitude) {
            raise_failure(composed_from == nullptr ? FailureKind::matrix_too_large
                                                   : FailureKind::composed_matrix_too_large,
                          path, from);
        }
    }
    // The determinant against the product of the row lengths (Hadamard's bound) is a
    // scale-free measure of how close the rows are to being dependent.
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    double bound = 1.0;
    for (int r = 0; r < 3; ++r) {
        bound *= std::sqrt(m[3 * r] * m[3 * r] + m[3 * r + 1] * m[3 * r + 1] +
                           m[3 * r + 2] * m[3 * r + 2]);
    }
    if (!std::isfinite(det) || !std::isfinite(bound) || !(std::fabs(det) > 1e-12 * bound)) {
        raise_failure(composed_from == nullptr ? FailureKind::matrix_singular
                                               : FailureKind::composed_matrix_singular,
                      path, from);
    }
}

Matrix3 compose_rgb_to_atd(const Matrix3& rgb_to_xyz, const Matrix3& xyz_to_lms,
                           const Matrix3& lms_to_atd, const std::string& folder) {
    const Matrix3 p = multiply(xyz_to_lms, rgb_to_xyz);
    const Matrix3 product = multiply(lms_to_atd, p);
    check_matrix_invertible(product, folder, "RGB");
    return product;
}

Matrix3 compose_xyz_to_atd(const Matrix3& xyz_to_lms, const Matrix3& lms_to_atd,
                           const std::string& folder) {
    const Matrix3 product = multiply(lms_to_atd, xyz_to_lms);
    check_matrix_invertible(product, folder, "XYZ");
    return product;
}

Matrix3 invert_matrix3(const Matrix3& m) {
    Matrix3 inverse{};
    pseudo_inverse_flat(m.data(), inverse.data(), 3, 3);
    for (double v : inverse) {
        if (!std::isfinite(v)) raise_failure(FailureKind::inverse_not_finite);
    }
    return inverse;
}

DisplayTable make_display_table(const GogParameters& gog) {
    DisplayTable table;
    const GogChannel* channels[3] = {&gog.red, &gog.green, &gog.blue};
    for (int c = 0; c < 3; ++c) {
        const GogChannel& ch = *channels[c];
        for (int d = 0; d < 256; ++d) {
            const double r = d * byte_scale;
            double base = ch.gain * r + ch.offset;
            // A negative base has no real power; the display emits no light there.
            if (base < 0.0) base = 0.0;
            table[static_cast<std::size_t>(c)][static_cast<std::size_t>(d)] =
                std::pow(base, ch.gamma);
        }
    }
    return table;
}

PlanarImage display_to_planes(const PixelBuffer& pixels, const GogParameters& gog,
                              const Matrix3& m) {
    check_pixel_buffer(pixels, "source");
    const DisplayTable table = make_display_table(gog);
    PlanarImage image;
    image.width = pixels.width;
    image.height = pixels.height;
    image.channels = 3;
    const std::size_t count =
        static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height);
    for (auto& plane : image.planes) plane.resize(count);
    display_to_planes_into(pixels, table, m, image.planes[0].data(), image.planes[1].data(),
                           image.planes[2].data());
    return image;
}

void display_to_planes_into(const PixelBuffer& pixels, const DisplayTable& table, const Matrix3& m,
                            double* plane0, double* plane1, double* plane2) {
    const auto w = static_cast<std::size_t>(pixels.width);
    const auto h = static_cast<std::size_t>(pixels.height);
    std::vector<double*> rows(3 * h);
    for (std::size_t y = 0; y < h; ++y) {
        rows[y] = plane0 + y * w;
        rows[h + y] = plane1 + y * w;
        rows[2 * h + y] = plane2 + y * w;
    }
    display_to_plane_rows(pixels, table, m, rows.data(), rows.data() + h, rows.data() + 2 * h);
}

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
// error of pow) gives one byte stores it, and every other value is computed exactly. The
// exact function is non-decreasing for a positive gain, so a clean bin is exact for every
// value inside it: the table never changes a byte.
struct InverseChannelTable {
    // Fine enough that few values fall into a bin with a byte edge and need the power (the
    // tables are built once per thread and display model).
    static constexpr int bins = 32768;
    bool usable = false;
    double top = 0.0;    // values at or above top (and finite) give 255
    double scale = 0.0;  // bins / top
    // -1: compute exactly. Past the bins: -1 (a value that rounds up into bin `bins`), 255
    // (the entry the vector path gives values from top up), and padding for its 32-bit reads.
    std::array<std::int16_t, bins + 3> byte{};

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
            const std::uint8_t first =
                inverse_display_byte(lo * (1.0 - margin) - 1e-300, ch, inverse_gamma);
            const std::uint8_t last = inverse_display_byte(hi * (1.0 + margin), ch, inverse_gamma);
            byte[static_cast<std::size_t>(q)] = first == last ? first : -1;
        }
        byte[bins] = -1;
        byte[bins + 1] = 255;
        usable = true;
    }

    std::uint8_t lookup(double u, const GogChannel& ch, double inverse_gamma) const {
        if (usable && u >= 0.0) {
            if (u >= top) {
                if (u <= std::numeric_limits<double>::max()) return 255;
            } else {
                const int q = static_cast<int>(u * scale);
                if (q < bins) {
                    const std::int16_t b = byte[static_cast<std::size_t>(q)];
                    if (b >= 0) return static_cast<std::uint8_t>(b);
                }
            }
        }
        return inverse_display_byte(u, ch, inverse_gamma);
    }
};

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
// One channel of four pixels by look-up: the table entry of each value's bin, the entry past
// the bins that holds 255 for values from top up, the -1 entry for anything else (negative,
// NaN, infinite). The 32-bit reads take each entry with the next as its upper half.
[[gnu::target("avx2")]] inline __m128i quad_entries(const InverseChannelTable& table, __m256d u) {
    constexpr int bins = InverseChannelTable::bins;
    const __m256d top = _mm256_set1_pd(table.top);
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(u, _mm256_setzero_pd(), _CMP_GE_OQ),
                                         _mm256_cmp_pd(u, top, _CMP_LT_OQ));
    const __m256d above = _mm256_and_pd(
        _mm256_cmp_pd(u, top, _CMP_GE_OQ),
        _mm256_cmp_pd(u, _mm256_set1_pd(std::numeric_limits<double>::max()), _CMP_LE_OQ));
    const __m256d outside = _mm256_blendv_pd(_mm256_set1_pd(bins), _mm256_set1_pd(bins + 1), above);
    const __m256d bin =
        _mm256_blendv_pd(outside, _mm256_mul_pd(u, _mm256_set1_pd(table.scale)), inside);
    const __m128i entries = _mm_i32gather_epi32(reinterpret_cast<const int*>(table.byte.data()),
                                                _mm256_cvttpd_epi32(bin), 2);
    return _mm_srai_epi32(_mm_slli_epi32(entries, 16), 16);
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
[[gnu::target("avx2")]] bool looked_up_quad(const Matrix3& m, const InverseChannelTable& red,
                                            const InverseChannelTable& green,
                                            const InverseChannelTable& blue, const double* p0,
                                            const double* p1, const double* p2, std::uint8_t* out) {
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
#endif

// The three channels' tables of one display model. Building them takes some 50 000 powers,
// so each thread keeps those of the model it used last: a frame loop builds them once.
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
            for (; x + 3 < w; x += 4) {
                if (!looked_up_quad(m, *red, *green, *blue, p0 + x, p1 + x, p2 + x, row + 3 * x)) {
                    for (int k = x; k < x + 4; ++k) pixel(k);
                }
            }
        }
#endif
        for (; x < w; ++x) pixel(x);
    }
}

namespace {

// lab_f_values for one block: the power for every value and the straight line chosen where it
// applies, in a loop without branches.
template <bool fused>
[[gnu::always_inline]] inline void lab_f_block(double* values, std::size_t count) {
    // A count rather than a flag: the sum runs four values at a time.
    std::int64_t beyond = 0;
    for (std::size_t i = 0; i < count; ++i) beyond += values[i] >= 1e30 ? 1 : 0;
    if (beyond != 0) {
        // Values far outside any colour: the plain function, value by value.
        for (std::size_t i = 0; i < count; ++i) values[i] = lab_f(values[i]);
        return;
    }
    // The power's three stages, each over a part of the block in turn: a loop of one stage
    // has short chains of dependent operations, so that the processor keeps many values in
    // flight (the power as one chain per value takes half as long again).
    constexpr std::size_t part = 64;
    float guess[part];
    float ln_t[part];
    double r[part];
    for (std::size_t at = 0; at < count; at += part) {
        double* v = values + at;
        const std::size_t n = std::min(part, count - at);
        for (std::size_t i = 0; i < n; ++i) {
            const LabPowerGuess g = lab_power_guess(v[i] > 0.008856 ? v[i] : 1.0);
            guess[i] = g.r;
            ln_t[i] = g.ln_t;
        }
        for (std::size_t i = 0; i < n; ++i) {
            r[i] = lab_power_refine(v[i] > 0.008856 ? v[i] : 1.0, guess[i]);
        }
        for (std::size_t i = 0; i < n; ++i) {
            const double t = v[i];
            const bool power = t > 0.008856;
            const double root = lab_power_finish<fused>(power ? t : 1.0, r[i], ln_t[i]);
            v[i] = power ? root : 7.787 * t + 0.13793103448275862;
        }
    }
}

// The reciprocals of the display white, rounded to nearest (a constant expression is
// evaluated exactly and rounded once).
constexpr double white_reciprocal[3] = {1.0 / display_white[0], 1.0 / display_white[1],
                                        1.0 / display_white[2]};

// x / w for w the display white's component c and 2^-900 <= |x| <= 2^900, without a
// division: q = x y with y the rounded reciprocal, then twice q + (x - w q) y, the remainder
// x - w q exact by the fused multiply-add. With y = (1 + e) / w, each step leaves
// x / w + (x / w - q) e before its rounding; the first brings q within half an ulp and a
// little, after which the second's perturbation (below |e| times that) is smaller than the
// distance of x / w from any rounding boundary (at least ulp / 2W for W the integer
// significand of w) because 2 W |e| (1/2 + 2^-50) < 1 for each component (the colour tests
// check that inequality for the white in use), so the result is x / w rounded to nearest:
// the division's double.
[[maybe_unused, gnu::always_inline]] inline double white_quotient(double x, int c) {
    const double w = display_white[static_cast<std::size_t>(c)];
    const double y = white_reciprocal[c];
    const double q0 = x * y;
    const double q1 = __builtin_fma(__builtin_fma(-w, q0, x), y, q0);
    const double q2 = __builtin_fma(__builtin_fma(-w, q1, x), y, q1);
    // A zero keeps its sign, as in the division.
    return x == 0.0 ? q0 : q2;
}

// 1 where white_quotient serves x, else 0 (an integer, so that the tests of a pixel's three
// values combine without branches).
[[maybe_unused, gnu::always_inline]] inline int quotient_range(double x) {
    const double ax = std::fabs(x);
    return static_cast<int>(ax <= 0x1p900) &
           (static_cast<int>(ax >= 0x1p-900) | static_cast<int>(ax == 0.0));
}

// One block of pixels of atd_row_to_lab. The fused form divides by the white without a
// division where every value of the block allows it.
template <bool fused>
[[gnu::always_inline]] inline void atd_block_to_lab(const Matrix3& m, int n, const double* pa,
                                                    const double* pt, const double* pd,
                                                    double* out) {
    constexpr int block = 64;
    double f[3][block];
    const double q[9] = {m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]};
    std::int64_t outside = fused ? 0 : 1;
    if constexpr (fused) {
        for (int i = 0; i < n; ++i) {
            const double x = q[0] * pa[i] + q[1] * pt[i] + q[2] * pd[i];
            const double y = q[3] * pa[i] + q[4] * pt[i] + q[5] * pd[i];
            const double z = q[6] * pa[i] + q[7] * pt[i] + q[8] * pd[i];
            outside += 1 - (quotient_range(x) & quotient_range(y) & quotient_range(z));
            f[0][i] = white_quotient(x, 0);
            f[1][i] = white_quotient(y, 1);
            f[2][i] = white_quotient(z, 2);
        }
    }
    if (outside != 0) {
        for (int i = 0; i < n; ++i) {
            f[0][i] = (q[0] * pa[i] + q[1] * pt[i] + q[2] * pd[i]) / display_white[0];
            f[1][i] = (q[3] * pa[i] + q[4] * pt[i] + q[5] * pd[i]) / display_white[1];
            f[2][i] = (q[6] * pa[i] + q[7] * pt[i] + q[8] * pd[i]) / display_white[2];
        }
    }
    for (int c = 0; c < 3; ++c) lab_f_block<fused>(f[c], static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        out[3 * i] = 116.0 * f[1][i] - 16.0;
        out[3 * i + 1] = 500.0 * (f[0][i] - f[1][i]);
        out[3 * i + 2] = 200.0 * (f[1][i] - f[2][i]);
    }
}

template <bool fused>
[[gnu::always_inline]] inline void atd_row_to_lab_with(const Matrix3& q, int width, const double* a,
                                                       const double* t, const double* d,
                                                       double* lab) {
    constexpr int block = 64;
    for (int x0 = 0; x0 < width; x0 += block) {
        atd_block_to_lab<fused>(q, std::min(block, width - x0), a + x0, t + x0, d + x0,
                                lab + 3 * static_cast<std::size_t>(x0));
    }
}

// The entry points of lab_f_values and atd_row_to_lab for one instruction set.
struct LabKernels {
    void (*values)(double*, std::size_t);
    void (*row)(const Matrix3&, int, const double*, const double*, const double*, double*);
};

void lab_f_block_plain(double* values, std::size_t count) { lab_f_block<false>(values, count); }
void atd_row_plain(const Matrix3& q, int width, const double* a, const double* t, const double* d,
                   double* lab) {
    atd_row_to_lab_with<false>(q, width, a, t, d, lab);
}

// Compiled for AVX2 and for AVX-512, with fused multiply-adds, as well, the widest picked once
// at run time where the processor has it: the same IEEE operations in the same order (the
// fused multiply-add only forms exact products and remainders), so all give the same doubles;
// AVX2 takes four values at once, AVX-512 eight.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ORV_AVX2 gnu::target("avx2,fma")
#define ORV_AVX512 gnu::target("avx512f,avx512dq,avx512vl,avx512bw,fma,prefer-vector-width=512")
[[ORV_AVX2]] void lab_f_block_fused(double* values, std::size_t count) {
    lab_f_block<true>(values, count);
}
[[ORV_AVX2]] void atd_row_fused(const Matrix3& q, int width, const double* a, const double* t,
                                const double* d, double* lab) {
    atd_row_to_lab_with<true>(q, width, a, t, d, lab);
}
[[ORV_AVX512]] void lab_f_block_wide(double* values, std::size_t count) {
    lab_f_block<true>(values, count);
}
[[ORV_AVX512]] void atd_row_wide(const Matrix3& q, int width, const double* a, const double* t,
                                 const double* d, double* lab) {
    atd_row_to_lab_with<true>(q, width, a, t, d, lab);
}
#undef ORV_AVX2
#undef ORV_AVX512

LabKernels pick_lab_kernels() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) {
        return {lab_f_block_plain, atd_row_plain};
    }
    const bool wide = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
    return wide ? LabKernels{lab_f_block_wide, atd_row_wide}
                : LabKernels{lab_f_block_fused, atd_row_fused};
}
#else
LabKernels pick_lab_kernels() { return {lab_f_block_plain, atd_row_plain}; }
#endif

const LabKernels& lab_kernels() {
    static const LabKernels kernels = pick_lab_kernels();
    return kernels;
}

}  // namespace

void lab_f_values(double* values, std::size_t count) { lab_kernels().values(values, count); }

void atd_row_to_lab(const Matrix3& q, int width, const double* a, const double* t, const double* d,
                    double* lab) {
    lab_kernels().row(q, width, a, t, d, lab);
}

InterleavedImage atd_to_lab_image(const PlanarImage& image, const Matrix3& atd_to_xyz) {
    check_planar_image(image, "ATD");
    const Matrix3& qi = atd_to_xyz;
    return atd_to_lab_with(image.width, image.height, image.planes[0].data(),
                           image.planes[1].data(), image.planes[2].data(), qi);
}

InterleavedImage atd_to_lab_with(int width, int height, const double* a, const double* t,
                                 const double* d, const Matrix3& atd_to_xyz) {
    InterleavedImage lab;
    lab.width = width;
    lab.height = height;
    lab.channels = 3;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    lab.data.resize(count * 3);
    for (int y = 0; y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        atd_row_to_lab(atd_to_xyz, width, a + row, t + row, d + row, lab.data.data() + 3 * row);
    }
    return lab;
}

InterleavedImage colour_difference_image(const InterleavedImage& reference,
                                         const InterleavedImage& sample) {
    if (reference.width != sample.width || reference.height != sample.height ||
        reference.channels != 3 || sample.channels != 3 ||
        reference.data.size() != sample.data.size() ||
        reference.data.size() != static_cast<std::size_t>(reference.width) *
                                     static_cast<std::size_t>(reference.height) * 3) {
        raise_failure(FailureKind::cielab_size_mismatch, {},
                      {std::to_string(reference.width), std::to_string(reference.height),
                       std::to_string(sample.width), std::to_string(sample.height)});
    }
    InterleavedImage diff;
    diff.width = reference.width;
    diff.height = reference.height;
    diff.channels = 1;
    const std::size_t count =
        static_cast<std::size_t>(reference.width) * static_cast<std::size_t>(reference.height);
    diff.data.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        diff.data[i] = pixel_difference(&reference.data[3 * i], &sample.data[3 * i]);
    }
    summarise_map(diff);
    return diff;
}

void summarise_map(InterleavedImage& map) {
    const std::size_t count = map.data.size();
    if (count == 0) {
        map.mean = map.max = map.min = 0.0;
        return;
    }
    const double* v = map.data.data();
    double sum = 0.0;
    double max = v[0];
    double min = v[0];
    for (std::size_t i = 0; i < count; ++i) {
        const double d = v[i];
        if (d > max) max = d;
        if (d < min) min = d;
        sum += d;
    }
    map.mean = sum / static_cast<double>(count);
    map.max = max;
    map.min = min;
}

}  // namespace orv
