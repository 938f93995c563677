// The scanners: pure functions from text to one number. Each reads the
// longest prefix of its text that forms a number of its kind, measures its
// digits in one step, hands them to the kind's converter, and says in one
// word how the scan ended. They need no file and no buffer of their own, only
// text that ends in a byte that cannot continue a number, followed by
// readable bytes they may load and ignore: the reader's sentinel and padding
// (sample_input.hpp says how many each scanner reads).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "sample_input/bytes.hpp"
#include "sample_input/bytes_avx2.hpp"
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
  kOutOfRange,    // an integer outside the 64-bit signed range
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

using bytes::whole_digits;

// The digits of a decimal at s: how many stand before the point, whether
// there is one, how many after it, and where they end. Digits and points are
// found as one run by one 16-byte load and one count, or two where they fill
// the first 16 bytes (repr and %.17g write 17 digits and more), so that the
// end of a number, where the next begins, waits on nothing more; past 32
// bytes the counts stop short.
struct Decimal {
  const char* end;
  int whole;
  int fraction;
  bool point;
};

NETFIGURES_INLINE Decimal measure_decimal(const char* s) {
  std::uint64_t digits = bytes::wide::digit_mask16(s);
  std::uint64_t points = bytes::wide::point_mask16(s);
  // The upper bits of ~(digits | points) are set, so the count stops at the bytes loaded.
  int length = __builtin_ctzll(~(digits | points));
  if (length >= 16) {  // 16 bytes of digits and points: the next 16 start by the sentinel
    digits |= std::uint64_t{bytes::wide::digit_mask16(s + 16)} << 16;
    points |= std::uint64_t{bytes::wide::point_mask16(s + 16)} << 16;
    length = __builtin_ctzll(~(digits | points));
  }
  std::uint64_t within = points & ((std::uint64_t{1} << length) - 1);
  const std::uint64_t second = within & (within - 1);
  if (second != 0) {  // a second point ends the number: "1.5.5" is 1.5, then .5
    length = __builtin_ctzll(second);
    within ^= second;  // the first point alone
  }
  const bool point = within != 0;
  const int whole = point ? __builtin_ctzll(within) : length;
  return {s + length, whole, point ? length - whole - 1 : 0, point};
}

// The mantissa of a decimal at s with whole digits, then a point and
// fraction digits if fraction is not 0; kMaxMantissaDigits in all at most.
// The first 16 bytes at once, in vector code where there is some; the
// digits past them eight at a time. Loads the 16 bytes at s, and 8 at each 8
// digits past them.
NETFIGURES_INLINE std::uint64_t decimal_digits(const char* s, int whole, int fraction) {
  if (whole + (fraction > 0) > 16) {  // digits before the point past the first 16 bytes: rare
    return whole_digits(s, whole) * convert::kPowersOfTen[fraction] +
           whole_digits(s + whole + (fraction > 0), fraction);
  }
  // The fraction digits the first 16 bytes hold, and those after.
  const int first = bytes::fraction_in_first16(whole, fraction);
  const int rest = fraction - first;
  const std::uint64_t value = bytes::wide::number16(s, whole, first);
  if (rest == 0) return value;
  return value * convert::kPowersOfTen[rest] + whole_digits(s + 16, rest);
}

// The value of more than kMaxMantissaDigits digits of the decimal d at s,
// where leading zeros make them fewer ("0.00123" to 19 digits after them);
// false where they do not. Out of line: rare, and its loops would crowd the
// scanners' common road.
__attribute__((noinline)) inline bool leading_zeros_significand(const char* s, Decimal d,
                                                                std::uint64_t& value) {
  for (int i = 0; i < d.whole; ++i) {
    if (s[i] != '0') return false;
  }
  const char* fraction = s + d.whole + 1;
  int length = d.fraction;
  for (; length > 0 && *fraction == '0'; --length) ++fraction;
  if (length > convert::kMaxMantissaDigits) return false;
  value = whole_digits(fraction, length);
  return true;
}

