#pragma once
// Singular value decomposition and Moore-Penrose pseudo-inverse.

#include "numeric/arrays.h"

namespace orv {

constexpr double singular_value_floor = 1e-10;
constexpr int svd_iteration_limit = 50;

double hypotenuse(double a, double b);

// One-based: a is m x n [1..m][1..n] and becomes U; w[1..n]; v[1..n][1..n].
// Raises the Failure "no convergence in 50 dsvdcmp iterations" through fatal_numeric_error.
void dsvdcmp(RangeMatrix& a, int m, int n, RangeVector& w, RangeMatrix& v);

// Zero-based front end of dsvdcmp with the same meaning.
void svd_decompose(RangeMatrix& a, int m, int n, RangeVector& w, RangeMatrix& v);

// a (m x n, zero-based) is left unchanged; ainv must be n x m, zero-based.
void pseudo_inverse(const RangeMatrix& a, int m, int n, RangeMatrix& ainv);

// p: m x n row by row; q receives the n x m pseudo-inverse row by row.
void pseudo_inverse_flat(const double* p, double* q, int m, int n);

}  // namespace orv
