#pragma once
// The warnings of a run: what may make its figures wrong, said on standard error by orv-cli
// and kept in the JSON record by every face in the same words.

#include <string>

#include "report/run_record.h"

namespace orv {

// When the two inputs' frame counts differ: "the reference has 30 frames (25.000 fps,
// 1.200 s) but the degraded 28 frames (25.000 fps, 1.120 s); " and how the frames are paired.
// Frame rates are those the files state when an input is one video; "" when the counts agree.
std::string length_warning(const InputRecord& reference, const InputRecord& degraded, bool by_time);

}  // namespace orv
