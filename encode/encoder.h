#pragma once
// Encoding a frame sequence with libavcodec into an MP4 file (H.264, H.265 or AV1), and
// decoding it back into the degraded sequence. Free of any toolkit: orv-cli and the encoder
// window both call these functions. Failures travel as orv::Failure with a message naming what
// is wrong (English, one line).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"
#include "image/signal_frame.h"

namespace orv {

enum class RateControl { crf, qp, bitrate };

struct EncodeSettings {
    std::string codec = "h264";  // h264, hevc or av1
    RateControl rate = RateControl::crf;
    double value = 23.0;              // the CRF, the QP, or bits per second
    std::string preset;               // empty: the codec's default (encode_default_preset)
    int gop = 0;                      // largest distance between key frames; 0: the encoder's own
    std::string pix_fmt = "yuv420p";  // yuv420p, yuv444p, yuv420p10le or yuv444p10le
    double fps = 30.0;
    std::string matrix = "bt709";   // bt601, bt709 or bt2020 (non-constant luminance)
    std::string range = "limited";  // limited (16-235/240) or full
    // The encoders' own options in their key=value:key=value syntax, passed through to the
    // one that encodes (libx264, libx265, libaom-av1 or libsvtav1); empty: none.
    std::string x264_params;
    std::string x265_params;
    std::string aom_params;
    std::string svtav1_params;
    std::string tune;  // the encoder's tune option (film, grain, ssim, psnr, ...); empty: none
    int passes = 1;    // 2: two-pass encoding at the target bitrate
    // The stream's transfer tag (bt709, pq, hlg) and primaries tag (bt709, bt2020); empty:
    // those that go with the matrix. The pixels are not changed by them: the input's signal
    // values are taken as they are.
    std::string transfer;
    std::string primaries;
};

// The encoder options of `settings` that `encoder` receives ("" when none).
std::string encoder_params(const EncodeSettings& settings, const std::string& encoder);

// One coded picture, in presentation order.
struct CodedFrame {
    int index = 0;
    char type = '?';  // 'I', 'P', 'B' as the encoder reports the picture (key frames 'I')
    long long bytes = 0;
};

struct EncodeSummary {
    std::string encoder;  // the libavcodec encoder used, e.g. "libx264"
    std::vector<CodedFrame> frames;
    long long stream_bytes = 0;  // the coded pictures alone
    long long file_bytes = 0;    // the whole MP4 file
    double bitrate = 0.0;        // stream bits per second at the frame rate
};

// Input frames: `count` frames, frame i read by `read(i)`; all must have the size of frame 0.
struct FrameSource {
    int count = 0;
    std::function<PixelBuffer(int index)> read;
    // When set, used in place of `read`: the frame and, for frames of more than 8 bits, its
    // exact signal (empty otherwise), which a 10-bit pixel format takes without going through
    // 8 bits.
    std::function<PixelBuffer(int index, SignalFrame& signal)> read_with_signal;
};

// Called after each frame encoded and each frame decoded: (done, total), total = 2 * count.
using EncodeProgress = std::function<void(int done, int total)>;

// Keeps the codec libraries' own log lines (settings, statistics) off standard error; only
// their errors are shown. Process-wide; the batch tool and the encoder window call it once.
void quiet_codec_libraries();

// The codecs this build knows, and the libavcodec encoders tried for each, in order.
const std::vector<std::string>& encode_codec_names();
// The libavcodec encoder this machine has for `codec`; raises a Failure naming the codec and
// the encoders looked for when none is there, or when the codec is unknown.
std::string find_encoder(const std::string& codec);
std::string encode_default_preset(const std::string& encoder);
std::vector<std::string> encode_presets(const std::string& encoder);

// Checks every setting against the codec (ranges of CRF and QP, a positive bitrate, a known
// preset, pixel format, frame rate, matrix and range); raises a Failure naming the first one
// that is wrong.
void check_encode_settings(const EncodeSettings& settings);

// "800k", "1.5M", "250000" -> bits per second; 0 when the text is not a positive rate.
double parse_bitrate(const std::string& text);
// A setting as a short text for file names and tables: "crf23", "qp30", "bitrate800k".
std::string setting_label(const EncodeSettings& settings);

// Encodes `source` into the MP4 file `path`. The file appears only when complete: it is written
// under a temporary name beside it and linked to `path` at the end, so a failure (a full disk,
// a refused frame) leaves nothing behind, and an existing `path` is never replaced.
// Frames with an odd width or height are refused with yuv420p (its chroma planes need even
// sizes); yuv444p takes any size.
EncodeSummary encode_sequence(const FrameSource& source, const EncodeSettings& settings,
                              const std::string& path, const EncodeProgress& progress = {});

// Decodes the video file `path` frame by frame in presentation order through the media
// library (its YUV to RGB rules: the stream's matrix and range); `deliver(i, frame)` receives
// frame i as a 24-bit buffer. Returns the number of frames. A media refusal becomes a Failure.
int decode_video(const std::string& path, const std::function<void(int, PixelBuffer&&)>& deliver);

// Encodes, then decodes into BASE_NNNN.bmp: BASE.mp4 and every BASE_NNNN.bmp are checked
// before any work starts and never overwritten; on any failure every file this run wrote is
// removed again. `decoded_paths` receives the names of the BMP files written.
EncodeSummary encode_and_decode(const FrameSource& source, const EncodeSettings& settings,
                                const std::string& base, std::vector<std::string>& decoded_paths,
                                const EncodeProgress& progress = {});

}  // namespace orv
