#include "image/signal_frame.h"

#include <cstdlib>
#include <new>

#include "image/kept_blocks.h"

namespace orv {

namespace {

// Frames of 4 MB (about a third of a megapixel) to 128 MB (a 2560 x 1440 frame's 88 MB and
// below); at most four full-HD frames kept. Larger frames go back to the system, as the
// pipeline's largest planes do, so that a 4K run's memory stays as low as it was.
KeptBlockStore& store() {
    static KeptBlockStore& shared =
        make_kept_block_store(std::size_t{4} << 20, std::size_t{128} << 20, std::size_t{104} << 20);
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
