#pragma once
// The warnings of a run: what may make its figures wrong, said on standard error by orv-cli
// and kept in the JSON record by every face in the same words.

#include <string>
#include <vector>

#include "media/media_sequence.h"
#include "report/run_record.h"

namespace orv {

// When the two inputs' frame counts differ: "the reference has 30 frames (25.000 fps,
// 1.200 s) but the degraded 28 frames (25.000 fps, 1.120 s); " and how the frames are paired.
// Frame rates are those the files state when an input is one video; "" when the counts agree.
std::string length_warning(const InputRecord& reference, const InputRecord& degraded, bool by_time);

// "PATH: N frames do not decode, measured without them (REASON): 9, 11", for a damaged video
// measured as far as it decodes; "" for a whole one.
std::string missing_frames_warning(const SequenceEntry& entry);

// The missing frames of a sequence's files, numbered in the whole sequence.
std::vector<int> missing_frames_of(const MediaSequence& sequence);

// Every warning of a run, in the order the record keeps them: the missing frames of each file
// of the reference, then of the degraded, then the length warning.
std::vector<std::string> run_warnings(const MediaSequence& reference, const MediaSequence& degraded,
                                      bool by_time);

}  // namespace orv
