#pragma once
// The passes of the mixed-radix transform on L interleaved sequences: value e of lane l sits
// at [e * L + l]. Every lane sees exactly the arithmetic of a single transform. The
// butterflies (fft_butterflies.h) are kernels over the L lanes of one group of values, with
// the rotation decided outside the lane loop, so that the compiler turns the lane loops into
// vector instructions. Every function here is always inlined into the entry point that
// uses it, so that each entry point compiles it for its own instruction set.

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "numeric/fft_butterflies.h"
#include "numeric/fft_plan.h"

namespace orv::fft_detail {

// Work vectors of the general odd-factor butterfly, per thread, grown as needed.
struct OddWork {
    std::vector<double> ak_re, ak_im, bk_re, bk_im;
};

// Work planes of the chirp method, per thread, grown as needed.
struct ChirpWork {
    std::vector<double> re, im;
};

inline ChirpWork& chirp_work(std::size_t size) {
    thread_local ChirpWork work;
    if (work.re.size() < size) {
        work.re.resize(size);
        work.im.resize(size);
    }
    return work;
}

inline OddWork& odd_work(std::size_t size) {
    thread_local OddWork work;
    if (work.ak_re.size() < size) {
        work.ak_re.resize(size);
        work.ak_im.resize(size);
        work.bk_re.resize(size);
        work.bk_im.resize(size);
    }
    return work;
}

template <int L>
struct Passes {
    // The butterflies of a pass of factor P over the whole blocks of [start, end): in each
    // block, butterfly j takes the values j, j + sub, ..., the first one (and every one of the
    // last pass) without rotation. kernel(rotated, r0, i0, step, wr_j, wi_j) is one butterfly,
    // `rotated` a std::bool_constant so that each form compiles on its own. The kernels are
    // inlined by force: a lambda left to itself was compiled apart from the instruction set's
    // entry point and took a quarter longer.
    template <int P, class Kernel>
    [[gnu::always_inline]] static inline void butterflies(const FftPass& ps, Index start, Index end,
                                                          double* re, double* im, const double* wr,
                                                          const double* wi, Kernel kernel) {
        const Index sub = ps.sub;
        const Index step = sub * L;
        for (Index base = start; base < end; base += ps.span) {
            for (Index j = 0; j < sub; ++j) {
                double* r0 = re + (base + j) * L;
                double* i0 = im + (base + j) * L;
                if (j == 0 || !ps.rotate)
                    kernel(std::false_type{}, r0, i0, step, wr, wi);
                else
                    kernel(std::true_type{}, r0, i0, step, wr + (P - 1) * j, wi + (P - 1) * j);
            }
        }
    }

    // The pairwise sums and differences of the values r and p - r of a general butterfly,
    // through pointers the compiler may take as distinct, so that the lane loop is vector code.
    [[gnu::always_inline]] static inline void pair_terms(
        const double* __restrict__ rr, const double* __restrict__ ri, const double* __restrict__ mr,
        const double* __restrict__ mi, double* __restrict__ a_r, double* __restrict__ a_i,
        double* __restrict__ b_r, double* __restrict__ b_i) {
        for (int l = 0; l < L; ++l) {
            a_r[l] = rr[l] + mr[l];
            a_i[l] = ri[l] + mi[l];
            b_r[l] = rr[l] - mr[l];
            b_i[l] = ri[l] - mi[l];
        }
    }

