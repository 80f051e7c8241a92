#pragma once
// The three subcommands of orv-cli. Each returns the process exit status (0 done, 1 a file
// could not be read or written, a frame pair was refused or the measurement failed); messages
// go to standard error, the difference table to standard output or its file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/report_outputs.h"
#include "image/pixel_buffer.h"
#include "measure/frame_loop.h"
#include "media/media_source.h"
#include "scielab/filter_kernels.h"

namespace orv {

// How one sequence's media files are read: colour overrides and the raw-file description.
struct MediaArgs {
    std::optional<YuvMatrix> matrix;
    std::optional<YuvRange> range;
    std::string size;          // raw files: "WxH"
    std::string pixel_format;  // raw files: the libraries' name
    std::string fps;           // raw files: frame rate

    // This sequence's own settings, each falling back to `shared` where not given.
    MediaArgs over(const MediaArgs& shared) const;
    MediaOptions options() const;
};

struct CommonOptions {
    std::string profile = ".";  // profile-data folder
    int threads = 1;
    bool kernel_trace = false;  // filter trace to standard error (discarded otherwise)
    bool progress = false;      // "frame i of n" on standard error
};

struct DiffOptions {
    CommonOptions common;
    std::vector<std::string> reference;
    std::vector<std::string> degraded;
    MediaArgs reference_media;
    MediaArgs degraded_media;
    int reference_start = 0;  // frames skipped at the start of each sequence
    int degraded_start = 0;
    std::optional<int> frames;  // at most this many pairs
    std::string csv;            // empty: standard output
    std::string maps;           // base name of the grey pictures, empty: none
    std::string values;         // base name of the .npy maps, empty: none
    ReportOptions report;       // statistics, JSON, heatmaps, HTML report, formula, status 3
};

struct FilterOptions {
    CommonOptions common;
    std::string out;
    std::vector<std::string> files;
    MediaArgs media;
};

struct NoiseOptions {
    double sigma_red = 0.0;
    double sigma_green = 0.0;
    double sigma_blue = 0.0;
    std::optional<std::uint32_t> seed;  // empty: the millisecond clock before every pass
    std::string out;
    std::vector<std::string> files;
    MediaArgs media;
    bool progress = false;
};

int run_diff(const DiffOptions& options);
int run_filter(const FilterOptions& options);
int run_noise(const NoiseOptions& options);

// Shared with the encoder subcommands: the profile's three filters, the "frame i of n"
// reporter, and the check that no output exists yet.
AtdFilters load_profile_filters(const CommonOptions& options);
FrameProgress frame_progress(bool enabled);
void refuse_existing_outputs(const std::vector<std::string>& names);

// Ends an unfinished progress line, so that a message starts on a line of its own.
void end_progress_line();

}  // namespace orv
