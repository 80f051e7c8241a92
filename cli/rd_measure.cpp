#include "cli/rd_measure.h"

#include <cstdio>
#include <functional>

#include "cli/rd_resume.h"
#include "cli/run_checks.h"
#include "image/file_names.h"
#include "measure/inputs.h"
#include "measure/shared_reference.h"
#include "media/media_sequence.h"
#include "numeric/failure.h"

namespace orv {

// The input frames, opened once as a run's side (a folder stands for its frame files).
RunSide open_inputs(const std::vector<std::string>& files, bool keep_planes) {
    std::vector<SequenceInput> inputs;
    MediaOptions options;
    options.keep_planes = keep_planes;
    for (const std::string& path : expand_sequence_paths(files)) inputs.push_back({path, options});
    return open_run_side(inputs, 0);
}

// Progress that also stops the run at the next frame after SIGINT or SIGTERM.
FrameProgress stoppable(FrameProgress shown) {
    return [shown](int done, int total) {
        stop_if_interrupted();
        if (shown) shown(done, total);
    };
}

namespace {

// Each measured pair of a point as its row of figures, with the frame's coded type and size
// from `coded`; the first pair gives the run's picture size.
std::function<void(MeasuredPair&&)> point_frames(RdPoint& point,
                                                 const std::vector<CodedFrame>& coded, RdRun& run) {
    return [&point, &coded, &run](MeasuredPair&& pair) {
        const int i = pair.frame;
        if (i == 0) {
            run.width = pair.result.map.width;
            run.height = pair.result.map.height;
        }
        RdFrame frame;
        if (static_cast<std::size_t>(i) < coded.size()) {
            frame.coded = coded[static_cast<std::size_t>(i)];
        }
        frame.coded.index = i;
        frame.mean = pair.result.statistics.mean;
        frame.max = pair.result.statistics.max;
        point.frames.push_back(frame);
    };
}

}  // namespace

void measure_points(std::vector<RdPoint>& points, const std::vector<std::vector<CodedFrame>>& coded,
                    const RdOptions& options, const MeasurementConditions& conditions, int count,
                    FailureKind mismatch, RdRun& run) {
    const MetricsRequest metrics =
        options.metrics.empty() ? MetricsRequest{} : parse_metrics(options.metrics);
    MediaOptions decoding;
    decoding.keep_planes = metrics.any();
    const RunSide references = open_inputs(options.files, metrics.any());
    std::vector<DegradedRun> runs(points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
        RdPoint& point = points[k];
        runs[k].side = open_run_side({{point.bitstream, decoding}}, 0);
        if (runs[k].side.count != count) {
            raise_failure(mismatch, point.bitstream,
                          {std::to_string(runs[k].side.count), std::to_string(count)});
        }
        runs[k].metrics = plan_run_metrics(metrics, references, runs[k].side);
        // Said once per run: every point of a run is usually measured on the same planes.
        if (!runs[k].metrics.note.empty() && run.metric_columns.empty() &&
            (k == 0 || runs[k].metrics.note != runs[k - 1].metrics.note)) {
            std::fprintf(stderr, "orv-cli: warning: %s\n", runs[k].metrics.note.c_str());
        }
        runs[k].consumer.deliver = point_frames(point, coded[k], run);
        if (options.common.progress) {
            std::fprintf(stderr, "%s %s\n", point.settings.codec.c_str(),
                         point_setting(point).c_str());
        }
    }
    RunSettings measured;
    measured.threads = options.common.threads;
    measured.progress = stoppable(frame_progress(options.common.progress));
    const std::vector<RunOutcome> outcomes =
        run_against_reference(conditions, references, runs, measured);
    for (std::size_t k = 0; k < points.size(); ++k) {
        RdPoint& point = points[k];
        const PooledStatistics& pooled = outcomes[k].pooled;
        point.pooled = {pooled.mean_of_means, pooled.median, pooled.p95, pooled.max};
        if (metrics.any()) {
            point.metric_columns = outcomes[k].metrics.columns;
            point.metrics = outcomes[k].metrics.values;
            point.metric_planes = runs[k].metrics.format;
            point.metric_note = runs[k].metrics.note;
            if (run.metric_columns.empty()) run.metric_columns = point.metric_columns;
        }
    }
}

}  // namespace orv
