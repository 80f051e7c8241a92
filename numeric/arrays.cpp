#include "numeric/arrays.h"

#include <cassert>
#include <new>

#include "numeric/failure.h"

namespace orv {

void fatal_numeric_error(int iterations) {
    raise_failure(FailureKind::svd_no_convergence, {}, {std::to_string(iterations)});
}

namespace {

std::size_t range_length(int lo, int hi) {
    return hi < lo ? 0 : static_cast<std::size_t>(static_cast<std::int64_t>(hi) - lo + 1);
}

}  // namespace

RangeVector new_vector(int lo, int hi) {
    RangeVector v;
    v.lo = lo;
    v.hi = hi < lo ? lo - 1 : hi;
    // Uninitialised on purpose: callers fill what they use.
    v.block.reset(new double[range_length(lo, hi)]);
    return v;
}

RangeIntVector new_int_vector(int lo, int hi) {
    RangeIntVector v;
    v.lo = lo;
    v.hi = hi < lo ? lo - 1 : hi;
    v.block.reset(new std::int32_t[range_length(lo, hi)]);
    return v;
}

RangeMatrix new_matrix(int rlo, int rhi, int clo, int chi) {
    RangeMatrix m;
    m.rlo = rlo;
    m.rhi = rhi < rlo ? rlo - 1 : rhi;
    m.clo = clo;
    m.chi = chi < clo ? clo - 1 : chi;
    const std::size_t nrow = range_length(rlo, rhi);
    const std::size_t ncol = range_length(clo, chi);
    m.rows.reset(new double*[nrow]);
    m.block.reset(new double[nrow * ncol]);
    for (std::size_t r = 0; r < nrow; ++r) m.rows[r] = m.block.get() + r * ncol;
    return m;
}

void delete_vector(RangeVector& v, [[maybe_unused]] int lo) {
    assert(v.block == nullptr || v.lo == lo);
    v = RangeVector{};
}

void delete_int_vector(RangeIntVector& v, [[maybe_unused]] int lo) {
    assert(v.block == nullptr || v.lo == lo);
    v = RangeIntVector{};
}

void delete_matrix(RangeMatrix& m, [[maybe_unused]] int rlo, [[maybe_unused]] int clo) {
    assert(m.block == nullptr || (m.rlo == rlo && m.clo == clo));
    // Block first, then the row table.
    m.block.reset();
    m.rows.reset();
    m = RangeMatrix{};
}

}  // namespace orv
