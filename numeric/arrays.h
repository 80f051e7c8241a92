#pragma once
// Index-range vectors and matrices (caller-chosen bounds) and the shared rounding.
// The numeric helper owns the exact design; what other libraries rely on is below.

#include <cstdint>
#include <string>

namespace orv {

// x + 0.5 truncated toward zero.
std::int64_t round_to_int(double x);

// Raises orv::Failure carrying the message (never ends the process).
[[noreturn]] void fatal_numeric_error(const std::string& message);

// RangeVector, RangeIntVector and RangeMatrix: RAII records owning their blocks, indexable
// from their lower bounds (v[lo..hi], m[rlo..rhi][clo..chi]); see the numeric library.
struct RangeVector;
struct RangeIntVector;
struct RangeMatrix;

}  // namespace orv
