#include "tests/support/media_writer.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace orv::test {

namespace {

struct Codec {
    AVCodecContext* c = nullptr;
    ~Codec() { avcodec_free_context(&c); }
};
struct Output {
    AVFormatContext* f = nullptr;
    ~Output() {
        if (f != nullptr && f->pb != nullptr && (f->oformat->flags & AVFMT_NOFILE) == 0) {
            avio_closep(&f->pb);
        }
        avformat_free_context(f);
    }
};
struct Frame {
    AVFrame* f = av_frame_alloc();
    ~Frame() { av_frame_free(&f); }
};
struct Packet {
    AVPacket* p = av_packet_alloc();
    ~Packet() { av_packet_free(&p); }
};

std::string error_text(const std::string& what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return what + ": " + text;
}

}  // namespace

std::string write_video(const std::string& path, const VideoSpec& spec, int frames,
                        const FrameFiller& fill) {
    av_log_set_level(AV_LOG_QUIET);  // encoder statistics would fill the test output
    const AVCodec* encoder = avcodec_find_encoder_by_name(spec.codec.c_str());
    if (encoder == nullptr) return "no encoder " + spec.codec;
    Codec codec;
    codec.c = avcodec_alloc_context3(encoder);
    codec.c->width = spec.width;
    codec.c->height = spec.height;
    codec.c->pix_fmt = av_get_pix_fmt(spec.pixel_format.c_str());
    codec.c->time_base = AVRational{1, 25};
    codec.c->framerate = AVRational{25, 1};
    codec.c->colorspace = static_cast<AVColorSpace>(spec.colorspace);
    codec.c->color_range = static_cast<AVColorRange>(spec.color_range);
    codec.c->thread_count = 1;

    Output out;
    std::ofstream raw_file;
    if (!spec.container.empty()) {
        int r =
            avformat_alloc_output_context2(&out.f, nullptr, spec.container.c_str(), path.c_str());
        if (r < 0) return error_text("muxer", r);
        if ((out.f->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            codec.c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
    } else {
        raw_file.open(path, std::ios::binary);
    }
    AVDictionary* options = nullptr;
    for (const auto& [key, value] : spec.codec_options) {
        av_dict_set(&options, key.c_str(), value.c_str(), 0);
    }
    int r = avcodec_open2(codec.c, encoder, &options);
    av_dict_free(&options);
    if (r < 0) return error_text("encoder", r);

    AVStream* stream = nullptr;
    if (out.f != nullptr) {
        stream = avformat_new_stream(out.f, nullptr);
        avcodec_parameters_from_context(stream->codecpar, codec.c);
        stream->time_base = codec.c->time_base;
        stream->avg_frame_rate = codec.c->framerate;
        r = avio_open(&out.f->pb, path.c_str(), AVIO_FLAG_WRITE);
        if (r < 0) return error_text("open", r);
        r = avformat_write_header(out.f, nullptr);
        if (r < 0) return error_text("header", r);
    }

    Packet packet;
    auto drain = [&]() -> std::string {
        for (;;) {
            const int got = avcodec_receive_packet(codec.c, packet.p);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return {};
            if (got < 0) return error_text("encode", got);
            if (out.f != nullptr) {
                if (packet.p->duration == 0) packet.p->duration = 1;  // one frame
                av_packet_rescale_ts(packet.p, codec.c->time_base, stream->time_base);
                packet.p->stream_index = stream->index;
                const int w = av_interleaved_write_frame(out.f, packet.p);
                if (w < 0) return error_text("write", w);
            } else {
                raw_file.write(reinterpret_cast<const char*>(packet.p->data), packet.p->size);
                av_packet_unref(packet.p);
            }
        }
    };
    for (int i = 0; i < frames; ++i) {
        Frame frame;
        frame.f->format = codec.c->pix_fmt;
        frame.f->width = spec.width;
        frame.f->height = spec.height;
        if (av_frame_get_buffer(frame.f, 0) < 0) return "frame buffer";
        fill(i, *frame.f);
        frame.f->pts = i;
        r = avcodec_send_frame(codec.c, frame.f);
        if (r < 0) return error_text("send", r);
        if (std::string e = drain(); !e.empty()) return e;
    }
    avcodec_send_frame(codec.c, nullptr);
    if (std::string e = drain(); !e.empty()) return e;
    if (out.f != nullptr) {
        r = av_write_trailer(out.f);
        if (r < 0) return error_text("trailer", r);
    }
    return {};
}

FrameFiller bgr_frames(const std::vector<PixelBuffer>& frames) {
    return [frames](int index, AVFrame& frame) {
        const PixelBuffer& in = frames.at(static_cast<std::size_t>(index));
        const bool rgb = frame.format == AV_PIX_FMT_RGB24;
        const int step = frame.format == AV_PIX_FMT_BGR24 || rgb ? 3 : 4;
        for (int y = 0; y < frame.height; ++y) {
            const std::uint8_t* src =
                in.bytes.data() + static_cast<std::size_t>(in.height - 1 - y) * in.stride;
            std::uint8_t* dst = frame.data[0] + y * frame.linesize[0];
            for (int x = 0; x < frame.width; ++x) {
                for (int c = 0; c < 3; ++c) dst[step * x + c] = src[3 * x + (rgb ? 2 - c : c)];
                if (step == 4) dst[4 * x + 3] = 0;
            }
        }
    };
}

FrameFiller pattern_frames() {
    return [](int index, AVFrame& frame) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
        // Every component of every pixel: a value spread over the component's whole range.
        for (int c = 0; c < d->nb_components; ++c) {
            const AVComponentDescriptor& comp = d->comp[c];
            const int w = (c == 1 || c == 2) && (d->flags & AV_PIX_FMT_FLAG_RGB) == 0
                              ? AV_CEIL_RSHIFT(frame.width, d->log2_chroma_w)
                              : frame.width;
            const int h = (c == 1 || c == 2) && (d->flags & AV_PIX_FMT_FLAG_RGB) == 0
                              ? AV_CEIL_RSHIFT(frame.height, d->log2_chroma_h)
                              : frame.height;
            const unsigned top = (1u << comp.depth) - 1;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const unsigned v =
                        (static_cast<unsigned>(x * 37 + y * 91 + index * 53 + c * 101) *
                         2654435761u) %
                        (top + 1);
                    std::uint8_t* p = frame.data[comp.plane] + y * frame.linesize[comp.plane] +
                                      x * comp.step + comp.offset;
                    if (comp.depth <= 8) {
                        *p = static_cast<std::uint8_t>(v << comp.shift);
                    } else if ((d->flags & AV_PIX_FMT_FLAG_BE) != 0) {
                        const unsigned s = v << comp.shift;
                        p[0] = static_cast<std::uint8_t>(s >> 8);
                        p[1] = static_cast<std::uint8_t>(s);
                    } else {
                        const unsigned s = v << comp.shift;
                        p[0] = static_cast<std::uint8_t>(s);
                        p[1] = static_cast<std::uint8_t>(s >> 8);
                    }
                }
            }
        }
    };
}

std::vector<std::uint8_t> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace orv::test