// The value of the digits of the decimal d at s, where it fits 64 bits.
NETFIGURES_INLINE bool significand(const char* s, const Decimal& d, std::uint64_t& value) {
  if (d.whole + d.fraction > convert::kMaxMantissaDigits) {
    return leading_zeros_significand(s, d, value);
  }
  value = decimal_digits(s, d.whole, d.fraction);
  return true;
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

// The rare reals, at s past the sign: hexadecimal constants, inf, infinity,
// nan, and text without digits, which is no number.
Token<double> scan_real_special(const char* s);

// A decimal of 32 characters or more at s (past its sign), for
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

// The longest prefix of p in the syntax of a C "%lf" conversion. Traces hold
// decimals such as 0.012345, 3.2e-05 or 0.09726430841378601: their digits
// are found by one or two 16-byte compares and converted eight at a time,
// and convert::decimal_to_double rounds their value once, as strtod would.
// What it cannot decide, and hexadecimal, inf and nan, are left to
// text_to_double.
NETFIGURES_INLINE Token<double> scan_real(const char* p) {
  const unsigned negative = is_minus(*p);
  const char* const s = p + is_sign(*p);
  const Decimal d = measure_decimal(s);
  if (d.whole + d.fraction == 0 || (s[0] == '0' && (s[1] | 0x20) == 'x')) {
    return scan_real_special(s);
  }
  if (d.end - s >= 32) return skip_long_decimal(s);  // the counts may stop short
  const char* end = d.end;
  int exponent = -d.fraction;
  if ((*end | 0x20) == 'e') {
    const Exponent e = scan_exponent(end);
    if (!e.ok) return {e.end, e.end, Status::kNotANumber};
    exponent += e.value;
    end = e.end;
  }
  std::uint64_t mantissa = 0;
  double value;
  // More digits than a double holds (as repr and %.17g write) go by the
  // table alone: the exact path's test would be a coin toss for them.
  const bool converted =
      significand(s, d, mantissa) &&
      (d.whole + d.fraction > convert::kMaxExactDigits
           ? convert::round_decimal(mantissa, exponent, negative != 0, value)
           : convert::decimal_to_double(mantissa, exponent, negative != 0, value));
  if (!converted) return {end, end, Status::kText};
  return {end, end, Status::kValue, value};
}

// The bytes of number below which scan_plain_decimal takes its shortest road.
inline constexpr int kShortDecimal = 16;

// The common form of a real in a trace: an optional minus, digits with a
// point perhaps, an exponent perhaps, at most kMaxMantissaDigits digits
// past any leading zeros, then white space. Most numbers of most traces are
// of this form, so this is scan_real with nothing else to tell apart: where
// it ends, or nullptr where the text is not of this form (or the number is
// one the converter cannot decide) and scan_real must read it. (No Token: a
// returned struct goes through memory, and reading it back stalls the loop
// on every number.) Loads what scan_real loads.
NETFIGURES_INLINE const char* scan_plain_decimal(const char* p, double& value) {
  const unsigned negative = is_minus(*p);
  const char* const s = p + negative;
  const Decimal d = measure_decimal(s);
  const char* end = d.end;
  // The commonest numbers of all (%f, %g): fewer than 16 bytes of digits and
  // a point, so at most kMaxExactDigits digits, and white space after them.
  // Their value is exact divided by a power of ten, which rounds it once.
  const auto length = static_cast<int>(end - s);
  static_assert(kShortDecimal - 1 <= convert::kMaxExactDigits);
  if (length < kShortDecimal && length > static_cast<int>(d.point) &&
      is_space(static_cast<unsigned char>(*end))) {
    value = static_cast<double>(bytes::wide::number16(s, d.whole, d.fraction)) /
            convert::signed_power_of_ten(d.fraction, negative != 0);
    return end;
  }
  int exponent = -d.fraction;
  if ((*end | 0x20) == 'e') {
    const Exponent e = scan_exponent(end);
    if (!e.ok) return nullptr;
    exponent += e.value;
    end = e.end;
  }
  const int digits = d.whole + d.fraction;
  // More than kMaxMantissaDigits digits are taken where leading zeros make
  // them fewer: repr writes 0.0012345678901234567, %.17g the same.
  std::uint64_t mantissa;
  if (!is_space(static_cast<unsigned char>(*end)) || digits == 0 || !significand(s, d, mantissa)) {
    return nullptr;
  }
  // More digits than a double holds go by the table alone, as in scan_real.
  const bool converted = digits > convert::kMaxExactDigits
                             ? convert::round_decimal(mantissa, exponent, negative != 0, value)
                             : convert::decimal_to_double(mantissa, exponent, negative != 0, value);
  return converted ? end : nullptr;
}

// The long decimals of repr and %.17g, such as 0.09726430841378601: a minus
// perhaps, then 16 to 31 bytes of digits with one point among the first 16,
// at most kMaxMantissaDigits digits past any leading zeros, then white
// space. A scanner of its own for a loop of its own: the first 16 bytes are
// found to be digits and a point by one compare, the end by one more, and the
// digits take a ladder of constant weights. Where it ends, or nullptr where
// the text is not of this form (or the converter cannot decide), and the
// other scanners must read it. Loads the 16 bytes at p and at p past its
// minus, and the 16 after them only where those were a minus, digits and a
// point.
NETFIGURES_INLINE const char* scan_long_decimal(const char* p, double& value) {
  // The bytes are classified from p, not from past the minus: the end of the
  // number, where the next begins, then waits on no other load.
  const unsigned negative = is_minus(*p);
  const unsigned points = bytes::wide::point_mask16(p);
  // A minus perhaps, then digits and one point (.5 is a number, as strtod
  // reads it). One point: one bit, which with the bits below it exceeds the
  // others.
  if ((bytes::wide::digit_mask16(p) | points | negative) != 0xFFFF ||
      (points ^ (points - 1)) <= points - 1) {
    return nullptr;
  }
  // Past the first 16 bytes, digits up to white space: a second point, an
  // exponent or any other byte is for the other scanners, and so is a
  // negative number of 15 bytes past its minus.
  const int end = 16 + __builtin_ctz(~bytes::wide::digit_mask16(p + 16));
  const char* const s = p + negative;
  const int length = end - static_cast<int>(negative);
  if (end >= 32 || length < 16 || !bytes::is_space_by_table(static_cast<unsigned char>(p[end]))) {
    return nullptr;
  }
  const int whole = __builtin_ctz(points) - static_cast<int>(negative);
  std::uint64_t mantissa;
  if (length - 1 <= convert::kMaxMantissaDigits) {
    mantissa = bytes::wide::long_number(s, whole, length);
  } else if (!leading_zeros_significand(s, {s + length, whole, length - 1 - whole, true},
                                        mantissa)) {
    return nullptr;
  }
  // Zero, and the few the one product leaves undecided, go to the other scanners.
  return mantissa != 0 &&
                 convert::round_decimal_quickly(mantissa, whole + 1 - length, negative != 0, value)
             ? p + end
             : nullptr;
}

// scan_long_decimal out of line, for the long decimals of other lengths in
// the loop compiled for AVX2: in line, they took registers from the common ones.
const char* scan_long_decimal_apart(const char* p, double& value);

#if NETFIGURES_SSE2
// scan_long_decimal for the copy of the long-decimal loop compiled for AVX2
// and the bit instructions of its processors, for numbers of 16 to 20 bytes
// past any minus (at most kMaxMantissaDigits digits, as repr and %.17g write
// them): one point found by popcnt, the digits by long_number_avx2, the
// double by convert::detail::nearest_long, whose power the place of the point
// picks: the reader takes 100 instructions a number of repr with it, 142
// with scan_long_decimal. The other lengths go to scan_long_decimal.
__attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt"))) NETFIGURES_INLINE const char*
scan_long_decimal_avx2(const char* p, double& value) {
  const unsigned negative = is_minus(*p);
  const unsigned points = bytes::wide::point_mask16(p);
  if ((bytes::wide::digit_mask16(p) | points | negative) != 0xFFFF ||
      __builtin_popcount(points) != 1) {
    return nullptr;
  }
  const int end = 16 + __builtin_ctz(~bytes::wide::digit_mask16(p + 16));
  const int length = end - static_cast<int>(negative);
  static_assert(convert::kMaxMantissaDigits == 19);
  if (static_cast<unsigned>(length - 16) > 4) return scan_long_decimal_apart(p, value);
  if (!bytes::is_space_by_table(static_cast<unsigned char>(p[end]))) return nullptr;
  // The tables are by the place of the point and the sign.
  const std::size_t form = 2 * static_cast<std::size_t>(__builtin_ctz(points)) + negative;
  const std::uint64_t digits = bytes::sse2::long_number_avx2(
      p, negative, form, 2 * static_cast<std::size_t>(length - 16) + negative);
  std::uint64_t bits;
  // Zero, and the few the one product leaves undecided, go to the other scanners.
  if (digits == 0 ||
      !convert::detail::nearest_long(digits, convert::detail::kLongPowers.power[form], bits)) {
    return nullptr;
  }
  std::memcpy(&value, &bits, sizeof value);
  return p + end;
}
#endif

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

// The common form of an integer: an optional minus and 1 to
// kMaxIntegerDigits digits in range, then white space: the form a layout is
// learnt from. Where it ends, or nullptr for scan_integer to take. Loads
// what measure_integer and whole_digits load.
NETFIGURES_INLINE const char* scan_plain_integer(const char* p, std::int64_t& value) {
  const IntegerText t = measure_integer(p);
  const auto length = static_cast<int>(t.end - t.digits);
  if (*p == '+' || length == 0 || length > convert::kMaxIntegerDigits ||
      !is_space(static_cast<unsigned char>(*t.end)) ||
      !convert::to_int64(whole_digits(t.digits, length), t.negative, value)) {
    return nullptr;
  }
  return t.end;
}

// An integer written as a real, at p: the integer its value is exactly, or
// kNotAnInteger (1448.5, 1e30). Out of line: rare, and slow where it is not.
Token<std::int64_t> scan_integral_real(const char* p);

// Optional sign and decimal digits, as a C "%lld" conversion reads them; or
// a decimal in a real's syntax whose value is an integer (1448.0, 1448.,
// 1.448000000000000000e+03, -0.0), as numpy and pandas write integers.
inline Token<std::int64_t> scan_integer(const char* p) {
  IntegerText t = measure_integer(p);
  // A point or an exponent after the digits, or a point in their place.
  if (*t.end == '.' || ((*t.end | 0x20) == 'e' && t.end != t.digits)) {
    return scan_integral_real(p);
  }
  if (t.end == t.digits) return {t.digits, t.digits, Status::kNotAnInteger};
  // Leading zeros do not count towards the range; they are rare.
  while (t.end - t.digits > convert::kMaxIntegerDigits && *t.digits == '0') ++t.digits;
  const auto length = static_cast<int>(t.end - t.digits);
  std::int64_t value;
  if (length > convert::kMaxIntegerDigits ||
      !convert::to_int64(whole_digits(t.digits, length), t.negative, value)) {
    // Out of range where the digits end as a number's may ("1-2" is two);
    // "99999999999999999999x" is malformed, as "9x" is.
    const auto after = static_cast<unsigned char>(*t.end);
    const bool ends = is_space(after) || is_sign(*t.end) || after == '\0';
    return {t.end, t.end, ends ? Status::kOutOfRange : Status::kNotAnInteger};
  }
  return {t.end, t.end, Status::kValue, value};
}

// The scanners by kind, for the reading loop.
NETFIGURES_INLINE const char* scan_plain(const char* p, double& value) {
  return scan_plain_decimal(p, value);
}
NETFIGURES_INLINE const char* scan_plain(const char* p, std::int64_t& value) {
  return scan_plain_integer(p, value);
}
NETFIGURES_INLINE Token<double> scan_next(const char* p, double) { return scan_real(p); }
NETFIGURES_INLINE Token<std::int64_t> scan_next(const char* p, std::int64_t) {
  return scan_integer(p);
}

}  // namespace sample_input::scan
