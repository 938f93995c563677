// The reader's fast paths, which the reading loop owns: speculation on the
// layout of the last number, and integers 64 bytes at a time. Both are
// shortcuts to the values the scanners give, never another grammar: any text
// they do not take goes to the scanners. What they may read past the data is
// stated in sample_input.hpp, with the buffer that guarantees it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "sample_input/bytes.hpp"
#include "sample_input/convert.hpp"
#include "sample_input/scan.hpp"

namespace sample_input::fast {

// A layout: the bytes of the last plain number and the white space after
// it, such as "0.734215\n". Traces are written by programs in one format, so
// the next number most likely has the same layout. Layout::matches checks
// that with one 16-byte compare, and the reader then steps by a constant
// length: no number waits for the one before it to be measured. A digit of
// the layout matches any digit, every other byte only itself, and bytes past
// its length anything.
//
// A layout is learnt from a number that scan_plain found, with its minus sign
// left aside: a minus is told by itself, so that a few negative numbers do not
// change the layout.
struct LayoutFacts {
  int length;       // of the number, past its minus, and the white space after it: below 16
  int newlines;     // among that white space
  unsigned digits;  // bit k set where byte k is a digit
  int whole;        // digits before the point
  int fraction;     // and after it
  char bytes[16];   // the layout itself, and what followed it
};

// How far the white space after a number belongs to its layout: all of it,
// or only up to the end of the line, where in field mode the next line's
// other fields begin.
enum class Through { kSpace, kLine };

// The facts of the plain number [p, end) and the white space after it; false
// (and nothing learnt) when number and white space are 16 bytes or more.
// Reads the 16 bytes past the minus.
inline bool number_facts(const char* p, const char* end, Through through, LayoutFacts& f) {
  p += bytes::is_minus(*p);
  const char* stop = end;
  while (stop - p < 16 && bytes::is_space(static_cast<unsigned char>(*stop))) {
    if (*stop++ == '\n' && through == Through::kLine) break;
  }
  if (stop - p >= 16) return false;
  f.length = static_cast<int>(stop - p);
  f.newlines = static_cast<int>(std::count(end, stop, '\n'));
  std::memcpy(f.bytes, p, sizeof f.bytes);
  f.digits = bytes::wide::digit_mask16(f.bytes) & ((1u << f.length) - 1);
  f.whole = __builtin_ctz(~f.digits);
  f.fraction = __builtin_popcount(f.digits) - f.whole;
  return true;
}

// The facts of the text [p, p + length), which holds no newline and no NUL
// (so that the sentinel matches no layout): a digit matches any digit, any
// other byte itself. For the fields in front of the chosen one. Reads the 16
// bytes at p.
inline bool text_facts(const char* p, int length, LayoutFacts& f) {
  if (length >= 16 || std::memchr(p, '\n', length) != nullptr ||
      std::memchr(p, '\0', length) != nullptr) {
    return false;
  }
  f = LayoutFacts{length, 0, 0, 0, 0, {}};
  std::memcpy(f.bytes, p, sizeof f.bytes);
  f.digits = bytes::wide::digit_mask16(f.bytes) & ((1u << length) - 1);
  return true;
}

// The number of a layout from the value of its digits: exact, as the
// scanners' (an integer layout has at most kMaxPlainDigits digits, a real
// one at most kMaxExactDigits).
NETFIGURES_INLINE void from_mantissa(std::uint64_t mantissa, const LayoutFacts&, bool negative,
                                     std::int32_t& out) {
  const auto magnitude = static_cast<std::int32_t>(mantissa);
  out = negative ? -magnitude : magnitude;
}

NETFIGURES_INLINE void from_mantissa(std::uint64_t mantissa, const LayoutFacts& f, bool negative,
                                     double& out) {
  const double magnitude = static_cast<double>(mantissa) / convert::kExactPowersOfTen[f.fraction];
  out = negative ? -magnitude : magnitude;
}

// Layouts in portable code: the digits compared and converted eight bytes at
// a time.
namespace portable {

class Layout {
 public:
  // The layout of the plain number [p, end) and the white space after it.
  bool learn(const char* p, const char* end, Through through = Through::kSpace) {
    return number_facts(p, end, through, facts_) && learnt();
  }
  // The layout of the text [p, p + length), as text_facts says.
  bool learn_text(const char* p, int length) { return text_facts(p, length, facts_) && learnt(); }

