#pragma once
// Direct DFT for short sequences, centring shifts and magnitudes.

namespace orv {

// X_k = sum_j x_j e^{-i s theta}, theta = j k 6.28318530718 / n; divided by n when s == 1.
// Long transforms split their outputs between threads (the result does not depend on it).
void dft_1d(double* re, double* im, int sign, int n);

// The same transform as dft_1d (same angle constant, same scaling) by Bluestein's chirp
// method over fft_core: O(n log n) instead of n^2 sines and cosines. It agrees with dft_1d to
// rounding (within 1e-12 of the largest output for a thousand values; the direct sums carry
// angles of thousands of radians, whose own rounding is of that order), not to the last bit.
void chirp_dft_1d(double* re, double* im, int sign, int n);

// Most threads one dft_1d call may use; 0 (the default) means the machine's cores. A tool
// told to use N threads passes N on.
void set_dft_thread_limit(int threads);

// Rotates so that element 0 lands at index n/2 (floor).
void shift_centre_1d(double* values, int n);

// Moves element (0, 0) to (width/2, height/2) (floors), for even and odd sides.
void shift_quadrants_2d(double* plane, int width, int height);

// Exact inverse of shift_quadrants_2d: restores the transform's natural order.
void unshift_quadrants_2d(double* plane, int width, int height);

// out[i] = sqrt(re[i]^2 + im[i]^2).
void spectrum_magnitude(const double* re, const double* im, int n, double* out);

}  // namespace orv
