// The sequence runner every face measures with: pairing, limits, size checks, delivery order
// and pooling, on frames made in memory with the small test profile.

#include <cmath>
#include <gtest/gtest.h>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "colour/conversions.h"
#include "measure/inputs.h"
#include "measure/sequence_runner.h"
#include "numeric/failure.h"
#include "tests/scielab/scielab_fixture.h"

namespace orv {
namespace {

using scielab_test::pattern_frame;
using scielab_test::ScratchFolder;

// A side of `count` frames made on demand; frame i is pattern i (of its own size when given).
RunSide made_side(const std::string& prefix, int count, int width = 12, int height = 8,
                  int odd_frame = -1) {
    RunSide side;
    side.count = count;
    side.read = [=](int i) {
        RunFrame frame;
        frame.name = prefix + std::to_string(i);
        frame.owned = pattern_frame(i == odd_frame ? width + 2 : width, height,
                                    static_cast<unsigned>(i + (prefix == "r" ? 0 : 100)));
        return frame;
    };
    return side;
}

MeasurementConditions test_conditions(const ScratchFolder& dir) {
    scielab_test::write_profile(dir);
    std::ostream discard(nullptr);
    return load_conditions(dir.folder(), 1, discard);
}

TEST(PairedFrames, TheShorterSequenceRepeatsItsLastFrameUpToTheLimit) {
    const struct {
        int reference, degraded;
        std::optional<int> frames;
        int pairs;
    } counts[] = {{3, 5, {}, 5}, {5, 3, {}, 5}, {4, 4, {}, 4},
                  {3, 5, 2, 2},  {3, 5, 9, 5},  {0, 0, {}, 0}};
    for (const auto& c : counts) {
        EXPECT_EQ(paired_count(c.reference, c.degraded, c.frames), c.pairs);
    }
    const struct {
        int pair, count, index;
    } indices[] = {{0, 3, 0}, {2, 3, 2}, {3, 3, 2}, {7, 3, 2}, {0, 0, -1}, {4, 1, 0}};
    for (const auto& k : indices) EXPECT_EQ(paired_index(k.pair, k.count), k.index);
}

// Also when a large pair's frames are freed as soon as their planes are made (a park size of
// 0 makes every pair large), on one thread and on two, and when the frames are kept.
TEST(SequenceRunner, PairsRepeatTheLastFrameAndMatchOneAtATime) {
    ScratchFolder dir;
    const MeasurementConditions conditions = test_conditions(dir);
    const RunSide reference = made_side("r", 2);
    const RunSide degraded = made_side("d", 4);
    constexpr std::size_t never = static_cast<std::size_t>(-1);
    const struct {
        int threads;
        std::size_t park_pixels, serial_pixels;
        bool keep_frames;
    } cases[] = {{2, PairStorage{}.park_pixels, PairStorage{}.serial_pixels, false},
                 {1, 0, never, false},
                 {2, 0, 0, false},
                 {2, 0, never, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.threads) + " threads, park " + std::to_string(c.park_pixels));
        RunSettings settings;
        settings.threads = c.threads;
        settings.grey = true;
        settings.storage.park_pixels = c.park_pixels;
        settings.storage.serial_pixels = c.serial_pixels;
        settings.keep_frames = c.keep_frames;
        std::vector<MeasuredPair> got;
        RunConsumer consumer;
        consumer.deliver = [&](MeasuredPair&& pair) { got.push_back(std::move(pair)); };
        const RunOutcome outcome =
            run_sequence(conditions, reference, degraded, settings, consumer);
        ASSERT_EQ(outcome.frames, 4);
        ASSERT_EQ(got.size(), 4u);
        std::vector<InterleavedImage> maps;
        for (int i = 0; i < 4; ++i) {
            const MeasuredPair& pair = got[static_cast<std::size_t>(i)];
            EXPECT_EQ(pair.frame, i);
            EXPECT_EQ(pair.reference.name, "r" + std::to_string(std::min(i, 1)));
            EXPECT_EQ(pair.degraded.name, "d" + std::to_string(i));
            // Frames are not kept unless asked.
            EXPECT_EQ(is_present(pair.reference.owned), c.keep_frames);
            EXPECT_EQ(is_present(pair.degraded.owned), c.keep_frames);
            EXPECT_TRUE(is_present(pair.result.grey));
            // The same pair measured on its own gives the same map and figures.
            const PairResult alone =
                measure_pair(pattern_frame(12, 8, static_cast<unsigned>(std::min(i, 1))),
                             pattern_frame(12, 8, static_cast<unsigned>(i + 100)), conditions,
                             settings.thresholds, true);
            EXPECT_EQ(pair.result.map.data, alone.map.data);
            EXPECT_EQ(pair.result.statistics.p95, alone.statistics.p95);
            EXPECT_EQ(pair.result.grey.bytes, alone.grey.bytes);
            maps.push_back(pair.result.map);
        }
        const PooledStatistics pooled = pool_maps(maps, settings.thresholds);
        EXPECT_EQ(outcome.pooled.mean_of_means, pooled.mean_of_means);
        EXPECT_EQ(outcome.pooled.p95, pooled.p95);
        EXPECT_EQ(outcome.pooled.max_frame, pooled.max_frame);
    }
}

TEST(SequenceRunner, ASizeMismatchStopsAfterTheEarlierPairsWereDelivered) {
    ScratchFolder dir;
    const MeasurementConditions conditions = test_conditions(dir);
    std::vector<int> delivered;
    RunConsumer consumer;
    consumer.deliver = [&](MeasuredPair&& pair) { delivered.push_back(pair.frame); };
    RunSettings settings;
    settings.threads = 2;
    try {
        run_sequence(conditions, made_side("r", 5), made_side("d", 5, 12, 8, 3), settings,
                     consumer);
        FAIL() << "the pair of frames of different sizes was measured";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure_text(failure),
                  "frame 3: r3 is 12x8 but d3 is 14x8; the frames of a pair must have the same "
                  "size");
    }
    EXPECT_EQ(delivered, (std::vector<int>{0, 1, 2}));
}