    [[gnu::always_inline]] static inline void general(const FftPass& ps, Index start, Index end,
                                                      const FftPlan& plan, double* re, double* im,
                                                      const double* wr, const double* wi) {
        const int p = ps.factor;
        const int h = (p - 1) / 2;
        const Index sub = ps.sub;
        const double* ct = plan.odd_cos.data() + ps.odd;
        const double* st = plan.odd_sin.data() + ps.odd;
        OddWork& work = odd_work(static_cast<std::size_t>(h + 1) * L);
        double* ak_r = work.ak_re.data();
        double* ak_i = work.ak_im.data();
        double* bk_r = work.bk_re.data();
        double* bk_i = work.bk_im.data();
        for (Index base = start; base < end; base += ps.span) {
            for (Index j = 0; j < sub; ++j) {
                double* r0 = re + (base + j) * L;
                double* i0 = im + (base + j) * L;
                const Index step = sub * L;
                const bool plain = j == 0 || !ps.rotate;
                double x0r[L];
                double x0i[L];
                for (int l = 0; l < L; ++l) {
                    x0r[l] = r0[l];
                    x0i[l] = i0[l];
                }
                // Pairwise sums and differences of inputs (r, p - r), and the sum of all.
                for (int r = 1; r <= h; ++r)
                    pair_terms(r0 + r * step, i0 + r * step, r0 + (p - r) * step,
                               i0 + (p - r) * step, ak_r + r * L, ak_i + r * L, bk_r + r * L,
                               bk_i + r * L);
                double sr[L];
                double si[L];
                for (int l = 0; l < L; ++l) {
                    sr[l] = x0r[l];
                    si[l] = x0i[l];
                }
                for (int r = 1; r <= h; ++r) {
                    for (int l = 0; l < L; ++l) {
                        sr[l] += ak_r[r * L + l];
                        si[l] += ak_i[r * L + l];
                    }
                }
                for (int l = 0; l < L; ++l) {
                    r0[l] = sr[l];
                    i0[l] = si[l];
                }
                for (int k = 1; k <= h; ++k) {
                    double aar[L], aai[L], bbr[L], bbi[L];
                    for (int l = 0; l < L; ++l) {
                        aar[l] = x0r[l];
                        aai[l] = x0i[l];
                        bbr[l] = 0.0;
                        bbi[l] = 0.0;
                    }
                    int idx = 0;
                    for (int r = 1; r <= h; ++r) {
                        idx += k;
                        if (idx >= p) idx -= p;
                        const double c = ct[idx];
                        const double s = st[idx];
                        for (int l = 0; l < L; ++l) {
                            aar[l] += ak_r[r * L + l] * c;
                            aai[l] += ak_i[r * L + l] * c;
                            bbr[l] += bk_r[r * L + l] * s;
                            bbi[l] += bk_i[r * L + l] * s;
                        }
                    }
                    double* ykr = r0 + k * step;
                    double* yki = i0 + k * step;
                    double* ymr = r0 + (p - k) * step;
                    double* ymi = i0 + (p - k) * step;
                    if (plain) {
                        for (int l = 0; l < L; ++l) {
                            ykr[l] = aar[l] - bbi[l];
                            yki[l] = aai[l] + bbr[l];
                            ymr[l] = aar[l] + bbi[l];
                            ymi[l] = aai[l] - bbr[l];
                        }
                    } else {
                        const std::size_t row = static_cast<std::size_t>(j) * (p - 1);
                        const double ck = wr[row + k - 1];
                        const double sk = wi[row + k - 1];
                        const double cm = wr[row + p - k - 1];
                        const double sm = wi[row + p - k - 1];
                        for (int l = 0; l < L; ++l) {
                            const double y1r = aar[l] - bbi[l];
                            const double y1i = aai[l] + bbr[l];
                            const double y2r = aar[l] + bbi[l];
                            const double y2i = aai[l] - bbr[l];
                            ykr[l] = y1r * ck - y1i * sk;
                            yki[l] = y1r * sk + y1i * ck;
                            ymr[l] = y2r * cm - y2i * sm;
                            ymi[l] = y2r * sm + y2i * cm;
                        }
                    }
                }
            }
        }
    }

    // The per-thread planes of a cyclic convolution of length m on L lanes: the transformed
    // input (a) and the weighted product (p).
    struct ConvolutionWork {
        double *ar, *ai, *pr, *pi;
    };
    [[gnu::always_inline]] static inline ConvolutionWork convolution_work(Index m) {
        ChirpWork& work = chirp_work(static_cast<std::size_t>(2 * m * L));
        return {work.re.data(), work.im.data(), work.re.data() + m * L, work.im.data() + m * L};
    }

    // p[k] = a[from[k]] (c_k + i s_k), k < m, on every lane: a transform's result taken into
    // natural order and weighted by a filter held in natural order.
    [[gnu::always_inline]] static inline void weigh_in_order(const Index* from, const double* fc,
                                                             const double* fs, Index m,
                                                             const double* ar, const double* ai,
                                                             double* __restrict__ pr,
                                                             double* __restrict__ pi) {
        for (Index k = 0; k < m; ++k) {
            const double c = fc[k];
            const double s = fs[k];
            const double* xr = ar + from[k] * L;
            const double* xi = ai + from[k] * L;
            for (int l = 0; l < L; ++l) {
                pr[k * L + l] = xr[l] * c - xi[l] * s;
                pi[k * L + l] = xr[l] * s + xi[l] * c;
            }
        }
    }

