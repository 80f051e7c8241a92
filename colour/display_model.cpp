#include "colour/display_model.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

#include "numeric/failure.h"

namespace orv {

namespace {

using namespace display_constants;

double clip01(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }

bool positive(double v) { return std::isfinite(v) && v > 0.0; }

// Cramer's rule; the primary sets here are far from singular.
Matrix3 inverse3(const Matrix3& m) {
    const double c00 = m[4] * m[8] - m[5] * m[7];
    const double c01 = m[5] * m[6] - m[3] * m[8];
    const double c02 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    return {c00 / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
            c01 / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
            c02 / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
}

// The shortest text that reads back as `v`, whatever the locale.
std::string format_number(double v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}

std::string luminance_text(double v) { return format_number(v) + " cd/m2"; }

}  // namespace

bool is_profile_display(const DisplayChoice& c) {
    return c.transfer == DisplayTransfer::profile && c.primaries == DisplayPrimaries::profile;
}

double white_luminance(const DisplayChoice& c) {
    if (c.white_luminance) return *c.white_luminance;
    const bool hdr = c.transfer == DisplayTransfer::pq || c.transfer == DisplayTransfer::hlg;
    return hdr ? 203.0 : 100.0;
}

double black_luminance(const DisplayChoice& c) { return c.black_luminance.value_or(0.0); }

double peak_luminance(const DisplayChoice& c) { return c.peak_luminance.value_or(1000.0); }

void check_display_choice(const DisplayChoice& c) {
    if (!positive(white_luminance(c))) {
        raise_failure(FailureKind::luminance_not_positive, {},
                      {"white", format_number(white_luminance(c))});
    }
    if (!positive(peak_luminance(c))) {
        raise_failure(FailureKind::luminance_not_positive, {},
                      {"peak", format_number(peak_luminance(c))});
    }
    const double black = black_luminance(c);
    if (!std::isfinite(black) || black < 0.0) {
        raise_failure(FailureKind::black_luminance_negative, {}, {format_number(black)});
    }
    if (c.transfer == DisplayTransfer::bt1886 && !(black < white_luminance(c))) {
        raise_failure(FailureKind::black_not_below_white, {},
                      {format_number(black), format_number(white_luminance(c))});
    }
}

std::string_view transfer_name(DisplayTransfer t) {
    switch (t) {
        case DisplayTransfer::srgb:
            return "srgb";
        case DisplayTransfer::bt1886:
            return "bt1886";
        case DisplayTransfer::pq:
            return "pq";
        case DisplayTransfer::hlg:
            return "hlg";
        case DisplayTransfer::profile:
            break;
    }
    return "profile";
}

std::string_view primaries_name(DisplayPrimaries p) {
    switch (p) {
        case DisplayPrimaries::bt709:
            return "bt709";
        case DisplayPrimaries::p3d65:
            return "p3d65";
        case DisplayPrimaries::bt2020:
            return "bt2020";
        case DisplayPrimaries::profile:
            break;
    }
    return "profile";
}

std::optional<DisplayTransfer> transfer_from_text(std::string_view text) {
    for (DisplayTransfer t : {DisplayTransfer::profile, DisplayTransfer::srgb,
                              DisplayTransfer::bt1886, DisplayTransfer::pq, DisplayTransfer::hlg}) {
        if (transfer_name(t) == text) return t;
    }
    return std::nullopt;
}

std::optional<DisplayPrimaries> primaries_from_text(std::string_view text) {
    for (DisplayPrimaries p : {DisplayPrimaries::profile, DisplayPrimaries::bt709,
                               DisplayPrimaries::p3d65, DisplayPrimaries::bt2020}) {
        if (primaries_name(p) == text) return p;
    }
    return std::nullopt;
}

std::string display_description(const DisplayChoice& c) {
    std::string text = "display " + std::string(transfer_name(c.transfer));
    switch (c.transfer) {
        case DisplayTransfer::profile:
            text += " (the profile's model)";
            break;
        case DisplayTransfer::bt1886:
            text += " (white " + luminance_text(white_luminance(c)) + ", black " +
                    luminance_text(black_luminance(c)) + ")";
            break;
        case DisplayTransfer::pq:
        case DisplayTransfer::hlg:
            text += " (peak " + luminance_text(peak_luminance(c)) + ", white " +
                    luminance_text(white_luminance(c)) + ")";
            break;
        case DisplayTransfer::srgb:
            text += " (white " + luminance_text(white_luminance(c)) + ")";
            break;
    }
    text += ", primaries " + std::string(primaries_name(c.primaries));
    if (c.primaries == DisplayPrimaries::profile) text += " (the profile's matrix)";
    return text;
}

TransferParameters transfer_parameters(const DisplayChoice& c) {
    TransferParameters p;
    p.transfer = c.transfer;
    p.white = white_luminance(c);
    p.peak = peak_luminance(c);
    if (c.transfer == DisplayTransfer::bt1886) {
        // L = a max(V + b, 0)^2.4 with a, b from the white and the black.
        const double w = std::pow(p.white, 1.0 / 2.4);
        const double k = std::pow(black_luminance(c), 1.0 / 2.4);
        p.bt1886_a = std::pow(w - k, 2.4);
        p.bt1886_b = k / (w - k);
    }
    if (c.transfer == DisplayTransfer::hlg) p.hlg_gamma = 1.2 + 0.42 * std::log10(p.peak / 1000.0);
    return p;
}

double pq_eotf(double v) {
    const double e = std::pow(clip01(v), 1.0 / pq_m2);
    return 10000.0 * std::pow(std::max(e - pq_c1, 0.0) / (pq_c2 - pq_c3 * e), 1.0 / pq_m1);
}

double pq_inverse_eotf(double luminance) {
    const double y = std::pow(std::max(luminance, 0.0) / 10000.0, pq_m1);
    return std::pow((pq_c1 + pq_c2 * y) / (1.0 + pq_c3 * y), pq_m2);
}

double channel_light(const TransferParameters& p, double v) {
    v = clip01(v);
    switch (p.transfer) {
        case DisplayTransfer::srgb:
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        case DisplayTransfer::bt1886:
            return p.bt1886_a * std::pow(std::max(v + p.bt1886_b, 0.0), 2.4) / p.white;
        case DisplayTransfer::pq:
            return std::min(pq_eotf(v), p.peak) / p.white;
        case DisplayTransfer::hlg:
            return v <= 0.5 ? v * v / 3.0 : (std::exp((v - hlg_c) / hlg_a) + hlg_b) / 12.0;
        case DisplayTransfer::profile:
            break;
    }
    return v;
}

void hlg_ootf(const TransferParameters& p, double rgb[3]) {
    const double ys = luma_r * rgb[0] + luma_g * rgb[1] + luma_b * rgb[2];
    const double factor = ys > 0.0 ? p.peak * std::pow(ys, p.hlg_gamma - 1.0) / p.white : 0.0;
    for (int c = 0; c < 3; ++c) rgb[c] *= factor;
}

double channel_signal(const TransferParameters& p, double light) {
    switch (p.transfer) {
        case DisplayTransfer::srgb:
            light = std::max(light, 0.0);
            return clip01(light <= 0.0031308 ? 12.92 * light
                                             : 1.055 * std::pow(light, 1.0 / 2.4) - 0.055);
        case DisplayTransfer::bt1886:
            return clip01(std::pow(std::max(light * p.white, 0.0) / p.bt1886_a, 1.0 / 2.4) -
                          p.bt1886_b);
        case DisplayTransfer::pq:
            return clip01(pq_inverse_eotf(std::min(light * p.white, p.peak)));
        case DisplayTransfer::hlg: {
            const double e = std::max(light, 0.0);
            return clip01(e <= 1.0 / 12.0 ? std::sqrt(3.0 * e)
                                          : hlg_a * std::log(12.0 * e - hlg_b) + hlg_c);
        }
        case DisplayTransfer::profile:
            break;
    }
    return clip01(light);
}

void hlg_inverse_ootf(const TransferParameters& p, double rgb[3]) {
    // Display luminance Yd = Lw Ys^gamma, so Ys = (Yd / Lw)^(1 / gamma) and E = F / (Lw Ys^(g-1)).
    double f[3];
    for (int c = 0; c < 3; ++c) f[c] = std::max(rgb[c], 0.0) * p.white / p.peak;
    const double yd = luma_r * f[0] + luma_g * f[1] + luma_b * f[2];
    const double ys = yd > 0.0 ? std::pow(yd, 1.0 / p.hlg_gamma) : 0.0;
    const double factor = ys > 0.0 ? 1.0 / std::pow(ys, p.hlg_gamma - 1.0) : 0.0;
    for (int c = 0; c < 3; ++c) rgb[c] = f[c] * factor;
}

Matrix3 primaries_to_xyz(DisplayPrimaries primaries) {
    struct Xy {
        double x, y;
    };
    std::array<Xy, 3> set{};
    switch (primaries) {
        case DisplayPrimaries::p3d65:
            set = {{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}}};
            break;
        case DisplayPrimaries::bt2020:
            set = {{{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}}};
            break;
        case DisplayPrimaries::bt709:
        case DisplayPrimaries::profile:
            set = {{{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}}};
            break;
    }
    const auto column = [](Xy c) {
        return std::array<double, 3>{c.x / c.y, 1.0, (1.0 - c.x - c.y) / c.y};
    };
    const std::array<double, 3> white = column({0.3127, 0.3290});
    Matrix3 p{};
    for (int c = 0; c < 3; ++c) {
        const auto col = column(set[static_cast<std::size_t>(c)]);
        for (int r = 0; r < 3; ++r) p[static_cast<std::size_t>(3 * r + c)] = col[r];
    }
    const Matrix3 q = inverse3(p);
    Matrix3 m{};
    for (int c = 0; c < 3; ++c) {
        const double s = q[static_cast<std::size_t>(3 * c)] * white[0] +
                         q[static_cast<std::size_t>(3 * c + 1)] * white[1] +
                         q[static_cast<std::size_t>(3 * c + 2)] * white[2];
        for (int r = 0; r < 3; ++r) {
            m[static_cast<std::size_t>(3 * r + c)] = p[static_cast<std::size_t>(3 * r + c)] * s;
        }
    }
    // Each row scaled so that its sum, the light of RGB (1, 1, 1), is display_white's.
    for (std::size_t r = 0; r < 3; ++r) {
        const double sum = m[3 * r] + m[3 * r + 1] + m[3 * r + 2];
        for (std::size_t c = 0; c < 3; ++c) m[3 * r + c] *= display_white[r] / sum;
    }
    return m;
}

Matrix3 xyz_to_primaries(DisplayPrimaries primaries) {
    return inverse3(primaries_to_xyz(primaries));
}

void bt2020_to_ictcp(const double rgb[3], double ictcp[3]) {
    const double r = std::max(rgb[0], 0.0);
    const double g = std::max(rgb[1], 0.0);
    const double b = std::max(rgb[2], 0.0);
    const double l = pq_inverse_eotf((1688.0 * r + 2146.0 * g + 262.0 * b) / 4096.0);
    const double m = pq_inverse_eotf((683.0 * r + 2951.0 * g + 462.0 * b) / 4096.0);
    const double s = pq_inverse_eotf((99.0 * r + 309.0 * g + 3688.0 * b) / 4096.0);
    ictcp[0] = 0.5 * l + 0.5 * m;
    ictcp[1] = (6610.0 * l - 13613.0 * m + 7003.0 * s) / 4096.0;
    ictcp[2] = (17933.0 * l - 17390.0 * m - 543.0 * s) / 4096.0;
}

}  // namespace orv
