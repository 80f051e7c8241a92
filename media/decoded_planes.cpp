#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "media/media_internal.h"

namespace orv::media_internal {

void copy_decoded_planes(const AVFrame& frame, DecodedPlanes& out) {
    out = DecodedPlanes{};
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    out.format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format));
    out.depth = d->comp[0].depth;
    const bool wide = out.depth > 8;
    for (int c = 0; c < 3; ++c) {
        DecodedPlane plane;
        // Chroma planes round their size up, as the decoder lays them out.
        const int shift_x = c == 0 ? 0 : d->log2_chroma_w;
        const int shift_y = c == 0 ? 0 : d->log2_chroma_h;
        plane.width = -((-frame.width) >> shift_x);
        plane.height = -((-frame.height) >> shift_y);
        plane.samples.resize(static_cast<std::size_t>(plane.width) * plane.height);
        for (int y = 0; y < plane.height; ++y) {
            const std::uint8_t* in =
                frame.data[c] + static_cast<std::ptrdiff_t>(y) * frame.linesize[c];
            std::uint16_t* row = plane.samples.data() + static_cast<std::size_t>(y) * plane.width;
            if (wide) {
                std::memcpy(row, in, static_cast<std::size_t>(plane.width) * 2);
            } else {
                for (int x = 0; x < plane.width; ++x) row[x] = in[x];
            }
        }
        out.planes.push_back(std::move(plane));
    }
}

}  // namespace orv::media_internal
