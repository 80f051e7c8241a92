#pragma once
// Standard display models and primaries beside the profile's own: the transfer function that
// takes a non-linear signal V in [0, 1] to display light (sRGB, BT.1886, PQ, HLG) and the
// matrix from a standard set of primaries to XYZ. Light is kept relative to a white of
// `white_luminance` cd/m^2, which CIELAB's white (display_white) stands for; HDR highlights go
// above 1. ICtCp and the BT.2124 difference work in absolute light and live here as well.

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "colour/colour_types.h"

namespace orv {

namespace display_constants {
// SMPTE ST 2084.
inline constexpr double pq_m1 = 2610.0 / 16384.0;
inline constexpr double pq_m2 = 2523.0 / 4096.0 * 128.0;
inline constexpr double pq_c1 = 3424.0 / 4096.0;
inline constexpr double pq_c2 = 2413.0 / 4096.0 * 32.0;
inline constexpr double pq_c3 = 2392.0 / 4096.0 * 32.0;
// ITU-R BT.2100 HLG.
inline constexpr double hlg_a = 0.17883277;
inline constexpr double hlg_b = 0.28466892;
inline constexpr double hlg_c = 0.55991073;
// BT.2100 luminance weights of BT.2020 RGB (HLG's OOTF uses them whatever the primaries).
inline constexpr double luma_r = 0.2627;
inline constexpr double luma_g = 0.6780;
inline constexpr double luma_b = 0.0593;
}  // namespace display_constants

enum class DisplayTransfer { profile, srgb, bt1886, pq, hlg };
enum class DisplayPrimaries { profile, bt709, p3d65, bt2020 };

// A display choice as the options give it; absent luminances take their defaults.
struct DisplayChoice {
    DisplayTransfer transfer = DisplayTransfer::profile;
    DisplayPrimaries primaries = DisplayPrimaries::profile;
    std::optional<double> white_luminance;  // 203 cd/m^2 for pq and hlg, else 100
    std::optional<double> black_luminance;  // BT.1886 only; 0
    std::optional<double> peak_luminance;   // pq and hlg only; 1000
};

// The profile's own model and matrix: the measurement of every earlier release.
bool is_profile_display(const DisplayChoice& choice);

// The luminances with their defaults filled in.
double white_luminance(const DisplayChoice& choice);
double black_luminance(const DisplayChoice& choice);
double peak_luminance(const DisplayChoice& choice);

// Refuses (Failure) luminances that are not finite positive numbers (black: not negative)
// and a BT.1886 black at or above its white.
void check_display_choice(const DisplayChoice& choice);

// "profile", "srgb", "bt1886", "pq", "hlg" / "profile", "bt709", "p3d65", "bt2020", and back
// (empty for anything else).
std::string_view transfer_name(DisplayTransfer transfer);
std::string_view primaries_name(DisplayPrimaries primaries);
std::optional<DisplayTransfer> transfer_from_text(std::string_view text);
std::optional<DisplayPrimaries> primaries_from_text(std::string_view text);

// One line for the colour-handling record, e.g. "display pq (peak 1000 cd/m2, white 203
// cd/m2), primaries bt2020".
std::string display_description(const DisplayChoice& choice);

// What the per-pixel arithmetic needs of a transfer, worked out once.
struct TransferParameters {
    DisplayTransfer transfer = DisplayTransfer::profile;
    double white = 100.0;  // the luminance that is relative light 1
    double bt1886_a = 0.0, bt1886_b = 0.0;
    double peak = 1000.0;
    double hlg_gamma = 1.2;  // system gamma of the HLG display
};
TransferParameters transfer_parameters(const DisplayChoice& choice);

// Relative light of one channel's signal for srgb, bt1886 and pq (pq clipped at the peak);
// for hlg the scene light E of the inverse OETF, which hlg_ootf turns into display light.
// V is clipped to [0, 1] first. Not for the profile's model.
double channel_light(const TransferParameters& p, double v);

// HLG's OOTF in place: scene light E of red, green, blue to relative display light,
// Lw * Ys^(gamma - 1) * E / white with Ys the BT.2100 luminance of E.
void hlg_ootf(const TransferParameters& p, double rgb[3]);

// The inverses, for writing filtered frames: relative light to V in [0, 1] (clipped).
double channel_signal(const TransferParameters& p, double light);
void hlg_inverse_ootf(const TransferParameters& p, double rgb[3]);

// SMPTE ST 2084: display light in cd/m^2 from V and back.
double pq_eotf(double v);
double pq_inverse_eotf(double luminance);

// The normalised primary matrix of a standard set for D65, each row scaled so that
// RGB (1, 1, 1) gives display_white exactly. Not for `profile`.
Matrix3 primaries_to_xyz(DisplayPrimaries primaries);
// Its inverse: XYZ (display_white the white) to linear RGB of the primaries.
Matrix3 xyz_to_primaries(DisplayPrimaries primaries);

// ICtCp of ITU-R BT.2100 from absolute linear BT.2020 RGB in cd/m^2 (negative components
// count as 0).
void bt2020_to_ictcp(const double rgb[3], double ictcp[3]);

// ITU-R BT.2124, reference first: 720 sqrt(dI^2 + (dCt / 2)^2 + dCp^2).
inline double delta_e_itp_of(const double r[3], const double s[3]) {
    const double di = r[0] - s[0];
    const double dt = 0.5 * (r[1] - s[1]);
    const double dp = r[2] - s[2];
    return 720.0 * std::sqrt(di * di + dt * dt + dp * dp);
}

}  // namespace orv
