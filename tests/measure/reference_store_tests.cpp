// Reference coordinates kept between runs: a kept entry serves only a run of the same
// reference generation and conditions, memory stays within the budget, and a pair measured
// through the store gives what a fresh measurement gives, bit for bit (24-bit frames and
// exact signals alike).

#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <vector>

#include "measure/inputs.h"
#include "measure/reference_store.h"
#include "measure/sequence_runner.h"
#include "tests/scielab/scielab_fixture.h"

namespace orv {
namespace {

using scielab_test::pattern_frame;
using scielab_test::ScratchFolder;

// Coordinates of `pixels` pixels (24 bytes each).
std::shared_ptr<const ReferenceColours> colours_of(int pixels) {
    auto c = std::make_shared<ReferenceColours>();
    c->width = pixels;
    c->height = 1;
    c->blocks.emplace_back(3 * static_cast<std::size_t>(pixels), 0.5);
    return c;
}

TEST(ReferenceStore, AnotherGenerationOrOtherConditionsEmptyTheStore) {
    struct Key {
        long long generation = 3;
        MeasurementConditions c;
    };
    struct Case {
        const char* name;
        std::function<void(Key&)> change;
        bool kept;
    };
    const Case cases[] = {
        {"nothing changed", [](Key&) {}, true},
        {"another formula comparing CIELAB", [](Key& k) { k.c.formula = DeltaEFormula::cie76; },
         true},
        {"the reference loaded again", [](Key& k) { ++k.generation; }, false},
        {"ITP compares ICtCp", [](Key& k) { k.c.formula = DeltaEFormula::itp; }, false},
        {"another profile folder", [](Key& k) { k.c.colour.folder = "other"; }, false},
        {"a filter response", [](Key& k) { k.c.filters.t.response[1] += 1e-12; }, false},
        {"the sample angle", [](Key& k) { k.c.sample_angle *= 2; }, false},
        {"the viewing distance", [](Key& k) { k.c.viewing.pixel_angle_degrees *= 1.5; }, false},
        {"the display", [](Key& k) { k.c.colour.display.transfer = DisplayTransfer::pq; }, false},
        {"the white", [](Key& k) { k.c.colour.display.white_luminance = 203.0; }, false},
        {"a display table entry", [](Key& k) { k.c.colour.display_table[2][17] += 1e-9; }, false},
        {"the ATD-to-XYZ matrix", [](Key& k) { k.c.colour.atd_to_xyz[4] = 2.0; }, false},
    };
    Key base;
    base.c.filters = scielab_test::finished_filters();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReferenceStore store;
        begin_reference_run(store, base.generation, base.c);
        ASSERT_TRUE(keep_reference(store, 7, colours_of(4)));
        Key next = base;
        c.change(next);
        begin_reference_run(store, next.generation, next.c);
        EXPECT_EQ(find_reference(store, 7) != nullptr, c.kept);
        EXPECT_EQ(store.bytes, c.kept ? 96u : 0u);
        EXPECT_EQ(find_reference(store, 8), nullptr);  // never kept
    }
}

TEST(ReferenceStore, TheBudgetDropsTheLongestUnusedButNeverThisRunsEntries) {
    // Each step: begin a run (-1 in `frame`), use a frame, or keep one of `pixels` pixels;
    // after the steps, the frames kept in order. The budget holds three frames of 4 pixels.
    struct Step {
        int frame;
        int pixels;  // 0: find the frame
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<int> kept;
    };
    const Case cases[] = {
        {"a run keeps its first frames", {{-1, 0}, {0, 4}, {1, 4}, {2, 4}, {3, 4}}, {0, 1, 2}},
        {"the next run drops the earliest unused",
         {{-1, 0}, {0, 4}, {1, 4}, {2, 4}, {-1, 0}, {5, 4}},
         {1, 2, 5}},
        {"a frame used again stays",
         {{-1, 0}, {0, 4}, {1, 4}, {2, 4}, {-1, 0}, {0, 0}, {5, 4}, {6, 4}},
         {0, 5, 6}},
        {"a frame larger than the budget is not kept", {{-1, 0}, {0, 13}, {1, 4}}, {1}},
        {"a larger frame drops as many as it needs",
         {{-1, 0}, {0, 4}, {1, 4}, {2, 4}, {-1, 0}, {3, 8}},
         {2, 3}},
        {"a frame already kept is kept once", {{-1, 0}, {0, 4}, {0, 4}}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReferenceStore store;
        store.budget = 3 * 96;
        for (const Step& s : c.steps) {
            if (s.frame < 0) {
                begin_reference_run(store, 0, MeasurementConditions{});
            } else if (s.pixels == 0) {
                EXPECT_NE(find_reference(store, s.frame), nullptr);
            } else {
                keep_reference(store, s.frame, colours_of(s.pixels));
            }
            EXPECT_LE(store.bytes, store.budget);
        }
        std::vector<int> kept;
        std::size_t bytes = 0;
        for (const ReferenceStore::Entry& e : store.entries) {
            kept.push_back(e.frame);
            bytes += e.bytes;
        }
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(store.bytes, bytes);
    }
}

// Frames 16 x 10; with `deep`, every frame carries an exact signal near its pixels.
RunSide pattern_side(int count, unsigned seed, bool deep) {
    RunSide side;
    side.count = count;
    side.read = [=](int i) {
        RunFrame frame;
        frame.name = std::to_string(i);
        frame.owned = pattern_frame(16, 10, seed + static_cast<unsigned>(i));
        if (deep) {
            frame.signal = make_signal_frame(16, 10);
            for (std::size_t k = 0; k < frame.signal.rgb.size(); ++k) {
                frame.signal.rgb[k] = (frame.owned.bytes[k % 30] + 0.25 * (k % 4)) / 256.0;
            }
        }
        return frame;
    };
    return side;
}

TEST(ReferenceStore, RunsThroughTheStoreMeasureWhatAFreshRunMeasures) {
    ScratchFolder dir;
    scielab_test::write_profile(dir);
    std::ostream discard(nullptr);
    struct Case {
        const char* name;
        DeltaEFormula formula;
        bool deep;
        int threads;
        int reference_count;
    };
    const Case cases[] = {
        {"24-bit frames, CIE94", DeltaEFormula::cie94, false, 1, 3},
        {"exact signals, CIEDE2000, two threads", DeltaEFormula::ciede2000, true, 2, 3},
        {"ITP, a shorter reference repeating its last frame", DeltaEFormula::itp, false, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MeasurementConditions conditions =
            load_conditions(dir.folder(), 1, discard, c.formula);
        const RunSide reference = pattern_side(c.reference_count, 1, c.deep);
        ReferenceStore store;
        RunSettings settings;
        settings.threads = c.threads;
        settings.grey = true;
        const auto run = [&](const RunSide& degraded, ReferenceStore* kept) {
            std::vector<MeasuredPair> pairs;
            RunSettings s = settings;
            s.reuse.store = kept;
            RunConsumer consumer;
            consumer.deliver = [&pairs](MeasuredPair&& p) { pairs.push_back(std::move(p)); };
            const RunOutcome outcome = run_sequence(conditions, reference, degraded, s, consumer);
            EXPECT_EQ(outcome.frames, 3);
            return std::make_pair(pairs, outcome.pooled.p95);
        };
        run(pattern_side(3, 100, c.deep), &store);
        const long long first_hits = store.hits;
        const RunSide second = pattern_side(3, 200, c.deep);
        const auto [reused, reused_p95] = run(second, &store);
        EXPECT_EQ(store.hits - first_hits, 3);    // no reference frame filtered again
        EXPECT_EQ(store.misses, 3 - first_hits);  // the first run filtered the rest
        const auto [fresh, fresh_p95] = run(second, nullptr);
        EXPECT_EQ(reused_p95, fresh_p95);
        ASSERT_EQ(reused.size(), fresh.size());
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            const PairResult& a = reused[i].result;
            const PairResult& b = fresh[i].result;
            EXPECT_EQ(a.map.data, b.map.data);
            EXPECT_EQ(a.map.mean, b.map.mean);
            EXPECT_EQ(a.map.max, b.map.max);
            EXPECT_EQ(a.map.min, b.map.min);
            EXPECT_EQ(a.grey.bytes, b.grey.bytes);
            EXPECT_EQ(a.statistics.p95, b.statistics.p95);
            EXPECT_EQ(a.statistics.median, b.statistics.median);
        }
    }
}

}  // namespace
}  // namespace orv
