#include "tests/support/bmp_builder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace orv::test {

namespace {

bool has_colour_table(const BmpSpec& spec) { return spec.bits_per_pixel <= 8; }

std::vector<ColourEntry> table_of(const BmpSpec& spec) {
    if (!has_colour_table(spec) || !spec.write_colour_table) return {};
    return spec.colour_table.empty() ? default_colour_table() : spec.colour_table;
}

}  // namespace

std::size_t source_row_pixels(int width, int bits_per_pixel) {
    if (width <= 0 || bits_per_pixel <= 0) return 0;
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits_per_pixel) + 7) / 8;
}

std::size_t source_row_bytes(int width, int bits_per_pixel) {
    const std::size_t n = source_row_pixels(width, bits_per_pixel);
    return (n + 3) / 4 * 4;
}

std::vector<ColourEntry> default_colour_table() {
    std::vector<ColourEntry> table(256);
    for (int k = 0; k < 256; ++k) {
        table[k] = {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(255 - k),
                    static_cast<std::uint8_t>((7 * k) % 256), 0x5A};
    }
    return table;
}

Bytes pattern_rows(const BmpSpec& spec) {
    const std::size_t row = source_row_pixels(spec.width, spec.bits_per_pixel);
    const std::size_t rows = spec.height > 0 ? static_cast<std::size_t>(spec.height) : 0;
    Bytes out(row * rows);
    const std::size_t entries = table_of(spec).size();
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t b = 0; b < row; ++b) {
            std::uint8_t value = static_cast<std::uint8_t>(r * 31 + b * 7 + 1);
            if (spec.bits_per_pixel == 8 && entries > 0) {
                value = static_cast<std::uint8_t>((r * 3 + b * 5) % entries);
            }
            out[r * row + b] = value;
        }
    }
    return out;
}

std::uint32_t get_u32(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes.at(offset)) |
           (static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8) |
           (static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16) |
           (static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24);
}

std::uint16_t get_u16(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

void put_u32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void put_u16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

Bytes make_bmp(const BmpSpec& spec) {
    const bool core = spec.header_size == 12;
    const std::vector<ColourEntry> table = table_of(spec);
    const std::size_t entry_size = core ? 3 : 4;
    const std::size_t row = source_row_pixels(spec.width, spec.bits_per_pixel);
    const std::size_t row_bytes = source_row_bytes(spec.width, spec.bits_per_pixel);
    const std::size_t rows = spec.height > 0 ? static_cast<std::size_t>(spec.height) : 0;
    const Bytes pixels = spec.pixels.empty() ? pattern_rows(spec) : spec.pixels;
    if (pixels.size() != row * rows) throw std::invalid_argument("pixels do not match the size");

    Bytes out(14 + spec.header_size, 0);
    const std::int32_t height_field = spec.top_down ? -spec.height : spec.height;
    if (core) {
        put_u32(out, 14, 12);
        put_u16(out, 18, static_cast<std::uint16_t>(spec.width));
        put_u16(out, 20, static_cast<std::uint16_t>(height_field));
        put_u16(out, 22, spec.planes);
        put_u16(out, 24, static_cast<std::uint16_t>(spec.bits_per_pixel));
    } else {
        if (spec.header_size < 16) throw std::invalid_argument("header too small to build");
        put_u32(out, 14, spec.header_size);
        put_u32(out, 18, static_cast<std::uint32_t>(spec.width));
        put_u32(out, 22, static_cast<std::uint32_t>(height_field));
        put_u16(out, 26, spec.planes);
        put_u16(out, 28, static_cast<std::uint16_t>(spec.bits_per_pixel));
        // Shorter headers hold only the fields that fit.
        const std::uint32_t fields[] = {
            spec.compression,
            spec.image_size.value_or(static_cast<std::uint32_t>(row_bytes * rows)),
            static_cast<std::uint32_t>(spec.x_resolution),
            static_cast<std::uint32_t>(spec.y_resolution),
            spec.colours_used,
            spec.colours_important};
        for (std::size_t i = 0; i < 6 && 14 + 16 + 4 * i + 4 <= out.size(); ++i) {
            put_u32(out, 30 + 4 * i, fields[i]);
        }
        // Fields of the longer headers (masks, colour space, ...): a marker pattern.
        for (std::size_t i = 54; i < out.size(); ++i)
            out[i] = static_cast<std::uint8_t>(0xC0 + i % 16);
    }
    for (const ColourEntry& entry : table)
        out.insert(out.end(), entry.begin(), entry.begin() + entry_size);
    out.insert(out.end(), spec.gap, spec.gap_byte);
    const std::size_t offset = out.size();
    for (std::size_t r = 0; r < rows; ++r) {
        out.insert(out.end(), pixels.begin() + r * row, pixels.begin() + (r + 1) * row);
        if (!(spec.omit_last_filler && r + 1 == rows))
            out.insert(out.end(), row_bytes - row, spec.filler);
    }

    out[0] = static_cast<std::uint8_t>(spec.signature[0]);
    out[1] = static_cast<std::uint8_t>(spec.signature[1]);
    put_u32(out, 2, spec.file_size_field.value_or(static_cast<std::uint32_t>(out.size())));
    put_u32(out, 10, spec.pixel_offset.value_or(static_cast<std::uint32_t>(offset)));
    return out;
}

Bytes expected_frame(const BmpSpec& spec) {
    if (spec.bits_per_pixel != 24 && spec.bits_per_pixel != 8) throw std::invalid_argument("depth");
    const std::size_t width = static_cast<std::size_t>(spec.width);
    const std::size_t rows = static_cast<std::size_t>(spec.height);
    const std::size_t stride = (width * 3 + 3) / 4 * 4;
    const std::size_t row = source_row_pixels(spec.width, spec.bits_per_pixel);
    const Bytes pixels = spec.pixels.empty() ? pattern_rows(spec) : spec.pixels;
    const std::vector<ColourEntry> table = table_of(spec);
    Bytes frame(stride * rows, 0);
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t x = 0; x < width; ++x) {
            for (std::size_t c = 0; c < 3; ++c) {
                frame[r * stride + 3 * x + c] = spec.bits_per_pixel == 24
                                                    ? pixels[r * row + 3 * x + c]
                                                    : table.at(pixels[r * row + x])[c];
            }
        }
    }
    return frame;
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace orv::test
