#pragma once
// The plane driver compiled once per instruction set, chosen at run time.

#include "numeric/fft_plan.h"

namespace orv::fft_detail {

// The instruction sets the plane driver is compiled for, narrowest first.
enum class FftPath { baseline, avx2, avx512 };

// The widest path this processor runs: the one transform_lines takes.
FftPath widest_fft_path();

// Transforms `count` sequences of length n (>= 2); sequence q, element e lives at
// re/im + q * seq_stride + e * elem_stride. Results are written back in natural order and
// multiplied by `scale` when `scaled`. Every instruction set gives the same bytes.
void transform_lines(double* re, double* im, int n, int sign, Index count, Index seq_stride,
                     Index elem_stride, bool scaled, double scale);

// The same on a chosen path, which must not be wider than widest_fft_path() (the tests
// compare the paths).
void transform_lines_on(FftPath path, double* re, double* im, int n, int sign, Index count,
                        Index seq_stride, Index elem_stride, bool scaled, double scale);

}  // namespace orv::fft_detail
