// fft_2d forward and back on frame-sized planes, side by side with FFTW 3 on the same data
// (single thread, FFTW_MEASURE plan, in place, complex double). Each of our benchmarks
// reports ratio_to_fftw = our time / FFTW's time, and the run ends with a summary line.
// Times are the thread's CPU time over the transforms only (the data are refreshed outside
// the timed part), which keeps the ratio meaningful on a machine shared with other work.

#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>
#include <fftw3.h>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "numeric/fft.h"

namespace {

using Size = std::pair<int, int>;

// Seconds per forward-and-back pair from the last run of each benchmark: the mean, and the
// fastest pair (less disturbed by other work on a shared machine).
struct Timing {
    double mean = 0.0;
    double best = 0.0;
};
std::map<Size, Timing> fftw_seconds;
std::map<Size, Timing> orv_seconds;

Timing timing(double total, double best, benchmark::IterationCount iterations) {
    return {total / static_cast<double>(iterations), best};
}

double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

std::vector<double> random_values(std::size_t count, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> v(count);
    for (double& x : v) x = uniform(rng);
    return v;
}

void bench_fftw(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::vector<double> re = random_values(count, 1);
    const std::vector<double> im = random_values(count, 2);
    fftw_complex* data = fftw_alloc_complex(count);
    fftw_plan forward = fftw_plan_dft_2d(height, width, data, data, FFTW_FORWARD, FFTW_MEASURE);
    fftw_plan backward = fftw_plan_dft_2d(height, width, data, data, FFTW_BACKWARD, FFTW_MEASURE);
    double total = 0.0;
    double best = 1e300;
    for (auto _ : state) {
        // Fresh data every pair: the unnormalised round trip would overflow otherwise.
        for (std::size_t i = 0; i < count; ++i) {
            data[i][0] = re[i];
            data[i][1] = im[i];
        }
        const double start = thread_seconds();
        fftw_execute(forward);
        fftw_execute(backward);
        const double stop = thread_seconds();
        benchmark::ClobberMemory();
        const double seconds = stop - start;
        state.SetIterationTime(seconds);
        total += seconds;
        best = seconds < best ? seconds : best;
    }
    fftw_seconds[{width, height}] = timing(total, best, state.iterations());
    fftw_destroy_plan(forward);
    fftw_destroy_plan(backward);
    fftw_free(data);
}

void bench_orv(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::vector<double> source_re = random_values(count, 1);
    const std::vector<double> source_im = random_values(count, 2);
    std::vector<double> re(count), im(count);
    double total = 0.0;
    double best = 1e300;
    for (auto _ : state) {
        re = source_re;
        im = source_im;
        const double start = thread_seconds();
        orv::fft_2d(re.data(), im.data(), 1, width, height);
        orv::fft_2d(re.data(), im.data(), -1, width, height);
        const double stop = thread_seconds();
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
        const double seconds = stop - start;
        state.SetIterationTime(seconds);
        total += seconds;
        best = seconds < best ? seconds : best;
    }
    const Timing ours = timing(total, best, state.iterations());
    orv_seconds[{width, height}] = ours;
    const auto reference = fftw_seconds.find({width, height});
    if (reference != fftw_seconds.end()) {
        state.counters["ratio_to_fftw"] = ours.mean / reference->second.mean;
        state.counters["best_ratio_to_fftw"] = ours.best / reference->second.best;
    }
}

void frame_sizes(benchmark::internal::Benchmark* b) {
    b->Args({1920, 1080})
        ->Args({640, 480})
        ->Args({1999, 1123})
        ->Args({1913, 1087})
        ->Args({1201, 1153})
        ->Args({2560, 1440})
        ->Args({2048, 1080})
        ->Args({1024, 768})
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
}

BENCHMARK(bench_fftw)->Apply(frame_sizes);
BENCHMARK(bench_orv)->Apply(frame_sizes);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [size, ours] : orv_seconds) {
        const auto reference = fftw_seconds.find(size);
        if (reference == fftw_seconds.end()) continue;
        const Timing& fftw = reference->second;
        std::printf(
            "fft_2d forward+back %dx%d: mean ours %.2f ms, FFTW %.2f ms, ratio ours/FFTW %.2f; "
            "fastest ours %.2f ms, FFTW %.2f ms, ratio %.2f\n",
            size.first, size.second, ours.mean * 1e3, fftw.mean * 1e3, ours.mean / fftw.mean,
            ours.best * 1e3, fftw.best * 1e3, ours.best / fftw.best);
    }
    return 0;
}
