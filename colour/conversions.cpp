#include "colour/conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "colour/profile_files.h"
#include "numeric/failure.h"
#include "numeric/svd.h"

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
