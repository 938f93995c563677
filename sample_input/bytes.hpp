// The byte layer: what a byte of a sample file is (a digit, white space, a
// sign), asked of one byte, of the eight bytes of a 64-bit word, and of 16
// and 64 bytes at a time as bit masks. The wide classifiers exist twice, in
// SSE2 and in portable code that gives the same masks; the namespace alias
// `wide` names the one this build uses, and the tests check both against the
// one-byte definitions for every byte value.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sample_input/config.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace sample_input::bytes {

// One byte.

// Space, tab, newline, vertical tab, form feed, carriage return: C's isspace.
// One bit test, no branch: every number is followed by one of these.
inline constexpr std::uint64_t kSpaceBits =
    std::uint64_t{1} << ' ' | std::uint64_t{0x1F} << '\t';  // \t \n \v \f \r
NETFIGURES_INLINE bool is_space(unsigned char c) {
  return (c <= ' ') & static_cast<bool>(kSpaceBits >> (c & 63) & 1);
}
// The same by a table: one load, where a loop has a register to spare for
// the table's address.
inline constexpr auto kSpaceTable = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c <= ' '; ++c) table[c] = (kSpaceBits >> c & 1) != 0;
  return table;
}();
NETFIGURES_INLINE bool is_space_by_table(unsigned char c) { return kSpaceTable[c]; }
NETFIGURES_INLINE bool is_digit(unsigned char c) { return static_cast<unsigned>(c - '0') < 10u; }

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

// Eight bytes in a word, least significant first, as they lie in memory.

inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kHighBits = 0x80 * kOnes;
inline constexpr std::uint64_t kZeros = '0' * kOnes;  // '0' in every byte

NETFIGURES_INLINE std::uint64_t load8(const char* s) {
  std::uint64_t word;
  std::memcpy(&word, s, sizeof word);
  if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) word = __builtin_bswap64(word);
  return word;
}

// 0x80 in each byte of word that lies in [lo, hi] (hi below 0x80), 0 in the
// others. Unlike a plain subtraction, no byte borrows from its neighbour.
NETFIGURES_INLINE std::uint64_t bytes_in_range(std::uint64_t word, unsigned lo, unsigned hi) {
  const std::uint64_t low7 = word & (0x7F * kOnes);           // below 0x80: sums stay in the byte
  const std::uint64_t at_least = low7 + (0x80 - lo) * kOnes;  // high bit: low7 >= lo
  const std::uint64_t at_most = (0x80 + hi) * kOnes - low7;   // high bit: low7 <= hi
  return at_least & at_most & ~word & kHighBits;              // and the byte itself below 0x80
}

NETFIGURES_INLINE std::uint64_t digit_bytes(std::uint64_t word) {
  return bytes_in_range(word, '0', '9');
}
NETFIGURES_INLINE std::uint64_t space_bytes(std::uint64_t word) {
  return bytes_in_range(word, '\t', '\r') | bytes_in_range(word, ' ', ' ');
}
NETFIGURES_INLINE std::uint64_t bytes_equal(std::uint64_t word, unsigned c) {
  return bytes_in_range(word, c, c);
}

// How many bits of word are set. (__builtin_popcountll is a call into the
// compiler's library where the machine's baseline has no instruction for it,
// as x86-64's has not.)
NETFIGURES_INLINE int count_bits(std::uint64_t word) {
  word -= word >> 1 & 0x5555555555555555u;
  word = (word & 0x3333333333333333u) + (word >> 2 & 0x3333333333333333u);
  word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((word * kOnes) >> 56);
}

// One bit per byte of word: bit k set when byte k has its high bit set.
NETFIGURES_INLINE unsigned high_bits(std::uint64_t word) {
  // Each high bit, moved to the bottom of its byte, is multiplied up to bit
  // 56 + k: 0x0102040810204080 holds 2^(56 - 7k) for every k, and the other
  // products land below bit 56 or past bit 63 without carrying into the top byte.
  return static_cast<unsigned>((((word & kHighBits) >> 7) * 0x0102040810204080u) >> 56);
}

