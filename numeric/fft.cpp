// Mixed-radix FFT: decimation in frequency over an ordered factor list, with
// butterflies for 2, 3, 4 and 5 and a general butterfly for other odd primes, rotation
// factors from a recurrence, and a two-stage reordering (square factors by exchanges, then
// the square-free digit positions along permutation cycles).
//
// Everything that depends only on the length and the sign (factor list, rotation factors,
// odd-factor tables, reordering tables) is worked out once into a plan and kept in a small
// per-thread cache, so each thread has its own working state and transforms may run on
// several threads at once. Plane transforms push 16 rows or columns through the passes side
// by side (lane l of value e at [e * 16 + l]), which the compiler turns into vector code; each
// lane performs exactly the arithmetic of a single transform.

#include "numeric/fft.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace orv {

namespace {

using Index = std::ptrdiff_t;

// Direction constants: 2 pi, and the angle 2 pi / 5 used for the radix-5 constants.
constexpr double two_pi = 6.283185307179586;
constexpr double two_pi_fifth = 1.2566370614359172;
// Largest general odd factor whose table is built by the angle-addition recurrence; longer
// tables (factors the fixed-size engine could not take) are evaluated directly so that their
// accuracy does not degrade with the length of the recurrence.
constexpr int recurrence_table_limit = 23;
// Complex values parked at once while the square-free reordering shifts a cycle.
constexpr Index park_block = 23;

struct FftPass {
    int factor = 0;
    Index span = 0;       // span S at the start of the pass
    Index sub = 0;        // S / factor: distance between the values of one butterfly
    bool rotate = false;  // false for the pass of the last factor
    std::size_t rot = 0;  // rotation factors: entries [j * (factor - 1) + k - 1] = w^(j k)
    std::size_t odd = 0;  // general odd factor: cos / sin table of `factor` entries
};

// Everything a transform of one length and sign needs, built once per thread and reused.
struct FftPlan {
    int n = 0;
    int sign = 0;
    std::vector<int> factors;
    int square_count = 0;
    std::vector<FftPass> passes;
    std::vector<double> rot_re, rot_im;
    std::vector<double> odd_cos, odd_sin;
    double c72 = 0, s72 = 0, c144 = 0, s144 = 0, s120 = 0;
    // Reordering, stage 1: partner of every position under the square-factor digit exchange.
    std::vector<Index> square_partner;
    // Stage 2: the square-free digit positions, moved in blocks of `free_block` values.
    Index free_product = 1;
    Index free_block = 1;
    std::vector<Index> free_cycles;  // cycles of the digit permutation, each ended by -1
    // Natural index k of the result comes from position natural_source[k] after the passes;
    // obtained by running the two reordering stages on the positions themselves.
    std::vector<Index> natural_source;
};

// Ordered factor list: square factors, square-free factors, square factors reversed.
void factorise(int n, std::vector<int>& factors, int& square_count) {
    factors.clear();
    long long k = n;
    while (k % 16 == 0) {
        factors.push_back(4);
        k /= 16;
    }
    for (long long j = 3;; j += 2) {
        while (k % (j * j) == 0) {
            factors.push_back(static_cast<int>(j));
            k /= j * j;
        }
        if ((j + 2) * (j + 2) > k) break;
    }
    if (k <= 4) {
        square_count = static_cast<int>(factors.size());
        if (k != 1) factors.push_back(static_cast<int>(k));
    } else {
        if (k % 4 == 0) {
            factors.push_back(2);
            k /= 4;
        }
        square_count = static_cast<int>(factors.size());
        for (long long j = 2; j <= k; j = (j == 2) ? 3 : j + 2) {
            if (j * j > k) {
                // What remains is a prime, the last square-free factor.
                factors.push_back(static_cast<int>(k));
                break;
            }
            if (k % j == 0) {
                factors.push_back(static_cast<int>(j));
                k /= j;
            }
        }
    }
    for (int i = square_count - 1; i >= 0; --i) factors.push_back(factors[static_cast<std::size_t>(i)]);
}

void build_rotations(FftPlan& plan, FftPass& pass) {
    pass.rot = plan.rot_re.size();
    if (!pass.rotate) return;
    const int p = pass.factor;
    const Index sub = pass.sub;
    plan.rot_re.resize(pass.rot + static_cast<std::size_t>(sub) * (p - 1));
    plan.rot_im.resize(plan.rot_re.size());
    double* wr = plan.rot_re.data() + pass.rot;
    double* wi = plan.rot_im.data() + pass.rot;
    // w = e^{sign 2 pi i / S} by the recurrence, held on the unit circle at every step.
    const double theta = plan.sign * two_pi / static_cast<double>(pass.span);
    const double half = std::sin(0.5 * theta);
    const double cd = 2.0 * half * half;
    const double sd = std::sin(theta);
    double c = 1.0;
    double s = 0.0;
    for (Index j = 0; j < sub; ++j) {
        if (j == 1) {
            c = 1.0 - cd;
            s = sd;
        } else if (j > 1) {
            const double cn = c - (cd * c + sd * s);
            const double sn = s + (sd * c - cd * s);
            const double g = 0.5 / (cn * cn + sn * sn) + 0.5;
            c = cn * g;
            s = sn * g;
        }
        // Powers w^(j k), k = 1 .. p-1, by complex products with w^j.
        double ck = c;
        double sk = s;
        for (int k = 1; k < p; ++k) {
            wr[j * (p - 1) + k - 1] = ck;
            wi[j * (p - 1) + k - 1] = sk;
            const double cn = ck * c - sk * s;
            sk = ck * s + sk * c;
            ck = cn;
        }
    }
}

void build_odd_table(FftPlan& plan, FftPass& pass, int& previous_odd, std::size_t& previous_offset) {
    const int p = pass.factor;
    if (p == previous_odd) {
        pass.odd = previous_offset;  // same factor again: the table is reused unchanged
        return;
    }
    pass.odd = plan.odd_cos.size();
    plan.odd_cos.resize(pass.odd + static_cast<std::size_t>(p));
    plan.odd_sin.resize(plan.odd_cos.size());
    double* ct = plan.odd_cos.data() + pass.odd;
    double* st = plan.odd_sin.data() + pass.odd;
    const double theta = plan.sign * two_pi / p;
    ct[0] = 1.0;  // entry p
    st[0] = 0.0;
    const double c1 = std::cos(theta);
    const double s1 = std::sin(theta);
    for (int j = 1; j <= (p - 1) / 2; ++j) {
        if (p > recurrence_table_limit) {
            ct[j] = std::cos(theta * j);
            st[j] = std::sin(theta * j);
        } else if (j == 1) {
            ct[j] = c1;
            st[j] = s1;
        } else {
            ct[j] = ct[j - 1] * c1 - st[j - 1] * s1;
            st[j] = st[j - 1] * c1 + ct[j - 1] * s1;
        }
        ct[p - j] = ct[j];
        st[p - j] = -st[j];
    }
    previous_odd = p;
    previous_offset = pass.odd;
}

void reorder_square(const FftPlan& plan, double* re, double* im);
void reorder_square_free(const FftPlan& plan, double* re, double* im);

void build_reordering(FftPlan& plan) {
    const int n = plan.n;
    const int m = static_cast<int>(plan.factors.size());
    const int t = plan.square_count;
    const int u = m - 2 * t;
    // Stage 1: swap digit i with digit m-1-i (i < t) of every position (most significant
    // digit first, digit i of radix factors[i]); the radices match, so this is an involution.
    if (t > 0) {
        plan.square_partner.resize(static_cast<std::size_t>(n));
        std::vector<int> digits(static_cast<std::size_t>(m));
        std::vector<Index> weight(static_cast<std::size_t>(m));
        Index wgt = 1;
        for (int i = m - 1; i >= 0; --i) {
            weight[static_cast<std::size_t>(i)] = wgt;
            wgt *= plan.factors[static_cast<std::size_t>(i)];
        }
        for (Index pos = 0; pos < n; ++pos) {
            Index rest = pos;
            for (int i = m - 1; i >= 0; --i) {
                const int f = plan.factors[static_cast<std::size_t>(i)];
                digits[static_cast<std::size_t>(i)] = static_cast<int>(rest % f);
                rest /= f;
            }
            Index partner = pos;
            for (int i = 0; i < t; ++i) {
                const int a = digits[static_cast<std::size_t>(i)];
                const int b = digits[static_cast<std::size_t>(m - 1 - i)];
                partner += (b - a) * weight[static_cast<std::size_t>(i)] +
                           (a - b) * weight[static_cast<std::size_t>(m - 1 - i)];
            }
            plan.square_partner[static_cast<std::size_t>(pos)] = partner;
        }
    }
    // Stage 2: within each block, the square-free digits (radices q1..qu, q1 most significant)
    // are reversed (radices qu..q1), moving runs of free_block consecutive values.
    if (u >= 2) {
        plan.free_product = 1;
        for (int i = t; i < t + u; ++i) plan.free_product *= plan.factors[static_cast<std::size_t>(i)];
        plan.free_block = 1;
        for (int i = t + u; i < m; ++i) plan.free_block *= plan.factors[static_cast<std::size_t>(i)];
        const Index q = plan.free_product;
        std::vector<Index> source(static_cast<std::size_t>(q));
        for (Index mu = 0; mu < q; ++mu) {
            Index rest = mu;
            Index dest = 0;
            for (int i = t + u - 1; i >= t; --i) {
                // digit i, counted from the least significant end of mu
                const int f = plan.factors[static_cast<std::size_t>(i)];
                dest = dest * f + rest % f;
                rest /= f;
            }
            source[static_cast<std::size_t>(dest)] = mu;
        }
        std::vector<bool> seen(static_cast<std::size_t>(q), false);
        for (Index start = 0; start < q; ++start) {
            if (seen[static_cast<std::size_t>(start)] || source[static_cast<std::size_t>(start)] == start) continue;
            Index d = start;
            do {
                seen[static_cast<std::size_t>(d)] = true;
                plan.free_cycles.push_back(d);
                d = source[static_cast<std::size_t>(d)];
            } while (d != start);
            plan.free_cycles.push_back(-1);
        }
    }
}

// The combined gather table, from the two stages applied to the positions themselves (real
// parts carry the positions, exact in doubles). Built when a plane transform first needs it.
const Index* natural_order(FftPlan& plan) {
    const Index n = plan.n;
    if (plan.natural_source.empty()) {
        std::vector<double> pos_re(static_cast<std::size_t>(n));
        std::vector<double> pos_im(static_cast<std::size_t>(n), 0.0);
        for (Index k = 0; k < n; ++k) pos_re[static_cast<std::size_t>(k)] = static_cast<double>(k);
        reorder_square(plan, pos_re.data(), pos_im.data());
        reorder_square_free(plan, pos_re.data(), pos_im.data());
        plan.natural_source.resize(static_cast<std::size_t>(n));
        for (Index k = 0; k < n; ++k)
            plan.natural_source[static_cast<std::size_t>(k)] = static_cast<Index>(pos_re[static_cast<std::size_t>(k)]);
    }
    return plan.natural_source.data();
}

std::unique_ptr<FftPlan> build_plan(int n, int sign) {
    auto plan = std::make_unique<FftPlan>();
    plan->n = n;
    plan->sign = sign;
    factorise(n, plan->factors, plan->square_count);
    plan->c72 = std::cos(two_pi_fifth);
    plan->s72 = std::sin(two_pi_fifth);
    plan->s120 = std::sqrt(0.75);
    if (sign < 0) {
        plan->s72 = -plan->s72;
        plan->s120 = -plan->s120;
    }
    plan->c144 = plan->c72 * plan->c72 - plan->s72 * plan->s72;
    plan->s144 = 2.0 * plan->c72 * plan->s72;
    Index span = n;
    int previous_odd = 0;
    std::size_t previous_offset = 0;
    for (std::size_t i = 0; i < plan->factors.size(); ++i) {
        FftPass pass;
        pass.factor = plan->factors[i];
        pass.span = span;
        pass.sub = span / pass.factor;
        pass.rotate = i + 1 < plan->factors.size();
        build_rotations(*plan, pass);
        if (pass.factor != 2 && pass.factor != 3 && pass.factor != 4 && pass.factor != 5)
            build_odd_table(*plan, pass, previous_odd, previous_offset);
        plan->passes.push_back(pass);
        span = pass.sub;
    }
    build_reordering(*plan);
    return plan;
}

// A few plans per thread (a frame needs its width and height in both directions).
constexpr std::size_t plan_cache_size = 8;

FftPlan& plan_for(int n, int sign) {
    thread_local std::vector<std::unique_ptr<FftPlan>> cache;
    for (std::size_t i = 0; i < cache.size(); ++i) {
        if (cache[i]->n == n && cache[i]->sign == sign) {
            if (i != 0) std::rotate(cache.begin(), cache.begin() + static_cast<Index>(i),
                                    cache.begin() + static_cast<Index>(i) + 1);
            return *cache.front();
        }
    }
    if (cache.size() == plan_cache_size) cache.pop_back();
    cache.insert(cache.begin(), build_plan(n, sign));
    return *cache.front();
}

// Work vectors of the general odd-factor butterfly, per thread, grown as needed.
struct OddWork {
    std::vector<double> ak_re, ak_im, bk_re, bk_im;
};

OddWork& odd_work(std::size_t size) {
    thread_local OddWork work;
    if (work.ak_re.size() < size) {
        work.ak_re.resize(size);
        work.ak_im.resize(size);
        work.bk_re.resize(size);
        work.bk_im.resize(size);
    }
    return work;
}

// The passes of the engine on L interleaved sequences: value e of lane l sits at [e * L + l].
// Every lane sees exactly the arithmetic of a single transform. The butterflies are written
// as kernels over the L lanes of one group of values, with the rotation decided outside the
// lane loop, so that the compiler turns the lane loops into vector instructions.
#define ORV_RESTRICT __restrict__
// Kernels are always inlined into the entry points below, so that each entry point compiles
// them for its own instruction set.
#define ORV_KERNEL inline __attribute__((always_inline))

// out = (x + iy)(c + is)
ORV_KERNEL void rotate(double x, double y, double c, double s, double& out_r, double& out_i) {
    out_r = x * c - y * s;
    out_i = x * s + y * c;
}

template <int L, bool Rot>
ORV_KERNEL void butterfly2(double* ORV_RESTRICT r0, double* ORV_RESTRICT i0, double* ORV_RESTRICT r1,
                       double* ORV_RESTRICT i1, double c, double s) {
    for (int l = 0; l < L; ++l) {
        const double ar = r0[l] - r1[l];
        const double ai = i0[l] - i1[l];
        r0[l] = r0[l] + r1[l];
        i0[l] = i0[l] + i1[l];
        if constexpr (Rot) {
            r1[l] = c * ar - s * ai;
            i1[l] = s * ar + c * ai;
        } else {
            r1[l] = ar;
            i1[l] = ai;
        }
    }
}

template <int L, bool Rot>
ORV_KERNEL void butterfly4(double* ORV_RESTRICT r0, double* ORV_RESTRICT i0, double* ORV_RESTRICT r1,
                       double* ORV_RESTRICT i1, double* ORV_RESTRICT r2, double* ORV_RESTRICT i2,
                       double* ORV_RESTRICT r3, double* ORV_RESTRICT i3, double sg, const double* wr,
                       const double* wi) {
    const double c1 = Rot ? wr[0] : 1.0, s1 = Rot ? wi[0] : 0.0;
    const double c2 = Rot ? wr[1] : 1.0, s2 = Rot ? wi[1] : 0.0;
    const double c3 = Rot ? wr[2] : 1.0, s3 = Rot ? wi[2] : 0.0;
    for (int l = 0; l < L; ++l) {
        const double akp_r = r0[l] + r2[l];
        const double akp_i = i0[l] + i2[l];
        const double akm_r = r0[l] - r2[l];
        const double akm_i = i0[l] - i2[l];
        const double ajp_r = r1[l] + r3[l];
        const double ajp_i = i1[l] + i3[l];
        const double ajm_r = r1[l] - r3[l];
        const double ajm_i = i1[l] - i3[l];
        r0[l] = akp_r + ajp_r;
        i0[l] = akp_i + ajp_i;
        // multiplication by sign * i
        const double y1r = akm_r - sg * ajm_i;
        const double y1i = akm_i + sg * ajm_r;
        const double y2r = akp_r - ajp_r;
        const double y2i = akp_i - ajp_i;
        const double y3r = akm_r + sg * ajm_i;
        const double y3i = akm_i - sg * ajm_r;
        if constexpr (Rot) {
            rotate(y1r, y1i, c1, s1, r1[l], i1[l]);
            rotate(y2r, y2i, c2, s2, r2[l], i2[l]);
            rotate(y3r, y3i, c3, s3, r3[l], i3[l]);
        } else {
            r1[l] = y1r;
            i1[l] = y1i;
            r2[l] = y2r;
            i2[l] = y2i;
            r3[l] = y3r;
            i3[l] = y3i;
        }
    }
}

template <int L, bool Rot>
ORV_KERNEL void butterfly3(double* ORV_RESTRICT r0, double* ORV_RESTRICT i0, double* ORV_RESTRICT r1,
                       double* ORV_RESTRICT i1, double* ORV_RESTRICT r2, double* ORV_RESTRICT i2, double s120,
                       const double* wr, const double* wi) {
    const double c1 = Rot ? wr[0] : 1.0, s1 = Rot ? wi[0] : 0.0;
    const double c2 = Rot ? wr[1] : 1.0, s2 = Rot ? wi[1] : 0.0;
    for (int l = 0; l < L; ++l) {
        const double tr = r1[l] + r2[l];
        const double ti = i1[l] + i2[l];
        const double dr = r1[l] - r2[l];
        const double di = i1[l] - i2[l];
        const double x0r = r0[l];
        const double x0i = i0[l];
        r0[l] = x0r + tr;
        i0[l] = x0i + ti;
        const double ar = -0.5 * tr + x0r;
        const double ai = -0.5 * ti + x0i;
        const double br = s120 * dr;
        const double bi = s120 * di;
        if constexpr (Rot) {
            rotate(ar - bi, ai + br, c1, s1, r1[l], i1[l]);
            rotate(ar + bi, ai - br, c2, s2, r2[l], i2[l]);
        } else {
            r1[l] = ar - bi;
            i1[l] = ai + br;
            r2[l] = ar + bi;
            i2[l] = ai - br;
        }
    }
}

template <int L, bool Rot>
ORV_KERNEL void butterfly5(double* ORV_RESTRICT r0, double* ORV_RESTRICT i0, double* ORV_RESTRICT r1,
                       double* ORV_RESTRICT i1, double* ORV_RESTRICT r2, double* ORV_RESTRICT i2,
                       double* ORV_RESTRICT r3, double* ORV_RESTRICT i3, double* ORV_RESTRICT r4,
                       double* ORV_RESTRICT i4, const FftPlan& plan, const double* wr, const double* wi) {
    const double c72 = plan.c72;
    const double s72 = plan.s72;
    const double c144 = plan.c144;
    const double s144 = plan.s144;
    const double c1 = Rot ? wr[0] : 1.0, s1 = Rot ? wi[0] : 0.0;
    const double c2 = Rot ? wr[1] : 1.0, s2 = Rot ? wi[1] : 0.0;
    const double c3 = Rot ? wr[2] : 1.0, s3 = Rot ? wi[2] : 0.0;
    const double c4 = Rot ? wr[3] : 1.0, s4 = Rot ? wi[3] : 0.0;
    for (int l = 0; l < L; ++l) {
        const double a1r = r1[l] + r4[l];
        const double a1i = i1[l] + i4[l];
        const double b1r = r1[l] - r4[l];
        const double b1i = i1[l] - i4[l];
        const double a2r = r2[l] + r3[l];
        const double a2i = i2[l] + i3[l];
        const double b2r = r2[l] - r3[l];
        const double b2i = i2[l] - i3[l];
        const double x0r = r0[l];
        const double x0i = i0[l];
        r0[l] = x0r + a1r + a2r;
        i0[l] = x0i + a1i + a2i;
        const double p1r = a1r * c72 + a2r * c144 + x0r;
        const double p1i = a1i * c72 + a2i * c144 + x0i;
        const double q1r = b1r * s72 + b2r * s144;
        const double q1i = b1i * s72 + b2i * s144;
        const double p2r = a1r * c144 + a2r * c72 + x0r;
        const double p2i = a1i * c144 + a2i * c72 + x0i;
        const double q2r = b1r * s144 - b2r * s72;
        const double q2i = b1i * s144 - b2i * s72;
        if constexpr (Rot) {
            rotate(p1r - q1i, p1i + q1r, c1, s1, r1[l], i1[l]);
            rotate(p2r - q2i, p2i + q2r, c2, s2, r2[l], i2[l]);
            rotate(p2r + q2i, p2i - q2r, c3, s3, r3[l], i3[l]);
            rotate(p1r + q1i, p1i - q1r, c4, s4, r4[l], i4[l]);
        } else {
            r1[l] = p1r - q1i;
            i1[l] = p1i + q1r;
            r2[l] = p2r - q2i;
            i2[l] = p2i + q2r;
            r3[l] = p2r + q2i;
            i3[l] = p2i - q2r;
            r4[l] = p1r + q1i;
            i4[l] = p1i - q1r;
        }
    }
}

template <int L>
struct Passes {
    ORV_KERNEL static void radix2(const FftPass& ps, Index n, double* re, double* im, const double* wr, const double* wi) {
        const Index sub = ps.sub;
        const Index step = sub * L;
        for (Index base = 0; base < n; base += ps.span) {
            double* r = re + base * L;
            double* i = im + base * L;
            butterfly2<L, false>(r, i, r + step, i + step, 1.0, 0.0);
            for (Index j = 1; j < sub; ++j) {
                double* rj = r + j * L;
                double* ij = i + j * L;
                if (ps.rotate)
                    butterfly2<L, true>(rj, ij, rj + step, ij + step, wr[j], wi[j]);
                else
                    butterfly2<L, false>(rj, ij, rj + step, ij + step, 1.0, 0.0);
            }
        }
    }

