#include "colour/display_rows.h"

#include <cstdint>

namespace orv {

void hlg_display_to_plane_rows(const PixelBuffer& pixels, const DisplayTable& scene_table,
                               const TransferParameters& p, const Matrix3& m, double* const* rows0,
                               double* const* rows1, double* const* rows2) {
    const int w = pixels.width;
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = pixels.bytes.data() + static_cast<std::size_t>(y) * pixels.stride;
        for (int x = 0; x < w; ++x) {
            double rgb[3] = {scene_table[0][row[3 * x + 2]], scene_table[1][row[3 * x + 1]],
                             scene_table[2][row[3 * x]]};
            hlg_ootf(p, rgb);
            rows0[y][x] = m[0] * rgb[0] + m[1] * rgb[1] + m[2] * rgb[2];
            rows1[y][x] = m[3] * rgb[0] + m[4] * rgb[1] + m[5] * rgb[2];
            rows2[y][x] = m[6] * rgb[0] + m[7] * rgb[1] + m[8] * rgb[2];
        }
    }
}

void signal_to_light(const TransferParameters& p, double rgb[3]) {
    for (int c = 0; c < 3; ++c) rgb[c] = channel_light(p, rgb[c]);
    if (p.transfer == DisplayTransfer::hlg) hlg_ootf(p, rgb);
}

void plane_rows_to_signal_bytes(PixelBuffer& out, const double* const* rows0,
                                const double* const* rows1, const double* const* rows2,
                                const TransferParameters& p, const Matrix3& q) {
    for (int y = 0; y < out.height; ++y) {
        std::uint8_t* row = out.bytes.data() + static_cast<std::size_t>(y) * out.stride;
        for (int x = 0; x < out.width; ++x) {
            const double a = rows0[y][x], t = rows1[y][x], d = rows2[y][x];
            double rgb[3] = {q[0] * a + q[1] * t + q[2] * d, q[3] * a + q[4] * t + q[5] * d,
                             q[6] * a + q[7] * t + q[8] * d};
            if (p.transfer == DisplayTransfer::hlg) hlg_inverse_ootf(p, rgb);
            for (int c = 0; c < 3; ++c) {
                const double s = channel_signal(p, rgb[c]) * 255.0;
                const auto byte =
                    static_cast<std::uint8_t>(s >= 255.0 ? 255.0 : (s > 0.0 ? s : 0.0));
                row[3 * x + 2 - c] = byte;
            }
        }
    }
}

void atd_row_to_ictcp(const Matrix3& q, const Matrix3& r, double white, int width, const double* a,
                      const double* t, const double* d, double* ictcp) {
    for (int x = 0; x < width; ++x) {
        const double xyz[3] = {q[0] * a[x] + q[1] * t[x] + q[2] * d[x],
                               q[3] * a[x] + q[4] * t[x] + q[5] * d[x],
                               q[6] * a[x] + q[7] * t[x] + q[8] * d[x]};
        const double rgb[3] = {white * (r[0] * xyz[0] + r[1] * xyz[1] + r[2] * xyz[2]),
                               white * (r[3] * xyz[0] + r[4] * xyz[1] + r[5] * xyz[2]),
                               white * (r[6] * xyz[0] + r[7] * xyz[1] + r[8] * xyz[2])};
        bt2020_to_ictcp(rgb, ictcp + 3 * static_cast<std::size_t>(x));
    }
}

void itp_difference_row(const double* reference, const double* sample, std::size_t count,
                        double* out) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = delta_e_itp_of(reference + 3 * i, sample + 3 * i);
    }
}

}  // namespace orv
