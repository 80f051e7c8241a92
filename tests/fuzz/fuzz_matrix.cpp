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
#include "tests/fuzz/fuzz_support.h"

using orv::fuzz::input_text;
using orv::fuzz::read_or_refused;
using orv::fuzz::refused;
using orv::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in = input_text(data, size);
    const auto read = read_or_refused([&] { return orv::parse_matrix3(in, "fuzz"); });
    if (!read) return 0;
    const orv::Matrix3& m = *read;
    for (double v : m) require(std::isfinite(v));
    if (refused([&] { orv::check_matrix_invertible(m, "fuzz"); })) return 0;
    for (double v : m) require(std::fabs(v) <= orv::max_profile_magnitude);
    const auto inverse = read_or_refused([&] { return orv::invert_matrix3(m); });
    if (inverse) {
        for (double v : *inverse) require(std::isfinite(v));
    }
    return 0;
}
