// The standard display transfer functions, primaries and ICtCp against published figures.

#include <cmath>
#include <gtest/gtest.h>

#include "colour/display_model.h"
#include "numeric/failure.h"

namespace orv {
namespace {

TransferParameters parameters(DisplayTransfer t, std::optional<double> white = {},
                              std::optional<double> black = {}, std::optional<double> peak = {}) {
    DisplayChoice c;
    c.transfer = t;
    c.white_luminance = white;
    c.black_luminance = black;
    c.peak_luminance = peak;
    return transfer_parameters(c);
}

// ITU-R BT.2408-4 Table 1: the HDR reference white of 203 cd/m2 is PQ signal 58 %, HLG signal
// 75 % on a 1000 cd/m2 display; SMPTE ST 2084: V = 1 is 10000 cd/m2, 100 cd/m2 is about 0.508.
TEST(DisplayModel, PublishedSignalLevels) {
    EXPECT_NEAR(pq_eotf(1.0), 10000.0, 1e-9);
    EXPECT_EQ(pq_eotf(0.0), 0.0);
    EXPECT_NEAR(pq_inverse_eotf(203.0), 0.58, 0.005);
    EXPECT_NEAR(pq_inverse_eotf(100.0), 0.5081, 0.0001);
    EXPECT_NEAR(pq_inverse_eotf(1000.0), 0.7518, 0.0001);
    for (double v : {0.01, 0.1, 0.5, 0.58, 0.9, 1.0})
        EXPECT_NEAR(pq_inverse_eotf(pq_eotf(v)), v, 1e-12);

    // PQ relative to its white (203 by default) and clipped at the peak (1000 by default).
    const TransferParameters pq = parameters(DisplayTransfer::pq);
    EXPECT_NEAR(pq.white, 203.0, 0.0);
    EXPECT_NEAR(channel_light(pq, pq_inverse_eotf(203.0)), 1.0, 1e-12);
    EXPECT_NEAR(channel_light(pq, 1.0), 1000.0 / 203.0, 1e-12);

    // HLG: 75 % white on a 1000 cd/m2 display gives about 203 cd/m2 (gamma 1.2).
    const TransferParameters hlg = parameters(DisplayTransfer::hlg);
    EXPECT_DOUBLE_EQ(hlg.hlg_gamma, 1.2);
    double rgb[3] = {0.75, 0.75, 0.75};
    for (double& v : rgb) v = channel_light(hlg, v);
    EXPECT_NEAR(rgb[0], 0.26496, 1e-5);  // the inverse OETF
    hlg_ootf(hlg, rgb);
    EXPECT_NEAR(rgb[0] * 203.0, 203.0, 0.5);
    // The system gamma at another peak: 1.2 + 0.42 log10(2000 / 1000).
    EXPECT_NEAR(parameters(DisplayTransfer::hlg, {}, {}, 2000.0).hlg_gamma,
                1.2 + 0.42 * std::log10(2.0), 1e-15);

    // sRGB: the straight segment and the power; BT.1886 with Lb = 0 is Lw V^2.4.
    const TransferParameters srgb = parameters(DisplayTransfer::srgb);
    EXPECT_DOUBLE_EQ(channel_light(srgb, 0.04), 0.04 / 12.92);
    EXPECT_NEAR(channel_light(srgb, 0.5), 0.21404114, 1e-8);
    EXPECT_DOUBLE_EQ(channel_light(srgb, 1.0), 1.0);
    const TransferParameters bt1886 = parameters(DisplayTransfer::bt1886);
    EXPECT_NEAR(channel_light(bt1886, 0.5), std::pow(0.5, 2.4), 1e-15);
    // With a black, V = 0 gives Lb and V = 1 gives Lw.
    const TransferParameters lifted = parameters(DisplayTransfer::bt1886, 200.0, 0.1);
    EXPECT_NEAR(channel_light(lifted, 0.0) * 200.0, 0.1, 1e-12);
    EXPECT_NEAR(channel_light(lifted, 1.0), 1.0, 1e-12);
}

TEST(DisplayModel, InversesReturnTheSignal) {
    const TransferParameters cases[] = {
        parameters(DisplayTransfer::srgb), parameters(DisplayTransfer::bt1886, 120.0, 0.05),
        parameters(DisplayTransfer::pq), parameters(DisplayTransfer::hlg, {}, {}, 600.0)};
    for (const TransferParameters& p : cases) {
        const double v[3] = {0.2, 0.55, 0.7};  // below the PQ peak of 1000
        double rgb[3] = {v[0], v[1], v[2]};
        for (double& x : rgb) x = channel_light(p, x);
        if (p.transfer == DisplayTransfer::hlg) hlg_ootf(p, rgb);
        if (p.transfer == DisplayTransfer::hlg) hlg_inverse_ootf(p, rgb);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(channel_signal(p, rgb[c]), v[c], 1e-9) << transfer_name(p.transfer);
        }
    }
}

// BT.709 (and IEC 61966-2-1) and BT.2020 give the luminance row of their normalised primary
// matrices as 0.2126 0.7152 0.0722 and 0.2627 0.6780 0.0593; each row is scaled to the CIELAB
// white X = 95.7336, Y = 100.4817, Z = 110.3641.
TEST(DisplayModel, PrimaryMatricesReachTheWhite) {
    const struct {
        DisplayPrimaries set;
        double y[3];
        double tolerance;
    } cases[] = {{DisplayPrimaries::bt709, {0.2126, 0.7152, 0.0722}, 5e-5},
                 {DisplayPrimaries::bt2020, {0.2627, 0.6780, 0.0593}, 5e-5},
                 {DisplayPrimaries::p3d65, {0.2289746, 0.6917385, 0.0792869}, 5e-6}};
    for (const auto& c : cases) {
        const Matrix3 m = primaries_to_xyz(c.set);
        for (std::size_t r = 0; r < 3; ++r) {
            EXPECT_NEAR(m[3 * r] + m[3 * r + 1] + m[3 * r + 2], display_white[r], 1e-12);
        }
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(m[3 + k] / display_white[1], c.y[k], c.tolerance) << primaries_name(c.set);
        }
        const Matrix3 q = xyz_to_primaries(c.set);
        for (std::size_t r = 0; r < 3; ++r) {
            for (std::size_t k = 0; k < 3; ++k) {
                const double e =
                    q[3 * r] * m[k] + q[3 * r + 1] * m[3 + k] + q[3 * r + 2] * m[6 + k];
                EXPECT_NEAR(e, r == k ? 1.0 : 0.0, 1e-14);
            }
        }
    }
}

