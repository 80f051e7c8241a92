#pragma once
// What the parts of the media input share: the state behind a MediaSource, the messages a
// refused file gets, and the steps one part calls in another. Only media/ includes this.

#include <cstdint>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"
#include "media/av_owners.h"
#include "media/media_source.h"
#include "numeric/failure.h"

namespace orv {

struct MediaState {
    av::Input format;
    av::CodecContext codec;
    av::Frame frame;
    av::Packet packet;
    av::Sws scale;
    int stream = -1;
    bool flushing = false;
    bool finished = false;
    bool bmp_done = false;
    MediaOptions options;
    YuvColour colour;
    bool colour_chosen = false;
    std::vector<std::uint16_t> rgba;       // 16-bit RGBA picture from the scaler
    std::vector<std::uint8_t> bgr;         // 8-bit BGR picture from the scaler
    std::vector<std::uint8_t> mid_chroma;  // one row of mid-range chroma for grey pictures
};

namespace media_internal {

// Throws the Failure of a refused file.
[[noreturn]] inline void refuse(FailureKind kind, const std::string& path,
                                std::vector<std::string> values = {}, std::string reason = {}) {
    raise_failure(kind, path, std::move(values), std::move(reason));
}

inline std::string size_text(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// Decides, once per file, how its pixels become 8-bit RGB, and states it in source.colour.
// A pixel format the library does not describe leaves the decision to the first frame.
void choose_conversion(MediaSource& source, AVPixelFormat format, AVColorSpace space,
                       AVColorRange range_tag, int height);

// The decoded frame as a 24-bit pixel buffer, converted as choose_conversion decided.
void convert_frame(MediaSource& source, const AVFrame& frame, PixelBuffer& pixels);

// Frames in the opened file: its video packets, less those the container marks for dropping.
// Refuses a file whose packets show it was cut short.
int count_frames(const MediaSource& source, const MediaOptions& options);

}  // namespace media_internal

}  // namespace orv