    ORV_KERNEL static void radix4(const FftPass& ps, Index n, int sign, double* re, double* im, const double* wr,
                       const double* wi) {
        const Index sub = ps.sub;
        const Index step = sub * L;
        const double sg = sign;
        for (Index base = 0; base < n; base += ps.span) {
            double* r = re + base * L;
            double* i = im + base * L;
            for (Index j = 0; j < sub; ++j) {
                double* r0 = r + j * L;
                double* i0 = i + j * L;
                if (j == 0 || !ps.rotate)
                    butterfly4<L, false>(r0, i0, r0 + step, i0 + step, r0 + 2 * step, i0 + 2 * step, r0 + 3 * step,
                                         i0 + 3 * step, sg, wr, wi);
                else
                    butterfly4<L, true>(r0, i0, r0 + step, i0 + step, r0 + 2 * step, i0 + 2 * step, r0 + 3 * step,
                                        i0 + 3 * step, sg, wr + 3 * j, wi + 3 * j);
            }
        }
    }

    ORV_KERNEL static void radix3(const FftPass& ps, Index n, double s120, double* re, double* im, const double* wr,
                       const double* wi) {
        const Index sub = ps.sub;
        const Index step = sub * L;
        for (Index base = 0; base < n; base += ps.span) {
            double* r = re + base * L;
            double* i = im + base * L;
            for (Index j = 0; j < sub; ++j) {
                double* r0 = r + j * L;
                double* i0 = i + j * L;
                if (j == 0 || !ps.rotate)
                    butterfly3<L, false>(r0, i0, r0 + step, i0 + step, r0 + 2 * step, i0 + 2 * step, s120, wr, wi);
                else
                    butterfly3<L, true>(r0, i0, r0 + step, i0 + step, r0 + 2 * step, i0 + 2 * step, s120,
                                        wr + 2 * j, wi + 2 * j);
            }
        }
    }

