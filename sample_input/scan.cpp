#include "sample_input/scan.hpp"

#if NETFIGURES_SSE2
namespace sample_input::bytes::sse2 {
const Through kPairWeights = {{0x01, 0x0A, 0x01, 0x0A, 0x01, 0x0A, 0x01, 0x0A, 0x01, 0x0A, 0x01,
                               0x0A, 0x01, 0x0A, 0x01, 0x0A}};
}  // namespace sample_input::bytes::sse2
#endif

namespace sample_input::scan {

namespace {

bool is_hex_digit(unsigned char c) {
  return bytes::is_digit(c) || static_cast<unsigned>((c | 0x20) - 'a') < 6u;
}

// Where s stops matching the lower-case word, letters compared in any case.
const char* match(const char* s, const char* word) {
  while (*word != '\0' && (*s | 0x20) == *word) {
    ++s;
    ++word;
  }
  return s;
}

}  // namespace

Token<double> scan_real_special(const char* s) {
  if (*s == '.') return {s + 1, s + 1, Status::kNotANumber};  // "." or "-.": a point, no digit
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
    if (m == s + 3) {
      // "nan(chars)", letters, digits and underscores in brackets, is one
      // token, as strtod reads it; "nan(" unclosed is "nan" and then text.
      if (*m != '(') return {m, m, Status::kText};
      const char* c = m + 1;
      while (bytes::is_digit(*c) || static_cast<unsigned>((*c | 0x20) - 'a') < 26u || *c == '_') {
        ++c;
      }
      return *c == ')' ? Token<double>{c + 1, c + 1, Status::kText}
                       : Token<double>{m, c, Status::kText};
    }
  }
  return {m, m, Status::kNotANumber};
}

const char* scan_long_decimal_apart(const char* p, double& value) {
  return scan_long_decimal(p, value);
}

Token<std::int64_t> scan_integral_real(const char* p) {
  const Token<double> real = scan_real(p);
  std::int64_t value = 0;
  if (real.status == Status::kNotANumber || !convert::decimal_to_int64(p, real.end, value)) {
    return {real.end, real.seen, Status::kNotAnInteger};
  }
  return {real.end, real.seen, Status::kValue, value};
}

}  // namespace sample_input::scan
