#pragma once
// The plane driver: many sequences of one length, taken from a plane by rows or by columns,
// pushed through the passes batch_lanes at a time and written back in natural order.
// Always inlined into the entry points of fft_dispatch.cpp, one per instruction set.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "numeric/fft_passes.h"
#include "numeric/fft_plan.h"

namespace orv::fft_detail {

// Sequences transformed side by side by the two-dimensional transform.
constexpr int batch_lanes = 16;

// Rows a multiple of 4 KB apart share a set of the first-level cache, which holds 8 to 12
// lines of a set: moving all batch_lanes such rows at once would evict each row's line
// before its next values are taken. Such rows are moved eight at a time.
inline bool rows_crowd_cache_sets(Index stride) { return stride % 512 == 0; }

// How far ahead of the values being moved each row's values are asked for (eight cache lines):
// the rows are read side by side, more streams than the hardware's prefetcher follows well.
constexpr Index gather_ahead = 64;

// rows[l * stride + e] -> lanes[e * batch_lanes + l] for rows l of [l0, l0 + Rows): a
// transposition done two rows by two values at a time.
template <int Rows>
[[gnu::always_inline]] inline void gather_row_block(const double* rows, Index stride, Index n,
                                                    int l0, double* lanes) {
    constexpr int L = batch_lanes;
    Index e = 0;
#ifdef __SSE2__
    for (; e + 1 < n; e += 2) {
        if (e % 8 == 0) {
            for (int l = l0; l < l0 + Rows; ++l)
                __builtin_prefetch(rows + l * stride + e + gather_ahead);
        }
        for (int l = l0; l < l0 + Rows; l += 2) {
            const __m128d a = _mm_loadu_pd(rows + l * stride + e);
            const __m128d b = _mm_loadu_pd(rows + (l + 1) * stride + e);
            _mm_storeu_pd(lanes + e * L + l, _mm_unpacklo_pd(a, b));
            _mm_storeu_pd(lanes + (e + 1) * L + l, _mm_unpackhi_pd(a, b));
        }
    }
#endif
    for (; e < n; ++e)
        for (int l = l0; l < l0 + Rows; ++l) lanes[e * L + l] = rows[l * stride + e];
}

// rows[l * stride + e] -> lanes[e * batch_lanes + l] for the batch_lanes rows of a block.
[[gnu::always_inline]] inline void gather_rows(const double* rows, Index stride, Index n,
                                               double* lanes) {
    constexpr int L = batch_lanes;
    if (rows_crowd_cache_sets(stride)) {
        for (int l0 = 0; l0 < L; l0 += L / 2) gather_row_block<L / 2>(rows, stride, n, l0, lanes);
    } else {
        gather_row_block<L>(rows, stride, n, 0, lanes);
    }
}

// rows[l * stride + k] = lanes[source[k] * batch_lanes + l] (times scale when scaled), for
// rows l of [l0, l0 + Rows).
template <int Rows>
[[gnu::always_inline]] inline void scatter_row_block(const double* lanes, const Index* source,
                                                     Index n, bool scaled, double scale,
                                                     double* rows, Index stride, int l0) {
    constexpr int L = batch_lanes;
    Index k = 0;
#ifdef __SSE2__
    const __m128d factor = _mm_set1_pd(scale);
    for (; k + 1 < n; k += 2) {
        const double* p0 = lanes + source[k] * L;
        const double* p1 = lanes + source[k + 1] * L;
        for (int l = l0; l < l0 + Rows; l += 2) {
            __m128d a = _mm_loadu_pd(p0 + l);
            __m128d b = _mm_loadu_pd(p1 + l);
            if (scaled) {
                a = _mm_mul_pd(a, factor);
                b = _mm_mul_pd(b, factor);
            }
            _mm_storeu_pd(rows + l * stride + k, _mm_unpacklo_pd(a, b));
            _mm_storeu_pd(rows + (l + 1) * stride + k, _mm_unpackhi_pd(a, b));
        }
    }
#endif
    for (; k < n; ++k) {
        const double* p = lanes + source[k] * L;
        for (int l = l0; l < l0 + Rows; ++l) rows[l * stride + k] = scaled ? p[l] * scale : p[l];
    }
}

// rows[l * stride + k] = lanes[source[k] * batch_lanes + l] (times scale when scaled).
[[gnu::always_inline]] inline void scatter_rows(const double* lanes, const Index* source, Index n,
                                                bool scaled, double scale, double* rows,
                                                Index stride) {
    constexpr int L = batch_lanes;
    if (rows_crowd_cache_sets(stride)) {
        for (int l0 = 0; l0 < L; l0 += L / 2)
            scatter_row_block<L / 2>(lanes, source, n, scaled, scale, rows, stride, l0);
    } else {
        scatter_row_block<L>(lanes, source, n, scaled, scale, rows, stride, 0);
    }
}

// The batch_lanes values of one lane group between a plane and the batch (times scale when
// scaled); the two never overlap, which lets the copy run in vector registers.
[[gnu::always_inline]] inline void copy_lanes(double* __restrict__ to,
                                              const double* __restrict__ from, bool scaled,
                                              double scale) {
    if (scaled) {
        for (int l = 0; l < batch_lanes; ++l) to[l] = from[l] * scale;
    } else {
        for (int l = 0; l < batch_lanes; ++l) to[l] = from[l];
    }
}

// The batch's values, each plane starting on a cache line, so that no vector load of a lane
// group straddles two lines.
struct BatchBuffers {
    std::vector<double> re_storage, im_storage;
    double* re = nullptr;
    double* im = nullptr;
};

inline double* cache_line_start(std::vector<double>& storage) {
    const auto at = reinterpret_cast<std::uintptr_t>(storage.data());
    return storage.data() + ((64 - at % 64) % 64) / sizeof(double);
}

// Batch `which` (0 or 1; columns may go two batches at a time) of the calling thread.
inline BatchBuffers& batch_buffers(std::size_t values, int which = 0) {
    thread_local BatchBuffers buffers[2];
    BatchBuffers& b = buffers[which];
    if (b.re_storage.size() < values + 8) {
        b.re_storage.resize(values + 8);
        b.im_storage.resize(values + 8);
        b.re = cache_line_start(b.re_storage);
        b.im = cache_line_start(b.im_storage);
    }
    return b;
}

// Columns: Batches whole batches of neighbouring columns into the batch buffers, every
// row's part of them taken in one visit (two cache lines a batch). The rows lie a plane's
// width apart, too far for the hardware to foresee, so each row's part of the next columns
// is asked for now and arrives while these are transformed.
template <int Batches>
[[gnu::always_inline]] inline void take_columns(const double* re, const double* im, Index n,
                                                Index elem_stride, bool more,
                                                BatchBuffers* const* buffers) {
    constexpr int L = batch_lanes;
    for (Index e = 0; e < n; ++e) {
        const double* sr = re + e * elem_stride;
        const double* si = im + e * elem_stride;
        for (int b = 0; b < Batches; ++b) {
            if (more) {
                __builtin_prefetch(sr + (Batches + b) * L);
                __builtin_prefetch(sr + (Batches + b) * L + 8);
                __builtin_prefetch(si + (Batches + b) * L);
                __builtin_prefetch(si + (Batches + b) * L + 8);
            }
            copy_lanes(buffers[b]->re + e * L, sr + b * L, false, 1.0);
            copy_lanes(buffers[b]->im + e * L, si + b * L, false, 1.0);
        }
    }
}

// The transformed batches back into their columns, in natural order.
template <int Batches>
[[gnu::always_inline]] inline void put_columns(BatchBuffers* const* buffers, const Index* source,
                                               Index n, bool scaled, double scale, double* re,
                                               double* im, Index elem_stride) {
    constexpr int L = batch_lanes;
    for (Index k = 0; k < n; ++k) {
        double* dr = re + k * elem_stride;
        double* di = im + k * elem_stride;
        for (int b = 0; b < Batches; ++b) {
            copy_lanes(dr + b * L, buffers[b]->re + source[k] * L, scaled, scale);
            copy_lanes(di + b * L, buffers[b]->im + source[k] * L, scaled, scale);
        }
    }
}

// Transforms `count` sequences of length n; sequence q, element e lives at
// base + q * seq_stride + e * elem_stride. Results are written back in natural order and
// multiplied by `scale` when `scaled`.
[[gnu::always_inline]] inline void transform_lines_kernel(double* re, double* im, int n, int sign,
                                                          Index count, Index seq_stride,
                                                          Index elem_stride, bool scaled,
                                                          double scale) {
    constexpr int L = batch_lanes;
    FftPlan& plan = plan_for(n, sign);
    BatchBuffers* buffers[2] = {&batch_buffers(static_cast<std::size_t>(n) * L), nullptr};
    double* br = buffers[0]->re;
    double* bi = buffers[0]->im;
    const Index* source = natural_order(plan);
    // Columns go two batches a visit: each row's part of them is then four cache lines of
    // each plane instead of two, which halves the visits to rows far apart (and keeps rows a
    // multiple of 4 KB apart, which crowd a few sets of the second-level cache, from losing
    // the lines of the next columns asked for ahead before their turn).
    const bool column_pairs = seq_stride == 1 && count >= 2 * L;
    if (column_pairs) buffers[1] = &batch_buffers(static_cast<std::size_t>(n) * L, 1);
    for (Index q0 = 0; q0 < count;) {
        const int lanes = static_cast<int>(std::min<Index>(L, count - q0));
        const bool columns = seq_stride == 1 && lanes == L;
        const int batches = column_pairs && q0 + 2 * L <= count ? 2 : 1;
        if (lanes < L) {
            std::fill(br, br + static_cast<std::size_t>(n) * L, 0.0);
            std::fill(bi, bi + static_cast<std::size_t>(n) * L, 0.0);
        }
        const Index first = q0 * seq_stride;
        const bool more = q0 + 2 * batches * L <= count;
        if (columns && batches == 2) {
            take_columns<2>(re + first, im + first, n, elem_stride, more, buffers);
        } else if (columns) {
            take_columns<1>(re + first, im + first, n, elem_stride, more, buffers);
        } else if (elem_stride == 1 && lanes == L) {
            gather_rows(re + first, seq_stride, n, br);
            gather_rows(im + first, seq_stride, n, bi);
        } else {
            for (int l = 0; l < lanes; ++l) {
                const double* sr = re + first + l * seq_stride;
                const double* si = im + first + l * seq_stride;
                for (Index e = 0; e < n; ++e) {
                    br[e * L + l] = sr[e * elem_stride];
                    bi[e * L + l] = si[e * elem_stride];
                }
            }
        }
        for (int b = 0; b < batches; ++b) Passes<L>::run(plan, buffers[b]->re, buffers[b]->im);
        if (columns && batches == 2) {
            put_columns<2>(buffers, source, n, scaled, scale, re + first, im + first, elem_stride);
        } else if (columns) {
            put_columns<1>(buffers, source, n, scaled, scale, re + first, im + first, elem_stride);
        } else if (elem_stride == 1 && lanes == L) {
            scatter_rows(br, source, n, scaled, scale, re + first, seq_stride);
            scatter_rows(bi, source, n, scaled, scale, im + first, seq_stride);
        } else {
            for (int l = 0; l < lanes; ++l) {
                double* dr = re + first + l * seq_stride;
                double* di = im + first + l * seq_stride;
                for (Index k = 0; k < n; ++k) {
                    const double vr = br[source[k] * L + l];
                    const double vi = bi[source[k] * L + l];
                    dr[k * elem_stride] = scaled ? vr * scale : vr;
                    di[k * elem_stride] = scaled ? vi * scale : vi;
                }
            }
        }
        q0 += batches * L;
    }
}

}  // namespace orv::fft_detail
