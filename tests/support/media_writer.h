#pragma once
// Small media files written at test time with FFmpeg's libraries (no binaries in the
// repository): video in any container the libraries mux, still pictures, raw frames.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"

struct AVFrame;

namespace orv::test {

struct VideoSpec {
    std::string container;     // muxer name ("matroska", "mp4", "yuv4mpegpipe", "mpegts"),
                               // or empty: the encoded packets written back to back (stills)
    std::string codec;         // encoder name ("ffv1", "libx264", "rawvideo", "png"; Y4M files
                               // take "wrapped_avframe")
    std::string pixel_format;  // e.g. "bgr0", "yuv420p", "rgba64be"
    int width = 0;
    int height = 0;
    std::map<std::string, std::string> codec_options;
    int colorspace = 2;   // AVColorSpace tag (2: unspecified)
    int color_range = 0;  // AVColorRange tag (0: unspecified)
};

// Fills frame `index` (already allocated in the stream's pixel format and size).
using FrameFiller = std::function<void(int index, AVFrame& frame)>;

// Writes `frames` frames; returns an empty string, or what went wrong.
std::string write_video(const std::string& path, const VideoSpec& spec, int frames,
                        const FrameFiller& fill);

// A filler copying 24-bit frames (bottom-up BGR) into frames of pixel format bgr0, bgr24 or
// rgb24.
FrameFiller bgr_frames(const std::vector<PixelBuffer>& frames);

// A filler drawing a smooth, moving pattern in any planar YUV or packed RGB format.
FrameFiller pattern_frames();

// Bytes of a whole file.
std::vector<std::uint8_t> file_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace orv::test
