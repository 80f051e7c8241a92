#include "report/sequence_report.h"

#include "image/file_names.h"
#include "image/output_file.h"
#include "numeric/failure.h"
#include "numeric/number_text.h"
#include "report/json_record.h"
#include "report/metrics_record.h"
#include "report/png_file.h"
#include "report/run_warnings.h"

namespace orv {

namespace {

std::vector<std::string> heatmap_file_names(const ReportSettings& settings, int count) {
    std::vector<std::string> names;
    if (settings.files.heatmaps.empty()) return names;
    names.reserve(static_cast<std::size_t>(count));
    const int digits = numbered_digits(count);
    for (int i = 0; i < count; ++i) {
        names.push_back(numbered_name(settings.files.heatmaps, i, ".png", digits));
    }
    return names;
}

std::string six_decimals(double value) { return fixed_text(value, 6); }

}  // namespace

std::vector<std::string> report_output_names(const ReportSettings& settings, int count) {
    std::vector<std::string> names;
    const ReportFiles& f = settings.files;
    for (const std::string* single : {&f.table, &f.summary, &f.json, &f.report}) {
        if (!single->empty()) names.push_back(*single);
    }
    for (std::string& name : heatmap_file_names(settings, count)) names.push_back(std::move(name));
    return names;
}

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string table_header(const std::vector<double>& thresholds) {
    return "frame,reference,degraded,mean,max,min," + extra_csv_header(thresholds) + "\n";
}

std::string table_line(int frame, const std::string& reference, const std::string& degraded,
                       const InterleavedImage& map, const FrameStatistics& statistics) {
    return std::to_string(frame) + "," + csv_field(reference) + "," + csv_field(degraded) + "," +
           six_decimals(map.mean) + "," + six_decimals(map.max) + "," + six_decimals(map.min) +
           "," + extra_csv_fields(statistics) + "\n";
}

namespace {

// A line of the table with `extra` put before its line end.
std::string extended(std::string line, const std::string& extra) {
    line.insert(line.size() - 1, extra);
    return line;
}

}  // namespace

std::string table_header(const std::vector<double>& thresholds, const MetricsPlan& metrics) {
    return extended(table_header(thresholds), metrics_csv_header(metrics));
}

std::string table_line(int frame, const std::string& reference, const std::string& degraded,
                       const InterleavedImage& map, const FrameStatistics& statistics,
                       const MetricsPlan& metrics, const FrameMetrics& figures) {
    const std::string line = table_line(frame, reference, degraded, map, statistics);
    if (!metrics.request.any()) return line;
    return extended(line, metrics_csv_fields(metric_values(metrics, figures)));
}

void start_report(ReportRun& run, const ReportSettings& settings,
                  const MeasurementConditions& conditions, const InputRecord& reference,
                  const InputRecord& degraded, int count) {
    run.settings = settings;
    run.heatmap_names = heatmap_file_names(settings, count);
    run.wants_frames = !settings.files.report.empty();
    if (!settings.files.table.empty()) {
        run.table = table_header(settings.thresholds, settings.metrics);
    }
    RunRecord& r = run.record;
    r.metrics = settings.metrics;
    r.command_line = settings.command_line;
    r.formula = settings.formula;
    r.thresholds = settings.thresholds;
    r.reference = reference;
    r.degraded = degraded;
    // Every face pairs by position unless it says otherwise (orv-cli --pair-by time).
    if (const std::string warning = length_warning(reference, degraded, false); !warning.empty()) {
        r.warnings.push_back(warning);
    }
    r.profile = profile_record(conditions);
}

void report_pair_work(const ReportRun& run, MeasuredPair& pair) {
    if (!run.heatmap_names.empty()) {
        pair.attachment = encode_png(heatmap_with_colour_bar(pair_map(pair), run.settings.style));
    }
}

void deliver_report_pair(ReportRun& run, const MeasuredPair& pair) {
    const int frame = pair.frame;
    const InterleavedImage& map = pair_map(pair);
    const FrameStatistics& statistics = pair.result.statistics;
    if (!run.heatmap_names.empty()) {
        write_report_file(run.heatmap_names[static_cast<std::size_t>(frame)], pair.attachment);
    }
    RunRecord& r = run.record;
    if (r.frames.empty()) {
        r.reference.frame_width = r.degraded.frame_width = map.width;
        r.reference.frame_height = r.degraded.frame_height = map.height;
    }
    r.frames.push_back({frame, pair.reference.name, pair.degraded.name, statistics});
    const MetricsPlan& metrics = run.settings.metrics;
    if (metrics.request.any())
        r.frame_metrics.push_back(metric_values(metrics, pair.result.metrics));
    if (!run.settings.files.table.empty()) {
        run.table += table_line(frame, pair.reference.name, pair.degraded.name, map, statistics,
                                metrics, pair.result.metrics);
    }
    if (run.wants_frames) {
        add_to_histogram(run.histogram, map);
        if (is_worst_frame(run.worst, statistics.mean)) {
            keep_worst_frame(
                run.worst, make_worst_frame(frame, statistics.mean, frame_pixels(pair.reference),
                                            frame_pixels(pair.degraded), map, run.settings.style));
        }
    }
}

RunConsumer report_consumer(ReportRun& run) {
    RunConsumer consumer;
    consumer.work = [&run](MeasuredPair& pair) { report_pair_work(run, pair); };
    consumer.deliver = [&run](MeasuredPair&& pair) { deliver_report_pair(run, pair); };
    return consumer;
}

void finish_report(ReportRun& run, const PooledStatistics& pooled) {
    const ReportFiles& files = run.settings.files;
    RunRecord& r = run.record;
    r.pooled = pooled;
    if (!files.table.empty()) write_report_file(files.table, run.table);
    if (!files.summary.empty()) write_report_file(files.summary, summary_csv(r));
    if (!files.json.empty()) write_report_file(files.json, run_json_text(r));
    if (!files.report.empty()) {
        write_report_file(files.report,
                          html_report(r, run.histogram, run.worst, run.settings.style));
    }
}

void write_report_file(const std::string& path, const std::string& bytes) {
    write_whole_file(path, bytes);
}

}  // namespace orv
