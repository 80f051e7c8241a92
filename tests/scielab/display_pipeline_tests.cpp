// Measurements through the standard display models and primaries. On uniform frames the
// filters change nothing, so each map value must equal the formula chain worked out here
// independently: signal -> display light (IEC 61966-2-1, ITU-R BT.1886, SMPTE ST 2084,
// ITU-R BT.2100 HLG) -> XYZ through the normalised primary matrix of the CIE 1931 xy
// primaries (ITU-R BT.709, SMPTE EG 432-1 P3 D65, ITU-R BT.2020) and D65, each row scaled to
// the CIELAB white -> CIELAB -> CIE94, or -> ICtCp (ITU-R BT.2100) -> ΔE ITP (ITU-R BT.2124).

#include <array>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>

#include "colour/display_model.h"
#include "scielab/conditions.h"
#include "scielab/pipeline.h"
#include "tests/scielab/scielab_fixture.h"

namespace orv {
namespace {

using scielab_test::ScratchFolder;
using Vec = std::array<double, 3>;
using Mat = std::array<Vec, 3>;

Mat inverse(const Mat& m) {
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

Vec times(const Mat& m, const Vec& v) {
    return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
            m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
            m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

// Normalised primary matrix for D65, rows scaled to the CIELAB white.
Mat primary_matrix(const double xy[3][2]) {
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

const double bt709_xy[3][2] = {{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}};
const double bt2020_xy[3][2] = {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}};
const double p3_xy[3][2] = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}};

double pq(double v) {  // SMPTE ST 2084 EOTF, cd/m2
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                 c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double e = std::pow(v, 1 / m2);
    return 10000 * std::pow(std::fmax(e - c1, 0.0) / (c2 - c3 * e), 1 / m1);
}

double pq_signal(double l) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                 c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double y = std::pow(l / 10000, m1);
    return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

Vec lab(const Vec& xyz) {
    const Vec white = {95.7336, 100.4817, 110.3641};
    Vec f{};
    for (int k = 0; k < 3; ++k) {
        const double t = xyz[k] / white[k];
        f[k] = t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116;
    }
    return {116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])};
}

double cie94(const Vec& r, const Vec& s) {
    const double c1 = std::hypot(r[1], r[2]), c2 = std::hypot(s[1], s[2]);
    const double dl = r[0] - s[0], dc = c1 - c2;
    const double dh2 =
        std::fmax((r[1] - s[1]) * (r[1] - s[1]) + (r[2] - s[2]) * (r[2] - s[2]) - dc * dc, 0.0);
    return std::sqrt(dl * dl + std::pow(dc / (1 + 0.045 * c1), 2) +
                     dh2 / std::pow(1 + 0.015 * c1, 2));
}

Vec ictcp(const Vec& rgb2020) {  // absolute light, cd/m2
    const double l = pq_signal((1688 * rgb2020[0] + 2146 * rgb2020[1] + 262 * rgb2020[2]) / 4096);
    const double m = pq_signal((683 * rgb2020[0] + 2951 * rgb2020[1] + 462 * rgb2020[2]) / 4096);
    const double s = pq_signal((99 * rgb2020[0] + 309 * rgb2020[1] + 3688 * rgb2020[2]) / 4096);
    return {0.5 * l + 0.5 * m, (6610 * l - 13613 * m + 7003 * s) / 4096,
            (17933 * l - 17390 * m - 543 * s) / 4096};
}

double itp(const Vec& a, const Vec& b) {
    return 720 * std::sqrt(std::pow(a[0] - b[0], 2) + std::pow((a[1] - b[1]) / 2, 2) +
                           std::pow(a[2] - b[2], 2));
}

// Display light in cd/m2 of signals V (red, green, blue).
Vec display_light(DisplayTransfer t, const Vec& v, double white, double black, double peak) {
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

PixelBuffer uniform(const std::array<int, 3>& rgb) {
    PixelBuffer f = make_pixel_buffer(16, 12);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            for (int c = 0; c < 3; ++c) {
                f.bytes[static_cast<std::size_t>(y * f.stride + 3 * x + c)] =
                    static_cast<std::uint8_t>(rgb[static_cast<std::size_t>(2 - c)]);
            }
        }
    }
    return f;
}

class DisplayPipeline : public ::testing::Test {
protected:
    void SetUp() override { scielab_test::write_profile(dir); }
    MeasurementConditions conditions(const DisplayChoice& choice, DeltaEFormula formula) {
        MeasurementConditions c = make_conditions(dir.folder(), filters, formula);
        set_display_choice(c.colour, choice);
        return c;
    }
    ScratchFolder dir;
    AtdFilters filters = scielab_test::finished_filters();
};

