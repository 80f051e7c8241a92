// Frames of more than 8 bits measured exactly: raw 10-bit YUV files through the sequence
// runner. The expected values follow the YUV formula of ITU-R BT.709 / BT.2020 (limited range,
// n = 10: E'Y = (Y - 64) / 876, E'Pb = (Cb - 512) / 896) unrounded, then the display chain
// worked out independently (tests/scielab/display_chain.h).

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <string>
#include <vector>

#include "measure/inputs.h"
#include "measure/sequence_runner.h"
#include "media/media_text.h"
#include "tests/scielab/display_chain.h"
#include "tests/scielab/scielab_fixture.h"

namespace orv {
namespace {

using namespace display_chain;
using scielab_test::ScratchFolder;

constexpr int width = 16;
constexpr int height = 12;

// One uniform yuv444p10le frame of codes y, cb, cr.
std::string write_raw(const ScratchFolder& dir, const std::string& name, int y, int cb, int cr) {
    std::vector<std::uint16_t> words;
    for (int code : {y, cb, cr})
        words.insert(words.end(), width * height, static_cast<std::uint16_t>(code));
    std::string bytes(words.size() * 2, '\0');
    for (std::size_t i = 0; i < words.size(); ++i) {
        bytes[2 * i] = static_cast<char>(words[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(words[i] >> 8);
    }
    return dir.write(name, bytes);
}

// R', G', B' of limited-range 10-bit codes by the formula, clipped to [0, 1].
Vec signal(int y, int cb, int cr, double kr, double kb) {
    const double ey = (y - 64.0) / 876.0, pb = (cb - 512.0) / 896.0, pr = (cr - 512.0) / 896.0;
    const double r = ey + 2 * (1 - kr) * pr, b = ey + 2 * (1 - kb) * pb;
    const double g = (ey - kr * r - kb * b) / (1 - kr - kb);
    const auto clip = [](double v) { return std::fmin(std::fmax(v, 0.0), 1.0); };
    return {clip(r), clip(g), clip(b)};
}

double measured_mean(const ScratchFolder& dir, const std::string& ref, const std::string& deg,
                     const std::string& matrix, const DisplayChoice& choice,
                     DeltaEFormula formula) {
    MediaText text;
    text.size = std::to_string(width) + "x" + std::to_string(height);
    text.pixel_format = "yuv444p10le";
    text.matrix = matrix;
    text.range = "limited";
    const MediaOptions options = parse_media_text(text);
    std::ostream discard(nullptr);
    MeasurementConditions c = load_conditions(dir.folder(), 1, discard, formula);
    set_display_choice(c.colour, choice);
    const RunSide r = open_run_side({{ref, options}}, 0);
    const RunSide d = open_run_side({{deg, options}}, 0);
    double mean = -1.0;
    RunConsumer consumer;
    consumer.deliver = [&](MeasuredPair&& pair) { mean = pair.result.map.mean; };
    run_sequence(c, r, d, RunSettings{}, consumer);
    return mean;
}

TEST(ExactSignal, TenBitFramesMeasureTheFormulaUnrounded) {
    ScratchFolder dir;
    scielab_test::write_profile(dir);
    struct Case {
        const char* name;
        DisplayTransfer transfer;
        DisplayPrimaries primaries;
        const double (*xy)[2];
        DeltaEFormula formula;
        int ref[3], deg[3];
    };
    const Case cases[] = {
        // One code apart: the same 8-bit value, a difference only when measured exactly.
        {"bt1886 one code apart",
         DisplayTransfer::bt1886,
         DisplayPrimaries::bt709,
         bt709_xy,
         DeltaEFormula::cie94,
         {500, 512, 512},
         {501, 512, 512}},
        {"pq bt2020 cie94",
         DisplayTransfer::pq,
         DisplayPrimaries::bt2020,
         bt2020_xy,
         DeltaEFormula::cie94,
         {600, 450, 700},
         {604, 452, 690}},
        {"pq bt2020 itp",
         DisplayTransfer::pq,
         DisplayPrimaries::bt2020,
         bt2020_xy,
         DeltaEFormula::itp,
         {600, 450, 700},
         {604, 452, 690}},
        {"hlg bt2020",
         DisplayTransfer::hlg,
         DisplayPrimaries::bt2020,
         bt2020_xy,
         DeltaEFormula::cie94,
         {700, 400, 600},
         {690, 410, 600}},
    };
    for (const Case& k : cases) {
        const bool bt2020 = k.primaries == DisplayPrimaries::bt2020;
        const double kr = bt2020 ? 0.2627 : 0.2126, kb = bt2020 ? 0.0593 : 0.0722;
        const std::string ref = write_raw(dir, "r.yuv", k.ref[0], k.ref[1], k.ref[2]);
        const std::string deg = write_raw(dir, "d.yuv", k.deg[0], k.deg[1], k.deg[2]);
        DisplayChoice choice;
        choice.transfer = k.transfer;
        choice.primaries = k.primaries;
        const double mean =
            measured_mean(dir, ref, deg, bt2020 ? "bt2020" : "bt709", choice, k.formula);

        const double white = k.transfer == DisplayTransfer::bt1886 ? 100.0 : 203.0;
        const Mat m = primary_matrix(k.xy);
        const auto light = [&](const int* codes) {
            return display_light(k.transfer, signal(codes[0], codes[1], codes[2], kr, kb), white,
                                 0.0, 1000.0);
        };
        const auto xyz = [&](const Vec& l) {
            return times(m, {l[0] / white, l[1] / white, l[2] / white});
        };
        double expected = 0.0;
        if (k.formula == DeltaEFormula::itp) {
            // BT.2020 primaries: the display light is already absolute linear BT.2020 RGB.
            expected = itp(ictcp(light(k.ref)), ictcp(light(k.deg)));
        } else {
            expected = cie94(lab(xyz(light(k.ref))), lab(xyz(light(k.deg))));
        }
        EXPECT_GT(expected, 0.01) << k.name;
        EXPECT_NEAR(mean, expected, 1e-6) << k.name;
    }
}

}  // namespace
}  // namespace orv
