#include "colour/delta_e.h"

#include <cmath>

namespace orv {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double radians_per_degree = pi / 180.0;
constexpr double pow25_7 = 6103515625.0;  // 25^7

double hue_degrees(double b, double a) {
    if (a == 0.0 && b == 0.0) return 0.0;
    const double h = std::atan2(b, a) / radians_per_degree;
    return h < 0.0 ? h + 360.0 : h;
}

double cos_degrees(double angle) { return std::cos(angle * radians_per_degree); }

}  // namespace

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("avx2", "default")]]
#endif
void colour_difference_row(DeltaEFormula formula, const double* reference_lab,
                           const double* sample_lab, std::size_t count, double* out) {
    if (formula == DeltaEFormula::cie94) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = delta_e94(reference_lab + 3 * i, sample_lab + 3 * i);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = colour_difference(formula, reference_lab + 3 * i, sample_lab + 3 * i);
    }
}

double delta_e76(const double reference_lab[3], const double sample_lab[3]) {
    const double dl = reference_lab[0] - sample_lab[0];
    const double da = reference_lab[1] - sample_lab[1];
    const double db = reference_lab[2] - sample_lab[2];
    return std::sqrt(dl * dl + da * da + db * db);
}

double delta_e2000(const double reference_lab[3], const double sample_lab[3]) {
    const double l1 = reference_lab[0], a1 = reference_lab[1], b1 = reference_lab[2];
    const double l2 = sample_lab[0], a2 = sample_lab[1], b2 = sample_lab[2];

    // Step 1: a* stretched near the neutral axis, then chroma and hue of the stretched values.
    const double c_mean = 0.5 * (std::sqrt(a1 * a1 + b1 * b1) + std::sqrt(a2 * a2 + b2 * b2));
    const double c_mean7 = std::pow(c_mean, 7.0);
    const double g = 0.5 * (1.0 - std::sqrt(c_mean7 / (c_mean7 + pow25_7)));
    const double a1p = (1.0 + g) * a1;
    const double a2p = (1.0 + g) * a2;
    const double c1p = std::sqrt(a1p * a1p + b1 * b1);
    const double c2p = std::sqrt(a2p * a2p + b2 * b2);
    const double h1p = hue_degrees(b1, a1p);
    const double h2p = hue_degrees(b2, a2p);

    // Step 2: the differences; the hue difference is taken the short way round.
    const double dlp = l2 - l1;
    const double dcp = c2p - c1p;
    const bool achromatic = c1p * c2p == 0.0;
    double dhp = 0.0;
    if (!achromatic) {
        dhp = h2p - h1p;
        if (dhp > 180.0) {
            dhp -= 360.0;
        } else if (dhp < -180.0) {
            dhp += 360.0;
        }
    }
    const double dhp_big = 2.0 * std::sqrt(c1p * c2p) * std::sin(0.5 * dhp * radians_per_degree);

    // Step 3: the weights at the mean lightness, chroma and hue.
    const double lp_mean = 0.5 * (l1 + l2);
    const double cp_mean = 0.5 * (c1p + c2p);
    double hp_mean = h1p + h2p;
    if (!achromatic) {
        if (std::fabs(h1p - h2p) <= 180.0) {
            hp_mean *= 0.5;
        } else if (hp_mean < 360.0) {
            hp_mean = 0.5 * (hp_mean + 360.0);
        } else {
            hp_mean = 0.5 * (hp_mean - 360.0);
        }
    }
    const double t = 1.0 - 0.17 * cos_degrees(hp_mean - 30.0) + 0.24 * cos_degrees(2.0 * hp_mean) +
                     0.32 * cos_degrees(3.0 * hp_mean + 6.0) -
                     0.20 * cos_degrees(4.0 * hp_mean - 63.0);
    const double dtheta = 30.0 * std::exp(-std::pow((hp_mean - 275.0) / 25.0, 2.0));
    const double cp_mean7 = std::pow(cp_mean, 7.0);
    const double rc = 2.0 * std::sqrt(cp_mean7 / (cp_mean7 + pow25_7));
    const double l50 = (lp_mean - 50.0) * (lp_mean - 50.0);
    const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double sc = 1.0 + 0.045 * cp_mean;
    const double sh = 1.0 + 0.015 * cp_mean * t;
    const double rt = -std::sin(2.0 * dtheta * radians_per_degree) * rc;

    const double tl = dlp / sl;
    const double tc = dcp / sc;
    const double th = dhp_big / sh;
    return std::sqrt(tl * tl + tc * tc + th * th + rt * tc * th);
}

std::string_view formula_name(DeltaEFormula formula) {
    switch (formula) {
        case DeltaEFormula::ciede2000:
            return "CIEDE2000";
        case DeltaEFormula::cie76:
            return "CIE76";
        case DeltaEFormula::itp:
            return "ITP";
        case DeltaEFormula::cie94:
            break;
    }
    return "CIE94";
}

std::optional<DeltaEFormula> formula_from_option(std::string_view text) {
    if (text == "94") return DeltaEFormula::cie94;
    if (text == "2000") return DeltaEFormula::ciede2000;
    if (text == "76") return DeltaEFormula::cie76;
    if (text == "itp") return DeltaEFormula::itp;
    return std::nullopt;
}

double default_heatmap_scale(DeltaEFormula formula) {
    return formula == DeltaEFormula::itp ? 20.0 : 5.0;
}

}  // namespace orv
