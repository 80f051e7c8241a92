// The store of released planes: reuse of a plane of the same size, its size limits and its
// bound on the memory it holds.

#include <cstddef>
#include <gtest/gtest.h>
#include <vector>

#include "scielab/plane_memory.h"

namespace orv {
namespace {

constexpr std::size_t mib = std::size_t{1} << 20;

// Doubles of a plane of `bytes` (a multiple of the huge-page size, so no rounding).
std::size_t doubles(std::size_t bytes) { return bytes / sizeof(double); }

TEST(PlaneMemory, ReleasedPlaneServesTheNextOfItsSize) {
    double* first = nullptr;
    {
        Plane p = new_plane(doubles(16 * mib));
        first = p.get();
        p[0] = 1.0;  // usable memory
    }
    const Plane again = new_plane(doubles(16 * mib));
    EXPECT_EQ(again.get(), first);
}

// Planes below the smallest kept size and above the largest go back to the system; the store
// never holds more than its bound, however many planes come back at once.
TEST(PlaneMemory, KeepsOnlyPlanesOfItsSizesWithinItsBound) {
    struct Case {
        std::size_t bytes;
        bool kept;
    };
    const Case cases[] = {{kept_plane_min_bytes / 2, false},
                          {kept_plane_min_bytes, true},
                          {kept_plane_max_bytes, true},
                          {kept_plane_max_bytes + 2 * mib, false}};
    for (const Case& c : cases) {
        Plane p = new_plane(doubles(c.bytes));
        const std::size_t taken = kept_plane_store_bytes();
        p.reset();
        EXPECT_EQ(kept_plane_store_bytes() > taken, c.kept) << c.bytes;
        EXPECT_LE(kept_plane_store_bytes(), kept_total_bytes) << c.bytes;
    }
    std::vector<Plane> many;
    for (int i = 0; i < 12; ++i) many.push_back(new_plane(doubles(kept_plane_max_bytes)));
    many.clear();
    EXPECT_LE(kept_plane_store_bytes(), kept_total_bytes);
    EXPECT_GE(kept_plane_store_bytes(), kept_total_bytes - kept_plane_max_bytes);
}

}  // namespace
}  // namespace orv
