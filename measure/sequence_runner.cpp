#include "measure/sequence_runner.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "colour/conversions.h"
#include "measure/inputs.h"
#include "measure/read_ahead.h"

namespace orv {

PairResult measure_pair(const PixelBuffer& reference, const PixelBuffer& degraded,
                        const MeasurementConditions& conditions, std::span<const double> thresholds,
                        bool grey, const PairStorage& storage, const SignalFrame* reference_signal,
                        const SignalFrame* degraded_signal) {
    PairResult result;
    result.map = difference_map(reference, degraded, conditions, grey ? &result.grey : nullptr,
                                storage, reference_signal, degraded_signal);
    result.statistics = frame_statistics(result.map, thresholds);
    return result;
}

RunSide open_run_side(const std::vector<SequenceInput>& inputs, int start) {
    RunSide side;
    // Deeper frames are measured exactly.
    std::vector<SequenceInput> exact = inputs;
    for (SequenceInput& input : exact) input.options.keep_signal = true;
    side.media = std::make_shared<MediaSequence>(open_media_sequence(exact, start));
    side.count = side.media->count;
    side.times = sequence_times(*side.media);
    MediaSequence* sequence = side.media.get();
    side.read = [sequence](int index) {
        SequenceFrame read = read_sequence_frame(*sequence, index);
        RunFrame frame;
        frame.name = std::move(read.name);
        frame.header = std::move(read.header);
        frame.owned = std::move(read.pixels);
        frame.signal = std::move(read.signal);
        frame.planes = std::move(read.planes);
        return frame;
    };
    return side;
}

std::vector<std::string> planes_formats(const RunSide& side) {
    if (!side.media) return {std::string()};
    std::vector<std::string> formats;
    for (const SequenceEntry& entry : side.media->entries) formats.push_back(entry.planes_format);
    return formats;
}

MetricsPlan plan_run_metrics(const MetricsRequest& request, const RunSide& reference,
                             const RunSide& degraded) {
    auto colours = [](const RunSide& side) {
        std::vector<std::string> list;
        if (side.media) {
            for (const SequenceEntry& entry : side.media->entries) {
                list.push_back(entry.planes_colour);
            }
        }
        return list;
    };
    return plan_metrics(request, planes_formats(reference), planes_formats(degraded),
                        colours(reference), colours(degraded));
}

int paired_count(int reference_count, int degraded_count, std::optional<int> frames) {
    const int count = std::max(reference_count, degraded_count);
    return frames ? std::min(count, std::max(*frames, 0)) : count;
}

int paired_index(int pair, int count) {
    if (count <= 0) return -1;
    return pair >= count ? count - 1 : pair;
}

std::vector<int> frames_on_screen(const std::vector<double>& reference_times,
                                  const std::vector<double>& degraded_times) {
    std::vector<int> on_screen;
    on_screen.reserve(reference_times.size());
    for (double t : reference_times) {
        const auto after = std::upper_bound(degraded_times.begin(), degraded_times.end(), t + 1e-6);
        const auto index = static_cast<int>(after - degraded_times.begin()) - 1;
        on_screen.push_back(std::max(index, 0));
    }
    return on_screen;
}

namespace {

// A side's frames read in the order of the pairs, whatever order the run's threads arrive in:
// pairing by time may take a frame again or pass frames over, and a sequence hands its frames
// out only in increasing order. The last frame read is kept for repeats; frames passed over are
// read and dropped.
struct PairOrderReads {
    std::mutex mutex;
    std::condition_variable turn;
    int next_pair = 0;
    bool failed = false;
    int last_index = -1;
    RunFrame last;
};

RunFrame read_in_pair_order(PairOrderReads& reads, const RunSide& side, int pair, int index) {
    std::unique_lock lock(reads.mutex);
    reads.turn.wait(lock, [&] { return reads.failed || reads.next_pair == pair; });
    if (reads.failed)
        raise_failure(FailureKind::media_not_read,
                      side.media ? side.media->entries.front().path : std::string());
    try {
        if (index != reads.last_index) {
            for (int k = reads.last_index + 1; k < index; ++k) side.read(k);
            reads.last = side.read(index);
            reads.last_index = index;
        }
    } catch (...) {
        reads.failed = true;
        lock.unlock();
        reads.turn.notify_all();
        throw;
    }
    RunFrame frame = reads.last;
    ++reads.next_pair;
    lock.unlock();
    reads.turn.notify_all();
    return frame;
}

// Pairs made on the run's threads (measured, or taken from an earlier measurement), pooled and
// handed over in frame order.
RunOutcome run_pairs(int count, const std::function<MeasuredPair(int)>& make,
                     const RunSettings& settings, const RunConsumer& consumer) {
    std::optional<PooledAccumulator> pool;
    if (settings.pool) pool.emplace(settings.thresholds);
    MetricsPool metrics;
    RunOutcome outcome;
    auto work = [&](int i) {
        MeasuredPair pair = make(i);
        if (consumer.work) consumer.work(pair);
        return pair;
    };
    auto deliver = [&](int, MeasuredPair&& pair) {
        if (pool) add_frame(*pool, pair_map(pair), pair.result.statistics);
        add_frame_metrics(metrics, settings.metrics, pair.result.metrics);
        ++outcome.frames;
        if (consumer.deliver) consumer.deliver(std::move(pair));
    };
    run_ordered_frames<MeasuredPair>(count, settings.threads, work, deliver, settings.progress);
    if (pool) outcome.pooled = pooled_statistics(*pool);
    if (settings.metrics.request.any()) outcome.metrics = pooled_metrics(metrics);
    return outcome;
}

}  // namespace

RunOutcome run_sequence(const MeasurementConditions& conditions, const RunSide& reference_side,
                        const RunSide& degraded_side, const RunSettings& settings,
                        const RunConsumer& consumer) {
    check_conditions(conditions);
    const ReferenceReuse& reuse = settings.reuse;
    if (reuse.store != nullptr) begin_reference_run(*reuse.store, reuse.generation, conditions);
    // Videos are decoded ahead of the measuring threads, each on a thread of its own.
    const int depth = settings.threads + 2;
    const RunSide reference = decodes_in_order(reference_side) && settings.threads > 1
                                  ? read_ahead(reference_side, depth)
                                  : reference_side;
    const RunSide degraded = decodes_in_order(degraded_side) && settings.threads > 1
                                 ? read_ahead(degraded_side, depth)
                                 : degraded_side;
    const bool by_time =
        settings.pair_by == PairBy::time && !reference.times.empty() && !degraded.times.empty();
    int count = paired_count(reference.count, degraded.count, settings.frames);
    std::vector<int> on_screen;
    PairOrderReads ordered;
    if (by_time) {
        on_screen = frames_on_screen(reference.times, degraded.times);
        count = paired_count(reference.count, 0, settings.frames);
    }
    return run_pairs(
        count,
        [&](int i) {
            MeasuredPair pair;
            pair.frame = i;
            const int reference_index = by_time ? i : paired_index(i, reference.count);
            if (by_time) {
                try {
                    pair.reference = reference.read(i);
                } catch (...) {
                    // The pairs after this one must not wait for its turn.
                    {
                        std::lock_guard lock(ordered.mutex);
                        ordered.failed = true;
                    }
                    ordered.turn.notify_all();
                    throw;
                }
                pair.degraded = read_in_pair_order(ordered, degraded, i,
                                                   on_screen[static_cast<std::size_t>(i)]);
            } else {
                pair.reference = reference.read(reference_index);
                pair.degraded = degraded.read(paired_index(i, degraded.count));
            }
            const PixelBuffer& r = frame_pixels(pair.reference);
            const PixelBuffer& d = frame_pixels(pair.degraded);
            check_pair_size(i, pair.reference.name, r, pair.degraded.name, d);
            if (reuse.store != nullptr) {
                const int key =
                    reuse.frame_key ? reuse.frame_key(reference_index) : reference_index;
                pair.result = measure_pair_reusing(*reuse.store, key, r, d, conditions,
                                                   settings.thresholds, settings.grey,
                                                   &pair.reference.signal, &pair.degraded.signal);
            } else {
                // Frames of a large pair kept for nothing after the measurement are freed as
                // soon as their planes are made (smaller frames' memory is better kept by the
                // heap for the next pair).
                PairStorage storage = settings.storage;
                const std::size_t pixels =
                    static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height);
                // What decoding the frames left on the heap goes back to the system first.
                if (pixels >= storage.park_pixels) return_free_heap();
                if (!settings.keep_frames && !settings.metrics.request.any() &&
                    pixels >= storage.park_pixels) {
                    const auto free_frame = [](RunFrame& frame) {
                        frame.owned = PixelBuffer{};
                        frame.signal = SignalFrame{};
                        return_free_heap();
                    };
                    storage.reference_read = [&pair, free_frame] { free_frame(pair.reference); };
                    storage.degraded_read = [&pair, free_frame] { free_frame(pair.degraded); };
                } else {
                    // A frame's exact signal serves only its planes (47 MB of a full-HD frame):
                    // freed once they are made, its memory serves the next frame read instead
                    // of waiting for the end of the pair.
                    storage.reference_read = [&pair] { pair.reference.signal = SignalFrame{}; };
                    storage.degraded_read = [&pair] { pair.degraded.signal = SignalFrame{}; };
                }
                pair.result = measure_pair(r, d, conditions, settings.thresholds, settings.grey,
                                           storage, &pair.reference.signal, &pair.degraded.signal);
            }
            pair.reference.signal = SignalFrame{};
            pair.degraded.signal = SignalFrame{};
            pair.result.metrics = measure_frame_metrics(settings.metrics, r, pair.reference.planes,
                                                        pair.reference.name, d,
                                                        pair.degraded.planes, pair.degraded.name);
            pair.reference.planes = DecodedPlanes{};
            pair.degraded.planes = DecodedPlanes{};
            if (!settings.keep_frames) {
                pair.reference.owned = PixelBuffer{};
                pair.degraded.owned = PixelBuffer{};
                pair.reference.kept = pair.degraded.kept = nullptr;
            }
            return pair;
        },
        settings, consumer);
}

RunOutcome replay_sequence(int count, const std::function<MeasuredPair(int)>& fetch,
                           const RunSettings& settings, const RunConsumer& consumer) {
    return run_pairs(count, fetch, settings, consumer);
}

}  // namespace orv
