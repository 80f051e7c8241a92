#pragma once
// The display chain worked out independently of the library, for tests on uniform frames:
// signal -> display light (IEC 61966-2-1, ITU-R BT.1886, SMPTE ST 2084, ITU-R BT.2100 HLG)
// -> XYZ through the normalised primary matrix of CIE 1931 xy primaries (ITU-R BT.709,
// SMPTE EG 432-1 P3 D65, ITU-R BT.2020) and D65, each row scaled to the CIELAB white ->
// CIELAB -> CIE94, or -> ICtCp (ITU-R BT.2100) -> ΔE ITP (ITU-R BT.2124).

#include <array>
#include <cmath>

#include "colour/display_model.h"

namespace orv::display_chain {

using Vec = std::array<double, 3>;
using Mat = std::array<Vec, 3>;

inline Mat inverse(const Mat& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Mat r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int a = (j + 1) % 3, b = (j + 2) % 3, c = (i + 1) % 3, d = (i + 2) % 3;
            r[i][j] = (m[a][c] * m[b][d] - m[a][d] * m[b][c]) / det;
        }
    }
    return r;
}

inline Vec times(const Mat& m, const Vec& v) {
    return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
            m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
            m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

// Normalised primary matrix for D65, rows scaled to the CIELAB white.
inline Mat primary_matrix(const double xy[3][2]) {
    const auto column = [](double x, double y) { return Vec{x / y, 1.0, (1 - x - y) / y}; };
    Mat p{};
    for (int c = 0; c < 3; ++c) {
        const Vec v = column(xy[c][0], xy[c][1]);
        for (int r = 0; r < 3; ++r) p[r][c] = v[r];
    }
    const Vec s = times(inverse(p), column(0.3127, 0.3290));
    const Vec white = {95.7336, 100.4817, 110.3641};
    for (int r = 0; r < 3; ++r) {
        const double sum = p[r][0] * s[0] + p[r][1] * s[1] + p[r][2] * s[2];
        for (int c = 0; c < 3; ++c) p[r][c] *= s[c] * white[r] / sum;
    }
    return p;
}

inline const double bt709_xy[3][2] = {{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}};
inline const double bt2020_xy[3][2] = {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}};
inline const double p3_xy[3][2] = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}};

inline double pq(double v) {  // SMPTE ST 2084 EOTF, cd/m2
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                 c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double e = std::pow(v, 1 / m2);
    return 10000 * std::pow(std::fmax(e - c1, 0.0) / (c2 - c3 * e), 1 / m1);
}

inline double pq_signal(double l) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                 c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double y = std::pow(l / 10000, m1);
    return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

inline Vec lab(const Vec& xyz) {
    const Vec white = {95.7336, 100.4817, 110.3641};
    Vec f{};
    for (int k = 0; k < 3; ++k) {
        const double t = xyz[k] / white[k];
        f[k] = t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116;
    }
    return {116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])};
}

inline double cie94(const Vec& r, const Vec& s) {
    const double c1 = std::hypot(r[1], r[2]), c2 = std::hypot(s[1], s[2]);
    const double dl = r[0] - s[0], dc = c1 - c2;
    const double dh2 =
        std::fmax((r[1] - s[1]) * (r[1] - s[1]) + (r[2] - s[2]) * (r[2] - s[2]) - dc * dc, 0.0);
    return std::sqrt(dl * dl + std::pow(dc / (1 + 0.045 * c1), 2) +
                     dh2 / std::pow(1 + 0.015 * c1, 2));
}

inline Vec ictcp(const Vec& rgb2020) {  // absolute light, cd/m2
    const double l = pq_signal((1688 * rgb2020[0] + 2146 * rgb2020[1] + 262 * rgb2020[2]) / 4096);
    const double m = pq_signal((683 * rgb2020[0] + 2951 * rgb2020[1] + 462 * rgb2020[2]) / 4096);
    const double s = pq_signal((99 * rgb2020[0] + 309 * rgb2020[1] + 3688 * rgb2020[2]) / 4096);
    return {0.5 * l + 0.5 * m, (6610 * l - 13613 * m + 7003 * s) / 4096,
            (17933 * l - 17390 * m - 543 * s) / 4096};
}

inline double itp(const Vec& a, const Vec& b) {
    return 720 * std::sqrt(std::pow(a[0] - b[0], 2) + std::pow((a[1] - b[1]) / 2, 2) +
                           std::pow(a[2] - b[2], 2));
}

// Display light in cd/m2 of signals V (red, green, blue).
inline Vec display_light(DisplayTransfer t, const Vec& v, double white, double black, double peak) {
    Vec l{};
    if (t == DisplayTransfer::hlg) {
        const double a = 0.17883277, b = 0.28466892, c = 0.55991073;
        Vec e{};
        for (int k = 0; k < 3; ++k) {
            e[k] = v[k] <= 0.5 ? v[k] * v[k] / 3 : (std::exp((v[k] - c) / a) + b) / 12;
        }
        const double ys = 0.2627 * e[0] + 0.6780 * e[1] + 0.0593 * e[2];
        const double gamma = 1.2 + 0.42 * std::log10(peak / 1000);
        for (int k = 0; k < 3; ++k) l[k] = peak * std::pow(ys, gamma - 1) * e[k];
        return l;
    }
    for (int k = 0; k < 3; ++k) {
        switch (t) {
            case DisplayTransfer::srgb:
                l[k] = white *
                       (v[k] <= 0.04045 ? v[k] / 12.92 : std::pow((v[k] + 0.055) / 1.055, 2.4));
                break;
            case DisplayTransfer::bt1886: {
                const double w = std::pow(white, 1 / 2.4), k0 = std::pow(black, 1 / 2.4);
                l[k] = std::pow(w - k0, 2.4) * std::pow(std::fmax(v[k] + k0 / (w - k0), 0.0), 2.4);
                break;
            }
            case DisplayTransfer::pq:
                l[k] = std::fmin(pq(v[k]), peak);
                break;
            default:
                break;
        }
    }
    return l;
}

}  // namespace orv::display_chain
