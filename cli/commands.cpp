#include "cli/commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <unistd.h>
#include <utility>

#include "cli/run_checks.h"
#include "image/bmp_file.h"
#include "image/file_names.h"
#include "image/output_file.h"
#include "measure/degradations.h"
#include "measure/display_tags.h"
#include "measure/frame_loop.h"
#include "measure/inputs.h"
#include "measure/run_pairing.h"
#include "measure/sequence_runner.h"
#include "media/media_sequence.h"
#include "report/npy.h"
#include "report/run_warnings.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"

namespace orv {

namespace {

struct Frame {
    PixelBuffer pixels;
    HeaderBlock header;
};

// What the colour-handling line adds for a display other than the profile's, and for any
// display when the two sides are measured on different displays (`sides_differ`).
std::string display_note(const DisplayChoice& display, bool sides_differ = false) {
    return is_profile_display(display) && !sides_differ ? std::string()
                                                        : "; " + display_description(display);
}

InputRecord displayed_input_record(const MediaSequence& sequence, const DisplayChoice& display,
                                   bool sides_differ) {
    InputRecord record = input_record(sequence);
    record.colour_handling += display_note(display, sides_differ);
    return record;
}

// Opens a sequence's files once (a folder stands for its frame files) and says, for each
// media file, how its pixels become RGB.
RunSide open_sequence(const std::vector<std::string>& paths, const MediaText& media, int start,
                      const FrameOptions& handling, bool keep_planes = false) {
    std::vector<SequenceInput> inputs;
    MediaOptions options = parse_media_text(media);
    options.autorotate = !handling.keep_orientation;
    options.allow_damaged = handling.allow_damaged;
    options.keep_planes = keep_planes;
    for (const std::string& path : expand_sequence_paths(paths)) inputs.push_back({path, options});
    return open_run_side(inputs, start);
}

// The colour-handling line of each media file of a side: how its pixels became RGB and, for a
// display other than the profile's, the display measured with.
void describe_sequence(const RunSide& side, const char* role, const DisplayChoice& display,
                       bool quiet = false, bool sides_differ = false) {
    for (const SequenceEntry& entry : side.media->entries) {
        if (entry.kind == MediaKind::bmp || quiet) continue;
        std::fprintf(stderr, "orv-cli: %s %s: %d frame%s; %s%s\n", role, entry.path.c_str(),
                     entry.frame_count, entry.frame_count == 1 ? "" : "s", entry.colour.c_str(),
                     display_note(display, sides_differ).c_str());
    }
    for (const SequenceEntry& entry : side.media->entries) {
        if (const std::string line = missing_frames_warning(entry); !line.empty()) warn(line);
    }
}

// The display of a run: the options, and where they leave it open, the streams' tags.
DisplayChoice run_display(const CommonOptions& options, const RunSide& first,
                          const RunSide& second) {
    return display_from_tags(options.display, options.display_given, options.primaries_given,
                             *first.media, *second.media);
}

// The display of one side of a pair: the options for both sides, the side's own over them, and
// where they leave it open, the side's own streams' tags.
DisplayChoice side_run_display(const CommonOptions& options, Side side, const RunSide& sequence) {
    return side_display(
        options.display, options.display_given, options.primaries_given,
        side == Side::reference ? options.reference_display : options.degraded_display,
        *sequence.media);
}

Frame read_frame(const RunSide& side, int index) {
    RunFrame read = side.read(index);
    return Frame{std::move(read.owned), std::move(read.header)};
}

void write_frame(const std::string& path, const PixelBuffer& pixels, const HeaderBlock& header) {
    Failure failure;
    if (write_bmp_frame(path, pixels, header, &failure) != 0) throw failure;
}

// Every output is checked before the first frame is read (check_outputs), so that a run never
// stops half-way over a missing folder or a file left from an earlier run. The writers refuse
// existing files as well.
void refuse_existing(const std::vector<std::string>& names) { check_outputs(names); }

std::vector<std::string> numbered_names(const std::string& base, int count,
                                        const std::string& extension) {
    std::vector<std::string> names;
    if (base.empty()) return names;
    names.reserve(static_cast<std::size_t>(count));
    const int digits = numbered_digits(count);
    for (int i = 0; i < count; ++i) names.push_back(numbered_name(base, i, extension, digits));
    return names;
}

MeasurementConditions load_run_conditions(const CommonOptions& options, DeltaEFormula formula,
                                          const DisplayChoice& display,
                                          const DisplayChoice& degraded_display) {
    std::ostream discard(nullptr);  // a stream without a buffer swallows everything
    MeasurementConditions conditions = load_conditions(
        options.profile, options.threads, options.kernel_trace ? std::cerr : discard, formula);
    set_side_displays(conditions, display, degraded_display);
    // The options were checked at parse time; what the filters reach is known only now.
    conditions.viewing = viewing_geometry(options.viewing, OptionStyle::command_line,
                                          conditions.filters, conditions.sample_angle);
    check_conditions(conditions);
    return conditions;
}

FrameProgress progress_reporter(bool enabled) {
    return progress_line(enabled, isatty(STDERR_FILENO) != 0);
}

// The difference table: standard output, or a file written through a temporary name and
// moved into place when the run ends. A run stopped by a failure of its frames still puts the
// rows finished before it in place; a failure to write the table leaves no file.
struct CsvOutput {
    OutputFile file;
    bool owned = false;

