#include "report/run_warnings.h"

#include <utility>

#include "media/media_source.h"
#include "numeric/failure.h"
#include "numeric/number_text.h"

namespace orv {

namespace {

// "30 frames (25.000 fps, 1.200 s)": the rate the file states when the input is one video
// (its container read again, without decoding), the duration of the frames measured.
std::string length_text(const InputRecord& input) {
    const int count = input.frame_count;
    std::string text = std::to_string(count) + (count == 1 ? " frame" : " frames");
    if (input.paths.size() != 1 || is_bmp_path(input.paths.front())) return text;
    double rate = 0.0;
    try {
        rate = open_media(input.paths.front(), MediaOptions{}).frame_rate;
    } catch (const Failure&) {
        return text;  // gone or changed since it was measured: the count alone
    }
    if (!(rate > 0.0)) return text;
    return text + " (" + fixed_text(rate, 3) + " fps, " + fixed_text(count / rate, 3) + " s)";
}

}  // namespace

std::string length_warning(const InputRecord& reference, const InputRecord& degraded,
                           bool by_time) {
    if (reference.frame_count == degraded.frame_count) return "";
    return "the reference has " + length_text(reference) + " but the degraded " +
           length_text(degraded) + "; " +
           (by_time ? "each reference frame is paired with the degraded frame on screen at its "
                      "time"
                    : "frames are paired by position, the shorter input repeating its last "
                      "frame (--pair-by time pairs them by time)");
}

std::string missing_frames_warning(const SequenceEntry& entry) {
    if (entry.missing.empty()) return "";
    std::string list;
    for (int frame : entry.missing) list += (list.empty() ? "" : ", ") + std::to_string(frame);
    const std::size_t n = entry.missing.size();
    return entry.path + ": " + std::to_string(n) + (n == 1 ? " frame does" : " frames do") +
           " not decode, measured without " + (n == 1 ? "it" : "them") +
           (entry.damage.empty() ? "" : " (" + entry.damage + ")") + ": " + list;
}

std::vector<int> missing_frames_of(const MediaSequence& sequence) {
    std::vector<int> missing;
    for (const SequenceEntry& entry : sequence.entries) {
        for (int frame : entry.missing) missing.push_back(entry.first_frame + frame);
    }
    return missing;
}

std::vector<std::string> run_warnings(const MediaSequence& reference, const MediaSequence& degraded,
                                      bool by_time) {
    std::vector<std::string> warnings;
    for (const MediaSequence* side : {&reference, &degraded}) {
        for (const SequenceEntry& entry : side->entries) {
            if (std::string line = missing_frames_warning(entry); !line.empty()) {
                warnings.push_back(std::move(line));
            }
        }
    }
    std::string length = length_warning(input_record(reference), input_record(degraded), by_time);
    if (!length.empty()) warnings.push_back(std::move(length));
    return warnings;
}

}  // namespace orv