  // Whether the text at p, past a minus sign, is a number of this layout
  // with the same white space after it. Reads the 16 bytes at p.
  NETFIGURES_INLINE bool matches(const char* p) const {
    const unsigned digits = facts_.digits;
    return ((bytes::portable::digit_mask16(p) & digits) |
            (bytes::portable::equal_mask16(p, facts_.bytes) & others_)) == (digits | others_);
  }

  int length() const { return facts_.length; }
  int newlines() const { return facts_.newlines; }

  // The value of the number at p (past its minus sign, if negative), which
  // matches(). Reads the 32 bytes at p.
  template <class T>
  NETFIGURES_INLINE void value(const char* p, bool negative, T& out) const {
    from_mantissa(scan::decimal_digits(p, facts_.whole, facts_.fraction), facts_, negative, out);
  }

 private:
  bool learnt() {
    others_ = ~facts_.digits & ((1u << facts_.length) - 1);
    return true;
  }

  // Nothing is to be compared before something is learnt: the reader does
  // not check a layout before then.
  LayoutFacts facts_{};
  unsigned others_ = 0;  // where the layout has bytes that must be themselves
};

}  // namespace portable

#ifdef __SSE2__
// Layouts in SSE2: compared with one 16-byte compare, and the digits
// converted by a ladder of multiply-adds in place.
namespace sse2 {

class Layout {
 public:
  bool learn(const char* p, const char* end, Through through = Through::kSpace) {
    if (!number_facts(p, end, through, facts_)) return false;
    learn_bytes();
    // The weights depend on where the digits are alone, and learning them
    // is the dearest part: where lines change between a few layouts, as a
    // column of varying width makes them, the digits often stay put.
    if (facts_.digits != weighed_) learn_weights(facts_.digits);
    weighed_ = facts_.digits;
    return true;
  }
  // A text layout is only compared, never converted: it needs no weights.
  bool learn_text(const char* p, int length) {
    if (!text_facts(p, length, facts_)) return false;
    learn_bytes();
    return true;
  }

  // As portable::Layout::matches. Reads the 16 bytes at p.
  NETFIGURES_INLINE bool matches(const char* p) const {
    // Flipped, a digit of the layout becomes 0 to 9 and any other byte of it
    // 0 where it is the same: then no byte exceeds its limit.
    const __m128i flipped = _mm_xor_si128(bytes::sse2::load16(p), flip_);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(flipped, limit_), limit_)) == 0xFFFF;
  }

  int length() const { return facts_.length; }
  int newlines() const { return facts_.newlines; }

  // As portable::Layout::value. Reads the 16 bytes at p.
  template <class T>
  NETFIGURES_INLINE void value(const char* p, bool negative, T& out) const {
    from_mantissa(mantissa(p), facts_, negative, out);
  }

