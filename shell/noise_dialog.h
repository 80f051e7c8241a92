#pragma once
// The random-noise dialog "RNDNOISE_DLG": reads every reference file again and adds Gaussian
// noise with a standard deviation per red, green and blue channel; the result becomes the
// degraded sequence.

#include "shell/dialog_logic.h"
#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv {

inline constexpr const char* noise_progress_label = "ランダムノイズ";
// Where a degraded sequence made by the noise degradation came from, as the quarter and the
// exported table name its frames.
inline constexpr const char* noise_origin_text = "ランダムノイズ";
// The seed edit's name in a refusal.
inline constexpr const char* noise_seed_name = "シード";

// How the noise degradation made the degraded sequence, for the export's record:
// "ランダムノイズ: σ R 8, G 8, B 8; seed 42" ("seed: tick count" without a seed).
std::string noise_record_text(const FrameStore& store);

DialogHandlers noise_dialog_handlers(FrameStore& store, Platform& platform);

// The work of OK: every reference file read again into degraded_pixels with noise added,
// seeded by the tick count before each channel pass (or by the seed edit's number, the same
// for every pass), the sigmas read from the three edits before each frame (a decimal comma
// reads as the point). A sigma or seed that is not a number is refused by name before
// anything runs. True when every frame was made, or when the run was cancelled after some
// (degraded_count is then the frames made; degraded_ready is set); false when a field was
// refused or a file could not be read (its message was shown, the frames before it stay
// replaced, no count or flag changes).
bool make_noisy_sequence(FrameStore& store, Platform& platform, DialogItems& items);

}  // namespace orv
