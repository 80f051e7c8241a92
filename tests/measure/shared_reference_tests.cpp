// Several degraded sequences measured against one reference in one pass: every pair, its
// statistics and the pooled figures must be those of a separate run of each sequence, while
// each reference frame is read (and filtered) once per frame index.

#include <atomic>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "measure/inputs.h"
#include "measure/sequence_runner.h"
#include "measure/shared_reference.h"
#include "numeric/failure.h"
#include "tests/scielab/scielab_fixture.h"

namespace orv {
namespace {

using scielab_test::pattern_frame;
using scielab_test::ScratchFolder;

// `count` frames of w x h, frame i pattern seed + i; frame `odd_frame` two pixels wider. Every
// read is counted in `reads` when given.
RunSide made_side(const std::string& prefix, int count, int w, int h, unsigned seed,
                  std::atomic<int>* reads = nullptr, int odd_frame = -1) {
    RunSide side;
    side.count = count;
    side.read = [=](int i) {
        if (reads != nullptr) ++*reads;
        RunFrame frame;
        frame.name = prefix + std::to_string(i);
        frame.owned = pattern_frame(i == odd_frame ? w + 2 : w, h, seed + static_cast<unsigned>(i));
        return frame;
    };
    return side;
}

struct Collected {
    std::vector<MeasuredPair> pairs;
    RunOutcome outcome;
};

RunConsumer collect_into(Collected& c) {
    RunConsumer consumer;
    consumer.deliver = [&c](MeasuredPair&& pair) { c.pairs.push_back(std::move(pair)); };
    return consumer;
}

void expect_same_statistics(const FrameStatistics& a, const FrameStatistics& b) {
    EXPECT_EQ(a.mean, b.mean);
    EXPECT_EQ(a.max, b.max);
    EXPECT_EQ(a.min, b.min);
    EXPECT_EQ(a.median, b.median);
    EXPECT_EQ(a.p95, b.p95);
    EXPECT_EQ(a.p99, b.p99);
    EXPECT_EQ(a.share_above, b.share_above);
    EXPECT_EQ(a.max_x, b.max_x);
    EXPECT_EQ(a.max_y, b.max_y);
}

TEST(SharedReference, EveryPairAndPooledFigureIsThatOfASeparateRun) {
    ScratchFolder dir;
    scielab_test::write_profile(dir);
    struct Case {
        const char* name;
        DeltaEFormula formula;
        int threads;
        int width, height;  // odd heights take the filter's other path
        int reference_count;
        std::vector<int> degraded_counts;
        std::optional<int> frames;
        MetricsRequest metrics;  // PSNR and SSIM beside, on the RGB frames
    };
    const Case cases[] = {
        {"four equal sequences, one thread",
         DeltaEFormula::cie94,
         1,
         12,
         8,
         3,
         {3, 3, 3, 3},
         {},
         {}},
        {"CIEDE2000 on two threads", DeltaEFormula::ciede2000, 2, 12, 8, 3, {3, 3}, {}, {}},
        {"odd height, CIE76", DeltaEFormula::cie76, 2, 10, 7, 2, {2, 2, 2}, {}, {}},
        {"ITP", DeltaEFormula::itp, 1, 12, 8, 2, {2, 2}, {}, {}},
        {"shorter sides repeat their last frame",
         DeltaEFormula::cie94,
         2,
         12,
         8,
         2,
         {4, 1, 3},
         {},
         {}},
        {"at most two pairs", DeltaEFormula::cie94, 1, 12, 8, 3, {3, 4}, 2, {}},
        {"one sequence", DeltaEFormula::cie94, 1, 12, 8, 3, {3}, {}, {}},
        {"PSNR and SSIM, shorter sides",
         DeltaEFormula::cie94,
         2,
         12,
         8,
         3,
         {3, 2},
         {},
         {true, true}},
        {"no sequences", DeltaEFormula::cie94, 2, 12, 8, 3, {}, {}, {}},
        {"PSNR alone, one thread", DeltaEFormula::cie94, 1, 12, 8, 2, {2, 2}, {}, {true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ostream discard(nullptr);
        const MeasurementConditions conditions =
            load_conditions(dir.folder(), 1, discard, c.formula);
        RunSettings settings;
        settings.threads = c.threads;
        settings.frames = c.frames;
        std::atomic<int> reference_reads{0};
        const RunSide reference =
            made_side("r", c.reference_count, c.width, c.height, 1, &reference_reads);
        std::vector<Collected> joint(c.degraded_counts.size());
        std::vector<DegradedRun> runs;
        for (std::size_t k = 0; k < c.degraded_counts.size(); ++k) {
            runs.push_back({made_side("d", c.degraded_counts[k], c.width, c.height,
                                      100 + 10 * static_cast<unsigned>(k)),
                            collect_into(joint[k]), plan_metrics(c.metrics, {""}, {""})});
        }
        const std::vector<RunOutcome> outcomes =
            run_against_reference(conditions, reference, runs, settings);
        ASSERT_EQ(outcomes.size(), runs.size());

        int longest = 0;
        for (std::size_t k = 0; k < runs.size(); ++k) {
            SCOPED_TRACE(k);
            Collected alone;
            RunSettings own = settings;
            own.metrics = runs[k].metrics;
            alone.outcome =
                run_sequence(conditions, reference, runs[k].side, own, collect_into(alone));
            longest = std::max(longest, alone.outcome.frames);
            ASSERT_EQ(outcomes[k].frames, alone.outcome.frames);
            ASSERT_EQ(joint[k].pairs.size(), alone.pairs.size());
            for (std::size_t i = 0; i < alone.pairs.size(); ++i) {
                const MeasuredPair& a = joint[k].pairs[i];
                const MeasuredPair& b = alone.pairs[i];
                EXPECT_EQ(a.frame, b.frame);
                EXPECT_EQ(a.reference.name, b.reference.name);
                EXPECT_EQ(a.degraded.name, b.degraded.name);
                EXPECT_EQ(a.result.map.data, b.result.map.data);  // bit for bit
                EXPECT_EQ(a.result.map.mean, b.result.map.mean);
                expect_same_statistics(a.result.statistics, b.result.statistics);
                EXPECT_EQ(a.result.metrics.measured, c.metrics.any());
                EXPECT_EQ(metric_values(runs[k].metrics, a.result.metrics),
                          metric_values(own.metrics, b.result.metrics));
            }
            const PooledStatistics& p = outcomes[k].pooled;
            const PooledStatistics& q = alone.outcome.pooled;
            EXPECT_EQ(p.mean_of_means, q.mean_of_means);
            EXPECT_EQ(p.median, q.median);
            EXPECT_EQ(p.p95, q.p95);
            EXPECT_EQ(p.max, q.max);
            EXPECT_EQ(p.max_frame, q.max_frame);
            const PooledMetrics& m = outcomes[k].metrics;
            EXPECT_EQ(m.columns, alone.outcome.metrics.columns);
            EXPECT_EQ(m.values, alone.outcome.metrics.values);
            EXPECT_EQ(m.frames, alone.outcome.metrics.frames);
            EXPECT_EQ(m.columns.empty(), !c.metrics.any());
        }
        // The joint run read each frame index's reference frame once; each separate run
        // read one per pair of its own.
        int separate_reads = 0;
        for (const Collected& j : joint) separate_reads += static_cast<int>(j.pairs.size());
        EXPECT_EQ(reference_reads.load(), longest + separate_reads);
    }
}

TEST(SharedReference, KeptFramesComeWithEveryPair) {
    ScratchFolder dir;
    const MeasurementConditions conditions = [&] {
        scielab_test::write_profile(dir);
        std::ostream discard(nullptr);
        return load_conditions(dir.folder(), 1, discard);
    }();
    RunSettings settings;
    settings.keep_frames = true;
    const RunSide reference = made_side("r", 2, 12, 8, 1);
    std::vector<Collected> joint(2);
    const std::vector<DegradedRun> runs = {
        {made_side("d", 2, 12, 8, 100), collect_into(joint[0]), {}},
        {made_side("e", 2, 12, 8, 200), collect_into(joint[1]), {}}};
    run_against_reference(conditions, reference, runs, settings);
    for (const Collected& c : joint) {
        ASSERT_EQ(c.pairs.size(), 2u);
        for (const MeasuredPair& pair : c.pairs) {
            EXPECT_EQ(frame_pixels(pair.reference).bytes,
                      pattern_frame(12, 8, 1 + static_cast<unsigned>(pair.frame)).bytes);
            EXPECT_TRUE(is_present(frame_pixels(pair.degraded)));
        }
    }
}

// A pair whose frames differ in size stops the whole run: the frame indices before it are
// delivered for every sequence, nothing from its own index on, and the failure reaches the
// caller whichever the number of threads.
TEST(SharedReference, ASizeMismatchStopsTheRunAfterTheEarlierFrames) {
    ScratchFolder dir;
    scielab_test::write_profile(dir);
    std::ostream discard(nullptr);
    const MeasurementConditions conditions = load_conditions(dir.folder(), 1, discard);
    for (const int threads : {1, 2}) {
        SCOPED_TRACE(threads);
        RunSettings settings;
        settings.threads = threads;
        const RunSide reference = made_side("r", 4, 12, 8, 1);
        std::vector<Collected> joint(2);
        const std::vector<DegradedRun> runs = {
            {made_side("d", 4, 12, 8, 100), collect_into(joint[0]), {}},
            {made_side("e", 4, 12, 8, 200, nullptr, 2), collect_into(joint[1]), {}}};
        EXPECT_THROW(run_against_reference(conditions, reference, runs, settings), Failure);
        EXPECT_EQ(joint[1].pairs.size(), 2u);
        EXPECT_GE(joint[0].pairs.size(), 2u);  // frame 2 of the first sequence comes before
        EXPECT_LE(joint[0].pairs.size(), 3u);
    }
}

}  // namespace
}  // namespace orv
