// What the reader's fast paths (paths.hpp) are made of: layouts of the last
// number, and integers and short decimals 64 bytes at a time. All are
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
// it, such as "0.734215\n" or "1.390101e-02\n". Traces are written by
// programs in one format, so the next number most likely has the same
// layout. Layout::matches checks that with one or two 16-byte compares, and
// the reader then steps by a constant length: no number waits for the one
// before it to be measured. A digit of the layout matches any digit, every
// other byte only itself, and bytes past its length anything.
//
// A layout is learnt from a number that scan_plain found, with its minus sign
// left aside: a minus is told by itself, so that a few negative numbers do not
// change the layout.

// Bytes of a layout: two 16-byte halves.
inline constexpr int kLayoutBytes = 32;

struct LayoutFacts {
  int length;            // of the number, past its minus, and the white space after it
  int newlines;          // among that white space
  std::uint32_t digits;  // bit k set where byte k is a digit
  int whole;             // digits before the point
  int fraction;          // digits after it
  int exponent_at;       // where the exponent's digits begin; 0 for none
  int exponent_digits;   // how many there are
  bool exponent_signed;  // whether a sign stands before them
  // Where a byte matches any byte, -1 for nowhere: an exponent's sign, which
  // may be '+' or '-' from one number to the next (1.02e+00, 9.8e-01) and
  // is checked by the value. Never the last byte of the first half: the
  // second half is loaded only once the first has matched, and such a match
  // must not end at the sentinel.
  int any_at = -1;
  char bytes[kLayoutBytes];  // the layout itself, NUL past its length
};

// How far the white space after a number belongs to its layout: all of it,
// or only up to the end of the line, where in field mode the next line's
// other fields begin.
enum class Through { kSpace, kLine };

// The length and the digits of the text [p, p + length) of a layout. Loads
// the 16 bytes at p, and the 16 after them where the text goes on: never
// past the end of the data.
inline void layout_bytes(const char* p, int length, LayoutFacts& f) {
  f.length = length;
  std::memset(f.bytes, 0, sizeof f.bytes);
  std::memcpy(f.bytes, p, static_cast<std::size_t>(length));
  f.digits = bytes::wide::digit_mask16(f.bytes) |
             std::uint32_t{bytes::wide::digit_mask16(f.bytes + 16)} << 16;
  f.digits &= (std::uint32_t{1} << length) - 1;
}

// The facts of the plain number [p, end), which a scanner has read, and of
// the white space after it; false (and nothing learnt) where they fit no
// layout: kLayoutBytes in all or more, a point with no digit on one side,
// more than kMaxMantissaDigits digits, digits before the point past the
// first 16 bytes, an exponent of more than 8 digits.
inline bool number_facts(const char* p, const char* end, Through through, LayoutFacts& learnt) {
  LayoutFacts f{};  // learnt is left as it was where these fit no layout
  p += bytes::is_minus(*p);
  const char* stop = end;
  while (stop - p < kLayoutBytes && bytes::is_space(static_cast<unsigned char>(*stop))) {
    if (*stop++ == '\n' && through == Through::kLine) break;
  }
  if (stop - p >= kLayoutBytes) return false;
  const scan::Decimal d = scan::measure_decimal(p);
  // Long decimals without an exponent (repr, %.17g) go faster by a loop of
  // their own than by layouts: their length changes too often.
  if (d.whole == 0 || d.whole > (d.point ? 15 : 16) || (d.point && d.fraction == 0) ||
      d.whole + d.fraction > convert::kMaxMantissaDigits ||
      (d.end == end && end - p > scan::kShortDecimal)) {
    return false;
  }
  f.whole = d.whole;
  f.fraction = d.fraction;
  f.exponent_at = 0;
  f.exponent_digits = 0;
  f.exponent_signed = false;
  if (d.end != end) {  // an exponent: a mark, a sign perhaps, digits
    const char* digits = d.end + 1;
    f.exponent_signed = bytes::is_sign(*digits) != 0;
    digits += f.exponent_signed;
    f.exponent_at = static_cast<int>(digits - p);
    f.exponent_digits = static_cast<int>(end - digits);
    if (f.exponent_digits == 0 || f.exponent_digits > 8) return false;
  }
  f.any_at = f.exponent_signed && f.exponent_at - 1 != 15 ? f.exponent_at - 1 : -1;
  layout_bytes(p, static_cast<int>(stop - p), f);
  f.newlines = static_cast<int>(std::count(end, stop, '\n'));
  learnt = f;
  return true;
}

