// The scanners: pure functions from text to one number. Each reads the
// longest prefix of its text that forms a number and says in one word how
// the scan ended. They need no file and no buffer of their own, only text
// that ends in a character that cannot continue a number (the reader's NUL
// sentinel) and eight readable bytes past any digit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sample_input {

// A number may be this long and still read exactly; a longer one fails the run
// at its line rather than yield a value cut short.
inline constexpr std::size_t kMaxNumberLength = std::size_t{64} * 1024;

namespace scan {

// How a scan ended, in the manner of std::from_chars_result's error code.
enum class Status : std::uint8_t {
  kValue,         // value holds the number
  kText,          // a real whose value to_double must take from its text
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

inline bool is_space(unsigned char c) { return c == ' ' || static_cast<unsigned>(c - '\t') < 5u; }
inline bool is_digit(unsigned char c) { return static_cast<unsigned>(c - '0') < 10u; }

// Eight bytes at s, least significant first, as they lie in memory.
inline std::uint64_t load8(const char* s) {
  std::uint64_t word;
  std::memcpy(&word, s, sizeof word);
  if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) word = __builtin_bswap64(word);
  return word;
}

// How many of the eight bytes of word ('0' already subtracted from each) are
// decimal digits before the first that is not; 8 when all are.
inline int digit_run_length(std::uint64_t digits) {
  // A byte b is a digit when b - '0' < 10: its subtraction did not borrow
  // (high bit clear) and adding 0x76 = 0x80 - 10 does not reach the high bit.
  const std::uint64_t not_digits = (digits | (digits + 0x7676767676767676u)) & 0x8080808080808080u;
  return not_digits == 0 ? 8 : __builtin_ctzll(not_digits) / 8;
}

// The value of the first length (1 to 7) digits of word ('0' already
// subtracted), the first byte the most significant digit.
inline std::uint32_t digits_value(std::uint64_t digits, int length) {
  // Bytes past the run fall out at the top; zeros come in as leading digits.
  std::uint64_t v = digits << (64 - 8 * length);
  v = v * 10 + (v >> 8);  // each byte pair now holds a two-digit number in its upper byte
  // Pairs of two-digit numbers combine into four-digit ones: the high pair of
  // each 32-bit half is weighted by 100, and the halves by 10^4 and 10^6.
  return static_cast<std::uint32_t>(
      (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
      32);
}

// Powers of ten that a double holds exactly.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// inf, nan, hexadecimal and malformed reals: what scan_real leaves aside.
Token<double> scan_real_rare(const char* s);

// The value of a token that scan_real left as kText, rounded as strtod rounds it.
double to_double(const char* begin, const char* end);

// The longest prefix of p in the syntax of a C "%lf" conversion. Most sample
// files hold short decimals such as 0.012345: their digits fit 53 bits and
// their power of ten is exact, so one multiplication or division, rounded
// once, gives the correctly rounded value that strtod would. Anything else is
// left to to_double.
inline Token<double> scan_real(const char* p) {
  const bool negative = *p == '-';
  const char* s = p + (negative || *p == '+');
  const char* const first = s;
  std::uint64_t mantissa = 0;  // wraps past 19 digits; such numbers take the slow path
  // Plain loops: with the fixed number of decimals traces are written with
  // they predict well, and measured faster here than the eight-byte step.
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
    const char* e = s + 1;
    const bool down = *e == '-';
    e += (down || *e == '+');
    const char* const exponent_digits = e;
    int written = 0;
    while (is_digit(*e)) {
      if (written < 100000) written = written * 10 + (*e - '0');
      ++e;
    }
    // "1e", "1e+": an exponent mark needs digits
    if (e == exponent_digits) return {e, e, Status::kNotANumber};
    exponent += down ? -written : written;
    s = e;
  }
  if (digits > 19 || mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22) {
    return {s, s, Status::kText};
  }
  const auto m = static_cast<double>(mantissa);
  const double magnitude =
      exponent < 0 ? m / kExactPowersOfTen[-exponent] : m * kExactPowersOfTen[exponent];
  return {s, s, Status::kValue, negative ? -magnitude : magnitude};
}

// Optional sign and decimal digits, as a C "%d" conversion reads them.
inline Token<std::int32_t> scan_integer(const char* p) {
  const bool negative = *p == '-';
  const char* s = p + (negative || *p == '+');
  // Seven digits or fewer, the common case, convert at once: no loop whose
  // exit depends on the length of each number.
  const std::uint64_t digits = load8(s) - 0x3030303030303030u;
  const int length = digit_run_length(digits);
  if (length == 0) return {s, s, Status::kNotAnInteger};
  if (length < 8) {  // at most seven digits: in range
    const auto value = static_cast<std::int32_t>(digits_value(digits, length));
    return {s + length, s + length, Status::kValue, negative ? -value : value};
  }
  std::uint64_t magnitude = 0;
  while (is_digit(*s)) {
    // Past 2^32 the value is out of range whatever follows; stop growing so it cannot wrap.
    if (magnitude <= 0xFFFFFFFFu) magnitude = magnitude * 10 + static_cast<unsigned>(*s - '0');
    ++s;
  }
  if (magnitude > 0x7FFFFFFFu + std::uint64_t{negative}) return {s, s, Status::kOutOfRange};
  const auto value = static_cast<std::int64_t>(magnitude);
  return {s, s, Status::kValue, static_cast<std::int32_t>(negative ? -value : value)};
}

inline Token<double> scan_next(const char* p, double) { return scan_real(p); }
inline Token<std::int32_t> scan_next(const char* p, std::int32_t) { return scan_integer(p); }

}  // namespace scan

}  // namespace sample_input
