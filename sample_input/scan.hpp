// The scanners: pure functions from text to one number. Each reads the
// longest prefix of its text that forms a number and says in one word how
// the scan ended. They need no file and no buffer of their own, only text
// that ends in a character that cannot continue a number (the reader's NUL
// sentinel) followed by kPadding readable bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The vector path: SSE2 is part of every x86-64. NETFIGURES_SCALAR builds the
// portable path on any machine, so that both are tested.
#if defined(__SSE2__) && !defined(NETFIGURES_SCALAR)
#define NETFIGURES_SSE2 1
#include <emmintrin.h>
#endif

// The hot path in line even where the compiler thinks the reading loop large.
#define NETFIGURES_INLINE inline __attribute__((always_inline))

namespace sample_input {

// A number may be this long and still read exactly; a longer one fails the run
// at its line rather than yield a value cut short.
inline constexpr std::size_t kMaxNumberLength = std::size_t{64} * 1024;

namespace scan {

// Bytes past the end of the text that the scanners may load (and ignore).
inline constexpr std::size_t kPadding = 32;

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

// 1 for a minus sign, 0 for any other byte, by arithmetic alone. A compare
// would set only the low byte of a register, and its upper bytes would then
// wait for whatever last wrote that register: on x86, often the value of the
// number before, which would chain every number to the one before it.
NETFIGURES_INLINE unsigned is_minus(char c) {
  return ((static_cast<unsigned char>(c) ^ unsigned{'-'}) - 1) >> 31;
}

NETFIGURES_INLINE unsigned is_sign(char c) {
  return is_minus(c) | ((static_cast<unsigned char>(c) ^ unsigned{'+'}) - 1) >> 31;
}

// Eight bytes at s, least significant first, as they lie in memory.
NETFIGURES_INLINE std::uint64_t load8(const char* s) {
  std::uint64_t word;
  std::memcpy(&word, s, sizeof word);
  if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) word = __builtin_bswap64(word);
  return word;
}

// How many of the eight bytes of word ('0' already subtracted from each) are
// decimal digits before the first that is not; 8 when all are.
NETFIGURES_INLINE int digit_run_length(std::uint64_t digits) {
  // A byte b is a digit when b - '0' < 10: its subtraction did not borrow
  // (high bit clear) and adding 0x76 = 0x80 - 10 does not reach the high bit.
  const std::uint64_t not_digits = (digits | (digits + 0x7676767676767676u)) & 0x8080808080808080u;
  return not_digits == 0 ? 8 : __builtin_ctzll(not_digits) / 8;
}

// The value of eight decimal digits, one a byte ('0' already subtracted),
// the first byte the most significant digit.
NETFIGURES_INLINE std::uint32_t eight_digits_value(std::uint64_t v) {
  v = v * 10 + (v >> 8);  // each byte pair now holds a two-digit number in its upper byte
  // Pairs of two-digit numbers combine into four-digit ones: the high pair of
  // each 32-bit half is weighted by 100, and the halves by 10^4 and 10^6.
  return static_cast<std::uint32_t>(
      (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
      32);
}

// The value of the first length (1 to 8) digits of word ('0' already
// subtracted), the first byte the most significant digit.
NETFIGURES_INLINE std::uint32_t digits_value(std::uint64_t digits, int length) {
  // Bytes past the run fall out at the top; zeros come in as leading digits.
  return eight_digits_value(digits << (64 - 8 * length));
}

// One bit per byte of word: bit k set when byte k has its high bit set.
NETFIGURES_INLINE unsigned high_bits(std::uint64_t word) {
  // Each high bit, moved to the bottom of its byte, is multiplied up to bit
  // 56 + k: 0x0102040810204080 holds 2^(56 - 7k) for every k, and the other
  // products land below bit 56 or past bit 63 without carrying into the top byte.
  return static_cast<unsigned>((((word & 0x8080808080808080u) >> 7) * 0x0102040810204080u) >> 56);
}

// 0x80 in each byte of word that lies in [lo, hi] (hi below 0x80), 0 in the
// others. Unlike a plain subtraction, no byte borrows from its neighbour.
NETFIGURES_INLINE std::uint64_t bytes_in_range(std::uint64_t word, unsigned lo, unsigned hi) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  const std::uint64_t low7 = word & (0x7F * kOnes);           // below 0x80: sums stay in the byte
  const std::uint64_t at_least = low7 + (0x80 - lo) * kOnes;  // high bit: low7 >= lo
  const std::uint64_t at_most = (0x80 + hi) * kOnes - low7;   // high bit: low7 <= hi
  return at_least & at_most & ~word & (0x80 * kOnes);         // and the byte itself below 0x80
}

inline std::uint64_t space_bytes(std::uint64_t word) {
  return bytes_in_range(word, '\t', '\r') | bytes_in_range(word, ' ', ' ');
}

// Bit k set when s[k] is a decimal digit, for the 16 bytes at s.
NETFIGURES_INLINE unsigned digit_mask16(const char* s) {
#ifdef NETFIGURES_SSE2
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  // Signed compares: bytes from 0x80 up are negative and fail the first.
  const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                       _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
  return static_cast<unsigned>(_mm_movemask_epi8(digits));
#else
  return high_bits(bytes_in_range(load8(s), '0', '9')) |
         high_bits(bytes_in_range(load8(s + 8), '0', '9')) << 8;
#endif
}

// The 64 bytes at p as bit masks, bit k for p[k].
struct Classes {
  std::uint64_t digits;
  std::uint64_t spaces;
  std::uint64_t newlines;
  std::uint64_t minuses;
};

NETFIGURES_INLINE Classes classify64(const char* p) {
  Classes c{0, 0, 0, 0};
#ifdef NETFIGURES_SSE2
  for (std::ptrdiff_t i = 0; i < 4; ++i) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8('0' - 1)),
                                        _mm_cmplt_epi8(b, _mm_set1_epi8('9' + 1)));
    const __m128i newline = _mm_cmpeq_epi8(b, _mm_set1_epi8('\n'));
    const __m128i minus = _mm_cmpeq_epi8(b, _mm_set1_epi8('-'));
    const __m128i space = _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8(' ')),
                                       _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8('\t' - 1)),
                                                     _mm_cmplt_epi8(b, _mm_set1_epi8('\r' + 1))));
    c.digits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(digit))} << 16 * i;
    c.spaces |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(space))} << 16 * i;
    c.newlines |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(newline))} << 16 * i;
    c.minuses |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(minus))} << 16 * i;
  }
