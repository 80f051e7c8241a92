#include "measure/frame_loop.h"

#include <algorithm>
#include <condition_variable>
#include <exception>

#include "numeric/parallel.h"
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <mutex>
#include <system_error>
#include <thread>

namespace orv {

namespace {

void run_serial(int count, const FrameLoopCallbacks& callbacks) {
    for (int frame = 0; frame < count; ++frame) {
        callbacks.work(frame, 0);
        callbacks.deliver(frame, 0);
        if (callbacks.progress) callbacks.progress(frame + 1, count);
    }
}

struct LoopState {
    std::mutex mutex;
    std::condition_variable wake_workers;
    std::condition_variable wake_caller;
    int count = 0;
    int slots = 0;
    int next_frame = 0;       // next frame a worker may take
    int delivered = 0;        // frames handed over so far
    int lowest_failure = -1;  // lowest frame whose job threw, -1 while none has
    bool stop = false;
    std::vector<int> finished_frame;         // per slot: the frame last finished in it, or -1
    std::vector<std::exception_ptr> errors;  // per slot: that frame's exception, if any
};

void worker(LoopState& state, const FrameLoopCallbacks& callbacks) {
    for (;;) {
        int frame = 0;
        {
            std::unique_lock lock(state.mutex);
            state.wake_workers.wait(lock, [&] {
                return state.stop || state.next_frame >= state.count ||
                       (state.lowest_failure >= 0 && state.next_frame > state.lowest_failure) ||
                       state.next_frame < state.delivered + state.slots;
            });
            if (state.stop || state.next_frame >= state.count) return;
            // Frames after a failed one are never started: they would not be delivered.
            if (state.lowest_failure >= 0 && state.next_frame > state.lowest_failure) return;
            frame = state.next_frame++;
        }
        const int slot = frame % state.slots;
        std::exception_ptr error;
        try {
            callbacks.work(frame, slot);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(state.mutex);
            state.errors[static_cast<std::size_t>(slot)] = error;
            state.finished_frame[static_cast<std::size_t>(slot)] = frame;
            if (error && (state.lowest_failure < 0 || frame < state.lowest_failure)) {
                state.lowest_failure = frame;
            }
        }
        state.wake_caller.notify_one();
        state.wake_workers.notify_all();
    }
}

// Stops and joins the workers however the calling thread leaves the loop.
struct WorkerGroup {
    LoopState& state;
    std::vector<std::thread> threads;

    ~WorkerGroup() {
        {
            std::lock_guard lock(state.mutex);
            state.stop = true;
        }
        state.wake_workers.notify_all();
        for (std::thread& thread : threads) thread.join();
    }
};

}  // namespace

int machine_threads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

void keep_freed_frame_planes() {
#ifdef __GLIBC__
    // One arena for all threads: per-thread arenas hand their freed heaps back to the system.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // the largest threshold the allocator takes
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
}

void return_free_heap() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

int frame_loop_slots(int threads) { return threads <= 1 ? 1 : threads + 1; }

void run_frame_loop(int count, int threads, const FrameLoopCallbacks& callbacks) {
    if (count <= 0) return;
    if (callbacks.progress) callbacks.progress(0, count);
    const int workers = std::min(threads, count);
    if (workers <= 1) {
        run_serial(count, callbacks);
        return;
    }

    LoopState state;
    state.count = count;
    state.slots = frame_loop_slots(threads);
    state.finished_frame.assign(static_cast<std::size_t>(state.slots), -1);
    state.errors.resize(static_cast<std::size_t>(state.slots));

    // The workers' cores are taken from the process's budget, so the work inside a frame
    // only spreads to cores the loop leaves idle.
    const CoreClaim cores(workers - 1);
    WorkerGroup group{state, {}};
    group.threads.reserve(static_cast<std::size_t>(workers));
    for (int i = 0; i < workers; ++i) {
        try {
            group.threads.emplace_back(worker, std::ref(state), std::cref(callbacks));
        } catch (const std::system_error&) {
            break;  // run with the workers that did start
        }
    }
    if (group.threads.empty()) {
        run_serial(count, callbacks);
        return;
    }

    for (int frame = 0; frame < count; ++frame) {
        const int slot = frame % state.slots;
        std::exception_ptr error;
        {
            std::unique_lock lock(state.mutex);
            state.wake_caller.wait(lock, [&] {
                return state.finished_frame[static_cast<std::size_t>(slot)] == frame;
            });
            error = state.errors[static_cast<std::size_t>(slot)];
        }
        if (error) std::rethrow_exception(error);  // the group's destructor joins first
        callbacks.deliver(frame, slot);
        {
            std::lock_guard lock(state.mutex);
            state.delivered = frame + 1;
        }
        state.wake_workers.notify_all();
        if (callbacks.progress) callbacks.progress(frame + 1, count);
    }
}

}  // namespace orv
