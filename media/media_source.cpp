#include "media/media_source.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
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

thread_local std::string* error_sink = nullptr;

// The libraries' own diagnostics would interleave with the one-line messages: nothing is
// printed, and the first error on a thread that listens is kept.
void keep_library_error(void*, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR || error_sink == nullptr || !error_sink->empty()) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string kept = text;
    while (!kept.empty() && (kept.back() == '\n' || kept.back() == ' ')) kept.pop_back();
    *error_sink = kept.empty() ? "an error of the libraries" : kept;
}

void quiet_libraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(keep_library_error); });
}

}  // namespace

namespace media_internal {

LibraryErrors::LibraryErrors(std::string& sink) : previous(error_sink) { error_sink = &sink; }
LibraryErrors::~LibraryErrors() { error_sink = previous; }

}  // namespace media_internal

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
    st.stored_width = source.width = stream->codecpar->width;
    st.stored_height = source.height = stream->codecpar->height;
    if (source.width <= 0 || source.height <= 0) {
        // A picture's name on a file the picture decoder finds nothing in (a text file named
        // .png) is no picture at all.
        refuse(source.kind == MediaKind::image ? FailureKind::media_text_file
                                               : FailureKind::media_no_frame_size,
               path);
    }
    std::size_t size = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix != nullptr && size >= 9 * sizeof(std::int32_t)) {
        std::int32_t values[9];
        std::memcpy(values, matrix, sizeof values);
        const Orientation turn = display_orientation(values);
        if (options.autorotate) {
            st.orientation = turn;
        } else if (!turn.name.empty()) {
            st.orientation.name = "stored orientation kept, not " + turn.name;
        }
        if (st.orientation.swap) std::swap(source.width, source.height);
    }
    const AVColorTransferCharacteristic trc = stream->codecpar->color_trc;
    const AVColorPrimaries primaries = stream->codecpar->color_primaries;
    if (trc != AVCOL_TRC_UNSPECIFIED && av_color_transfer_name(trc) != nullptr) {
        source.transfer_tag = av_color_transfer_name(trc);
    }
    if (primaries != AVCOL_PRI_UNSPECIFIED && av_color_primaries_name(primaries) != nullptr) {
        source.primaries_tag = av_color_primaries_name(primaries);
    }
    choose_conversion(source, static_cast<AVPixelFormat>(stream->codecpar->format),
                      stream->codecpar->color_space, stream->codecpar->color_range,
                      st.stored_height);
    const auto format = static_cast<AVPixelFormat>(stream->codecpar->format);
    const Orientation& turn = st.orientation;
    if (options.keep_planes && !turn.swap && !turn.flip_x && !turn.flip_y &&
        keeps_decoded_planes(format)) {
        source.planes_format = av_get_pix_fmt_name(format);
        source.planes_colour =
            std::string(matrix_name(st.colour.matrix)) + " " + range_name(st.colour.range);
    }
}

