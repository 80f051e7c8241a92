#pragma once
// A run's side whose video frames are decoded on a thread of their own, ahead of the
// measuring threads: decoding a video is sequential, so inside the measuring threads it would
// keep one of them waiting for its turn; ahead of them it overlaps the measurement.

#include "measure/sequence_runner.h"

namespace orv {

// True when the side reads a video or raw file (frames decoded in order); sides of single
// pictures are read in parallel by the measuring threads themselves.
bool decodes_in_order(const RunSide& side);

// The same side, its frames read in order on a thread of its own into at most `depth` frames
// held ahead. Frames are asked for as a run asks for them: in increasing order, the last one
// possibly again; a failure to read a frame is raised where that frame is asked for. The thread
// stops when the last copy of the returned side goes.
RunSide read_ahead(const RunSide& side, int depth);

}  // namespace orv
