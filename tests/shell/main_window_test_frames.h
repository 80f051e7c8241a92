#pragma once
// Frames put straight into a store for the main-window and pane tests.

#include <cstdint>
#include <memory>
#include <string>

#include "image/bmp_file.h"
#include "shell/frame_store.h"
#include "tests/support/bmp_builder.h"

namespace orv::test {

inline std::unique_ptr<FrameStore> fresh_store() { return std::make_unique<FrameStore>(); }

// A width x height frame whose every byte is `fill`, read through the BMP reader so that its
// header block is the real one.
inline void read_test_frame(int width, int height, std::uint8_t fill, PixelBuffer& pixels,
                            HeaderBlock& header) {
    BmpSpec spec;
    spec.width = width;
    spec.height = height;
    spec.pixels.assign(source_row_pixels(width, 24) * static_cast<std::size_t>(height), fill);
    const Bytes bytes = make_bmp(spec);
    read_bmp_bytes(bytes.data(), bytes.size(), "test.bmp", pixels, header);
}

inline void put_reference_frame(FrameStore& store, int slot, int width, int height,
                                std::uint8_t fill = 0x40) {
    read_test_frame(width, height, fill, store.reference_pixels[slot], store.frame_headers[slot]);
    store.frame_width[slot] = width;
    store.frame_height[slot] = height;
    store.frame_stride[slot] = store.reference_pixels[slot].stride;
}

inline void put_degraded_frame(FrameStore& store, int slot, int width, int height,
                               std::uint8_t fill = 0x80) {
    read_test_frame(width, height, fill, store.degraded_pixels[slot], store.frame_headers[slot]);
    store.frame_width[slot] = width;
    store.frame_height[slot] = height;
    store.frame_stride[slot] = store.degraded_pixels[slot].stride;
}

// A reference sequence of `count` frames, opened as the Open command leaves it.
inline void open_reference(FrameStore& store, int count, int width = 4, int height = 3) {
    for (int i = 0; i < count; ++i) {
        put_reference_frame(store, i, width, height, static_cast<std::uint8_t>(0x10 + i));
    }
    store.reference_count = count;
    store.image_loaded = 1;
    store.current_frame = 0;
}

// Sets the pixel at column x, row y from the top of `buffer`.
inline void set_pixel(PixelBuffer& buffer, int x, int y, std::uint8_t blue, std::uint8_t green,
                      std::uint8_t red) {
    const std::size_t offset =
        static_cast<std::size_t>(buffer.height - 1 - y) * static_cast<std::size_t>(buffer.stride) +
        3 * static_cast<std::size_t>(x);
    buffer.bytes[offset] = blue;
    buffer.bytes[offset + 1] = green;
    buffer.bytes[offset + 2] = red;
}

}  // namespace orv::test