// How many of the eight bytes of word ('0' already subtracted from each) are
// decimal digits before the first that is not; 8 when all are. (A byte below
// '0' borrows from the bytes after it, never from those before.)
NETFIGURES_INLINE int digit_run_length(std::uint64_t digits) {
  // A byte b is a digit when b - '0' < 10: its subtraction did not borrow
  // (high bit clear) and adding 0x76 = 0x80 - 10 does not reach the high bit.
  const std::uint64_t not_digits = (digits | (digits + 0x76 * kOnes)) & kHighBits;
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

// The value of the k (0 to 8) decimal digits at s, with no branch on k: a
// number's length may change from one line to the next. Reads the eight
// bytes at s whatever k is.
NETFIGURES_INLINE std::uint32_t digits_value(const char* s, int k) {
  // The bytes past the digits fall out at the top, and zeros come in as
  // leading digits. Two shifts: one by 64 would be undefined.
  const int shift = 32 - 4 * k;
  return eight_digits_value(((load8(s) - kZeros) << shift) << shift);
}

// Powers of ten up to 10^19, the largest below 2^64.
inline constexpr auto kPowersOfTen = [] {
  std::array<std::uint64_t, 20> powers{1};
  for (int i = 1; i < 20; ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// The value of the n (0 to 24) digits at s, eight at a time: exact where it
// fits 64 bits, as it does for 19 digits and for more with leading zeros.
// Loads the 8 bytes at s and at each 8 digits after, never past the digits'
// end.
NETFIGURES_INLINE std::uint64_t whole_digits(const char* s, int n) {
  if (n <= 8) return digits_value(s, n);
  const std::uint64_t high = digits_value(s, 8);
  if (n <= 16) return high * kPowersOfTen[n - 8] + digits_value(s + 8, n - 8);
  return (high * kPowersOfTen[8] + digits_value(s + 8, 8)) * kPowersOfTen[n - 16] +
         digits_value(s + 16, n - 16);
}

// Of a decimal with whole digits, a point and fraction digits (fraction 0:
// no point), how many fraction digits the first 16 bytes hold: the rest
// follow them.
NETFIGURES_INLINE int fraction_in_first16(int whole, int fraction) {
  return fraction == 0 ? 0 : std::min(fraction, 15 - whole);
}

// 16 and 64 bytes at a time: bit k of a mask tells about byte k.

// The 64 bytes at p as bit masks.
struct Classes {
  std::uint64_t digits;
  std::uint64_t spaces;  // newlines among them
  std::uint64_t newlines;
  std::uint64_t minuses;
  std::uint64_t points;
};

// Eight bytes at a time in 64-bit words: for any machine.
namespace portable {

NETFIGURES_INLINE unsigned digit_mask16(const char* s) {
  return high_bits(digit_bytes(load8(s))) | high_bits(digit_bytes(load8(s + 8))) << 8;
}

NETFIGURES_INLINE unsigned point_mask16(const char* s) {
  return high_bits(bytes_equal(load8(s), '.')) | high_bits(bytes_equal(load8(s + 8), '.')) << 8;
}

NETFIGURES_INLINE unsigned equal_mask16(const char* s, const char* t) {
  return high_bits(bytes_equal(load8(s) ^ load8(t), 0)) |
         high_bits(bytes_equal(load8(s + 8) ^ load8(t + 8), 0)) << 8;
}

// White space or NUL: what ends a field of a line (or the data).
NETFIGURES_INLINE unsigned space_or_nul_mask16(const char* s) {
  const std::uint64_t low = load8(s);
  const std::uint64_t high = load8(s + 8);
  return high_bits(space_bytes(low) | bytes_equal(low, 0)) |
         high_bits(space_bytes(high) | bytes_equal(high, 0)) << 8;
}

// A byte equal to a or b (each below 0x80), a newline or NUL: what ends a
// field of a delimited line (a the delimiter), or the text of a quoted one
// (a the quote).
NETFIGURES_INLINE unsigned stop_mask16(const char* s, char a, char b) {
  const auto stops = [&](std::uint64_t word) {
    return bytes_equal(word, static_cast<unsigned char>(a)) |
           bytes_equal(word, static_cast<unsigned char>(b)) | bytes_equal(word, '\n') |
           bytes_equal(word, 0);
  };
  return high_bits(stops(load8(s))) | high_bits(stops(load8(s + 8))) << 8;
}

// The value of the digits among the 16 bytes at s: whole digits, then, if
// fraction is not 0, a point and fraction digits (whole + 1 + fraction <= 16).
NETFIGURES_INLINE std::uint64_t number16(const char* s, int whole, int fraction) {
  // No fraction: nothing is loaded past the digits' end.
  return whole_digits(s, whole) * kPowersOfTen[fraction] +
         whole_digits(s + whole + (fraction > 0), fraction);
}

// The value of the n (1 to 16) digits that end right before end.
NETFIGURES_INLINE std::uint64_t digits_before(const char* end, int n) {
  return whole_digits(end - n, n);
}

// The value of a long decimal at s: length bytes (16 to 31) of whole
// digits, a point within the first 16 and fraction digits, 19 digits at most.
NETFIGURES_INLINE std::uint64_t long_number(const char* s, int whole, int length) {
  const int fraction = length - 1 - whole;
  return whole_digits(s, whole) * kPowersOfTen[fraction] + whole_digits(s + whole + 1, fraction);
}

// The value of the short decimal that ends right before end: length bytes
// (1 to 15) of whole digits, then, if fraction is not 0, a point and
// fraction digits.
NETFIGURES_INLINE std::uint64_t number_before(const char* end, int length, int fraction) {
  return number16(end - length, length - fraction - (fraction > 0), fraction);
}

NETFIGURES_INLINE Classes classify64(const char* p) {
  Classes c{0, 0, 0, 0, 0};
  for (std::ptrdiff_t i = 0; i < 8; ++i) {
    const std::uint64_t word = load8(p + 8 * i);
    c.digits |= std::uint64_t{high_bits(digit_bytes(word))} << 8 * i;
    c.spaces |= std::uint64_t{high_bits(space_bytes(word))} << 8 * i;
    c.newlines |= std::uint64_t{high_bits(bytes_equal(word, '\n'))} << 8 * i;
    c.minuses |= std::uint64_t{high_bits(bytes_equal(word, '-'))} << 8 * i;
    c.points |= std::uint64_t{high_bits(bytes_equal(word, '.'))} << 8 * i;
  }
  return c;
}

}  // namespace portable

#ifdef __SSE2__
// 16 bytes at a time in SSE2 registers.
namespace sse2 {

NETFIGURES_INLINE __m128i load16(const char* s) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
}

// For each of the 64 bytes at p, the value of the digits that end there,
// counted back over four bytes at most: out[i] is the integer whose last
// digit is p[i], where p[i] ends one of four digits or fewer (elsewhere,
// nothing of use). All 64 at once, for blocks of short integers (packet
// sizes), so that each number is then one load. Loads 16 bytes at each of
// p - 3 to p + 48.
NETFIGURES_INLINE void short_integer_values(const char* p, std::uint16_t* out) {
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i none = _mm_setzero_si128();
  for (int k = 0; k < 64; k += 16) {
    const __m128i d0 = _mm_sub_epi8(load16(p + k), zero);
    const __m128i d1 = _mm_sub_epi8(load16(p + k - 1), zero);
    const __m128i d2 = _mm_sub_epi8(load16(p + k - 2), zero);
    const __m128i d3 = _mm_sub_epi8(load16(p + k - 3), zero);
    // A digit's distance above '0' is at most 9 (unsigned); each earlier
    // digit counts only where all between it and the last are digits.
    const __m128i m1 = _mm_cmpeq_epi8(_mm_min_epu8(d1, nine), d1);
    const __m128i m2 = _mm_and_si128(m1, _mm_cmpeq_epi8(_mm_min_epu8(d2, nine), d2));
    const __m128i m3 = _mm_and_si128(m2, _mm_cmpeq_epi8(_mm_min_epu8(d3, nine), d3));
    // The tens on the last digit, the thousands on the hundreds: each pair
    // at most 99, a byte.
    const __m128i tens = _mm_and_si128(d1, m1);
    const __m128i thousands = _mm_and_si128(d3, m3);
    const __m128i twice_tens = _mm_add_epi8(tens, tens);
    const __m128i twice_thousands = _mm_add_epi8(thousands, thousands);
    // Ten times a digit: twice it plus eight times it, the shift of 16-bit
    // lanes carrying nothing into the next byte (18 times 4 fits in one).
    const __m128i last_pair =
        _mm_add_epi8(_mm_add_epi8(d0, twice_tens), _mm_slli_epi16(twice_tens, 2));
    const __m128i first_pair = _mm_add_epi8(_mm_add_epi8(_mm_and_si128(d2, m2), twice_thousands),
                                            _mm_slli_epi16(twice_thousands, 2));
    const __m128i hundred = _mm_set1_epi16(100);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                     _mm_add_epi16(_mm_unpacklo_epi8(last_pair, none),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(first_pair, none), hundred)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 8),
                     _mm_add_epi16(_mm_unpackhi_epi8(last_pair, none),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(first_pair, none), hundred)));
  }
}