#else
  for (std::ptrdiff_t i = 0; i < 8; ++i) {
    const std::uint64_t word = load8(p + 8 * i);
    c.digits |= std::uint64_t{high_bits(bytes_in_range(word, '0', '9'))} << 8 * i;
    c.spaces |= std::uint64_t{high_bits(space_bytes(word))} << 8 * i;
    c.newlines |= std::uint64_t{high_bits(bytes_in_range(word, '\n', '\n'))} << 8 * i;
    c.minuses |= std::uint64_t{high_bits(bytes_in_range(word, '-', '-'))} << 8 * i;
  }
#endif
  return c;
}

// Powers of ten that a double holds exactly.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr std::uint64_t kPowersOfTen[] = {1,
                                                 10,
                                                 100,
                                                 1000,
                                                 10000,
                                                 100000,
                                                 1000000,
                                                 10000000,
                                                 100000000,
                                                 1000000000,
                                                 10000000000,
                                                 100000000000,
                                                 1000000000000,
                                                 10000000000000,
                                                 100000000000000,
                                                 1000000000000000};

// The value of the k (0 to 8) decimal digits at s, with no branch on k: a
// number's length may change from one line to the next.
NETFIGURES_INLINE std::uint64_t digits_up_to_8(const char* s, int k) {
  const int shift = 32 - 4 * k;  // twice: a shift by 64 would be undefined
  return eight_digits_value(((load8(s) - 0x3030303030303030u) << shift) << shift);
}

