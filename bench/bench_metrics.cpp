// PSNR and SSIM beside S-CIELAB: the cost of the metrics of one full-HD pair against the
// colour-difference measurement of the same pair, in the same run on one thread (best of
// several runs). The metrics are timed on the R, G, B planes of the 24-bit frames and on
// yuv420p planes as decoded (8 bits), each with copying the planes out of a decoded frame as
// the media layer does, so that the figure is what --metrics adds to a run.
// Usage: bench_metrics [width height, default 1920 1080] [runs, default 5]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_support.h"
#include "measure/frame_metrics.h"
#include "numeric/parallel.h"

namespace {

// yuv420p planes of a frame: luma and two half-size chroma planes from its pixels (a rough
// BT.601 mix; only the values' spread matters for the timing).
orv::DecodedPlanes yuv_planes(const orv::PixelBuffer& p) {
    orv::DecodedPlanes planes;
    planes.format = "yuv420p";
    const int cw = (p.width + 1) / 2, ch = (p.height + 1) / 2;
    planes.planes.push_back({p.width, p.height, {}});
    planes.planes.push_back({cw, ch, {}});
    planes.planes.push_back({cw, ch, {}});
    for (orv::DecodedPlane& plane : planes.planes) {
        plane.samples.resize(static_cast<std::size_t>(plane.width) * plane.height);
    }
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* row = p.bytes.data() + static_cast<std::size_t>(y) * p.stride;
        for (int x = 0; x < p.width; ++x) {
            const int b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
            planes.planes[0].samples[static_cast<std::size_t>(y) * p.width + x] =
                static_cast<std::uint16_t>(16 + (66 * r + 129 * g + 25 * b) / 256);
            if (x % 2 == 0 && y % 2 == 0) {
                const std::size_t at = static_cast<std::size_t>(y / 2) * cw + x / 2;
                planes.planes[1].samples[at] =
                    static_cast<std::uint16_t>(128 + (-38 * r - 74 * g + 112 * b) / 256);
                planes.planes[2].samples[at] =
                    static_cast<std::uint16_t>(128 + (112 * r - 94 * g - 18 * b) / 256);
            }
        }
    }
    return planes;
}

template <class F>
double best_ms(int runs, F&& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto stop = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(stop - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int w = argc > 2 ? std::atoi(argv[1]) : bench::width;
    const int h = argc > 2 ? std::atoi(argv[2]) : bench::height;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    if (w < 8 || h < 8 || runs < 1) {
        std::fprintf(stderr, "usage: bench_metrics [width height] [runs]\n");
        return 2;
    }
    orv::set_core_budget(1);
    const orv::AtdFilters filters = bench::default_filters();
    const orv::MeasurementConditions conditions =
        orv::make_conditions(bench::default_profile(), filters);
    const orv::PixelBuffer reference = bench::frame(3, w, h);
    const orv::PixelBuffer degraded = bench::frame(4, w, h);
    const orv::DecodedPlanes reference_planes = yuv_planes(reference);
    const orv::DecodedPlanes degraded_planes = yuv_planes(degraded);

    double sink = 0.0;
    const double scielab = best_ms(runs, [&] {
        orv::PixelBuffer grey;
        orv::InterleavedImage map;
        orv::make_difference_image(reference, degraded, grey, conditions, map);
        sink += map.mean;
    });
    const orv::MetricsRequest both{true, true};
    const orv::MetricsPlan rgb = orv::plan_metrics(both, {""}, {""});
    const orv::MetricsPlan yuv = orv::plan_metrics(both, {"yuv420p"}, {"yuv420p"});
    const double on_rgb = best_ms(runs, [&] {
        const orv::FrameMetrics m =
            orv::measure_frame_metrics(rgb, reference, {}, "reference", degraded, {}, "degraded");
        sink += m.figures.ssim_all;
    });
    const double on_yuv = best_ms(runs, [&] {
        // The copies stand for the planes copied out of the two decoded frames.
        const orv::DecodedPlanes a = reference_planes, b = degraded_planes;
        const orv::FrameMetrics m =
            orv::measure_frame_metrics(yuv, reference, a, "reference", degraded, b, "degraded");
        sink += m.figures.ssim_all;
    });
    const orv::MetricsPlan psnr_only = orv::plan_metrics({true, false}, {"yuv420p"}, {"yuv420p"});
    const double psnr_yuv = best_ms(runs, [&] {
        const orv::FrameMetrics m =
            orv::measure_frame_metrics(psnr_only, reference, reference_planes, "reference",
                                       degraded, degraded_planes, "degraded");
        sink += m.figures.psnr_avg;
    });
    std::printf("pair %d x %d, one thread, best of %d runs\n", w, h, runs);
    std::printf("S-CIELAB pair:             %9.1f ms\n", scielab);
    std::printf("PSNR+SSIM on RGB:          %9.1f ms  (%5.2f %% of S-CIELAB)\n", on_rgb,
                100.0 * on_rgb / scielab);
    std::printf("PSNR+SSIM on yuv420p:      %9.1f ms  (%5.2f %% of S-CIELAB, planes copied)\n",
                on_yuv, 100.0 * on_yuv / scielab);
    std::printf("PSNR only on yuv420p:      %9.1f ms  (%5.2f %% of S-CIELAB)\n", psnr_yuv,
                100.0 * psnr_yuv / scielab);
    return sink == 12345.678 ? 1 : 0;
}
