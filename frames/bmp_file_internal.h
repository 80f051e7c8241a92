#pragma once
// The writer with its byte sink passed in, so that a failing or short write (a full disk) can
// be produced in tests. write_bmp_frame uses the POSIX write call.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "frames/bmp_file.h"

namespace orv {

// Writes up to `size` bytes to `fd`; returns how many were written, or -1 with errno set.
using WriteBytes = std::function<long long(int fd, const std::uint8_t* data, std::size_t size)>;

int write_bmp_frame_with(const std::string& path, const PixelBuffer& pixels,
                         const HeaderBlock& header, FileMessage* message,
                         const WriteBytes& write_bytes);

}  // namespace orv
