#include "encode/encoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "encode/av_support.h"
#include "numeric/failure.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace orv {

namespace av {

int sws_colourspace(AVColorSpace space, int height) {
    switch (space) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
            return SWS_CS_ITU601;
        default:
            // Untagged: what players assume, BT.601 below 720 lines, BT.709 from 720.
            return height < 720 ? SWS_CS_ITU601 : SWS_CS_ITU709;
    }
}

}  // namespace av

namespace {

struct CodecEntry {
    const char* codec;
    std::vector<std::string> encoders;
};

const std::vector<CodecEntry>& codec_table() {
    static const std::vector<CodecEntry> table = {
        {"h264", {"libx264"}},
        {"hevc", {"libx265"}},
        {"av1", {"libaom-av1", "libsvtav1"}},
    };
    return table;
}

// The quantiser scale of each encoder: CRF and QP from 0 to the top value.
struct ScaleLimits {
    double crf_low, crf_high;
    int qp_low, qp_high;
    bool integer_crf;
};

ScaleLimits scale_limits(const std::string& encoder) {
    if (encoder == "libaom-av1") return {0, 63, 0, 63, true};
    if (encoder == "libsvtav1") return {1, 63, 1, 63, true};
    return {0, 51, 0, 51, false};  // libx264, libx265 at 8 bits
}

std::string number_text(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

AVColorSpace stream_colourspace(const std::string& matrix) {
    if (matrix == "bt601") return AVCOL_SPC_SMPTE170M;
    if (matrix == "bt2020") return AVCOL_SPC_BT2020_NCL;
    return AVCOL_SPC_BT709;
}

AVColorPrimaries stream_primaries(const EncodeSettings& s) {
    if (s.primaries == "bt2020") return AVCOL_PRI_BT2020;
    if (s.primaries == "bt709") return AVCOL_PRI_BT709;
    const std::string& matrix = s.matrix;
    if (matrix == "bt601") return AVCOL_PRI_SMPTE170M;
    if (matrix == "bt2020") return AVCOL_PRI_BT2020;
    return AVCOL_PRI_BT709;
}

AVColorTransferCharacteristic stream_transfer(const EncodeSettings& s) {
    if (s.transfer == "pq") return AVCOL_TRC_SMPTE2084;
    if (s.transfer == "hlg") return AVCOL_TRC_ARIB_STD_B67;
    if (s.transfer == "bt709") return AVCOL_TRC_BT709;
    const std::string& matrix = s.matrix;
    if (matrix == "bt601") return AVCOL_TRC_SMPTE170M;
    if (matrix == "bt2020") return AVCOL_TRC_BT2020_10;
    return AVCOL_TRC_BT709;
}

AVPixelFormat encode_pixel_format(const std::string& name) {
    if (name == "yuv420p") return AV_PIX_FMT_YUV420P;
    if (name == "yuv444p") return AV_PIX_FMT_YUV444P;
    if (name == "yuv420p10le") return AV_PIX_FMT_YUV420P10LE;
    if (name == "yuv444p10le") return AV_PIX_FMT_YUV444P10LE;
    return AV_PIX_FMT_NONE;
}

void check_av(int code, FailureKind kind, const std::string& path = {},
              std::vector<std::string> values = {}) {
    if (code < 0) raise_failure(kind, path, std::move(values), av::error_text(code));
}

// The temporary file the bitstream is written to; removed unless kept.
struct PartialFile {
    std::string path;
    bool keep = false;
    ~PartialFile() {
        if (!keep && !path.empty()) ::unlink(path.c_str());
    }
};

struct OutputFree {
    void operator()(AVFormatContext* f) const {
        if (f->pb != nullptr) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};

char picture_type_of(const AVPacket& packet) {
    std::size_t size = 0;
    const std::uint8_t* stats = av_packet_get_side_data(&packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (stats != nullptr && size >= 5) {
        const char c = av_get_picture_type_char(static_cast<AVPictureType>(stats[4]));
        if (c != '?') return c;
    }
    return (packet.flags & AV_PKT_FLAG_KEY) != 0 ? 'I' : '?';
}

}  // namespace

void quiet_codec_libraries() { av_log_set_level(AV_LOG_ERROR); }

const std::vector<std::string>& encode_codec_names() {
    static const std::vector<std::string> names = {"h264", "hevc", "av1"};
    return names;
}

std::string find_encoder(const std::string& codec) {
    for (const CodecEntry& entry : codec_table()) {
        if (codec != entry.codec) continue;
        std::string tried;
        for (const std::string& name : entry.encoders) {
            if (avcodec_find_encoder_by_name(name.c_str()) != nullptr) return name;
            tried += (tried.empty() ? "" : " or ") + name;
        }
        raise_failure(FailureKind::codec_unavailable, {}, {codec, tried});
    }
    raise_failure(FailureKind::unknown_codec, {}, {codec});
}

std::vector<std::string> encode_presets(const std::string& encoder) {
    if (encoder == "libaom-av1") return {"0", "1", "2", "3", "4", "5", "6", "7", "8"};
    if (encoder == "libsvtav1") {
        return {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"};
    }
    return {"ultrafast", "superfast", "veryfast", "faster",   "fast",
            "medium",    "slow",      "slower",   "veryslow", "placebo"};
}

std::string encode_default_preset(const std::string& encoder) {
    if (encoder == "libaom-av1") return "6";
    if (encoder == "libsvtav1") return "8";
    return "medium";
}

void check_encode_settings(const EncodeSettings& settings) {
    const std::string encoder = find_encoder(settings.codec);
    const ScaleLimits limits = scale_limits(encoder);
    const double v = settings.value;
    switch (settings.rate) {
        case RateControl::crf:
            if (!(v >= limits.crf_low && v <= limits.crf_high) ||
                (limits.integer_crf && v != std::floor(v))) {
                raise_failure(limits.integer_crf ? FailureKind::crf_whole_out_of_range
                                                 : FailureKind::crf_out_of_range,
                              {},
                              {number_text(v), encoder, number_text(limits.crf_low),
                               number_text(limits.crf_high)});
            }
            break;
        case RateControl::qp:
            if (!(v >= limits.qp_low && v <= limits.qp_high) || v != std::floor(v)) {
                raise_failure(FailureKind::qp_out_of_range, {},
                              {number_text(v), encoder, std::to_string(limits.qp_low),
                               std::to_string(limits.qp_high)});
            }
            break;
        case RateControl::bitrate:
            if (!(v >= 1000.0 && v <= 1e9)) {
                raise_failure(FailureKind::bitrate_out_of_range, {}, {number_text(v)});
            }
            break;
    }
    if (!settings.preset.empty()) {
        const std::vector<std::string> presets = encode_presets(encoder);
        if (std::find(presets.begin(), presets.end(), settings.preset) == presets.end()) {
            std::string list;
            for (const std::string& p : presets) list += (list.empty() ? "" : ", ") + p;
            raise_failure(FailureKind::unknown_preset, {}, {settings.preset, encoder, list});
        }
    }
    if (settings.gop < 0 || settings.gop > 100000) {
        raise_failure(FailureKind::gop_out_of_range, {}, {std::to_string(settings.gop)});
    }
    if (encode_pixel_format(settings.pix_fmt) == AV_PIX_FMT_NONE) {
        raise_failure(FailureKind::unknown_pixel_format, {}, {settings.pix_fmt});
    }
    if (!settings.transfer.empty() && settings.transfer != "bt709" && settings.transfer != "pq" &&
        settings.transfer != "hlg") {
        raise_failure(FailureKind::unknown_transfer, {}, {settings.transfer});
    }
    if (!settings.primaries.empty() && settings.primaries != "bt709" &&
        settings.primaries != "bt2020") {
        raise_failure(FailureKind::unknown_stream_primaries, {}, {settings.primaries});
    }
    if (!(settings.fps >= 0.1 && settings.fps <= 1000.0)) {
        raise_failure(FailureKind::fps_out_of_range, {}, {number_text(settings.fps)});
    }
    if (settings.matrix != "bt601" && settings.matrix != "bt709" && settings.matrix != "bt2020") {
        raise_failure(FailureKind::unknown_matrix, {}, {settings.matrix});
    }
    if (settings.range != "limited" && settings.range != "full") {
        raise_failure(FailureKind::unknown_range, {}, {settings.range});
    }
}

double parse_bitrate(const std::string& text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
    const std::string suffix(result.ptr, end);
    if (suffix == "k" || suffix == "K")
        value *= 1e3;
    else if (suffix == "m" || suffix == "M")
        value *= 1e6;
    else if (!suffix.empty())
        return 0.0;
    return value > 0.0 ? value : 0.0;
}

std::string setting_label(const EncodeSettings& settings) {
    switch (settings.rate) {
        case RateControl::crf:
            return "crf" + number_text(settings.value);
        case RateControl::qp:
            return "qp" + number_text(settings.value);
        case RateControl::bitrate:
            if (std::fmod(settings.value, 1e6) == 0.0) {
                return "bitrate" + number_text(settings.value / 1e6) + "M";
            }
            if (std::fmod(settings.value, 1e3) == 0.0) {
                return "bitrate" + number_text(settings.value / 1e3) + "k";
            }
            return "bitrate" + number_text(settings.value);
    }
    return {};
}

std::string encoder_params(const EncodeSettings& settings, const std::string& encoder) {
    if (encoder == "libx264") return settings.x264_params;
    if (encoder == "libx265") return settings.x265_params;
    if (encoder == "libaom-av1") return settings.aom_params;
    if (encoder == "libsvtav1") return settings.svtav1_params;
    return {};
}

namespace {

// The second pass's share of a two-pass run: the pass (0 for a single pass, 1 or 2) and where
// the first pass's statistics go (a file for libx264 and libx265, the text libaom hands back).
struct PassState {
    int pass = 0;
    std::string stats_file;
    std::string stats_text;
};

EncodeSummary encode_pass(const FrameSource& source, const EncodeSettings& settings,
                          const std::string& path, const EncodeProgress& progress,
                          PassState& two_pass);

}  // namespace

EncodeSummary encode_sequence(const FrameSource& source, const EncodeSettings& settings,
                              const std::string& path, const EncodeProgress& progress) {
    check_encode_settings(settings);
    PassState state;
    if (settings.passes != 2) return encode_pass(source, settings, path, progress, state);

    const std::string encoder = find_encoder(settings.codec);
    if (settings.rate != RateControl::bitrate) {
        raise_failure(FailureKind::two_pass_needs_bitrate);
    }
    if (encoder != "libx264" && encoder != "libx265" && encoder != "libaom-av1") {
        raise_failure(FailureKind::two_pass_unsupported, {}, {encoder});
    }
    // The first pass's statistics (and libx264's and libx265's side files) in a temporary
    // file beside the target, removed at the end whatever happens.
    std::string pattern = path + ".stats-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) raise_errno_failure(FailureKind::cannot_create, path);
    ::close(fd);
    struct StatsFiles {
        std::string base;
        ~StatsFiles() {
            for (const char* end : {"", ".temp", ".mbtree", ".mbtree.temp", ".cutree",
                                    ".cutree.temp", ".pass1.mp4"}) {
                ::unlink((base + end).c_str());
            }
        }
    } stats{pattern};
    state.stats_file = pattern;
    state.pass = 1;
    encode_pass(source, settings, pattern + ".pass1.mp4", {}, state);
    ::unlink((pattern + ".pass1.mp4").c_str());
    state.pass = 2;
    return encode_pass(source, settings, path, progress, state);
}

namespace {

EncodeSummary encode_pass(const FrameSource& source, const EncodeSettings& settings,
                          const std::string& path, const EncodeProgress& progress,
                          PassState& two_pass) {
    if (source.count <= 0) raise_failure(FailureKind::nothing_to_encode);
    EncodeSummary summary;
    summary.encoder = find_encoder(settings.codec);
    const AVCodec* codec = avcodec_find_encoder_by_name(summary.encoder.c_str());

    // Frames with their exact signals where the source has them.
    const auto read = [&source](int i, SignalFrame& signal) {
        if (source.read_with_signal) return source.read_with_signal(i, signal);
        signal = SignalFrame{};
        return source.read(i);
    };
    SignalFrame first_signal;
    PixelBuffer first = read(0, first_signal);
    const int width = first.width;
    const int height = first.height;
    const bool subsampled = settings.pix_fmt.rfind("yuv420p", 0) == 0;
    if (subsampled && (width % 2 != 0 || height % 2 != 0)) {
        raise_failure(FailureKind::odd_frame_size, {},
                      {std::to_string(width), std::to_string(height)});
    }

    // libx265 writes outside its lookahead buffers for pictures narrower than one 64-pixel
    // coding block (seen with valgrind at 48 and 32 pixels), so those are refused.
    if (summary.encoder == "libx265" && width < 64) {
        raise_failure(FailureKind::frames_too_narrow, {},
                      {std::to_string(width), std::to_string(height)});
    }

    // The bitstream is written under a temporary name beside the target.
    PartialFile partial;
    {
        std::string pattern = path + ".partial-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            raise_errno_failure(FailureKind::cannot_create, path);
        }
        ::fchmod(fd, 0644);  // as an ordinary new file, not mkstemp's private one
        ::close(fd);
        partial.path = pattern;
    }

    AVFormatContext* raw_output = nullptr;
    check_av(avformat_alloc_output_context2(&raw_output, nullptr, "mp4", nullptr),
             FailureKind::mp4_writer_setup);
    std::unique_ptr<AVFormatContext, OutputFree> output(raw_output);
    // No version strings or times in the file: the same input gives the same bytes.
    output->flags |= AVFMT_FLAG_BITEXACT;

    av::CodecContext context(avcodec_alloc_context3(codec));
    if (!context) raise_failure(FailureKind::out_of_memory);
    const AVRational rate = av_d2q(settings.fps, 1000000);
    context->width = width;
    context->height = height;
    context->pix_fmt = encode_pixel_format(settings.pix_fmt);
    context->time_base = av_inv_q(rate);
    context->framerate = rate;
    context->colorspace = stream_colourspace(settings.matrix);
    context->color_primaries = stream_primaries(settings);
    context->color_trc = stream_transfer(settings);
    context->color_range = settings.range == "full" ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    context->thread_count = 1;  // one thread: the same input always gives the same bitstream
    context->flags |= AV_CODEC_FLAG_BITEXACT;
    if (settings.gop > 0) context->gop_size = settings.gop;
    if ((output->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    void* options = context->priv_data;
    const std::string preset =
        settings.preset.empty() ? encode_default_preset(summary.encoder) : settings.preset;
    const std::string& e = summary.encoder;
    if (e == "libaom-av1") {
        // The whole quantiser scale (the context's defaults would cap it at 31).
        context->qmin = 0;
        context->qmax = 63;
        check_av(av_opt_set(options, "cpu-used", preset.c_str(), 0), FailureKind::encoder_option,
                 {}, {preset, "preset"});
        av_opt_set_int(options, "row-mt", 0, 0);
    } else {
        check_av(av_opt_set(options, "preset", preset.c_str(), 0), FailureKind::encoder_option, {},
                 {preset, "preset"});
    }
    if (!settings.tune.empty()) {
        check_av(av_opt_set(options, "tune", settings.tune.c_str(), 0), FailureKind::encoder_option,
                 {}, {settings.tune, "tune"});
    }
    // The user's options after the fixed ones, so that they win where both set a key.
    std::string params = encoder_params(settings, e);
    if (e == "libx265") {
        std::string fixed = "pools=none:frame-threads=1:log-level=error";
        if (two_pass.pass > 0) {
            fixed += ":pass=" + std::to_string(two_pass.pass) + ":stats=" + two_pass.stats_file;
        }
        params = params.empty() ? fixed : fixed + ":" + params;
    } else if (e == "libx264" && two_pass.pass > 0) {
        check_av(av_opt_set(options, "stats", two_pass.stats_file.c_str(), 0),
                 FailureKind::encoder_option, {}, {two_pass.stats_file, "stats"});
        context->flags |= two_pass.pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
    } else if (e == "libaom-av1" && two_pass.pass > 0) {
        context->flags |= two_pass.pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
        if (two_pass.pass == 2) {
            context->stats_in = av_strdup(two_pass.stats_text.c_str());
            if (context->stats_in == nullptr) raise_failure(FailureKind::out_of_memory);
        }
    }
    if (!params.empty()) {
        const std::string key = e == "libx264"      ? "x264-params"
                                : e == "libx265"    ? "x265-params"
                                : e == "libaom-av1" ? "aom-params"
                                                    : "svtav1-params";
        check_av(av_opt_set(options, key.c_str(), params.c_str(), 0), FailureKind::encoder_option,
                 {}, {params, key});
    }
    const int whole = static_cast<int>(settings.value);
    switch (settings.rate) {
        case RateControl::crf:
            if (e == "libx264" || e == "libx265") {
                check_av(av_opt_set_double(options, "crf", settings.value, 0),
                         FailureKind::encoder_option, {}, {number_text(settings.value), "CRF"});
            } else {
                check_av(av_opt_set_int(options, "crf", whole, 0), FailureKind::encoder_option, {},
                         {std::to_string(whole), "CRF"});
                context->bit_rate = 0;
            }
            break;
        case RateControl::qp:
            if (e == "libaom-av1") {
                // Constant quality with the quantiser pinned: a constant QP.
                check_av(av_opt_set_int(options, "crf", whole, 0), FailureKind::encoder_option, {},
                         {std::to_string(whole), "QP"});
                context->qmin = whole;
                context->qmax = whole;
                context->bit_rate = 0;
            } else {
                check_av(av_opt_set_int(options, "qp", whole, 0), FailureKind::encoder_option, {},
                         {std::to_string(whole), "QP"});
            }
            break;
        case RateControl::bitrate:
            context->bit_rate = static_cast<std::int64_t>(settings.value);
            if (e == "libaom-av1") {
                // libaom's one-pass VBR overshoots short runs several times over; its
                // constant-bitrate mode keeps to the target.
                context->rc_min_rate = context->bit_rate;  // equal rates select it
                context->rc_max_rate = context->bit_rate;
            }
            break;
    }

    int code = avcodec_open2(context.get(), codec, nullptr);
    if (code < 0) {
        raise_failure(FailureKind::encoder_refused_settings, {},
                      {e, setting_label(settings), preset, settings.pix_fmt}, av::error_text(code));
    }
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (stream == nullptr) raise_failure(FailureKind::out_of_memory);
    stream->time_base = context->time_base;
    stream->avg_frame_rate = rate;
    check_av(avcodec_parameters_from_context(stream->codecpar, context.get()),
             FailureKind::stream_setup);
    check_av(avio_open(&output->pb, partial.path.c_str(), AVIO_FLAG_WRITE),
             FailureKind::cannot_create, path);
    check_av(avformat_write_header(output.get(), nullptr), FailureKind::cannot_write, path);

    av::Sws convert(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, context->pix_fmt,
                                   av::conversion_flags, nullptr, nullptr, nullptr));
    if (!convert) raise_failure(FailureKind::no_yuv_conversion);
    // Full-range RGB in, the chosen matrix and range out.
    sws_setColorspaceDetails(convert.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(av::sws_colourspace(context->colorspace, height)),
                             settings.range == "full" ? 1 : 0, 0, 1 << 16, 1 << 16);
    // Exact signals travel as 16-bit RGB, so that a 10-bit stream never goes through 8 bits.
    av::Sws convert_deep(sws_getContext(width, height, AV_PIX_FMT_RGB48, width, height,
                                        context->pix_fmt, av::conversion_flags, nullptr, nullptr,
                                        nullptr));
    if (!convert_deep) raise_failure(FailureKind::no_yuv_conversion);
    sws_setColorspaceDetails(convert_deep.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(av::sws_colourspace(context->colorspace, height)),
                             settings.range == "full" ? 1 : 0, 0, 1 << 16, 1 << 16);
    std::vector<std::uint16_t> deep_rows(static_cast<std::size_t>(3 * width) * height + 32);

    av::Packet packet(av_packet_alloc());
    av::Frame picture(av_frame_alloc());
    if (!packet || !picture) raise_failure(FailureKind::out_of_memory);
    std::map<std::int64_t, CodedFrame> coded;  // by presentation time, in frames
    std::vector<std::uint8_t> top_down(static_cast<std::size_t>(3 * width) * height + 64);

    auto drain = [&]() {
        for (;;) {
            const int got = avcodec_receive_packet(context.get(), packet.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
            check_av(got, FailureKind::encoder_failed, {}, {e});
            if (source.count == 1) {
                // libx265 as packaged leaves the times of a one-picture stream's packet unset
                // when it is drained (the muxer then refuses it at random); the only picture
                // is at time 0.
                packet->pts = 0;
                packet->dts = 0;
                packet->duration = 1;
            }
            CodedFrame frame;
            frame.index = static_cast<int>(packet->pts);
            frame.type = picture_type_of(*packet);
            frame.bytes = packet->size;
            coded[packet->pts] = frame;
            summary.stream_bytes += packet->size;
            av_packet_rescale_ts(packet.get(), context->time_base, stream->time_base);
            packet->stream_index = stream->index;
            check_av(av_interleaved_write_frame(output.get(), packet.get()),
                     FailureKind::cannot_write, path);
        }
    };

    for (int i = 0; i < source.count; ++i) {
        SignalFrame signal;
        PixelBuffer pixels = i == 0 ? std::move(first) : read(i, signal);
        if (i == 0) signal = std::move(first_signal);
        if (pixels.width != width || pixels.height != height) {
            raise_failure(
                FailureKind::encode_frame_size_changes, {},
                {std::to_string(i), std::to_string(pixels.width), std::to_string(pixels.height),
                 std::to_string(width), std::to_string(height)});
        }
        av_frame_unref(picture.get());
        picture->format = context->pix_fmt;
        picture->width = width;
        picture->height = height;
        check_av(av_frame_get_buffer(picture.get(), 0), FailureKind::out_of_memory);
        // Rows top first, with room after the last one: the converter reads ahead in blocks
        // of up to 64 bytes.
        const int row = 3 * width;
        for (int y = 0; y < height; ++y) {
            std::memcpy(
                top_down.data() + static_cast<std::size_t>(y) * row,
                pixels.bytes.data() + static_cast<std::size_t>(height - 1 - y) * pixels.stride,
                static_cast<std::size_t>(row));
        }
        const bool deep = signal.present() && signal.width == width && signal.height == height &&
                          settings.pix_fmt.ends_with("10le");
        if (deep) {
            // Rows top first, each value round(V * 65535).
            for (int y = 0; y < height; ++y) {
                const double* in = signal.row(height - 1 - y);
                std::uint16_t* out = deep_rows.data() + static_cast<std::size_t>(3 * width) * y;
                for (int k = 0; k < 3 * width; ++k) {
                    out[k] = static_cast<std::uint16_t>(std::lround(in[k] * 65535.0));
                }
            }
            const auto* deep_top = reinterpret_cast<const std::uint8_t*>(deep_rows.data());
            const int deep_row = 6 * width;
            sws_scale(convert_deep.get(), &deep_top, &deep_row, 0, height, picture->data,
                      picture->linesize);
        } else {
            const std::uint8_t* top = top_down.data();
            sws_scale(convert.get(), &top, &row, 0, height, picture->data, picture->linesize);
        }
        picture->pts = i;
        picture->color_range = context->color_range;
        picture->colorspace = context->colorspace;
        picture->color_trc = context->color_trc;
        picture->color_primaries = context->color_primaries;
        check_av(avcodec_send_frame(context.get(), picture.get()), FailureKind::encoder_failed, {},
                 {e});
        drain();
        if (progress) progress(i + 1, source.count);
    }
    check_av(avcodec_send_frame(context.get(), nullptr), FailureKind::encoder_failed, {}, {e});
    drain();
    if (two_pass.pass == 1 && context->stats_out != nullptr)
        two_pass.stats_text = context->stats_out;
    check_av(av_write_trailer(output.get()), FailureKind::cannot_write, path);
    if (output->pb->error < 0) check_av(output->pb->error, FailureKind::cannot_write, path);
    check_av(avio_closep(&output->pb), FailureKind::cannot_write, path);

    // Appears under its own name only now, complete; link() never replaces an existing file.
    if (::link(partial.path.c_str(), path.c_str()) != 0) {
        if (errno == EEXIST) raise_failure(FailureKind::file_exists, path);
        raise_errno_failure(FailureKind::cannot_create, path);
    }
    std::error_code size_error;
    summary.file_bytes = static_cast<long long>(std::filesystem::file_size(path, size_error));

    for (const auto& [pts, frame] : coded) summary.frames.push_back(frame);
    summary.bitrate = static_cast<double>(summary.stream_bytes) * 8.0 * av_q2d(rate) /
                      static_cast<double>(source.count);
    return summary;
}

}  // namespace

}  // namespace orv
