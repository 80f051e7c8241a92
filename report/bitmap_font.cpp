#include "report/bitmap_font.h"

#include <array>
#include <cstdint>

namespace orv {

namespace {

// Seven rows per glyph, the top row first; bit 4 of a row is the leftmost column.
struct Glyph {
    char c;
    std::array<std::uint8_t, glyph_height> rows;
};

constexpr Glyph glyphs[] = {
    {'0', {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110}},
    {'1', {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {'2', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111}},
    {'3', {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110}},
    {'4', {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010}},
    {'5', {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110}},
    {'6', {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110}},
    {'7', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000}},
    {'8', {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110}},
    {'9', {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100}},
    {'.', {0b00000, 0b00000, 0b00000, 0b00000, 0b00000, 0b01100, 0b01100}},
    {'+', {0b00000, 0b00100, 0b00100, 0b11111, 0b00100, 0b00100, 0b00000}},
    {'-', {0b00000, 0b00000, 0b00000, 0b11111, 0b00000, 0b00000, 0b00000}},
    {'d', {0b00001, 0b00001, 0b01101, 0b10011, 0b10001, 0b10001, 0b01111}},
    {'E', {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b11111}},
};

const Glyph* find_glyph(char c) {
    for (const Glyph& g : glyphs) {
        if (g.c == c) return &g;
    }
    return nullptr;
}

}  // namespace

int text_width(std::string_view text, int scale) {
    if (text.empty()) return 0;
    return static_cast<int>(text.size()) * (glyph_width + 1) * scale - scale;
}

void draw_text(RgbImage& image, int x, int y, std::string_view text, int scale, Rgb colour) {
    for (char c : text) {
        if (const Glyph* g = find_glyph(c)) {
            for (int row = 0; row < glyph_height; ++row) {
                for (int col = 0; col < glyph_width; ++col) {
                    if ((g->rows[static_cast<std::size_t>(row)] >> (glyph_width - 1 - col)) & 1) {
                        fill_rectangle(image, x + col * scale, y + row * scale, scale, scale,
                                       colour);
                    }
                }
            }
        }
        x += (glyph_width + 1) * scale;
    }
}

}  // namespace orv
