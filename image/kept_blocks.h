#pragma once
// Large blocks of memory kept after release for the next request of the same size. Fresh
// memory costs the kernel a zero-fill of every page, and a block above the allocator's mapping
// threshold (32 MB at most) is fresh on every request: a frame loop asks for the same sizes on
// every frame, so it takes back what the last frame released instead. A store keeps blocks of
// its size range only, at most its total and (when given) its count of blocks, dropping the
// blocks released longest ago first.

#include <cstddef>
#include <mutex>
#include <vector>

namespace orv {

struct KeptBlock {
    void* block;
    std::size_t bytes;
};

struct KeptBlockStore {
    std::size_t min_bytes = 0;
    std::size_t max_bytes = 0;
    std::size_t total_bytes = 0;
    std::size_t max_blocks = 0;  // 0: as many as the total allows
    std::mutex lock;             // blocks are released and taken on several threads at once
    std::vector<KeptBlock> blocks;
    std::size_t total = 0;
};

// A store for blocks of min_bytes to max_bytes, holding at most total_bytes and, when
// max_blocks is not 0, at most max_blocks blocks. Never destroyed: blocks may be released while
// the program ends.
KeptBlockStore& make_kept_block_store(std::size_t min_bytes, std::size_t max_bytes,
                                      std::size_t total_bytes, std::size_t max_blocks = 0);

// A kept block of exactly `bytes`, or nullptr.
void* take_kept_block(KeptBlockStore& store, std::size_t bytes);

// Keeps `block` (`bytes` long, from std::malloc or std::aligned_alloc) when its size is in the
// store's range, else frees it. Never throws.
void release_block(KeptBlockStore& store, void* block, std::size_t bytes) noexcept;

// Bytes the store holds now.
std::size_t kept_block_bytes(KeptBlockStore& store);

}  // namespace orv
