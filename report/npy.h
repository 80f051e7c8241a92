#pragma once
// NumPy .npy files (format 1.0) of one-channel maps of doubles.

#include <string>

#include "colour/colour_types.h"

namespace orv {

// The .npy header for little-endian doubles of shape (rows, columns), C order, padded with
// blanks and a line end so that the data starts at a multiple of 64 bytes.
std::string npy_header(int rows, int columns);

// Writes a one-channel map (rows stored bottom-up, as frames are) as a (height, width) array
// whose first row is the top row of the picture. The file is created new: an existing file
// is never touched, and a failed write leaves no file. Returns "" or the reason it failed.
std::string write_npy_map(const std::string& path, const InterleavedImage& map);

}  // namespace orv
