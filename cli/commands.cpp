#include "cli/commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <utility>

#include "cli/cli_error.h"
#include "cli/npy.h"
#include "colour/profile_files.h"
#include "image/bmp_file.h"
#include "image/file_names.h"
#include "numeric/dft.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"
#include "measure/degradations.h"
#include "measure/frame_loop.h"

namespace orv {

namespace {

struct Frame {
    PixelBuffer pixels;
    HeaderBlock header;
};

Frame read_frame(const std::string& path) {
    Frame frame;
    FileMessage message;
    const int stride = read_bmp_frame(path, frame.pixels, frame.header, &message);
    if (stride == -1) raise_command_error("cannot open " + path + " (" + message.text + ")");
    if (stride <= 0) {
        raise_command_error(path + " is not a usable 24- or 8-bit BMP file (" + message.text + ")");
    }
    return frame;
}

void write_frame(const std::string& path, const PixelBuffer& pixels, const HeaderBlock& header) {
    FileMessage message;
    if (write_bmp_frame(path, pixels, header, &message) != 0) {
        raise_command_error("cannot write " + path + ": " + message.text);
    }
}

// Every output is checked before any work starts, so that a run never stops half-way over
// a file left from an earlier run. The writers refuse existing files as well.
void refuse_existing(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(name, error))) {
            raise_command_error(name + " already exists; orv-cli never overwrites a file");
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
    std::ostream& trace = options.kernel_trace ? std::cerr : discard;
    AtdFilters filters;
    filters.a = load_channel_filter(profile_path(options.profile, "kernel_L.txt"),
                                    kernel_sample_angle, trace);
    filters.t = load_channel_filter(profile_path(options.profile, "kernel_RG.txt"),
                                    kernel_sample_angle, trace);
    filters.d = load_channel_filter(profile_path(options.profile, "kernel_BY.txt"),
                                    kernel_sample_angle, trace);
    // The filter responses are long direct transforms: they keep to the threads asked for.
    set_dft_thread_limit(options.threads);
    finish_filter_set(filters);
    return filters;
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
        if (file == nullptr) raise_command_error("cannot create " + path);
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
            raise_command_error("cannot write " + name);
        }
    }
    void close() {
        if (!owned) return;
        owned = false;
        if (std::fclose(file) != 0) raise_command_error("cannot write " + name);
    }
};

std::string number_text(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string size_text(const PixelBuffer& pixels) {
    return std::to_string(pixels.width) + "x" + std::to_string(pixels.height);
}

struct DiffResult {
    InterleavedImage map;
    PixelBuffer grey;
    HeaderBlock header;  // the reference frame's, for the grey picture's file
    FrameExtras extras;
    PixelBuffer reference;  // both frames, only when the report shows them
    PixelBuffer degraded;
};

}  // namespace

void end_progress_line() {
    if (progress_line_open) std::fputc('\n', stderr);
    progress_line_open = false;
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

int run_diff(const DiffOptions& options) {
    const int reference_count = static_cast<int>(options.reference.size());
    const int degraded_count = static_cast<int>(options.degraded.size());
    const int count = std::max(reference_count, degraded_count);
    if (reference_count == 0 || degraded_count == 0) {
        raise_command_error("both a reference and a degraded sequence are needed");
    }

    const std::vector<std::string> map_names = numbered_names(options.maps, count, ".bmp");
    const std::vector<std::string> value_names = numbered_names(options.values, count, ".npy");
    refuse_existing(map_names);
    refuse_existing(value_names);
    if (!options.csv.empty()) refuse_existing({options.csv});
    refuse_existing(report_output_names(options.report, count));

    const AtdFilters filters = load_filters(options.common);
    ReportRun report;
    start_report(report, options.report, options.common.profile, filters, options.reference,
                 options.degraded, count);
    CsvOutput csv(options.csv);
    csv.write("frame,reference,degraded,mean,max,min," + extra_csv_header(options.report.thresholds) +
              "\n");

    // A sequence shorter than the other repeats its last frame.
    auto reference_of = [&](int i) {
        return options.reference[static_cast<std::size_t>(std::min(i, reference_count - 1))];
    };
    auto degraded_of = [&](int i) {
        return options.degraded[static_cast<std::size_t>(std::min(i, degraded_count - 1))];
    };

    auto work = [&](int i) {
        const std::string& reference_path = reference_of(i);
        const std::string& degraded_path = degraded_of(i);
        Frame reference = read_frame(reference_path);
        Frame degraded = read_frame(degraded_path);
        if (reference.pixels.width != degraded.pixels.width ||
            reference.pixels.height != degraded.pixels.height) {
            raise_command_error("frame " + std::to_string(i) + ": " + reference_path + " is " +
                                size_text(reference.pixels) + " but " + degraded_path + " is " +
                                size_text(degraded.pixels) +
                                "; the frames of a pair must have the same size");
        }
        DiffResult result;
        result.grey = make_pixel_buffer(reference.pixels.width, reference.pixels.height);
        make_difference_image(reference.pixels, degraded.pixels, result.grey, kernel_sample_angle,
                              filters, options.common.profile, result.map,
                              chosen_formula(options.report));
        result.extras = frame_extras(report, result.map);
        result.header = std::move(reference.header);
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
            if (!error.empty()) raise_command_error("cannot write " + name + ": " + error);
        }
        deliver_report_frame(report, i, reference_of(i), degraded_of(i), result.reference,
                             result.degraded, result.map, result.extras);
        csv.write(std::to_string(i) + "," + csv_field(reference_of(i)) + "," +
                  csv_field(degraded_of(i)) + "," + number_text(result.map.mean) + "," +
                  number_text(result.map.max) + "," + number_text(result.map.min) + "," +
                  extra_csv_fields(result.extras.statistics) + "\n");
    };
    run_ordered_frames<DiffResult>(count, options.common.threads, work, deliver,
                                   progress_reporter(options.common.progress));
    csv.close();
    return finish_report(report);
}

int run_filter(const FilterOptions& options) {
    const int count = static_cast<int>(options.files.size());
    const std::vector<std::string> names = numbered_names(options.out, count, ".bmp");
    refuse_existing(names);
    const AtdFilters filters = load_filters(options.common);

    auto work = [&](int i) {
        Frame frame = read_frame(options.files[static_cast<std::size_t>(i)]);
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
    const int count = static_cast<int>(options.files.size());
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
        Frame frame = read_frame(options.files[static_cast<std::size_t>(i)]);
        add_gaussian_noise(frame.pixels, options.sigma_red, options.sigma_green, options.sigma_blue,
                           seed);
        write_frame(names[static_cast<std::size_t>(i)], frame.pixels, frame.header);
        if (progress) progress(i + 1, count);
    }
    return 0;
}

}  // namespace orv