// One signed compare: a byte's distance above lo, less 128, is below
// hi - lo - 127 only where the distance is at most hi - lo (bytes below lo
// wrap round to large distances).
NETFIGURES_INLINE __m128i in_range(__m128i bytes, char lo, char hi) {
  const __m128i distance = _mm_add_epi8(bytes, _mm_set1_epi8(static_cast<char>(-128 - lo)));
  return _mm_cmplt_epi8(distance, _mm_set1_epi8(static_cast<char>(hi - lo - 127)));
}

NETFIGURES_INLINE unsigned mask(__m128i bytes) {
  return static_cast<unsigned>(_mm_movemask_epi8(bytes));
}

// A digit is a byte whose distance above '0' is at most 9: the distance is
// the digit's value, as the ladders take it.
NETFIGURES_INLINE unsigned digit_mask16(const char* s) {
  const __m128i values = _mm_sub_epi8(load16(s), _mm_set1_epi8('0'));
  return mask(_mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values));
}

NETFIGURES_INLINE unsigned point_mask16(const char* s) {
  return mask(_mm_cmpeq_epi8(load16(s), _mm_set1_epi8('.')));
}

NETFIGURES_INLINE unsigned equal_mask16(const char* s, const char* t) {
  return mask(_mm_cmpeq_epi8(load16(s), load16(t)));
}

