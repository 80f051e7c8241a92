#include "measure/sequence_runner.h"

#include <algorithm>
#include <utility>

#include "colour/conversions.h"
#include "measure/inputs.h"

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
    MediaSequence* sequence = side.media.get();
    side.read = [sequence](int index) {
        SequenceFrame read = read_sequence_frame(*sequence, index);
        RunFrame frame;
        frame.name = std::move(read.name);
        frame.header = std::move(read.header);
        frame.owned = std::move(read.pixels);
        frame.signal = std::move(read.signal);
        return frame;
    };
    return side;
}

int paired_count(int reference_count, int degraded_count, std::optional<int> frames) {
    const int count = std::max(reference_count, degraded_count);
    return frames ? std::min(count, std::max(*frames, 0)) : count;
}

int paired_index(int pair, int count) {
    if (count <= 0) return -1;
    return pair >= count ? count - 1 : pair;
}

namespace {

// Pairs made on the run's threads (measured, or taken from an earlier measurement), pooled and
// handed over in frame order.
RunOutcome run_pairs(int count, const std::function<MeasuredPair(int)>& make,
                     const RunSettings& settings, const RunConsumer& consumer) {
    std::optional<PooledAccumulator> pool;
    if (settings.pool) pool.emplace(settings.thresholds);
    RunOutcome outcome;
    auto work = [&](int i) {
        MeasuredPair pair = make(i);
        if (consumer.work) consumer.work(pair);
        return pair;
    };
    auto deliver = [&](int, MeasuredPair&& pair) {
        if (pool) add_frame(*pool, pair_map(pair), pair.result.statistics);
        ++outcome.frames;
        if (consumer.deliver) consumer.deliver(std::move(pair));
    };
    run_ordered_frames<MeasuredPair>(count, settings.threads, work, deliver, settings.progress);
    if (pool) outcome.pooled = pooled_statistics(*pool);
    return outcome;
}

}  // namespace

RunOutcome run_sequence(const MeasurementConditions& conditions, const RunSide& reference,
                        const RunSide& degraded, const RunSettings& settings,
                        const RunConsumer& consumer) {
    check_conditions(conditions);
    const int count = paired_count(reference.count, degraded.count, settings.frames);
    return run_pairs(
        count,
        [&](int i) {
            MeasuredPair pair;
            pair.frame = i;
            pair.reference = reference.read(paired_index(i, reference.count));
            pair.degraded = degraded.read(paired_index(i, degraded.count));
            const PixelBuffer& r = frame_pixels(pair.reference);
            const PixelBuffer& d = frame_pixels(pair.degraded);
            check_pair_size(i, pair.reference.name, r, pair.degraded.name, d);
            pair.result =
                measure_pair(r, d, conditions, settings.thresholds, settings.grey, settings.storage,
                             &pair.reference.signal, &pair.degraded.signal);
            pair.reference.signal = SignalFrame{};
            pair.degraded.signal = SignalFrame{};
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
