#include "sample_input/convert.hpp"

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

}  // namespace sample_input::convert
