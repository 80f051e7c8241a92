#include "measure/shared_reference.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "measure/inputs.h"
#include "measure/read_ahead.h"

namespace orv {

namespace {

// Each side's frames decoded ahead on a thread of their own. The run's pairs in flight (at
// most threads + 1) are spread over the `runs` sequences frame index by frame index, so each
// side is asked for a new frame only every `runs` pairs: a window of that share of the pairs in
// flight and one more keeps its decoder ahead, where a run of its own holds threads + 2 (every
// frame held costs its pixels and, for PSNR and SSIM, its decoded planes).
RunSide ahead_if_decoded(const RunSide& side, const RunSettings& settings, std::size_t runs) {
    if (!decodes_in_order(side) || settings.threads <= 1) return side;
    const auto shared = static_cast<std::size_t>(settings.threads + 2);
    const std::size_t n = std::max<std::size_t>(runs, 1);
    const auto depth = (shared + n - 1) / n + 1;
    return read_ahead(side, static_cast<int>(std::min(depth, shared)));
}

// One reference frame and its coordinates, made by the first pair that needs them.
struct ReferenceEntry {
    bool ready = false;
    std::exception_ptr failure;
    RunFrame frame;
    ReferenceColours colours;
    int users = 0;  // pairs of this frame index not yet measured
};

// The reference frames of the pairs in flight, keyed by frame index. An entry is made when
// the first of its pairs starts and dropped when the last one is measured, so it holds at
// most as many frames as the run has pairs in flight.
struct ReferenceCache {
    std::mutex mutex;
    std::condition_variable made;
    std::map<int, std::shared_ptr<ReferenceEntry>> entries;
};

// The entry of frame index `i` (reference frame `index`), made here when it is new: read and
// filtered outside the lock, so that other frames' pairs go on meanwhile.
std::shared_ptr<ReferenceEntry> reference_entry(ReferenceCache& cache, const RunSide& reference,
                                                const MeasurementConditions& conditions, int i,
                                                int index, int users) {
    std::unique_lock lock(cache.mutex);
    auto found = cache.entries.find(i);
    if (found != cache.entries.end()) {
        std::shared_ptr<ReferenceEntry> entry = found->second;
        cache.made.wait(lock, [&] { return entry->ready; });
        if (entry->failure) std::rethrow_exception(entry->failure);
        return entry;
    }
    auto entry = std::make_shared<ReferenceEntry>();
    entry->users = users;
    cache.entries.emplace(i, entry);
    lock.unlock();
    try {
        entry->frame = reference.read(index);
        entry->colours =
            reference_colours(frame_pixels(entry->frame), conditions, &entry->frame.signal);
        entry->frame.signal = SignalFrame{};
    } catch (...) {
        entry->failure = std::current_exception();
    }
    lock.lock();
    entry->ready = true;
    lock.unlock();
    cache.made.notify_all();
    if (entry->failure) std::rethrow_exception(entry->failure);
    return entry;
}

// One pair of frame index `i` has been measured; the last one drops the entry.
void release_entry(ReferenceCache& cache, int i) {
    std::lock_guard lock(cache.mutex);
    auto found = cache.entries.find(i);
    if (found != cache.entries.end() && --found->second->users == 0) cache.entries.erase(found);
}

struct PairItem {
    int frame;
    std::size_t run;
};

}  // namespace

std::vector<RunOutcome> run_against_reference(const MeasurementConditions& conditions,
                                              const RunSide& reference_side,
                                              const std::vector<DegradedRun>& runs,
                                              const RunSettings& settings) {
    check_conditions(conditions);
    const RunSide reference = ahead_if_decoded(reference_side, settings, runs.size());
    std::vector<RunSide> sides;
    std::vector<int> counts;
    int count = 0;
    for (const DegradedRun& run : runs) {
        sides.push_back(ahead_if_decoded(run.side, settings, runs.size()));
        counts.push_back(paired_count(reference.count, run.side.count, settings.frames));
        count = std::max(count, counts.back());
    }
    // The pairs in delivery order: frame by frame, each frame's sequences in order.
    std::vector<PairItem> items;
    std::vector<int> users(static_cast<std::size_t>(count), 0);
    for (int i = 0; i < count; ++i) {
        for (std::size_t k = 0; k < runs.size(); ++k) {
            if (i >= counts[k]) continue;
            items.push_back({i, k});
            ++users[static_cast<std::size_t>(i)];
        }
    }
    std::vector<std::optional<PooledAccumulator>> pools(runs.size());
    if (settings.pool) {
        for (auto& pool : pools) pool.emplace(settings.thresholds);
    }
    std::vector<MetricsPool> metric_pools(runs.size());
    std::vector<RunOutcome> outcomes(runs.size());
    ReferenceCache cache;

    const auto work = [&](int j) {
        const PairItem item = items[static_cast<std::size_t>(j)];
        const int i = item.frame;
        const RunSide& side = sides[item.run];
        MeasuredPair pair;
        pair.frame = i;
        pair.degraded = side.read(paired_index(i, side.count));
        const std::shared_ptr<ReferenceEntry> entry =
            reference_entry(cache, reference, conditions, i, paired_index(i, reference.count),
                            users[static_cast<std::size_t>(i)]);
        const PixelBuffer& r = frame_pixels(entry->frame);
        const PixelBuffer& d = frame_pixels(pair.degraded);
        try {
            check_pair_size(i, entry->frame.name, r, pair.degraded.name, d);
            pair.result.map =
                difference_map_against(entry->colours, d, conditions, &pair.degraded.signal);
            pair.result.metrics = measure_frame_metrics(runs[item.run].metrics, r,
                                                        entry->frame.planes, entry->frame.name, d,
                                                        pair.degraded.planes, pair.degraded.name);
        } catch (...) {
            release_entry(cache, i);
            throw;
        }
        pair.result.statistics = frame_statistics(pair.result.map, settings.thresholds);
        pair.degraded.signal = SignalFrame{};
        pair.degraded.planes = DecodedPlanes{};
        pair.reference.name = entry->frame.name;
        pair.reference.header = entry->frame.header;
        if (settings.keep_frames) {
            pair.reference.owned = entry->frame.owned;
            pair.reference.kept = entry->frame.kept;
        } else {
            pair.degraded.owned = PixelBuffer{};
            pair.degraded.kept = nullptr;
        }
        release_entry(cache, i);
        if (runs[item.run].consumer.work) runs[item.run].consumer.work(pair);
        return pair;
    };
    const auto deliver = [&](int j, MeasuredPair&& pair) {
        const std::size_t k = items[static_cast<std::size_t>(j)].run;
        if (pools[k]) add_frame(*pools[k], pair_map(pair), pair.result.statistics);
        add_frame_metrics(metric_pools[k], runs[k].metrics, pair.result.metrics);
        ++outcomes[k].frames;
        if (runs[k].consumer.deliver) runs[k].consumer.deliver(std::move(pair));
    };
    run_ordered_frames<MeasuredPair>(static_cast<int>(items.size()), settings.threads, work,
                                     deliver, settings.progress);
    for (std::size_t k = 0; k < runs.size(); ++k) {
        if (pools[k]) outcomes[k].pooled = pooled_statistics(*pools[k]);
        if (runs[k].metrics.request.any()) outcomes[k].metrics = pooled_metrics(metric_pools[k]);
    }
    return outcomes;
}

}  // namespace orv
