#pragma once
// Uninitialised planes of doubles for the pipeline's filtered frames, whose values are
// written before they are read. A plane of a few megabytes and more is aligned to the
// huge-page size and marked for huge pages where the system offers them (fewer faults, and
// fewer TLB misses in the transforms' column passes).
//
// A frame loop asks for the same planes on every call, and fresh memory costs the kernel a
// zero-fill of every page (about a tenth of a full-HD pair's time). So a released plane of
// `kept_plane_min_bytes` to `kept_plane_max_bytes` goes to a small store instead of back to
// the system, and the next request of the same size takes it; the store holds at most
// `kept_total_bytes`, dropping the planes released longest ago first. Larger planes (the
// frames whose pairs park their planes to save memory) always go back to the system, and so
// do small ones, which the heap serves cheaply.

#include <cstddef>
#include <memory>

namespace orv {

inline constexpr std::size_t kept_plane_min_bytes = std::size_t{4} << 20;
inline constexpr std::size_t kept_plane_max_bytes = std::size_t{32} << 20;
inline constexpr std::size_t kept_total_bytes = std::size_t{128} << 20;

struct PlaneRelease {
    bool owned = true;
    std::size_t bytes = 0;  // the block's size as allocated
    void operator()(double* p) const;
};
using Plane = std::unique_ptr<double[], PlaneRelease>;

// A plane of `count` doubles, uninitialised.
Plane new_plane(std::size_t count);

// A plane over storage owned elsewhere; releasing it does nothing.
inline Plane borrowed_plane(double* storage) { return Plane(storage, PlaneRelease{false, 0}); }

// Bytes held by the store now.
std::size_t kept_plane_store_bytes();

}  // namespace orv
