// The desktop program's second measurement of a reference against another degraded version:
// one 1080p pair measured as the program measures it (run_sequence with grey pictures), once
// with the reference's coordinates kept from the first measurement (a reference store) and
// once without, in turns in the same run. Prints the best wall times of each, the median ratio
// of their CPU times and whether the map, its figures and the grey picture agree exactly.
// Usage: bench_reference_reuse [runs, default 5] [threads, default 1]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "measure/reference_store.h"
#include "measure/sequence_runner.h"
#include "numeric/parallel.h"

namespace {

orv::RunSide one_frame(unsigned seed) {
    orv::RunSide side;
    side.count = 1;
    side.read = [frame = std::make_shared<const orv::PixelBuffer>(bench::frame(seed))](int) {
        orv::RunFrame f;
        f.kept = frame.get();
        return f;
    };
    return side;
}

double process_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int threads = argc > 2 ? std::atoi(argv[2]) : 1;
    if (runs < 1 || threads < 1) {
        std::fprintf(stderr, "usage: bench_reference_reuse [runs] [threads]\n");
        return 2;
    }
    orv::set_core_budget(threads);
    const orv::MeasurementConditions conditions =
        orv::make_conditions(bench::default_profile(), bench::default_filters());
    const orv::RunSide reference = one_frame(3);
    const orv::RunSide first = one_frame(4);
    const orv::RunSide second = one_frame(5);
    orv::ReferenceStore store;

    // One measurement of `degraded`; its pair stays in `out`. Returns the wall and the
    // process's CPU time in ms.
    struct Time {
        double wall;
        double cpu;
    };
    const auto measure = [&](const orv::RunSide& degraded, orv::ReferenceStore* kept,
                             orv::PairResult& out) {
        orv::RunSettings settings;
        settings.threads = threads;
        settings.grey = true;
        settings.reuse.store = kept;
        orv::RunConsumer consumer;
        consumer.deliver = [&out](orv::MeasuredPair&& pair) { out = std::move(pair.result); };
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = process_cpu_ms();
        orv::run_sequence(conditions, reference, degraded, settings, consumer);
        const double cpu = process_cpu_ms() - cpu_start;
        const auto stop = std::chrono::steady_clock::now();
        return Time{std::chrono::duration<double, std::milli>(stop - start).count(), cpu};
    };
    orv::PairResult reused;
    orv::PairResult fresh;
    const Time first_time = measure(first, &store, reused);  // fills the store
    // In turns, without and with the store: the best wall times, and the median of the
    // turns' CPU-time ratios (the steadier figure on a shared machine).
    double best_reused = 1e300;
    double best_fresh = 1e300;
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i) {
        const Time f = measure(second, nullptr, fresh);
        const Time r = measure(second, &store, reused);
        best_fresh = std::min(best_fresh, f.wall);
        best_reused = std::min(best_reused, r.wall);
        ratios.push_back(r.cpu / f.cpu);
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios.size() % 2 == 1
                              ? ratios[ratios.size() / 2]
                              : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
    const bool same = reused.map.data == fresh.map.data && reused.map.mean == fresh.map.mean &&
                      reused.map.max == fresh.map.max && reused.map.min == fresh.map.min &&
                      reused.grey.bytes == fresh.grey.bytes &&
                      reused.statistics.p95 == fresh.statistics.p95;
    std::printf(
        "1920x1080 pair, %d thread(s), %d turns: first measurement %.0f ms; second measurement "
        "best %.0f ms with the reference kept, %.0f ms without (wall ratio %.2f, median CPU "
        "ratio %.2f); reference reused %lld times; values identical: %s\n",
        threads, runs, first_time.wall, best_reused, best_fresh, best_reused / best_fresh, median,
        store.hits, same ? "yes" : "NO");
    return same ? 0 : 1;
}
