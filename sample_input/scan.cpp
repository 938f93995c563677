#include "sample_input/scan.hpp"

#include <charconv>
#include <cstdlib>
#include <system_error>

namespace sample_input::scan {

namespace {

bool is_hex_digit(unsigned char c) {
  return is_digit(c) || static_cast<unsigned>((c | 0x20) - 'a') < 6u;
}

// Where s stops matching the lower-case word, letters compared in any case.
const char* match(const char* s, const char* word) {
  while (*word != '\0' && (*s | 0x20) == *word) {
    ++s;
    ++word;
  }
  return s;
}

// Digits of a binary exponent after its mark; "p" alone is malformed.
Token<double> scan_binary_exponent(const char* mark) {
  const char* e = mark + 1;
  e += (*e == '+' || *e == '-');
  const char* const first = e;
  while (is_digit(*e)) ++e;
  return {e, e, e != first ? Status::kText : Status::kNotANumber};
}

}  // namespace

Token<double> scan_real_rare(const char* s) {
  if (s[0] == '0' && (s[1] | 0x20) == 'x') {
    const char* h = s + 2;
    const char* const first = h;
    while (is_hex_digit(*h)) ++h;
    bool digits = h != first;
    if (*h == '.') {
      const char* const fraction = ++h;
      while (is_hex_digit(*h)) ++h;
      digits = digits || h != fraction;
    }
    if (!digits) return {h, h, Status::kNotANumber};  // "0x" needs a hexadecimal digit
    return (*h | 0x20) == 'p' ? scan_binary_exponent(h) : Token<double>{h, h, Status::kText};
  }
  const char* m = match(s, "inf");
  if (m == s + 3) {
    // "infinity" is one token; "infin" is "inf" followed by text that is not a number.
    const char* const rest = match(m, "inity");
    return {rest == m + 5 ? rest : m, rest, Status::kText};
  }
  if (m == s) {
    m = match(s, "nan");
    if (m == s + 3) return {m, m, Status::kText};
  }
  return {m, m, Status::kNotANumber};
}

double to_double(const char* begin, const char* end) {
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

}  // namespace sample_input::scan
