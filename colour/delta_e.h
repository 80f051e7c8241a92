#pragma once
// The colour-difference formulas a difference map can use. CIE94 (delta_e94, beside the other
// conversions) is the system's own and the default; CIEDE2000 and CIE76 are offered for
// comparison with other tools. Every formula takes the reference colour first.

#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>

#include "colour/conversions.h"

namespace orv {

// `itp` is ΔE ITP of ITU-R BT.2124: it works on ICtCp from absolute light, not on CIELAB, so the
// pipeline computes it from the filtered XYZ (colour/display_rows.h); from CIELAB values alone
// (colour_difference) it is not defined and gives NaN.
enum class DeltaEFormula { cie94, ciede2000, cie76, itp };

// CIE 1976: the Euclidean distance in CIELAB.
double delta_e76(const double reference_lab[3], const double sample_lab[3]);

// CIEDE2000 with kL = kC = kH = 1, as written out step by step by Sharma, Wu and Dalal,
// "The CIEDE2000 color-difference formula: implementation notes, supplementary test data, and
// mathematical observations", Color Research and Application 30(1), 2005. Symmetric in its
// arguments.
double delta_e2000(const double reference_lab[3], const double sample_lab[3]);

inline double colour_difference(DeltaEFormula formula, const double reference_lab[3],
                                const double sample_lab[3]) {
    switch (formula) {
        case DeltaEFormula::ciede2000:
            return delta_e2000(reference_lab, sample_lab);
        case DeltaEFormula::cie76:
            return delta_e76(reference_lab, sample_lab);
        case DeltaEFormula::itp:
            return std::numeric_limits<double>::quiet_NaN();
        case DeltaEFormula::cie94:
            break;
    }
    return delta_e94(reference_lab, sample_lab);
}

// colour_difference of `count` pixel pairs, CIELAB triples side by side in each row, into
// out[0 .. count): the same doubles, CIE94 in a loop that runs four pixels at a time.
void colour_difference_row(DeltaEFormula formula, const double* reference_lab,
                           const double* sample_lab, std::size_t count, double* out);

// "CIE94", "CIEDE2000", "CIE76", "ITP".
std::string_view formula_name(DeltaEFormula formula);

// The top of a heatmap's default scale: 5 for the CIELAB formulas, 20 for ΔE ITP (whose unit
// is a smaller step than a CIELAB unit).
double default_heatmap_scale(DeltaEFormula formula);

// The formula of a command-line value "94", "2000", "76" or "itp"; empty for anything else.
std::optional<DeltaEFormula> formula_from_option(std::string_view text);

}  // namespace orv