    explicit CsvOutput(const std::string& path) {
        if (path.empty()) return;
        open_output_file(file, path);
        owned = true;
    }
    ~CsvOutput() {
        if (!owned || file.file == nullptr) return;
        try {
            finish_output(file);
        } catch (const Failure&) {
            // The failure that ended the run is the one reported.
        }
    }
    CsvOutput(const CsvOutput&) = delete;
    CsvOutput& operator=(const CsvOutput&) = delete;

    void write(const std::string& text) {
        if (owned) {
            write_output(file, text);
        } else if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
                   std::fflush(stdout) != 0) {
            raise_errno_failure(FailureKind::cannot_write, "standard output");
        }
    }
    void close() {
        if (!owned) return;
        owned = false;
        finish_output(file);
    }
};

}  // namespace

int run_diff(const DiffOptions& options) {
    if (options.reference.empty() || options.degraded.empty()) {
        raise_failure(FailureKind::missing_inputs);
    }
    if (options.common.profile_default) check_profile_present(options.common.profile);
    const bool quiet = options.common.quiet;
    const FrameOptions& handling = options.handling;
    const MetricsRequest metrics =
        options.metrics.empty() ? MetricsRequest{} : parse_metrics(options.metrics);
    const RunSide reference = open_sequence(options.reference, options.reference_media,
                                            options.reference_start, handling, metrics.any());
    const RunSide degraded = open_sequence(options.degraded, options.degraded_media,
                                           options.degraded_start, handling, metrics.any());
    const DisplayChoice display = side_run_display(options.common, Side::reference, reference);
    const DisplayChoice degraded_display =
        side_run_display(options.common, Side::degraded, degraded);
    const bool differ = !same_display(display, degraded_display);
    describe_sequence(reference, "reference", display, quiet, differ);
    describe_sequence(degraded, "degraded", degraded_display, quiet, differ);
    const PairBy pairing = run_pairing(handling.pair_by == "time" ? PairBy::time : PairBy::position,
                                       handling.allow_damaged, reference, degraded);
    const bool by_time = pairing == PairBy::time;
    const int count = run_pair_count(pairing, reference, degraded, options.frames);
    const std::string length_line =
        length_warning(input_record(*reference.media), input_record(*degraded.media), by_time);
    if (!length_line.empty()) warn(length_line);

    const std::vector<std::string> map_names = numbered_names(options.maps, count, ".bmp");
    const std::vector<std::string> value_names = numbered_names(options.values, count, ".npy");
    ReportSettings settings = report_settings(options.report);
    settings.metrics = plan_run_metrics(metrics, reference, degraded);
    if (!settings.metrics.note.empty()) warn(settings.metrics.note);
    std::vector<std::string> outputs = report_output_names(settings, count);
    outputs.push_back(options.csv);
    outputs.insert(outputs.end(), map_names.begin(), map_names.end());
    outputs.insert(outputs.end(), value_names.begin(), value_names.end());
    refuse_existing(outputs);

    const MeasurementConditions conditions =
        load_run_conditions(options.common, settings.formula, display, degraded_display);
    ReportRun report;
    start_report(report, settings, conditions,
                 displayed_input_record(*reference.media, display, differ),
                 displayed_input_record(*degraded.media, degraded_display, differ), count);
    report.record.pair_by = pairing_name(pairing);
    report.record.reference.missing_frames = missing_frames_of(*reference.media);
    report.record.degraded.missing_frames = missing_frames_of(*degraded.media);
    report.record.warnings = run_warnings(*reference.media, *degraded.media, by_time);
    if (!settings.metrics.note.empty()) report.record.warnings.push_back(settings.metrics.note);
    CsvOutput csv(options.csv);
    csv.write(table_header(settings.thresholds, settings.metrics));

    RunSettings run;
    run.threads = options.common.threads;
    run.frames = options.frames;
    run.pair_by = pairing;
    run.thresholds = settings.thresholds;
    run.grey = !map_names.empty();
    run.keep_frames = report.wants_frames;
    run.progress = progress_reporter(options.common.progress);
    run.metrics = settings.metrics;
    RunConsumer consumer = report_consumer(report);
    // The frame's files first, then its row: a row in the table means every output of that
    // frame was written.
    consumer.deliver = [&](MeasuredPair&& pair) {
        const auto i = static_cast<std::size_t>(pair.frame);
        if (!map_names.empty()) write_frame(map_names[i], pair.result.grey, pair.reference.header);
        if (!value_names.empty()) {
            const std::string error = write_npy_map(value_names[i], pair.result.map);
            if (!error.empty()) raise_failure(FailureKind::cannot_write, value_names[i], {}, error);
        }
        deliver_report_pair(report, pair);
        csv.write(table_line(pair.frame, pair.reference.name, pair.degraded.name, pair.result.map,
                             pair.result.statistics, settings.metrics, pair.result.metrics));
    };
    const RunOutcome outcome = run_sequence(conditions, reference, degraded, run, consumer);
    csv.close();
    report.record.pooled_metrics = outcome.metrics;
    finish_report(report, outcome.pooled);
    return threshold_status(options.report, report.record);
}