    // Bluestein's chirp method (see BluesteinPlan) on the n values of every lane; the result
    // is in natural order.
    [[gnu::always_inline]] static inline void chirp(const FftPlan& plan, double* re, double* im) {
        const BluesteinPlan& b = *plan.bluestein;
        const Index n = plan.n;
        const Index m = b.m;
        const ConvolutionWork w = convolution_work(m);
        double* __restrict__ ar = w.ar;
        double* __restrict__ ai = w.ai;
        double* __restrict__ pr = w.pr;
        double* __restrict__ pi = w.pi;
        for (Index e = 0; e < n; ++e) {
            const double c = b.chirp_re[static_cast<std::size_t>(e)];
            const double s = b.chirp_im[static_cast<std::size_t>(e)];
            for (int l = 0; l < L; ++l) {
                const double x = re[e * L + l];
                const double y = im[e * L + l];
                ar[e * L + l] = x * c - y * s;
                ai[e * L + l] = x * s + y * c;
            }
        }
        std::fill(ar + n * L, ar + m * L, 0.0);
        std::fill(ai + n * L, ai + m * L, 0.0);
        passes(*b.forward, ar, ai);
        const Index* from = b.forward->natural_source.data();
        weigh_in_order(from, b.filter_re.data(), b.filter_im.data(), m, ar, ai, pr, pi);
        passes(*b.inverse, pr, pi);
        from = b.inverse->natural_source.data();
        for (Index k = 0; k < n; ++k) {
            const double c = b.chirp_re[static_cast<std::size_t>(k)];
            const double s = b.chirp_im[static_cast<std::size_t>(k)];
            const double* xr = pr + from[k] * L;
            const double* xi = pi + from[k] * L;
            for (int l = 0; l < L; ++l) {
                re[k * L + l] = xr[l] * c - xi[l] * s;
                im[k * L + l] = xr[l] * s + xi[l] * c;
            }
        }
    }

    // Rader's method (see RaderPlan) on the n values of every lane; the result is in natural
    // order.
    [[gnu::always_inline]] static inline void rader(const FftPlan& plan, double* re, double* im) {
        const RaderPlan& r = *plan.rader;
        const Index m = plan.n - 1;
        const ConvolutionWork w = convolution_work(m);
        double* __restrict__ ar = w.ar;
        double* __restrict__ ai = w.ai;
        double* __restrict__ pr = w.pr;
        double* __restrict__ pi = w.pi;
        for (Index t = 0; t < m; ++t) {
            const double* xr = re + r.gather[static_cast<std::size_t>(t)] * L;
            const double* xi = im + r.gather[static_cast<std::size_t>(t)] * L;
            for (int l = 0; l < L; ++l) {
                ar[t * L + l] = xr[l];
                ai[t * L + l] = xi[l];
            }
        }
        passes(*r.forward, ar, ai);
        const Index* from = r.forward->natural_source.data();
        weigh_in_order(from, r.filter_re.data(), r.filter_im.data(), m, ar, ai, pr, pi);
        passes(*r.inverse, pr, pi);
        double x0r[L];
        double x0i[L];
        // The sum of all values is x_0 plus the zero-frequency term of the first transform.
        const double* dc_r = ar + from[0] * L;
        const double* dc_i = ai + from[0] * L;
        for (int l = 0; l < L; ++l) {
            x0r[l] = re[l];
            x0i[l] = im[l];
            re[l] = x0r[l] + dc_r[l];
            im[l] = x0i[l] + dc_i[l];
        }
        from = r.inverse->natural_source.data();
        for (Index q = 0; q < m; ++q) {
            const double* cr = pr + from[q] * L;
            const double* ci = pi + from[q] * L;
            double* yr = re + r.scatter[static_cast<std::size_t>(q)] * L;
            double* yi = im + r.scatter[static_cast<std::size_t>(q)] * L;
            for (int l = 0; l < L; ++l) {
                yr[l] = x0r[l] + cr[l];
                yi[l] = x0i[l] + ci[l];
            }
        }
    }

