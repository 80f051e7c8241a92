#pragma once
// The plane driver compiled once per instruction set, chosen at run time.

#include "numeric/fft_plan.h"

namespace orv::fft_detail {

// Transforms `count` sequences of length n (>= 2); sequence q, element e lives at
// re/im + q * seq_stride + e * elem_stride. Results are written back in natural order and
// multiplied by `scale` when `scaled`. Every instruction set gives the same bytes.
void transform_lines(double* re, double* im, int n, int sign, Index count, Index seq_stride,
                     Index elem_stride, bool scaled, double scale);

}  // namespace orv::fft_detail
