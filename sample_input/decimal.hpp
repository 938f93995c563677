// The powers of five that decimal-to-double conversion multiplies by, each
// truncated to its 128 leading bits: w·10^q is w·5^q·2^q, and the power of
// two only moves the exponent.
#pragma once

#include <cstdint>

namespace sample_input::convert {

// The range of q the table covers. Past it the value is known without it: 19 digits
// times 10^-343 are below 10^-324, under half the least subnormal (2^-1075, about
// 2.47e-324), so zero; a digit times 10^309 is past the largest double, so infinity.
inline constexpr int kMinPower = -342;
inline constexpr int kMaxPower = 308;

// 5^q normalised to 128 bits and rounded down: 5^q lies in [t, t + 1)·2^binary_exponent(q),
// with t = high·2^64 + low and the top bit of high set.
struct Power {
  std::uint64_t high;
  std::uint64_t low;
};

struct PowersOfFive {
  Power power[kMaxPower - kMinPower + 1];  // 5^q at [q - kMinPower]
};

// Computed by the compiler in decimal.cpp.
extern const PowersOfFive kPowersOfFive;

// floor(q·log2 10) for q in the table's range. 217706 / 2^16 exceeds log2 10 by
// less than 2e-6, and no q·log2 10 in the range lies that close to an integer
// (decimal.cpp checks every q). The shift of a negative number is arithmetic
// in GCC and clang: it rounds down too.
constexpr int floor_log2_pow10(int q) { return (q * 217706) >> 16; }

// The power of two that scales the table's entry for q: 5^q lies in
// [2^127, 2^128)·2^binary_exponent(q), and floor(q·log2 5) = floor(q·log2 10) - q.
constexpr int binary_exponent(int q) { return floor_log2_pow10(q) - q - 127; }

}  // namespace sample_input::convert
