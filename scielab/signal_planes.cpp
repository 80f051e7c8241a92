#include "scielab/signal_planes.h"

#include <algorithm>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "colour/signal_light.h"
#include "colour/signal_rows.h"
#include "numeric/failure.h"
#include "numeric/processor.h"

namespace orv {

void check_signal(const SignalFrame* signal, const PixelBuffer& frame) {
    if (signal == nullptr || !signal->present()) return;
    const std::size_t count =
        3 * static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    if (signal->width != frame.width || signal->height != frame.height ||
        signal->rgb.size() != count) {
        raise_failure(FailureKind::frame_sizes_differ, {},
                      {std::to_string(frame.width), std::to_string(frame.height),
                       std::to_string(signal->width), std::to_string(signal->height)});
    }
}

namespace {

// The matrix of n pixels' light (red, green and blue arrays) into the three opponent rows.
void opponent_piece_plain(const Matrix3& m, const double* const rgb[3], int n, double* a, double* t,
                          double* d) {
    const double* r = rgb[0];
    const double* g = rgb[1];
    const double* b = rgb[2];
    for (int x = 0; x < n; ++x) {
        a[x] = m[0] * r[x] + m[1] * g[x] + m[2] * b[x];
        t[x] = m[3] * r[x] + m[4] * g[x] + m[5] * b[x];
        d[x] = m[6] * r[x] + m[7] * g[x] + m[8] * b[x];
    }
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
// Four pixels at a time, the same operations in the same order, so the same doubles.
[[gnu::target("avx2")]] void opponent_piece_avx2(const Matrix3& m, const double* const rgb[3],
                                                 int n, double* a, double* t, double* d) {
    __m256d k[9];
    for (int i = 0; i < 9; ++i) k[i] = _mm256_set1_pd(m[static_cast<std::size_t>(i)]);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m256d r = _mm256_loadu_pd(rgb[0] + x);
        const __m256d g = _mm256_loadu_pd(rgb[1] + x);
        const __m256d b = _mm256_loadu_pd(rgb[2] + x);
        double* out[3] = {a, t, d};
        for (int row = 0; row < 3; ++row) {
            const __m256d sum = _mm256_add_pd(
                _mm256_add_pd(_mm256_mul_pd(k[3 * row], r), _mm256_mul_pd(k[3 * row + 1], g)),
                _mm256_mul_pd(k[3 * row + 2], b));
            _mm256_storeu_pd(out[row] + x, sum);
        }
    }
    const double* rest[3] = {rgb[0] + x, rgb[1] + x, rgb[2] + x};
    opponent_piece_plain(m, rest, n - x, a + x, t + x, d + x);
}
#endif

void opponent_piece(const Matrix3& m, const double* const rgb[3], int n, double* a, double* t,
                    double* d) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    if (processor_has_avx2()) {
        opponent_piece_avx2(m, rgb, n, a, t, d);
        return;
    }
#endif
    opponent_piece_plain(m, rgb, n, a, t, d);
}

}  // namespace

void signal_to_plane_rows(const SignalFrame& signal, const ColourModel& colour,
                          double* const* rows0, double* const* rows1, double* const* rows2) {
    const Matrix3& m = colour.rgb_to_atd;
    const SignalLight light =
        make_signal_light(colour.display_model, colour.transfer, colour.display_table);
    // A row in pieces whose light stays in the first-level cache for the matrix.
    constexpr int piece = 256;
    std::vector<double> work(3 * piece);
    double* const rgb[3] = {work.data(), work.data() + piece, work.data() + 2 * piece};
    for (int y = 0; y < signal.height; ++y) {
        const double* row = signal.row(y);
        if (signal_row_to_planes(light, m, row, signal.width, rows0[y], rows1[y], rows2[y])) {
            continue;
        }
        for (int start = 0; start < signal.width; start += piece) {
            const int n = std::min(piece, signal.width - start);
            signal_row_to_light(light, row + 3 * static_cast<std::size_t>(start), n, rgb);
            opponent_piece(m, rgb, n, rows0[y] + start, rows1[y] + start, rows2[y] + start);
        }
    }
}

}  // namespace orv