NETFIGURES_INLINE __m128i space(__m128i bytes) {
  return _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), in_range(bytes, '\t', '\r'));
}

NETFIGURES_INLINE unsigned space_or_nul_mask16(const char* s) {
  const __m128i b = load16(s);
  return mask(_mm_or_si128(space(b), _mm_cmpeq_epi8(b, _mm_setzero_si128())));
}

NETFIGURES_INLINE unsigned stop_mask16(const char* s, char a, char b) {
  const __m128i bytes = load16(s);
  const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                                    _mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
  return mask(_mm_or_si128(ends, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(a)),
                                              _mm_cmpeq_epi8(bytes, _mm_set1_epi8(b)))));
}

// The value of digits among 16 bytes by a ladder of multiply-adds: digits
// to pairs, pairs to fours, fours to eights. The weights of each rung are
// powers of ten that the places of the digits fix, so a point, an exponent
// and white space weigh 0 and the digits need not be moved.
struct Weights {
  std::int16_t pairs[16];  // digits to pairs
  std::int16_t fours[8];   // pairs to fours
  std::int16_t eights[8];  // fours to eights
  std::uint64_t scale[2];  // the power of ten each eight counts in
};

// For whole digits, then, if fraction is not 0, a point and fraction digits.
constexpr Weights weights_for(int whole, int fraction) {
  // The power of ten of each digit in the number, -1 where there is none.
  int power[16] = {};
  int after = whole + fraction;
  for (int i = 0; i < 16; ++i) {
    const bool digit = i < whole || (fraction > 0 && i > whole && i <= whole + fraction);
    power[i] = digit ? --after : -1;
  }
  // Each rung combines pairs of the last: a pair's value counts in units of
  // the smallest power in it, and each member is weighted accordingly.
  std::int16_t rungs[3][16] = {};
  for (int rung = 0, count = 16; rung < 3; ++rung, count /= 2) {
    for (int i = 0; i < count; i += 2) {
      const int a = power[i];
      const int b = power[i + 1];
      const int low = a < 0 ? b : b < 0 ? a : (a < b ? a : b);
      rungs[rung][i] = static_cast<std::int16_t>(a < 0 ? 0 : kPowersOfTen[a - low]);
      rungs[rung][i + 1] = static_cast<std::int16_t>(b < 0 ? 0 : kPowersOfTen[b - low]);
      power[i / 2] = low;
    }
  }
  Weights w{};
  for (int i = 0; i < 16; ++i) w.pairs[i] = rungs[0][i];
  for (int i = 0; i < 8; ++i) w.fours[i] = rungs[1][i];
  for (int i = 0; i < 8; ++i) w.eights[i] = rungs[2][i];
  for (int i = 0; i < 2; ++i) w.scale[i] = power[i] < 0 ? 0 : kPowersOfTen[power[i]];
  return w;
}

