#pragma once
// The writer with its byte sink passed in, so that a failing or short write (a full disk) can
// be produced in tests. write_bmp_frame uses the POSIX write call.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "image/bmp_file.h"

namespace orv {

// Writes up to `size` bytes to `fd`; returns how many were written, or -1 with errno set.
using WriteBytes = std::function<long long(int fd, const std::uint8_t* data, std::size_t size)>;

// Where the parts of an accepted file lie.
struct BmpLayout {
    int bits = 0;
    int width = 0;
    int height = 0;
    long long frame_stride = 0;
    long long source_row = 0;
    std::uint64_t headers_end = 0;  // 14 + information header size: the colour table
    std::uint64_t pixel_offset = 0;
    std::uint64_t pixel_end = 0;  // end of the last row's pixels (its filler not needed)
    unsigned table_entries = 0;   // 8-bit files: colour-table entries the file holds
};

// Judges a file of `file_size` bytes from its first min(54, file_size) bytes `head`: nullptr
// and `layout` filled when its headers are usable, otherwise the kind of the refusal. The
// reader looks at no byte at or beyond layout.pixel_end.
std::optional<FailureKind> check_bmp_headers(const std::uint8_t* head, std::size_t head_size,
                                             std::uint64_t file_size, BmpLayout& layout);

int write_bmp_frame_with(const std::string& path, const PixelBuffer& pixels,
                         const HeaderBlock& header, Failure* failure,
                         const WriteBytes& write_bytes);

}  // namespace orv
