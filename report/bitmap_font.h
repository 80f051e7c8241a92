#pragma once
// A 5 x 7 pixel font of the few characters the heatmaps' colour-bar labels need:
// the digits, ".", "+", "-", "d" and "E". Other characters are drawn as blanks.

#include <string_view>

#include "report/rgb_image.h"

namespace orv {

constexpr int glyph_width = 5;
constexpr int glyph_height = 7;

// Width of `text` drawn at `scale` (each font pixel a scale x scale square, one blank font
// column between characters).
int text_width(std::string_view text, int scale);

// Draws `text` with its top-left corner at (x, y); pixels outside the picture are skipped.
void draw_text(RgbImage& image, int x, int y, std::string_view text, int scale, Rgb colour);

}  // namespace orv
