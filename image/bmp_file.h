#pragma once
// Reading and writing BMP files (24-bit, or 8-bit with a colour table, uncompressed).
// The library shows nothing: a refusal is returned as a Failure (path, kind, the system's
// reason) that the caller presents (a message box in the GUI, a line in the batch tool).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"
#include "numeric/failure.h"

namespace orv {

// 44 bytes: the file's 40-byte information header with bit count 24, then 4 zero bytes.
// Empty means "null".
using HeaderBlock = std::vector<std::uint8_t>;

constexpr int header_block_size = 44;

int header_width(const HeaderBlock& header);
int header_height(const HeaderBlock& header);

// Largest frame buffer (stride * height) the reader builds and the writer accepts; it keeps
// every size of a written file within its 32-bit fields.
inline constexpr long long max_frame_bytes = 0x7FFFFFFFLL - 54;

// Returns the frame stride (> 0), -1 when the file cannot be opened, -2 when it is not a
// usable 24- or 8-bit BMP. On failure `pixels` and `header` are untouched.
int read_bmp_frame(const std::string& path, PixelBuffer& pixels, HeaderBlock& header,
                   Failure* failure = nullptr);

// The same from bytes already in memory (`path` only names the file in the message).
int read_bmp_bytes(const std::uint8_t* data, std::size_t size, const std::string& path,
                   PixelBuffer& pixels, HeaderBlock& header, Failure* failure = nullptr);

// Returns 0 when written, -2 when the file cannot be created (it exists, or the write failed;
// no partial file is left behind). An existing file is never touched.
int write_bmp_frame(const std::string& path, const PixelBuffer& pixels, const HeaderBlock& header,
                    Failure* failure = nullptr);

}  // namespace orv