TEST_F(DisplayPipeline, UniformFramesGiveTheFormulaChain) {
    struct Case {
        const char* name;
        DisplayTransfer transfer;
        DisplayPrimaries primaries;
        const double (*xy)[2];
        std::optional<double> white, black, peak;
        DeltaEFormula formula;
        std::array<int, 3> reference, degraded;
    };
    const Case cases[] = {
        {"pq bt2020 cie94",
         DisplayTransfer::pq,
         DisplayPrimaries::bt2020,
         bt2020_xy,
         {},
         {},
         {},
         DeltaEFormula::cie94,
         {180, 150, 120},
         {176, 152, 110}},
        {"pq bt2020 itp",
         DisplayTransfer::pq,
         DisplayPrimaries::bt2020,
         bt2020_xy,
         {},
         {},
         {},
         DeltaEFormula::itp,
         {180, 150, 120},
         {176, 152, 110}},
        {"pq clipped at 600",
         DisplayTransfer::pq,
         DisplayPrimaries::bt2020,
         bt2020_xy,
         150.0,
         {},
         600.0,
         DeltaEFormula::cie94,
         {250, 200, 30},
         {240, 205, 40}},
        {"hlg bt2020",
         DisplayTransfer::hlg,
         DisplayPrimaries::bt2020,
         bt2020_xy,
         {},
         {},
         {},
         DeltaEFormula::cie94,
         {190, 100, 60},
         {185, 110, 70}},
        {"hlg 500 itp",
         DisplayTransfer::hlg,
         DisplayPrimaries::bt2020,
         bt2020_xy,
         {},
         {},
         500.0,
         DeltaEFormula::itp,
         {190, 100, 60},
         {185, 110, 70}},
        {"bt1886 one code apart",
         DisplayTransfer::bt1886,
         DisplayPrimaries::bt709,
         bt709_xy,
         {},
         {},
         {},
         DeltaEFormula::cie94,
         {100, 100, 100},
         {100, 101, 100}},
        {"bt1886 with black",
         DisplayTransfer::bt1886,
         DisplayPrimaries::bt709,
         bt709_xy,
         150.0,
         0.2,
         {},
         DeltaEFormula::cie94,
         {20, 30, 10},
         {22, 30, 10}},
        {"srgb p3",
         DisplayTransfer::srgb,
         DisplayPrimaries::p3d65,
         p3_xy,
         {},
         {},
         {},
         DeltaEFormula::cie94,
         {30, 200, 90},
         {40, 190, 95}},
        {"srgb bt709 itp",
         DisplayTransfer::srgb,
         DisplayPrimaries::bt709,
         bt709_xy,
         {},
         {},
         {},
         DeltaEFormula::itp,
         {30, 200, 90},
         {40, 190, 95}},
    };
    for (const Case& k : cases) {
        DisplayChoice choice;
        choice.transfer = k.transfer;
        choice.primaries = k.primaries;
        choice.white_luminance = k.white;
        choice.black_luminance = k.black;
        choice.peak_luminance = k.peak;
        const MeasurementConditions c = conditions(choice, k.formula);
        const InterleavedImage map =
            difference_map(uniform(k.reference), uniform(k.degraded), c, nullptr);

        const bool hdr = k.transfer == DisplayTransfer::pq || k.transfer == DisplayTransfer::hlg;
        const double white = k.white.value_or(hdr ? 203.0 : 100.0);
        const Mat m = primary_matrix(k.xy);
        const auto light = [&](const std::array<int, 3>& bytes) {
            const Vec v = {bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0};
            return display_light(k.transfer, v, white, k.black.value_or(0.0),
                                 k.peak.value_or(1000.0));
        };
        const auto xyz = [&](const Vec& l) {
            return times(m, {l[0] / white, l[1] / white, l[2] / white});
        };
        double expected = 0.0;
        if (k.formula == DeltaEFormula::itp) {
            const Mat to_2020 = inverse(primary_matrix(bt2020_xy));
            const auto abs2020 = [&](const Vec& l) {
                const Vec r = times(to_2020, xyz(l));
                return Vec{r[0] * white, r[1] * white, r[2] * white};
            };
            expected = itp(ictcp(abs2020(light(k.reference))), ictcp(abs2020(light(k.degraded))));
        } else {
            expected = cie94(lab(xyz(light(k.reference))), lab(xyz(light(k.degraded))));
        }
        EXPECT_GT(expected, 0.05) << k.name;
        EXPECT_NEAR(map.mean, expected, 1e-6) << k.name;
        EXPECT_NEAR(map.max - map.min, 0.0, 1e-6) << k.name;
    }
}

// The profile's own model and matrix, chosen explicitly, measure exactly as before.
TEST_F(DisplayPipeline, ProfileChoiceKeepsEveryValue) {
    const PixelBuffer ref = scielab_test::pattern_frame(20, 14, 3);
    PixelBuffer deg = ref;
    for (std::size_t i = 0; i < deg.bytes.size(); i += 7) deg.bytes[i] ^= 0x15;
    const MeasurementConditions plain = make_conditions(dir.folder(), filters);
    DisplayChoice profile;
    profile.white_luminance = 80.0;  // only ΔE ITP's absolute light would see it
    const MeasurementConditions chosen = conditions(profile, DeltaEFormula::cie94);
    const InterleavedImage a = difference_map(ref, deg, plain, nullptr);
    const InterleavedImage b = difference_map(ref, deg, chosen, nullptr);
    ASSERT_EQ(a.data.size(), b.data.size());
    for (std::size_t i = 0; i < a.data.size(); ++i) ASSERT_EQ(a.data[i], b.data[i]) << i;
}

// A filtered uniform frame comes back through the inverse of each standard model.
TEST_F(DisplayPipeline, FilteredUniformFramesComeBack) {
    for (auto t : {DisplayTransfer::srgb, DisplayTransfer::bt1886, DisplayTransfer::pq,
                   DisplayTransfer::hlg}) {
        DisplayChoice choice;
        choice.transfer = t;
        choice.primaries = DisplayPrimaries::bt2020;
        const MeasurementConditions c = conditions(choice, DeltaEFormula::cie94);
        const PixelBuffer frame = uniform({180, 90, 40});  // below the PQ peak
        PixelBuffer out;
        scielab_filter_frame(frame, out, c);
        for (std::size_t i = 0; i < 3; ++i) {
            const int d = frame.bytes[i] - out.bytes[i];
            EXPECT_TRUE(d == 0 || d == 1) << transfer_name(t) << " byte " << i << ": " << d;
        }
    }
}

}  // namespace
}  // namespace orv
