#pragma once
// Statistics of colour-difference maps: one record per frame and one pooled over a sequence.
//
// Percentiles are nearest-rank: with the n values of a map sorted ascending as v[1] .. v[n],
// the P-th percentile is v[ceil(P * n / 100)] (v[1] for P = 0). The median is the 50th
// percentile by the same rule (never the average of two middle values). Every percentile is
// exact, with no histogram approximation: a histogram of the values' bit patterns (which
// order like the values) only finds the bin that holds each rank; the value itself is then
// selected (std::nth_element) among that bin's values.
//
// Shares are the fraction of pixels whose difference is strictly above a threshold.
// Positions count x from the left and y from the top row of the picture (the maps themselves
// keep the frames' bottom-up row order).

#include <cstdint>
#include <span>
#include <vector>

#include "colour/colour_types.h"
#include "image/spill_memory.h"

namespace orv {

// The thresholds used when none are given: 1, 2 and 5 ΔE.
std::vector<double> default_thresholds();

struct FrameStatistics {
    int width = 0;
    int height = 0;
    double mean = 0.0;
    double max = 0.0;
    double min = 0.0;
    double median = 0.0;
    double p95 = 0.0;
    double p99 = 0.0;
    std::vector<double> share_above;  // one per threshold, 0 .. 1
    int max_x = 0;                    // position of the largest value (first in reading order
    int max_y = 0;                    // from the top-left corner when several are equal)
};

// The 1-based nearest rank of the `percent`-th percentile (0 .. 100) among `count` values.
std::uint64_t nearest_rank(std::uint64_t count, int percent);

// Nearest-rank percentiles of `values` (reordered in place), one per entry of `percents`,
// which must be ascending. Empty input gives zeros.
std::vector<double> percentiles_in_place(std::span<double> values, std::span<const int> percents);

// Statistics of a one-channel map (rows bottom-up). mean, max and min are the map's own
// figures (summarise_map, set on every difference map the pipeline makes). An empty map gives
// a record of zeros.
FrameStatistics frame_statistics(const InterleavedImage& map, std::span<const double> thresholds);

struct PooledStatistics {
    int frames = 0;
    std::uint64_t pixels = 0;
    // Over the frame means.
    double mean_of_means = 0.0;
    double median_of_means = 0.0;
    double p95_of_means = 0.0;
    double largest_mean = 0.0;
    int largest_mean_frame = 0;
    // The largest pixel difference of the sequence: its frame and position (first frame and
    // first position in reading order when several are equal).
    double max = 0.0;
    int max_frame = 0;
    int max_x = 0;
    int max_y = 0;
    // Over every pixel of every frame.
    double median = 0.0;
    double p95 = 0.0;
    double p99 = 0.0;
    std::vector<double> share_above;  // one per threshold
};

// Collects frames one after another (in frame order) and gives the pooled figures at the end.
// The pixel values are kept for the exact pooled percentiles: in memory up to
// `memory_limit_bytes`, beyond it in an unlinked temporary file (in the spill folder, $TMPDIR
// or /var/tmp, never memory-backed /tmp) that is read once more at the end. A file that cannot be
// made or written raises Failure. The limit (two full-HD maps; a 3840 x 2160 map goes to the file
// at once) keeps a long run's memory near one frame pair's working set; writing a map to the file
// costs about 1 % of measuring it.
struct PooledAccumulator {
    std::vector<double> thresholds;
    std::size_t memory_limit_bytes = std::size_t{32} << 20;

    std::vector<double> frame_means;
    std::vector<std::uint64_t> above;  // per threshold
    std::vector<std::uint64_t> histogram;
    std::vector<double> values;  // kept in memory
    ParkingFile spill;           // values beyond the memory limit
    std::uint64_t spilled = 0;
    std::uint64_t pixels = 0;
    double max = 0.0;
    int max_frame = -1;
    int max_x = 0;
    int max_y = 0;

    explicit PooledAccumulator(std::vector<double> thresholds_in = default_thresholds());
    PooledAccumulator(const PooledAccumulator&) = delete;
    PooledAccumulator& operator=(const PooledAccumulator&) = delete;
};

// Adds one frame: its map and the statistics frame_statistics gave for it.
void add_frame(PooledAccumulator& pool, const InterleavedImage& map, const FrameStatistics& frame);

// The pooled figures of every frame added so far (the accumulator stays usable).
PooledStatistics pooled_statistics(const PooledAccumulator& pool);

// Pooled figures of maps at hand, for callers that hold the whole sequence.
PooledStatistics pool_maps(std::span<const InterleavedImage> maps,
                           std::span<const double> thresholds);

}  // namespace orv
