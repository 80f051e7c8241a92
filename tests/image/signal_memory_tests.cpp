// Memory kept for the next frame: a released signal frame's block serves the next frame of
// its size (and a frame made from it starts from zeros like a fresh one), and a store's limits.

#include <cstddef>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "image/kept_blocks.h"
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

// A store keeps blocks of its size range only, within its total and its count, dropping the
// blocks released longest ago first; a block is taken back only by a request of its exact size.
TEST(KeptBlocks, KeepsItsSizesWithinItsTotalAndCount) {
    constexpr std::size_t k = 1024;
    struct Case {
        const char* name;
        std::size_t max_blocks;
        std::vector<std::size_t> released;  // in this order
        std::vector<std::size_t> kept;      // sizes kept, oldest first
    };
    const Case cases[] = {
        {"below and above the range", 0, {k / 2, 65 * k}, {}},
        {"the ends of the range", 0, {k, 64 * k}, {k, 64 * k}},
        {"the total drops the oldest", 0, {64 * k, 40 * k, 40 * k}, {40 * k, 40 * k}},
        {"the count drops the oldest", 2, {k, 2 * k, 3 * k}, {2 * k, 3 * k}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeptBlockStore& store = make_kept_block_store(k, 64 * k, 100 * k, c.max_blocks);
        const std::unique_ptr<KeptBlockStore> owned(&store);  // a program's stores live on
        for (const std::size_t bytes : c.released) release_block(store, std::malloc(bytes), bytes);
        std::size_t total = 0;
        for (const std::size_t bytes : c.kept) total += bytes;
        EXPECT_EQ(kept_block_bytes(store), total);
        ASSERT_EQ(store.blocks.size(), c.kept.size());
        for (std::size_t i = 0; i < c.kept.size(); ++i) EXPECT_EQ(store.blocks[i].bytes, c.kept[i]);
        EXPECT_EQ(take_kept_block(store, 5 * k), nullptr);
        for (const std::size_t bytes : c.kept) {
            void* block = take_kept_block(store, bytes);
            EXPECT_NE(block, nullptr) << bytes;
            std::free(block);
        }
        EXPECT_EQ(kept_block_bytes(store), 0u);
    }
}

}  // namespace
}  // namespace orv
