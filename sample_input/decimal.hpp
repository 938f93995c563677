// A decimal of up to 19 significant digits to the nearest double, as strtod
// rounds its text (to nearest, ties to even, subnormals, overflow to
// infinity), with no loop over the digits and no big numbers.
//
// The digits times a power of ten a double holds exactly take one
// multiplication or division. Any other decimal w·10^q is w·5^q·2^q: the
// power of two only moves the exponent, and w times the 128 leading bits of
// 5^q (one 64 × 128-bit product, after Eisel and Lemire) leaves the rounding
// of the exact value in doubt only when that value lies within the
// truncation error of a midpoint between two doubles. The converter then
// returns false and the caller converts the text some slower way.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "sample_input/config.hpp"

#ifndef __SIZEOF_INT128__
#error "decimal.hpp needs unsigned __int128 (GCC or clang on a 64-bit target)"
#endif

namespace sample_input::convert {

__extension__ using Uint128 = unsigned __int128;  // __extension__: not ISO C++

// 10^22 = 2^22·5^22 is the largest power of ten a double holds exactly (5^22 < 2^53 < 5^23).
inline constexpr int kMaxExactPower = 22;
// Digits up to 2^53 are exact in a double; times or over an exact power of ten, the one
// rounding of the product or quotient is then the correctly rounded value.
inline constexpr std::uint64_t kMaxExactMantissa = std::uint64_t{1} << 53;

// The range of q the table covers. Past it the value is known without it: 19 digits
// times 10^-343 are below 10^-324, under half the least subnormal (2^-1075, about
// 2.47e-324), so zero; a digit times 10^309 is past the largest double, so infinity.
inline constexpr int kMinPower = -342;
inline constexpr int kMaxPower = 308;
// 5^55 < 2^128 < 5^56: the table holds 5^0 to 5^55 exactly, and their products are exact.
inline constexpr int kMaxWholePower = 55;
// A decimal with a negative exponent q is exactly halfway between two doubles
// only if 5^-q divides its digits and leaves an odd part of at least 54 bits:
// 5^-q < 2^64 / 2^53 = 2^11, so q >= -4.
inline constexpr int kMinTiePower = -4;

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

inline constexpr double kExactPowersOfTen[kMaxExactPower + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The same powers, each beside its negation. A quotient or a product with a
// negated power is exactly the negated one, so a number takes its sign with
// the power that scales it: no branch, which would be mispredicted on every
// negative number of a trace that has some, and no other operation.
inline constexpr auto kSignedPowersOfTen = [] {
  std::array<std::array<double, 2>, kMaxExactPower + 1> powers{};
  for (int q = 0; q <= kMaxExactPower; ++q) {
    powers[q][0] = kExactPowersOfTen[q];
    powers[q][1] = -kExactPowersOfTen[q];
  }
  return powers;
}();

// 10^q, negated if negative.
NETFIGURES_INLINE double signed_power_of_ten(int q, bool negative) {
  return kSignedPowersOfTen[q][negative];
}

namespace detail {

inline constexpr int kExponentBias = 1023;
inline constexpr int kMaxBiasedExponent = 2047;  // infinity's
inline constexpr int kSignificandBits = 52;      // stored; the leading 1 is implicit
inline constexpr std::uint64_t kInfinityBits = std::uint64_t{kMaxBiasedExponent}
                                               << kSignificandBits;

// What nearest() gives where the table's precision leaves the double
// undecided: the bits of a NaN, which no decimal rounds to.
inline constexpr std::uint64_t kUndecided = ~std::uint64_t{0};

// digits·t in three words, t the table's entry for exponent, with the digits
// shifted up to their top bit (by zeros bits), so that the product's leading
// bit is bit 190 or 191 and its top word holds every bit a double can keep.
struct Product {
  std::uint64_t w;  // the digits, shifted
  int zeros;
  std::uint64_t top;
  std::uint64_t middle;
  std::uint64_t bottom;
};

NETFIGURES_INLINE Product full_product(std::uint64_t digits, int exponent) {
  const int zeros = __builtin_clzll(digits);
  const std::uint64_t w = digits << zeros;
  const Power& p = kPowersOfFive.power[exponent - kMinPower];
  // w·high + (the top word of w·low) cannot overflow: it is below 2^64·(2^64 - 1).
  const Uint128 lower = static_cast<Uint128>(w) * p.low;
  const Uint128 upper = static_cast<Uint128>(w) * p.high + (lower >> 64);
  return {w, zeros, static_cast<std::uint64_t>(upper >> 64), static_cast<std::uint64_t>(upper),
          static_cast<std::uint64_t>(lower)};
}

// The bits of the double whose significand and rounding bit are kept, and
// whose biased exponent is biased: past the midpoint, up; on it (tie), to
// even. (No branch: the rounding bit is as likely set as not.) A significand
// rounded up to 2^53 carries into the exponent, and from the largest finite
// exponent into infinity's, as it should; a subnormal's has no implicit bit
// and its exponent field is 0, or 1 once it rounds up to 2^52.
NETFIGURES_INLINE std::uint64_t rounded(std::uint64_t kept, bool tie, int biased) {
  std::uint64_t significand = kept >> 1;
  significand += kept & (tie ? significand : 1) & 1;
  const int field = biased < 1 ? 0 : biased - 1;
  return (static_cast<std::uint64_t>(field) << kSignificandBits) + significand;
}

// The bits of the double nearest to digits·10^exponent, for digits not 0 and
// exponent in the table's range, or kUndecided. Out of line, and its result
// not through memory: the callers' common road then keeps its values in
// registers.
__attribute__((noinline)) inline std::uint64_t nearest(std::uint64_t digits, int exponent) {
  const Product y = full_product(digits, exponent);
  // The value is x·2^(binary_exponent + exponent - zeros), where x = w·5^q / 2^binary_exponent
  // lies in [y, y + w): t is 5^q's leading bits rounded down by less than 1,
  // and exact (x = y) up to kMaxWholePower. y's leading bit is bit 190 or 191:
  // that of the value is floor(q·log2 10) + 63 - zeros, or one more.
  const int leading = static_cast<int>(y.top >> 63);
  const int biased = floor_log2_pow10(exponent) + 63 + leading - y.zeros + kExponentBias;
  if (biased >= kMaxBiasedExponent) return kInfinityBits;  // at least 2^1024
  // Bits of top below the rounding bit: of its 63 or 64 bits, a double keeps
  // 53 and the rounding bit is one more; a subnormal keeps as many fewer as
  // its exponent is below that of the least normal double.
  const int dropped = 63 + leading - (kSignificandBits + 2) + (biased < 1 ? 1 - biased : 0);
  // The rounding bit's weight is 2^192 or more here, and x < 2^192.
  if (dropped >= 64) return 0;
  std::uint64_t kept = y.top >> dropped;  // the significand, then the rounding bit
  const std::uint64_t rest_mask = (std::uint64_t{1} << dropped) - 1;
  const std::uint64_t rest = y.top & rest_mask;
  const bool exact = exponent >= 0 && exponent <= kMaxWholePower;
  // A tie only where x = y and nothing follows the rounding bit; an inexact x
  // is past the midpoint that y is on.
  bool tie = exact && rest == 0 && y.middle == 0 && y.bottom == 0;
  // The rare test alone decides the branch, all its parts evaluated at once
  // (& not &&): as separate branches the compiler may test the rounding bit
  // first, which is a coin toss.
  const bool below_midpoint =
      (rest == rest_mask) & (y.middle == ~std::uint64_t{0}) & (y.bottom > 0 - y.w);
  if (__builtin_expect(below_midpoint, 0) && !exact && (kept & 1) == 0) {
    // y is below a midpoint by less than w: x, in [y, y + w), may be on it or past it.
    // From kMinTiePower to -1, x is on it: 5^-q·(x - midpoint) is an integer
    // multiple of 2^130 (5^-q·x = w·2^k with k >= 130, and the midpoint is a
    // multiple of 2^137), so x is on the midpoint or more than 2^120 > w from
    // it. Elsewhere the truncated power cannot tell: decline.
    if (exponent < kMinTiePower || exponent >= 0) return kUndecided;
    kept += 1;
    tie = true;
  }
  return rounded(kept, tie, biased);
}

// nearest() for most decimals, from one 64 × 64-bit product: that of the
// digits and the top word of the power. The rest of the exact value adds
// less than the digits to that product's low word, so at most one to its top
// word, two once that is shifted up to its leading bit (which puts the
// rounding bit at bit 10): where the bits from the rounding bit down lie
// within two of a half (0x3FE to 0x400), the double is left undecided. Traces
// that keep every digit (%.18e) lie next to a double, where those bits are
// all zeros or all ones: decided. For digits that are not 0. (One branch,
// seldom taken: & and | rather than && and ||, which the compiler may turn
// into branches of their own, some a coin toss.)
NETFIGURES_INLINE std::uint64_t nearest_coarsely(std::uint64_t digits, int exponent) {
  const int zeros = __builtin_clzll(digits);
  const Power& p = kPowersOfFive.power[exponent - kMinPower];
  const auto top =
      static_cast<std::uint64_t>((static_cast<Uint128>(digits << zeros) * p.high) >> 64);
  const int leading = static_cast<int>(top >> 63);
  const std::uint64_t normal = top << (leading ^ 1);
  const int biased = floor_log2_pow10(exponent) + 63 + leading - zeros + kExponentBias;
  if (__builtin_expect(
          ((normal & 0x7FF) - 0x3FE <= 2) | (biased < 1) | (biased >= kMaxBiasedExponent - 1), 0)) {
    return kUndecided;
  }
  // Rounded half up at the rounding bit (bit 10): no half is left here. A
  // carry past the 53 bits raises the exponent, as it should.
  return (static_cast<std::uint64_t>(biased - 1) << kSignificandBits) + ((normal >> 10) + 1) / 2;
}

// For nearest_long, at power[2 q + n]: for a long decimal with n minus signs
// (0 or 1) and its point q bytes from its start, so w = q - n whole digits,
// whose digits long_number_avx2 gives as the number times 10^(19 - w): the
// leading 64 bits of 5^(w - 19), and the exponent field of the double, its
// sign bit above it, before what the digits' leading zeros and the product's
// take off. Computed by the compiler in decimal.cpp.
struct LongPower {
  std::uint64_t high;
  std::int64_t field;
};
struct LongPowers {
  LongPower power[32];
};
extern const LongPowers kLongPowers;

// nearest_coarsely for the digits of a long decimal, not 0, and the power its
// point picks (kLongPowers): such a number lies between 10^-19 and
// 2^64·10^-4, where every double is normal, so that only the rounding can
// leave it undecided (false). The sign is the table's.
NETFIGURES_INLINE bool nearest_long(std::uint64_t digits, const LongPower& p, std::uint64_t& bits) {
  const int zeros = __builtin_clzll(digits);
  const auto top =
      static_cast<std::uint64_t>((static_cast<Uint128>(digits << zeros) * p.high) >> 64);
  // top has its leading bit at 63 or 62: a count of leading zeros (one
  // instruction with LZCNT) both finds it and shifts it up.
  const int low = __builtin_clzll(top);
  const std::uint64_t normal = top << low;
  if (__builtin_expect(((normal - 0x3FE) & 0x7FF) <= 2, 0)) return false;
  bits = (static_cast<std::uint64_t>(p.field - low - zeros) << kSignificandBits) +
         ((normal >> 10) + 1) / 2;
  return true;
}

}  // namespace detail

// The double nearest to digits·10^exponent (ties to even), as strtod rounds
// the decimal, by the table alone: decimal_to_double without its exact path,
// for digits that a double cannot hold (17 of them and more) or seldom does,
// where the exact path's test would only cost a mispredicted branch. False
// when it cannot decide.
NETFIGURES_INLINE bool round_decimal(std::uint64_t digits, int exponent, bool negative,
                                     double& value) {
  std::uint64_t bits = 0;
  if (digits == 0 || exponent < kMinPower) {
    bits = 0;
  } else if (exponent > kMaxPower) {
    bits = detail::kInfinityBits;
  } else {
    bits = detail::nearest_coarsely(digits, exponent);
    if (__builtin_expect(bits == detail::kUndecided, 0)) {
      bits = detail::nearest(digits, exponent);
      if (bits == detail::kUndecided) return false;
    }
  }
  bits |= static_cast<std::uint64_t>(negative) << 63;
  std::memcpy(&value, &bits, sizeof value);
  return true;
}

// round_decimal for digits not 0 and an exponent in the table's range, from
// one product only: false also where nearest_coarsely leaves the double
// undecided. For loops that then hand the number to a scanner: without a
// call on their road, they keep their values in registers.
NETFIGURES_INLINE bool round_decimal_quickly(std::uint64_t digits, int exponent, bool negative,
                                             double& value) {
  std::uint64_t bits = detail::nearest_coarsely(digits, exponent);
  if (bits == detail::kUndecided) return false;
  bits |= static_cast<std::uint64_t>(negative) << 63;
  std::memcpy(&value, &bits, sizeof value);
  return true;
}

// The double nearest to digits·10^exponent (ties to even), as strtod rounds
// the decimal; false when it cannot decide, and then the caller hands the
// text to std::from_chars or strtod. digits is the exact value of at most 19
// significant digits (below 10^19); negative gives the sign, and -0.0 for
// zero digits.
NETFIGURES_INLINE bool decimal_to_double(std::uint64_t digits, int exponent, bool negative,
                                         double& value) {
  if (digits <= kMaxExactMantissa && exponent >= -kMaxExactPower && exponent <= kMaxExactPower) {
    const auto m = static_cast<double>(digits);
    value = exponent < 0 ? m / signed_power_of_ten(-exponent, negative)
                         : m * signed_power_of_ten(exponent, negative);
    return true;
  }
  return round_decimal(digits, exponent, negative, value);
}

}  // namespace sample_input::convert
