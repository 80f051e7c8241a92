#pragma once
// The display light of exact signal values (frames of more than 8 bits), fast enough for
// decoded video, whose values are nearly all distinct: powers and exponentials from small
// tables and a short series, to within a few units in the last place of the library's own,
// and a value that is a byte's (d / 255) takes the 8-bit path's table entry, so that a deep
// frame holding 8-bit content measures exactly as the 8-bit frame does.

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "colour/colour_types.h"
#include "colour/conversions.h"
#include "colour/display_model.h"

namespace orv {

// x^g for x >= 0: x = 2^e (1 + k / 1024) (1 + t) with k the nearest step, |t| <= 2^-11, so
// x^g is the product of two table entries and the binomial series of (1 + t)^g to t^5 (the
// next term is below 2^-64 for the exponents used here), summed with fused multiply-adds. x below
// 2^-64 or from 2^8 on (0, negative and non-finite x too), and exponents whose series would need
// more terms, take std::pow.
struct PowerTable {
    static constexpr int step_bits = 10;
    static constexpr int steps = 1 << step_bits;
    static constexpr unsigned lowest_biased = 1023 - 64;  // 2^-64
    static constexpr unsigned biased_count = 72;          // up to 2^8
    double exponent = 1.0;
    bool series_fits = false;
    std::vector<double> of_two;        // (2^e)^g by the biased exponent e + 1023, from 2^-64
    std::vector<double> of_step;       // (1 + k / 1024)^g, k = 0 to 1024
    std::vector<double> inverse_step;  // 1 / (1 + k / 1024)
    std::array<double, 6> series{};    // binomial coefficients of (1 + t)^g
};
PowerTable make_power_table(double exponent);

inline double power_of(const PowerTable& p, double x) {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    // The sign bit lands above every exponent; unsigned wrap-around rejects small ones.
    const auto row = static_cast<unsigned>(bits >> 52) - PowerTable::lowest_biased;
    if (!p.series_fits || row >= PowerTable::biased_count) return std::pow(x, p.exponent);
    constexpr int shift = 52 - PowerTable::step_bits;
    constexpr std::uint64_t mantissa = (std::uint64_t{1} << 52) - 1;
    constexpr std::uint64_t one = std::uint64_t{1023} << 52;
    const std::uint64_t k = ((bits & mantissa) + (std::uint64_t{1} << (shift - 1))) >> shift;
    const double m = std::bit_cast<double>((bits & mantissa) | one);
    const double step = std::bit_cast<double>((k << shift) + one);  // k = 1024 gives 2
    const double t = (m - step) * p.inverse_step[k];                // m - step is exact
    const double* c = p.series.data();
    const double t2 = t * t;
    // Fused multiply-adds, each rounded once, as the rows' vector code forms them.
    const double inner = std::fma(t2, std::fma(c[5], t, c[4]), std::fma(c[3], t, c[2]));
    const double sum = std::fma(t2, inner, std::fma(c[1], t, c[0]));
    return p.of_two[row] * p.of_step[k] * sum;
}

// exp(z) for z in [lowest, highest): exp(k / 1024) from a table times the series of exp(r),
// 0 <= r < 2^-10; elsewhere std::exp.
struct ExpTable {
    static constexpr int per_unit = 1024;
    int first = 0;  // k of the table's first entry
    std::array<double, 8> series{};
    std::vector<double> of_step;  // exp(k / 1024) from k = first on
};
ExpTable make_exp_table(double lowest, double highest);

inline double exp_of(const ExpTable& e, double z) {
    const double scaled = std::floor(z * ExpTable::per_unit);
    const double index = scaled - e.first;
    if (!(index >= 0.0 && index < static_cast<double>(e.of_step.size()))) return std::exp(z);
    const double r = z - scaled / ExpTable::per_unit;
    double sum = e.series[7];
    for (int n = 6; n >= 0; --n) sum = sum * r + e.series[static_cast<std::size_t>(n)];
    return e.of_step[static_cast<std::size_t>(index)] * sum;
}

// PQ's absolute light (cd/m2, before the peak's clip) of V in [2^-19, 1] as polynomials of
// degree 7, one for each 64th of an octave, fitted in extended precision at Chebyshev points:
// within 3e-16 of the light, closer than the formula's own doubles (whose E - c1 cancels
// digits). Below 2^-19 the light is under 1e-11 cd/m2 and the formula is used; below 2^-21
// it is 0 (E < c1). One polynomial is one cache line, so a value costs one line and a
// polynomial in place of two powers and a division.
struct PqPolynomials {
    static constexpr int terms = 8;
    static constexpr int cell_bits = 6;
    static constexpr int lowest_octave = -19;
    // The octaves from 2^-19 up to 1, and one cell for V = 1.
    static constexpr int cells = (-lowest_octave << cell_bits) + 1;
    struct alignas(64) Cell {
        double c[terms];  // the constant first
    };
    std::vector<Cell> polynomials;
};
PqPolynomials make_pq_polynomials();
const PqPolynomials& pq_polynomials();  // made once

// The same cells for the light of the profile's model (channel's gain, offset and gamma) or of
// srgb, bt1886 or pq (relative to the white; PQ's before its clipping at the peak), fitted in
// extended precision and checked: a cell whose polynomial misses the light by more than four units
// in the last place (one across the kink of a negative offset or of sRGB's straight line) holds
// NaN, and its values take the per-value power. Made once per light for the process.
const PqPolynomials& light_polynomials(const GogChannel& channel, const TransferParameters& p);

// What one display needs to give every channel's light of exact signals.
struct SignalLight {
    DisplayTransfer transfer = DisplayTransfer::profile;
    TransferParameters parameters;
    GogParameters gog;
    DisplayTable table{};               // the 8-bit path's light of every byte value
    std::array<PowerTable, 3> power;    // per channel (profile); [0] 2.4 or PQ's 1 / m2
    PowerTable pq_outer;                // PQ's 1 / m1
    const PqPolynomials* pq = nullptr;  // PQ's light from 2^-19 on
    // The profile's, srgb's, bt1886's or pq's light of each channel from 2^-19 up to 1, where
    // set.
    std::array<const PqPolynomials*, 3> cells{};
    // The cells' light is clipped here: PQ's peak relative to the white; infinite otherwise.
    double ceiling = std::numeric_limits<double>::infinity();
    double per_white = 1.0;
    // BT.1886's a over the white, which makes its light relative to the white; PQ's light is
    // made relative to the white by the same factor.
    double bt1886_factor = 1.0;
    PowerTable hlg_system;  // HLG's system gamma - 1
    ExpTable hlg_exp;
};

// `table` is the colour model's display table for `transfer` (the profile's model, or the
// standard transfer's light of d / 255; HLG's scene light).
SignalLight make_signal_light(const GogParameters& gog, const TransferParameters& transfer,
                              const DisplayTable& table);

// One row of signal values (red, green, blue per pixel) to display light by the profile's
// model or the standard transfer (HLG's OOTF included): red, green and blue in
// light[0..2][0..width).
void signal_row_to_light(const SignalLight& light, const double* in, int width,
                         double* const light_rows[3]);

}  // namespace orv