// The mantissa of a decimal at s with whole digits, then a point and fraction
// digits if fraction is not 0: 15 digits at most, so exact in a double.
NETFIGURES_INLINE std::uint64_t decimal_digits(const char* s, int whole, int fraction) {
  const std::uint64_t integral = whole <= 8 ? digits_up_to_8(s, whole)
                                            : digits_up_to_8(s, 8) * kPowersOfTen[whole - 8] +
                                                  digits_up_to_8(s + 8, whole - 8);
  const char* const f = s + whole + 1;
  const int first = fraction < 8 ? fraction : 8;
  return integral * kPowersOfTen[fraction] +
         digits_up_to_8(f, first) * kPowersOfTen[fraction - first] +
         digits_up_to_8(f + 8, fraction - first);
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
  const unsigned digits = digit_mask16(s);
  const int whole = __builtin_ctz(~digits);  // 16 at most: the upper bits of ~digits are set
  const bool point = s[whole] == '.';
  const int fraction = point ? __builtin_ctz(~digits >> (whole + 1)) : 0;
  return {s + whole + point + fraction, whole, fraction, point};
}

// The common form of a trace, written by printf: an optional minus, digits,
// and a point with at least one digit after it or none, 15 digits in all,
// then white space. Its digits are found by one 16-byte compare and converted
// eight at a time, with no loop over the characters; its value is exact, as
// in scan_real. Returns where the number ends, or nullptr where the text is
// not of this form and scan_real must read it. (No Token: a returned struct
// goes through memory, and reading it back stalls the loop on every number.)
NETFIGURES_INLINE const char* scan_plain_decimal(const char* p, double& value) {
  const unsigned negative = is_minus(*p);
  const Decimal d = measure_decimal(p + negative);
  if (d.whole == 0 || (d.point && d.fraction == 0) || d.whole + d.fraction > 15 ||
      !is_space(static_cast<unsigned char>(*d.end))) {
    return nullptr;
  }
  const double magnitude = static_cast<double>(decimal_digits(p + negative, d.whole, d.fraction)) /
                           kExactPowersOfTen[d.fraction];
  value = negative ? -magnitude : magnitude;
  return d.end;
}

// The exponent after its mark ('e' or 'E'; 'p' in hexadecimal): where its digits end and
// its value, capped where any exponent is out of range anyway. Without
// digits ("1e", "1e+") it is no exponent: not ok, and end is where the scan
// stopped.
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
  while (is_digit(*e)) {
    if (written < 100000) written = written * 10 + (*e - '0');
    ++e;
  }
  return {e, down ? -written : written, e != digits};
}

// mantissa times 10 to the exponent, for a mantissa of 53 bits at most and an
// exponent of at most 22 either way: both are exact in a double, so the one
// rounding of the product or quotient gives the correctly rounded value.
NETFIGURES_INLINE double exact(std::uint64_t mantissa, int exponent, bool negative) {
  const auto m = static_cast<double>(mantissa);
  const double magnitude =
      exponent < 0 ? m / kExactPowersOfTen[-exponent] : m * kExactPowersOfTen[exponent];
  return negative ? -magnitude : magnitude;
}

// The value of a token that scan_real left as kText, rounded as strtod rounds it.
double to_double(const char* begin, const char* end);

// scan_real for what it does not convert itself: more than 15 digits,
// hexadecimal, inf, nan and malformed text; digit by digit.
Token<double> scan_real_long(const char* p);

// Where the run of decimal digits at s ends.
NETFIGURES_INLINE const char* skip_digits(const char* s) {
  for (;;) {
    const unsigned digits = digit_mask16(s);
    if (digits != 0xFFFF) return s + __builtin_ctz(~digits);
    s += 16;
  }
}

