#pragma once
// What orv-cli checks and says around a run, apart from the measurement itself: the profile
// folder looked at before any media is opened, the progress line, and warnings.

#include <string>

#include "measure/frame_loop.h"
#include "measure/sequence_runner.h"
#include "media/media_sequence.h"

namespace orv {

// Refuses (Failure no_profile, naming --profile) a folder without the profile's files, before
// any media is opened.
void check_profile_present(const std::string& folder);

// Progress on standard error: frames done of all, frames per second and time left. On a
// terminal one line rewritten at most once a second (and at the end); otherwise a line every
// 10 seconds. Empty when not enabled.
FrameProgress progress_line(bool enabled, bool terminal);

// "orv-cli: warning: TEXT" on standard error: something that may make the figures wrong.
void warn(const std::string& text);

// Ends an unfinished progress line, so that a message starts on a line of its own.
void end_progress_line();

// An encode's stream is timed at --fps, and its bitrate follows from that: an input video that
// states another rate is warned of, so that a bitrate is never silently off by the ratio.
void warn_of_other_rate(const RunSide& inputs, double fps);

}  // namespace orv

namespace CLI {
class App;
}

namespace orv {

// How the frames of a diff are taken: damaged streams, pairing, orientation.
struct FrameOptions {
    bool allow_damaged = false;        // measure the frames of a damaged stream that decode
    std::string pair_by = "position";  // or "time"
    bool keep_orientation = false;     // --no-autorotate
};

void add_frame_options(CLI::App& command, FrameOptions& options, bool pairing);

// Puts diff's options under headings in its help: inputs, colour handling, outputs,
// statistics and reports, speed. Options it does not know keep the common heading.
void group_diff_help(CLI::App& diff);

}  // namespace orv
