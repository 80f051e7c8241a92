#include "scielab/colour_rows.h"

#include "colour/conversions.h"
#include "colour/display_rows.h"

namespace orv {

void colour_row(DeltaEFormula formula, const ColourModel& colour, double white, int w,
                const double* a, const double* t, const double* d, double* out) {
    if (formula == DeltaEFormula::itp) {
        atd_row_to_ictcp(colour.atd_to_xyz, colour.xyz_to_bt2020, white, w, a, t, d, out);
    } else {
        atd_row_to_lab(colour.atd_to_xyz, w, a, t, d, out);
    }
}

void difference_row(DeltaEFormula formula, const double* reference, const double* degraded,
                    std::size_t count, double* out) {
    if (formula == DeltaEFormula::itp) {
        itp_difference_row(reference, degraded, count, out);
    } else {
        colour_difference_row(formula, reference, degraded, count, out);
    }
}

}  // namespace orv
