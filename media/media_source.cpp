#include "media/media_source.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include "media/media_internal.h"

namespace orv {

using namespace media_internal;

namespace {

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

}  // namespace

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
    put32(20,
          static_cast<std::uint32_t>(stride_for_width(width)) * static_cast<std::uint32_t>(height));
    return header;
}

namespace {

void open_libraries(MediaSource& source, const MediaOptions& options) {
    const std::string& path = source.path;
    MediaState& st = *source.state;
    const AVInputFormat* input = nullptr;
    AVDictionary* raw_options = nullptr;
    if (source.kind == MediaKind::raw) {
        if (!options.raw || options.raw->width <= 0 || options.raw->pixel_format.empty()) {
            refuse(FailureKind::media_raw_needs_format, path);
        }
        const RawFormat& raw = *options.raw;
        const long long frame_bytes = raw_frame_bytes(raw);
        if (frame_bytes <= 0) {
            refuse(FailureKind::media_raw_unknown_format, path, {raw.pixel_format});
        }
        std::error_code error;
        const auto length = std::filesystem::file_size(path, error);
        if (error) refuse(FailureKind::media_cannot_open, path, {}, error.message());
        const std::string expected = size_text(raw.width, raw.height) + " " + raw.pixel_format +
                                     " frames of " + std::to_string(frame_bytes) + " bytes";
        if (length == 0) refuse(FailureKind::media_raw_empty, path, {expected});
        if (length % static_cast<unsigned long long>(frame_bytes) != 0) {
            refuse(FailureKind::media_raw_length, path, {std::to_string(length), expected});
        }
        input = av_find_input_format("rawvideo");
        av_dict_set(&raw_options, "video_size", size_text(raw.width, raw.height).c_str(), 0);
        av_dict_set(&raw_options, "pixel_format", raw.pixel_format.c_str(), 0);
        const std::string rate = std::to_string(raw.fps_num) + "/" + std::to_string(raw.fps_den);
        av_dict_set(&raw_options, "framerate", rate.c_str(), 0);
    }
    av::Dictionary raw_owner(raw_options);

    AVFormatContext* opened = nullptr;
    AVDictionary* dict = raw_owner.release();
    int ret = avformat_open_input(&opened, path.c_str(), input, &dict);
    raw_owner.reset(dict);
    if (ret < 0) {
        if (ret == AVERROR(ENOENT) || ret == AVERROR(EACCES) || ret == AVERROR(EISDIR)) {
            refuse(FailureKind::media_cannot_open, path, {}, av::error_text(ret));
        }
        refuse(FailureKind::media_unreadable, path, {}, av::error_text(ret));
    }
    st.format.reset(opened);
    // A text file passes as terminal art; it is no picture to measure.
    if (std::strcmp(st.format->iformat->name, "tty") == 0) {
        refuse(FailureKind::media_text_file, path);
    }
    ret = avformat_find_stream_info(st.format.get(), nullptr);
    if (ret < 0) refuse(FailureKind::media_no_streams, path, {}, av::error_text(ret));
    st.stream = av_find_best_stream(st.format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (st.stream < 0) refuse(FailureKind::media_no_video, path);
    AVStream* stream = st.format->streams[st.stream];
    for (unsigned i = 0; i < st.format->nb_streams; ++i) {
        if (static_cast<int>(i) != st.stream) st.format->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        refuse(FailureKind::media_no_decoder, path, {avcodec_get_name(stream->codecpar->codec_id)});
    }
    st.codec.reset(avcodec_alloc_context3(decoder));
    if (!st.codec) refuse(FailureKind::media_out_of_memory, path);
    if (avcodec_parameters_to_context(st.codec.get(), stream->codecpar) < 0) {
        refuse(FailureKind::media_decoder_setup, path);
    }
    // Decoding runs on the frame loop's own threads; damage in the stream is an error.
    st.codec->thread_count = 1;
    st.codec->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK;
    ret = avcodec_open2(st.codec.get(), decoder, nullptr);
    if (ret < 0) refuse(FailureKind::media_decoder_open, path, {}, av::error_text(ret));
    st.frame.reset(av_frame_alloc());
    st.packet.reset(av_packet_alloc());
    if (!st.frame || !st.packet) refuse(FailureKind::media_out_of_memory, path);

    const char* demuxer = st.format->iformat->name;
    const std::string name = demuxer;
    if (source.kind != MediaKind::raw) {
        source.kind = (name == "image2" || name.find("_pipe") != std::string::npos)
                          ? MediaKind::image
                          : MediaKind::video;
    }
    source.width = stream->codecpar->width;
    source.height = stream->codecpar->height;
    if (source.width <= 0 || source.height <= 0) refuse(FailureKind::media_no_frame_size, path);
    const AVColorTransferCharacteristic trc = stream->codecpar->color_trc;
    const AVColorPrimaries primaries = stream->codecpar->color_primaries;
    if (trc != AVCOL_TRC_UNSPECIFIED && av_color_transfer_name(trc) != nullptr) {
        source.transfer_tag = av_color_transfer_name(trc);
    }
    if (primaries != AVCOL_PRI_UNSPECIFIED && av_color_primaries_name(primaries) != nullptr) {
        source.primaries_tag = av_color_primaries_name(primaries);
    }
    choose_conversion(source, static_cast<AVPixelFormat>(stream->codecpar->format),
                      stream->codecpar->color_space, stream->codecpar->color_range, source.height);
}

void check_size(MediaSource& source, const AVFrame& frame) {
    if (frame.width != source.width || frame.height != source.height) {
        refuse(FailureKind::media_size_changes, source.path,
               {std::to_string(source.frames_read), size_text(frame.width, frame.height),
                size_text(source.width, source.height)});
    }
    const long long bytes = static_cast<long long>(stride_for_width(frame.width)) *
                            static_cast<long long>(frame.height);
    if (frame.width > 32768 || bytes > max_frame_bytes) {
        refuse(FailureKind::media_too_large, source.path);
    }
}

bool next_bmp_frame(MediaSource& source, PixelBuffer& pixels, HeaderBlock& header) {
    MediaState& st = *source.state;
    if (st.bmp_done) return false;
    Failure failure;
    if (read_bmp_frame(source.path, pixels, header, &failure) <= 0) throw failure;
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
        source.colour = bmp_colour_handling;
        return source;
    }
    open_libraries(source, options);
    source.frame_count = count_frames(source, options);
    if (source.frame_count == 0) refuse(FailureKind::media_no_frames, path);
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
                refuse(FailureKind::media_damaged_frame, path,
                       {std::to_string(source.frames_read)});
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
            if (source.frames_read == 0) refuse(FailureKind::media_no_frames, path);
            if (source.frames_read < source.frame_count) {
                refuse(FailureKind::media_ends_early, path,
                       {std::to_string(source.frames_read), std::to_string(source.frame_count)});
            }
            st.format.reset();
            st.codec.reset();
            return false;
        }
        if (ret != AVERROR(EAGAIN)) {
            refuse(FailureKind::media_corrupt, path, {}, av::error_text(ret));
        }
        if (st.flushing) {
            refuse(FailureKind::media_corrupt, path, {}, "decoder stalled");
        }
        ret = av_read_frame(st.format.get(), st.packet.get());
        if (ret == AVERROR_EOF) {
            st.flushing = true;
            avcodec_send_packet(st.codec.get(), nullptr);
            continue;
        }
        if (ret < 0) refuse(FailureKind::media_corrupt, path, {}, av::error_text(ret));
        if (st.packet->stream_index != st.stream) {
            av_packet_unref(st.packet.get());
            continue;
        }
        const bool corrupt = (st.packet->flags & AV_PKT_FLAG_CORRUPT) != 0;
        if (corrupt) {
            av_packet_unref(st.packet.get());
            refuse(FailureKind::media_corrupt, path, {}, "a damaged packet");
        }
        ret = avcodec_send_packet(st.codec.get(), st.packet.get());
        av_packet_unref(st.packet.get());
        if (ret < 0 && ret != AVERROR(EAGAIN)) {
            refuse(FailureKind::media_corrupt, path, {}, av::error_text(ret));
        }
    }
}

}  // namespace orv
