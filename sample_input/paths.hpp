// The reading loop's paths, one for each shape a trace takes (docs/reader.md
// has the table of shapes, paths and what each assumes). Each path is a loop
// in a function of its own, which takes the cursor and the step by value and
// hands them back (Run): nothing else can reach its copies, so they stay in
// registers. Were the address of a step or a cursor to reach a function the
// compiler does not see into, every loop that touches them would keep them
// in memory and store them at every number. Each path stops at the first
// number it does not take and leaves it to the general scanners.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "sample_input/bytes.hpp"
#include "sample_input/config.hpp"
#include "sample_input/fast_paths.hpp"
#include "sample_input/scan.hpp"

namespace sample_input::detail {

// Where the reading loop stands.
struct Cursor {
  const char* p;
  std::int64_t line;
  std::int64_t count;
};

// What a path runs on, and hands back.
template <class Step>
struct Run {
  Cursor at;
  Step step;
};

// The paths, and the counter of the numbers each took (compiled in only for
// the test that pins which path serves which shape).
enum class Path {
  kLayout,
  kShortDecimals,
  kLongDecimals,
  kIntegers,
  kLongIntegers,
  kPlain,
  kLines,
  kOneByOne
};

#ifdef NETFIGURES_PATH_SHARES
inline std::int64_t path_numbers[8] = {};
inline void took(Path path, std::int64_t numbers) {
  path_numbers[static_cast<int>(path)] += numbers;
}
#else
inline void took(Path, std::int64_t) {}
#endif

template <bool kByTable = false>
const char* skip_space(const char* p, std::int64_t& line) {
  while (kByTable ? bytes::is_space_by_table(static_cast<unsigned char>(*p))
                  : bytes::is_space(static_cast<unsigned char>(*p))) {
    line += *p == '\n';
    ++p;
  }
  return p;
}

// Past a plain number that ends at end, as scan_plain found it, and the white
// space after it: the byte that ended it is white space, counted without a test.
template <bool kByTable = false>
const char* past_plain(const char* end, std::int64_t& line) {
  line += *end == '\n';
  return skip_space<kByTable>(end + 1, line);
}

// The negative numbers of a layout's run, where its loop looks for a minus
// only where a number does not match at its first byte: a branch,
// mispredicted at each negative number, but the next number then does not
// wait on the load of this one's first byte. Whether they come too often
// for that: more often than one in six (each adds kDebt, each number between
// takes one off).
class Negatives {
 public:
  explicit Negatives(std::int64_t count) : last_(count) {}
  // One more, the number count of the file.
  bool too_often(std::int64_t count) {
    debt_ = std::max<std::int64_t>(debt_ - (count - last_), 0) + kDebt;
    last_ = count;
    return debt_ > kMaxDebt;
  }

