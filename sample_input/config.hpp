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
