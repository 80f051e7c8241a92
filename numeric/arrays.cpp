#include "numeric/arrays.h"

#include "numeric/failure.h"

namespace orv {

std::int64_t round_to_int(double x) { return static_cast<std::int64_t>(x + 0.5); }

void fatal_numeric_error(const std::string& message) { raise_failure(message); }

}  // namespace orv