 private:
  static constexpr std::int64_t kDebt = 6;
  static constexpr std::int64_t kMaxDebt = 48;
  std::int64_t last_;
  std::int64_t debt_ = 0;
};

// How a run of a layout ended: at text it does not match, at a number it
// matched but could not convert, or at a minus among too many (Negatives).
enum class Ended { kUnmatched, kUnconverted, kSigned };

// The numbers of one layout, one after another: the layout of the number
// alone (kShort: a short one, see Layout::is_short). kEight: an integer
// layout of up to eight digits, always in range, whose value is that of
// eight bytes in a word.
template <bool kShort, bool kEight>
struct Numbers {
  static constexpr bool kMinusApart = true;
  fast::Layout layout;
  NETFIGURES_INLINE const fast::Layout& number() const { return layout; }
  NETFIGURES_INLINE static bool lead(const char*) { return true; }
  NETFIGURES_INLINE static const char* field(const char* p) { return p; }
  NETFIGURES_INLINE static bool tail(const char*) { return true; }
  NETFIGURES_INLINE static const char* next(const char* past) { return past; }
  NETFIGURES_INLINE int newlines() const { return layout.newlines(); }
  template <class T>
  NETFIGURES_INLINE bool value(const char* p, bool negative, T& out) const {
    if constexpr (kEight) {
      const auto magnitude = static_cast<std::int64_t>(bytes::digits_value(p, layout.whole()));
      out = negative ? -magnitude : magnitude;
      return true;
    }
    return layout.value<kShort>(p, negative, out);
  }
};

// The lines of one line layout, in field mode: the text before the chosen
// field, its number, and (but where kLast, the chosen field being the last)
// the text of the fields after it.
template <bool kShort, bool kLast>
struct Lines {
  static constexpr bool kMinusApart = kLast;
  fast::LineLayout line;
  NETFIGURES_INLINE const fast::Layout& number() const { return line.number; }
  NETFIGURES_INLINE bool lead(const char* p) const { return line.before.matches<kShort>(p); }
  NETFIGURES_INLINE const char* field(const char* p) const { return p + line.before.length(); }
  NETFIGURES_INLINE bool tail(const char* past) const {
    return kLast || line.after.matches<kShort>(past);
  }
  NETFIGURES_INLINE const char* next(const char* past) const {
    return kLast ? past : past + line.after.length();
  }
  NETFIGURES_INLINE static int newlines() { return 1; }
  template <class T>
  NETFIGURES_INLINE bool value(const char* p, bool negative, T& out) const {
    return line.number.value<kShort>(p, negative, out);
  }
};

// Takes the number of the layout at p, past a minus where negative: the
// text after it checked, its value handed on, the cursor moved past it. Where
// it cannot, false, and ended says why.
template <bool kShort, class T, class Of, class Step>
NETFIGURES_INLINE bool take(Cursor& at, const Of& of, const char* p, unsigned negative, Step& step,
                            Ended& ended) {
  const char* const past = p + negative + of.number().length();
  if (!of.tail(past)) {
    ended = Ended::kUnmatched;
    return false;
  }
  T value{};
  if (!of.value(p + negative, negative != 0, value)) {
    ended = Ended::kUnconverted;
    return false;
  }
  at.line += of.newlines();
  at.p = of.next(past);
  step(value);
  ++at.count;
  return true;
}

// The numbers of the layout that follow. Where negative numbers are few (see
// Negatives), the minus is looked for only where the layout does not match
// at a number's first byte; where they are not, the run ends, kSigned, and
// goes on with kSigned true: the minus added without a branch. Where
// Of::kMinusApart, a number with a minus among few is taken by a copy of its
// own, so that the others' take knows there is none (merged, the two cost
// three instructions a number of %.6f; apart, three more a line where text
// follows the chosen field, which leaves the loop short of registers).
template <bool kSigned, bool kShort, class T, class Of, class Step>
NETFIGURES_INLINE Ended run_of(Cursor& at, const Of& of, Step& step) {
  Negatives negatives(at.count);
  Ended ended{};
  for (;;) {
    if (!of.lead(at.p)) return Ended::kUnmatched;
    const char* const p = of.field(at.p);
    unsigned negative = 0;
    if constexpr (kSigned) {
      negative = bytes::is_minus(*p);
      if (!of.number().template matches<kShort>(p + negative)) return Ended::kUnmatched;
    } else if (__builtin_expect(!of.number().template matches<kShort>(p), 0)) {
      negative = bytes::is_minus(*p);
      if (negative == 0 || !of.number().template matches<kShort>(p + 1)) return Ended::kUnmatched;
      if (negatives.too_often(at.count)) return Ended::kSigned;
      if constexpr (Of::kMinusApart) {
        if (!take<kShort, T>(at, of, p, 1, step, ended)) return ended;
        continue;
      }
    }
    if (!take<kShort, T>(at, of, p, negative, step, ended)) return ended;
  }
}

// The run of run_of on Of, out of line on copies of its own.
template <bool kShort, class T, class Of, class Step>
__attribute__((noinline)) Run<Step> run_apart(Run<Step> r, const Of& learnt) {
  Cursor at = r.at;
  Step step = std::move(r.step);
  const Of of = learnt;
  if (run_of<false, kShort, T>(at, of, step) == Ended::kSigned) {
    run_of<true, kShort, T>(at, of, step);
  }
  return {at, std::move(step)};
}

// Path::kLayout, for traces of one fixed-width format (%.6f, %.9f, %e,
// %.18e, integers of a fixed number of digits): the numbers of the learnt
// layout that follow, each with its white space, found by one or two 16-byte
// compares and a constant step, so that no number waits for the one before
// it to be measured. Assumes every number has the bytes of the last, digits
// aside; a minus is told by itself. Instructions a number, against the plain
// scanner: %.6f 38 and 114, %e 94 and 218, %.18e 160 and 280, 7 digits 38
// and 98.
template <class T, class Step>
Run<Step> layout_path(Run<Step> r, const fast::Layout& layout) {
  if constexpr (std::is_integral_v<T>) {
    if (layout.is_short() && layout.whole() <= 8) {
      return run_apart<true, T>(std::move(r), Numbers<true, true>{layout});
    }
  }
  if (layout.is_short()) return run_apart<true, T>(std::move(r), Numbers<true, false>{layout});
  return run_apart<false, T>(std::move(r), Numbers<false, false>{layout});
}

// Path::kLines, for columns written by one printf (-f N): the lines of the
// learnt line layout that follow, the text around the chosen field compared
// as a layout's bytes are. Instructions a number of -f 2 on two columns: 45
// against 438 by the general field path.
template <class T, class Step>
Run<Step> line_path(Run<Step> r, const fast::LineLayout& layout) {
  if (!layout.is_last()) {  // only short ones are learnt
    return run_apart<true, T>(std::move(r), Lines<true, false>{layout});
  }
  if (layout.is_short()) return run_apart<true, T>(std::move(r), Lines<true, true>{layout});
  return run_apart<false, T>(std::move(r), Lines<false, true>{layout});
}

// Path::kPlain, for formats that change from line to line (mixed), and what
// the other paths leave between learning points: up to limit numbers of the
// common form (scan::scan_plain), a sign, up to 19 digits past leading zeros
// with a point, an exponent, white space after. 160 instructions a number
// of a mixed format.
template <class T, class Step>
__attribute__((noinline)) Run<Step> plain_path(Run<Step> r, std::int64_t limit) {
  Cursor at = r.at;
  Step step = std::move(r.step);
  std::int64_t numbers = 0;
  for (at.p = skip_space(at.p, at.line); numbers < limit; ++numbers) {
    T value{};
    const char* const end = scan::scan_plain(at.p, value);
    if (end == nullptr) break;
    at.p = past_plain(end, at.line);
    step(value);
  }
  at.count += numbers;
  return {at, std::move(step)};
}

// Path::kLongDecimals, for Python's repr and %.17g: up to limit long
// decimals (scan::scan_long_decimal), 16 to 31 bytes of digits with one point
// among the first 16 and no exponent, too changeable in length for layouts.
// Instructions a number of repr, the reader alone: 142 against 232 by the
// plain scanner; 100 by the copy for AVX2 (see long_decimal_path).
template <class Step>
NETFIGURES_INLINE Run<Step> long_decimals(Run<Step> r, std::int64_t limit) {
  Cursor at = r.at;
  Step step = std::move(r.step);
  std::int64_t numbers = 0;
  // From the next number: the last may have left white space (the \n of a
  // \r\n) behind it.
  for (at.p = skip_space<true>(at.p, at.line); numbers < limit; ++numbers) {
    double value;
    const char* const end = scan::scan_long_decimal(at.p, value);
    if (end == nullptr) break;
    at.p = past_plain<true>(end, at.line);
    step(value);
  }
  at.count += numbers;
  return {at, std::move(step)};
}

// long_decimals for any processor this build runs on. (The loop written as
// this function's own body took one instruction a number more.)
template <class Step>
__attribute__((noinline)) Run<Step> long_decimals_baseline(Run<Step> r, std::int64_t limit) {
  return long_decimals(std::move(r), limit);
}

#if NETFIGURES_SSE2
// long_decimals with scan::scan_long_decimal_avx2, compiled for AVX2 and the
// bit instructions of its processors. The loop is long_decimals' own: the
// scanner, compiled for them, can only be taken in line into a function
// compiled for them too.
template <class Step>
__attribute__((noinline, target("avx2,bmi,bmi2,lzcnt,popcnt"))) Run<Step> long_decimals_avx2(
    Run<Step> r, std::int64_t limit) {
  Cursor at = r.at;
  Step step = std::move(r.step);
  std::int64_t numbers = 0;
  for (at.p = skip_space<true>(at.p, at.line); numbers < limit; ++numbers) {
    double value;
    const char* const end = scan::scan_long_decimal_avx2(at.p, value);
    if (end == nullptr) break;
    at.p = past_plain<true>(end, at.line);
    step(value);
  }
  at.count += numbers;
  return {at, std::move(step)};
}
#endif

// The long-decimal loop, its AVX2 copy where the processor runs that.
template <class Step>
Run<Step> long_decimal_path(Run<Step> r, std::int64_t limit) {
#if NETFIGURES_SSE2
  if (kAvx2) return long_decimals_avx2(std::move(r), limit);
#endif
  return long_decimals_baseline(std::move(r), limit);
}

// Path::kLongIntegers, for integers of changing length that reach 9 digits
// and more (byte counters of 11 to 13 digits): up to limit integers, a
// minus perhaps, 1 to 16 digits (always in range) and white space after,
// one at a time. Each number's digits are found by one 16-byte compare and
// converted by a ladder of constant weights from the 16 bytes that end with
// them (bytes::wide::digits_before): where numbers are long, the 64-byte
// blocks of Path::kIntegers spend more on classifying their bytes than a
// number here waits for the one before it to be measured. Runs only where
// the buffer holds 16 bytes behind at.p. Instructions a number of 11 to 13
// digits: 61 against 100 by 64-byte blocks, and 0.89 times the time.
template <class Step>
__attribute__((noinline)) Run<Step> long_integer_path(Run<Step> r, std::int64_t limit,
                                                      const char* begin) {
  Cursor at = r.at;
  Step step = std::move(r.step);
  std::int64_t numbers = 0;
  for (const char* p = at.p; numbers < limit && p - begin >= 16;) {
    unsigned digits = bytes::wide::digit_mask16(p);
    unsigned negative = 0;
    if (__builtin_expect((digits & 1) == 0, 0)) {  // a minus, more white space, or the end
      if (bytes::is_space(static_cast<unsigned char>(*p))) {
        p = skip_space(p, at.line);
        at.p = p;
        continue;
      }
      negative = bytes::is_minus(*p);
      if (negative == 0) break;
      digits = bytes::wide::digit_mask16(++p);
    }
    const int length = __builtin_ctz(~digits);  // 16 at most: ~digits has bits 16 and up set
    const auto after = static_cast<unsigned char>(p[length]);
    if (length == 0 || !bytes::is_space_by_table(after)) break;
    const auto magnitude =
        static_cast<std::int64_t>(bytes::wide::digits_before(p + length, length));
    at.line += after == '\n';
    p += length + 1;
    at.p = p;
    step(negative != 0 ? -magnitude : magnitude);
    ++numbers;
  }
  at.count += numbers;
  return {at, std::move(step)};
}

// Path::kShortDecimals and Path::kIntegers, 64 bytes at a time while 64
// bytes of data lie ahead of end and 16 bytes of the buffer behind:
// - kShortDecimals (T double), for %g (lengths that change every few
//   numbers) and columns of short decimals read without -f, by
//   fast::real_block. Against the plain scanner: 99 and 114 instructions a
//   number of %g; two columns 0.70 times the time.
// - kIntegers, for integers of changing length (packet sizes), by
//   fast::integer_block; blocks of integers of four digits or fewer all
//   converted at once. Instructions a number of packet sizes: 42 against 90
//   by the plain scanner (54 converted one by one, and 0.69 times the time
//   of that).
template <class T, class Step>
__attribute__((noinline)) Run<Step> block_path(Run<Step> r, const char* begin, const char* end) {
  Cursor at = r.at;
  Step step = std::move(r.step);
  while (end - at.p >= 64 && at.p - begin >= 16) {
    const char* next;
    if constexpr (std::is_integral_v<T>) {
      next = fast::integer_block(at.p, step, at.count, at.line);
    } else {
      next = fast::real_block(at.p, step, at.count, at.line);
    }
    if (next == at.p) break;
    at.p = next;
  }
  return {at, std::move(step)};
}

}  // namespace sample_input::detail