// ITU-R BT.2100: an achromatic colour has Ct = Cp = 0 and I its PQ signal; ITU-R BT.2124:
// a change of I alone by 1/720 is one unit of ΔE ITP.
TEST(DisplayModel, IctcpAndDeltaEItp) {
    const double grey[3] = {100.0, 100.0, 100.0};
    double ictcp[3];
    bt2020_to_ictcp(grey, ictcp);
    EXPECT_NEAR(ictcp[0], pq_inverse_eotf(100.0), 1e-12);
    EXPECT_NEAR(ictcp[1], 0.0, 1e-12);
    EXPECT_NEAR(ictcp[2], 0.0, 1e-12);
    const double a[3] = {0.5, 0.01, -0.02};
    const double b[3] = {0.5 + 1.0 / 720.0, 0.01, -0.02};
    EXPECT_NEAR(delta_e_itp_of(a, b), 1.0, 1e-12);
    const double c[3] = {0.5, 0.01 + 2.0 / 720.0, -0.02};  // T = Ct / 2
    EXPECT_NEAR(delta_e_itp_of(a, c), 1.0, 1e-12);
    EXPECT_EQ(delta_e_itp_of(a, a), 0.0);
}

TEST(DisplayModel, NamesDefaultsAndRefusals) {
    for (auto t : {DisplayTransfer::profile, DisplayTransfer::srgb, DisplayTransfer::bt1886,
                   DisplayTransfer::pq, DisplayTransfer::hlg}) {
        EXPECT_EQ(transfer_from_text(transfer_name(t)), t);
    }
    for (auto p : {DisplayPrimaries::profile, DisplayPrimaries::bt709, DisplayPrimaries::p3d65,
                   DisplayPrimaries::bt2020}) {
        EXPECT_EQ(primaries_from_text(primaries_name(p)), p);
    }
    EXPECT_FALSE(transfer_from_text("PQ"));
    EXPECT_FALSE(primaries_from_text("rec2020"));
    DisplayChoice c;
    EXPECT_TRUE(is_profile_display(c));
    EXPECT_EQ(white_luminance(c), 100.0);
    c.transfer = DisplayTransfer::hlg;
    EXPECT_EQ(white_luminance(c), 203.0);
    EXPECT_EQ(display_description(c),
              "display hlg (peak 1000 cd/m2, white 203 cd/m2), primaries profile (the profile's "
              "matrix)");
    const struct {
        DisplayChoice choice;
        FailureKind kind;
    } refused[] = {
        {{DisplayTransfer::pq, DisplayPrimaries::bt2020, 0.0, {}, {}},
         FailureKind::luminance_not_positive},
        {{DisplayTransfer::pq, DisplayPrimaries::bt2020, {}, {}, NAN},
         FailureKind::luminance_not_positive},
        {{DisplayTransfer::bt1886, DisplayPrimaries::bt709, 100.0, -1.0, {}},
         FailureKind::black_luminance_negative},
        {{DisplayTransfer::bt1886, DisplayPrimaries::bt709, 100.0, 100.0, {}},
         FailureKind::black_not_below_white},
    };
    for (const auto& r : refused) {
        try {
            check_display_choice(r.choice);
            ADD_FAILURE() << "accepted";
        } catch (const Failure& f) {
            EXPECT_EQ(f.kind, r.kind) << failure_text(f);
        }
    }
}

}  // namespace
}  // namespace orv
