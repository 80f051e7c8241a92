#include "report/run_warnings.h"

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

}  // namespace orv