TEST(SequenceRunner, ReplayPoolsStoredMapsAsTheRunDid) {
    ScratchFolder dir;
    const MeasurementConditions conditions = test_conditions(dir);
    std::vector<InterleavedImage> stored;
    RunConsumer keep;
    keep.deliver = [&](MeasuredPair&& pair) { stored.push_back(std::move(pair.result.map)); };
    const RunOutcome measured =
        run_sequence(conditions, made_side("r", 3), made_side("d", 3), RunSettings{}, keep);
    RunSettings settings;
    settings.threads = 2;
    const RunOutcome replayed = replay_sequence(
        3,
        [&](int i) {
            MeasuredPair pair;
            pair.frame = i;
            pair.kept_map = &stored[static_cast<std::size_t>(i)];
            pair.result.statistics = frame_statistics(*pair.kept_map, settings.thresholds);
            return pair;
        },
        settings, RunConsumer{});
    EXPECT_EQ(replayed.frames, 3);
    EXPECT_EQ(replayed.pooled.median, measured.pooled.median);
    EXPECT_EQ(replayed.pooled.share_above, measured.pooled.share_above);
}

// One computation of a map's mean, maximum and minimum serves the tables and the statistics,
// for any values (a fixed start of -10000 / 10000 once gave extremes no pixel had).
TEST(MapFigures, StartFromTheFirstValueForAnyRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        std::vector<double> values;
        double mean, max, min;
    } cases[] = {
        {{1.0, 2.0, 3.0, 6.0}, 3.0, 6.0, 1.0},
        {{20000.0, 30000.0}, 25000.0, 30000.0, 20000.0},
        {{-20000.0, -30000.0}, -25000.0, -20000.0, -30000.0},
        {{5.0, inf}, inf, inf, 5.0},
        {{}, 0.0, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        InterleavedImage map;
        map.width = static_cast<int>(c.values.size());
        map.height = c.values.empty() ? 0 : 1;
        map.channels = 1;
        map.data.assign(c.values.begin(), c.values.end());
        summarise_map(map);
        EXPECT_EQ(map.mean, c.mean);
        EXPECT_EQ(map.max, c.max);
        EXPECT_EQ(map.min, c.min);
        const FrameStatistics s = frame_statistics(map, default_thresholds());
        if (!c.values.empty()) {
            EXPECT_EQ(s.max, c.max);
            EXPECT_EQ(s.min, c.min);
        }
    }
}

}  // namespace
}  // namespace orv
