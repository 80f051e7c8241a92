#pragma once
// Owners of FFmpeg objects and the colour-conversion set-up shared by the encoder and the
// decoder inside encode/.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace orv::av {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct InputFree {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Sws = std::unique_ptr<SwsContext, SwsFree>;
using Input = std::unique_ptr<AVFormatContext, InputFree>;

// FFmpeg's text for an error code.
std::string error_text(int code);

// The swscale colour table of a matrix name (bt601, bt709, bt2020) and back from a stream tag.
int sws_colourspace(AVColorSpace space, int height);

// Conversion flags: accurate rounding, full chroma interpolation, no platform-dependent
// shortcuts, so that every machine converts the same frame to the same bytes.
constexpr int conversion_flags =
    SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;

}  // namespace orv::av