int run_filter(const FilterOptions& options) {
    if (options.common.profile_default) check_profile_present(options.common.profile);
    const RunSide sequence = open_sequence(options.files, options.media, 0, options.handling);
    const DisplayChoice display = run_display(options.common, sequence, sequence);
    describe_sequence(sequence, "input", display, options.common.quiet);
    const int count = sequence.count;
    const std::vector<std::string> names = numbered_names(options.out, count, ".bmp");
    refuse_existing(names);
    const MeasurementConditions conditions =
        load_run_conditions(options.common, DeltaEFormula::cie94, display, display);

    // Frames of more than 8 bits are filtered from their exact values.
    auto work = [&](int i) {
        RunFrame frame = sequence.read(i);
        const PixelBuffer& pixels = frame_pixels(frame);
        Frame filtered;
        filtered.pixels = make_pixel_buffer(pixels.width, pixels.height);
        scielab_filter_frame(pixels, filtered.pixels, conditions, &frame.signal);
        filtered.header = std::move(frame.header);
        return filtered;
    };
    auto deliver = [&](int i, Frame&& filtered) {
        write_frame(names[static_cast<std::size_t>(i)], filtered.pixels, filtered.header);
    };
    run_ordered_frames<Frame>(count, options.common.threads, work, deliver,
                              progress_reporter(options.common.progress));
    return 0;
}

int run_noise(const NoiseOptions& options) {
    const RunSide sequence = open_sequence(options.files, options.media, 0, options.handling);
    describe_sequence(sequence, "input", {});
    const int count = sequence.count;
    const std::vector<std::string> names = numbered_names(options.out, count, ".bmp");
    refuse_existing(names);

    SeedSource seed;
    if (options.seed) {
        const std::uint32_t fixed = *options.seed;
        seed = [fixed] { return fixed; };
    } else {
        // The millisecond tick count, read before every channel pass.
        seed = [] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            return static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        };
    }

    const FrameProgress progress = progress_reporter(options.progress);
    if (progress) progress(0, count);
    for (int i = 0; i < count; ++i) {
        Frame frame = read_frame(sequence, i);
        add_gaussian_noise(frame.pixels, options.sigma_red, options.sigma_green, options.sigma_blue,
                           seed);
        write_frame(names[static_cast<std::size_t>(i)], frame.pixels, frame.header);
        if (progress) progress(i + 1, count);
    }
    return 0;
}

}  // namespace orv

// The same readers and checks for the encoder subcommands (cli/encode_commands.cpp).
namespace orv {

MeasurementConditions load_profile_conditions(const CommonOptions& options) {
    return load_run_conditions(options, DeltaEFormula::cie94,
                               with_side_options(options.display, options.reference_display),
                               with_side_options(options.display, options.degraded_display));
}
FrameProgress frame_progress(bool enabled) { return progress_reporter(enabled); }
void refuse_existing_outputs(const std::vector<std::string>& names) { refuse_existing(names); }

}  // namespace orv
