#pragma once
// How a run pairs its two sides, decided once for every face: by position, or by time when
// asked, or when a damaged stream is measured as far as it decodes and both sides have times.

#include <optional>

#include "measure/sequence_runner.h"

namespace orv {

// The pairing of a run. By time when `asked` is time (refused with a Failure naming the side
// unless each side is one video whose frames have times), or when `allow_damaged` and both
// sides have times (frames without times, such as BMP files, keep pairing by position).
PairBy run_pairing(PairBy asked, bool allow_damaged, const RunSide& reference,
                   const RunSide& degraded);

// The pairs a run measures: one per reference frame by time; by position as many as the
// longer side has; at most `frames`.
int run_pair_count(PairBy pairing, const RunSide& reference, const RunSide& degraded,
                   std::optional<int> frames);

// "position" or "time", as the record and the options name them.
const char* pairing_name(PairBy pairing);

}  // namespace orv
