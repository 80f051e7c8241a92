#include "cli/commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <utility>

#include "cli/npy.h"
#include "image/bmp_file.h"
#include "image/file_names.h"
#include "measure/degradations.h"
#include "measure/frame_loop.h"
#include "measure/inputs.h"
#include "media/media_sequence.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"

namespace orv {

namespace {

struct Frame {
    PixelBuffer pixels;
    HeaderBlock header;
};

// Opens a sequence's files and says, for each media file, how its pixels become RGB.
MediaSequence open_sequence(const std::vector<std::string>& paths, const MediaArgs& media,
                            int start, const char* role) {
    std::vector<SequenceInput> inputs;
    inputs.reserve(paths.size());
    const MediaOptions options = media.options();
    for (const std::string& path : paths) inputs.push_back({path, options});
    MediaSequence sequence = open_media_sequence(inputs, start);
    for (const SequenceEntry& entry : sequence.entries) {
        if (entry.kind == MediaKind::bmp) continue;
        std::fprintf(stderr, "orv-cli: %s %s: %d frame%s; %s\n", role, entry.path.c_str(),
                     entry.frame_count, entry.frame_count == 1 ? "" : "s", entry.colour.c_str());
    }
    return sequence;
}

Frame read_frame(MediaSequence& sequence, int index) {
    SequenceFrame read = read_sequence_frame(sequence, index);
    return Frame{std::move(read.pixels), std::move(read.header)};
}

void write_frame(const std::string& path, const PixelBuffer& pixels, const HeaderBlock& header) {
    Failure failure;
    if (write_bmp_frame(path, pixels, header, &failure) != 0) throw failure;
}

// Every output is checked before any work starts, so that a run never stops half-way over
// a file left from an earlier run. The writers refuse existing files as well.
void refuse_existing(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(name, error))) {
            raise_failure(FailureKind::output_exists, name);
        }
    }
}

std::vector<std::string> numbered_names(const std::string& base, int count,
                                        const std::string& extension) {
    std::vector<std::string> names;
    if (base.empty()) return names;
    names.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) names.push_back(numbered_name(base, i, extension));
    return names;
}

AtdFilters load_filters(const CommonOptions& options) {
    std::ostream discard(nullptr);  // a stream without a buffer swallows everything
    return load_atd_filters(options.profile, options.threads,
                            options.kernel_trace ? std::cerr : discard);
}

bool progress_line_open = false;  // a "frame i of n" line waits for its line end

FrameProgress progress_reporter(bool enabled) {
    if (!enabled) return {};
    return [](int done, int total) {
        if (done == 0) return;
        std::fprintf(stderr, "\rframe %d of %d", done, total);
        progress_line_open = done != total;
        if (!progress_line_open) std::fputc('\n', stderr);
        std::fflush(stderr);
    };
}

// The difference table: standard output, or a file created new.
struct CsvOutput {
    std::FILE* file = stdout;
    std::string name = "standard output";
    bool owned = false;

    explicit CsvOutput(const std::string& path) {
        if (path.empty()) return;
        file = std::fopen(path.c_str(), "wx");
        if (file == nullptr) raise_errno_failure(FailureKind::cannot_write, path);
        name = path;
        owned = true;
    }
    ~CsvOutput() {
        if (owned) std::fclose(file);
    }
    CsvOutput(const CsvOutput&) = delete;
    CsvOutput& operator=(const CsvOutput&) = delete;

    void write(const std::string& text) {
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
            std::fflush(file) != 0) {
            raise_errno_failure(FailureKind::cannot_write, name);
        }
    }
    void close() {
        if (!owned) return;
        owned = false;
        if (std::fclose(file) != 0) raise_errno_failure(FailureKind::cannot_write, name);
    }
};

struct DiffResult {
    InterleavedImage map;
    PixelBuffer grey;
    HeaderBlock header;  // the reference frame's, for the grey picture's file
    std::string reference_name;
    std::string degraded_name;
    FrameExtras extras;
    PixelBuffer reference;  // both frames, only when the report shows them
    PixelBuffer degraded;
};

}  // namespace

MediaArgs MediaArgs::over(const MediaArgs& shared) const {
    MediaArgs merged = *this;
    if (!merged.matrix) merged.matrix = shared.matrix;
    if (!merged.range) merged.range = shared.range;
    if (merged.size.empty()) merged.size = shared.size;
    if (merged.pixel_format.empty()) merged.pixel_format = shared.pixel_format;
    if (merged.fps.empty()) merged.fps = shared.fps;
    return merged;
}

MediaOptions MediaArgs::options() const {
    MediaOptions options;
    options.matrix = matrix;
    options.range = range;
    if (!size.empty() || !pixel_format.empty()) {
        RawFormat raw;
        if (const auto parsed = parse_frame_size(size)) {
            raw.width = parsed->width;
            raw.height = parsed->height;
        }
        raw.pixel_format = pixel_format;
        if (const auto rate = parse_frame_rate(fps)) {
            raw.fps_num = rate->num;
            raw.fps_den = rate->den;
        }
        options.raw = raw;
    }
    return options;
}

