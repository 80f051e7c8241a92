#include "image/pixel_buffer.h"

namespace orv {

PixelBuffer make_pixel_buffer(int width, int height) {
    PixelBuffer buffer;
    buffer.width = width;
    buffer.height = height;
    buffer.stride = stride_for_width(width);
    buffer.bytes.assign(static_cast<std::size_t>(buffer.stride) * static_cast<std::size_t>(height),
                        0);
    return buffer;
}

}  // namespace orv
