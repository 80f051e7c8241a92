// Pairing by time and frames read ahead of the measuring threads.

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "measure/read_ahead.h"
#include "measure/sequence_runner.h"
#include "numeric/failure.h"

namespace orv {
namespace {

std::vector<double> times_at(double rate, const std::vector<int>& frames) {
    std::vector<double> times;
    for (int n : frames) times.push_back(n / rate);
    return times;
}

std::vector<int> range(int from, int to) {
    std::vector<int> all;
    for (int n = from; n < to; ++n) all.push_back(n);
    return all;
}

// The degraded frame on screen at each reference time: the last one starting at or before it,
// as FFmpeg's framesync with repeatlast pairs them.
TEST(PairByTime, TheFrameOnScreenAtEachReferenceTime) {
    std::vector<int> dropped = range(0, 5);
    for (int n : range(7, 30)) dropped.push_back(n);
    struct Case {
        const char* what;
        std::vector<double> reference, degraded;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"same times", times_at(25, range(0, 4)), times_at(25, range(0, 4)), {0, 1, 2, 3}},
        {"frames 5 and 6 dropped",
         times_at(25, range(0, 30)),
         times_at(25, dropped),
         {0,  1,  2,  3,  4,  4,  4,  5,  6,  7,  8,  9,  10, 11, 12,
          13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}},
        {"degraded at half the rate",
         times_at(50, range(0, 6)),
         times_at(25, range(0, 3)),
         {0, 0, 1, 1, 2, 2}},
        {"degraded starts later: its first frame", {0.0, 0.04, 0.08}, {0.04, 0.08}, {0, 0, 1}},
        {"degraded shorter: its last frame stays",
         {0.0, 0.04, 0.08, 0.12},
         {0.0, 0.04},
         {0, 1, 1, 1}},
        {"times rounded in the container",
         {0.0, 0.0400001, 0.08},
         {0.0, 0.04, 0.0800001},
         {0, 1, 2}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(frames_on_screen(c.reference, c.degraded), c.expected) << c.what;
    }
}

// A side whose frame i is named i and must be asked for in increasing order, as a decoder
// gives its frames; frame `failing` cannot be read.
struct OrderedSide {
    std::mutex mutex;
    int next = 0;
    bool out_of_order = false;
    std::atomic<int> reads{0};
};

RunSide ordered_side(OrderedSide& state, int count, int failing = -1) {
    RunSide side;
    side.count = count;
    side.read = [&state, count, failing](int i) {
        std::lock_guard lock(state.mutex);
        if (i != state.next && !(i == count - 1 && state.next == count)) state.out_of_order = true;
        state.next = i + 1;
        ++state.reads;
        if (i == failing) raise_failure(FailureKind::media_damaged_frame, "v.mkv", {"3"});
        RunFrame frame;
        frame.name = std::to_string(i);
        return frame;
    };
    return side;
}

TEST(ReadAhead, HandsFramesOverInOrderWithTheLastRepeated) {
    OrderedSide state;
    const RunSide ahead = read_ahead(ordered_side(state, 6), 2);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ahead.read(i).name, std::to_string(i));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(ahead.read(5).name, "5");
    EXPECT_FALSE(state.out_of_order);
    EXPECT_EQ(state.reads.load(), 6);
}

TEST(ReadAhead, ManyThreadsTakingFramesInTurnGetEachOnce) {
    OrderedSide state;
    const int count = 200;
    const RunSide ahead = read_ahead(ordered_side(state, count), 3);
    std::atomic<int> handed{0};
    std::vector<std::string> got(count);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i; (i = handed++) < count;)
                got[static_cast<std::size_t>(i)] = ahead.read(i).name;
        });
    }
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < count; ++i) EXPECT_EQ(got[static_cast<std::size_t>(i)], std::to_string(i));
    EXPECT_FALSE(state.out_of_order);
}

// A frame that cannot be read fails where it is asked for; the frames before it arrive, and a
// side dropped before its frames are taken stops its thread.
TEST(ReadAhead, AFailureReachesTheFrameThatAsksForIt) {
    OrderedSide state;
    {
        const RunSide ahead = read_ahead(ordered_side(state, 8, 3), 2);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(ahead.read(i).name, std::to_string(i));
        try {
            ahead.read(3);
            ADD_FAILURE() << "frame 3 was read";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.kind, FailureKind::media_damaged_frame);
        }
    }
    OrderedSide unused;
    { const RunSide dropped = read_ahead(ordered_side(unused, 1000), 4); }
    EXPECT_LE(unused.reads.load(), 5);
}

}  // namespace
}  // namespace orv
