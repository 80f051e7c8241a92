// The parallel frame loop: frame order, failures of the lowest frame, progress on the calling
// thread and the bound on frames held at once.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "measure/frame_loop.h"
#include "numeric/failure.h"

namespace orv {
namespace {

// Uneven work so that later frames often finish before earlier ones on several threads.
long long busy_value(int frame) {
    std::uint64_t x = static_cast<std::uint64_t>(frame);
    const int rounds = ((frame * 7919) % 5) * 20000;
    for (int i = 0; i < rounds; ++i) x = (x * 6364136223846793005ULL + 1442695040888963407ULL) >> 1;
    return frame * 1000LL + static_cast<long long>(x & 1u);
}

TEST(FrameLoop, DeliversEveryFrameInOrderOnTheCallingThread) {
    const int thread_counts[] = {1, 2, 3, 8};
    const int frame_counts[] = {0, 1, 2, 7, 40};
    const std::thread::id caller = std::this_thread::get_id();
    for (int threads : thread_counts) {
        for (int count : frame_counts) {
            std::vector<int> delivered;
            std::vector<std::pair<int, int>> progress;
            bool wrong_thread = false;
            run_ordered_frames<long long>(
                count, threads, [](int frame) { return busy_value(frame); },
                [&](int frame, long long&& value) {
                    if (std::this_thread::get_id() != caller) wrong_thread = true;
                    EXPECT_EQ(value / 1000, frame);
                    delivered.push_back(frame);
                },
                [&](int done, int total) {
                    if (std::this_thread::get_id() != caller) wrong_thread = true;
                    progress.emplace_back(done, total);
                });
            std::vector<int> expected(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i) expected[static_cast<std::size_t>(i)] = i;
            EXPECT_EQ(delivered, expected) << threads << " threads, " << count << " frames";
            EXPECT_FALSE(wrong_thread);
            if (count == 0) {
                EXPECT_TRUE(progress.empty());
            } else {
                ASSERT_EQ(progress.size(), static_cast<std::size_t>(count) + 1);
                for (int i = 0; i <= count; ++i) {
                    EXPECT_EQ(progress[static_cast<std::size_t>(i)], std::make_pair(i, count));
                }
            }
        }
    }
}

TEST(FrameLoop, ResultsEqualOneThreadForAnyThreadCount) {
    std::vector<long long> one;
    run_ordered_frames<long long>(
        25, 1, [](int f) { return busy_value(f); }, [&](int, long long&& v) { one.push_back(v); });
    for (int threads : {2, 4, 16}) {
        std::vector<long long> many;
        run_ordered_frames<long long>(
            25, threads, [](int f) { return busy_value(f); },
            [&](int, long long&& v) { many.push_back(v); });
        EXPECT_EQ(many, one) << threads;
    }
}

TEST(FrameLoop, LowestFailingFrameIsRethrownAfterTheFramesBeforeIt) {
    struct Case {
        int threads;
        std::set<int> failing;
        int expected_failure;
    };
    const Case cases[] = {
        {1, {0}, 0},    {1, {5}, 5},   {2, {5}, 5},    {3, {5, 6, 7}, 5},
        {4, {9, 2}, 2}, {2, {19}, 19}, {8, {1, 3}, 1}, {3, {0, 19}, 0},
    };
    for (const Case& c : cases) {
        std::vector<int> delivered;
        std::string caught;
        try {
            run_ordered_frames<int>(
                20, c.threads,
                [&](int frame) {
                    // Higher failing frames fail fast; the lowest one works first.
                    if (frame == c.expected_failure) busy_value(3);
                    if (c.failing.count(frame))
                        raise_failure(FailureKind::media_no_frame, "f", {std::to_string(frame)});
                    return frame;
                },
                [&](int frame, int&&) { delivered.push_back(frame); });
        } catch (const Failure& failure) {
            caught = orv::failure_text(failure);
        }
        EXPECT_EQ(caught, "f: has no frame " + std::to_string(c.expected_failure)) << c.threads;
        std::vector<int> expected;
        for (int i = 0; i < c.expected_failure; ++i) expected.push_back(i);
        EXPECT_EQ(delivered, expected) << c.threads;
    }
}

TEST(FrameLoop, OutOfMemoryTravelsToTheCaller) {
    for (int threads : {1, 2}) {
        int delivered = 0;
        EXPECT_THROW(run_ordered_frames<int>(
                         6, threads,
                         [](int frame) {
                             if (frame == 3) throw std::bad_alloc();
                             return frame;
                         },
                         [&](int, int&&) { ++delivered; }),
                     std::bad_alloc);
        EXPECT_EQ(delivered, 3);
    }
}

TEST(FrameLoop, FailureWhileDeliveringStopsTheWorkers) {
    for (int threads : {1, 2, 4}) {
        std::atomic<int> started{0};
        int delivered = 0;
        EXPECT_THROW(run_ordered_frames<int>(
                         100, threads,
                         [&](int frame) {
                             ++started;
                             return frame;
                         },
                         [&](int frame, int&&) {
                             if (frame == 2) raise_failure(FailureKind::cannot_write, "f");
                             ++delivered;
                         }),
                     Failure);
        EXPECT_EQ(delivered, 2);
        // Only frames within the window past the failing delivery were ever started.
        EXPECT_LE(started.load(), 3 + frame_loop_slots(threads));
    }
}

TEST(FrameLoop, HoldsAtMostTheSlotCountOfFramesAtOnce) {
    for (int threads : {1, 2, 3, 6}) {
        std::atomic<int> held{0};
        std::atomic<int> most{0};
        std::vector<int> slots_seen;
        FrameLoopCallbacks callbacks;
        callbacks.work = [&](int frame, int slot) {
            const int now = ++held;
            int previous = most.load();
            while (now > previous && !most.compare_exchange_weak(previous, now)) {
            }
            busy_value(frame);
            (void)slot;
        };
        callbacks.deliver = [&](int, int slot) {
            slots_seen.push_back(slot);
            --held;
        };
        run_frame_loop(30, threads, callbacks);
        EXPECT_LE(most.load(), frame_loop_slots(threads)) << threads;
        for (int slot : slots_seen) {
            EXPECT_GE(slot, 0);
            EXPECT_LT(slot, frame_loop_slots(threads));
        }
        EXPECT_EQ(slots_seen.size(), 30u);
    }
}

}  // namespace
}  // namespace orv