 private:
  // What matches() compares with.
  void learn_bytes() {
    unsigned char flip[16];
    unsigned char limit[16];
    for (int i = 0; i < 16; ++i) {
      const bool digit = (facts_.digits >> i & 1) != 0;
      flip[i] = i >= facts_.length ? 0 : digit ? '0' : static_cast<unsigned char>(facts_.bytes[i]);
      limit[i] = i >= facts_.length ? 0xFF : digit ? 9 : 0;
    }
    flip_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(flip));
    limit_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(limit));
  }

  // The value of the digits of the number at p, by a ladder of multiply-adds
  // over the 16 bytes: digits to pairs, pairs to fours, fours to eights. The
  // weights of each rung are powers of ten that this layout fixes, so the
  // point and the white space weigh 0 and the digits need not be moved.
  NETFIGURES_INLINE std::uint64_t mantissa(const char* p) const {
    const __m128i digits = _mm_sub_epi8(bytes::sse2::load16(p), _mm_set1_epi8('0'));
    const __m128i zero = _mm_setzero_si128();
    const __m128i pairs =
        _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), pair_weights_[0]),
                        _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), pair_weights_[1]));
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
        weights[rung][i] = static_cast<std::int16_t>(a < 0 ? 0 : convert::kPowersOfTen[a - low]);
        weights[rung][i + 1] =
            static_cast<std::int16_t>(b < 0 ? 0 : convert::kPowersOfTen[b - low]);
        power[i / 2] = low;
      }
    }
    pair_weights_[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights[0]));
    pair_weights_[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights[0] + 8));
    four_weights_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights[1]));
    eight_weights_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights[2]));
    for (int i = 0; i < 2; ++i)
      eight_scale_[i] = power[i] < 0 ? 0 : convert::kPowersOfTen[power[i]];
  }

  LayoutFacts facts_{};
  unsigned weighed_ = 0;                // the digits the weights are for; a number has at least one
  __m128i flip_ = _mm_setzero_si128();  // '0' where the layout has a digit, its byte elsewhere
  __m128i limit_ = _mm_setzero_si128();  // 9 where it has a digit, 0 elsewhere, 255 past its end
  __m128i pair_weights_[2] = {};
  __m128i four_weights_ = _mm_setzero_si128();
  __m128i eight_weights_ = _mm_setzero_si128();
  std::uint64_t eight_scale_[2] = {};  // the power of ten each eight counts in
};

}  // namespace sse2
#endif

#if NETFIGURES_SSE2
using sse2::Layout;
#else
using portable::Layout;
#endif

// A line's layout in field mode: the text in front of the chosen field (the
// fields before it and the blanks between them), then the layout of the
// chosen number and the white space after it, through the end of the line.
// A trace of columns written by one printf has one, and the reader then
// steps from line to line by a constant length as it does from number to
// number.
struct LineLayout {
  Layout before;
  Layout number;

  // From a line that begins at line and whose chosen field is the plain
  // number [field, end).
  bool learn(const char* line, const char* field, const char* end) {
    return before.learn_text(line, static_cast<int>(field - line)) &&
           number.learn(field, end, Through::kLine) && number.newlines() == 1;
  }
};

// The complete integers (a minus and kMaxIntegerDigits digits at most, white
// space around) among the 64 bytes at p, which is not inside a number, up to
// the first byte that cannot be part of one: each is converted on its own,
// from bit masks, so none waits for the one before it to be measured. Calls
// step for each, counts them and the newlines passed, and returns where it
// stopped: p itself when there was no such number. Reads the 64 bytes at p
// and the 16 bytes at the start of each number.
template <class Step>
NETFIGURES_INLINE const char* integer_block(const char* p, Step& step, std::int64_t& count,
                                            std::int64_t& line) {
  const bytes::Classes c = bytes::wide::classify64(p);
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
    const char* const digits = p + first + negative;
    std::int32_t value;
    if (length <= 8) {  // in range: converted at once
      const auto magnitude = static_cast<std::int32_t>(bytes::digits_value(digits, length));
      value = negative ? -magnitude : magnitude;
    } else if (length > convert::kMaxIntegerDigits ||
               !convert::to_int32(scan::whole_digits(digits, length), negative != 0, value)) {
      stop = first;  // longer, or out of range: for the scanners, which say why
      break;
    }
    step(value);
    ++count;
    starts &= starts - 1;
    ends &= ends - 1;
  }
  const std::uint64_t passed = stop == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << stop) - 1;
  line += __builtin_popcountll(c.newlines & passed);
  return p + stop;
}

}  // namespace sample_input::fast