// The facts of the text [p, p + length), which holds no NUL (so that the
// sentinel matches no layout) and no newline, but as its last byte with
// kLine: a digit matches any digit, any other byte itself. For the fields in
// front of the chosen one, and with kLine for those after it.
inline bool text_facts(const char* p, int length, Through through, LayoutFacts& learnt) {
  const int inside = through == Through::kLine ? length - 1 : length;
  if (length >= kLayoutBytes || inside < 0 || (through == Through::kLine && p[inside] != '\n') ||
      std::memchr(p, '\n', static_cast<std::size_t>(inside)) != nullptr ||
      std::memchr(p, '\0', static_cast<std::size_t>(length)) != nullptr) {
    return false;
  }
  learnt = LayoutFacts{};
  layout_bytes(p, length, learnt);
  learnt.newlines = through == Through::kLine ? 1 : 0;
  return true;
}

// How a layout's digits make its number: divided by a power of ten where a
// double holds them, by the converter where there is an exponent, or by the
// table alone where there are more digits than a double holds.
enum class Value : std::uint8_t { kDivided, kConverted, kRounded };

inline Value value_kind(const LayoutFacts& f) {
  if (f.whole + f.fraction > convert::kMaxExactDigits) return Value::kRounded;
  return f.exponent_digits > 0 ? Value::kConverted : Value::kDivided;
}

// The number of a short layout (see Layout::is_short) from the value of its
// digits: exact, as the scanners'. The divisor is negated for a negative
// number (see convert::kSignedPowersOfTen).
NETFIGURES_INLINE bool divided(std::uint64_t mantissa, double, bool negative, std::int64_t& out) {
  // An integer layout has no point, and at most 16 digits (number_facts):
  // always in range.
  const auto magnitude = static_cast<std::int64_t>(mantissa);
  out = negative ? -magnitude : magnitude;
  return true;
}

NETFIGURES_INLINE bool divided(std::uint64_t mantissa, double signed_divisor, bool, double& out) {
  // At most kMaxExactDigits digits: signed, for the quicker conversion.
  out = static_cast<double>(static_cast<std::int64_t>(mantissa)) / signed_divisor;
  return true;
}

// The number at p of any other layout f (only reals have them): exact, as
// the scanners'. False where the converter cannot decide; the scanners then
// read the number.
NETFIGURES_INLINE bool converted(std::uint64_t mantissa, const char* p, const LayoutFacts& f,
                                 Value kind, bool negative, double& out) {
  int power = -f.fraction;
  // The exponent's digits stand where the layout has them, and a sign
  // before them, either sign, where it has one. (A branch the same for every
  // number of the layout.)
  if (f.exponent_digits > 0) {
    // Two digits, as C writes them (e-05), by two bytes; any other count eight at a time.
    const char* const e = p + f.exponent_at;
    const int exponent = f.exponent_digits == 2
                             ? (e[0] - '0') * 10 + (e[1] - '0')
                             : static_cast<int>(bytes::digits_value(e, f.exponent_digits));
    // Only a signed exponent has a byte before its digits that is the
    // number's own: a layout without one may start at the buffer's first byte.
    const char mark = f.exponent_signed ? p[f.exponent_at - 1] : '+';
    if (mark != '+' && mark != '-') return false;
    power += mark == '-' ? -exponent : exponent;
  }
  switch (kind) {
    case Value::kDivided:
      return divided(mantissa, convert::signed_power_of_ten(f.fraction, negative), negative, out);
    case Value::kConverted:
      return convert::decimal_to_double(mantissa, power, negative, out);
    case Value::kRounded:
      return convert::round_decimal(mantissa, power, negative, out);
  }
  return false;
}

// An integer layout has no point and no exponent, but its white space may
// make it longer than a short one.
NETFIGURES_INLINE bool converted(std::uint64_t mantissa, const char*, const LayoutFacts&, Value,
                                 bool negative, std::int64_t& out) {
  return divided(mantissa, 1, negative, out);
}

// A short layout: one 16-byte half, at most kMaxExactDigits digits and no
// exponent, so that its value is its digits divided by a power of ten. The
// fixed-point numbers most traces hold have one; the reading loop runs a
// loop of its own for them that touches nothing else.
inline bool short_layout(const LayoutFacts& f) {
  return f.length <= 16 && f.exponent_digits == 0 &&
         f.whole + f.fraction <= convert::kMaxExactDigits;
}

