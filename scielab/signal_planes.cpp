#include "scielab/signal_planes.h"

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
    const auto w = static_cast<std::size_t>(signal.width);
    std::vector<double> work(3 * w + 512);
    double* const rgb[3] = {work.data(), work.data() + w, work.data() + 2 * w};
    for (int y = 0; y < signal.height; ++y) {
        signal_row_to_light(light, signal.row(y), signal.width, work.data() + 3 * w, rgb);
        double* a = rows0[y];
        double* t = rows1[y];
        double* d = rows2[y];
        const double* r = rgb[0];
        const double* g = rgb[1];
        const double* b = rgb[2];
        for (int x = 0; x < signal.width; ++x) {
            a[x] = m[0] * r[x] + m[1] * g[x] + m[2] * b[x];
            t[x] = m[3] * r[x] + m[4] * g[x] + m[5] * b[x];
            d[x] = m[6] * r[x] + m[7] * g[x] + m[8] * b[x];
        }
    }
}

}  // namespace orv
