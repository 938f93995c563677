#include "sample_input/convert.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace sample_input::convert {

double text_to_double(const char* begin, const char* end) {
  const bool negative = *begin == '-';
  const char* s = begin + (negative || *begin == '+');
  const bool hex = end - s > 2 && s[0] == '0' && (s[1] | 0x20) == 'x';
  double value = 0;
  const auto result = std::from_chars(hex ? s + 2 : s, end, value,
                                      hex ? std::chars_format::hex : std::chars_format::general);
  if (result.ec == std::errc() && result.ptr == end) return negative ? -value : value;
  // Out of range: strtod gives infinity on overflow and zero or the nearest
  // subnormal on underflow, as "%lf" does. It needs the token ended by a NUL,
  // so it reads a copy; this is rare enough that the copy costs nothing.
  char copy[kMaxNumberLength + 1];
  const auto length = static_cast<std::size_t>(end - begin);
  std::memcpy(copy, begin, length);
  copy[length] = '\0';
  return std::strtod(copy, nullptr);
}

bool decimal_to_int64(const char* begin, const char* end, std::int64_t& value) {
  const bool negative = *begin == '-';
  const char* s = begin + (negative || *begin == '+');
  // The digits from the first that is not 0 to the last that is not, and
  // the power of ten they are scaled by: the value is digits * 10^power.
  std::uint64_t digits = 0;
  int count = 0;        // digits taken
  int zeros = 0;        // zeros after the last digit taken
  long long power = 0;  // less one for each digit after the point
  bool point = false;
  for (; s < end && (bytes::is_digit(*s) || *s == '.'); ++s) {
    if (*s == '.') {
      point = true;
      continue;
    }
    power -= point;
    if (*s == '0') {
      zeros += count > 0;  // leading zeros weigh nothing
      continue;
    }
    // Twenty digits from the first to the last that is not 0: a fraction
    // or a value of at least 10^19, past the range either way.
    if (count + zeros + 1 > kMaxIntegerDigits) return false;
    digits = digits * kPowersOfTen[zeros + 1] + static_cast<std::uint64_t>(*s - '0');
    count += zeros + 1;
    zeros = 0;
  }
  power += zeros;
  if (s < end) {  // the exponent, capped where any exponent is out of range anyway
    const bool down = *++s == '-';
    long long written = 0;
    for (s += down || *s == '+'; s < end; ++s) {
      written = std::min(written * 10 + (*s - '0'), 1LL << 40);
    }
    power += down ? -written : written;
  }
  if (count == 0) {  // 0, -0.0, 0e999
    value = 0;
    return true;
  }
  // The last digit is not 0: a negative power leaves a fraction.
  if (power < 0 || count + power > kMaxIntegerDigits) return false;
  return to_int64(digits * kPowersOfTen[static_cast<std::size_t>(power)], negative, value);
}

}  // namespace sample_input::convert