// What both implementations keep of a layout and answer alike; Layout
// compares the halves its own way.
template <class Layout>
class LayoutBase {
 public:
  // Whether the text at p, past a minus sign, is a number of this layout
  // with the same white space after it. Loads the 16 bytes at p, and the 16
  // after them only where those matched a layout that goes on. kShort: the
  // layout is short, and the caller knows it.
  template <bool kShort = false>
  NETFIGURES_INLINE bool matches(const char* p) const {
    const auto& layout = static_cast<const Layout&>(*this);
    if constexpr (kShort) return layout.half_matches(p, 0);
    return layout.half_matches(p, 0) && (facts_.length <= 16 || layout.half_matches(p + 16, 1));
  }

  int length() const { return facts_.length; }
  // Of an integer layout: its digits.
  int whole() const { return facts_.whole; }
  int newlines() const { return facts_.newlines; }
  // See short_layout.
  bool is_short() const { return short_; }

 protected:
  // The facts of the plain number [p, end) and of how its value is made;
  // false, and nothing changed, where they fit no layout.
  bool take_number(const char* p, const char* end, Through through) {
    if (!number_facts(p, end, through, facts_)) return false;
    kind_ = value_kind(facts_);
    short_ = short_layout(facts_);
    divisors_ = convert::kSignedPowersOfTen[short_ ? facts_.fraction : 0].data();
    return true;
  }
  // The facts of the text [p, p + length), which is only compared.
  bool take_text(const char* p, int length, Through through) {
    return text_facts(p, length, through, facts_);
  }

  // Nothing is to be compared before something is learnt: the reader does
  // not check a layout before then.
  LayoutFacts facts_{};
  Value kind_ = Value::kDivided;
  bool short_ = true;
  // Of a short layout: its power of ten, then the same negated, for a
  // negative number.
  const double* divisors_ = convert::kSignedPowersOfTen[0].data();
};

// Layouts in portable code: the digits compared and converted eight bytes at
// a time.
namespace portable {

class Layout : public LayoutBase<Layout> {
 public:
  // The layout of the plain number [p, end) and the white space after it.
  bool learn(const char* p, const char* end, Through through = Through::kSpace) {
    return take_number(p, end, through) && learnt();
  }
  // The layout of the text [p, p + length), as text_facts says.
  bool learn_text(const char* p, int length, Through through = Through::kSpace) {
    return take_text(p, length, through) && learnt();
  }

  // The value of the number at p (past its minus sign, if negative), which
  // matches(); false where the converter cannot decide. Loads the 8 bytes at
  // each 8 digits.
  template <bool kShort = false, class T>
  NETFIGURES_INLINE bool value(const char* p, bool negative, T& out) const {
    const std::uint64_t mantissa = scan::decimal_digits(p, facts_.whole, facts_.fraction);
    if (kShort || short_) return divided(mantissa, divisors_[negative], negative, out);
    return converted(mantissa, p, facts_, kind_, negative, out);
  }

 private:
  friend class LayoutBase<Layout>;

  bool learnt() {
    others_ = ~facts_.digits & ((std::uint64_t{1} << facts_.length) - 1);
    if (facts_.any_at >= 0) others_ &= ~(std::uint64_t{1} << facts_.any_at);
    return true;
  }

  NETFIGURES_INLINE bool half_matches(const char* p, int half) const {
    const unsigned digits = facts_.digits >> 16 * half & 0xFFFF;
    const unsigned others = static_cast<unsigned>(others_ >> 16 * half) & 0xFFFF;
    return ((bytes::portable::digit_mask16(p) & digits) |
            (bytes::portable::equal_mask16(p, facts_.bytes + std::ptrdiff_t{16} * half) &
             others)) == (digits | others);
  }

  std::uint64_t others_ = 0;  // where the layout has bytes that must be themselves
};

}  // namespace portable

#ifdef __SSE2__
// Layouts in SSE2: compared 16 bytes at a time, and the digits converted by
// a ladder of multiply-adds in place.
namespace sse2 {

class Layout : public LayoutBase<Layout> {
 public:
  bool learn(const char* p, const char* end, Through through = Through::kSpace) {
    if (!take_number(p, end, through)) return false;
    learn_bytes();
    const int first = bytes::fraction_in_first16(facts_.whole, facts_.fraction);
    rest_ = facts_.fraction - first;
    ladder_ = bytes::sse2::ladder_for(facts_.whole, first);
    return true;
  }
  bool learn_text(const char* p, int length, Through through = Through::kSpace) {
    if (!take_text(p, length, through)) return false;
    learn_bytes();
    return true;
  }

