#pragma once
// The colour-difference dialog "COLOR_DIFF_DLG": pairs the reference sequence with the
// degraded sequence (either may be loaded from the dialog) and makes, slot by slot, the
// S-CIELAB colour-difference result and its grey picture.

#include <array>
#include <utility>
#include <vector>

#include "measure/sequence_runner.h"
#include "shell/dialog_logic.h"
#include "shell/frame_store.h"
#include "shell/platform.h"
#include "shell/sequences.h"

namespace orv {

inline constexpr const char* colour_diff_progress_label = "色差画像生成";

// The frame compared in slot i: i when that slot of the table holds a frame, otherwise the
// last frame of the sequence (count - 1). -1 when there is no frame there either (an empty
// sequence, or a count whose last slot is empty): the pair is absent.
int pair_slot(const std::array<PixelBuffer, max_frames>& table, int count, int i);

// The slots of each pair the colour-difference run measures, in frame order, up to the first
// absent pair.
std::vector<std::pair<int, int>> store_pairs(const FrameStore& store);

// One sequence of the store as a run's side over `pairs`: pair i reads the frame of its slot,
// left in the store (never copied), and with `exact` the exact values of a frame of more than
// 8 bits from its file. `store` and `pairs` must outlive the side. With `held`, the store of
// a run reusing reference coordinates by slot, a reference frame whose coordinates it keeps is
// read without its exact values: they went into those coordinates.
RunSide store_side(const FrameStore& store, SequenceTable table,
                   const std::vector<std::pair<int, int>>& pairs, bool exact = false,
                   ReferenceStore* held = nullptr);

// The display a run measures one side with: the profile's, unless that side's own streams'
// tags say PQ, HLG or BT.2020 (the other side's tags play no part).
DisplayChoice store_display(const FrameStore& store, Side side);

// The work of OK. For slots 0 .. max(reference_count, degraded_count) - 1 in order, makes
// diff_pixels[i] (a zero-filled buffer of frame_headers[i]'s size, then the grey picture) and
// diff_results[i]. Stops silently at the first slot whose pair is absent, and with a message
// when the pipeline refuses a pair (frames of different sizes, unreadable profile files);
// slots before the stop keep their new results. True when every slot was made: diff_ready
// and degraded_ready are then set.
bool make_difference_sequence(FrameStore& store, Platform& platform);

DialogHandlers colour_diff_dialog_handlers(FrameStore& store, Platform& platform);

}  // namespace orv
