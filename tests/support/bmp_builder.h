#pragma once
// Builds BMP files in memory with any header fields, for tests of the BMP reader and of the
// code that loads frame sequences.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv::test {

using Bytes = std::vector<std::uint8_t>;
using ColourEntry = std::array<std::uint8_t, 4>;  // blue, green, red, reserved

struct BmpSpec {
    int width = 4;
    int height = 3;  // rows of pixels; stored negated when top_down
    bool top_down = false;
    int bits_per_pixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t header_size = 40;  // 12 (core layout), 40, 64, 108, 124, or anything else
    std::uint16_t planes = 1;
    std::optional<std::uint32_t> image_size;  // default: source row * height
    std::int32_t x_resolution = 2835;
    std::int32_t y_resolution = 2835;
    std::uint32_t colours_used = 0;
    std::uint32_t colours_important = 0;
    // Colour table written after the headers (files of 8 bits or fewer). Empty: for such
    // files, the 256-entry default_colour_table(). Core headers store 3-byte entries.
    std::vector<ColourEntry> colour_table;
    bool write_colour_table = true;
    std::size_t gap = 0;  // extra bytes between headers (and table) and pixels
    std::uint8_t gap_byte = 0xEE;
    std::uint8_t filler = 0;  // value of each row's filler bytes
    // Rows in file order, each source_row_pixels() bytes (no filler). Empty: pattern_rows().
    Bytes pixels;
    bool omit_last_filler = false;                 // end the file right after the last pixel
    std::optional<std::uint32_t> pixel_offset;     // default: where the pixels are put
    std::optional<std::uint32_t> file_size_field;  // default: the real size
    std::array<char, 2> signature = {'B', 'M'};
};

// Bytes of pixel data in one source row, without and with its filler.
std::size_t source_row_pixels(int width, int bits_per_pixel);
std::size_t source_row_bytes(int width, int bits_per_pixel);

// Entry k = blue k, green 255 - k, red 7k mod 256, reserved 0x5A.
std::vector<ColourEntry> default_colour_table();

// The rows make_bmp writes when spec.pixels is empty: 8-bit indices cycle through the table
// actually written, other depths get a byte pattern that differs per row and column.
Bytes pattern_rows(const BmpSpec& spec);

Bytes make_bmp(const BmpSpec& spec);

// The 24-bit frame the reader should give for a file of 24 or 8 bits built from `spec`:
// stride = width * 3 raised to a multiple of 4, rows in file order, filler 0.
Bytes expected_frame(const BmpSpec& spec);

std::uint32_t get_u32(const Bytes& bytes, std::size_t offset);
std::uint16_t get_u16(const Bytes& bytes, std::size_t offset);
void put_u32(Bytes& bytes, std::size_t offset, std::uint32_t value);
void put_u16(Bytes& bytes, std::size_t offset, std::uint16_t value);

void write_file(const std::string& path, const Bytes& bytes);
Bytes read_file(const std::string& path);

}  // namespace orv::test
