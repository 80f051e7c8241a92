#pragma once
// PNG files of RGB pictures (libpng's simplified interface, 8 bits per channel).

#include <string>

#include "report/rgb_image.h"

namespace orv {

// The picture as the bytes of a PNG file; raises Failure when libpng refuses it.
std::string encode_png(const RgbImage& image);

// Writes bytes to a file created new: an existing file is never touched, and a failed write
// leaves no file. Returns "" or the reason it failed.
std::string write_new_file(const std::string& path, const std::string& bytes);

// Base64 (RFC 4648, with padding) of the bytes, for data: URLs.
std::string base64(const std::string& bytes);

}  // namespace orv