  // As portable::Layout::value. Loads the 16 bytes at p, and the 8 at each 8
  // digits past them.
  template <bool kShort = false, class T>
  NETFIGURES_INLINE bool value(const char* p, bool negative, T& out) const {
    if (kShort || short_) return divided(ladder(p), divisors_[negative], negative, out);
    std::uint64_t mantissa = ladder(p);
    if (rest_ > 0) {
      mantissa = mantissa * convert::kPowersOfTen[rest_] + bytes::whole_digits(p + 16, rest_);
    }
    return converted(mantissa, p, facts_, kind_, negative, out);
  }

 private:
  friend class LayoutBase<Layout>;

  NETFIGURES_INLINE bool half_matches(const char* p, int half) const {
    // Flipped, a digit of the layout becomes 0 to 9 and any other byte of it
    // 0 where it is the same: then no byte exceeds its limit.
    const __m128i flipped = _mm_xor_si128(bytes::sse2::load16(p), flip_[half]);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(flipped, limit_[half]), limit_[half])) ==
           0xFFFF;
  }

  // What matches() compares with: flip_ is '0' where the layout has a
  // digit and its byte elsewhere, limit_ 9 where it has a digit, 0 elsewhere
  // and 255 where any byte will do (past its end, an exponent's sign).
  // Learnt often where layouts take turns, so in vector code too.
  void learn_bytes() {
    const __m128i select = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201u));
    const __m128i any = any_byte();
    for (int half = 0; half < 2; ++half) {
      // Bit k of the digits, spread to byte k: each byte tests its own bit.
      const std::uint64_t bits = facts_.digits >> 16 * half;
      const std::uint64_t low = (bits & 0xFF) * bytes::kOnes;
      const std::uint64_t high = (bits >> 8 & 0xFF) * bytes::kOnes;
      const __m128i spread =
          _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
      const __m128i digit = _mm_cmpeq_epi8(_mm_and_si128(spread, select), select);
      const __m128i index =
          _mm_add_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                       _mm_set1_epi8(static_cast<char>(16 * half)));
      const __m128i outside =
          _mm_or_si128(_mm_cmpgt_epi8(index, _mm_set1_epi8(static_cast<char>(facts_.length - 1))),
                       _mm_cmpeq_epi8(index, any));
      const __m128i own = bytes::sse2::load16(facts_.bytes + std::ptrdiff_t{16} * half);
      flip_[half] = _mm_andnot_si128(outside, _mm_or_si128(_mm_and_si128(digit, _mm_set1_epi8('0')),
                                                           _mm_andnot_si128(digit, own)));
      limit_[half] = _mm_or_si128(_mm_and_si128(digit, _mm_set1_epi8(9)), outside);
    }
  }

  __m128i any_byte() const { return _mm_set1_epi8(static_cast<char>(facts_.any_at)); }

  NETFIGURES_INLINE std::uint64_t ladder(const char* p) const {
    return bytes::sse2::climb(p, ladder_);
  }

  int rest_ = 0;           // fraction digits past the first 16 bytes
  __m128i flip_[2] = {};   // '0' where the layout has a digit, its byte elsewhere
  __m128i limit_[2] = {};  // 9 where it has a digit, 0 elsewhere, 255 past its end
  bytes::sse2::Ladder ladder_{};
};

}  // namespace sse2
#endif

#if NETFIGURES_SSE2
using sse2::Layout;
#else
using portable::Layout;
#endif

// A line's layout in field mode: the text in front of the chosen field (the
// fields before it and the blanks between them), the layout of the chosen
// number and the white space after it, and the text of the fields after it
// through the end of the line, where there are any. A trace of columns
// written by one printf has one, and the reader then steps from line to
// line by a constant length as it does from number to number.
struct LineLayout {
  Layout before;
  Layout number;
  Layout after;  // unused where the chosen field is the last

  // From a line [line, line_end), through its newline, whose chosen field is
  // the plain number [field, end): all its layouts or none.
  bool learn(const char* line, const char* field, const char* end, const char* line_end) {
    Layout text;
    Layout value;
    Layout rest;
    if (!text.learn_text(line, static_cast<int>(field - line)) ||
        !value.learn(field, end, Through::kLine)) {
      return false;
    }
    const char* const past = field + bytes::is_minus(*field) + value.length();
    const bool last = value.newlines() == 1;
    const bool short_texts = text.length() <= 16 && value.is_short();
    // Fields after the chosen one: only where all is short, the common case
    // of columns of short numbers, so that one loop serves them.
    if (!last && (!short_texts || line_end - past > 16 ||
                  !rest.learn_text(past, static_cast<int>(line_end - past), Through::kLine))) {
      return false;
    }
    before = text;
    number = value;
    after = rest;
    last_ = last;
    short_ = short_texts;
    return true;
  }

