#pragma once
// The description of a raw (headerless) YUV or RGB file, as given on the command line:
// "--size WxH", "--pix-fmt NAME" (the libraries' pixel-format names) and "--fps RATE".

#include <cstdint>
#include <optional>
#include <string>

namespace orv {

struct RawFormat {
    int width = 0;
    int height = 0;
    std::string pixel_format;  // e.g. yuv420p, yuv422p10le, rgb24
    int fps_num = 25;          // frames per second as a fraction
    int fps_den = 1;
};

// "1920x1080" (decimal, 1 to 32768 each); empty on anything else.
struct FrameSize {
    int width = 0;
    int height = 0;
};
std::optional<FrameSize> parse_frame_size(const std::string& text);

// "25", "29.97", "30000/1001" (positive, at most 1000000); empty on anything else.
struct FrameRate {
    int num = 0;
    int den = 1;
};
std::optional<FrameRate> parse_frame_rate(const std::string& text);

// True when the libraries know the pixel format by this name and it describes whole pictures
// a raw file can hold (not a hardware surface or a bitstream format).
bool known_raw_pixel_format(const std::string& name);

// Bytes one frame of the format takes in a raw file (rows packed without padding), or -1 when
// the format is unknown or the frame does not fit in 2^31 bytes.
long long raw_frame_bytes(const RawFormat& format);

}  // namespace orv
