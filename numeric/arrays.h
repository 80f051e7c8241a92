#pragma once
// Index-range vectors and matrices (caller-chosen bounds) and the shared rounding.
//
// A vector made for [lo, hi] owns one block of exactly hi - lo + 1 elements and is indexed
// v[lo] ... v[hi]. A matrix made for rows [rlo, rhi] and columns [clo, chi] owns a row table
// and one contiguous row-major block, so the whole matrix is a single array; it is indexed
// m[r][c]. Contents are not initialised. No bounds are checked.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orv {

// x + 0.5 truncated toward zero.
inline std::int64_t round_to_int(double x) { return static_cast<std::int64_t>(x + 0.5); }

// Raises the orv::Failure of a decomposition that did not converge in `iterations` steps
// (never ends the process).
[[noreturn]] void fatal_numeric_error(int iterations);

struct RangeVector {
    std::unique_ptr<double[]> block;
    int lo = 0;
    int hi = -1;

    double& operator[](int i) { return block[static_cast<std::ptrdiff_t>(i) - lo]; }
    const double& operator[](int i) const { return block[static_cast<std::ptrdiff_t>(i) - lo]; }
    // Start of the block: element lo.
    double* data() { return block.get(); }
    const double* data() const { return block.get(); }
    int size() const { return hi - lo + 1; }
};

struct RangeIntVector {
    std::unique_ptr<std::int32_t[]> block;
    int lo = 0;
    int hi = -1;

    std::int32_t& operator[](int i) { return block[static_cast<std::ptrdiff_t>(i) - lo]; }
    const std::int32_t& operator[](int i) const {
        return block[static_cast<std::ptrdiff_t>(i) - lo];
    }
    std::int32_t* data() { return block.get(); }
    int size() const { return hi - lo + 1; }
};

// One row of a RangeMatrix, indexed by column from the matrix's lower column bound.
template <typename T>
struct RangeRow {
    T* first;  // element at column clo
    int clo;
    T& operator[](int c) const { return first[static_cast<std::ptrdiff_t>(c) - clo]; }
};

struct RangeMatrix {
    std::unique_ptr<double*[]> rows;  // rows[r - rlo] points at element [r][clo]
    std::unique_ptr<double[]> block;  // all rows in order
    int rlo = 0;
    int rhi = -1;
    int clo = 0;
    int chi = -1;

    RangeRow<double> operator[](int r) { return {rows[static_cast<std::ptrdiff_t>(r) - rlo], clo}; }
    RangeRow<const double> operator[](int r) const {
        return {rows[static_cast<std::ptrdiff_t>(r) - rlo], clo};
    }
    int row_count() const { return rhi - rlo + 1; }
    int column_count() const { return chi - clo + 1; }
    // The whole matrix as one row-major array, starting at [rlo][clo].
    double* data() { return block.get(); }
    const double* data() const { return block.get(); }
};

// Vector indexable lo..hi (hi < lo gives an empty vector).
RangeVector new_vector(int lo, int hi);
RangeIntVector new_int_vector(int lo, int hi);
// Matrix indexable [rlo..rhi][clo..chi]: exactly two allocations, row table and block.
RangeMatrix new_matrix(int rlo, int rhi, int clo, int chi);

// Release an array made by the matching new_* with the same lower bounds; it becomes empty.
// Destruction releases it as well.
void delete_vector(RangeVector& v, int lo);
void delete_int_vector(RangeIntVector& v, int lo);
void delete_matrix(RangeMatrix& m, int rlo, int clo);

}  // namespace orv
