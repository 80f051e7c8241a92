#pragma once
// Per-pixel colour arithmetic of the S-CIELAB measurement.

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "colour/colour_types.h"
#include "image/pixel_buffer.h"

namespace orv {

// LMStoATD * XYZtoLMS * RGBtoXYZ and LMStoATD * XYZtoLMS, each product checked as
// invertible under the name "RGB to ATD of FOLDER" / "XYZ to ATD of FOLDER".
Matrix3 compose_rgb_to_atd(const Matrix3& rgb_to_xyz, const Matrix3& xyz_to_lms,
                           const Matrix3& lms_to_atd, const std::string& folder);
Matrix3 compose_xyz_to_atd(const Matrix3& xyz_to_lms, const Matrix3& lms_to_atd,
                           const std::string& folder);

PlanarImage display_to_planes(const PixelBuffer& pixels, const GogParameters& gog,
                              const Matrix3& m);
// `out` must have the planes' width and height (it keeps its own stride).
void planes_to_display(PixelBuffer& out, const PlanarImage& image, const GogParameters& gog,
                       const Matrix3& m_inverse);

inline void xyz_to_lab(const double xyz[3], const double white[3], double lab[3]);
// CIE94 of one pixel pair, reference first; inline, so that loops over pixels vectorise.
inline double delta_e94(const double reference_lab[3], const double sample_lab[3]) {
    const double c_ref =
        std::sqrt(reference_lab[1] * reference_lab[1] + reference_lab[2] * reference_lab[2]);
    const double c_smp = std::sqrt(sample_lab[1] * sample_lab[1] + sample_lab[2] * sample_lab[2]);
    const double dl = reference_lab[0] - sample_lab[0];
    const double da = reference_lab[1] - sample_lab[1];
    const double db = reference_lab[2] - sample_lab[2];
    const double dc = c_ref - c_smp;
    // Rounding can leave a tiny negative square for colours of the same hue: that is 0.
    double dh2 = da * da + db * db - dc * dc;
    if (dh2 < 0.0) dh2 = 0.0;
    const double dh = std::sqrt(dh2);
    const double sc = 1.0 + 0.045 * c_ref;
    const double sh = 1.0 + 0.015 * c_ref;
    const double tc = dc / sc;
    const double th = dh / sh;
    return std::sqrt(dl * dl + tc * tc + th * th);
}

InterleavedImage atd_to_lab_image(const PlanarImage& image, const Matrix3& atd_to_xyz);
InterleavedImage colour_difference_image(const InterleavedImage& reference,
                                         const InterleavedImage& sample);

// Largest width or height a frame may have.
constexpr int max_frame_side = 32768;

// Refuses (Failure) a buffer whose bytes do not cover its own width, height and stride.
// `what` names the buffer in the message ("source", "destination", ...).
void check_pixel_buffer(const PixelBuffer& buffer, const char* what);

// Refuses (Failure) a matrix with a non-finite element or (numerically) dependent rows.
// `path` is the matrix file, or the profile folder of a matrix composed from its files, in
// which case `composed_from` names its source space ("RGB", "XYZ").
void check_matrix_invertible(const Matrix3& m, const std::string& path,
                             const char* composed_from = nullptr);

// Pseudo-inverse of a 3x3 matrix.
Matrix3 invert_matrix3(const Matrix3& m);

// The forward display model of every byte value, per channel (red, green, blue):
// (gain * d * 0.00392156862745098 + offset) clamped at 0, raised to gamma.
using DisplayTable = std::array<std::array<double, 256>, 3>;
DisplayTable make_display_table(const GogParameters& gog);

// display_to_planes into caller-owned planes of pixels.width * pixels.height doubles
// (the buffer is assumed checked).
void display_to_planes_into(const PixelBuffer& pixels, const DisplayTable& table, const Matrix3& m,
                            double* plane0, double* plane1, double* plane2);

// The same with the planes given row by row: rowsK[y] is row y of plane K.
void display_to_plane_rows(const PixelBuffer& pixels, const DisplayTable& table, const Matrix3& m,
                           double* const* rows0, double* const* rows1, double* const* rows2);

// planes_to_display from caller-owned planes of out.width * out.height doubles
// (the buffer is assumed checked).
void planes_to_display_from(PixelBuffer& out, const double* plane0, const double* plane1,
                            const double* plane2, const GogParameters& gog,
                            const Matrix3& m_inverse);

// The same with the planes given row by row: rowsK[y] is row y of plane K.
void plane_rows_to_display(PixelBuffer& out, const double* const* rows0, const double* const* rows1,
                           const double* const* rows2, const GogParameters& gog,
                           const Matrix3& m_inverse);

// The inverse display model of one channel value u: (u^(1/gamma) - offset) / gain, times
// 255, clipped to 0..255 and truncated; 0 where u has no real power.
std::uint8_t inverse_display_byte(double u, const GogChannel& channel, double inverse_gamma);

// atd_to_lab_image with the ATD-to-XYZ matrix already at hand.
InterleavedImage atd_to_lab_with(int width, int height, const double* a, const double* t,
                                 const double* d, const Matrix3& atd_to_xyz);

// Refuses (Failure) an image whose planes do not each hold width * height values.
void check_planar_image(const PlanarImage& image, const char* what);

// t^0.3333333333333333 (the exponent of CIELAB's cube root as a double, just below 1/3) for
// 1e-30 < t < 1e30, rounded to nearest: the same double as std::pow gives (and the correctly
// rounded one where pow misses it), found without pow and without a division. In single
// precision (cheaper, and plenty for a start): a first guess of t^(-1/3) from the bits of t
// (within 4%), two third-order steps r += r e (1/3 + 2e/9) with e = 1 - t r^3 (to float
// rounding), and ln t to about 1e-5 from the exponent and a polynomial of the mantissa. Then in
// double: one more third-order step (to double rounding), y = t r^2, the residual t - y^3
// formed exactly, one Newton step y + residual / (3 y^2), and the factor
// t^(0.3333333333333333 - 1/3) = 1 - ln(t) / (3 2^54) applied as a correction (below an ulp
// for colours). Branch-free, so loops over it vectorise; the caller keeps t inside the range.
//
// The exact products behind the residual are Dekker's splits, or with `fused` the fused
// multiply-add's remainder: both give the exact rounding error of a product, so both forms
// give the same doubles. The fused form is for code compiled for a processor that has it.
// lab_power_with in three stages, so that a loop over many values can run each stage over a
// block (shorter chains of dependent operations, more values in flight): the guess gives
// t^(-1/3) and ln t in single precision, the refinement t^(-1/3) in double, the finish the
// power from them.
struct LabPowerGuess {
    float r;
    float ln_t;
};

inline LabPowerGuess lab_power_guess(double t) {
    const float tf = static_cast<float>(t);
    const auto bits = std::bit_cast<std::int32_t>(tf);
    const float x = std::bit_cast<float>((bits & 0x7FFFFF) | 0x3F800000) - 1.0f;
    const float log2_mantissa =
        x * (1.4418799f +
             x * (-0.70886522f + x * (0.41524556f + x * (-0.19351652f + x * 0.045268293f))));
    const float ln_t = (static_cast<float>((bits >> 23) - 127) + log2_mantissa) * 0.69314718f;
    float rf = std::bit_cast<float>(
        0x54A2FA8C - static_cast<std::int32_t>(static_cast<float>(bits) * (1.0f / 3.0f)));
    for (int i = 0; i < 2; ++i) {
        const float e = 1.0f - tf * (rf * rf * rf);
        rf = rf + (rf * e) * (0.33333334f + 0.22222222f * e);
    }
    return {rf, ln_t};
}

inline double lab_power_refine(double t, float rf) {
    double r = rf;
    const double e = 1.0 - t * (r * r * r);
    return r + (r * e) * (0.3333333333333333 + 0.2222222222222222 * e);
}

template <bool fused>
inline double lab_power_finish(double t, double r, float ln_t) {
    const double r2 = r * r;
    const double y = t * r2;
    // y^3 = q_hi + q_lo + p_lo * y to about 2^-106: y^2 = p_hi + p_lo, p_hi * y = q_hi + q_lo.
    const double p_hi = y * y;
    const double q_hi = p_hi * y;
    double p_lo;
    double q_lo;
    if constexpr (fused) {
        p_lo = __builtin_fma(y, y, -p_hi);
        q_lo = __builtin_fma(p_hi, y, -q_hi);
    } else {
        constexpr double split = 134217729.0;  // 2^27 + 1
        const double yc = split * y;
        const double y_hi = yc - (yc - y);
        const double y_lo = y - y_hi;
        p_lo = ((y_hi * y_hi - p_hi) + 2.0 * y_hi * y_lo) + y_lo * y_lo;
        const double pc = split * p_hi;
        const double ph_hi = pc - (pc - p_hi);
        const double ph_lo = p_hi - ph_hi;
        q_lo = ((ph_hi * y_hi - q_hi) + ph_hi * y_lo + ph_lo * y_hi) + ph_lo * y_lo;
    }
    const double residual = ((t - q_hi) - q_lo) - p_lo * y;
    constexpr double exponent_gap = 1.0 / 54043195528445952.0;  // 1/3 - 0.3333333333333333
    // y is within a few ulps, so the first-order step leaves an error far below an ulp.
    const double step = residual * r2 * 0.3333333333333333;
    return y + (step - y * (static_cast<double>(ln_t) * exponent_gap));
}

template <bool fused>
inline double lab_power_with(double t) {
    const LabPowerGuess guess = lab_power_guess(t);
    return lab_power_finish<fused>(t, lab_power_refine(t, guess.r), guess.ln_t);
}

inline double lab_power_in_range(double t) { return lab_power_with<false>(t); }

// CIELAB's f(t): the power above the threshold 0.008856, the straight line at or below it.
inline double lab_f(double t) {
    if (!(t > 0.008856)) return 7.787 * t + 0.13793103448275862;
    if (t < 1e30) return lab_power_in_range(t);
    return std::pow(t, 0.3333333333333333);
}

inline void xyz_to_lab(const double xyz[3], const double white[3], double lab[3]) {
    const double fx = lab_f(xyz[0] / white[0]);
    const double fy = lab_f(xyz[1] / white[1]);
    const double fz = lab_f(xyz[2] / white[2]);
    lab[0] = 116.0 * fy - 16.0;
    lab[1] = 500.0 * (fx - fy);
    lab[2] = 200.0 * (fy - fz);
}

// One pixel of A, T, D to CIELAB: XYZ through `atd_to_xyz`, then xyz_to_lab against
// display_white. Every path from opponent planes to CIELAB goes through here.
inline void atd_pixel_to_lab(const Matrix3& q, double a, double t, double d, double lab[3]) {
    const double xyz[3] = {q[0] * a + q[1] * t + q[2] * d, q[3] * a + q[4] * t + q[5] * d,
                           q[6] * a + q[7] * t + q[8] * d};
    xyz_to_lab(xyz, display_white.data(), lab);
}

// lab_f of every value in place: the same doubles, in a loop the compiler turns into vector
// code (the power for every value, the straight line chosen where it applies).
void lab_f_values(double* values, std::size_t count);

// One row of opponent values to CIELAB: lab[3x], lab[3x+1], lab[3x+2] are L*, a*, b* of
// pixel x, the same doubles as atd_pixel_to_lab, computed in blocks through lab_f_values.
void atd_row_to_lab(const Matrix3& atd_to_xyz, int width, const double* a, const double* t,
                    const double* d, double* lab);

// The colour difference of one pixel pair, reference first: the formula of every map.
inline double pixel_difference(const double reference_lab[3], const double sample_lab[3]) {
    return delta_e94(reference_lab, sample_lab);
}

// The mean, maximum and minimum of a one-channel map, set on the map: the sum taken in pixel
// order, the extremes starting from the first value (an empty map gets zeros). Every
// difference map's figures come from here, so the pipeline, the statistics and the tables
// agree for any values, also beyond 10000.
void summarise_map(InterleavedImage& map);

}  // namespace orv
