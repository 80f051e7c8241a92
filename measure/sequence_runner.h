#pragma once
// One sequence measurement, the same for every face (orv-cli diff and rd, the Python module,
// the desktop program's colour-difference run and export): the pairing of the two sequences
// (the shorter one repeats its last frame), the limit on the number of pairs, the size check
// of every pair, each pair measured with the run's conditions, its statistics, the pooled
// figures and delivery strictly in frame order.

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "measure/frame_loop.h"
#include "measure/frame_metrics.h"
#include "measure/reference_store.h"
#include "measure/statistics.h"
#include "media/media_sequence.h"
#include "scielab/conditions.h"
#include "scielab/pipeline.h"

namespace orv {

// One pair measured: the difference map (with its mean, maximum and minimum), its statistics,
// and the grey picture when it was asked for.
struct PairResult {
    InterleavedImage map;
    FrameStatistics statistics;
    PixelBuffer grey;
    FrameMetrics metrics;  // PSNR and SSIM, when the run asks for them (RunSettings::metrics)
};

// The frames' exact signals, when given and present, are measured in place of their pixels.
PairResult measure_pair(const PixelBuffer& reference, const PixelBuffer& degraded,
                        const MeasurementConditions& conditions, std::span<const double> thresholds,
                        bool grey, const PairStorage& storage = {},
                        const SignalFrame* reference_signal = nullptr,
                        const SignalFrame* degraded_signal = nullptr);

// A frame of a run's side: read for the run (owned), or kept elsewhere for the run's whole
// duration (the desktop program's frame store) and only pointed to.
struct RunFrame {
    std::string name;  // the file, and for a file of several frames "#" and its number
    HeaderBlock header;
    PixelBuffer owned;
    const PixelBuffer* kept = nullptr;
    SignalFrame signal;    // a frame of more than 8 bits exact: measured in place of the pixels
    DecodedPlanes planes;  // the YUV planes as decoded (MediaOptions::keep_planes)
};

inline const PixelBuffer& frame_pixels(const RunFrame& frame) {
    return frame.kept != nullptr ? *frame.kept : frame.owned;
}

// One input of a run: its frame count and how to read frame i (0 <= i < count). `read` is
// called from the run's threads, each sequence's frames in increasing order (a frame may be
// asked for again when it is the last one).
struct RunSide {
    int count = 0;
    std::function<RunFrame(int index)> read;
    std::shared_ptr<MediaSequence> media;  // the files, when the side reads media
    std::vector<double> times;  // presentation times of the frames, seconds (empty: none)
};

// Opens a sequence of media files once (counted, `start` frames skipped) as a run's side.
RunSide open_run_side(const std::vector<SequenceInput>& inputs, int start);

// The pixel format each file of a side hands out decoded planes of (empty for a file that
// does not, and for a side without files).
std::vector<std::string> planes_formats(const RunSide& side);
// The metrics plan of a run between two sides.
MetricsPlan plan_run_metrics(const MetricsRequest& request, const RunSide& reference,
                             const RunSide& degraded);

// The number of pairs of a run: the longer sequence's length, at most `frames` when given.
int paired_count(int reference_count, int degraded_count, std::optional<int> frames);

// The frame of a sequence of `count` frames that pair `pair` takes: its own, or the last one
// when the sequence is shorter (-1 for an empty sequence).
int paired_index(int pair, int count);

// How the frames of the two sides are paired: frame i with frame i (the shorter side repeats
// its last frame), or each reference frame with the degraded frame on screen at its time.
enum class PairBy { position, time };

// Pairing by time: for each reference time, the degraded frame on screen then: the last one
// starting at or before it (a millionth of a second of slack), the first one before any starts.
// Both lists in presentation order.
std::vector<int> frames_on_screen(const std::vector<double>& reference_times,
                                  const std::vector<double>& degraded_times);

struct RunSettings {
    int threads = 1;
    std::optional<int> frames;  // at most this many pairs
    std::vector<double> thresholds = default_thresholds();
    bool grey = false;         // make every pair's grey picture
    bool keep_frames = false;  // hand the pair's frames' pixels on
    bool pool = true;          // pool every pixel's difference for the run's figures
    // By time, both sides need times (RunSide::times); a side without them pairs by position.
    // Pairs by time: one per reference frame.
    PairBy pair_by = PairBy::position;
    PairStorage storage;
    FrameProgress progress;
    // PSNR and SSIM of every pair beside its colour differences, pooled over the run. The
    // sides' files must be opened with MediaOptions::keep_planes for the planes to be there.
    MetricsPlan metrics;
    // Reference coordinates kept between runs (measure/reference_store.h), for a face that
    // measures the same reference again; no store: every reference frame is filtered.
    ReferenceReuse reuse;
};

struct MeasuredPair {
    int frame = 0;
    RunFrame reference;  // names and headers always; pixels only with keep_frames
    RunFrame degraded;
    PairResult result;
    // A map kept elsewhere for the run's duration (a replay of stored results), used instead
    // of result.map.
    const InterleavedImage* kept_map = nullptr;
    std::string attachment;  // what the consumer's worker step made of the pair
};

inline const InterleavedImage& pair_map(const MeasuredPair& pair) {
    return pair.kept_map != nullptr ? *pair.kept_map : pair.result.map;
}

struct RunConsumer {
    // Worker thread, right after the pair is measured (for example a heatmap's PNG bytes into
    // `attachment`). May be empty.
    std::function<void(MeasuredPair&)> work;
    // Calling thread, frame order.
    std::function<void(MeasuredPair&&)> deliver;
};

struct RunOutcome {
    int frames = 0;  // pairs delivered
    PooledStatistics pooled;
    PooledMetrics metrics;  // with RunSettings::metrics
};

// Measures every pair. A failure of any pair stops the run after the pairs before it were
// delivered, and travels to the caller.
RunOutcome run_sequence(const MeasurementConditions& conditions, const RunSide& reference,
                        const RunSide& degraded, const RunSettings& settings,
                        const RunConsumer& consumer);

// Hands pairs measured earlier (the desktop program's stored results, fetched on the run's
// threads) to a consumer as run_sequence does: pooled, in frame order.
RunOutcome replay_sequence(int count, const std::function<MeasuredPair(int)>& fetch,
                           const RunSettings& settings, const RunConsumer& consumer);

}  // namespace orv
