// Factorisation, rotation factors, odd-factor tables and the natural-order table of the
// mixed-radix transform, and the per-thread plan cache.

#include "numeric/fft_plan.h"

#include <algorithm>
#include <cmath>

#include "numeric/fft_passes.h"

namespace orv::fft_detail {

namespace {

// Direction constants: 2 pi, and the angle 2 pi / 5 used for the radix-5 constants.
constexpr double two_pi = 6.283185307179586;
constexpr double two_pi_fifth = 1.2566370614359172;
// Largest general odd factor whose table is built by the angle-addition recurrence; longer
// tables (factors the fixed-size engine could not take) are evaluated directly so that their
// accuracy does not degrade with the length of the recurrence.
constexpr int recurrence_table_limit = 23;
// Cost per value of a pass with a general odd factor f, as general_factor_weight * f.
constexpr double general_factor_weight = 0.27;
// Rader's method is taken where its estimate is below this share of the others', and each
// general factor of n - 1 adds this much per value to its estimate. Measured on every prime
// from 1000 to 4100 whose estimate falls between 0.7 and 1.2 of the others': below 0.85
// Rader's method was the faster on all but three lengths (at most 3 % slower); above it,
// often the slower.
constexpr double rader_margin = 0.85;
constexpr double rader_general_charge = 6.6;

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

void build_odd_table(FftPlan& plan, FftPass& pass, int& previous_odd,
                     std::size_t& previous_offset) {
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

// The factors the cost estimates count, as they were counted when the estimates and the
// choice between the passes, the chirp method and Rader's were calibrated against measured
// times: each 16 as two fours, each odd square as two factors, then a four left over as one
// four or else as two twos, and the square-free rest as its primes. The passes themselves
// take fewer factors (factorise); counted that way, the estimates picked slower methods for
// some lengths (314: 29 % slower by the chirp method).
std::vector<int> calibration_factors(int n) {
    std::vector<int> factors;
    long long k = n;
    while (k % 16 == 0) {
        factors.insert(factors.end(), 2, 4);
        k /= 16;
    }
    for (long long j = 3;; j += 2) {
        while (k % (j * j) == 0) {
            factors.insert(factors.end(), 2, static_cast<int>(j));
            k /= j * j;
        }
        if ((j + 2) * (j + 2) > k) break;
    }
    if (k <= 4) {
        if (k != 1) factors.push_back(static_cast<int>(k));
        return factors;
    }
    if (k % 4 == 0) {
        factors.insert(factors.end(), 2, 2);
        k /= 4;
    }
    for (long long j = 2; j <= k; j = (j == 2) ? 3 : j + 2) {
        if (j * j > k) {
            factors.push_back(static_cast<int>(k));
            break;
        }
        if (k % j == 0) {
            factors.push_back(static_cast<int>(j));
            k /= j;
        }
    }
    return factors;
}

std::unique_ptr<FftPlan> build_mixed_radix_plan(int n, int sign);

// Smooth lengths (factors 2, 3 and 5 only) for the chirp method's convolution.
bool smooth(Index m) {
    for (Index f : {2, 3, 5})
        while (m % f == 0) m /= f;
    return m == 1;
}

// Cost of the chirp method for n over a convolution of length m: two transforms of m, the
// products with the filter and the chirp, and the data moved.
double chirp_cost(int n, Index m) {
    return 2.0 * passes_cost(static_cast<int>(m)) + 4.0 * static_cast<double>(m) + 2.0 * n;
}

// The cheapest smooth convolution length for n, or 0 when the passes cost less.
Index chirp_length(int n) {
    const double passes = passes_cost(n);
    Index best = 0;
    double best_cost = passes;
    for (Index m = 2 * static_cast<Index>(n) - 1; m <= 4 * static_cast<Index>(n); ++m) {
        if (!smooth(m)) continue;
        const double cost = chirp_cost(n, m);
        if (cost < best_cost) {
            best_cost = cost;
            best = m;
        }
    }
    return best;
}

// The filter of a cyclic convolution of length m: the transform of `re`/`im` (consumed) by
// the forward plan of length m, in natural order, divided by m so that the inverse transform
// needs no scaling.
void convolution_filter(FftPlan& forward, std::vector<double>& re, std::vector<double>& im,
                        std::vector<double>& filter_re, std::vector<double>& filter_im) {
    const Index m = forward.n;
    natural_order(forward);
    Passes<1>::run(forward, re.data(), im.data());
    filter_re.resize(static_cast<std::size_t>(m));
    filter_im.resize(static_cast<std::size_t>(m));
    const double scale = 1.0 / static_cast<double>(m);
    for (Index k = 0; k < m; ++k) {
        const auto from =
            static_cast<std::size_t>(forward.natural_source[static_cast<std::size_t>(k)]);
        filter_re[static_cast<std::size_t>(k)] = re[from] * scale;
        filter_im[static_cast<std::size_t>(k)] = im[from] * scale;
    }
}

// Plans whose method leaves the result in natural order.
void natural_identity(FftPlan& plan) {
    plan.natural_source.resize(static_cast<std::size_t>(plan.n));
    for (Index k = 0; k < plan.n; ++k) plan.natural_source[static_cast<std::size_t>(k)] = k;
}

std::unique_ptr<FftPlan> build_chirp_plan(int n, int sign, Index m) {
    auto plan = std::make_unique<FftPlan>();
    plan->n = n;
    plan->sign = sign;
    factorise(n, plan->factors);
    auto b = std::make_unique<BluesteinPlan>();
    b->m = m;
    b->chirp_re.resize(static_cast<std::size_t>(n));
    b->chirp_im.resize(static_cast<std::size_t>(n));
    // The angle pi k^2 / n taken from k^2 mod 2n, so that it stays below 2 pi and exact.
    const long double pi = 3.141592653589793238462643383279502884L;
    for (Index k = 0; k < n; ++k) {
        const long long r = static_cast<long long>(k) * k % (2LL * n);
        const double angle = static_cast<double>(pi * static_cast<long double>(r) / n);
        b->chirp_re[static_cast<std::size_t>(k)] = std::cos(angle);
        b->chirp_im[static_cast<std::size_t>(k)] = sign * std::sin(angle);
    }
    std::vector<double> fr(static_cast<std::size_t>(m), 0.0);
    std::vector<double> fi(static_cast<std::size_t>(m), 0.0);
    for (Index k = 0; k < n; ++k) {
        const auto at = static_cast<std::size_t>(k);
        fr[at] = b->chirp_re[at];
        fi[at] = -b->chirp_im[at];
        if (k > 0) {
            fr[static_cast<std::size_t>(m - k)] = fr[at];
            fi[static_cast<std::size_t>(m - k)] = fi[at];
        }
    }
    b->forward = build_mixed_radix_plan(static_cast<int>(m), -1);
    b->inverse = build_mixed_radix_plan(static_cast<int>(m), 1);
    natural_order(*b->inverse);
    convolution_filter(*b->forward, fr, fi, b->filter_re, b->filter_im);
    natural_identity(*plan);
    plan->bluestein = std::move(b);
    return plan;
}

bool is_prime(int n) {
    if (n < 2) return false;
    for (long long d = 2; d * d <= n; ++d)
        if (n % d == 0) return false;
    return true;
}

long long power_mod(long long base, long long exponent, long long n) {
    long long result = 1;
    base %= n;
    while (exponent > 0) {
        if (exponent & 1) result = result * base % n;
        base = base * base % n;
        exponent >>= 1;
    }
    return result;
}

// The smallest generator of the nonzero residues modulo the prime n: g^((n-1)/q) != 1 for
// every prime q dividing n - 1.
long long generator_mod(int n) {
    std::vector<long long> primes;
    long long rest = n - 1;
    for (long long q = 2; q * q <= rest; ++q) {
        if (rest % q != 0) continue;
        primes.push_back(q);
        while (rest % q == 0) rest /= q;
    }
    if (rest > 1) primes.push_back(rest);
    for (long long g = 2;; ++g) {
        bool all = true;
        for (long long q : primes) all = all && power_mod(g, (n - 1) / q, n) != 1;
        if (all) return g;
    }
}

// Cost of Rader's method for a prime n: two transforms of n - 1, the products with the
// filter and the data moved through the index tables, in passes_cost units. The general
// butterflies of n - 1 cost more than passes_cost says once they run inside the method
// (measured: 1913, whose 1912 = 2^3 239, takes four times as long as by the chirp method),
// hence a charge per general factor.
double rader_cost(int n) {
    const std::vector<int> factors = calibration_factors(n - 1);
    const auto general = std::count_if(factors.begin(), factors.end(), [](int f) { return f > 5; });
    return 2.0 * passes_cost(n - 1) +
           (4.0 + rader_general_charge * static_cast<double>(general)) * (n - 1);
}

std::unique_ptr<FftPlan> build_rader_plan(int n, int sign) {
    auto plan = std::make_unique<FftPlan>();
    plan->n = n;
    plan->sign = sign;
    factorise(n, plan->factors);
    auto r = std::make_unique<RaderPlan>();
    const Index m = n - 1;
    const long long g = generator_mod(n);
    const long long g_inverse = power_mod(g, n - 2, n);
    r->gather.resize(static_cast<std::size_t>(m));
    r->scatter.resize(static_cast<std::size_t>(m));
    std::vector<double> br(static_cast<std::size_t>(m));
    std::vector<double> bi(static_cast<std::size_t>(m));
    // The angle 2 pi g^t / n from the residue g^t mod n, so that it stays below 2 pi and exact.
    const long double two_pi_l = 6.283185307179586476925286766559005768L;
    long long up = 1;
    long long down = 1;
    for (Index t = 0; t < m; ++t) {
        const auto at = static_cast<std::size_t>(t);
        r->scatter[at] = static_cast<Index>(up);
        r->gather[at] = static_cast<Index>(down);
        const double angle = static_cast<double>(two_pi_l * static_cast<long double>(up) / n);
        br[at] = std::cos(angle);
        bi[at] = sign * std::sin(angle);
        up = up * g % n;
        down = down * g_inverse % n;
    }
    r->forward = build_mixed_radix_plan(static_cast<int>(m), -1);
    r->inverse = build_mixed_radix_plan(static_cast<int>(m), 1);
    natural_order(*r->inverse);
    convolution_filter(*r->forward, br, bi, r->filter_re, r->filter_im);
    natural_identity(*plan);
    plan->rader = std::move(r);
    return plan;
}

std::unique_ptr<FftPlan> build_plan(int n, int sign) {
    const Index m = chirp_length(n);
    const double passes = passes_cost(n);
    const double chirp = m > 0 ? chirp_cost(n, m) : passes;
    if (n > 3 && is_prime(n) && rader_cost(n) < rader_margin * std::min(passes, chirp))
        return build_rader_plan(n, sign);
    return m > 0 ? build_chirp_plan(n, sign, m) : build_mixed_radix_plan(n, sign);
}

std::unique_ptr<FftPlan> build_mixed_radix_plan(int n, int sign) {
    auto plan = std::make_unique<FftPlan>();
    plan->n = n;
    plan->sign = sign;
    factorise(n, plan->factors);
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
        if (pass.factor > 6) build_odd_table(*plan, pass, previous_odd, previous_offset);
        plan->passes.push_back(pass);
        span = pass.sub;
    }
    return plan;
}

// A few plans per thread (a frame needs its width and height in both directions).
constexpr std::size_t plan_cache_size = 8;

}  // namespace

// Ordered factor list of the passes: fours, a six where the power of two is odd and n has a
// three (else a two), then the odd primes in ascending order. Every pass reads and writes
// every value once, so the list has as few factors as the butterflies allow (a four in place
// of two twos, a six in place of a two and a three); the last pass needs no rotation, so the
// largest factor, whose rotations cost most, goes last.
void factorise(int n, std::vector<int>& factors) {
    factors.clear();
    long long k = n;
    int twos = 0;
    while (k % 2 == 0) {
        ++twos;
        k /= 2;
    }
    factors.insert(factors.end(), static_cast<std::size_t>(twos / 2), 4);
    if (twos % 2 != 0) {
        if (k % 3 == 0) {
            factors.push_back(6);
            k /= 3;
        } else {
            factors.push_back(2);
        }
    }
    for (long long j = 3; j * j <= k; j += 2) {
        while (k % j == 0) {
            factors.push_back(static_cast<int>(j));
            k /= j;
        }
    }
    if (k > 1) factors.push_back(static_cast<int>(k));
}

double passes_cost(int n) {
    const std::vector<int> factors = calibration_factors(n);
    double per_value = 0.0;
    for (int f : factors) {
        switch (f) {
            case 2:
                per_value += 1.0;
                break;
            case 3:
                per_value += 1.4;
                break;
            case 4:
                per_value += 1.6;
                break;
            case 5:
                per_value += 2.2;
                break;
            default:
                per_value += general_factor_weight * f;
                break;
        }
    }
    return per_value * n;
}

FftPlan& plan_for(int n, int sign) {
    thread_local std::vector<std::unique_ptr<FftPlan>> cache;
    for (std::size_t i = 0; i < cache.size(); ++i) {
        if (cache[i]->n == n && cache[i]->sign == sign) {
            if (i != 0)
                std::rotate(cache.begin(), cache.begin() + static_cast<Index>(i),
                            cache.begin() + static_cast<Index>(i) + 1);
            return *cache.front();
        }
    }
    if (cache.size() == plan_cache_size) cache.pop_back();
    cache.insert(cache.begin(), build_plan(n, sign));
    return *cache.front();
}

// The passes leave output r of a butterfly of pass i at r * sub_i from the start of its block,
// and that block then holds the frequencies congruent to r modulo the factor: so frequency k,
// whose digits r_i = (k / (f_0 ... f_{i-1})) mod f_i are taken from the first factor on, sits
// at the sum of r_i * sub_i. Built when a plane transform first needs it.
const Index* natural_order(FftPlan& plan) {
    const Index n = plan.n;
    if (plan.natural_source.empty()) {
        plan.natural_source.resize(static_cast<std::size_t>(n));
        for (Index k = 0; k < n; ++k) {
            Index rest = k;
            Index position = 0;
            for (const FftPass& pass : plan.passes) {
                position += rest % pass.factor * pass.sub;
                rest /= pass.factor;
            }
            plan.natural_source[static_cast<std::size_t>(k)] = position;
        }
    }
    return plan.natural_source.data();
}

void reorder(FftPlan& plan, double* re, double* im) {
    if (plan.bluestein || plan.rader) return;
    const Index* source = natural_order(plan);
    thread_local std::vector<double> from_re, from_im;
    const auto n = static_cast<std::size_t>(plan.n);
    from_re.assign(re, re + n);
    from_im.assign(im, im + n);
    for (std::size_t k = 0; k < n; ++k) {
        re[k] = from_re[static_cast<std::size_t>(source[k])];
        im[k] = from_im[static_cast<std::size_t>(source[k])];
    }
}

}  // namespace orv::fft_detail
