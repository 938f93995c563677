// The converters: from what a scanner measured (the value of the digits, the
// power of ten, the sign) to the number, one converter a kind: for reals
// decimal_to_double (decimal.hpp), for integers to_int64. Each is exact (a
// real rounds as strtod rounds it) and says when it cannot decide, so that
// the rare number goes to the C++ library's own conversion of its text,
// text_to_double. A real written where an integer is read is the integer it
// is exactly, or none: decimal_to_int64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "sample_input/bytes.hpp"
#include "sample_input/config.hpp"
#include "sample_input/decimal.hpp"

namespace sample_input {

// A number may be this long and still read exactly; a longer one fails the run
// at its line rather than yield a value cut short.
inline constexpr std::size_t kMaxNumberLength = std::size_t{64} * 1024;

namespace convert {

using bytes::kPowersOfTen;

// Any integer of this many decimal digits is at most kMaxExactMantissa.
inline constexpr int kMaxExactDigits = 15;
static_assert(kPowersOfTen[kMaxExactDigits] <= kMaxExactMantissa &&
              kPowersOfTen[kMaxExactDigits + 1] > kMaxExactMantissa);

// Any 19 digits fit 64 bits (10^19 is the largest power of ten that does):
// decimal_to_double takes that many.
inline constexpr int kMaxMantissaDigits = 19;
static_assert(std::size(kPowersOfTen) == kMaxMantissaDigits + 1);

// An integer of the 64-bit signed range has at most this many digits, and
// any this many fit 64 bits unsigned: one compare tells the range.
inline constexpr int kMaxIntegerDigits = 19;
static_assert(std::uint64_t{INT64_MAX} < kPowersOfTen[kMaxIntegerDigits]);

// The real number written in [begin, end), a token the scanners have checked,
// as strtod rounds it: hexadecimal, inf, nan, and the decimals
// decimal_to_double leaves.
double text_to_double(const char* begin, const char* end);

// The integer of that magnitude and sign; false outside the 64-bit signed range.
NETFIGURES_INLINE bool to_int64(std::uint64_t magnitude, bool negative, std::int64_t& value) {
  if (magnitude > std::uint64_t{INT64_MAX} + negative) return false;
  // Negated as unsigned: the magnitude of -2^63 is no signed 64-bit value,
  // and the conversion back keeps the bits (two's complement).
  // cppcheck-suppress duplicateValueTernary ; wrong: 0 - magnitude and magnitude differ but for 0
  value = static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
  return true;
}

// The integer the decimal [begin, end) is exactly, a real's text that the
// scanners have checked (a sign perhaps, digits with a point perhaps, an
// exponent perhaps: no hexadecimal, inf or nan), such as 1448.0 or
// 1.448000000000000000e+03; false where its value has a fraction or lies
// outside the 64-bit signed range. Digit by digit, with no rounding: rare
// in a file of integers, and one such file is slow, not wrong.
bool decimal_to_int64(const char* begin, const char* end, std::int64_t& value);

}  // namespace convert

}  // namespace sample_input
