#pragma once
// How rd measures its points: the decoded frames of each point's bitstream against the input
// frames, as diff measures a pair of sequences, with what lets a run stop at the next frame.

#include <string>
#include <vector>

#include "cli/encode_commands.h"
#include "measure/sequence_runner.h"
#include "numeric/failure.h"
#include "report/rd_report.h"

namespace orv {

// The input frames (BMP, image, video or raw files, in the order given), opened once as a run's
// side (a folder stands for its frame files).
RunSide open_inputs(const std::vector<std::string>& files, bool keep_planes = false);

// Progress that also stops the run at the next frame after SIGINT or SIGTERM.
FrameProgress stoppable(FrameProgress shown);

// Measures the decoded frames of every point's bitstream against the reference frames, as
// diff does, in one pass over the reference (each reference frame filtered once for all the
// points; memory holds every point's decoder at once), and fills each point's frames and pooled
// figures (and with --metrics its PSNR and SSIM, from the decoded planes the pass then keeps);
// `coded[k]` gives point k's frame types and sizes. A bitstream with other than `count` frames
// fails with `mismatch`.
void measure_points(std::vector<RdPoint>& points, const std::vector<std::vector<CodedFrame>>& coded,
                    const RdOptions& options, const MeasurementConditions& conditions, int count,
                    FailureKind mismatch, RdRun& run);

}  // namespace orv
