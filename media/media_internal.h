#pragma once
// What the parts of the media input share: the state behind a MediaSource, the messages a
// refused file gets, and the steps one part calls in another. Only media/ includes this.

#include <cstdint>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"
#include "media/av_owners.h"
#include "media/media_source.h"

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

inline constexpr const char* ja_cannot_open = "ファイルが開けません";
inline constexpr const char* ja_not_media = "動画または画像として読み込めないファイルです";
inline constexpr const char* ja_no_video = "映像ストリームがないファイルです";
inline constexpr const char* ja_no_frames = "フレームが1枚もないファイルです";
inline constexpr const char* ja_corrupt = "動画ファイルが途中で切れているか壊れています";
inline constexpr const char* ja_size_changes = "動画の途中でフレームの大きさが変わっています";
inline constexpr const char* ja_raw_length =
    "RAWファイルの長さがフレームの大きさの整数倍ではありません";
inline constexpr const char* ja_raw_format = "RAWファイルには大きさと画素形式の指定が必要です";
inline constexpr const char* ja_matrix = "この動画の色変換行列には対応していません";
inline constexpr const char* ja_too_large = "画像が大きすぎます";
inline constexpr const char* ja_no_memory = "ファイルを読み込むメモリが足りません";

// Throws the MediaError of a refused file: "<path>: <what>" and the Japanese text.
[[noreturn]] inline void refuse(const std::string& path, const std::string& what,
                                const char* text_ja) {
    throw MediaError{path + ": " + what, text_ja, path};
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
