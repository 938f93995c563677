// The scanners: pure functions from text to one number. Each reads the
// longest prefix of its text that forms a number of its kind, measures its
// digits in one step, hands them to the kind's converter, and says in one
// word how the scan ended. They need no file and no buffer of their own, only
// text that ends in a byte that cannot continue a number, followed by
// readable bytes they may load and ignore: the reader's sentinel and padding
// (sample_input.hpp says how many each scanner reads).
#pragma once

#include <cstdint>

#include "sample_input/bytes.hpp"
#include "sample_input/convert.hpp"

namespace sample_input::scan {

using bytes::is_minus;
using bytes::is_sign;
using bytes::is_space;

// How a scan ended, in the manner of std::from_chars_result's error code.
enum class Status : std::uint8_t {
  kValue,         // value holds the number
  kText,          // a real whose value convert::text_to_double must take from its text
  kNotANumber,    // the text does not begin a real number
  kNotAnInteger,  // the text does not begin an integer
  kOutOfRange,    // an integer outside the 32-bit signed range
};

template <class T>
struct Token {
  const char* end;   // one past the token's last character
  const char* seen;  // the character that ended the scan (past `end` after a lookahead)
  Status status;
  T value = 0;
};

// Digits.

// Where the run of decimal digits at s ends. Loads 16 bytes at a time.
NETFIGURES_INLINE const char* skip_digits(const char* s) {
  for (;;) {
    const unsigned digits = bytes::wide::digit_mask16(s);
    if (digits != 0xFFFF) return s + __builtin_ctz(~digits);
    s += 16;
  }
}

// The value of the n (0 to 16) digits at s. Reads the 16 bytes at s.
NETFIGURES_INLINE std::uint64_t whole_digits(const char* s, int n) {
  if (n <= 8) return bytes::digits_value(s, n);
  return bytes::digits_value(s, 8) * convert::kPowersOfTen[n - 8] +
         bytes::digits_value(s + 8, n - 8);
}

// The digits of a decimal at s, found by one 16-byte compare: how many stand
// before the point, whether there is one, how many after it, and where they
// end. The counts stop at the 16th byte, where the digits may go on.
struct Decimal {
  const char* end;
  int whole;
  int fraction;
  bool point;
};

NETFIGURES_INLINE Decimal measure_decimal(const char* s) {
  const unsigned digits = bytes::wide::digit_mask16(s);
  const int whole = __builtin_ctz(~digits);  // 16 at most: the upper bits of ~digits are set
  const bool point = s[whole] == '.';
  const int fraction = point ? __builtin_ctz(~digits >> (whole + 1)) : 0;
  return {s + whole + point + fraction, whole, fraction, point};
}

// The mantissa of a decimal at s with whole digits, then a point and
// fraction digits if fraction is not 0; kMaxExactDigits in all at most.
// Reads the 32 bytes at s.
NETFIGURES_INLINE std::uint64_t decimal_digits(const char* s, int whole, int fraction) {
  return whole_digits(s, whole) * convert::kPowersOfTen[fraction] +
         whole_digits(s + whole + 1, fraction);
}

// The exponent after its mark ('e' or 'E'; 'p' in hexadecimal): where its
// digits end and its value, capped where any exponent is out of range anyway.
// Without digits ("1e", "1e+") it is no exponent: not ok, and end is where
// the scan stopped.
struct Exponent {
  const char* end;
  int value;
  bool ok;
};

NETFIGURES_INLINE Exponent scan_exponent(const char* mark) {
  const char* e = mark + 1;
  const bool down = *e == '-';
  e += (down || *e == '+');
  const char* const digits = e;
  int written = 0;
  while (bytes::is_digit(*e)) {
    if (written < 100000) written = written * 10 + (*e - '0');
    ++e;
  }
  return {e, down ? -written : written, e != digits};
}

// Reals.

// The common form of a trace, written by printf: an optional minus, digits,
// and a point with at least one digit after it or none, kMaxExactDigits in
// all, then white space: the form a layout is learnt from. Returns where the
// number ends, or nullptr where the text is not of this form and scan_real
// must read it. (No Token: a returned struct goes through memory, and
// reading it back stalls the loop on every number.) Reads the 32 bytes past
// its minus.
NETFIGURES_INLINE const char* scan_plain_decimal(const char* p, double& value) {
  const unsigned negative = is_minus(*p);
  const Decimal d = measure_decimal(p + negative);
  if (d.whole == 0 || (d.point && d.fraction == 0) ||
      d.whole + d.fraction > convert::kMaxExactDigits ||
      !is_space(static_cast<unsigned char>(*d.end))) {
    return nullptr;
  }
  const double magnitude = static_cast<double>(decimal_digits(p + negative, d.whole, d.fraction)) /
                           convert::kExactPowersOfTen[d.fraction];
  value = negative ? -magnitude : magnitude;
  return d.end;
}

// The rare reals, at s past the sign: hexadecimal constants, inf, infinity,
// nan, and text without digits, which is no number.
Token<double> scan_real_special(const char* s);

// A decimal of more than 16 characters at s (past its sign), for
// text_to_double to convert: where it ends.
NETFIGURES_INLINE Token<double> skip_long_decimal(const char* s) {
  s = skip_digits(s);
  if (*s == '.') s = skip_digits(s + 1);
  if ((*s | 0x20) == 'e') {
    const Exponent e = scan_exponent(s);
    if (!e.ok) return {e.end, e.end, Status::kNotANumber};
    s = e.end;
  }
  return {s, s, Status::kText};
}

// The longest prefix of p in the syntax of a C "%lf" conversion. Most sample
// files hold decimals such as 0.012345 or 3.2e-05: their digits, found by one
// 16-byte compare and converted eight at a time, fit 53 bits, and their power
// of ten is exact, so convert::decimal_to_double rounds them once, as strtod
// would.
// Anything else is left to text_to_double.
NETFIGURES_INLINE Token<double> scan_real(const char* p) {
  const unsigned negative = is_minus(*p);
  const char* const s = p + is_sign(*p);
  const Decimal d = measure_decimal(s);
  if (d.whole + d.fraction == 0 || (s[0] == '0' && (s[1] | 0x20) == 'x')) {
    return scan_real_special(s);
  }
  // The digits may go on past the 16 bytes measured, and need not fit 53 bits.
  if (d.whole + d.fraction > convert::kMaxExactDigits || d.end - s >= 16) {
    return skip_long_decimal(s);
  }
  const char* end = d.end;
  int exponent = -d.fraction;
  if ((*end | 0x20) == 'e') {
    const Exponent e = scan_exponent(end);
    if (!e.ok) return {e.end, e.end, Status::kNotANumber};
    exponent += e.value;
    end = e.end;
  }
  double value;
  if (!convert::decimal_to_double(decimal_digits(s, d.whole, d.fraction), exponent, negative != 0,
                                  value)) {
    return {end, end, Status::kText};
  }
  return {end, end, Status::kValue, value};
}

// Integers.

// The digits of an integer at p: an optional sign, then [digits, end).
struct IntegerText {
  const char* digits;
  const char* end;
  bool negative;
};

NETFIGURES_INLINE IntegerText measure_integer(const char* p) {
  const char* const digits = p + is_sign(*p);
  return {digits, skip_digits(digits), is_minus(*p) != 0};
}

// An integer of this many digits is always in the 32-bit range.
inline constexpr int kMaxPlainDigits = 9;
static_assert(convert::kPowersOfTen[kMaxPlainDigits] <= 0x7FFFFFFF);

// The common form of an integer: an optional minus and 1 to kMaxPlainDigits
// digits, then white space: the form a layout is learnt from. Where it ends,
// or nullptr for scan_integer to take. Reads the 16 bytes past its minus.
NETFIGURES_INLINE const char* scan_plain_integer(const char* p, std::int32_t& value) {
  const IntegerText t = measure_integer(p);
  const auto length = static_cast<int>(t.end - t.digits);
  if (*p == '+' || length == 0 || length > kMaxPlainDigits ||
      !is_space(static_cast<unsigned char>(*t.end))) {
    return nullptr;
  }
  const auto magnitude = static_cast<std::int32_t>(whole_digits(t.digits, length));
  value = t.negative ? -magnitude : magnitude;
  return t.end;
}

// Optional sign and decimal digits, as a C "%d" conversion reads them.
inline Token<std::int32_t> scan_integer(const char* p) {
  IntegerText t = measure_integer(p);
  if (t.end == t.digits) return {t.digits, t.digits, Status::kNotAnInteger};
  // Leading zeros do not count towards the range; they are rare.
  while (t.end - t.digits > convert::kMaxIntegerDigits && *t.digits == '0') ++t.digits;
  const auto length = static_cast<int>(t.end - t.digits);
  std::int32_t value;
  if (length > convert::kMaxIntegerDigits ||
      !convert::to_int32(whole_digits(t.digits, length), t.negative, value)) {
    return {t.end, t.end, Status::kOutOfRange};
  }
  return {t.end, t.end, Status::kValue, value};
}

// The scanners by kind, for the reading loop.
inline const char* scan_plain(const char* p, double& value) { return scan_plain_decimal(p, value); }
inline const char* scan_plain(const char* p, std::int32_t& value) {
  return scan_plain_integer(p, value);
}
inline Token<double> scan_next(const char* p, double) { return scan_real(p); }
inline Token<std::int32_t> scan_next(const char* p, std::int32_t) { return scan_integer(p); }

}  // namespace sample_input::scan
