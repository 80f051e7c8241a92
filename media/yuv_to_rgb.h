#pragma once
// Y'CbCr to 24-bit R'G'B' by the formula: the matrix (BT.601, BT.709, BT.2020 non-constant
// luminance), the range (limited or full) and the bit depth fix E'Y, E'Pb, E'Pr; R', G', B'
// follow from Kr and Kb; each 8-bit value is 255 * R' rounded to nearest and clipped to 0-255.
// Chroma of subsampled pictures is replicated to the luma samples it covers (no interpolation),
// so every pixel uses the one chroma sample whose area holds it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/pixel_buffer.h"
#include "image/signal_frame.h"

namespace orv {

enum class YuvMatrix { bt601, bt709, bt2020 };
enum class YuvRange { limited, full };

struct YuvColour {
    YuvMatrix matrix = YuvMatrix::bt601;
    YuvRange range = YuvRange::limited;
};

// "BT.601", "BT.709", "BT.2020"; "limited", "full".
const char* matrix_name(YuvMatrix matrix);
const char* range_name(YuvRange range);

// Kr and Kb of a matrix.
struct LumaWeights {
    double kr = 0.0;
    double kb = 0.0;
};
LumaWeights luma_weights(YuvMatrix matrix);

// A planar picture in memory, top row first. Samples of depth 8 are bytes; deeper samples are
// 16-bit words in the machine's order holding the value in their low `depth` bits.
struct YuvPlanes {
    int width = 0;           // luma samples
    int height = 0;          // luma rows
    int depth = 8;           // 8 to 16 bits
    int chroma_shift_x = 0;  // 1: half the luma columns (4:2:2, 4:2:0)
    int chroma_shift_y = 0;  // 1: half the luma rows (4:2:0, 4:4:0)
    const std::uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};  // Y, Cb, Cr, alpha
    std::ptrdiff_t strides[4] = {0, 0, 0, 0};                              // bytes per row
};

// Writes the picture into `out` (already width x height), rows bottom-up as a BMP frame.
// An alpha plane composites the picture on black. Values above the depth's range count as
// the largest one.
void convert_yuv_to_bgr(const YuvPlanes& planes, const YuvColour& colour, PixelBuffer& out);

// 16-bit R, G, B, A words (machine order), top row first, composited on black and rounded to
// 8 bits: round(value * alpha / (65535 * 257)).
void convert_rgba64_to_bgr(const std::uint16_t* pixels, std::ptrdiff_t stride_words, int width,
                           int height, PixelBuffer& out);

// The exact signal of deeper pictures: the same formula without rounding, each value clipped
// to [0, 1] (alpha composites on black).
void convert_yuv_to_signal(const YuvPlanes& planes, const YuvColour& colour, SignalFrame& out);

// 16-bit RGBA words as above to signal values: value * alpha / 65535^2.
void convert_rgba64_to_signal(const std::uint16_t* pixels, std::ptrdiff_t stride_words, int width,
                              int height, SignalFrame& out);

}  // namespace orv
