// Map statistics against a direct computation: sort the values and index by nearest rank.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "colour/conversions.h"
#include "measure/statistics.h"
#include "numeric/failure.h"

namespace orv {
namespace {

// A map from rows given top row first (as a picture is read), stored bottom-up.
InterleavedImage map_from_picture(int width, const std::vector<double>& top_first) {
    InterleavedImage map;
    map.width = width;
    map.height = static_cast<int>(top_first.size()) / width;
    map.channels = 1;
    for (int row = map.height - 1; row >= 0; --row) {
        map.data.insert(map.data.end(), top_first.begin() + row * width,
                        top_first.begin() + (row + 1) * width);
    }
    summarise_map(map);
    return map;
}

double sorted_rank(std::vector<double> v, double percent) {
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(percent / 100.0 * v.size()));
    return v[std::max<std::size_t>(rank, 1) - 1];
}

struct MapCase {
    const char* name;
    int width;
    std::vector<double> picture;  // top row first
    int max_x;
    int max_y;
};

class FrameStatisticsTable : public testing::TestWithParam<MapCase> {};

TEST_P(FrameStatisticsTable, MatchesSortingAndCounting) {
    const MapCase& c = GetParam();
    const InterleavedImage map = map_from_picture(c.width, c.picture);
    const std::vector<double> thresholds = {0.5, 1.0, 2.0, 5.0};
    const FrameStatistics s = frame_statistics(map, thresholds);
    EXPECT_DOUBLE_EQ(s.median, sorted_rank(c.picture, 50));
    EXPECT_EQ(s.p95, sorted_rank(c.picture, 95));
    EXPECT_EQ(s.p99, sorted_rank(c.picture, 99));
    EXPECT_EQ(s.max, *std::max_element(c.picture.begin(), c.picture.end()));
    EXPECT_EQ(s.min, *std::min_element(c.picture.begin(), c.picture.end()));
    double sum = 0.0;
    for (double v : map.data) sum += v;  // stored order, as the pipeline sums
    EXPECT_EQ(s.mean, sum / c.picture.size());
    for (std::size_t k = 0; k < thresholds.size(); ++k) {
        const auto n = std::count_if(c.picture.begin(), c.picture.end(),
                                     [&](double v) { return v > thresholds[k]; });
        EXPECT_DOUBLE_EQ(s.share_above[k], static_cast<double>(n) / c.picture.size()) << k;
    }
    EXPECT_EQ(s.max_x, c.max_x);
    EXPECT_EQ(s.max_y, c.max_y);
}

INSTANTIATE_TEST_SUITE_P(
    Maps, FrameStatisticsTable,
    testing::Values(
        MapCase{"single_pixel", 1, {3.25}, 0, 0},
        MapCase{"all_equal", 3, {2.0, 2.0, 2.0, 2.0, 2.0, 2.0}, 0, 0},
        // Ties at the maximum: the first in reading order from the top-left corner wins.
        MapCase{"tied_maximum_lower_rows", 3, {0.0, 1.0, 0.0, 7.0, 0.0, 7.0, 7.0, 0.0, 0.0}, 0, 1},
        MapCase{"maximum_at_bottom_right", 2, {0.1, 0.2, 0.3, 9.0}, 1, 1},
        MapCase{"maximum_on_top_row", 4, {0.0, 0.0, 4.0, 0.0, 1.0, 1.0, 1.0, 1.0}, 2, 0},
        // Exactly at a threshold is not above it.
        MapCase{"values_on_thresholds", 2, {1.0, 2.0, 5.0, 5.0000001}, 1, 1},
        // Twenty values: the 95th percentile is the 19th, the 99th the 20th, the median the 10th.
        MapCase{"twenty_ranks",
                5,
                {20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
                0,
                0}),
    [](const testing::TestParamInfo<MapCase>& info) { return std::string(info.param.name); });

TEST(NearestRank, RanksAtTheEdges) {
    EXPECT_EQ(nearest_rank(20, 95), 19u);
    EXPECT_EQ(nearest_rank(20, 50), 10u);
    EXPECT_EQ(nearest_rank(21, 50), 11u);
    EXPECT_EQ(nearest_rank(1, 99), 1u);
    EXPECT_EQ(nearest_rank(7, 0), 1u);
    EXPECT_EQ(nearest_rank(7, 100), 7u);
    EXPECT_EQ(nearest_rank(0, 50), 0u);
    // No overflow for counts beyond what p * count can hold.
    EXPECT_EQ(nearest_rank(UINT64_MAX - 5, 100), UINT64_MAX - 5);
}

// Pooled figures equal the figures of all maps taken as one, whether the values stay in
// memory or pass through the temporary file; ties straddle histogram bins and fill them.
TEST(PooledStatistics, EqualDirectComputationInMemoryAndSpilled) {
    std::mt19937 random(7);
    std::gamma_distribution<double> spread(1.5, 1.0);
    std::vector<InterleavedImage> maps;
    std::vector<double> all;
    for (int f = 0; f < 6; ++f) {
        std::vector<double> picture(37 * 11);
        for (double& v : picture) v = f == 3 ? 1.0 : std::round(spread(random) * 64.0) / 64.0;
        maps.push_back(map_from_picture(37, picture));
        all.insert(all.end(), picture.begin(), picture.end());
    }
    const std::vector<double> thresholds = default_thresholds();
    for (std::size_t limit : {std::size_t{1} << 30, std::size_t{3000}}) {
        PooledAccumulator pool(thresholds);
        pool.memory_limit_bytes = limit;
        std::vector<double> means;
        for (const InterleavedImage& map : maps) {
            const FrameStatistics s = frame_statistics(map, thresholds);
            means.push_back(s.mean);
            add_frame(pool, map, s);
        }
        const PooledStatistics p = pooled_statistics(pool);
        EXPECT_EQ(p.frames, 6);
        EXPECT_EQ(p.pixels, all.size());
        EXPECT_EQ(p.median, sorted_rank(all, 50)) << limit;
        EXPECT_EQ(p.p95, sorted_rank(all, 95)) << limit;
        EXPECT_EQ(p.p99, sorted_rank(all, 99)) << limit;
        EXPECT_EQ(p.median_of_means, sorted_rank(means, 50));
        EXPECT_EQ(p.p95_of_means, sorted_rank(means, 95));
        const auto largest = std::max_element(means.begin(), means.end());
        EXPECT_EQ(p.largest_mean, *largest);
        EXPECT_EQ(p.largest_mean_frame, largest - means.begin());
        EXPECT_EQ(p.max, *std::max_element(all.begin(), all.end()));
        EXPECT_EQ(p.max, maps[static_cast<std::size_t>(p.max_frame)]
                             .data[static_cast<std::size_t>((10 - p.max_y) * 37 + p.max_x)]);
        for (std::size_t k = 0; k < thresholds.size(); ++k) {
            const auto n =
                std::count_if(all.begin(), all.end(), [&](double v) { return v > thresholds[k]; });
            EXPECT_DOUBLE_EQ(p.share_above[k], static_cast<double>(n) / all.size());
        }
    }
}

// Values beyond the memory limit go to a file in $TMPDIR; where none can be made the run
// fails with a message rather than losing them.
TEST(PooledStatistics, AFolderWithoutRoomForTheValuesIsAFailure) {
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", "/nonexistent/orv-no-folder", 1);
    PooledAccumulator pool;
    pool.memory_limit_bytes = 8;
    const InterleavedImage map = map_from_picture(4, std::vector<double>(8, 1.0));
    EXPECT_THROW(add_frame(pool, map, frame_statistics(map, pool.thresholds)), Failure);
    if (saved != nullptr) {
        ::setenv("TMPDIR", previous.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

TEST(PooledStatistics, NoFramesGiveZeros) {
    const PooledStatistics p = pooled_statistics(PooledAccumulator{});
    EXPECT_EQ(p.frames, 0);
    EXPECT_EQ(p.median, 0.0);
    EXPECT_EQ(p.share_above.size(), 3u);
}

}  // namespace
}  // namespace orv
