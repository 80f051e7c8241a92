#include "cli/run_checks.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "numeric/failure.h"
#include "numeric/number_text.h"
#include "scielab/conditions.h"

namespace orv {

namespace {

bool line_open = false;  // a rewritten progress line waits for its line end

// "1:05" or "1:02:05".
std::string clock_text(double seconds) {
    const long long s = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    }
    return text;
}

}  // namespace

void check_profile_present(const std::string& folder) {
    for (const char* name :
         {profile_file::display_model, profile_file::rgb_to_xyz, profile_file::xyz_to_lms,
          profile_file::lms_to_atd, profile_file::kernel_a, profile_file::kernel_t,
          profile_file::kernel_d}) {
        std::error_code error;
        if (!std::filesystem::exists(profile_file_path(folder, name), error)) {
            raise_failure(FailureKind::no_profile, folder == "." ? "the current folder" : folder,
                          {name});
        }
    }
}

FrameProgress progress_line(bool enabled, bool terminal) {
    if (!enabled) return {};
    using Clock = std::chrono::steady_clock;
    struct State {
        Clock::time_point start = Clock::now();
        Clock::time_point shown = start;
    };
    auto state = std::make_shared<State>();
    return [state, terminal](int done, int total) {
        const Clock::time_point now = Clock::now();
        if (done == 0) {
            state->start = state->shown = now;
            return;
        }
        const double elapsed = std::chrono::duration<double>(now - state->start).count();
        const bool last = done >= total;
        const double since = std::chrono::duration<double>(now - state->shown).count();
        // A terminal's line also shows the end, so that it never stays at an earlier count.
        if (since < (terminal ? 1.0 : 10.0) && !(terminal && last)) return;
        state->shown = now;
        const double rate = elapsed > 0.0 ? done / elapsed : 0.0;
        std::string text = "frame " + std::to_string(done) + " of " + std::to_string(total) + ", " +
                           fixed_text(rate, 1) + " fps";
        if (!last && rate > 0.0) text += ", " + clock_text((total - done) / rate) + " left";
        if (terminal) {
            std::fprintf(stderr, "\r%s\033[K", text.c_str());
            line_open = !last;
            if (last) std::fputc('\n', stderr);
        } else {
            std::fprintf(stderr, "orv-cli: %s\n", text.c_str());
        }
        std::fflush(stderr);
    };
}

void warn(const std::string& text) {
    end_progress_line();
    std::fprintf(stderr, "orv-cli: warning: %s\n", text.c_str());
}

void end_progress_line() {
    if (line_open) std::fputc('\n', stderr);
    line_open = false;
}

void warn_of_other_rate(const RunSide& inputs, double fps) {
    for (const SequenceEntry& entry : inputs.media->entries) {
        const double stated = entry.frame_rate;
        if (stated > 0.0 && std::fabs(stated - fps) > 1e-3 * fps) {
            warn(entry.path + " states " + fixed_text(stated, 3) +
                 " fps, but the stream is timed at " + fixed_text(fps, 3) +
                 " fps (--fps), which sets its bitrate");
            return;
        }
    }
}

}  // namespace orv

namespace orv {

void add_frame_options(CLI::App& command, FrameOptions& options, bool pairing) {
    command.add_flag("--allow-damaged", options.allow_damaged,
                     "Measure the frames of a damaged video that decode (paired by time) and list "
                     "the missing ones, instead of refusing it");
    if (pairing) {
        command
            .add_option("--pair-by", options.pair_by,
                        "position: reference frame i with degraded frame i; time: each reference "
                        "frame with the degraded frame on screen at its time")
            ->check(CLI::IsMember({"position", "time"}))
            ->capture_default_str();
    }
    command.add_flag("--no-autorotate", options.keep_orientation,
                     "Keep videos' stored orientation instead of turning them upright as their "
                     "display matrix says");
}

void group_diff_help(CLI::App& diff) {
    const std::vector<std::pair<const char*, std::vector<std::string>>> groups = {
        {"Inputs",
         {"--reference", "--degraded", "--profile", "--reference-start", "--degraded-start",
          "--frames", "--pair-by", "--allow-damaged"}},
        {"Colour handling",
         {"--matrix", "--range", "--size", "--pix-fmt", "--fps", "--reference-matrix",
          "--reference-range", "--reference-size", "--reference-pix-fmt", "--reference-fps",
          "--degraded-matrix", "--degraded-range", "--degraded-size", "--degraded-pix-fmt",
          "--degraded-fps", "--no-autorotate"}},
        {"Viewer and display",
         {"--ppd", "--display-width-cm", "--display-width-pixels", "--distance-cm",
          "--distance-heights", "--display-height-pixels", "--viewing", "--display", "--primaries",
          "--reference-display", "--degraded-display", "--reference-primaries",
          "--degraded-primaries", "--white-luminance", "--black-luminance", "--peak-luminance"}},
        {"Outputs",
         {"--csv", "--maps", "--values", "--summary", "--json", "--heatmaps", "--heatmap-max",
          "--heatmap-colours", "--report"}},
        {"Statistics and reports",
         {"--delta-e", "--metrics", "--thresholds", "--fail-above", "--fail-above-p95", "--quiet",
          "--kernel-trace"}},
        {"Speed", {"--threads"}},
    };
    for (const auto& [group, names] : groups) {
        for (const std::string& name : names) {
            if (CLI::Option* option = diff.get_option_no_throw(name)) option->group(group);
        }
    }
}

}  // namespace orv
