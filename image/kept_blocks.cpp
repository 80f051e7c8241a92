#include "image/kept_blocks.h"

#include <cstdlib>

namespace orv {

KeptBlockStore& make_kept_block_store(std::size_t min_bytes, std::size_t max_bytes,
                                      std::size_t total_bytes, std::size_t max_blocks) {
    auto* store = new KeptBlockStore;
    store->min_bytes = min_bytes;
    store->max_bytes = max_bytes;
    store->total_bytes = total_bytes;
    store->max_blocks = max_blocks;
    // The store never holds more blocks than this (one more for a moment), so keeping one never
    // allocates.
    std::size_t most = total_bytes / (min_bytes > 0 ? min_bytes : 1);
    if (max_blocks != 0 && max_blocks < most) most = max_blocks;
    store->blocks.reserve(most + 1);
    return *store;
}

void* take_kept_block(KeptBlockStore& store, std::size_t bytes) {
    if (bytes < store.min_bytes || bytes > store.max_bytes) return nullptr;
    std::lock_guard<std::mutex> hold(store.lock);
    for (std::size_t i = store.blocks.size(); i-- > 0;) {
        if (store.blocks[i].bytes == bytes) {
            void* block = store.blocks[i].block;
            store.blocks.erase(store.blocks.begin() + static_cast<std::ptrdiff_t>(i));
            store.total -= bytes;
            return block;
        }
    }
    return nullptr;
}

void release_block(KeptBlockStore& store, void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (bytes < store.min_bytes || bytes > store.max_bytes || bytes > store.total_bytes) {
        std::free(block);
        return;
    }
    std::lock_guard<std::mutex> hold(store.lock);
    store.blocks.push_back({block, bytes});
    store.total += bytes;
    while (store.total > store.total_bytes ||
           (store.max_blocks != 0 && store.blocks.size() > store.max_blocks)) {
        std::free(store.blocks.front().block);
        store.total -= store.blocks.front().bytes;
        store.blocks.erase(store.blocks.begin());
    }
}

std::size_t kept_block_bytes(KeptBlockStore& store) {
    std::lock_guard<std::mutex> hold(store.lock);
    return store.total;
}

}  // namespace orv