void end_progress_line() {
    if (progress_line_open) std::fputc('\n', stderr);
    progress_line_open = false;
}

int run_diff(const DiffOptions& options) {
    if (options.reference.empty() || options.degraded.empty()) {
        raise_failure(FailureKind::missing_inputs);
    }
    MediaSequence reference = open_sequence(options.reference, options.reference_media,
                                            options.reference_start, "reference");
    MediaSequence degraded =
        open_sequence(options.degraded, options.degraded_media, options.degraded_start, "degraded");
    int count = std::max(reference.count, degraded.count);
    if (options.frames) count = std::min(count, *options.frames);

    const std::vector<std::string> map_names = numbered_names(options.maps, count, ".bmp");
    const std::vector<std::string> value_names = numbered_names(options.values, count, ".npy");
    refuse_existing(map_names);
    refuse_existing(value_names);
    if (!options.csv.empty()) refuse_existing({options.csv});
    const ReportSettings settings = report_settings(options.report);
    refuse_existing(report_output_names(settings, count));

    const AtdFilters filters = load_filters(options.common);
    ReportRun report;
    start_report(report, settings, options.common.profile, filters, input_record(reference),
                 input_record(degraded), count);
    CsvOutput csv(options.csv);
    csv.write(table_header(settings.thresholds));

    // A sequence shorter than the other repeats its last frame. The names of each pair go to
    // the table with the pair's result.
    auto work = [&](int i) {
        SequenceFrame reference_frame = read_sequence_frame(reference, i);
        SequenceFrame degraded_frame = read_sequence_frame(degraded, i);
        const std::string& reference_path = reference_frame.name;
        const std::string& degraded_path = degraded_frame.name;
        Frame reference{std::move(reference_frame.pixels), std::move(reference_frame.header)};
        Frame degraded{std::move(degraded_frame.pixels), std::move(degraded_frame.header)};
        check_pair_size(i, reference_path, reference.pixels, degraded_path, degraded.pixels);
        // The grey picture is made by the measurement once its planes are gone.
        DiffResult result;
        make_difference_image(reference.pixels, degraded.pixels, result.grey, kernel_sample_angle,
                              filters, options.common.profile, result.map, settings.formula);
        result.extras = frame_extras(report, result.map);
        result.header = std::move(reference.header);
        result.reference_name = reference_path;
        result.degraded_name = degraded_path;
        if (report.wants_frames) {
            result.reference = std::move(reference.pixels);
            result.degraded = std::move(degraded.pixels);
        }
        return result;
    };
    // The frame's files first, then its row: a row in the table means every output of that
    // frame was written.
    auto deliver = [&](int i, DiffResult&& result) {
        if (!map_names.empty()) {
            write_frame(map_names[static_cast<std::size_t>(i)], result.grey, result.header);
        }
        if (!value_names.empty()) {
            const std::string& name = value_names[static_cast<std::size_t>(i)];
            const std::string error = write_npy_map(name, result.map);
            if (!error.empty()) raise_failure(FailureKind::cannot_write, name, {}, error);
        }
        deliver_report_frame(report, i, result.reference_name, result.degraded_name,
                             result.reference, result.degraded, result.map, result.extras);
        csv.write(table_line(i, result.reference_name, result.degraded_name, result.map,
                             result.extras.statistics));
    };
    run_ordered_frames<DiffResult>(count, options.common.threads, work, deliver,
                                   progress_reporter(options.common.progress));
    csv.close();
    finish_report(report);
    return threshold_status(options.report, report.record);
}

int run_filter(const FilterOptions& options) {
    MediaSequence sequence = open_sequence(options.files, options.media, 0, "input");
    const int count = sequence.count;
    const std::vector<std::string> names = numbered_names(options.out, count, ".bmp");
    refuse_existing(names);
    const AtdFilters filters = load_filters(options.common);

    auto work = [&](int i) {
        Frame frame = read_frame(sequence, i);
        Frame filtered;
        filtered.pixels = make_pixel_buffer(frame.pixels.width, frame.pixels.height);
        scielab_filter_frame(frame.pixels, filtered.pixels, filters.a, filters.t, filters.d,
                             kernel_sample_angle, options.common.profile);
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
    MediaSequence sequence = open_sequence(options.files, options.media, 0, "input");
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

AtdFilters load_profile_filters(const CommonOptions& options) { return load_filters(options); }
FrameProgress frame_progress(bool enabled) { return progress_reporter(enabled); }
void refuse_existing_outputs(const std::vector<std::string>& names) { refuse_existing(names); }

}  // namespace orv
