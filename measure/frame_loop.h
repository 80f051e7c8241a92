#pragma once
// Runs a per-frame job over frames 0..count-1 on several threads while handing the results
// back on the calling thread strictly in frame order. Used by the batch tool and by the GUI's
// S_CIELAB and colour-difference runs.
//
// At most `threads + 1` frames are held at any time (being computed or waiting for their
// turn), so memory does not grow with the number of frames. A failure of any frame (an
// exception thrown by its job) stops the run: every frame before the lowest failing one is
// delivered, nothing after it is, and the exception is rethrown on the calling thread.

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace orv {

using FrameProgress = std::function<void(int done, int total)>;

// Thrown by a run's progress or deliver callback on the calling thread when the user cancels
// the run. The loop lets it through as any exception: the frames delivered before stay
// delivered, no later frame is.
struct RunCancelled {};

struct FrameLoopCallbacks {
    // Worker thread: compute `frame`, keeping its result in storage slot `slot`
    // (0 <= slot < frame_loop_slots(threads)). No two frames in flight share a slot.
    std::function<void(int frame, int slot)> work;
    // Calling thread, frame order: hand over the result kept in `slot`.
    std::function<void(int frame, int slot)> deliver;
    // Calling thread: (0, count) first, then after each delivery. May be empty.
    FrameProgress progress;
};

// The machine's cores (at least 1): the default number of workers of a long run.
int machine_threads();

// Sets the process's allocator up for long frame runs: the planes a frame frees stay on the
// heap for the next frame instead of going back to the system (unmapping and faulting them in
// again for every frame costs as much as the transforms). Call once, before any thread starts.
void keep_freed_frame_planes();

// Gives the heap's free memory back to the system: after a large frame's pixels are freed in
// the middle of its pair, so that the pair's planes, which follow, do not sit beside memory
// the heap keeps for nothing.
void return_free_heap();

// Number of result slots the loop uses for `threads` workers.
int frame_loop_slots(int threads);

// threads <= 1 runs everything on the calling thread, frame by frame.
void run_frame_loop(int count, int threads, const FrameLoopCallbacks& callbacks);

// Typed form: `work(frame)` returns a Result on a worker; `deliver(frame, Result&&)` receives
// it on the calling thread in frame order; the result is released right after delivery.
template <class Result, class Work, class Deliver>
void run_ordered_frames(int count, int threads, Work&& work, Deliver&& deliver,
                        FrameProgress progress = {}) {
    std::vector<std::optional<Result>> held(static_cast<std::size_t>(frame_loop_slots(threads)));
    FrameLoopCallbacks callbacks;
    callbacks.work = [&](int frame, int slot) {
        held[static_cast<std::size_t>(slot)].emplace(work(frame));
    };
    callbacks.deliver = [&](int frame, int slot) {
        std::optional<Result>& kept = held[static_cast<std::size_t>(slot)];
        Result result = std::move(*kept);
        kept.reset();
        deliver(frame, std::move(result));
    };
    callbacks.progress = std::move(progress);
    run_frame_loop(count, threads, callbacks);
}

}  // namespace orv
