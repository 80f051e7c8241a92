// How decoded pixels become 24-bit BGR: the pixel format's class (planar YUV, grey, RGB-like,
// other), the colour matrix and range chosen once per file, and the conversion of each frame,
// by ORV's own YUV code where it can and by the scaler otherwise.

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "media/media_internal.h"

namespace orv {

using namespace media_internal;

namespace {

std::optional<YuvMatrix> matrix_of_tag(AVColorSpace space, bool& unsupported) {
    unsupported = false;
    switch (space) {
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
            return YuvMatrix::bt601;
        case AVCOL_SPC_BT709:
            return YuvMatrix::bt709;
        case AVCOL_SPC_BT2020_NCL:
            return YuvMatrix::bt2020;
        case AVCOL_SPC_UNSPECIFIED:
        case AVCOL_SPC_RESERVED:
        case AVCOL_SPC_RGB:
            return std::nullopt;
        default:
            unsupported = true;
            return std::nullopt;
    }
}

bool is_planar_yuv(const AVPixFmtDescriptor* d) {
    if ((d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                     AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER)) !=
        0) {
        return false;
    }
    if ((d->flags & AV_PIX_FMT_FLAG_PLANAR) == 0 || d->nb_components < 3 || d->nb_components > 4) {
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
    return d->nb_components == 1 &&
           (d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_HWACCEL)) ==
               0 &&
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

void describe_colour(MediaSource& source, const AVPixFmtDescriptor* d, const std::string& how) {
    if (!source.colour.empty()) return;
    const char* codec = avcodec_get_name(source.state->codec->codec_id);
    source.colour = std::string(codec) + " " + d->name + ": " + how;
    const std::string& turn = source.state->orientation.name;
    if (!turn.empty()) source.colour += "; " + turn;
}

}  // namespace

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

namespace media_internal {

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
        if (max_depth(d) > 8) {
            how += st.options.keep_signal
                       ? ", measured exactly from " + std::to_string(max_depth(d)) + " bits"
                       : ", rounded from " + std::to_string(max_depth(d)) + " to 8 bits";
        }
        describe_colour(source, d, how);
        return;
    }
    bool unsupported = false;
    const auto tag = matrix_of_tag(space, unsupported);
    if (unsupported && !st.options.matrix) {
        refuse(FailureKind::media_matrix, source.path, {av_color_space_name(space)});
    }
    std::optional<YuvRange> range;
    if (range_tag == AVCOL_RANGE_JPEG) range = YuvRange::full;
    if (range_tag == AVCOL_RANGE_MPEG) range = YuvRange::limited;
    // Grey still pictures use every code; full-range "J" formats say so by name.
    if (!range &&
        (std::strncmp(d->name, "yuvj", 4) == 0 || (gray && source.kind == MediaKind::image))) {
        range = YuvRange::full;
    }
    const ColourChoice choice = choose_colour(tag, range, height, st.options);
    st.colour = choice.colour;
    std::string how = choice.text;
    if (yuv && (d->log2_chroma_w || d->log2_chroma_h)) how += ", chroma replicated";
    if (yuv && d->nb_components == 4) how += ", alpha composited on black";
    if ((yuv || gray) && max_depth(d) > 8 && st.options.keep_signal) {
        how += ", measured exactly from " + std::to_string(max_depth(d)) + " bits";
    }
    if (!yuv && !gray) how += ", converted by the scaler";
    describe_colour(source, d, how);
}

}  // namespace media_internal

namespace {

// The scaler, set for exact rounding and full chroma, from the frame's format to `target`.
SwsContext* scaler(MediaState& st, const AVFrame& frame, AVPixelFormat target) {
    st.scale.reset(sws_getCachedContext(
        st.scale.release(), frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
        frame.width, frame.height, target,
        SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT,
        nullptr, nullptr, nullptr));
    return st.scale.get();
}

}  // namespace

namespace media_internal {

bool keeps_decoded_planes(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && is_planar_yuv(d);
}

void convert_frame(MediaSource& source, const AVFrame& frame, PixelBuffer& pixels) {
    MediaState& st = *source.state;
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr) refuse(FailureKind::media_unknown_pixel_format, source.path);
    pixels = make_pixel_buffer(frame.width, frame.height);
    source.signal = SignalFrame{};
    source.planes = DecodedPlanes{};
    const bool keep_signal = st.options.keep_signal && max_depth(d) > 8;

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
            if (yuv && st.options.keep_planes) copy_decoded_planes(frame, source.planes);
            if (keep_signal) convert_yuv_to_signal(planes, st.colour, source.signal);
            return;
        }
        // Other YUV layouts (semi-planar, packed): the scaler with the chosen coefficients.
        SwsContext* ctx = scaler(st, frame, AV_PIX_FMT_BGR24);
        if (ctx == nullptr) refuse(FailureKind::media_cannot_convert, source.path);
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
    if (ctx == nullptr) refuse(FailureKind::media_cannot_convert, source.path);
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
        refuse(FailureKind::media_cannot_convert, source.path);
    }
    if (wide) {
        convert_rgba64_to_bgr(st.rgba.data(), frame.width * 4, frame.width, frame.height, pixels);
        if (keep_signal) {
            convert_rgba64_to_signal(st.rgba.data(), frame.width * 4, frame.width, frame.height,
                                     source.signal);
        }
    } else {
        const std::size_t row_bytes = static_cast<std::size_t>(frame.width) * 3;
        for (int y = 0; y < frame.height; ++y) {
            std::memcpy(pixels.bytes.data() +
                            static_cast<std::size_t>(frame.height - 1 - y) * pixels.stride,
                        st.bgr.data() + y * row_bytes, row_bytes);
        }
    }
}

}  // namespace media_internal

}  // namespace orv
