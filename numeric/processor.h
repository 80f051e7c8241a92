#pragma once
// What the processor offers the code paths compiled for wider vectors, asked once.

namespace orv {

// True where the processor runs AVX2 instructions (GCC on x86-64); false elsewhere, where the
// paths written for it are not compiled.
inline bool processor_has_avx2() {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
#else
    return false;
#endif
}

// True where the processor runs AVX2 and fused multiply-adds (GCC on x86-64).
inline bool processor_has_avx2_fma() {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    static const bool both = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
    }();
    return both;
#else
    return false;
#endif
}

}  // namespace orv
