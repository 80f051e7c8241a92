// The desktop program's second measurement of a reference against another degraded version:
// one 1080p pair measured as the program measures it (run_sequence with grey pictures), once
// with the reference's coordinates kept from the first measurement (a reference store) and
// once without, in the same run. Prints the best wall times of each, their ratio and whether
// the map, its figures and the grey picture agree exactly.
// Usage: bench_reference_reuse [runs, default 5] [threads, default 1]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

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

    // One measurement of `degraded`; its pair stays in `out`. Returns the wall time in ms.
    const auto measure = [&](const orv::RunSide& degraded, orv::ReferenceStore* kept,
                             orv::PairResult& out) {
        orv::RunSettings settings;
        settings.threads = threads;
        settings.grey = true;
        settings.reuse.store = kept;
        orv::RunConsumer consumer;
        consumer.deliver = [&out](orv::MeasuredPair&& pair) { out = std::move(pair.result); };
        const auto start = std::chrono::steady_clock::now();
        orv::run_sequence(conditions, reference, degraded, settings, consumer);
        const auto stop = std::chrono::steady_clock::now();
        return std::chrono::duration<double, std::milli>(stop - start).count();
    };
    orv::PairResult reused;
    orv::PairResult fresh;
    const double first_ms = measure(first, &store, reused);  // fills the store
    double best_reused = 1e300;
    double best_fresh = 1e300;
    for (int i = 0; i < runs; ++i) {
        best_fresh = std::min(best_fresh, measure(second, nullptr, fresh));
        best_reused = std::min(best_reused, measure(second, &store, reused));
    }
    const bool same = reused.map.data == fresh.map.data && reused.map.mean == fresh.map.mean &&
                      reused.map.max == fresh.map.max && reused.map.min == fresh.map.min &&
                      reused.grey.bytes == fresh.grey.bytes &&
                      reused.statistics.p95 == fresh.statistics.p95;
    std::printf(
        "1920x1080 pair, %d thread(s), best of %d: first measurement %.0f ms; second "
        "measurement %.0f ms with the reference kept, %.0f ms without, ratio %.2f; reference "
        "reused %lld times; values identical: %s\n",
        threads, runs, first_ms, best_reused, best_fresh, best_reused / best_fresh, store.hits,
        same ? "yes" : "NO");
    return same ? 0 : 1;
}
