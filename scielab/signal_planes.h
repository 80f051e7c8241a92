#pragma once
// Exact signals (image/signal_frame.h) into the pipeline's opponent planes.

#include "image/pixel_buffer.h"
#include "image/signal_frame.h"
#include "scielab/conditions.h"

namespace orv {

// Refuses (Failure) a present signal whose size is not its frame's.
void check_signal(const SignalFrame* signal, const PixelBuffer& frame);

// The opponent planes of an exact signal: each channel's light by the colour model's display
// choice (the profile's model by its formula, unrounded), then its RGB-to-ATD matrix; rowsK[y]
// is row y of plane K.
void signal_to_plane_rows(const SignalFrame& signal, const ColourModel& colour,
                          double* const* rows0, double* const* rows1, double* const* rows2);

}  // namespace orv
