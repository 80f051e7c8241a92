#pragma once
// The planes of a decoded YUV picture as the decoder gave them, before any conversion to RGB:
// luma first, then the two chroma planes at their own (possibly subsampled) size, every
// sample as stored (8 to 16 bits), top row first. Used to measure PSNR and SSIM on the coded
// values themselves. An empty record means "not kept".

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

struct DecodedPlane {
    int width = 0;
    int height = 0;
    std::vector<std::uint16_t> samples;  // sample (x, y) at y * width + x

    const std::uint16_t* row(int y) const {
        return samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
};

struct DecodedPlanes {
    std::string format;  // the decoder's pixel format name, e.g. "yuv420p10le"
    int depth = 8;       // bits per sample as stored
    std::vector<DecodedPlane> planes;

    bool present() const { return !planes.empty(); }
};

}  // namespace orv