  // Whether the chosen field is the last of the line.
  bool is_last() const { return last_; }
  // Whether all its layouts are short: the texts one half, the number short.
  bool is_short() const { return short_; }

 private:
  bool last_ = true;
  bool short_ = false;
};

// Of a 64-byte block at p, which is not inside a number: the bytes up to
// its last white space before the first byte of others (numbers before it
// are whole; one after it may go on past the block), as a mask; 0 where
// there is no such white space.
NETFIGURES_INLINE std::uint64_t through_last_space(std::uint64_t spaces, std::uint64_t others) {
  const std::uint64_t before = spaces & ((others & -others) - 1);  // all of them if no others
  if (before == 0) return 0;
  const int last = 63 - __builtin_clzll(before);
  return last == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << last) - 1;
}

// The numbers whose first bytes starts marks and whose last bytes ends
// marks, among the 64 bytes at p: each is converted on its own, from bit
// masks, so none waits for the one before it to be measured. Calls step for
// each; returns where it stopped, 64 when at none. Without
// minuses (kSigned false: the block has none) a number is its digits alone,
// and the loop keeps a few registers for the step.
template <bool kSigned, class Step>
NETFIGURES_INLINE int integers_of_block(const char* p, std::uint64_t starts, std::uint64_t ends,
                                        std::uint64_t signs, Step& step) {
  while (starts != 0) {
    const int first = __builtin_ctzll(starts);
    const int negative = kSigned ? static_cast<int>(signs >> first & 1) : 0;
    const int length = __builtin_ctzll(ends) - first - negative + 1;
    const char* const digits = p + first + negative;
    std::int64_t value;
    if (length <= 8) {  // converted at once
      const auto magnitude = static_cast<std::int64_t>(bytes::digits_value(digits, length));
      value = negative ? -magnitude : magnitude;
    } else if (length > convert::kMaxIntegerDigits ||  // 16 digits at most from one load
               !convert::to_int64(length <= 16 ? bytes::wide::digits_before(digits + length, length)
                                               : bytes::whole_digits(digits, length),
                                  negative != 0, value)) {
      return first;  // longer, or out of range: for the scanners, which say why
    }
    step(value);
    starts &= starts - 1;
    ends &= ends - 1;
  }
  return 64;
}

#if NETFIGURES_SSE2
// As integers_of_block, where every integer of the block has four digits or
// fewer and no minus (packet sizes, counts a slot): the values that end at
// each of the 64 bytes found at once (bytes::sse2::short_integer_values),
// then each number is one load. Reads the 64 bytes at p and the 3 before.
template <class Step>
NETFIGURES_INLINE int short_integers_of_block(const char* p, std::uint64_t ends, Step& step) {
  alignas(16) std::uint16_t values[64];
  bytes::sse2::short_integer_values(p, values);
  for (; ends != 0; ends &= ends - 1) step(std::int64_t{values[__builtin_ctzll(ends)]});
  return 64;
}
#endif

// The complete integers (a minus and kMaxIntegerDigits digits at most, white
// space around) among the 64 bytes at p, which is not inside a number, up to
// the first byte that cannot be part of one. Calls step for each, counts them
// and the newlines passed, and returns where it stopped: p itself when there
// was no such number. Reads the 64 bytes at p and, for each number, what
// digits_before or whole_digits reads: in vector code, for 9 to 16 digits,
// the 16 bytes that end where it ends, which may begin up to 15 bytes before
// p.
template <class Step>
NETFIGURES_INLINE const char* integer_block(const char* p, Step& step, std::int64_t& count,
                                            std::int64_t& line) {
  const bytes::Classes c = bytes::wide::classify64(p);
  // A minus that begins a number: a digit after it. (After a number too:
  // "1-2" is 1 and -2.)
  const std::uint64_t signs = c.minuses & (c.digits >> 1);
  const std::uint64_t done = through_last_space(c.spaces, ~(c.digits | c.spaces | signs));
  if (done == 0) return p;
  const std::uint64_t starts = ((c.digits & ~(c.digits << 1) & ~(signs << 1)) | signs) & done;
  const std::uint64_t ends = c.digits & ~(c.digits >> 1) & done;
  int stop = 64 - __builtin_clzll(done);
#if NETFIGURES_SSE2
  const std::uint64_t d = c.digits;
  if (signs == 0 && (d & d >> 1 & d >> 2 & d >> 3 & d >> 4 & done) == 0) {
    short_integers_of_block(p, ends, step);  // no run of five digits: all short
  } else
#endif
  {
    stop = std::min(stop, signs == 0 ? integers_of_block<false>(p, starts, ends, 0, step)
                                     : integers_of_block<true>(p, starts, ends, signs, step));
  }
  const std::uint64_t passed = stop == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << stop) - 1;
  // Counted once, not in the loop, which then keeps a register for the step.
  count += bytes::count_bits(starts & passed);
  line += bytes::count_bits(c.newlines & passed);
  return p + stop;
}

