#include "colour/signal_light.h"

#include <algorithm>
#include <cmath>

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

// y = x^g for n values.
ORV_ROW_CLONES
void power_values(const PowerTable& p, const double* __restrict x, double* __restrict y, int n) {
    std::uint64_t outside = 1;
    if (p.series_fits) {
        constexpr int shift = 52 - PowerTable::step_bits;
        constexpr std::uint64_t mantissa = (std::uint64_t{1} << 52) - 1;
        constexpr std::uint64_t one = std::uint64_t{1023} << 52;
        const double* of_two = p.of_two.data();
        const double* of_step = p.of_step.data();
        const double* inverse_step = p.inverse_step.data();
        const double c0 = p.series[0], c1 = p.series[1], c2 = p.series[2];
        const double c3 = p.series[3], c4 = p.series[4], c5 = p.series[5];
        outside = 0;
        for (int i = 0; i < n; ++i) {
            const auto bits = std::bit_cast<std::uint64_t>(x[i]);
            const std::uint64_t row = (bits >> 52) - PowerTable::lowest_biased;
            const bool in_table = row < PowerTable::biased_count;
            outside |= in_table ? 0 : 1;
            const std::uint64_t k =
                ((bits & mantissa) + (std::uint64_t{1} << (shift - 1))) >> shift;
            const double m = std::bit_cast<double>((bits & mantissa) | one);
            const double step = std::bit_cast<double>((k << shift) + one);
            const double t = (m - step) * inverse_step[k];
            const double t2 = t * t;
            const double sum = (c0 + c1 * t) + t2 * ((c2 + c3 * t) + t2 * (c4 + c5 * t));
            y[i] = of_two[in_table ? row : 0] * of_step[k] * sum;
        }
    }
    if (outside == 0) return;
    for (int i = 0; i < n; ++i) y[i] = power_of(p, x[i]);
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

// Values that are a byte's take the byte's table entry. Decoded video seldom has one, so the
// row is looked over first for values near a byte's.
ORV_ROW_CLONES
void byte_entries(const SignalLight& s, int c, const double* __restrict v, double* __restrict y,
                  int n) {
    int near = 0;
    for (int i = 0; i < n; ++i) {
        int d = 0;
        near |= static_cast<int>(near_byte(v[i], d));
    }
    if (near == 0) return;
    const double* table = s.table[static_cast<std::size_t>(c)].data();
    for (int i = 0; i < n; ++i) {
        int d = 0;
        if (near_byte(v[i], d) && byte_match(v[i], d) != 0) y[i] = table[d];
    }
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
            for (int i = 0; i < n; ++i) y[i] = p.bt1886_a * y[i] / p.white;
            break;
        case DisplayTransfer::pq:
            for (int i = 0; i < n; ++i) x[i] = clip01(v[i]);
            power_values(s.power[0], x, y, n);
            for (int i = 0; i < n; ++i) {
                x[i] = std::max(y[i] - k::pq_c1, 0.0) / (k::pq_c2 - k::pq_c3 * y[i]);
            }
            power_values(s.pq_outer, x, y, n);
            for (int i = 0; i < n; ++i) y[i] = std::min(10000.0 * y[i], p.peak) / p.white;
            break;
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
    constexpr int piece = 256;
    double* v = scratch;
    double* x = scratch + piece;
    for (int start = 0; start < width; start += piece) {
        const int n = std::min(piece, width - start);
        const double* from = in + 3 * static_cast<std::size_t>(start);
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < n; ++i) v[i] = from[3 * static_cast<std::size_t>(i) + c];
            channel_row(s, c, v, x, light_rows[c] + start, n);
        }
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
