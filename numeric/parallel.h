#pragma once
// One budget of cores for the whole process, shared by the two levels of parallel work: the
// frame loop's workers (one frame or frame pair each) and the independent halves of the work
// inside one frame. A level takes a core only while one is spare, so together they never run
// more threads than the budget.

#include <functional>

namespace orv {

// Threads the process may run at once (at least 1); 0 means the machine's cores. Set before
// the work starts (a tool told to use N threads passes N).
void set_core_budget(int threads);

// Cores of the budget taken by a long-running group of workers, beyond the calling thread,
// while the object lives; `taken` may be fewer than asked (never below 0).
struct CoreClaim {
    int taken = 0;
    explicit CoreClaim(int cores);
    ~CoreClaim();
    CoreClaim(const CoreClaim&) = delete;
    CoreClaim& operator=(const CoreClaim&) = delete;
};

// Runs `first` on the calling thread and `second` on a helper thread when a core of the budget
// is spare, else both in order on the calling thread (the second not at all when the first
// failed). Nothing returns while either still runs; a failure is rethrown afterwards (the
// first's when both fail).
void run_side_by_side(const std::function<void()>& first, const std::function<void()>& second);

}  // namespace orv