// Every number's weights, computed by the compiler, at [whole][fraction].
struct WeightTable {
  Weights at[17][16];
};

constexpr WeightTable make_weight_table() {
  WeightTable table{};
  for (int whole = 0; whole <= 16; ++whole) {
    table.at[whole][0] = weights_for(whole, 0);  // no point: 16 digits at most
    for (int fraction = 1; whole + 1 + fraction <= 16; ++fraction) {
      table.at[whole][fraction] = weights_for(whole, fraction);
    }
  }
  return table;
}

inline constexpr WeightTable kWeightTable = make_weight_table();

// The weights in registers.
struct Ladder {
  __m128i pairs[2];
  __m128i fours;
  __m128i eights;
  std::uint64_t scale[2];
};

NETFIGURES_INLINE Ladder ladder_for(int whole, int fraction) {
  const Weights& w = kWeightTable.at[whole][fraction];
  return {{_mm_loadu_si128(reinterpret_cast<const __m128i*>(w.pairs)),
           _mm_loadu_si128(reinterpret_cast<const __m128i*>(w.pairs + 8))},
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(w.fours)),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(w.eights)),
          {w.scale[0], w.scale[1]}};
}

// The value of the digits in the 16 bytes at p that the ladder weighs.
NETFIGURES_INLINE std::uint64_t climb(const char* p, const Ladder& l) {
  const __m128i digits = _mm_sub_epi8(load16(p), _mm_set1_epi8('0'));
  const __m128i zero = _mm_setzero_si128();
  const __m128i pairs =
      _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), l.pairs[0]),
                      _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), l.pairs[1]));
  const __m128i fours = _mm_madd_epi16(pairs, l.fours);
  const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), l.eights);
  const auto low = static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights));
  const auto high = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
  return low * l.scale[0] + high * l.scale[1];
}

// As portable::number16, by the ladder.
NETFIGURES_INLINE std::uint64_t number16(const char* s, int whole, int fraction) {
  return climb(s, ladder_for(whole, fraction));
}