    // The transform of a plan, unordered for the passes, in natural order for the chirp
    // method and Rader's.
    [[gnu::always_inline]] static inline void run(const FftPlan& plan, double* re, double* im) {
        if (plan.bluestein) {
            chirp(plan, re, im);
        } else if (plan.rader) {
            rader(plan, re, im);
        } else {
            passes(plan, re, im);
        }
    }

    // One pass over the whole blocks of values [start, end).
    [[gnu::always_inline]] static inline void pass(const FftPlan& plan, const FftPass& ps,
                                                   Index start, Index end, double* re, double* im) {
        const double* wr = plan.rot_re.data() + ps.rot;
        const double* wi = plan.rot_im.data() + ps.rot;
        const double s120 = plan.s120;
        const double sg = plan.sign;
        switch (ps.factor) {
            case 2:
                butterflies<2>(
                    ps, start, end, re, im, wr, wi,
                    [](auto rotated, double* r, double* i, Index st, const double* c,
                       const double* sn) __attribute__((always_inline)) {
                        constexpr bool rot = decltype(rotated)::value;
                        butterfly2<L, rot>(r, i, r + st, i + st, rot ? c[0] : 1.0,
                                           rot ? sn[0] : 0.0);
                    });
                break;
            case 3:
                butterflies<3>(
                    ps, start, end, re, im, wr, wi,
                    [&](auto rotated, double* r, double* i, Index st, const double* c,
                        const double* sn) __attribute__((always_inline)) {
                        butterfly3<L, decltype(rotated)::value>(r, i, r + st, i + st, r + 2 * st,
                                                                i + 2 * st, s120, c, sn);
                    });
                break;
            case 4:
                butterflies<4>(
                    ps, start, end, re, im, wr, wi,
                    [&](auto rotated, double* r, double* i, Index st, const double* c,
                        const double* sn) __attribute__((always_inline)) {
                        butterfly4<L, decltype(rotated)::value>(r, i, r + st, i + st, r + 2 * st,
                                                                i + 2 * st, r + 3 * st, i + 3 * st,
                                                                sg, c, sn);
                    });
                break;
            case 5:
                butterflies<5>(
                    ps, start, end, re, im, wr, wi,
                    [&](auto rotated, double* r, double* i, Index st, const double* c,
                        const double* sn) __attribute__((always_inline)) {
                        butterfly5<L, decltype(rotated)::value>(
                            r, i, r + st, i + st, r + 2 * st, i + 2 * st, r + 3 * st, i + 3 * st,
                            r + 4 * st, i + 4 * st, plan, c, sn);
                    });
                break;
            case 6:
                butterflies<6>(
                    ps, start, end, re, im, wr, wi,
                    [&](auto rotated, double* r, double* i, Index st, const double* c,
                        const double* sn) __attribute__((always_inline)) {
                        butterfly6<L, decltype(rotated)::value>(
                            r, i, r + st, i + st, r + 2 * st, i + 2 * st, r + 3 * st, i + 3 * st,
                            r + 4 * st, i + 4 * st, r + 5 * st, i + 5 * st, s120, c, sn);
                    });
                break;
            default:
                general(ps, start, end, plan, re, im, wr, wi);
                break;
        }
    }

    // Values of one lane group that stay in the first-level data cache (re and im of
    // L lanes each): 32 KB.
    static constexpr Index cached_values = 32768 / (16 * L);

    // The passes in depth-first order. A pass leaves every block of the next pass complete,
    // and blocks are independent: so each block of the first pass whose block fits in the
    // cache takes all the remaining passes while it stays there, after the larger passes
    // have run over the blocks that contain it (each when its first block is reached). Each
    // butterfly sees the same values as in pass-by-pass order: the same results.
    [[gnu::always_inline]] static inline void passes(const FftPlan& plan, double* re, double* im) {
        const std::size_t count = plan.passes.size();
        if (count == 0) return;
        std::size_t cached = 0;
        while (cached + 1 < count && plan.passes[cached].span > cached_values) ++cached;
        const Index block = plan.passes[cached].span;
        for (Index start = 0; start < plan.n; start += block) {
            for (std::size_t p = 0; p < cached; ++p) {
                const Index span = plan.passes[p].span;
                if (start % span == 0) pass(plan, plan.passes[p], start, start + span, re, im);
            }
            for (std::size_t p = cached; p < count; ++p)
                pass(plan, plan.passes[p], start, start + block, re, im);
        }
    }
};

}  // namespace orv::fft_detail
