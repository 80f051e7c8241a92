// Feeds arbitrary bytes to the BMP reader. Besides the sanitizers' checks it traps when a
// result breaks the reader's promises: a frame whose geometry, layout or header block is
// inconsistent, a refusal that is not -2 with a message or that wrote the out values, or a
// different answer for the prefix that the file reader reads (the bytes up to the end of the
// pixel data the headers announce).

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/bmp_file.h"
#include "image/bmp_file_internal.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using orv::fuzz::require;

std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void check_frame(const std::uint8_t* data, std::size_t size, int result,
                 const orv::PixelBuffer& pixels, const orv::HeaderBlock& header) {
    require(result == pixels.stride);
    require(pixels.width > 0 && pixels.height > 0);
    require(pixels.stride == orv::stride_for_width(pixels.width));
    require(pixels.bytes.size() ==
            static_cast<std::size_t>(pixels.stride) * static_cast<std::size_t>(pixels.height));
    require(header.size() == orv::header_block_size);
    require(u32(header.data()) == 40);
    require(header[14] == 24 && header[15] == 0);
    require(u32(header.data() + 40) == 0);
    require(orv::header_width(header) == pixels.width);
    require(orv::header_height(header) == pixels.height);
    // The block is the file's information header apart from its size and bit-count fields.
    require(size >= 54);
    require(std::memcmp(header.data() + 4, data + 18, 10) == 0);
    require(std::memcmp(header.data() + 16, data + 30, 24) == 0);
    // Row filler bytes are 0.
    const std::size_t used = 3 * static_cast<std::size_t>(pixels.width);
    for (int r = 0; r < pixels.height; ++r) {
        const std::uint8_t* row = pixels.bytes.data() + static_cast<std::size_t>(r) * pixels.stride;
        for (std::size_t b = used; b < static_cast<std::size_t>(pixels.stride); ++b) {
            require(row[b] == 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::PixelBuffer pixels;
    orv::HeaderBlock header;
    orv::Failure message;
    const int result = orv::read_bmp_bytes(data, size, "fuzz.bmp", pixels, header, &message);
    if (result > 0) {
        check_frame(data, size, result, pixels, header);
    } else {
        require(result == -2);
        require(message.path == "fuzz.bmp");
        require(pixels.bytes.empty() && pixels.width == 0 && header.empty());
    }

    orv::BmpLayout layout;
    const std::size_t head = size < 54 ? size : 54;
    if (!orv::check_bmp_headers(data, head, size, layout)) {
        require(layout.pixel_end <= size);
        orv::PixelBuffer prefix_pixels;
        orv::HeaderBlock prefix_header;
        orv::Failure prefix_message;
        const int prefix_result =
            orv::read_bmp_bytes(data, static_cast<std::size_t>(layout.pixel_end), "fuzz.bmp",
                                prefix_pixels, prefix_header, &prefix_message);
        require(prefix_result == result);
        require(prefix_pixels.bytes == pixels.bytes && prefix_header == header);
        require(prefix_message.kind == message.kind);
    } else {
        require(result == -2);
    }
    return 0;
}
