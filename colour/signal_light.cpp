#include "colour/signal_light.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include "colour/signal_rows.h"

namespace orv {

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

namespace {

// The cells' polynomials of a light f (extended precision): in each cell [a, a + step), the
// polynomial in s = 2 (V - a) / step - 1 through f at the Chebyshev points, the Vandermonde
// system solved by elimination with pivoting. With `checked`, a cell whose polynomial (in
// doubles) misses f by more than `tolerance` relative at points between those holds NaN, so
// that its values take the per-value formula, and a cell without light (below a negative
// offset's kink) holds 0.
template <class Light>
PqPolynomials fit_cells(const Light& f, bool checked, long double tolerance) {
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
        long double m[n][n + 1];
        for (int i = 0; i < n; ++i) {
            const long double si = std::cos(pi * (i + 0.5L) / n);
            long double power = 1.0L;
            for (int c = 0; c < n; ++c) {
                m[i][c] = power;
                power *= si;
            }
            m[i][n] = f(a + step * (si + 1.0L) / 2.0L);
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
        double* coefficients = table.polynomials[static_cast<std::size_t>(cell)].c;
        for (int c = 0; c < n; ++c) coefficients[c] = static_cast<double>(m[c][n] / m[c][c]);
        if (!checked) continue;
        bool fits = true;
        bool dark = true;  // no light anywhere in the cell
        for (int i = 0; i <= 16; ++i) {
            const long double si = -1.0L + i / 8.0L;
            long double value = 0.0L;
            for (int c = n - 1; c >= 0; --c) value = value * si + coefficients[c];
            const long double exact = f(a + step * (si + 1.0L) / 2.0L);
            dark = dark && exact == 0.0L;
            fits = fits && std::isfinite(exact) && exact > 0.0L &&
                   std::fabs(value - exact) <= tolerance * exact;
        }
        if (dark) {
            std::fill_n(coefficients, n, 0.0);
        } else if (!fits) {
            std::fill_n(coefficients, n, std::nan(""));
        }
    }
    return table;
}

}  // namespace

PqPolynomials make_pq_polynomials() { return fit_cells(pq_light_extended, false, 0.0L); }

const PqPolynomials& light_polynomials(const GogChannel& channel, const TransferParameters& p) {
    // One set per light, made once for the process: frames of one display share it.
    static std::mutex guard;
    static std::map<std::array<double, 6>, std::unique_ptr<PqPolynomials>> made;
    const bool bt1886 = p.transfer == DisplayTransfer::bt1886;
    const bool pq = p.transfer == DisplayTransfer::pq;
    const std::array<double, 6> key = {static_cast<double>(p.transfer),
                                       channel.gain,
                                       channel.offset,
                                       channel.gamma,
                                       bt1886 ? p.bt1886_b : 0.0,
                                       bt1886 ? p.bt1886_a / p.white : (pq ? p.white : 0.0)};
    const std::lock_guard<std::mutex> lock(guard);
    std::unique_ptr<PqPolynomials>& entry = made[key];
    if (entry) return *entry;
    const long double gain = channel.gain, offset = channel.offset, gamma = channel.gamma;
    const long double lift = p.bt1886_b, factor = p.bt1886_a / p.white;
    const long double white = p.white;
    const auto light = [&](long double v) -> long double {
        switch (p.transfer) {
            case DisplayTransfer::srgb:
                return v <= 0.04045L ? v / 12.92L : std::pow((v + 0.055L) / 1.055L, 2.4L);
            case DisplayTransfer::bt1886:
                return std::pow(std::max(v + lift, 0.0L), 2.4L) * factor;
            case DisplayTransfer::pq:
                return pq_light_extended(v) / white;
            default:
                return std::pow(std::max(gain * v + offset, 0.0L), gamma);
        }
    };
    // Four units in the last place at most: the fits miss by one or two (the coefficients are
    // rounded to doubles); a cell across a kink of the light misses by far more.
    entry = std::make_unique<PqPolynomials>(fit_cells(light, true, 4.5e-16L));
    return *entry;
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
            s.cells = {&light_polynomials(gog.red, transfer),
                       &light_polynomials(gog.green, transfer),
                       &light_polynomials(gog.blue, transfer)};
            break;
        case DisplayTransfer::srgb:
            s.power[0] = make_power_table(2.4);
            s.cells[0] = s.cells[1] = s.cells[2] = &light_polynomials(GogChannel{}, transfer);
            break;
        case DisplayTransfer::bt1886:
            s.power[0] = make_power_table(2.4);
            s.bt1886_factor = transfer.bt1886_a / transfer.white;
            s.cells[0] = s.cells[1] = s.cells[2] = &light_polynomials(GogChannel{}, transfer);
            break;
        case DisplayTransfer::pq:
            s.power[0] = make_power_table(1.0 / display_constants::pq_m2);
            s.pq_outer = make_power_table(1.0 / display_constants::pq_m1);
            s.pq = &pq_polynomials();
            s.per_white = 1.0 / transfer.white;
            s.cells[0] = s.cells[1] = s.cells[2] = &light_polynomials(GogChannel{}, transfer);
            s.ceiling = transfer.peak / transfer.white;
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

void signal_row_to_light(const SignalLight& s, const double* in, int width,
                         double* const light_rows[3]) {
    // In pieces that keep the stages' arrays in the first-level cache.
    // The three channels are taken apart in one pass.
    constexpr int piece = 256;
    double v[3][piece];
    for (int start = 0; start < width; start += piece) {
        const int n = std::min(piece, width - start);
        const double* from = in + 3 * static_cast<std::size_t>(start);
        take_apart(from, n, v[0], v[1], v[2]);
        for (int c = 0; c < 3; ++c) channel_light_row(s, c, v[c], light_rows[c] + start, n);
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
