#pragma once
// The row kernels behind signal_row_to_light (colour/signal_light.h): one channel's light of a
// piece of signal values, four values at a time where the processor has AVX2 and value by
// value otherwise, with the same operations in the same order, so the same doubles either way.

#include "colour/signal_light.h"

namespace orv {

// v clipped to [0, 1]; not a number gives 0.
inline double clip01(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }

// Whether v is byte d's value (d / 255, or d times the double nearest 1/255 as the profile's
// table is made), d the nearest byte.
inline int byte_match(double v, int d) {
    const double value = static_cast<double>(d);
    return static_cast<int>(value / 255.0 == v) | static_cast<int>(value * (1.0 / 255.0) == v);
}

inline int nearest_byte(double v) { return static_cast<int>(clip01(v) * 255.0 + 0.5); }

// Whether v * 255 (v clipped to [0, 1]) lies within 2^-40 of the whole number `d`, as every
// byte's value does; d is set to that number.
inline bool near_byte(double v, int& d) {
    const double scaled = clip01(v) * 255.0;
    d = static_cast<int>(scaled + 0.5);
    const double off = scaled - static_cast<double>(d);
    return off < 0x1p-40 && off > -0x1p-40;
}

// Channel c's light of n signal values by the display of `s` (for HLG the scene light of the
// inverse OETF, before the OOTF); a value that is a byte's takes the 8-bit table's entry.
void channel_light_row(const SignalLight& s, int c, const double* v, double* y, int n);

// One row of signal values (red, green, blue per pixel) to three planes: the display light as
// signal_row_to_light gives it, then row k of `m` as m[3k] r + m[3k + 1] g + m[3k + 2] b into
// plane k, four pixels at a time with the light kept in registers. False, with nothing
// written, where this path does not serve: HLG (its OOTF mixes the channels), a power whose
// series does not fit the tables, a processor without AVX2 and fused multiply-adds.
bool signal_row_to_planes(const SignalLight& s, const Matrix3& m, const double* in, int width,
                          double* p0, double* p1, double* p2);

// Red, green and blue of n pixels into three arrays.
void take_apart(const double* from, int n, double* r, double* g, double* b);

}  // namespace orv
