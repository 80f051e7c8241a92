#pragma once
// Finding one's way through the frames: stepping by keys and by the mouse wheel, and the
// texts of the white lower-right quarter (frame number, the two sequences, the frame's
// difference figures, how to step).

#include <string>
#include <vector>

#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv {

enum class FrameStep { next, previous, first, last };
enum class StepKey { right, left, space, home, end, other };

// Number of frames stepping goes through: max(reference_count, degraded_count), as
// advance_frame wraps.
int frame_count(const FrameStore& store);

// Moves current_frame (next wraps as advance_frame does, previous wraps from 0 to the last
// frame), gives back the pages of the slots no longer shown and repaints the three panes and
// the quarter. Nothing before a reference sequence is open. True when it stepped.
bool step_frame(FrameStore& store, Platform& platform, FrameStep step);

// Shows `frame` (0 .. frame_count - 1) as stepping does; false before a reference sequence is
// open or for a frame outside the sequences.
bool go_to_frame(FrameStore& store, Platform& platform, int frame);

// Starts reading from the disk what the panes show for the current frame and for the next
// one, as a step does; for the end of a command that wrote or reloaded the frames, so that
// the first step after it does not wait for the disk either. Nothing before a reference
// sequence is open.
void read_ahead_current(const FrameStore& store);

// → and Space: next; ←: previous; Home, End: first, last. True when the key stepped.
bool key_step(FrameStore& store, Platform& platform, StepKey key);
// A wheel turn over the quarter: away from the user (delta > 0) previous, toward next.
bool wheel_step(FrameStore& store, Platform& platform, int delta);

// The lines the quarter shows, top to bottom.
std::vector<std::string> quarter_lines(const FrameStore& store);

inline constexpr const char* quarter_hint =
    "ここをクリック、→ または Space で次のフレーム\n← で前、Home / End で最初 / 最後";

}  // namespace orv