// kThrough[w]: 0xFF in bytes 0 to w, 0 after them.
struct Through {
  alignas(16) std::uint8_t bytes[16];
};
inline constexpr auto kThrough = [] {
  std::array<Through, 16> through{};
  for (int w = 0; w < 16; ++w) {
    for (int i = 0; i <= w; ++i) through[w].bytes[i] = 0xFF;
  }
  return through;
}();

// kRestWeights[r]: the weights of r digits (0 to 4), 10^(r - 1) down to 1.
struct RestWeights {
  alignas(16) std::int16_t weight[8];
};
inline constexpr auto kRestWeights = [] {
  std::array<RestWeights, 5> weights{};
  for (int r = 0; r < 5; ++r) {
    for (int i = 0; i < r; ++i)
      weights[r].weight[i] = static_cast<std::int16_t>(kPowersOfTen[r - 1 - i]);
  }
  return weights;
}();

// The 16 bytes digits (0 to 9 each) closed up over the byte at the end of
// before: the bytes it covers move one up, the byte after them falls out.
NETFIGURES_INLINE __m128i closed_up(__m128i digits, const Through& before) {
  const __m128i moved = _mm_load_si128(reinterpret_cast<const __m128i*>(before.bytes));
  return _mm_or_si128(_mm_and_si128(_mm_slli_si128(digits, 1), moved),
                      _mm_andnot_si128(moved, digits));
}

// The value of 16 digits, one a byte (0 to 9), as their two halves: a ladder
// of constant weights.
struct Halves {
  std::uint32_t high;
  std::uint32_t low;
};
// 0x0A01 in each 16-bit lane, defined where the compiler that inlines
// sixteen_digits cannot see it.
extern const Through kPairWeights;
NETFIGURES_INLINE Halves sixteen_digits(__m128i digits) {
  // Each 16-bit lane holds a pair of digits, a in its low byte and b in its
  // high one: times 0x0A01 it is a + 256 (10 a + b) modulo 2^16, and 10 a + b
  // is below 256, so its high byte is the pair's value. (Two instructions
  // where widening the bytes to 16 bits took five.) The multiplier is loaded
  // from memory, unknown to the compiler, which would otherwise multiply by
  // shifts and adds, or make it afresh at each number (three instructions).
  const __m128i by = _mm_load_si128(reinterpret_cast<const __m128i*>(kPairWeights.bytes));
  const __m128i pairs = _mm_srli_epi16(_mm_mullo_epi16(digits, by), 8);
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));  // 100 a + b
  const __m128i eights =
      _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(0x00012710));  // 10^4 a + b
  return {static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights)),
          static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)))};
}

// kLast[n]: 0xFF in the last n bytes (0 to 16), 0 before them.
inline constexpr auto kLast = [] {
  std::array<Through, 17> last{};
  for (int n = 0; n <= 16; ++n) {
    for (int i = 16 - n; i < 16; ++i) last[n].bytes[i] = 0xFF;
  }
  return last;
}();

// As portable::digits_before: the 16 bytes that end at end, those before
// the digits cleared, and a ladder of constant weights, with no table of
// weights to look up. Loads the 16 bytes before end, which may begin up to
// 15 bytes before the digits.
NETFIGURES_INLINE std::uint64_t digits_before(const char* end, int n) {
  const __m128i digits = _mm_sub_epi8(load16(end - 16), _mm_set1_epi8('0'));
  const auto [high, low] = sixteen_digits(_mm_and_si128(
      digits,
      _mm_load_si128(reinterpret_cast<const __m128i*>(kLast[static_cast<std::size_t>(n)].bytes))));
  return high * std::uint64_t{100000000} + low;
}

