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

// inf, nan, hexadecimal and malformed reals: what the digit loops leave aside.
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
    if ((*h | 0x20) != 'p') return {h, h, Status::kText};
    const Exponent e = scan_exponent(h);  // "p" alone is malformed
    return {e.end, e.end, e.ok ? Status::kText : Status::kNotANumber};
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

}  // namespace

Token<double> scan_real_long(const char* p) {
  const bool negative = *p == '-';
  const char* s = p + (negative || *p == '+');
  const char* const first = s;
  std::uint64_t mantissa = 0;  // wraps past 19 digits; such numbers take to_double
  while (is_digit(*s)) mantissa = mantissa * 10 + static_cast<unsigned>(*s++ - '0');
  if (s == first + 1 && *first == '0' && (*s | 0x20) == 'x') return scan_real_rare(first);
  std::ptrdiff_t digits = s - first;
  int exponent = 0;
  if (*s == '.') {
    const char* const fraction = ++s;
    while (is_digit(*s)) mantissa = mantissa * 10 + static_cast<unsigned>(*s++ - '0');
    exponent = -static_cast<int>(s - fraction < 1000 ? s - fraction : 1000);
    digits += s - fraction;
  }
  if (digits == 0) {  // "." or "-.": no digits; "inf", "nan" or malformed
    return s != first ? Token<double>{s, s, Status::kNotANumber} : scan_real_rare(first);
  }
  if ((*s | 0x20) == 'e') {
    const Exponent e = scan_exponent(s);
    if (!e.ok) return {e.end, e.end, Status::kNotANumber};
    exponent += e.value;
    s = e.end;
  }
  if (digits > 19 || mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22) {
    return {s, s, Status::kText};
  }
  return {s, s, Status::kValue, exact(mantissa, exponent, negative)};
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
