#pragma once
// Rows of filtered opponent values to the coordinates a difference formula compares, and the
// differences of two such rows. Each side of a pair goes through its own colour model.

#include <cstddef>

#include "colour/delta_e.h"
#include "scielab/conditions.h"

namespace orv {

// One row of opponent values to the coordinates the formula compares: ICtCp for ΔE ITP
// (absolute light, `white` the cd/m^2 of relative light 1), else CIELAB (three values a pixel).
void colour_row(DeltaEFormula formula, const ColourModel& colour, double white, int w,
                const double* a, const double* t, const double* d, double* out);

// The difference of each pixel pair of two such rows, reference first.
void difference_row(DeltaEFormula formula, const double* reference, const double* degraded,
                    std::size_t count, double* out);

}  // namespace orv
