// How the reader is built, decided once for every file of it: the vector
// code (SSE2, which every x86-64 has) or the portable code, and the
// force-inline that keeps a path's loop in one piece.
#pragma once

// NETFIGURES_SCALAR builds the portable code on any machine, so that CI tests
// both. Code that needs the choice uses the namespace alias `wide` of
// bytes.hpp, not this macro.
#if defined(__SSE2__) && !defined(NETFIGURES_SCALAR)
#define NETFIGURES_SSE2 1
#else
#define NETFIGURES_SSE2 0
#endif

// In line even where the compiler thinks a path's loop large: the per-number
// step, the layout's compares and its conversion then stay in one loop,
// their values in registers (a layout's conversion out of line took %e's
// loop from 91 to 133 instructions a number).
#define NETFIGURES_INLINE inline __attribute__((always_inline))

// Whether the processor and the system run AVX2 and the bit instructions of
// the same processors (BMI1, BMI2, LZCNT, POPCNT): code compiled for them too
// is taken then.
// glibc's answer heeds GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2, which the tests
// use to run the other copy on a machine that has them. (Not for clang,
// whose C++ does not read the header's _Bool.)
#if NETFIGURES_SSE2
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#include <sys/platform/x86.h>
#else
#include <cpuid.h>
#endif
namespace sample_input {
#ifdef CPU_FEATURE_ACTIVE
inline const bool kAvx2 = CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(BMI1) &&
                          CPU_FEATURE_ACTIVE(BMI2) && CPU_FEATURE_ACTIVE(LZCNT) &&
                          CPU_FEATURE_ACTIVE(POPCNT);
#else
// (LZCNT, which clang's builtin does not name, from the processor itself.)
inline bool has_lzcnt() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(0x80000001, &a, &b, &c, &d) != 0 && (c & bit_LZCNT) != 0;
}
inline const bool kAvx2 =
    (__builtin_cpu_init(), __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                               __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt") &&
                               has_lzcnt());
#endif
}  // namespace sample_input
#endif
