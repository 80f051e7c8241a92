#pragma once
// Mixed-radix in-place complex FFT (decimation in frequency, any length >= 2).
//
// Conventions: the engine with sign s computes X_k = sum_j x_j e^{s 2 pi i jk/n}, unscaled.
// fft_1d / fft_2d with direction 1 use s = +1 and divide by the length of every pass;
// any other direction uses s = -1 and does not scale.
// A plane is width*height values, element (x, y) at y*width + x.

#include <cstddef>
#include <vector>

namespace orv {

// The engine's ordered factor list of n: fours, a six where the power of two is odd and n has
// a three (else a two), then the odd primes in ascending order (e.g. 1920 -> 4 4 4 6 5).
// Empty for n < 2.
std::vector<int> fft_factors(int n);

// In-place unscaled transform of n complex values (n < 2: nothing happens).
void fft_core(double* re, double* im, int n, int sign);

// The system's one-dimensional transform (see conventions above).
void fft_1d(double* re, double* im, int direction, int n);

// `count` transforms of length n in the conventions of fft_1d, side by side: element e of
// sequence q at re/im[q * line_stride + e * element_stride]. The same values as fft_1d on each.
void fft_lines(double* re, double* im, int direction, int n, int count, std::ptrdiff_t line_stride,
               std::ptrdiff_t element_stride);

// Rows, then columns. A side of 1 transforms along the other side only; a side of 0 does nothing.
void fft_2d(double* re, double* im, int direction, int width, int height);

}  // namespace orv
