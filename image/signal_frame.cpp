#include "image/signal_frame.h"

#include <cstdlib>
#include <new>

#include "image/kept_blocks.h"

namespace orv {

namespace {

// Frames of 4 MB (about a third of a megapixel) to 256 MB (a 4096 x 2160 frame's 212 MB), the
// two released last: a pair's two frames, which the next pair's take back.
KeptBlockStore& store() {
    static KeptBlockStore& shared = make_kept_block_store(
        std::size_t{4} << 20, std::size_t{256} << 20, std::size_t{512} << 20, 2);
    return shared;
}

}  // namespace

void* take_signal_memory(std::size_t bytes) {
    if (bytes == 0) bytes = 1;
    if (void* kept = take_kept_block(store(), bytes)) return kept;
    void* block = std::malloc(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void release_signal_memory(void* block, std::size_t bytes) noexcept {
    release_block(store(), block, bytes == 0 ? 1 : bytes);
}

}  // namespace orv
