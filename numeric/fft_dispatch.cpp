// The plane driver compiled for the baseline instruction set and for AVX2. Both perform the
// same IEEE operations in the same order (no fused multiply-adds), so their results are
// identical; AVX2 only processes more lanes per instruction.

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
constexpr bool have_avx2_path = true;
[[gnu::noinline, gnu::target("avx2")]] void transform_lines_avx2(double* re, double* im, int n,
                                                                 int sign, Index count,
                                                                 Index seq_stride,
                                                                 Index elem_stride, bool scaled,
                                                                 double scale) {
    transform_lines_kernel(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
}

bool cpu_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}
#else
constexpr bool have_avx2_path = false;
void transform_lines_avx2(double*, double*, int, int, Index, Index, Index, bool, double) {}
bool cpu_has_avx2() { return false; }
#endif

}  // namespace

void transform_lines(double* re, double* im, int n, int sign, Index count, Index seq_stride,
                     Index elem_stride, bool scaled, double scale) {
    static const bool use_avx2 = have_avx2_path && cpu_has_avx2();
    if (use_avx2) {
        transform_lines_avx2(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
    } else {
        transform_lines_baseline(re, im, n, sign, count, seq_stride, elem_stride, scaled, scale);
    }
}

}  // namespace orv::fft_detail
