// A stream's display matrix turned into the picture's upright orientation, as FFmpeg's own
// tools apply it by default: the angle from the matrix, rounded to whole degrees, and its
// mirror images.

#include <cmath>
#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/display.h>
}

#include "media/media_internal.h"

namespace orv::media_internal {

Orientation display_orientation(const std::int32_t* matrix) {
    Orientation o;
    if (matrix == nullptr) return o;
    // Clockwise degrees in [0, 360).
    double theta = -std::round(av_display_rotation_get(matrix));
    theta -= 360.0 * std::floor(theta / 360.0 + 0.9 / 360.0);
    const auto near = [theta](double angle) { return std::fabs(theta - angle) < 1.0; };
    if (near(90)) {
        o.swap = true;
        if (matrix[3] > 0) {
            o.name = "transposed (display matrix: 90 degrees with a flip)";
        } else {
            o.flip_y = true;
            o.name = "rotated 90 degrees clockwise (display matrix)";
        }
    } else if (near(180)) {
        o.flip_x = matrix[0] < 0;
        o.flip_y = matrix[4] < 0;
        o.name = o.flip_x && o.flip_y ? "rotated 180 degrees (display matrix)"
                 : o.flip_x           ? "mirrored left to right (display matrix)"
                 : o.flip_y           ? "mirrored top to bottom (display matrix)"
                                      : "";
    } else if (near(270)) {
        o.swap = true;
        o.flip_x = true;
        if (matrix[3] < 0) {
            o.flip_y = true;
            o.name =
                "transposed across the other diagonal (display matrix: 270 degrees with a "
                "flip)";
        } else {
            o.name = "rotated 90 degrees counter-clockwise (display matrix)";
        }
    } else if (std::fabs(theta) < 1.0 && matrix[4] < 0) {
        o.flip_y = true;
        o.name = "mirrored top to bottom (display matrix)";
    }
    return o;
}

PixelBuffer orient_pixels(const PixelBuffer& in, const Orientation& o) {
    const int out_width = o.swap ? in.height : in.width;
    const int out_height = o.swap ? in.width : in.height;
    PixelBuffer out = make_pixel_buffer(out_width, out_height);
    // Coordinates from the top; the buffers' rows run bottom-up.
    for (int y = 0; y < out_height; ++y) {
        std::uint8_t* row = &out.bytes[static_cast<std::size_t>(out_height - 1 - y) * out.stride];
        for (int x = 0; x < out_width; ++x) {
            const int u = o.swap ? y : x;
            const int v = o.swap ? x : y;
            const int col = o.flip_x ? in.width - 1 - u : u;
            const int line = o.flip_y ? in.height - 1 - v : v;
            const std::uint8_t* from =
                &in.bytes[static_cast<std::size_t>(in.height - 1 - line) * in.stride +
                          3 * static_cast<std::size_t>(col)];
            std::uint8_t* to = row + 3 * static_cast<std::size_t>(x);
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
    return out;
}

SignalFrame orient_signal(const SignalFrame& in, const Orientation& o) {
    const int out_width = o.swap ? in.height : in.width;
    const int out_height = o.swap ? in.width : in.height;
    SignalFrame out = make_signal_frame(out_width, out_height);
    // The same turn as orient_pixels: coordinates from the top, rows stored bottom-up.
    for (int y = 0; y < out_height; ++y) {
        double* row = out.rgb.data() + 3 * static_cast<std::size_t>(out_height - 1 - y) *
                                           static_cast<std::size_t>(out_width);
        for (int x = 0; x < out_width; ++x) {
            const int u = o.swap ? y : x;
            const int v = o.swap ? x : y;
            const int col = o.flip_x ? in.width - 1 - u : u;
            const int line = o.flip_y ? in.height - 1 - v : v;
            const double* from = in.row(in.height - 1 - line) + 3 * static_cast<std::size_t>(col);
            double* to = row + 3 * static_cast<std::size_t>(x);
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
    return out;
}

}  // namespace orv::media_internal
