// Throughput of the ordered parallel frame loop that orv-cli and the GUI's long runs use:
// colour-difference images of a stream of full-HD frame pairs on one thread and on two, in
// the same run, and the speed-up of two threads over one. Each frame's result is released as
// soon as it is delivered, as in orv-cli, and the peak resident size of the process is
// printed after each run.
// Usage: bench_frame_loop [frames, default 8] [threads of the second run, default 2]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "bench/bench_support.h"
#include "image/pixel_buffer.h"
#include "measure/frame_loop.h"
#include "numeric/parallel.h"
#include "scielab/filter_settings.h"
#include "scielab/pipeline.h"

namespace {

struct FrameResult {
    orv::PixelBuffer picture;
    orv::InterleavedImage values;
};

double peak_resident_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

// Seconds for `count` frame pairs on `threads` threads; `means` receives each frame's mean.
double run(int count, int threads, const std::vector<orv::PixelBuffer>& references,
           const std::vector<orv::PixelBuffer>& degraded, const orv::AtdFilters& filters,
           const std::string& folder, std::vector<double>& means) {
    means.assign(static_cast<std::size_t>(count), 0.0);
    const orv::MeasurementConditions conditions = orv::make_conditions(folder, filters);
    // The process's core budget is the run's thread count, as orv-cli's --threads sets it:
    // otherwise the one-thread run would still filter each frame's planes on a spare core.
    orv::set_core_budget(threads);
    const auto start = std::chrono::steady_clock::now();
    orv::run_ordered_frames<FrameResult>(
        count, threads,
        [&](int k) {
            const std::size_t i = static_cast<std::size_t>(k) % references.size();
            FrameResult r;
            r.picture = orv::make_pixel_buffer(bench::width, bench::height);
            orv::make_difference_image(references[i], degraded[i], r.picture, conditions, r.values);
            return r;
        },
        [&](int k, FrameResult&& r) { means[static_cast<std::size_t>(k)] = r.values.mean; });
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 8;
    const int threads = argc > 2 ? std::atoi(argv[2]) : 2;
    if (count < 1 || threads < 2) {
        std::fprintf(stderr, "usage: bench_frame_loop [frames >= 1] [threads >= 2]\n");
        return 2;
    }
    orv::keep_freed_frame_planes();  // as orv-cli does
    const orv::AtdFilters filters = bench::default_filters();
    const std::string folder = bench::default_profile();
    // Four distinct pairs, cycled: the inputs stay in memory, the results do not.
    std::vector<orv::PixelBuffer> references;
    std::vector<orv::PixelBuffer> degraded;
    for (unsigned s = 0; s < 4; ++s) {
        references.push_back(bench::frame(2 * s + 1));
        degraded.push_back(bench::frame(2 * s + 2));
    }
    std::vector<double> means_one;
    std::vector<double> means_many;
    // A warm-up frame on this thread, so neither run pays for first-touch costs alone.
    run(1, 1, references, degraded, filters, folder, means_one);

    // Rounds alternate one thread and several, so that a slow spell of a shared machine
    // does not fall on one side only; the fastest run of each side is compared.
    constexpr int rounds = 3;
    double one = 1e300;
    double many = 1e300;
    bool same = true;
    for (int round = 0; round < rounds; ++round) {
        const double t1 = run(count, 1, references, degraded, filters, folder, means_one);
        std::printf(
            "1 thread : %d frame pairs 1920x1080 in %.2f s (%.2f frames/s), peak RSS %.0f MB\n",
            count, t1, count / t1, peak_resident_mb());
        const double tn = run(count, threads, references, degraded, filters, folder, means_many);
        std::printf(
            "%d threads: %d frame pairs 1920x1080 in %.2f s (%.2f frames/s), peak RSS %.0f MB\n",
            threads, count, tn, count / tn, peak_resident_mb());
        one = std::min(one, t1);
        many = std::min(many, tn);
        same = same && means_one == means_many;
    }
    std::printf(
        "speed-up %d threads / 1 thread = %.2f (fastest of %d runs each; target >= 1.8 "
        "for 2 threads on 2 cores); per-frame means %s\n",
        threads, one / many, rounds, same ? "identical" : "DIFFER");
    return same ? 0 : 1;
}