// Of the 64 bytes classified as c, the bytes whose words are no short
// decimal (see real_block), for the scanners: any other byte, a minus that
// does not begin a word or is not followed by a digit, a point without a
// digit on either side, a second point after the digits of one, and words
// of 16 bytes.
inline std::uint64_t not_short_decimals(const bytes::Classes& c) {
  const std::uint64_t words = ~c.spaces;
  // Runs of 16 bytes that are not white space: a bit where each begins.
  std::uint64_t long_words = words & (words >> 1);
  long_words &= long_words >> 2;
  long_words &= long_words >> 4;
  long_words &= long_words >> 8;
  // The digits after a point, plus one at their first, carry to the byte
  // after them: a bit there.
  const std::uint64_t past_fractions = c.digits + (c.points << 1);
  return ~(c.digits | c.spaces | c.minuses | c.points) |
         (c.minuses & ((words << 1) | ~(c.digits >> 1))) |
         (c.points & ~((c.digits << 1) & (c.digits >> 1))) | (c.points & past_fractions) |
         long_words;
}

// Whether the 64 bytes at p, which is not inside a number, hold short
// decimals and white space alone: where a trace is made of them, real_block
// takes it.
inline bool short_decimals_only(const char* p) {
  return not_short_decimals(bytes::wide::classify64(p)) == 0;
}

// The short decimals (a minus perhaps, digits with a point between two of
// them perhaps, 15 bytes at most, white space around) among the 64 bytes at
// p, which is not inside a number, up to the first word that is not one:
// each converted on its own, as integer_block does with integers, and as
// scan_plain_decimal converts it, by one division. %g writes numbers of a few
// lengths in turn, too often for layouts to be right. Calls step for each,
// counts them and the newlines passed, and returns where it stopped: p
// itself when there was no such number. Reads the 64 bytes at p and, for
// each number, what number_before reads: in vector code the 16 bytes that
// end where it ends, which may begin up to 15 bytes before p.
template <class Step>
NETFIGURES_INLINE const char* real_block(const char* p, Step& step, std::int64_t& count,
                                         std::int64_t& line) {
  const bytes::Classes c = bytes::wide::classify64(p);
  const std::uint64_t words = ~c.spaces;
  const std::uint64_t past_fractions = c.digits + (c.points << 1);
  const std::uint64_t done = through_last_space(c.spaces, not_short_decimals(c));
  if (done == 0) return p;
  std::uint64_t starts = words & ~(words << 1) & done;
  std::uint64_t ends = words & ~(words >> 1) & done;
  // Where the digits before a point end, one a word: at its point, or past
  // the word where it has none.
  std::uint64_t wholes_ends = (c.points | ((ends << 1) & ~past_fractions)) & (done | (done << 1));
  count += bytes::count_bits(starts);  // once, not in the loop, as in integer_block
  while (starts != 0) {
    const int first = __builtin_ctzll(starts);
    const int end = __builtin_ctzll(ends) + 1;
    const int point = __builtin_ctzll(wholes_ends);
    const int negative = static_cast<int>(c.minuses >> first & 1);
    const int fraction = std::max(end - point - 1, 0);
    // At most kMaxExactDigits digits: signed, for the quicker conversion.
    const auto mantissa = static_cast<std::int64_t>(
        bytes::wide::number_before(p + end, end - first - negative, fraction));
    step(static_cast<double>(mantissa) / convert::signed_power_of_ten(fraction, negative != 0));
    starts &= starts - 1;
    ends &= ends - 1;
    wholes_ends &= wholes_ends - 1;
  }
  line += bytes::count_bits(c.newlines & done);
  return p + 64 - __builtin_clzll(done);
}

}  // namespace sample_input::fast