// A decimal of more than 15 digits at s (past its sign), for to_double to
// convert: where it ends.
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
// of ten is exact, so one multiplication or division, rounded once, gives the
// correctly rounded value that strtod would. Anything else is left to
// scan_real_long and to_double.
NETFIGURES_INLINE Token<double> scan_real(const char* p) {
  const unsigned negative = is_minus(*p);
  const char* const s = p + (negative || *p == '+');
  const Decimal d = measure_decimal(s);
  const int whole = d.whole;
  const int fraction = d.fraction;
  const char* end = d.end;
  // No digit, or an 'x' that may make a hexadecimal constant of "0".
  if (whole + fraction == 0 || (*end | 0x20) == 'x') return scan_real_long(p);
  // More than 15 digits, which may not fit 53 bits: to_double converts them.
  if (whole + fraction > 15 || end - s >= 16) return skip_long_decimal(s);
  const std::uint64_t mantissa = decimal_digits(s, whole, fraction);
  int exponent = -fraction;
  if ((*end | 0x20) == 'e') {
    const Exponent e = scan_exponent(end);
    if (!e.ok) return {e.end, e.end, Status::kNotANumber};
    exponent += e.value;
    end = e.end;
  }
  if (exponent < -22 || exponent > 22) return {end, end, Status::kText};
  return {end, end, Status::kValue, exact(mantissa, exponent, negative != 0)};
}

// Optional sign and decimal digits, as a C "%d" conversion reads them.
inline Token<std::int32_t> scan_integer(const char* p) {
  const unsigned negative = is_minus(*p);
  const char* s = p + is_sign(*p);
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

// The common form of an integer: an optional minus and 1 to 7 digits, then
// white space; where it ends, or nullptr for scan_integer to take.
NETFIGURES_INLINE const char* scan_plain_integer(const char* p, std::int32_t& value) {
  const unsigned negative = is_minus(*p);
  const char* const s = p + negative;
  const std::uint64_t digits = load8(s) - 0x3030303030303030u;
  const int length = digit_run_length(digits);
  if (length == 0 || length == 8 || !is_space(static_cast<unsigned char>(s[length]))) {
    return nullptr;
  }
  const auto magnitude = static_cast<std::int32_t>(digits_value(digits, length));
  value = negative ? -magnitude : magnitude;
  return s + length;
}

// Bit k set when s[k] equals t[k], for the 16 bytes at s and t.
NETFIGURES_INLINE unsigned equal_mask16(const char* s, const char* t) {
#ifdef NETFIGURES_SSE2
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
#else
  return high_bits(bytes_in_range(load8(s) ^ load8(t), 0, 0)) |
         high_bits(bytes_in_range(load8(s + 8) ^ load8(t + 8), 0, 0)) << 8;
#endif
}

// The layout of the last plain number and the white space after it, such as
// "0.734215\n": traces are written by programs in one format, so the next
// number most likely has the same layout. matches() checks that with one
// 16-byte compare, and the reader then steps by a constant length: no number
// waits for the one before it to be measured. Any other text fails the check
// and goes to the scanners, which are always right.
class Shape {
 public:
  // Learns the layout of the plain number [p, end) found by scan_plain and the
  // white space after it, leaving its minus sign aside: a minus is told by
  // itself, so that a few negative numbers do not change the layout. False
  // (and nothing learnt) when number and white space are 16 bytes or more.
  bool learn(const char* p, const char* end) {
    p += is_minus(*p);
    const char* stop = end;
    while (stop - p < 16 && is_space(static_cast<unsigned char>(*stop))) ++stop;
    if (stop - p >= 16) return false;
    length_ = static_cast<int>(stop - p);
    newlines_ = static_cast<int>(std::count(end, stop, '\n'));
    char layout[16];
    std::memcpy(layout, p, sizeof layout);  // whole: the padding makes 16 bytes readable
    const unsigned digits = digit_mask16(layout) & ((1u << length_) - 1);
    whole_ = __builtin_ctz(~digits);
    fraction_ = __builtin_popcount(digits) - whole_;
    divisor_ = kExactPowersOfTen[fraction_];
#ifdef NETFIGURES_SSE2
    unsigned char flip[16];
    unsigned char limit[16];
    for (int i = 0; i < 16; ++i) {
      const bool digit = (digits >> i & 1) != 0;
      flip[i] = i >= length_ ? 0 : digit ? '0' : static_cast<unsigned char>(layout[i]);
      limit[i] = i >= length_ ? 0xFF : digit ? 9 : 0;
    }
    flip_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(flip));
    limit_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(limit));
    learn_weights(digits);
#else
    std::memcpy(layout_, layout, sizeof layout_);
    digits_ = digits;
    others_ = ~digits & ((1u << length_) - 1);
#endif
    return true;
  }

  // Whether the text at p, past a minus sign, is a number of this layout
  // with the same white space after it. Bytes past the end of the text are
  // never taken for it: the sentinel and the padding are NUL, which no
  // layout holds.
  NETFIGURES_INLINE bool matches(const char* p) const {
#ifdef NETFIGURES_SSE2
    // Flipped, a digit of the layout becomes 0 to 9 and any other byte of it
    // 0 where it is the same: then no byte exceeds its limit.
    const __m128i flipped =
        _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), flip_);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(flipped, limit_), limit_)) == 0xFFFF;
