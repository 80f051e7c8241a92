#pragma once
// Several degraded sequences measured against one reference sequence in a single pass over
// the reference: each reference frame is filtered once and its coordinates serve every
// degraded sequence's frame of the same index (a codec comparison's points against its source).
// Each sequence's pairs, statistics and pooled figures are those run_sequence gives for it on
// its own. Pairs run on the run's threads as run_sequence's do; a reference frame is read and
// filtered by the first of its pairs and dropped after the last, so memory holds the
// reference frames of the pairs in flight only (at most threads + 1), whatever the length of
// the sequences or the number of degraded ones.

#include <vector>

#include "measure/sequence_runner.h"

namespace orv {

// One degraded sequence of a shared-reference run and what receives its pairs.
struct DegradedRun {
    RunSide side;
    RunConsumer consumer;
    // PSNR and SSIM of every pair beside its colour differences, pooled into the run's outcome
    // as run_sequence pools them (RunSettings::metrics of a run of its own). The reference
    // side's files and this side's must be opened with MediaOptions::keep_planes for the
    // planes to be there.
    MetricsPlan metrics;
};

// Pairs by position (frame i with frame i, the shorter side repeating its last frame; at
// most settings.frames pairs for each sequence). The pairs are delivered frame index by frame
// index, each index's pairs in the order of `runs`; `settings.progress` counts pairs. No grey
// pictures are made (settings.grey is not used; settings.metrics neither: each run has its
// own plan). Returns one outcome for each of `runs`, in
// order. A failure of any pair stops the run after the pairs before it were delivered, and
// travels to the caller.
std::vector<RunOutcome> run_against_reference(const MeasurementConditions& conditions,
                                              const RunSide& reference,
                                              const std::vector<DegradedRun>& runs,
                                              const RunSettings& settings);

}  // namespace orv
