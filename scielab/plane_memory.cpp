#include "scielab/plane_memory.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orv {

namespace {

constexpr std::size_t huge_page = std::size_t{1} << 21;

struct KeptBlock {
    void* block;
    std::size_t bytes;
};

// Released blocks, the oldest first (at most kept_total_bytes / kept_plane_min_bytes of
// them). Frames are filtered on several threads at once.
struct PlaneStore {
    std::mutex lock;
    std::vector<KeptBlock> blocks;
    std::size_t total = 0;
};

// Never destroyed: a plane may be released while the program ends.
PlaneStore& store() {
    static PlaneStore* const shared = [] {
        auto* s = new PlaneStore;
        s->blocks.reserve(kept_total_bytes / kept_plane_min_bytes + 1);
        return s;
    }();
    return *shared;
}

bool keepable(std::size_t bytes) {
    return bytes >= kept_plane_min_bytes && bytes <= kept_plane_max_bytes;
}

void* take_kept(std::size_t bytes) {
    if (!keepable(bytes)) return nullptr;
    PlaneStore& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    for (std::size_t i = s.blocks.size(); i-- > 0;) {
        if (s.blocks[i].bytes == bytes) {
            void* block = s.blocks[i].block;
            s.blocks.erase(s.blocks.begin() + static_cast<std::ptrdiff_t>(i));
            s.total -= bytes;
            return block;
        }
    }
    return nullptr;
}

}  // namespace

void PlaneRelease::operator()(double* p) const {
    if (!owned || p == nullptr) return;
    if (!keepable(bytes)) {
        std::free(p);
        return;
    }
    PlaneStore& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    // The reserved room always suffices: the store never holds more blocks than it reserved.
    s.blocks.push_back({p, bytes});
    s.total += bytes;
    while (s.total > kept_total_bytes) {
        std::free(s.blocks.front().block);
        s.total -= s.blocks.front().bytes;
        s.blocks.erase(s.blocks.begin());
    }
}

Plane new_plane(std::size_t count) {
    const std::size_t bytes = count * sizeof(double);
    const std::size_t alignment = bytes >= 2 * huge_page ? huge_page : 64;
    std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    if (rounded == 0) rounded = alignment;
    if (void* kept = take_kept(rounded)) {
        return Plane(static_cast<double*>(kept), PlaneRelease{true, rounded});
    }
    void* block = std::aligned_alloc(alignment, rounded);
    if (block == nullptr) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    if (alignment == huge_page) madvise(block, rounded, MADV_HUGEPAGE);
#endif
    return Plane(static_cast<double*>(block), PlaneRelease{true, rounded});
}

std::size_t kept_plane_store_bytes() {
    PlaneStore& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.total;
}

}  // namespace orv
