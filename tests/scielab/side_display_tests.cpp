// Each side of a pair measured through its own display and primaries: a 10-bit PQ/BT.2020
// reference against an 8-bit sRGB/BT.709 degraded frame. On uniform frames the filters change
// nothing, so each map value must equal the formula chain worked out independently
// (display_chain.h: SMPTE ST 2084, IEC 61966-2-1, the ITU-R BT.2020 and BT.709 primaries,
// CIELAB -> CIE94, ICtCp of ITU-R BT.2100 -> ΔE ITP of ITU-R BT.2124), each side with its own
// white: 203 cd/m2 for PQ (ITU-R BT.2408), 100 for sRGB.

#include <array>
#include <gtest/gtest.h>

#include "colour/display_model.h"
#include "image/signal_frame.h"
#include "scielab/conditions.h"
#include "scielab/pipeline.h"
#include "tests/scielab/display_chain.h"
#include "tests/scielab/scielab_fixture.h"

namespace orv {
namespace {

using namespace display_chain;

SignalFrame uniform_codes(const std::array<int, 3>& codes) {
    SignalFrame s = make_signal_frame(16, 12);
    for (std::size_t i = 0; i < s.rgb.size(); ++i) s.rgb[i] = codes[i % 3] / 1023.0;
    return s;
}

TEST(SideDisplays, PqReferenceAgainstSrgbDegradedGivesEachSidesChain) {
    scielab_test::ScratchFolder dir;
    scielab_test::write_profile(dir);
    const AtdFilters filters = scielab_test::finished_filters();
    DisplayChoice pq_2020;
    pq_2020.transfer = DisplayTransfer::pq;
    pq_2020.primaries = DisplayPrimaries::bt2020;
    DisplayChoice srgb_709;
    srgb_709.transfer = DisplayTransfer::srgb;
    srgb_709.primaries = DisplayPrimaries::bt709;
    struct Case {
        const char* name;
        DeltaEFormula formula;
        std::array<int, 3> reference;  // 10-bit codes
        std::array<int, 3> degraded;   // bytes
    };
    const Case cases[] = {
        {"mid grey cie94", DeltaEFormula::cie94, {520, 520, 520}, {128, 128, 128}},
        {"colour cie94", DeltaEFormula::cie94, {610, 480, 300}, {200, 150, 90}},
        {"mid grey itp", DeltaEFormula::itp, {520, 520, 520}, {128, 128, 128}},
        {"colour itp", DeltaEFormula::itp, {610, 480, 300}, {200, 150, 90}},
    };
    for (const Case& k : cases) {
        MeasurementConditions c = make_conditions(dir.folder(), filters, k.formula);
        set_side_displays(c, pq_2020, srgb_709);
        ASSERT_TRUE(c.degraded_colour.has_value());
        const SignalFrame ref_signal = uniform_codes(k.reference);
        const PixelBuffer ref = scielab_test::uniform_frame(
            {k.reference[0] / 4, k.reference[1] / 4, k.reference[2] / 4});
        const PixelBuffer deg = scielab_test::uniform_frame(k.degraded);

        const Vec ref_light = display_light(
            DisplayTransfer::pq,
            {k.reference[0] / 1023.0, k.reference[1] / 1023.0, k.reference[2] / 1023.0}, 203.0, 0.0,
            1000.0);
        const Vec deg_light =
            display_light(DisplayTransfer::srgb,
                          {k.degraded[0] / 255.0, k.degraded[1] / 255.0, k.degraded[2] / 255.0},
                          100.0, 0.0, 1000.0);
        const auto xyz = [](const double xy[3][2], const Vec& l, double white) {
            return times(primary_matrix(xy), {l[0] / white, l[1] / white, l[2] / white});
        };
        const Vec ref_xyz = xyz(bt2020_xy, ref_light, 203.0);
        const Vec deg_xyz = xyz(bt709_xy, deg_light, 100.0);
        double expected = 0.0;
        if (k.formula == DeltaEFormula::itp) {
            const Mat to_2020 = inverse(primary_matrix(bt2020_xy));
            const auto absolute = [&](const Vec& x, double white) {
                const Vec r = times(to_2020, x);
                return Vec{r[0] * white, r[1] * white, r[2] * white};
            };
            expected = itp(ictcp(absolute(ref_xyz, 203.0)), ictcp(absolute(deg_xyz, 100.0)));
        } else {
            expected = cie94(lab(ref_xyz), lab(deg_xyz));
        }
        EXPECT_GT(expected, 0.5) << k.name;
        // Measured pair by pair, and against a reference measured once.
        const InterleavedImage map = difference_map(ref, deg, c, nullptr, {}, &ref_signal);
        EXPECT_NEAR(map.mean, expected, 1e-6) << k.name;
        EXPECT_NEAR(map.max - map.min, 0.0, 1e-6) << k.name;
        const InterleavedImage against =
            difference_map_against(reference_colours(ref, c, &ref_signal), deg, c);
        EXPECT_NEAR(against.mean, expected, 1e-6) << k.name;
        // The same two frames measured with the reference's display on both sides differ.
        MeasurementConditions alike = make_conditions(dir.folder(), filters, k.formula);
        set_side_displays(alike, pq_2020, pq_2020);
        EXPECT_FALSE(alike.degraded_colour.has_value());
        EXPECT_GT(
            std::abs(difference_map(ref, deg, alike, nullptr, {}, &ref_signal).mean - expected),
            0.5)
            << k.name;
    }
}

}  // namespace
}  // namespace orv
