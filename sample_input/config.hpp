// How the reader is built, decided once for every file of it: the vector
// code (SSE2, which every x86-64 has) or the portable code, and the
// force-inline that keeps the hot path in one piece.
#pragma once

// NETFIGURES_SCALAR builds the portable code on any machine, so that CI tests
// both. Code that needs the choice uses the namespace alias `wide` of
// bytes.hpp, not this macro.
#if defined(__SSE2__) && !defined(NETFIGURES_SCALAR)
#define NETFIGURES_SSE2 1
#else
#define NETFIGURES_SSE2 0
#endif

// In line even where the compiler thinks the reading loop large: the
// per-number step and the loop's state then stay in registers, which is what
// makes the fast paths fast (measured: up to a third of the run time).
#define NETFIGURES_INLINE inline __attribute__((always_inline))

// Not the vectorizer of straight-line code, for a loop whose step keeps two
// sums (quellimar's): GCC packs them into one register and takes them apart
// again at every line, 7 instructions of the 52 a line of a field run. (Clang
// reads no such attribute.)
#if defined(__GNUC__) && !defined(__clang__)
#define NETFIGURES_UNPAIRED __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define NETFIGURES_UNPAIRED
#endif