    ORV_KERNEL static void radix5(const FftPass& ps, Index n, const FftPlan& plan, double* re, double* im, const double* wr,
                       const double* wi) {
        const Index sub = ps.sub;
        const Index step = sub * L;
        for (Index base = 0; base < n; base += ps.span) {
            double* r = re + base * L;
            double* i = im + base * L;
            for (Index j = 0; j < sub; ++j) {
                double* r0 = r + j * L;
                double* i0 = i + j * L;
                if (j == 0 || !ps.rotate)
                    butterfly5<L, false>(r0, i0, r0 + step, i0 + step, r0 + 2 * step, i0 + 2 * step, r0 + 3 * step,
                                         i0 + 3 * step, r0 + 4 * step, i0 + 4 * step, plan, wr, wi);
                else
                    butterfly5<L, true>(r0, i0, r0 + step, i0 + step, r0 + 2 * step, i0 + 2 * step, r0 + 3 * step,
                                        i0 + 3 * step, r0 + 4 * step, i0 + 4 * step, plan, wr + 4 * j, wi + 4 * j);
            }
        }
    }

    ORV_KERNEL static void general(const FftPass& ps, Index n, const FftPlan& plan, double* re, double* im, const double* wr,
                        const double* wi) {
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
        for (Index base = 0; base < n; base += ps.span) {
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
                // Pairwise sums and differences of inputs (r, p - r).
                for (int r = 1; r <= h; ++r) {
                    const double* rr = r0 + r * step;
                    const double* ri = i0 + r * step;
                    const double* mr = r0 + (p - r) * step;
                    const double* mi = i0 + (p - r) * step;
                    for (int l = 0; l < L; ++l) {
                        ak_r[r * L + l] = rr[l] + mr[l];
                        ak_i[r * L + l] = ri[l] + mi[l];
                        bk_r[r * L + l] = rr[l] - mr[l];
                        bk_i[r * L + l] = ri[l] - mi[l];
                    }
                }
                for (int l = 0; l < L; ++l) {
                    double sr = x0r[l];
                    double si = x0i[l];
                    for (int r = 1; r <= h; ++r) {
                        sr += ak_r[r * L + l];
                        si += ak_i[r * L + l];
                    }
                    r0[l] = sr;
                    i0[l] = si;
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

    ORV_KERNEL static void run(const FftPlan& plan, double* re, double* im) {
        const Index n = plan.n;
        for (const FftPass& ps : plan.passes) {
            const double* wr = plan.rot_re.data() + ps.rot;
            const double* wi = plan.rot_im.data() + ps.rot;
            switch (ps.factor) {
                case 2: radix2(ps, n, re, im, wr, wi); break;
                case 3: radix3(ps, n, plan.s120, re, im, wr, wi); break;
                case 4: radix4(ps, n, plan.sign, re, im, wr, wi); break;
                case 5: radix5(ps, n, plan, re, im, wr, wi); break;
                default: general(ps, n, plan, re, im, wr, wi); break;
            }
        }
    }
};


// Stage 1 of the reordering: undo the digit reversal of the square factors by exchanges.
void reorder_square(const FftPlan& plan, double* re, double* im) {
    if (plan.square_partner.empty()) return;
    const Index n = plan.n;
    for (Index pos = 0; pos < n; ++pos) {
        const Index other = plan.square_partner[static_cast<std::size_t>(pos)];
        if (other > pos) {
            std::swap(re[pos], re[other]);
            std::swap(im[pos], im[other]);
        }
    }
}

// Stage 2: move the runs of the square-free digit positions along the cycles of their
// permutation, parking one short run at a time.
void reorder_square_free(const FftPlan& plan, double* re, double* im) {
    if (plan.free_cycles.empty()) return;
    const Index block = plan.free_block;
    const Index group = plan.free_product * block;
    double park_re[park_block];
    double park_im[park_block];
    for (Index base = 0; base < plan.n; base += group) {
        for (std::size_t c = 0; c < plan.free_cycles.size(); ++c) {
            const std::size_t first = c;
            while (plan.free_cycles[c + 1] >= 0) ++c;
            const std::size_t last = c;  // cycle is free_cycles[first..last]
            ++c;                         // skip the end mark
            for (Index off = 0; off < block; off += park_block) {
                const Index len = std::min(park_block, block - off);
                const Index start = base + plan.free_cycles[first] * block + off;
                std::copy(re + start, re + start + len, park_re);
                std::copy(im + start, im + start + len, park_im);
                for (std::size_t e = first; e < last; ++e) {
                    const Index dst = base + plan.free_cycles[e] * block + off;
                    const Index src = base + plan.free_cycles[e + 1] * block + off;
                    std::copy(re + src, re + src + len, re + dst);
                    std::copy(im + src, im + src + len, im + dst);
                }
                const Index dst = base + plan.free_cycles[last] * block + off;
                std::copy(park_re, park_re + len, re + dst);
                std::copy(park_im, park_im + len, im + dst);
            }
        }
    }
}

// Sequences transformed side by side by the two-dimensional transform.
constexpr int batch_lanes = 16;

// rows[l * stride + e] -> lanes[e * batch_lanes + l] for the batch_lanes rows of a block:
// a transposition done two rows by two values at a time.
ORV_KERNEL void gather_rows(const double* rows, Index stride, Index n, double* lanes) {
    constexpr int L = batch_lanes;
    Index e = 0;
#ifdef __SSE2__
    for (; e + 1 < n; e += 2) {
        for (int l = 0; l < L; l += 2) {
            const __m128d a = _mm_loadu_pd(rows + l * stride + e);
            const __m128d b = _mm_loadu_pd(rows + (l + 1) * stride + e);
            _mm_storeu_pd(lanes + e * L + l, _mm_unpacklo_pd(a, b));
            _mm_storeu_pd(lanes + (e + 1) * L + l, _mm_unpackhi_pd(a, b));
        }
    }
#endif
    for (; e < n; ++e)
        for (int l = 0; l < L; ++l) lanes[e * L + l] = rows[l * stride + e];
}

// rows[l * stride + k] = lanes[source[k] * batch_lanes + l] (times scale when scaled).
ORV_KERNEL void scatter_rows(const double* lanes, const Index* source, Index n, bool scaled, double scale, double* rows,
                  Index stride) {
    constexpr int L = batch_lanes;
    Index k = 0;
#ifdef __SSE2__
    const __m128d factor = _mm_set1_pd(scale);
    for (; k + 1 < n; k += 2) {
        const double* p0 = lanes + source[k] * L;
        const double* p1 = lanes + source[k + 1] * L;
        for (int l = 0; l < L; l += 2) {
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
        for (int l = 0; l < L; ++l) rows[l * stride + k] = scaled ? p[l] * scale : p[l];
    }
}

struct BatchBuffers {
    std::vector<double> re, im;
};

BatchBuffers& batch_buffers(std::size_t values) {
    thread_local BatchBuffers buffers;
    if (buffers.re.size() < values) {
        buffers.re.resize(values);
        buffers.im.resize(values);
    }
    return buffers;
}

// Transforms `count` sequences of length n; sequence q, element e lives at
// base + q * seq_stride + e * elem_stride. Results are written back in natural order and
// multiplied by `scale` when `scaled`.
ORV_KERNEL void transform_lines_kernel(double* re, double* im, int n, int sign, Index count, Index seq_stride,
                                       Index elem_stride, bool scaled, double scale) {
    constexpr int L = batch_lanes;
    FftPlan& plan = plan_for(n, sign);
    BatchBuffers& buf = batch_buffers(static_cast<std::size_t>(n) * L);
    double* br = buf.re.data();
    double* bi = buf.im.data();
    const Index* source = natural_order(plan);
    for (Index q0 = 0; q0 < count; q0 += L) {
        const int lanes = static_cast<int>(std::min<Index>(L, count - q0));
        if (lanes < L) {
            std::fill(br, br + static_cast<std::size_t>(n) * L, 0.0);
            std::fill(bi, bi + static_cast<std::size_t>(n) * L, 0.0);
        }
        const Index first = q0 * seq_stride;
        if (seq_stride == 1 && lanes == L) {
            for (Index e = 0; e < n; ++e) {
                const double* sr = re + first + e * elem_stride;
                const double* si = im + first + e * elem_stride;
                for (int l = 0; l < L; ++l) {
                    br[e * L + l] = sr[l];
                    bi[e * L + l] = si[l];
                }
            }
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
        Passes<L>::run(plan, br, bi);
        if (seq_stride == 1 && lanes == L) {
            for (Index k = 0; k < n; ++k) {
                double* dr = re + first + k * elem_stride;
                double* di = im + first + k * elem_stride;
                const double* sr = br + source[k] * L;
                const double* si = bi + source[k] * L;
                if (scaled) {
                    for (int l = 0; l < L; ++l) {
                        dr[l] = sr[l] * scale;
                        di[l] = si[l] * scale;
                    }
                } else {
                    for (int l = 0; l < L; ++l) {
                        dr[l] = sr[l];
                        di[l] = si[l];
                    }
                }
            }
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
    }
}

// The same transform compiled for the baseline instruction set and for AVX2. Both perform
// the same IEEE operations in the same order (no fused multiply-adds), so their results are
// identical; AVX2 only processes more lanes per instruction.
__attribute__((noinline)) void transform_lines_baseline(double* re, double* im, int n, int sign, Index count,
                                                        Index seq_stride, Index elem_stride, bool scaled,
                                                        double scale) {
    transform_lines_kernel(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define ORV_FFT_HAVE_AVX2_PATH 1
__attribute__((noinline, target("avx2"))) void transform_lines_avx2(double* re, double* im, int n, int sign,
                                                                     Index count, Index seq_stride,
                                                                     Index elem_stride, bool scaled, double scale) {
    transform_lines_kernel(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
}
#endif

void transform_lines(double* re, double* im, int n, int sign, Index count, Index seq_stride, Index elem_stride,
                     bool scaled, double scale) {
#ifdef ORV_FFT_HAVE_AVX2_PATH
    static const bool use_avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    if (use_avx2) {
        transform_lines_avx2(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
        return;
    }
#endif
    transform_lines_baseline(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
}

#undef ORV_KERNEL
#undef ORV_RESTRICT

}  // namespace

std::vector<int> fft_factors(int n) {
    std::vector<int> factors;
    if (n < 2) return factors;
    int square_count = 0;
    factorise(n, factors, square_count);
    return factors;
}

void fft_core(double* re, double* im, int n, int sign) {
    if (n < 2) return;
    const FftPlan& plan = plan_for(n, sign >= 0 ? 1 : -1);
    Passes<1>::run(plan, re, im);
    reorder_square(plan, re, im);
    reorder_square_free(plan, re, im);
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

void fft_2d(double* re, double* im, int direction, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const int sign = direction == 1 ? 1 : -1;
    const bool scaled = direction == 1;
    if (width >= 2) transform_lines(re, im, width, sign, height, width, 1, scaled, 1.0 / width);
    if (height >= 2) transform_lines(re, im, height, sign, width, 1, width, scaled, 1.0 / height);
}

}  // namespace orv
