#include "scielab/plane_memory.h"

#include <cstdlib>
#include <new>

#include "image/kept_blocks.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orv {

namespace {

constexpr std::size_t huge_page = std::size_t{1} << 21;

KeptBlockStore& store() {
    static KeptBlockStore& shared =
        make_kept_block_store(kept_plane_min_bytes, kept_plane_max_bytes, kept_total_bytes);
    return shared;
}

}  // namespace

void PlaneRelease::operator()(double* p) const {
    if (owned) release_block(store(), p, bytes);
}

Plane new_plane(std::size_t count) {
    const std::size_t bytes = count * sizeof(double);
    const std::size_t alignment = bytes >= 2 * huge_page ? huge_page : 64;
    std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    if (rounded == 0) rounded = alignment;
    if (void* kept = take_kept_block(store(), rounded)) {
        return Plane(static_cast<double*>(kept), PlaneRelease{true, rounded});
    }
    void* block = std::aligned_alloc(alignment, rounded);
    if (block == nullptr) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    if (alignment == huge_page) madvise(block, rounded, MADV_HUGEPAGE);
#endif
    return Plane(static_cast<double*>(block), PlaneRelease{true, rounded});
}

std::size_t kept_plane_store_bytes() { return kept_block_bytes(store()); }

}  // namespace orv