#else
    return ((digit_mask16(p) & digits_) | (equal_mask16(p, layout_) & others_)) ==
           (digits_ | others_);
#endif
  }

  int length() const { return length_; }
  int newlines() const { return newlines_; }

  // The value of the number at p, past its minus sign if negative, which
  // matches(): exact, as scan_plain's.
  NETFIGURES_INLINE void value(const char* p, bool negative, std::int32_t& out) const {
    const auto magnitude = static_cast<std::int32_t>(mantissa(p));  // 7 digits at most
    out = negative ? -magnitude : magnitude;
  }

  NETFIGURES_INLINE void value(const char* p, bool negative, double& out) const {
    const double magnitude = static_cast<double>(mantissa(p)) / divisor_;
    out = negative ? -magnitude : magnitude;
  }

 private:
#ifdef NETFIGURES_SSE2
  // The value of the digits of the number at p, by a ladder of multiply-adds
  // over the 16 bytes: digits to pairs, pairs to fours, fours to eights. The
  // weights of each rung are powers of ten that this layout fixes, so the
  // point and the white space weigh 0 and the digits need not be moved.
  NETFIGURES_INLINE std::uint64_t mantissa(const char* p) const {
    const __m128i bytes =
        _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8('0'));
    const __m128i zero = _mm_setzero_si128();
    const __m128i pairs =
        _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), pair_weights_[0]),
                        _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), pair_weights_[1]));
    const __m128i fours = _mm_madd_epi16(pairs, four_weights_);
    const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), eight_weights_);
    const auto low = static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights));
    const auto high = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
    return low * eight_scale_[0] + high * eight_scale_[1];
  }

  // The weights of the ladder for a layout with digits where digits says.
  void learn_weights(unsigned digits) {
    // The power of ten of each digit in the number, -1 where there is none.
    int power[16];
    for (int i = 0, after = __builtin_popcount(digits); i < 16; ++i) {
      power[i] = (digits >> i & 1) != 0 ? --after : -1;
    }
    // Each rung combines pairs of the last: a pair's value counts in units
    // of the smallest power in it, and each member is weighted accordingly.
    std::int16_t weights[3][16] = {};
    for (int rung = 0, count = 16; rung < 3; ++rung, count /= 2) {
      for (int i = 0; i < count; i += 2) {
        const int a = power[i];
        const int b = power[i + 1];
        const int low = a < 0 ? b : b < 0 ? a : std::min(a, b);
        weights[rung][i] = static_cast<std::int16_t>(a < 0 ? 0 : kPowersOfTen[a - low]);
        weights[rung][i + 1] = static_cast<std::int16_t>(b < 0 ? 0 : kPowersOfTen[b - low]);
        power[i / 2] = low;
      }
    }
    pair_weights_[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights[0]));
    pair_weights_[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights[0] + 8));
    four_weights_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights[1]));
    eight_weights_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights[2]));
    for (int i = 0; i < 2; ++i) eight_scale_[i] = power[i] < 0 ? 0 : kPowersOfTen[power[i]];
  }

  // What matches() compares with. Nothing is to be compared before something
  // is learnt: the reader does not check a layout before then.
  __m128i flip_ = _mm_setzero_si128();   // '0' where the layout has a digit, its byte elsewhere
  __m128i limit_ = _mm_setzero_si128();  // 9 where it has a digit, 0 elsewhere, 255 past its end
  __m128i pair_weights_[2] = {};
  __m128i four_weights_ = _mm_setzero_si128();
  __m128i eight_weights_ = _mm_setzero_si128();
  std::uint64_t eight_scale_[2] = {};  // the power of ten each eight counts in
