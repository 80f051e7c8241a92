#pragma once
// Frames from any file: BMP files through ORV's own reader (exactly as before), image, video and
// raw YUV/RGB files through FFmpeg's libraries. Every frame comes out as the same 24-bit pixel
// buffer (bottom-up rows, blue-green-red) with a 44-byte header block that a BMP file of it
// would carry.
//
// Usage: MediaSource source = open_media(path, options); then next_frame(source, pixels, header)
// until it returns false. Failures are thrown as Failure (numeric/failure.h) naming the file.
// A source is used by one thread at a time.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/bmp_file.h"
#include "image/decoded_planes.h"
#include "image/pixel_buffer.h"
#include "image/signal_frame.h"
#include "media/raw_format.h"
#include "media/yuv_to_rgb.h"

namespace orv {

enum class MediaKind { bmp, image, video, raw };

struct MediaOptions {
    std::optional<YuvMatrix> matrix;  // overrides the stream's tag and the size rule
    std::optional<YuvRange> range;
    std::optional<RawFormat> raw;  // how to read a raw file (is_raw_media_path)
    bool autorotate = true;        // turn pictures upright as the stream's display matrix says
    // A video that cannot be decoded whole is refused (Failure media_damaged naming its first
    // missing frame); with this its frames that decode are read and the missing ones listed.
    bool allow_damaged = false;
    // Frames of more than 8 bits also kept exact in MediaSource::signal (for a measurement).
    bool keep_signal = false;
    // The planes of YUV frames also kept as decoded in MediaSource::planes (for PSNR and SSIM on
    // the coded values); the 24-bit pixels are unchanged.
    bool keep_planes = false;
};

struct MediaState;
struct MediaStateDelete {
    void operator()(MediaState* state) const;
};

// How a BMP file's pixels become RGB: used as stored.
inline constexpr const char* bmp_colour_handling = "BMP: RGB";

struct MediaSource {
    std::string path;
    MediaKind kind = MediaKind::bmp;
    int width = 0;  // 0 for a BMP file until its frame is read
    int height = 0;
    int frame_count = 0;  // frames the file holds (counted when opened)
    int frames_read = 0;
    std::string colour;  // how pixels become 24-bit RGB, e.g. "yuv420p, BT.709 (untagged, ...)"
    // Presentation times of the frames in seconds, in order (empty when the file has none:
    // BMP files, still pictures).
    std::vector<double> times;
    double frame_rate = 0.0;   // frames per second the stream states (0: none)
    std::vector<int> missing;  // a damaged video's frames that do not decode (allow_damaged)
    std::string damage;        // the libraries' first complaint about a damaged video
    // The last frame's exact signal with MediaOptions::keep_signal for a frame of more than 8
    // bits (planar YUV or RGB); empty otherwise.
    SignalFrame signal;
    // The last frame's planes as decoded, with MediaOptions::keep_planes for a planar YUV frame
    // shown as stored (not turned); empty otherwise.
    DecodedPlanes planes;
    // The pixel format whose planes keep_planes hands out (e.g. "yuv420p"), as the stream
    // states it when opened; empty when no planes will be kept.
    std::string planes_format;
    // How those planes' values stand for colours: "BT.709 limited" (the matrix and range the
    // conversion to RGB uses); empty without planes_format.
    std::string planes_colour;
    // The stream's transfer and primaries tags as the libraries name them ("smpte2084",
    // "arib-std-b67", "bt709", "bt2020", ...); empty when the stream does not say.
    std::string transfer_tag;
    std::string primaries_tag;
    std::unique_ptr<MediaState, MediaStateDelete> state;
};

// Files read as raw frames: names ending in .yuv, .rgb or .raw (any case).
bool is_raw_media_path(const std::string& path);
// Files read by ORV's BMP reader: names ending in .bmp or .001, and any file starting "BM".
bool is_bmp_path(const std::string& path);

// Opens the file and counts its frames (a pass over the container without decoding).
// Throws Failure.
MediaSource open_media(const std::string& path, const MediaOptions& options);

// The next frame in presentation order: true with `pixels` and `header` replaced, or false
// after the last one. Throws Failure for a corrupt or truncated file, a frame whose size
// differs from the first, or a file that ends before the frames it announced.
bool next_frame(MediaSource& source, PixelBuffer& pixels, HeaderBlock& header);

// The header block of a 24-bit frame of this size (40-byte information header, 4 zero bytes).
HeaderBlock make_header_block(int width, int height);

// How a YUV stream's pixels are converted: overrides first, then the stream's tags, then
// BT.601 below 720 lines and BT.709 from 720 lines, limited range. `tag_matrix` and `tag_range`
// are empty when the stream does not say. Also states the choice in words.
struct ColourChoice {
    YuvColour colour;
    std::string text;
};
ColourChoice choose_colour(std::optional<YuvMatrix> tag_matrix, std::optional<YuvRange> tag_range,
                           int height, const MediaOptions& options);

}  // namespace orv
