// Feeds arbitrary text to the matrix reader and the invertibility check. Besides the
// sanitizers' checks it traps when an accepted matrix holds a non-finite or oversized value or
// when the inverse of a matrix the check accepts is not finite.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "colour/conversions.h"
#include "colour/profile_files.h"
#include "numeric/failure.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    orv::Matrix3 m;
    try {
        m = orv::parse_matrix3(in, "fuzz");
    } catch (const orv::Failure& failure) {
        require(!failure.message.empty());
        return 0;
    }
    for (double v : m) require(std::isfinite(v));
    try {
        orv::check_matrix_invertible(m, "fuzz");
    } catch (const orv::Failure& failure) {
        require(!failure.message.empty());
        return 0;
    }
    for (double v : m) require(std::fabs(v) <= orv::max_profile_magnitude);
    try {
        const orv::Matrix3 inverse = orv::invert_matrix3(m);
        for (double v : inverse) require(std::isfinite(v));
    } catch (const orv::Failure& failure) {
        require(!failure.message.empty());
    }
    return 0;
}
