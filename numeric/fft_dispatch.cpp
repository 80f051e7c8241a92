// The plane driver compiled for the baseline instruction set, for AVX2 and for AVX-512. All
// perform the same IEEE operations in the same order (no fused multiply-adds), so their
// results are identical; the wider sets only process more lanes per instruction.

#include "numeric/fft_dispatch.h"

#include "numeric/fft_lines.h"

namespace orv::fft_detail {

namespace {

[[gnu::noinline]] void transform_lines_baseline(double* re, double* im, int n, int sign,
                                                Index count, Index seq_stride, Index elem_stride,
                                                bool scaled, double scale) {
    transform_lines_kernel(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
}

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::noinline, gnu::target("avx2")]] void transform_lines_avx2(double* re, double* im, int n,
                                                                 int sign, Index count,
                                                                 Index seq_stride,
                                                                 Index elem_stride, bool scaled,
                                                                 double scale) {
    transform_lines_kernel(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
}

// Whole 512-bit registers: two per lane group of 16 values (clang takes no vector-width
// preference in the attribute).
#if defined(__clang__)
#define ORV_AVX512_SET "avx512f,avx512dq,avx512vl,avx512bw"
#else
#define ORV_AVX512_SET "avx512f,avx512dq,avx512vl,avx512bw,prefer-vector-width=512"
#endif
[[gnu::noinline, gnu::target(ORV_AVX512_SET)]] void transform_lines_avx512(
    double* re, double* im, int n, int sign, Index count, Index seq_stride, Index elem_stride,
    bool scaled, double scale) {
    transform_lines_kernel(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
}
#undef ORV_AVX512_SET

FftPath detect_widest() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw")) {
        return FftPath::avx512;
    }
    return __builtin_cpu_supports("avx2") ? FftPath::avx2 : FftPath::baseline;
}
#else
void transform_lines_avx2(double*, double*, int, int, Index, Index, Index, bool, double) {}
void transform_lines_avx512(double*, double*, int, int, Index, Index, Index, bool, double) {}
FftPath detect_widest() { return FftPath::baseline; }
#endif

}  // namespace

FftPath widest_fft_path() {
    static const FftPath widest = detect_widest();
    return widest;
}

void transform_lines_on(FftPath path, double* re, double* im, int n, int sign, Index count,
                        Index seq_stride, Index elem_stride, bool scaled, double scale) {
    switch (path) {
        case FftPath::avx512:
            transform_lines_avx512(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
            break;
        case FftPath::avx2:
            transform_lines_avx2(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
            break;
        case FftPath::baseline:
            transform_lines_baseline(re, im, n, sign, count, seq_stride, elem_stride, scaled,
                                     scale);
            break;
    }
}

void transform_lines(double* re, double* im, int n, int sign, Index count, Index seq_stride,
                     Index elem_stride, bool scaled, double scale) {
    transform_lines_on(widest_fft_path(), re, im, n, sign, count, seq_stride, elem_stride, scaled,
                       scale);
}

}  // namespace orv::fft_detail
