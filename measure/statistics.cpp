#include "measure/statistics.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>

#include "numeric/failure.h"
#include "numeric/parallel.h"

namespace orv {

namespace {

// Bits of a value's ordered key that select its histogram bin: sign, exponent and eight
// mantissa bits, so each binary octave is split into 256 bins.
constexpr int histogram_bits = 20;

// An unsigned key that orders like the doubles themselves (negative values below positive
// ones, -0 next to +0).
std::uint64_t ordered_key(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

std::size_t bin_of(double value) {
    return static_cast<std::size_t>(ordered_key(value) >> (64 - histogram_bits));
}

std::vector<double> share_of(const std::vector<std::uint64_t>& above, std::uint64_t count) {
    std::vector<double> shares(above.size(), 0.0);
    if (count == 0) return shares;
    for (std::size_t k = 0; k < above.size(); ++k) {
        shares[k] = static_cast<double>(above[k]) / static_cast<double>(count);
    }
    return shares;
}

// Calls `visit(value)` for every value kept by the accumulator: the spilled ones first (they
// came first), then those in memory.
template <class Visit>
void for_each_kept(const PooledAccumulator& pool, Visit&& visit) {
    if (pool.spill.is_open() && pool.spilled > 0) {
        const bool read =
            read_parked_blocks(pool.spill, static_cast<std::size_t>(pool.spilled * sizeof(double)),
                               [&](const void* data, std::size_t bytes) {
                                   const auto* values = static_cast<const double*>(data);
                                   for (std::size_t i = 0; i < bytes / sizeof(double); ++i)
                                       visit(values[i]);
                               });
        if (!read) raise_failure(FailureKind::pool_read_back);
    }
    for (double v : pool.values) visit(v);
}

// Nearest-rank percentiles of one map: a histogram of the values' top key bits (sign,
// exponent and four mantissa bits: 16 bins per binary octave, small enough to stay in cache)
// finds the bin of each rank; only the values of those bins are gathered and selected. Two
// passes over the map instead of sorting or selecting all of it.
constexpr int frame_bin_bits = 16;

void frame_percentiles(const double* v, std::size_t count, std::span<const int> percents,
                       double* out) {
    std::vector<std::uint32_t> histogram(std::size_t{1} << frame_bin_bits, 0);
    for (std::size_t i = 0; i < count; ++i) ++histogram[ordered_key(v[i]) >> (64 - frame_bin_bits)];
    const std::size_t n = percents.size();
    std::vector<std::size_t> bins(n);
    std::vector<std::uint64_t> rank_in_bin(n);
    {
        std::uint64_t before = 0;
        std::size_t b = 0;
        for (std::size_t k = 0; k < n; ++k) {  // percents ascend, so the ranks do
            const std::uint64_t rank = nearest_rank(count, percents[k]);
            while (before + histogram[b] < rank) before += histogram[b++];
            bins[k] = b;
            rank_in_bin[k] = rank - before;
        }
    }
    // Distinct bins in ascending order; each gathers its values once.
    std::vector<std::size_t> distinct(bins.begin(), bins.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    // Each wanted bin's values go to their own block of one array, sized from the histogram.
    const std::size_t low = distinct.front();
    const std::size_t high = distinct.back();
    std::vector<std::int8_t> block_of(high - low + 1, -1);
    std::vector<std::size_t> start(distinct.size() + 1, 0);
    for (std::size_t d = 0; d < distinct.size(); ++d) {
        block_of[distinct[d] - low] = static_cast<std::int8_t>(d);
        start[d + 1] = start[d] + histogram[distinct[d]];
    }
    std::vector<double> gathered(start.back());
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t b = ordered_key(v[i]) >> (64 - frame_bin_bits);
        if (b - low > high - low) continue;  // outside [low, high], unsigned wrap included
        const int d = block_of[b - low];
        if (d >= 0) gathered[next[static_cast<std::size_t>(d)]++] = v[i];
    }
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t d = static_cast<std::size_t>(
            std::find(distinct.begin(), distinct.end(), bins[k]) - distinct.begin());
        const auto first = gathered.begin() + static_cast<std::ptrdiff_t>(start[d]);
        const auto last = gathered.begin() + static_cast<std::ptrdiff_t>(start[d + 1]);
        const auto at = first + static_cast<std::ptrdiff_t>(rank_in_bin[k] - 1);
        std::nth_element(first, at, last);
        out[k] = *at;
    }
}
}  // namespace

std::vector<double> default_thresholds() { return {1.0, 2.0, 5.0}; }

std::uint64_t nearest_rank(std::uint64_t count, int percent) {
    if (count == 0) return 0;
    const int p = std::clamp(percent, 0, 100);
    if (p == 0) return 1;
    // ceil(p * count / 100) without overflow for any count a machine can hold.
    const std::uint64_t whole = count / 100 * static_cast<std::uint64_t>(p);
    const std::uint64_t part = count % 100 * static_cast<std::uint64_t>(p);
    return whole + (part + 99) / 100;
}

std::vector<double> percentiles_in_place(std::span<double> values, std::span<const int> percents) {
    std::vector<double> result(percents.size(), 0.0);
    if (values.empty()) return result;
    std::size_t from = 0;  // everything before `from` is at most the last value selected
    for (std::size_t k = 0; k < percents.size(); ++k) {
        const std::size_t at =
            static_cast<std::size_t>(nearest_rank(values.size(), percents[k])) - 1;
        if (at >= from) {
            std::nth_element(values.begin() + static_cast<std::ptrdiff_t>(from),
                             values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
            from = at;
        }
        result[k] = values[at];
    }
    return result;
}

FrameStatistics frame_statistics(const InterleavedImage& map, std::span<const double> thresholds) {
    FrameStatistics s;
    s.width = map.width;
    s.height = map.height;
    s.share_above.assign(thresholds.size(), 0.0);
    const std::size_t count = static_cast<std::size_t>(std::max(map.width, 0)) *
                              static_cast<std::size_t>(std::max(map.height, 0));
    if (count == 0 || map.data.size() < count) return s;

    const double* v = map.data.data();
    static constexpr int percents[] = {50, 95, 99};
    double p[3];
    // The percentiles' passes read the map on their own: on a spare core, if there is one,
    // while the sums run here.
    const auto sums = [&] {
        double max = v[0];
        int best_row = 0;
        int best_x = 0;
        std::vector<std::uint64_t> above(thresholds.size(), 0);
        for (int row = 0; row < map.height; ++row) {
            const double* line =
                v + static_cast<std::size_t>(row) * static_cast<std::size_t>(map.width);
            for (int x = 0; x < map.width; ++x) {
                const double d = line[x];
                // Rows are stored bottom-up: an equal value on a later stored row lies higher
                // in the picture, so it comes first in reading order.
                if (d > max || (d == max && row > best_row)) {
                    max = d;
                    best_row = row;
                    best_x = x;
                }
            }
            for (std::size_t k = 0; k < thresholds.size(); ++k) {
                const double t = thresholds[k];
                std::uint64_t n = 0;
                for (int x = 0; x < map.width; ++x) n += line[x] > t ? 1 : 0;
                above[k] += n;
            }
        }
        // The mean, maximum and minimum are the map's own (summarise_map): one computation
        // for the tables, the pictures and these statistics.
        s.mean = map.mean;
        s.max = map.max;
        s.min = map.min;
        s.max_x = best_x;
        s.max_y = map.height - 1 - best_row;
        s.share_above = share_of(above, count);
    };
    run_side_by_side(sums, [&] { frame_percentiles(v, count, percents, p); });
    s.median = p[0];
    s.p95 = p[1];
    s.p99 = p[2];
    return s;
}

PooledAccumulator::PooledAccumulator(std::vector<double> thresholds_in)
    : thresholds(std::move(thresholds_in)),
      above(thresholds.size(), 0),
      histogram(std::size_t{1} << histogram_bits, 0) {}

void add_frame(PooledAccumulator& pool, const InterleavedImage& map, const FrameStatistics& frame) {
    const int index = static_cast<int>(pool.frame_means.size());
    pool.frame_means.push_back(frame.mean);
    const std::size_t count = static_cast<std::size_t>(std::max(map.width, 0)) *
                              static_cast<std::size_t>(std::max(map.height, 0));
    if (count == 0 || map.data.size() < count) return;
    if (pool.max_frame < 0 || frame.max > pool.max) {
        pool.max = frame.max;
        pool.max_frame = index;
        pool.max_x = frame.max_x;
        pool.max_y = frame.max_y;
    }
    const double* v = map.data.data();
    for (std::size_t i = 0; i < count; ++i) ++pool.histogram[bin_of(v[i])];
    for (std::size_t k = 0; k < pool.thresholds.size(); ++k) {
        const double t = pool.thresholds[k];
        std::uint64_t n = 0;
        for (std::size_t i = 0; i < count; ++i) n += v[i] > t ? 1 : 0;
        pool.above[k] += n;
    }
    pool.pixels += count;

    const std::size_t limit = std::max<std::size_t>(pool.memory_limit_bytes / sizeof(double), 1);
    if (pool.values.size() + count > limit) {
        if (!pool.spill.is_open()) {
            pool.spill = open_parking_file();
            if (!pool.spill.is_open()) {
                raise_errno_failure(FailureKind::pool_temp_create, {});
            }
        }
        const auto write = [&](const double* data, std::size_t n) {
            const auto at = static_cast<std::size_t>(pool.spilled * sizeof(double));
            if (n > 0 && !write_parked_released(pool.spill, data, n * sizeof(double), at)) {
                raise_errno_failure(FailureKind::pool_write, {});
            }
            pool.spilled += n;
        };
        write(pool.values.data(), pool.values.size());
        std::vector<double>().swap(pool.values);  // its memory goes back, not only its values
        write(v, count);
        return;
    }
    pool.values.insert(pool.values.end(), v, v + count);
}

PooledStatistics pooled_statistics(const PooledAccumulator& pool) {
    PooledStatistics s;
    s.frames = static_cast<int>(pool.frame_means.size());
    s.pixels = pool.pixels;
    s.share_above = share_of(pool.above, pool.pixels);
    if (s.frames > 0) {
        double sum = 0.0;
        for (int i = 0; i < s.frames; ++i) {
            const double m = pool.frame_means[static_cast<std::size_t>(i)];
            sum += m;
            if (i == 0 || m > s.largest_mean) {
                s.largest_mean = m;
                s.largest_mean_frame = i;
            }
        }
        s.mean_of_means = sum / s.frames;
        std::vector<double> means = pool.frame_means;
        static constexpr int percents[] = {50, 95};
        const std::vector<double> p = percentiles_in_place(means, percents);
        s.median_of_means = p[0];
        s.p95_of_means = p[1];
    }
    if (pool.pixels == 0) return s;
    s.max = pool.max;
    s.max_frame = pool.max_frame;
    s.max_x = pool.max_x;
    s.max_y = pool.max_y;

    // Each rank's bin from the histogram, then the rank within that bin among its values.
    static constexpr int percents[] = {50, 95, 99};
    struct Target {
        std::size_t bin = 0;
        std::uint64_t rank_in_bin = 0;
    };
    Target targets[3];
    for (int k = 0; k < 3; ++k) {
        const std::uint64_t rank = nearest_rank(pool.pixels, percents[k]);
        std::uint64_t before = 0;
        std::size_t b = 0;
        while (before + pool.histogram[b] < rank) before += pool.histogram[b++];
        targets[k] = {b, rank - before};
    }
    std::vector<double> in_bin[3];
    for_each_kept(pool, [&](double v) {
        const std::size_t b = bin_of(v);
        for (int k = 0; k < 3; ++k) {
            if (b == targets[k].bin) {
                in_bin[k].push_back(v);
                break;  // targets sharing a bin share the gathered values
            }
        }
    });
    double result[3];
    for (int k = 0; k < 3; ++k) {
        int source = k;
        while (source > 0 && targets[source - 1].bin == targets[k].bin) --source;
        std::vector<double>& gathered = in_bin[source];
        const auto at = static_cast<std::ptrdiff_t>(targets[k].rank_in_bin - 1);
        std::nth_element(gathered.begin(), gathered.begin() + at, gathered.end());
        result[k] = gathered[static_cast<std::size_t>(at)];
    }
    s.median = result[0];
    s.p95 = result[1];
    s.p99 = result[2];
    return s;
}

PooledStatistics pool_maps(std::span<const InterleavedImage> maps,
                           std::span<const double> thresholds) {
    PooledAccumulator pool(std::vector<double>(thresholds.begin(), thresholds.end()));
    for (const InterleavedImage& map : maps)
        add_frame(pool, map, frame_statistics(map, thresholds));
    return pooled_statistics(pool);
}

}  // namespace orv
