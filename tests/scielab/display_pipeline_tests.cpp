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
#include "tests/scielab/display_chain.h"
#include "tests/scielab/scielab_fixture.h"

namespace orv {
namespace {

using scielab_test::ScratchFolder;
using namespace display_chain;

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
            difference_map(scielab_test::uniform_frame(k.reference),
                           scielab_test::uniform_frame(k.degraded), c, nullptr);

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
        const PixelBuffer frame = scielab_test::uniform_frame({180, 90, 40});  // below the PQ peak
        PixelBuffer out;
        scielab_filter_frame(frame, out, c);
        for (std::size_t i = 0; i < 3; ++i) {
            const int d = frame.bytes[i] - out.bytes[i];
            EXPECT_TRUE(d == 0 || d == 1) << transfer_name(t) << " byte " << i << ": " << d;
        }
    }
}

// A frame of more than 8 bits that holds 8-bit content (each word a byte times 257, as a
// 16-bit copy of an 8-bit file has) measures bit for bit as the 8-bit frame, on every display.
TEST_F(DisplayPipeline, DeepCopiesOfByteFramesMeasureAsTheBytes) {
    const PixelBuffer ref = scielab_test::pattern_frame(20, 14, 3);
    PixelBuffer deg = ref;
    for (std::size_t i = 0; i < deg.bytes.size(); i += 5) deg.bytes[i] ^= 0x2a;
    const auto deep = [](const PixelBuffer& f) {
        SignalFrame s = make_signal_frame(f.width, f.height);
        for (int y = 0; y < f.height; ++y) {
            for (int x = 0; x < f.width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const int byte =
                        f.bytes[static_cast<std::size_t>(y * f.stride + 3 * x + 2 - c)];
                    s.rgb[3 * (static_cast<std::size_t>(y) * f.width + x) + c] =
                        byte * 257 / 65535.0;
                }
            }
        }
        return s;
    };
    const SignalFrame ref_deep = deep(ref);
    const SignalFrame deg_deep = deep(deg);
    for (auto t : {DisplayTransfer::profile, DisplayTransfer::srgb, DisplayTransfer::bt1886,
                   DisplayTransfer::pq, DisplayTransfer::hlg}) {
        DisplayChoice choice;
        choice.transfer = t;
        const MeasurementConditions c = conditions(choice, DeltaEFormula::cie94);
        const InterleavedImage bytes = difference_map(ref, deg, c, nullptr);
        const InterleavedImage words =
            difference_map(ref, deg, c, nullptr, {}, &ref_deep, &deg_deep);
        ASSERT_EQ(bytes.data.size(), words.data.size());
        for (std::size_t i = 0; i < bytes.data.size(); ++i) {
            ASSERT_EQ(bytes.data[i], words.data[i]) << transfer_name(t) << " pixel " << i;
        }
    }
}

}  // namespace
}  // namespace orv