#else
  NETFIGURES_INLINE std::uint64_t mantissa(const char* p) const {
    return decimal_digits(p, whole_, fraction_);
  }

  char layout_[16] = {};
  unsigned digits_ = 0;  // where the layout has digits
  unsigned others_ = 0;  // where it has the bytes of layout_ itself
#endif
  int length_ = 0;
  int newlines_ = 0;
  int whole_ = 0;     // digits before the point
  int fraction_ = 0;  // and after it
  double divisor_ = 1;
};

// The complete integers (a minus and 7 digits at most, white space around)
// among the 64 bytes at p, which is not inside a number, up to the first
// byte that cannot be part of one: each is converted on its own, from bit
// masks, so none waits for the one before it to be measured. Calls step for
// each, counts them and the newlines passed, and returns where it stopped:
// p itself when there was no such number.
template <class Step>
const char* scan_integer_block(const char* p, Step& step, std::int64_t& count, std::int64_t& line) {
  const Classes c = classify64(p);
  // A minus that begins a number: a digit after it. (After a number too:
  // "1-2" is 1 and -2.)
  const std::uint64_t signs = c.minuses & (c.digits >> 1);
  const std::uint64_t others = ~(c.digits | c.spaces | signs);
  const std::uint64_t before_others = (others & -others) - 1;  // all of them if none
  const std::uint64_t spaces = c.spaces & before_others;
  if (spaces == 0) return p;
  // Up to the last white space: a number after it may go on past the block.
  const int last = 63 - __builtin_clzll(spaces);
  const std::uint64_t done = last == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << last) - 1;
  std::uint64_t starts = ((c.digits & ~(c.digits << 1) & ~(signs << 1)) | signs) & done;
  std::uint64_t ends = c.digits & ~(c.digits >> 1) & done;
  int stop = last + 1;
  while (starts != 0) {
    const int first = __builtin_ctzll(starts);
    const int negative = static_cast<int>(signs >> first & 1);
    const int length = __builtin_ctzll(ends) - first - negative + 1;
    if (length > 7) {  // may be out of range: for the scanners
      stop = first;
      break;
    }
    const auto magnitude = static_cast<std::int32_t>(digits_up_to_8(p + first + negative, length));
    step(negative ? -magnitude : magnitude);
    ++count;
    starts &= starts - 1;
    ends &= ends - 1;
  }
  const std::uint64_t passed = stop == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << stop) - 1;
  line += __builtin_popcountll(c.newlines & passed);
  return p + stop;
}

inline const char* scan_plain(const char* p, double& value) { return scan_plain_decimal(p, value); }
inline const char* scan_plain(const char* p, std::int32_t& value) {
  return scan_plain_integer(p, value);
}
inline Token<double> scan_next(const char* p, double) { return scan_real(p); }
inline Token<std::int32_t> scan_next(const char* p, std::int32_t) { return scan_integer(p); }

}  // namespace scan

}  // namespace sample_input
