#include "media/media_source.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace orv {

namespace {

// Owners of the libraries' records.
struct FormatDelete {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecDelete {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDelete {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDelete {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleDelete {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct DictionaryDelete {
    void operator()(AVDictionary* d) const { av_dict_free(&d); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatDelete>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDelete>;
using FramePtr = std::unique_ptr<AVFrame, FrameDelete>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDelete>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleDelete>;

constexpr const char* ja_cannot_open = "ファイルが開けません";
constexpr const char* ja_not_media = "動画または画像として読み込めないファイルです";
constexpr const char* ja_no_video = "映像ストリームがないファイルです";
constexpr const char* ja_no_frames = "フレームが1枚もないファイルです";
constexpr const char* ja_corrupt = "動画ファイルが途中で切れているか壊れています";
constexpr const char* ja_size_changes = "動画の途中でフレームの大きさが変わっています";
constexpr const char* ja_raw_length = "RAWファイルの長さがフレームの大きさの整数倍ではありません";
constexpr const char* ja_raw_format = "RAWファイルには大きさと画素形式の指定が必要です";
constexpr const char* ja_matrix = "この動画の色変換行列には対応していません";
constexpr const char* ja_too_large = "画像が大きすぎます";
constexpr const char* ja_no_memory = "ファイルを読み込むメモリが足りません";

[[noreturn]] void refuse(const std::string& path, const std::string& what, const char* text_ja) {
    throw MediaError{path + ": " + what, text_ja, path};
}

std::string library_error(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string lower_extension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

void quiet_libraries() {
    static std::once_flag once;
    // The libraries' own diagnostics would interleave with the one-line messages.
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string size_text(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::optional<YuvMatrix> matrix_of_tag(AVColorSpace space, bool& unsupported) {
    unsupported = false;
    switch (space) {
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M: return YuvMatrix::bt601;
        case AVCOL_SPC_BT709: return YuvMatrix::bt709;
        case AVCOL_SPC_BT2020_NCL: return YuvMatrix::bt2020;
        case AVCOL_SPC_UNSPECIFIED:
        case AVCOL_SPC_RESERVED:
        case AVCOL_SPC_RGB: return std::nullopt;
        default: unsupported = true; return std::nullopt;
    }
}

bool is_planar_yuv(const AVPixFmtDescriptor* d) {
    if ((d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                     AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER)) != 0) {
        return false;
    }
    if ((d->flags & AV_PIX_FMT_FLAG_PLANAR) == 0 || d->nb_components < 3 ||
        d->nb_components > 4) {
        return false;
    }
#if AV_HAVE_BIGENDIAN
    const bool native = (d->flags & AV_PIX_FMT_FLAG_BE) != 0 || d->comp[0].depth <= 8;
#else
    const bool native = (d->flags & AV_PIX_FMT_FLAG_BE) == 0;
#endif
    if (!native || d->log2_chroma_w > 1 || d->log2_chroma_h > 1) return false;
    const int depth = d->comp[0].depth;
    if (depth < 8 || depth > 16) return false;
    for (int c = 0; c < d->nb_components; ++c) {
        const AVComponentDescriptor& comp = d->comp[c];
        if (comp.plane != c || comp.depth != depth || comp.shift != 0 || comp.offset != 0 ||
            comp.step != (depth > 8 ? 2 : 1)) {
            return false;
        }
    }
    return true;
}

bool is_plain_gray(const AVPixFmtDescriptor* d) {
    const bool native = (d->flags & AV_PIX_FMT_FLAG_BE) == 0 || d->comp[0].depth <= 8;
    return d->nb_components == 1 && (d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_FLOAT |
                                                 AV_PIX_FMT_FLAG_HWACCEL)) == 0 &&
           native && d->comp[0].depth >= 8 && d->comp[0].depth <= 16 && d->comp[0].shift == 0 &&
           d->comp[0].step == (d->comp[0].depth > 8 ? 2 : 1);
}

// Formats converted to 8-bit RGB by the scaler without any arithmetic beyond reordering.
bool is_rgb_like(const AVPixFmtDescriptor* d) {
    return (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) != 0 || d->nb_components <= 2;
}

bool has_alpha(const AVPixFmtDescriptor* d) { return (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0; }

int max_depth(const AVPixFmtDescriptor* d) {
    int depth = 0;
    for (int c = 0; c < d->nb_components; ++c) depth = std::max(depth, d->comp[c].depth);
    return depth;
}

}  // namespace

struct MediaState {
    FormatPtr format;
    CodecPtr codec;
    FramePtr frame;
    PacketPtr packet;
    ScalePtr scale;
    int stream = -1;
    bool flushing = false;
    bool finished = false;
    bool bmp_done = false;
    MediaOptions options;
    YuvColour colour;
    bool colour_chosen = false;
    std::vector<std::uint16_t> rgba;     // 16-bit RGBA picture from the scaler
    std::vector<std::uint8_t> bgr;       // 8-bit BGR picture from the scaler
    std::vector<std::uint8_t> mid_chroma;  // one row of mid-range chroma for grey pictures
};

void MediaStateDelete::operator()(MediaState* state) const { delete state; }

bool is_raw_media_path(const std::string& path) {
    const std::string ext = lower_extension(path);
    return ext == ".yuv" || ext == ".rgb" || ext == ".raw";
}

bool is_bmp_path(const std::string& path) {
    const std::string ext = lower_extension(path);
    if (ext == ".bmp" || ext == ".001") return true;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char head[2] = {0, 0};
    const bool bm = std::fread(head, 1, 2, file) == 2 && head[0] == 'B' && head[1] == 'M';
    std::fclose(file);
    return bm;
}

HeaderBlock make_header_block(int width, int height) {
    HeaderBlock header(header_block_size, 0);
    auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<std::uint32_t>(width));
    put32(8, static_cast<std::uint32_t>(height));
    header[12] = 1;   // planes
    header[14] = 24;  // bits per pixel
    put32(20, static_cast<std::uint32_t>(stride_for_width(width)) *
                  static_cast<std::uint32_t>(height));
    return header;
}

ColourChoice choose_colour(std::optional<YuvMatrix> tag_matrix, std::optional<YuvRange> tag_range,
                           int height, const MediaOptions& options) {
    ColourChoice choice;
    std::string matrix_why;
    if (options.matrix) {
        choice.colour.matrix = *options.matrix;
        matrix_why = "as asked";
    } else if (tag_matrix) {
        choice.colour.matrix = *tag_matrix;
        matrix_why = "tagged";
    } else {
        choice.colour.matrix = height < 720 ? YuvMatrix::bt601 : YuvMatrix::bt709;
        matrix_why = height < 720 ? "untagged, below 720 lines" : "untagged, 720 lines or more";
    }
    std::string range_why;
    if (options.range) {
        choice.colour.range = *options.range;
        range_why = "as asked";
    } else if (tag_range) {
        choice.colour.range = *tag_range;
        range_why = "tagged";
    } else {
        choice.colour.range = YuvRange::limited;
        range_why = "untagged";
    }
    choice.text = std::string(matrix_name(choice.colour.matrix)) + " (" + matrix_why + "), " +
                  range_name(choice.colour.range) + " range (" + range_why + ")";
    return choice;
}

namespace {

void describe_colour(MediaSource& source, const AVPixFmtDescriptor* d, const std::string& how) {
    if (!source.colour.empty()) return;
    const char* codec = avcodec_get_name(source.state->codec->codec_id);
    source.colour = std::string(codec) + " " + d->name + ": " + how;
}


// Decides, once per file, how its pixels become 8-bit RGB, and states it in source.colour.
void choose_conversion(MediaSource& source, AVPixelFormat format, AVColorSpace space,
                       AVColorRange range_tag, int height) {
    MediaState& st = *source.state;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr) return;  // decided at the first frame
    st.colour_chosen = true;
    const bool yuv = is_planar_yuv(d);
    const bool gray = !yuv && is_plain_gray(d);
    if (!yuv && !gray && is_rgb_like(d)) {
        std::string how = "RGB";
        if (has_alpha(d)) how += ", alpha composited on black";
        if (max_depth(d) > 8) how += ", rounded from " + std::to_string(max_depth(d)) + " to 8 bits";
        describe_colour(source, d, how);
        return;
    }
    bool unsupported = false;
    const auto tag = matrix_of_tag(space, unsupported);
    if (unsupported && !st.options.matrix) {
        refuse(source.path,
               std::string("its colour matrix '") + av_color_space_name(space) +
                   "' is not one of BT.601, BT.709, BT.2020; choose one with --matrix",
               ja_matrix);
    }
    std::optional<YuvRange> range;
    if (range_tag == AVCOL_RANGE_JPEG) range = YuvRange::full;
    if (range_tag == AVCOL_RANGE_MPEG) range = YuvRange::limited;
    // Grey still pictures use every code; full-range "J" formats say so by name.
    if (!range && (std::strncmp(d->name, "yuvj", 4) == 0 ||
                   (gray && source.kind == MediaKind::image))) {
        range = YuvRange::full;
    }
    const ColourChoice choice = choose_colour(tag, range, height, st.options);
    st.colour = choice.colour;
    std::string how = choice.text;
    if (yuv && (d->log2_chroma_w || d->log2_chroma_h)) how += ", chroma replicated";
    if (yuv && d->nb_components == 4) how += ", alpha composited on black";
    if (!yuv && !gray) how += ", converted by the scaler";
    describe_colour(source, d, how);
}

void open_libraries(MediaSource& source, const MediaOptions& options) {
    const std::string& path = source.path;
    MediaState& st = *source.state;
    const AVInputFormat* input = nullptr;
    AVDictionary* raw_options = nullptr;
    if (source.kind == MediaKind::raw) {
        if (!options.raw || options.raw->width <= 0 || options.raw->pixel_format.empty()) {
            refuse(path, "a raw file needs --size WxH and --pix-fmt NAME", ja_raw_format);
        }
        const RawFormat& raw = *options.raw;
        const long long frame_bytes = raw_frame_bytes(raw);
        if (frame_bytes <= 0) {
            refuse(path, "unknown raw pixel format '" + raw.pixel_format + "'", ja_raw_format);
        }
        std::error_code error;
        const auto length = std::filesystem::file_size(path, error);
        if (error) refuse(path, "cannot open (" + error.message() + ")", ja_cannot_open);
        const std::string expected = size_text(raw.width, raw.height) + " " + raw.pixel_format +
                                     " frames of " + std::to_string(frame_bytes) + " bytes";
        if (length == 0) refuse(path, "holds no frames (expected " + expected + ")", ja_no_frames);
        if (length % static_cast<unsigned long long>(frame_bytes) != 0) {
            refuse(path, "holds " + std::to_string(length) + " bytes, not a whole number of " +
                             expected + " each",
                   ja_raw_length);
        }
        input = av_find_input_format("rawvideo");
        av_dict_set(&raw_options, "video_size", size_text(raw.width, raw.height).c_str(), 0);
        av_dict_set(&raw_options, "pixel_format", raw.pixel_format.c_str(), 0);
        const std::string rate = std::to_string(raw.fps_num) + "/" + std::to_string(raw.fps_den);
        av_dict_set(&raw_options, "framerate", rate.c_str(), 0);
    }
    std::unique_ptr<AVDictionary, DictionaryDelete> raw_owner(raw_options);

    AVFormatContext* opened = nullptr;
    AVDictionary* dict = raw_owner.release();
    int ret = avformat_open_input(&opened, path.c_str(), input, &dict);
    raw_owner.reset(dict);
    if (ret < 0) {
        if (ret == AVERROR(ENOENT) || ret == AVERROR(EACCES) || ret == AVERROR(EISDIR)) {
            refuse(path, "cannot open (" + library_error(ret) + ")", ja_cannot_open);
        }
        refuse(path, "not a video or image file ORV can read (" + library_error(ret) + ")",
               ja_not_media);
    }
    st.format.reset(opened);
    // A text file passes as terminal art; it is no picture to measure.
    if (std::strcmp(st.format->iformat->name, "tty") == 0) {
        refuse(path, "not a video or image file ORV can read", ja_not_media);
    }
    ret = avformat_find_stream_info(st.format.get(), nullptr);
    if (ret < 0) refuse(path, "cannot read its streams (" + library_error(ret) + ")", ja_corrupt);
    st.stream = av_find_best_stream(st.format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (st.stream < 0) refuse(path, "holds no video stream", ja_no_video);
    AVStream* stream = st.format->streams[st.stream];
    for (unsigned i = 0; i < st.format->nb_streams; ++i) {
        if (static_cast<int>(i) != st.stream) st.format->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        refuse(path, std::string("no decoder for its video codec '") +
                         avcodec_get_name(stream->codecpar->codec_id) + "'",
               ja_not_media);
    }
    st.codec.reset(avcodec_alloc_context3(decoder));
    if (!st.codec) refuse(path, "out of memory", ja_no_memory);
    if (avcodec_parameters_to_context(st.codec.get(), stream->codecpar) < 0) {
        refuse(path, "cannot set up its decoder", ja_not_media);
    }
    // Decoding runs on the frame loop's own threads; damage in the stream is an error.
    st.codec->thread_count = 1;
    st.codec->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK;
    ret = avcodec_open2(st.codec.get(), decoder, nullptr);
    if (ret < 0) refuse(path, "cannot open its decoder (" + library_error(ret) + ")", ja_not_media);
    st.frame.reset(av_frame_alloc());
    st.packet.reset(av_packet_alloc());
    if (!st.frame || !st.packet) refuse(path, "out of memory", ja_no_memory);

    const char* demuxer = st.format->iformat->name;
    const std::string name = demuxer;
    if (source.kind != MediaKind::raw) {
        source.kind = (name == "image2" || name.find("_pipe") != std::string::npos)
                          ? MediaKind::image
                          : MediaKind::video;
    }
    source.width = stream->codecpar->width;
    source.height = stream->codecpar->height;
    if (source.width <= 0 || source.height <= 0) refuse(path, "has no frame size", ja_corrupt);
    choose_conversion(source, static_cast<AVPixelFormat>(stream->codecpar->format),
                      stream->codecpar->color_space, stream->codecpar->color_range,
                      source.height);
}

// Frames in the file: its video packets, less those the container marks for dropping.
int count_frames(const MediaSource& source, const MediaOptions& options) {
    AVFormatContext* opened = nullptr;
    AVDictionary* dict = nullptr;
    const AVInputFormat* input = nullptr;
    if (source.kind == MediaKind::raw) {
        const RawFormat& raw = *options.raw;
        input = av_find_input_format("rawvideo");
        av_dict_set(&dict, "video_size", size_text(raw.width, raw.height).c_str(), 0);
        av_dict_set(&dict, "pixel_format", raw.pixel_format.c_str(), 0);
    }
    const int ret = avformat_open_input(&opened, source.path.c_str(), input, &dict);
    av_dict_free(&dict);
    if (ret < 0) refuse(source.path, "cannot open (" + library_error(ret) + ")", ja_cannot_open);
    FormatPtr format(opened);
    const int index = source.state->stream;
    if (index >= static_cast<int>(format->nb_streams)) {
        refuse(source.path, "changed while being read", ja_corrupt);
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
    }
    PacketPtr packet(av_packet_alloc());
    if (!packet) refuse(source.path, "out of memory", ja_no_memory);
    const AVStream* stream = format->streams[index];
    int count = 0;
    std::int64_t packets = 0;           // dropped ones included, as the index counts them
    std::int64_t end = AV_NOPTS_VALUE;  // end of the last packet, stream time
    std::int64_t longest = 0;           // longest packet duration
    std::int64_t smallest_step = 0;     // smallest step between one packet's time and the next
    std::int64_t previous = AV_NOPTS_VALUE;
    std::int64_t data_end = 0;  // where the last packet's bytes end in the file
    for (;;) {
        const int r = av_read_frame(format.get(), packet.get());
        if (r == AVERROR_EOF) break;
        if (r < 0) {
            refuse(source.path, "is truncated or corrupt (" + library_error(r) + ")", ja_corrupt);
        }
        if (packet->stream_index == index) ++packets;
        if (packet->pos >= 0) data_end = std::max<std::int64_t>(data_end, packet->pos + packet->size);
        if (packet->stream_index == index && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
            if (count == std::numeric_limits<int>::max()) break;
            ++count;
            if (packet->pts != AV_NOPTS_VALUE) {
                if (previous != AV_NOPTS_VALUE && packet->pts > previous &&
                    (smallest_step == 0 || packet->pts - previous < smallest_step)) {
                    smallest_step = packet->pts - previous;
                }
                previous = packet->pts;
                const std::int64_t stop = packet->pts + std::max<std::int64_t>(packet->duration, 0);
                if (end == AV_NOPTS_VALUE || stop > end) end = stop;
            }
            longest = std::max<std::int64_t>(longest, packet->duration);
        }
        av_packet_unref(packet.get());
    }
    // Frames back to back with nothing after them: a cut inside the last frame leaves bytes
    // that belong to no frame.
    const std::string demuxer = format->iformat->name;
    if ((demuxer == "yuv4mpegpipe" || demuxer == "rawvideo") && format->pb != nullptr &&
        avio_size(format->pb) > data_end) {
        refuse(source.path, "is truncated: its last frame is incomplete", ja_corrupt);
    }
    // A container that states its length (an index of frames, a duration written when the
    // file was finished) shows a file cut short between two frames.
    if (stream->nb_frames > packets) {
        refuse(source.path,
               "is truncated: it holds " + std::to_string(packets) + " of the " +
                   std::to_string(stream->nb_frames) + " frames its index lists",
               ja_corrupt);
    }
    if (format->nb_streams == 1 && format->duration > 0 && end != AV_NOPTS_VALUE) {
        const std::int64_t start =
            stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        // The last frame lasts its packet's duration or, where packets give none, one frame
        // at the stream's rate; a quarter frame of slack absorbs rounding.
        const AVRational rate = source.state->format->streams[index]->r_frame_rate;
        std::int64_t frame_time = std::max(longest, smallest_step);
        if (rate.num > 0 && rate.den > 0) {
            frame_time = std::max(frame_time, av_rescale_q(1, av_inv_q(rate), stream->time_base));
        }
        const std::int64_t played = av_rescale_q(end - start + frame_time + frame_time / 4,
                                                 stream->time_base, AV_TIME_BASE_Q);
        if (played < format->duration) {
            refuse(source.path, "is truncated: its frames stop before the duration it states",
                   ja_corrupt);
        }
    }
    return count;
}

void check_size(MediaSource& source, const AVFrame& frame) {
    if (frame.width != source.width || frame.height != source.height) {
        refuse(source.path,
               "frame " + std::to_string(source.frames_read) + " is " +
                   size_text(frame.width, frame.height) + " but the first frame is " +
                   size_text(source.width, source.height) + "; the frame size must not change",
               ja_size_changes);
    }
    const long long bytes =
        static_cast<long long>(stride_for_width(frame.width)) * static_cast<long long>(frame.height);
    if (frame.width > 32768 || bytes > max_frame_bytes) {
        refuse(source.path, "its frames are too large", ja_too_large);
    }
}

// The scaler, set for exact rounding and full chroma, from the frame's format to `target`.
SwsContext* scaler(MediaState& st, const AVFrame& frame, AVPixelFormat target) {
    st.scale.reset(sws_getCachedContext(st.scale.release(), frame.width, frame.height,
                                        static_cast<AVPixelFormat>(frame.format), frame.width,
                                        frame.height, target,
                                        SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT |
                                            SWS_FULL_CHR_H_INP | SWS_BITEXACT,
                                        nullptr, nullptr, nullptr));
    return st.scale.get();
}

void convert_frame(MediaSource& source, const AVFrame& frame, PixelBuffer& pixels) {
    MediaState& st = *source.state;
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr) refuse(source.path, "has frames of an unknown pixel format", ja_not_media);
    pixels = make_pixel_buffer(frame.width, frame.height);

    const bool yuv = is_planar_yuv(d);
    const bool gray = !yuv && is_plain_gray(d);
    if (!st.colour_chosen) {
        choose_conversion(source, format, frame.colorspace, frame.color_range, frame.height);
    }
    if (yuv || gray || !is_rgb_like(d)) {
        if (yuv || gray) {
            YuvPlanes planes;
            planes.width = frame.width;
            planes.height = frame.height;
            planes.depth = d->comp[0].depth;
            planes.chroma_shift_x = yuv ? d->log2_chroma_w : 0;
            planes.chroma_shift_y = yuv ? d->log2_chroma_h : 0;
            planes.planes[0] = frame.data[0];
            planes.strides[0] = frame.linesize[0];
            if (yuv) {
                for (int c = 1; c < d->nb_components; ++c) {
                    planes.planes[c] = frame.data[c];
                    planes.strides[c] = frame.linesize[c];
                }
            } else {
                // Grey: both chroma planes one row of the mid code, read for every row.
                const int sample = planes.depth > 8 ? 2 : 1;
                st.mid_chroma.assign(static_cast<std::size_t>(frame.width) * sample, 0);
                const unsigned mid = 1u << (planes.depth - 1);
                for (int x = 0; x < frame.width; ++x) {
                    if (sample == 1) {
                        st.mid_chroma[x] = static_cast<std::uint8_t>(mid);
                    } else {
                        const std::uint16_t word = static_cast<std::uint16_t>(mid);
                        std::memcpy(&st.mid_chroma[2 * x], &word, 2);
                    }
                }
                planes.planes[1] = planes.planes[2] = st.mid_chroma.data();
            }
            convert_yuv_to_bgr(planes, st.colour, pixels);
            return;
        }
        // Other YUV layouts (semi-planar, packed): the scaler with the chosen coefficients.
        SwsContext* ctx = scaler(st, frame, AV_PIX_FMT_BGR24);
        if (ctx == nullptr) refuse(source.path, "cannot convert its pixel format", ja_not_media);
        const int space = st.colour.matrix == YuvMatrix::bt601   ? SWS_CS_ITU601
                          : st.colour.matrix == YuvMatrix::bt709 ? SWS_CS_ITU709
                                                                 : SWS_CS_BT2020;
        sws_setColorspaceDetails(ctx, sws_getCoefficients(space),
                                 st.colour.range == YuvRange::full ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }

    const bool wide = is_rgb_like(d) && (has_alpha(d) || max_depth(d) > 8);
    const AVPixelFormat target = wide ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_BGR24;
    SwsContext* ctx = scaler(st, frame, target);
    if (ctx == nullptr) refuse(source.path, "cannot convert its pixel format", ja_not_media);
    std::uint8_t* out_planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int out_strides[4] = {0, 0, 0, 0};
    if (wide) {
        st.rgba.resize(static_cast<std::size_t>(frame.width) * 4 * frame.height);
        out_planes[0] = reinterpret_cast<std::uint8_t*>(st.rgba.data());
        out_strides[0] = frame.width * 8;
    } else {
        st.bgr.resize(static_cast<std::size_t>(frame.width) * 3 * frame.height);
        out_planes[0] = st.bgr.data();
        out_strides[0] = frame.width * 3;
    }
    if (sws_scale(ctx, frame.data, frame.linesize, 0, frame.height, out_planes, out_strides) !=
        frame.height) {
        refuse(source.path, "cannot convert its pixel format", ja_not_media);
    }
    if (wide) {
        convert_rgba64_to_bgr(st.rgba.data(), frame.width * 4, frame.width, frame.height, pixels);
    } else {
        const std::size_t row_bytes = static_cast<std::size_t>(frame.width) * 3;
        for (int y = 0; y < frame.height; ++y) {
            std::memcpy(pixels.bytes.data() +
                            static_cast<std::size_t>(frame.height - 1 - y) * pixels.stride,
                        st.bgr.data() + y * row_bytes, row_bytes);
        }
    }
}

bool next_bmp_frame(MediaSource& source, PixelBuffer& pixels, HeaderBlock& header) {
    MediaState& st = *source.state;
    if (st.bmp_done) return false;
    FileMessage message;
    const int stride = read_bmp_frame(source.path, pixels, header, &message);
    if (stride == -1) {
        throw MediaError{"cannot open " + source.path + " (" + message.text + ")", message.text,
                         source.path};
    }
    if (stride <= 0) {
        throw MediaError{source.path + " is not a usable 24- or 8-bit BMP file (" + message.text +
                             ")",
                         message.text, source.path};
    }
    st.bmp_done = true;
    source.width = pixels.width;
    source.height = pixels.height;
    source.frames_read = 1;
    return true;
}

}  // namespace

MediaSource open_media(const std::string& path, const MediaOptions& options) {
    quiet_libraries();
    MediaSource source;
    source.path = path;
    source.state.reset(new MediaState);
    source.state->options = options;
    if (is_raw_media_path(path)) {
        source.kind = MediaKind::raw;
    } else if (is_bmp_path(path)) {
        source.kind = MediaKind::bmp;
        source.frame_count = 1;
        source.colour = "BMP: RGB";
        return source;
    }
    open_libraries(source, options);
    source.frame_count = count_frames(source, options);
    if (source.frame_count == 0) refuse(path, "holds no frames", ja_no_frames);
    return source;
}

bool next_frame(MediaSource& source, PixelBuffer& pixels, HeaderBlock& header) {
    if (!source.state) return false;
    if (source.kind == MediaKind::bmp) return next_bmp_frame(source, pixels, header);
    MediaState& st = *source.state;
    if (st.finished) return false;
    const std::string& path = source.path;
    for (;;) {
        int ret = avcodec_receive_frame(st.codec.get(), st.frame.get());
        if (ret == 0) {
            const AVFrame& frame = *st.frame;
            if ((frame.flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame.decode_error_flags != 0) {
                refuse(path, "frame " + std::to_string(source.frames_read) + " is damaged",
                       ja_corrupt);
            }
            check_size(source, frame);
            PixelBuffer converted;
            convert_frame(source, frame, converted);
            av_frame_unref(st.frame.get());
            pixels = std::move(converted);
            header = make_header_block(pixels.width, pixels.height);
            ++source.frames_read;
            return true;
        }
        if (ret == AVERROR_EOF) {
            st.finished = true;
            if (source.frames_read == 0) refuse(path, "holds no frames", ja_no_frames);
            if (source.frames_read < source.frame_count) {
                refuse(path,
                       "ends after " + std::to_string(source.frames_read) + " of its " +
                           std::to_string(source.frame_count) +
                           " frames; the file is truncated or corrupt",
                       ja_corrupt);
            }
            st.format.reset();
            st.codec.reset();
            return false;
        }
        if (ret != AVERROR(EAGAIN)) {
            refuse(path, "is truncated or corrupt (" + library_error(ret) + ")", ja_corrupt);
        }
        if (st.flushing) {
            refuse(path, "is truncated or corrupt (decoder stalled)", ja_corrupt);
        }
        ret = av_read_frame(st.format.get(), st.packet.get());
        if (ret == AVERROR_EOF) {
            st.flushing = true;
            avcodec_send_packet(st.codec.get(), nullptr);
            continue;
        }
        if (ret < 0) refuse(path, "is truncated or corrupt (" + library_error(ret) + ")", ja_corrupt);
        if (st.packet->stream_index != st.stream) {
            av_packet_unref(st.packet.get());
            continue;
        }
        const bool corrupt = (st.packet->flags & AV_PKT_FLAG_CORRUPT) != 0;
        if (corrupt) {
            av_packet_unref(st.packet.get());
            refuse(path, "is truncated or corrupt (a damaged packet)", ja_corrupt);
        }
        ret = avcodec_send_packet(st.codec.get(), st.packet.get());
        av_packet_unref(st.packet.get());
        if (ret < 0 && ret != AVERROR(EAGAIN)) {
            refuse(path, "is truncated or corrupt (" + library_error(ret) + ")", ja_corrupt);
        }
    }
}

}  // namespace orv
