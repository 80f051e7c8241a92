#include "report/npy.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace orv {

static_assert(std::endian::native == std::endian::little,
              "the .npy writer stores doubles as they are in memory ('<f8')");

std::string npy_header(int rows, int columns) {
    std::string dict = "{'descr': '<f8', 'fortran_order': False, 'shape': (" +
                       std::to_string(rows) + ", " + std::to_string(columns) + "), }";
    // magic (6) + version (2) + header length (2) + dict + blanks + '\n' = multiple of 64.
    const std::size_t preamble = 10;
    std::size_t total = preamble + dict.size() + 1;
    const std::size_t padded = (total + 63) / 64 * 64;
    dict.append(padded - total, ' ');
    dict += '\n';
    const std::size_t length = dict.size();
    std::string header = "\x93NUMPY";
    header += '\x01';
    header += '\x00';
    header += static_cast<char>(length & 0xFF);
    header += static_cast<char>((length >> 8) & 0xFF);
    header += dict;
    return header;
}

std::string write_npy_map(const std::string& path, const InterleavedImage& map) {
    const int width = map.width;
    const int height = map.height;
    const std::size_t row = static_cast<std::size_t>(width);
    if (width <= 0 || height <= 0 || map.channels != 1 ||
        map.data.size() < row * static_cast<std::size_t>(height)) {
        return "no difference map to write";
    }
    // "x": created new, never opened when it exists.
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        return errno == EEXIST ? std::string("the file already exists")
                               : std::string(std::strerror(errno));
    }
    const std::string header = npy_header(height, width);
    bool written = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    // Stored row 0 is the bottom of the picture; the array starts with the top row.
    for (int y = height - 1; written && y >= 0; --y) {
        const double* source = map.data.data() + static_cast<std::size_t>(y) * row;
        written = std::fwrite(source, sizeof(double), row, file) == row;
    }
    int write_error = errno;
    if (std::fclose(file) != 0 && written) {
        write_error = errno;
        written = false;
    }
    if (!written) {
        std::remove(path.c_str());
        return std::strerror(write_error);
    }
    return "";
}

}  // namespace orv
