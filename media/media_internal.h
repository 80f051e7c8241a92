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

// How the stored picture is turned upright: columns and rows swapped first, then mirrored.
struct Orientation {
    bool swap = false;
    bool flip_x = false;
    bool flip_y = false;
    std::string name;  // in words for the colour-handling line; empty when stored upright
};

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
    Orientation orientation;
    double last_time = 0.0;        // presentation time of the last frame read, seconds
    double stated_start = 0.0;     // the stream's first time and the container's duration,
    double stated_duration = 0.0;  // seconds (0: not stated)
    int stored_width = 0;          // the decoded frames' size before orientation
    int stored_height = 0;
    std::vector<std::uint16_t> rgba;       // 16-bit RGBA picture from the scaler
    std::vector<std::uint8_t> bgr;         // 8-bit BGR picture from the scaler
    std::vector<std::uint8_t> mid_chroma;  // one row of mid-range chroma for grey pictures
};

namespace media_internal {

// Keeps the first error the libraries report on this thread while it lives (the demuxer's
// "File ended prematurely", a decoder's complaint), in `sink` when that is still empty.
struct LibraryErrors {
    explicit LibraryErrors(std::string& sink);
    ~LibraryErrors();
    LibraryErrors(const LibraryErrors&) = delete;
    LibraryErrors& operator=(const LibraryErrors&) = delete;
    std::string* previous;
};

// The frames a damaged stream should hold, from the duration and rate its container states,
// that none of `times` (seconds, any order) stands for; `present` frames known to be there
// when nothing more is known. Frame numbers in presentation order.
std::vector<int> missing_frames(const std::vector<double>& times, double start, double duration,
                                double rate);

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

// Whether frames of this pixel format have planes that MediaOptions::keep_planes keeps.
bool keeps_decoded_planes(AVPixelFormat format);
// The Y, U and V planes of a decoded planar YUV frame copied as stored; an alpha plane is left
// out.
void copy_decoded_planes(const AVFrame& frame, DecodedPlanes& out);

// The decoded frame as a 24-bit pixel buffer, converted as choose_conversion decided.
void convert_frame(MediaSource& source, const AVFrame& frame, PixelBuffer& pixels);

// Frames in the opened file: its video packets, less those the container marks for dropping.
// Refuses a file whose packets show it was cut short.
int count_frames(MediaSource& source, const MediaOptions& options);

// The orientation a display matrix (nine 16.16 and 2.30 numbers) asks for, as FFmpeg's tools
// apply it by default; upright for a null matrix.
Orientation display_orientation(const std::int32_t* matrix);

// The picture turned as `orientation` says.
PixelBuffer orient_pixels(const PixelBuffer& pixels, const Orientation& orientation);
// The same turn for a frame's exact signal.
SignalFrame orient_signal(const SignalFrame& signal, const Orientation& orientation);

}  // namespace media_internal

}  // namespace orv
