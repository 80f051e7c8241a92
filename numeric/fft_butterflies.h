#pragma once
// The butterflies of the mixed-radix passes (fft_passes.h) on L interleaved sequences, one
// lane group of values at a time: the sums, differences and rotations of 2, 3, 4, 5 or 6
// values, with the rotation decided outside the lane loop so that the compiler turns the lane
// loops into vector instructions. The values of one butterfly never overlap, which the
// restrict-qualified pointers tell the compiler. Always inlined, like the passes.

#include "numeric/fft_plan.h"

namespace orv::fft_detail {

// out = (x + iy)(c + is)
[[gnu::always_inline]] inline void rotate(double x, double y, double c, double s, double& out_r,
                                          double& out_i) {
    out_r = x * c - y * s;
    out_i = x * s + y * c;
}

// (x + iy) rotated by (c + is) when Rot, else as it is, stored at r, i.
template <bool Rot>
[[gnu::always_inline]] inline void put(double x, double y, double c, double s, double& r,
                                       double& i) {
    if constexpr (Rot) {
        rotate(x, y, c, s, r, i);
    } else {
        r = x;
        i = y;
    }
}

template <int L, bool Rot>
[[gnu::always_inline]] inline void butterfly2(double* __restrict__ r0, double* __restrict__ i0,
                                              double* __restrict__ r1, double* __restrict__ i1,
                                              double c, double s) {
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
[[gnu::always_inline]] inline void butterfly4(double* __restrict__ r0, double* __restrict__ i0,
                                              double* __restrict__ r1, double* __restrict__ i1,
                                              double* __restrict__ r2, double* __restrict__ i2,
                                              double* __restrict__ r3, double* __restrict__ i3,
                                              double sg, const double* wr, const double* wi) {
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
        put<Rot>(y1r, y1i, c1, s1, r1[l], i1[l]);
        put<Rot>(y2r, y2i, c2, s2, r2[l], i2[l]);
        put<Rot>(y3r, y3i, c3, s3, r3[l], i3[l]);
    }
}

template <int L, bool Rot>
[[gnu::always_inline]] inline void butterfly3(double* __restrict__ r0, double* __restrict__ i0,
                                              double* __restrict__ r1, double* __restrict__ i1,
                                              double* __restrict__ r2, double* __restrict__ i2,
                                              double s120, const double* wr, const double* wi) {
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
        put<Rot>(ar - bi, ai + br, c1, s1, r1[l], i1[l]);
        put<Rot>(ar + bi, ai - br, c2, s2, r2[l], i2[l]);
    }
}

template <int L, bool Rot>
[[gnu::always_inline]] inline void butterfly5(double* __restrict__ r0, double* __restrict__ i0,
                                              double* __restrict__ r1, double* __restrict__ i1,
                                              double* __restrict__ r2, double* __restrict__ i2,
                                              double* __restrict__ r3, double* __restrict__ i3,
                                              double* __restrict__ r4, double* __restrict__ i4,
                                              const FftPlan& plan, const double* wr,
                                              const double* wi) {
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
        put<Rot>(p1r - q1i, p1i + q1r, c1, s1, r1[l], i1[l]);
        put<Rot>(p2r - q2i, p2i + q2r, c2, s2, r2[l], i2[l]);
        put<Rot>(p2r + q2i, p2i - q2r, c3, s3, r3[l], i3[l]);
        put<Rot>(p1r + q1i, p1i - q1r, c4, s4, r4[l], i4[l]);
    }
}

// Six values as two threes (the even and the odd inputs) joined by a two: X_k = A_k + w^k B_k
// and X_{k+3} = A_k - w^k B_k with w = e^{sign 2 pi i / 6} = 1/2 + i s120.
template <int L, bool Rot>
[[gnu::always_inline]] inline void butterfly6(double* __restrict__ r0, double* __restrict__ i0,
                                              double* __restrict__ r1, double* __restrict__ i1,
                                              double* __restrict__ r2, double* __restrict__ i2,
                                              double* __restrict__ r3, double* __restrict__ i3,
                                              double* __restrict__ r4, double* __restrict__ i4,
                                              double* __restrict__ r5, double* __restrict__ i5,
                                              double s120, const double* wr, const double* wi) {
    double c[5], s[5];
    for (int k = 0; k < 5; ++k) {
        c[k] = Rot ? wr[k] : 1.0;
        s[k] = Rot ? wi[k] : 0.0;
    }
    for (int l = 0; l < L; ++l) {
        // The threes: A from inputs 0, 2, 4 and B from 1, 3, 5.
        const double tar = r2[l] + r4[l], tai = i2[l] + i4[l];
        const double dar = r2[l] - r4[l], dai = i2[l] - i4[l];
        const double tbr = r5[l] + r3[l], tbi = i5[l] + i3[l];
        const double dbr = r3[l] - r5[l], dbi = i3[l] - i5[l];
        const double a0r = r0[l] + tar, a0i = i0[l] + tai;
        const double ahr = -0.5 * tar + r0[l], ahi = -0.5 * tai + i0[l];
        const double asr = s120 * dar, asi = s120 * dai;
        const double b0r = r1[l] + tbr, b0i = i1[l] + tbi;
        const double bhr = -0.5 * tbr + r1[l], bhi = -0.5 * tbi + i1[l];
        const double bsr = s120 * dbr, bsi = s120 * dbi;
        const double a1r = ahr - asi, a1i = ahi + asr;
        const double a2r = ahr + asi, a2i = ahi - asr;
        const double b1r = bhr - bsi, b1i = bhi + bsr;
        const double b2r = bhr + bsi, b2i = bhi - bsr;
        // w B_1 and w^2 B_2.
        const double e1r = 0.5 * b1r - s120 * b1i, e1i = 0.5 * b1i + s120 * b1r;
        const double e2r = -0.5 * b2r - s120 * b2i, e2i = -0.5 * b2i + s120 * b2r;
        r0[l] = a0r + b0r;
        i0[l] = a0i + b0i;
        put<Rot>(a1r + e1r, a1i + e1i, c[0], s[0], r1[l], i1[l]);
        put<Rot>(a2r + e2r, a2i + e2i, c[1], s[1], r2[l], i2[l]);
        put<Rot>(a0r - b0r, a0i - b0i, c[2], s[2], r3[l], i3[l]);
        put<Rot>(a1r - e1r, a1i - e1i, c[3], s[3], r4[l], i4[l]);
        put<Rot>(a2r - e2r, a2i - e2i, c[4], s[4], r5[l], i5[l]);
    }
}

}  // namespace orv::fft_detail
