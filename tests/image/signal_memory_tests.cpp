// The signal frames' memory: a released frame's block serves the next frame of its size, and
// a frame made from it starts from zeros like a fresh one.

#include <gtest/gtest.h>

#include "image/signal_frame.h"

namespace orv {
namespace {

TEST(SignalMemory, ReleasedFrameServesTheNextOfItsSize) {
    // Full HD: 47 MB of values, above the allocator's mapping threshold.
    const double* first = nullptr;
    {
        SignalFrame f = make_signal_frame(1920, 1080);
        first = f.rgb.data();
        f.rgb[12345] = 0.75;
    }
    const SignalFrame again = make_signal_frame(1920, 1080);
    EXPECT_EQ(again.rgb.data(), first);
    EXPECT_EQ(again.rgb[12345], 0.0);
    // A copy has memory of its own.
    const SignalFrame copy = again;
    EXPECT_NE(copy.rgb.data(), again.rgb.data());
    EXPECT_EQ(copy.rgb.size(), again.rgb.size());
}

}  // namespace
}  // namespace orv
