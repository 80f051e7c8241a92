#pragma once
// What lets an interrupted `orv-cli rd` continue: each finished point's figures are kept
// beside its bitstream (DIR/CODEC_SETTING.json) and read back by `rd --resume`; and SIGINT or
// SIGTERM stop a run at the next frame by unwinding, so that every half-written file goes.

#include <optional>
#include <string>

#include "report/rd_report.h"

namespace orv {

// The figures of a finished point as a small JSON text, and read back (empty when the file is
// missing or not such a record of the same settings).
std::string rd_point_text(const RdPoint& point, int width, int height);
std::optional<RdPoint> read_rd_point(const std::string& path, const EncodeSettings& settings,
                                     int& width, int& height);

// Thrown at the next frame after SIGINT or SIGTERM once catch_interruptions was called.
struct Interrupted {};

// Notes SIGINT and SIGTERM instead of dying at once (a second one ends the process).
void catch_interruptions();
// Throws Interrupted when a signal was noted.
void stop_if_interrupted();

}  // namespace orv
