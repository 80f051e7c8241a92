#include "media/raw_format.h"

#include <charconv>
#include <cmath>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace orv {

namespace {

constexpr int max_side = 32768;

std::optional<int> parse_int(const char* first, const char* last, int low, int high) {
    if (first == last || *first == '+' || *first == '-') return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

std::optional<FrameSize> parse_frame_size(const std::string& text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return std::nullopt;
    const char* begin = text.data();
    const auto width = parse_int(begin, begin + x, 1, max_side);
    const auto height = parse_int(begin + x + 1, begin + text.size(), 1, max_side);
    if (!width || !height) return std::nullopt;
    return FrameSize{*width, *height};
}

std::optional<FrameRate> parse_frame_rate(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const std::size_t slash = text.find('/');
    if (slash != std::string::npos) {
        const auto num = parse_int(begin, begin + slash, 1, 1000000);
        const auto den = parse_int(begin + slash + 1, end, 1, 1000000);
        if (!num || !den) return std::nullopt;
        return FrameRate{*num, *den};
    }
    if (text.empty() || text[0] == '+' || text[0] == '-') return std::nullopt;
    double value = 0.0;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::fixed);
    if (error != std::errc() || stop != end || !(value > 0.0) || value > 1000000.0) {
        return std::nullopt;
    }
    // Thousandths are as fine as a rate is given ("29.97", "23.976").
    const double thousandths = std::round(value * 1000.0);
    if (thousandths < 1.0) return std::nullopt;
    FrameRate rate{static_cast<int>(thousandths), 1000};
    while (rate.den > 1 && rate.num % 10 == 0) {
        rate.num /= 10;
        rate.den /= 10;
    }
    return rate;
}

bool known_raw_pixel_format(const std::string& name) {
    const AVPixelFormat format = av_get_pix_fmt(name.c_str());
    if (format == AV_PIX_FMT_NONE) return false;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    return desc != nullptr &&
           (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)) == 0;
}

long long raw_frame_bytes(const RawFormat& format) {
    if (!known_raw_pixel_format(format.pixel_format)) return -1;
    if (format.width < 1 || format.height < 1 || format.width > max_side ||
        format.height > max_side) {
        return -1;
    }
    const int size = av_image_get_buffer_size(av_get_pix_fmt(format.pixel_format.c_str()),
                                              format.width, format.height, 1);
    return size > 0 ? size : -1;
}

}  // namespace orv