// As portable::long_number. The whole digits move one byte up, over the
// point, so that the first 16 bytes hold 16 digits (the first a zero) at the
// same places in every number: a ladder of constant weights, with no table
// to look up, makes their value.
NETFIGURES_INLINE std::uint64_t long_number(const char* s, int whole, int length) {
  const __m128i digits = _mm_sub_epi8(load16(s), _mm_set1_epi8('0'));
  const auto [high, low] =
      sixteen_digits(closed_up(digits, kThrough[static_cast<std::size_t>(whole)]));
  const __m128i zero = _mm_setzero_si128();
  // The digits past the first 16 bytes: at most 4, 19 in all. Each weighed
  // by its power of ten, the bytes after them by 0.
  const int rest = length - 16;
  const __m128i weighed =
      _mm_madd_epi16(_mm_unpacklo_epi8(_mm_sub_epi8(load16(s + 16), _mm_set1_epi8('0')), zero),
                     _mm_load_si128(reinterpret_cast<const __m128i*>(kRestWeights[rest].weight)));
  const auto rest_value = static_cast<std::uint32_t>(
      _mm_cvtsi128_si32(_mm_add_epi32(weighed, _mm_srli_si128(weighed, 4))));
  return (high * std::uint64_t{100000000} + low) * kPowersOfTen[rest] + rest_value;
}

// How the 16 bytes that end with a short decimal of length bytes (1 to 15)
// and fraction digits after a point (0: no point) become its digits, ending
// at the last byte: moved are the whole digits, which go one byte up, over
// the point; kept are the fraction's, or without a point all the number's.
// Every other byte is cleared.
struct Closing {
  Through moved;
  Through kept;
};
inline constexpr auto kClosings = [] {
  std::array<std::array<Closing, 16>, 16> closings{};
  for (int length = 1; length < 16; ++length) {
    for (int fraction = 0; fraction < length - 1 || fraction == 0; ++fraction) {
      Closing& c = closings[length][fraction];
      if (fraction == 0) {
        for (int i = 16 - length; i < 16; ++i) c.kept.bytes[i] = 0xFF;
      } else {
        for (int i = 17 - length; i <= 15 - fraction; ++i) c.moved.bytes[i] = 0xFF;
        for (int i = 16 - fraction; i < 16; ++i) c.kept.bytes[i] = 0xFF;
      }
    }
  }
  return closings;
}();

// As portable::number_before: the 16 bytes that end at end, closed up as
// kClosings says, and a ladder of constant weights, as in long_number. Loads
// the 16 bytes before end, which may begin before the number.
NETFIGURES_INLINE std::uint64_t number_before(const char* end, int length, int fraction) {
  const Closing& closing =
      kClosings[static_cast<std::size_t>(length)][static_cast<std::size_t>(fraction)];
  const __m128i digits = _mm_sub_epi8(load16(end - 16), _mm_set1_epi8('0'));
  const auto [high, low] = sixteen_digits(_mm_or_si128(
      _mm_and_si128(_mm_slli_si128(digits, 1),
                    _mm_load_si128(reinterpret_cast<const __m128i*>(closing.moved.bytes))),
      _mm_and_si128(digits, _mm_load_si128(reinterpret_cast<const __m128i*>(closing.kept.bytes)))));
  return high * std::uint64_t{100000000} + low;
}

NETFIGURES_INLINE Classes classify64(const char* p) {
  Classes c{0, 0, 0, 0, 0};
  for (std::ptrdiff_t i = 0; i < 4; ++i) {
    const __m128i b = load16(p + 16 * i);
    c.digits |= std::uint64_t{mask(in_range(b, '0', '9'))} << 16 * i;
    c.spaces |= std::uint64_t{mask(space(b))} << 16 * i;
    c.newlines |= std::uint64_t{mask(_mm_cmpeq_epi8(b, _mm_set1_epi8('\n')))} << 16 * i;
    c.minuses |= std::uint64_t{mask(_mm_cmpeq_epi8(b, _mm_set1_epi8('-')))} << 16 * i;
    c.points |= std::uint64_t{mask(_mm_cmpeq_epi8(b, _mm_set1_epi8('.')))} << 16 * i;
  }
  return c;
}

}  // namespace sse2
#endif

#if NETFIGURES_SSE2
namespace wide = sse2;
#else
namespace wide = portable;
#endif

}  // namespace sample_input::bytes
