#pragma once
// The plan of the mixed-radix transform: the ordered factor list of a length, the rotation
// factors and odd-factor tables of every pass, and the tables that put the results into
// natural order. A plan depends only on the length and the sign; each thread keeps a few.

#include <cstddef>
#include <memory>
#include <vector>

namespace orv::fft_detail {

using Index = std::ptrdiff_t;

struct FftPass {
    int factor = 0;
    Index span = 0;       // span S at the start of the pass
    Index sub = 0;        // S / factor: distance between the values of one butterfly
    bool rotate = false;  // false for the pass of the last factor
    std::size_t rot = 0;  // rotation factors: entries [j * (factor - 1) + k - 1] = w^(j k)
    std::size_t odd = 0;  // general odd factor: cos / sin table of `factor` entries
};

struct FftPlan;

// A length whose large prime factors would make the passes slow is transformed by Bluestein's
// chirp method instead: with w_k = e^{sign i pi k^2 / n}, X_k = w_k sum_j (x_j w_j) conj(w_{k-j}),
// a cyclic convolution evaluated by two transforms of a length m >= 2n - 1 that the fast
// passes serve.
struct BluesteinPlan {
    Index m = 0;
    std::vector<double> chirp_re, chirp_im;    // w_k, k = 0 .. n-1
    std::vector<double> filter_re, filter_im;  // transform of conj(w) wrapped to m, times 1/m
    std::unique_ptr<FftPlan> forward;          // length m, sign -1
    std::unique_ptr<FftPlan> inverse;          // length m, sign +1
};

// A prime length n may instead go by Rader's method: with g a generator of the nonzero
// residues mod n, X_0 = sum_j x_j and X_{g^q} = x_0 + sum_t x_{g^-t} w^{g^(q-t)}, w =
// e^{sign 2 pi i / n}: a cyclic convolution of length n - 1, evaluated by two transforms of
// that length when its factors suit the passes (about half the work of the chirp method).
struct RaderPlan {
    std::vector<Index> gather;                 // g^-t mod n, t = 0 .. n-2
    std::vector<Index> scatter;                // g^q mod n, q = 0 .. n-2
    std::vector<double> filter_re, filter_im;  // transform of w^(g^t), natural order, times 1/(n-1)
    std::unique_ptr<FftPlan> forward;          // length n - 1, sign -1
    std::unique_ptr<FftPlan> inverse;          // length n - 1, sign +1
};

// Everything a transform of one length and sign needs, built once per thread and reused.
struct FftPlan {
    int n = 0;
    int sign = 0;
    std::vector<int> factors;
    std::vector<FftPass> passes;
    std::vector<double> rot_re, rot_im;
    std::vector<double> odd_cos, odd_sin;
    double c72 = 0, s72 = 0, c144 = 0, s144 = 0, s120 = 0;
    // Natural index k of the result comes from position natural_source[k] after the passes
    // (the digit reversal of k), built when first needed.
    std::vector<Index> natural_source;
    // Set for lengths transformed by the chirp method; the passes and reordering are then
    // empty and the result comes out in natural order.
    std::unique_ptr<BluesteinPlan> bluestein;
    // Set for prime lengths transformed by Rader's method; as for the chirp method, the
    // passes and reordering are then empty and the result comes out in natural order.
    std::unique_ptr<RaderPlan> rader;
};

// Ordered factor list of the passes: fours, a six where the power of two is odd and n has a
// three (else a two), then the odd primes in ascending order.
void factorise(int n, std::vector<int>& factors);

// Estimated cost of the passes for a length, in units of a radix-2 butterfly per value;
// the chirp method or Rader's is chosen where its own estimate is lower.
double passes_cost(int n);

// The plan of length n (>= 2) and sign +1 or -1, from the calling thread's cache.
FftPlan& plan_for(int n, int sign);

// Natural index k of the result comes from position natural_order(plan)[k] after the passes.
const Index* natural_order(FftPlan& plan);

// The results of the passes of a single sequence put into natural order in place (nothing to
// do for the chirp method and Rader's).
void reorder(FftPlan& plan, double* re, double* im);

}  // namespace orv::fft_detail
