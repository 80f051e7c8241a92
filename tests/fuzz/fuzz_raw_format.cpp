// Feeds arbitrary text to the raw-file arguments (--size, --fps, --pix-fmt) and arbitrary
// samples to the YUV to RGB conversion. Besides the sanitizers' checks it traps when an
// accepted size or rate is out of its range, when a frame's byte count is not positive, or
// when a conversion writes outside its frame.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/raw_format.h"
#include "media/yuv_to_rgb.h"
#include "tests/fuzz/fuzz_support.h"

using orv::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Three lines: size, rate, pixel format.
    const std::size_t a = text.find('\n');
    const std::size_t b = a == std::string::npos ? a : text.find('\n', a + 1);
    const std::string size_text = text.substr(0, a);
    const std::string rate_text = a == std::string::npos ? "" : text.substr(a + 1, b - a - 1);
    const std::string format_text = b == std::string::npos ? "" : text.substr(b + 1);

    orv::RawFormat raw;
    raw.pixel_format = format_text;
    if (const auto frame_size = orv::parse_frame_size(size_text)) {
        require(frame_size->width >= 1 && frame_size->width <= 32768);
        require(frame_size->height >= 1 && frame_size->height <= 32768);
        raw.width = frame_size->width;
        raw.height = frame_size->height;
    }
    if (const auto rate = orv::parse_frame_rate(rate_text)) {
        require(rate->num >= 1 && rate->den >= 1);
    }
    const long long bytes = orv::raw_frame_bytes(raw);
    require(bytes == -1 || (bytes > 0 && bytes <= 0x7FFFFFFFLL));

    // The same bytes as a small planar picture of any depth and subsampling.
    if (size < 4) return 0;
    orv::YuvPlanes planes;
    planes.width = 1 + data[0] % 9;
    planes.height = 1 + data[1] % 7;
    planes.depth = 8 + data[2] % 9;
    planes.chroma_shift_x = data[3] & 1;
    planes.chroma_shift_y = (data[3] >> 1) & 1;
    const bool alpha = (data[3] & 4) != 0;
    const int sample = planes.depth > 8 ? 2 : 1;
    const int cw = (planes.width + planes.chroma_shift_x) >> planes.chroma_shift_x;
    const int ch = (planes.height + planes.chroma_shift_y) >> planes.chroma_shift_y;
    std::vector<std::uint16_t> store[4];
    const int widths[4] = {planes.width, cw, cw, planes.width};
    const int heights[4] = {planes.height, ch, ch, planes.height};
    std::size_t next = 4;
    for (int p = 0; p < (alpha ? 4 : 3); ++p) {
        store[p].resize(static_cast<std::size_t>(widths[p]) * heights[p]);
        for (std::uint16_t& v : store[p]) {
            v = next < size ? static_cast<std::uint16_t>(data[next] * 257u + next) : 0;
            ++next;
        }
        if (sample == 1) {
            // Bytes: the low half of each word, packed.
            auto* bytes_view = reinterpret_cast<std::uint8_t*>(store[p].data());
            for (std::size_t i = 0; i < store[p].size(); ++i) {
                bytes_view[i] = static_cast<std::uint8_t>(store[p][i]);
            }
        }
        planes.planes[p] = reinterpret_cast<const std::uint8_t*>(store[p].data());
        planes.strides[p] = static_cast<std::ptrdiff_t>(widths[p]) * sample;
    }
    orv::YuvColour colour;
    colour.matrix = static_cast<orv::YuvMatrix>(data[0] % 3);
    colour.range = (data[1] & 1) ? orv::YuvRange::full : orv::YuvRange::limited;
    orv::PixelBuffer out = orv::make_pixel_buffer(planes.width, planes.height);
    orv::convert_yuv_to_bgr(planes, colour, out);
    require(out.bytes.size() ==
            static_cast<std::size_t>(out.stride) * static_cast<std::size_t>(planes.height));
    return 0;
}
