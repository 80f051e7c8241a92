// One frame pair on one thread and on two, in the same run: make_difference_image's wall time
// on each (best of several runs), the ratio two / one, whether every value agrees exactly,
// and the process's peak resident size. The frames are filtered side by side on two threads
// and one after the other on one (a large pair then parks the reference's planes).
// On a shared machine the wall times need idle cores; the calling thread's CPU time is printed
// as well: on two threads the helper does the same amount of work as the calling thread, so
// that CPU time is what the pair takes on two idle cores.
// Usage: bench_pair [width height, default 3840 2160] [runs, default 3]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

#include "bench/bench_support.h"
#include "measure/frame_loop.h"
#include "numeric/parallel.h"

namespace {

struct Outcome {
    orv::InterleavedImage map;
    orv::PixelBuffer grey;
};

double peak_resident_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

struct Timing {
    double wall = 1e300;
    double cpu = 1e300;
};

bool same(const Outcome& a, const Outcome& b) {
    return a.map.data == b.map.data && a.map.mean == b.map.mean && a.map.max == b.map.max &&
           a.map.min == b.map.min && a.grey.bytes == b.grey.bytes;
}

}  // namespace

int main(int argc, char** argv) {
    orv::keep_freed_frame_planes();  // the allocator as orv-cli sets it
    const int w = argc > 2 ? std::atoi(argv[1]) : 3840;
    const int h = argc > 2 ? std::atoi(argv[2]) : 2160;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    if (w < 1 || h < 1 || runs < 1) {
        std::fprintf(stderr, "usage: bench_pair [width height] [runs]\n");
        return 2;
    }
    const orv::AtdFilters filters = bench::default_filters();
    const std::string folder = bench::default_profile();
    const orv::MeasurementConditions conditions = orv::make_conditions(folder, filters);
    const orv::PixelBuffer reference = bench::frame(3, w, h);
    const orv::PixelBuffer degraded = bench::frame(4, w, h);

    // Best times of `runs` pairs on `threads` cores; the last run's values stay in `out`.
    const auto time_pair = [&](int threads, Outcome& out) {
        orv::set_core_budget(threads);
        Timing best;
        for (int i = 0; i < runs; ++i) {
            out = Outcome{};
            const auto start = std::chrono::steady_clock::now();
            const double cpu_start = thread_cpu_ms();
            orv::make_difference_image(reference, degraded, out.grey, conditions, out.map);
            best.cpu = std::min(best.cpu, thread_cpu_ms() - cpu_start);
            const auto stop = std::chrono::steady_clock::now();
            best.wall = std::min(best.wall,
                                 std::chrono::duration<double, std::milli>(stop - start).count());
        }
        return best;
    };
    Outcome one;
    Outcome two;
    time_pair(1, one);  // warm-up: plans, tables and first touches
    const Timing one_ms = time_pair(1, one);
    const double one_peak = peak_resident_mb();
    const Timing two_ms = time_pair(2, two);
    std::printf(
        "%dx%d pair, best of %d: one thread %.0f ms, two threads %.0f ms wall, ratio "
        "%.2f (target <= 0.6); values identical: %s\n",
        w, h, runs, one_ms.wall, two_ms.wall, two_ms.wall / one_ms.wall,
        same(one, two) ? "yes" : "NO");
    std::printf("calling thread's CPU time: one thread %.0f ms, two threads %.0f ms, ratio %.2f\n",
                one_ms.cpu, two_ms.cpu, two_ms.cpu / one_ms.cpu);
    std::printf("peak resident size: %.0f MB after the one-thread runs, %.0f MB after both\n",
                one_peak, peak_resident_mb());
    return same(one, two) ? 0 : 1;
}
