#pragma once
// The three subcommands of orv-cli. Each returns the process exit status (0 done, 1 a file
// could not be read or written, a frame pair was refused or the measurement failed); messages
// go to standard error, the difference table to standard output or its file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/report_outputs.h"
#include "cli/run_checks.h"
#include "colour/display_model.h"
#include "image/pixel_buffer.h"
#include "measure/display_tags.h"
#include "measure/frame_loop.h"
#include "media/media_text.h"
#include "scielab/conditions.h"
#include "scielab/viewing.h"

namespace orv {

struct CommonOptions {
    std::string profile = ".";    // profile-data folder
    bool profile_default = true;  // --profile not given: the current folder
    int threads = 1;
    bool kernel_trace = false;     // filter trace to standard error (discarded otherwise)
    bool progress = false;         // frames done, rate and time left on standard error
    bool quiet = false;            // nothing on standard error but errors and warnings
    ViewingOptions viewing;        // none: the fixed geometry
    DisplayChoice display;         // the display model and primaries (default: the profile's)
    bool display_given = false;    // --display given: the streams' transfer tags do not choose
    bool primaries_given = false;  // --primaries given: their primaries tags do not choose
    // --reference-display / --reference-primaries and the degraded side's: over the above.
    SideDisplayOptions reference_display;
    SideDisplayOptions degraded_display;
};

struct DiffOptions {
    CommonOptions common;
    std::vector<std::string> reference;
    std::vector<std::string> degraded;
    MediaText reference_media;
    MediaText degraded_media;
    int reference_start = 0;  // frames skipped at the start of each sequence
    int degraded_start = 0;
    std::optional<int> frames;  // at most this many pairs
    std::string csv;            // empty: standard output
    std::string maps;           // base name of the grey pictures, empty: none
    std::string values;         // base name of the .npy maps, empty: none
    ReportOptions report;       // statistics, JSON, heatmaps, HTML report, formula, status 3
    FrameOptions handling;      // damaged streams, pairing, orientation
    std::string metrics;        // "psnr", "ssim" or "psnr,ssim": their columns; empty: none
};

struct FilterOptions {
    CommonOptions common;
    std::string out;
    std::vector<std::string> files;
    MediaText media;
    FrameOptions handling;
};

struct NoiseOptions {
    double sigma_red = 0.0;
    double sigma_green = 0.0;
    double sigma_blue = 0.0;
    std::optional<std::uint32_t> seed;  // empty: the millisecond clock before every pass
    std::string out;
    std::vector<std::string> files;
    MediaText media;
    FrameOptions handling;
    bool progress = false;
};

int run_diff(const DiffOptions& options);
int run_filter(const FilterOptions& options);
int run_noise(const NoiseOptions& options);

// Shared with the encoder subcommands: the conditions of the profile, the "frame i of n"
// reporter, and the check that no output exists yet.
MeasurementConditions load_profile_conditions(const CommonOptions& options);
FrameProgress frame_progress(bool enabled);
void refuse_existing_outputs(const std::vector<std::string>& names);

}  // namespace orv
