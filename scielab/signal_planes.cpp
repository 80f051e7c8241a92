#include "scielab/signal_planes.h"

#include <algorithm>
#include <string>
#include <vector>

#include "colour/signal_light.h"
#include "numeric/failure.h"

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

void signal_to_plane_rows(const SignalFrame& signal, const ColourModel& colour,
                          double* const* rows0, double* const* rows1, double* const* rows2) {
    const Matrix3& m = colour.rgb_to_atd;
    const SignalLight light =
        make_signal_light(colour.display_model, colour.transfer, colour.display_table);
    // A row in pieces whose light stays in the first-level cache for the matrix.
    constexpr int piece = 256;
    std::vector<double> work(3 * piece + 512);
    double* const rgb[3] = {work.data(), work.data() + piece, work.data() + 2 * piece};
    for (int y = 0; y < signal.height; ++y) {
        const double* row = signal.row(y);
        for (int start = 0; start < signal.width; start += piece) {
            const int n = std::min(piece, signal.width - start);
            signal_row_to_light(light, row + 3 * static_cast<std::size_t>(start), n,
                                work.data() + 3 * piece, rgb);
            double* a = rows0[y] + start;
            double* t = rows1[y] + start;
            double* d = rows2[y] + start;
            const double* r = rgb[0];
            const double* g = rgb[1];
            const double* b = rgb[2];
            for (int x = 0; x < n; ++x) {
                a[x] = m[0] * r[x] + m[1] * g[x] + m[2] * b[x];
                t[x] = m[3] * r[x] + m[4] * g[x] + m[5] * b[x];
                d[x] = m[6] * r[x] + m[7] * g[x] + m[8] * b[x];
            }
        }
    }
}

}  // namespace orv
