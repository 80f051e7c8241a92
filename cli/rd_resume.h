#pragma once
// What lets an interrupted `orv-cli rd` continue: each complete encode is kept with a record of
// it beside its bitstream (DIR/CODEC_SETTING.json), which the point's figures replace once it is
// measured; `rd --resume` reads both back (a measured point is kept, an encoded one is measured
// without encoding it again); and SIGINT or SIGTERM stop a run at the next frame by unwinding,
// so that every half-written file goes.

#include <optional>
#include <string>
#include <vector>

#include "encode/encoder.h"
#include "report/rd_report.h"

namespace orv {

// The figures of a finished point as a small JSON text, and read back (empty when the file is
// missing or not such a record of the same settings).
std::string rd_point_text(const RdPoint& point, int width, int height);
std::optional<RdPoint> read_rd_point(const std::string& path, const EncodeSettings& settings,
                                     int& width, int& height);

// A complete encode not yet measured: the point's encoder, sizes and bitrate (no figures), and
// its frames' coded types and sizes.
struct EncodedPoint {
    RdPoint point;
    std::vector<CodedFrame> coded;
};

// The record of a complete encode as a small JSON text ("state": "encoded"), and read back
// (empty when the file is missing or not such a record of the same settings). read_rd_point
// never takes such a record for a measured point.
std::string rd_encoded_text(const RdPoint& point, const std::vector<CodedFrame>& coded);
std::optional<EncodedPoint> read_rd_encoded(const std::string& path,
                                            const EncodeSettings& settings);

// Thrown at the next frame after SIGINT or SIGTERM once catch_interruptions was called.
struct Interrupted {};

// Notes SIGINT and SIGTERM instead of dying at once (a second one ends the process).
void catch_interruptions();
// Throws Interrupted when a signal was noted.
void stop_if_interrupted();

}  // namespace orv
