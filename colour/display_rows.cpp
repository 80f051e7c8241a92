#include "colour/display_rows.h"

#include <array>
#include <cstdint>

#include "numeric/processor.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace orv {

namespace {

// Each channel's display value times the three matrix entries it meets, for one byte value;
// padded to four so that one load fetches all three.
struct Products {
    double to0, to1, to2, padding;
};

// The opponent values of pixels [x, w) of one row, one pixel at a time: the three channels'
// products added in the order m[0] * r + m[1] * g + m[2] * b does.
void table_pixels(const Products* red, const Products* green, const Products* blue,
                  const std::uint8_t* row, int x, int w, double* p0, double* p1, double* p2) {
    for (; x < w; ++x) {
        const Products& b = blue[row[3 * x]];
        const Products& g = green[row[3 * x + 1]];
        const Products& r = red[row[3 * x + 2]];
        p0[x] = r.to0 + g.to0 + b.to0;
        p1[x] = r.to1 + g.to1 + b.to1;
        p2[x] = r.to2 + g.to2 + b.to2;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same sums, four pixels at a time: each pixel's three sums in one vector (red plus green,
// then plus blue, lane by lane, so the same doubles), the four vectors transposed into a run
// of four values of each plane. Plain stores: the planes are filtered right after, and on
// the machines measured streaming stores past the cache cost four to seven times as much.
[[gnu::target("avx2")]] void table_row_avx2(const Products* red, const Products* green,
                                            const Products* blue, const std::uint8_t* row, int w,
                                            double* p0, double* p1, double* p2) {
    int x = 0;
    for (; x + 3 < w; x += 4) {
        __m256d v[4];
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t* px = row + 3 * (x + k);
            const __m256d r = _mm256_loadu_pd(&red[px[2]].to0);
            const __m256d g = _mm256_loadu_pd(&green[px[1]].to0);
            const __m256d b = _mm256_loadu_pd(&blue[px[0]].to0);
            v[k] = _mm256_add_pd(_mm256_add_pd(r, g), b);
        }
        const __m256d lo01 = _mm256_unpacklo_pd(v[0], v[1]);  // 0 of pixels 0, 1; 2 of 0, 1
        const __m256d hi01 = _mm256_unpackhi_pd(v[0], v[1]);  // 1 of pixels 0, 1; padding
        const __m256d lo23 = _mm256_unpacklo_pd(v[2], v[3]);
        const __m256d hi23 = _mm256_unpackhi_pd(v[2], v[3]);
        _mm256_storeu_pd(p0 + x, _mm256_permute2f128_pd(lo01, lo23, 0x20));
        _mm256_storeu_pd(p1 + x, _mm256_permute2f128_pd(hi01, hi23, 0x20));
        _mm256_storeu_pd(p2 + x, _mm256_permute2f128_pd(lo01, lo23, 0x31));
    }
    table_pixels(red, green, blue, row, x, w, p0, p1, p2);
}

#endif

}  // namespace

void display_to_plane_rows(const PixelBuffer& pixels, const DisplayTable& table, const Matrix3& m,
                           double* const* rows0, double* const* rows1, double* const* rows2) {
    // Each channel's display value times the matrix column it meets, for every byte: the
    // pixel loop looks the products up instead of forming them.
    std::array<std::array<Products, 256>, 3> products;  // red, green, blue
    for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t d = 0; d < 256; ++d) {
            const double v = table[c][d];
            products[c][d] = {m[c] * v, m[3 + c] * v, m[6 + c] * v, 0.0};
        }
    }
    const Products* red = products[0].data();
    const Products* green = products[1].data();
    const Products* blue = products[2].data();
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = pixels.bytes.data() + static_cast<std::size_t>(y) * pixels.stride;
#if defined(__x86_64__) && defined(__GNUC__)
        if (processor_has_avx2()) {
            table_row_avx2(red, green, blue, row, pixels.width, rows0[y], rows1[y], rows2[y]);
            continue;
        }
#endif
        table_pixels(red, green, blue, row, 0, pixels.width, rows0[y], rows1[y], rows2[y]);
    }
}

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