void check_size(MediaSource& source, const AVFrame& frame) {
    const MediaState& st = *source.state;
    if (frame.width != st.stored_width || frame.height != st.stored_height) {
        refuse(FailureKind::media_size_changes, source.path,
               {std::to_string(source.frames_read), size_text(frame.width, frame.height),
                size_text(st.stored_width, st.stored_height)});
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

namespace {

// A damaged video read as far as it goes: the frames that decode, found by decoding them all
// once (their number and times), and the frames of the stream's grid none of them stands for.
void find_decodable(MediaSource& source) {
    MediaSource probe;
    probe.path = source.path;
    probe.kind = source.kind;
    probe.state.reset(new MediaState);
    probe.state->options = source.state->options;
    probe.state->options.allow_damaged = true;
    open_libraries(probe, probe.state->options);
    std::vector<double> times;
    PixelBuffer pixels;
    HeaderBlock header;
    while (next_frame(probe, pixels, header)) times.push_back(probe.state->last_time);
    if (source.damage.empty()) source.damage = probe.damage;
    if (source.damage.empty() && static_cast<int>(times.size()) == source.frame_count) return;
    if (times.empty()) refuse(FailureKind::media_no_frames, source.path);
    const MediaState& st = *source.state;
    source.missing = missing_frames(times, st.stated_start, st.stated_duration, source.frame_rate);
    if (source.missing.empty()) {
        for (int k = static_cast<int>(times.size()); k < source.frame_count; ++k) {
            source.missing.push_back(k);
        }
    }
    source.frame_count = static_cast<int>(times.size());
    source.times = std::move(times);
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
    if ((options.allow_damaged || !source.damage.empty()) && source.kind == MediaKind::video) {
        find_decodable(source);
    }
    if (!options.allow_damaged && !source.damage.empty()) {
        // Refused, naming the first frame that does not decode and how many do not.
        const int first = source.missing.empty() ? source.frame_count : source.missing.front();
        const std::size_t count = std::max<std::size_t>(source.missing.size(), 1);
        refuse(FailureKind::media_damaged, path, {std::to_string(first), std::to_string(count)},
               source.damage);
    }
    return source;
}

bool next_frame(MediaSource& source, PixelBuffer& pixels, HeaderBlock& header) {
    if (!source.state) return false;
    if (source.kind == MediaKind::bmp) return next_bmp_frame(source, pixels, header);
    MediaState& st = *source.state;
    if (st.finished) return false;
    const std::string& path = source.path;
    const bool tolerant = st.options.allow_damaged;
    LibraryErrors errors(source.damage);
    // In a damaged stream, the frame after the last one read is the first missing.
    const auto damaged = [&](const std::string& reason) {
        if (source.damage.empty()) source.damage = reason;
        if (!tolerant) {
            refuse(FailureKind::media_damaged_frame, path, {std::to_string(source.frames_read)},
                   source.damage);
        }
    };
    for (;;) {
        if (!source.damage.empty()) damaged(source.damage);
        int ret = avcodec_receive_frame(st.codec.get(), st.frame.get());
        if (ret == 0) {
            const AVFrame& frame = *st.frame;
            if ((frame.flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame.decode_error_flags != 0) {
                damaged("a damaged frame");
                av_frame_unref(st.frame.get());
                continue;
            }
            const std::int64_t pts = frame.best_effort_timestamp;
            st.last_time =
                pts == AV_NOPTS_VALUE
                    ? st.last_time
                    : static_cast<double>(pts) * av_q2d(st.format->streams[st.stream]->time_base);
            check_size(source, frame);
            PixelBuffer converted;
            convert_frame(source, frame, converted);
            av_frame_unref(st.frame.get());
            const Orientation& turn = st.orientation;
            if (turn.swap || turn.flip_x || turn.flip_y) {
                converted = orient_pixels(converted, turn);
                if (source.signal.present()) source.signal = orient_signal(source.signal, turn);
                source.planes = DecodedPlanes{};  // planes are handed out only as stored
            }
            pixels = std::move(converted);
            header = make_header_block(pixels.width, pixels.height);
            ++source.frames_read;
            return true;
        }
        if (ret == AVERROR_EOF) {
            st.finished = true;
            if (source.frames_read == 0) refuse(FailureKind::media_no_frames, path);
            if (source.frames_read < source.frame_count && !tolerant) {
                refuse(FailureKind::media_ends_early, path,
                       {std::to_string(source.frames_read), std::to_string(source.frame_count)});
            }
            st.format.reset();
            st.codec.reset();
            return false;
        }
        if (ret != AVERROR(EAGAIN)) {
            if (!tolerant) refuse(FailureKind::media_corrupt, path, {}, av::error_text(ret));
            damaged(av::error_text(ret));
            if (st.flushing) {
                // A decoder that fails while draining gives nothing more.
                st.finished = true;
                return false;
            }
        }
        if (st.flushing) {
            if (!tolerant) refuse(FailureKind::media_corrupt, path, {}, "decoder stalled");
            st.finished = true;
            return false;
        }
        ret = av_read_frame(st.format.get(), st.packet.get());
        if (ret < 0 && ret != AVERROR_EOF) {
            if (!tolerant) refuse(FailureKind::media_corrupt, path, {}, av::error_text(ret));
            damaged(av::error_text(ret));
        }
        if (ret < 0) {
            st.flushing = true;
            avcodec_send_packet(st.codec.get(), nullptr);
            continue;
        }
        if (st.packet->stream_index != st.stream) {
            av_packet_unref(st.packet.get());
            continue;
        }
        const bool corrupt = (st.packet->flags & AV_PKT_FLAG_CORRUPT) != 0;
        if (corrupt) {
            av_packet_unref(st.packet.get());
            if (!tolerant) refuse(FailureKind::media_corrupt, path, {}, "a damaged packet");
            damaged("a damaged packet");
            continue;
        }
        ret = avcodec_send_packet(st.codec.get(), st.packet.get());
        av_packet_unref(st.packet.get());
        if (ret < 0 && ret != AVERROR(EAGAIN)) {
            if (!tolerant) refuse(FailureKind::media_corrupt, path, {}, av::error_text(ret));
            damaged(av::error_text(ret));
        }
    }
}

}  // namespace orv
