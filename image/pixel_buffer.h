#pragma once
// A 24-bit frame buffer: bytes blue, green, red per pixel; rows bottom-up as in a BMP file,
// each `stride` bytes (width * 3 raised to a multiple of 4), filler bytes 0.
// An empty buffer (no bytes) is the "null" slot. Every buffer carries its own geometry, so
// code that reads or writes it never relies on another slot's width, height or stride.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/spill_memory.h"

namespace orv {

struct PixelBuffer {
    int width = 0;
    int height = 0;
    int stride = 0;
    // stride * height, or empty for "null". Heap memory unless moved into a temporary file
    // (image/spill_memory.h) by a program that keeps many frames.
    SpillVector<std::uint8_t> bytes;
};

// width * 3 raised to the next multiple of 4.
inline int stride_for_width(int width) {
    int n = width * 3;
    return (n % 4 != 0) ? n - (n % 4) + 4 : n;
}

inline bool is_present(const PixelBuffer& buffer) { return !buffer.bytes.empty(); }

// A zero-filled buffer of the given geometry.
PixelBuffer make_pixel_buffer(int width, int height);

}  // namespace orv
