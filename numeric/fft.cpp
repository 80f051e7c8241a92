// Mixed-radix FFT: decimation in frequency over an ordered factor list, with
// butterflies for 2, 3, 4, 5 and 6 and a general butterfly for other odd primes, rotation
// factors from a recurrence, and the results put into natural order by a table of their
// digit-reversed positions.
//
// Everything that depends only on the length and the sign (factor list, rotation factors,
// odd-factor tables, the natural-order table) is worked out once into a plan and kept in a small
// per-thread cache, so each thread has its own working state and transforms may run on
// several threads at once. Plane transforms push 16 rows or columns through the passes side
// by side (lane l of value e at [e * 16 + l]), which the compiler turns into vector code; each
// lane performs exactly the arithmetic of a single transform.
//
// Pieces: fft_plan (factorisation, tables, natural order, plan cache), fft_passes.h (the
// passes; their butterflies in fft_butterflies.h), fft_lines.h (the plane driver), fft_dispatch
// (the driver per instruction set).

#include "numeric/fft.h"

#include "numeric/fft_dispatch.h"
#include "numeric/fft_passes.h"
#include "numeric/fft_plan.h"

namespace orv {

using fft_detail::FftPlan;
using fft_detail::Passes;
using fft_detail::plan_for;
using fft_detail::transform_lines;

std::vector<int> fft_factors(int n) {
    std::vector<int> factors;
    if (n < 2) return factors;
    fft_detail::factorise(n, factors);
    return factors;
}

void fft_core(double* re, double* im, int n, int sign) {
    if (n < 2) return;
    FftPlan& plan = plan_for(n, sign >= 0 ? 1 : -1);
    Passes<1>::run(plan, re, im);
    fft_detail::reorder(plan, re, im);
}

void fft_1d(double* re, double* im, int direction, int n) {
    if (n < 2) return;
    if (direction == 1) {
        fft_core(re, im, n, 1);
        const double scale = 1.0 / n;
        for (int i = 0; i < n; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
    } else {
        fft_core(re, im, n, -1);
    }
}

void fft_lines(double* re, double* im, int direction, int n, int count, std::ptrdiff_t line_stride,
               std::ptrdiff_t element_stride) {
    if (n < 2 || count <= 0) return;
    transform_lines(re, im, n, direction == 1 ? 1 : -1, count, line_stride, element_stride,
                    direction == 1, 1.0 / n);
}

void fft_2d(double* re, double* im, int direction, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const int sign = direction == 1 ? 1 : -1;
    const bool scaled = direction == 1;
    if (width >= 2) transform_lines(re, im, width, sign, height, width, 1, scaled, 1.0 / width);
    if (height >= 2) transform_lines(re, im, height, sign, width, 1, width, scaled, 1.0 / height);
}

}  // namespace orv
