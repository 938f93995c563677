// The reading loop shared by every program: it streams a file of white-space
// separated numbers through a fixed buffer and hands each number to the
// caller's step as soon as it is parsed. Nothing is stored, so memory stays
// the same whatever the length of the file.
//
// The buffer, and what the scanners and fast paths may assume of it:
//
//   [ context | unfinished token | block read ][NUL][kPadding NUL bytes]
//   ^ begin_                                    ^ end_
//
// - The data ends at end_, where a NUL byte stands, the sentinel: it ends
//   every number (no number holds a NUL) and is no white space, so every
//   byte loop stops there. kPadding readable bytes follow, all NUL.
// - No load starts past the sentinel, and none is wider than kWidestLoad
//   bytes, so no read goes past the padding. Every wide load starts at a
//   token's start, which is at or before the sentinel, or right after bytes
//   found to be digits, a point or a layout's own bytes, none of which is
//   the sentinel:
//     - Layout::matches loads 16 bytes at a number's start, and the next 16
//       only once those matched a layout that goes on. A layout holds digits
//       and the bytes of its own number (a point, an exponent's mark, white
//       space), never a NUL; the one byte it lets be anything (an exponent's
//       sign) is followed by digits and is never its sixteenth. So a match
//       lies wholly before the sentinel, and the layout run, which steps on
//       only past a match, stops there. In field mode, the text of a line's
//       fields after the chosen one is loaded only once the number and its
//       white space matched, so it starts at or before the sentinel too.
//     - The scanners (scan_real, scan_integer, the plain and long scans) load 16
//       bytes at the token's start, and the next 16, or 16 at each 16
//       digits, only where those were all digits or a point.
//     - The converters load 16 bytes at a number's start and 8 at each 8
//       digits within it (bytes::whole_digits), and a layout's exponent 8
//       bytes at its first digit.
//     - integer_block runs only where 64 bytes of data lie ahead; besides
//       those it loads 16 bytes at the start of each number in them.
//       real_block too, but with vector code it loads the 16 bytes that end
//       where each number ends, which may begin up to 15 bytes before the
//       block: it runs only where the buffer holds that many.
// - A full block always ends at the end of the buffer, so a fault past the
//   padding would show at every block edge (tests/fast_paths_test.cpp maps
//   the buffer right before a page that cannot be read).
// - The token that ends a block may go on in the next: it is scanned again
//   once the block is refilled, with up to kContext bytes before it for the
//   messages and at most kMaxNumberLength bytes of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "sample_input/bytes.hpp"
#include "sample_input/config.hpp"
#include "sample_input/convert.hpp"
#include "sample_input/fast_paths.hpp"
#include "sample_input/scan.hpp"

namespace sample_input {

// Bytes read into the buffer before each parsing pass (several read(2) calls
// where a pipe returns less). Tests pass tiny sizes so that every number can
// be made to straddle the edge between two reads. 256 KiB: a quarter of the
// read(2) calls of 64 KiB took 2% off the time of a one-column file and 5%
// off one of two columns; 512 KiB gained nothing more.
inline constexpr std::size_t kDefaultBlock = std::size_t{256} * 1024;

// The widest load of the scanners and the fast paths, and the readable bytes
// the buffer keeps after its sentinel for them (no load starts past it).
inline constexpr std::size_t kWidestLoad = 16;
inline constexpr std::size_t kPadding = kWidestLoad - 1;

// Why a read failed and where: the facts a message is made of.
struct ReadError {
  enum class What {
    kNone,
    kSystem,        // open(2) or read(2) failed: errnum holds the reason
    kNoNumber,      // the file holds nothing but white space
    kNotANumber,    // a token that does not begin a real number
    kNotAnInteger,  // a token that does not begin an integer
    kOutOfRange,    // an integer outside the 32-bit signed range
    kTooLong,       // a number longer than kMaxNumberLength
    kCompressed,    // the file begins with the magic bytes of a compressor
    kShortLine,     // a line with fewer fields than the one chosen
  };
  What what = What::kNone;
  int errnum = 0;
  std::int64_t line = 0;          // counts from 1; 0 where the whole file is at fault
  const char* path = "";          // as given; "-" is standard input
  char token[96] = {};            // the offending text, escaped and cut to a readable length
  const char* compressor = "";    // kCompressed: "gzip", "bzip2", "xz" or "zstd"
  const char* decompressor = "";  // and the command that undoes it: "zcat", ...
  int fields = 0;                 // kShortLine: how many fields the line has
  int field = 0;                  // and which one was chosen
  // Not a failure, but what a warning is made of: when no field is chosen and
  // each of the first lines holds the same count k >= 2 of numbers, k
  // (likely columns, all read as samples); 0 otherwise.
  int columns = 0;
};

// Which numbers of a file are the samples.
struct Selection {
  int field = 0;        // 0: every number; N: only the N-th field of each line, from 1
  bool header = false;  // the first line is a header, skipped whatever it holds
};

// Writes the bytes [begin, end) to out as printable text on one line:
// control characters and bytes that are not UTF-8 as \xNN, a backslash as
// \\. Without keep_utf8, every byte outside printable ASCII shows as \xNN
// (in a token, which no such byte belongs in, a no-break space or a
// look-alike minus must be seen). Stops with "..." before the text would pass
// room - 8 bytes; out is NUL-terminated. Returns the length written.
std::size_t escape(const char* begin, const char* end, char* out, std::size_t room,
                   bool keep_utf8 = true);

namespace detail {

// Text kept in front of a token, so that an error can quote the whole word
// around it.
inline constexpr std::size_t kContext = 64;
// The buffer: kept text and a block, the sentinel, the padding.
inline constexpr std::size_t kBufferSize =
    kContext + kMaxNumberLength + kDefaultBlock + 1 + kPadding;

// When the reading loop speculates on the layout of the last number. A trace
// holds one format, and then almost every number matches the layout of the
// one before. Where the format changes from line to line, learning and
// checking layouts costs more than it saves: after kPatience misses in a
// row the loop stops checking, and learns a layout only every kRetryEvery
// numbers, checking the next against it.
class Speculation {
 public:
  bool checking() const { return misses_ < kPatience; }
  bool learning() const { return checking() || misses_ % kRetryEvery == 0; }
  void hit() { misses_ = 0; }
  // A run of that many numbers of one layout ended. A short one (none
  // included) costs more at its end, in a mispredicted branch, than it
  // saved, and counts as a miss besides the number that ended it, so that
  // formats whose length changes every few numbers (%g) soon go to the
  // scanners. Whether to go on checking.
  bool ran(std::int64_t numbers) {
    misses_ = numbers >= kLongRun ? 0 : misses_ + 1;
    return checking();
  }
  // A mixed run (see Source::mixed_run) took that many numbers by the
  // layout, or -1: the others came too often for it to pay, and the reader
  // goes to the scanners until it learns again.
  void mixed(std::int64_t taken) {
    if (taken < 0) {
      misses_ = kPatience;
    } else {
      ran(taken);
    }
  }
  // A number that did not come from the layout run; learnt, if it was.
  void missed(bool learnt) { misses_ = learnt && !checking() ? kPatience - 1 : misses_ + 1; }
  // While nothing is checked: how many numbers go by before the next is learnt.
  std::int64_t until_learning() const {
    return static_cast<std::int64_t>(kRetryEvery - misses_ % kRetryEvery);
  }
  // That many numbers went by without a layout.
  void passed(std::int64_t numbers) { misses_ += static_cast<std::uint64_t>(numbers); }

 private:
  static constexpr std::uint64_t kPatience = 4;
  static constexpr std::uint64_t kRetryEvery = 64;
  static constexpr std::int64_t kLongRun = 4;
  // Numbers since the layout last matched (64 bits: it never wraps round). At
  // first nothing is learnt, so nothing is checked, and the first number is
  // learnt at once.
  std::uint64_t misses_ = kRetryEvery;
};

// Gives step the state of copy, a copy of it that a loop ran on. A step that
// holds its state (a struct of sums) is assigned; a lambda refers to its
// state, which the copy shares, and cannot be.
template <class Step>
void take_state(Step& step, const Step& copy) {
  if constexpr (std::is_copy_assignable_v<Step>) step = copy;
}

// The negative numbers of a layout's run where its loop looks for a minus
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

// How a run of a layout ended: at a number it does not match, at one it
// matched but could not convert, or at a minus among too many (Negatives).
enum class Ended { kUnmatched, kUnconverted, kSigned };

// Where the reading loop stands: kept in registers while it runs.
struct Cursor {
  const char* p;
  std::int64_t line;
  std::int64_t count;
};

// The open file and its buffer.
class Source {
 public:
  // buffer: kBufferSize bytes, which the reader may leave uninitialised.
  Source(const char* path, std::size_t block, ReadError& error, char* buffer);
  ~Source();
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  bool ok() const { return fd_ >= 0; }

  // Reads the first block and skips what comes before the samples: the
  // header line if selected; false on a failure, which has been recorded.
  bool start(const Selection& selection);

  // Hands each number of the file to step, a double or an std::int32_t as T
  // says; the count, or -1 with the error recorded.
  template <class T, class Step>
  NETFIGURES_INLINE std::int64_t each(Step& step) {
    Cursor c{at_, line_, 0};
    fast::Layouts layouts;
    Speculation speculation;
    bool long_decimal = false;  // the last number by the scanners
    // Short decimals of several layouts in turn (%g): the last mixed run of
    // a short layout found the others too often.
    bool short_reals = false;
    for (;;) {
      // Where layouts do not pay, integers and such short decimals go 64
      // bytes at a time, and other reals by the plain scanner in a loop of
      // its own, until the next learning.
      if (!speculation.learning()) {
        if constexpr (std::is_integral_v<T>) {
          integer_blocks(c, step);
        } else if (short_reals && !long_decimal) {
          short_reals = real_blocks(c, step);
        } else {
          // After a long decimal, which no layout is learnt of, perhaps more.
          std::int64_t numbers = 0;
          if (long_decimal) {
            numbers = long_decimals(c, speculation.until_learning(), step);
            c.count += numbers;
          }
          speculation.passed(numbers +
                             plain_run<T>(c, speculation.until_learning() - numbers, step));
        }
      }
      if (speculation.checking()) {
        const std::int64_t before = c.count;
        // Another layout only where this one missed: a number it matched but
        // could not convert goes to the scanners.
        const bool missed = layout_run<T>(c, layouts.current(), step);
        const bool checking = speculation.ran(c.count - before);
        // A real of another layout after a long one: a mixed run takes the
        // layout's numbers from among the others.
        if constexpr (std::is_floating_point_v<T>) {
          if (checking && missed && !layouts.current().is_short()) {
            speculation.mixed(long_loop<Loop::kMixed, T>(c, layouts.current(), step));
            continue;
          }
        }
        if (checking && missed && layouts.switch_to(c.p + bytes::is_minus(*c.p))) continue;
        // A real of another layout after some of a short one: perhaps one of
        // the few numbers in ten that %g writes shorter. Where they come
        // more often, 64 bytes at a time.
        if constexpr (std::is_floating_point_v<T>) {
          if (checking && missed && c.count != before && layouts.current().is_short()) {
            const std::int64_t taken = mixed_run<true>(c, layouts.current(), step);
            short_reals = taken < 0;
            speculation.mixed(taken);
            continue;
          }
        }
      }
      c.p = skip_space(c.p, c.line);
      const char* const token = c.p;
      T value{};
      bool learnt = false;
      if (!plain_number(c, layouts, speculation.learning(), value, learnt)) {
        const Next next = general_token(c, value);
        if (next == Next::kAgain) continue;
        if (next != Next::kValue) return next == Next::kEnd ? finish(c.count) : -1;
      }
      speculation.missed(learnt);
      long_decimal = c.p - token > scan::kShortDecimal + 1;
      step(value);
      ++c.count;
    }
  }

  // The same for field `field` (from 1) of each line: the other fields are
  // skipped, not parsed. Not in line: beside the every-number loop, in the
  // caller, it made the compiler keep the step's state (quellimar's sums) in
  // memory, stored at every number of a one-column file. It runs on a copy
  // of the step that nothing else reaches, kept in registers, and copies it
  // back at the end; the caller hands it a copy too, so that the address of
  // its own step never leaves it (see read_real_samples).
  template <class T, class Step>
  __attribute__((noinline)) NETFIGURES_UNPAIRED std::int64_t each_field(Step& step, int field) {
    Step local = step;
    Cursor c{at_, line_, 0};
    fast::LineLayout layout;
    Speculation speculation;
    Next next = Next::kAgain;
    while (next != Next::kEnd && next != Next::kFailed) {
      if (speculation.checking()) line_run<T>(c, layout, speculation, local);
      T value{};
      next = field_of_line(c, field, layout, speculation, value);
      if (next == Next::kValue) {
        local(value);
        ++c.count;
      }
    }
    take_state(step, local);
    return next == Next::kEnd ? finish(c.count) : -1;
  }

 private:
  // What a step of the loop came to: a value, nothing yet (a refill, a blank
  // line), the end of the file, or a failure, recorded.
  enum class Next { kValue, kAgain, kEnd, kFailed };

  // Integers 64 bytes at a time, while 64 bytes of data lie ahead: their
  // length changes from line to line, so layouts seldom help.
  template <class Step>
  NETFIGURES_INLINE void integer_blocks(Cursor& c, Step& step) {
    while (end_ - c.p >= 64) {
      const char* const next = fast::integer_block(c.p, step, c.count, c.line);
      if (next == c.p) return;
      c.p = next;
    }
  }

  // Short decimals 64 bytes at a time, while 64 bytes of data lie ahead
  // and 16 bytes of the buffer lie behind; false where the first block took
  // none.
  template <class Step>
  NETFIGURES_INLINE bool real_blocks(Cursor& c, Step& step) {
    const char* const from = c.p;
    while (end_ - c.p >= 64 && c.p - buffer_ >= 16) {
      const char* const next = fast::real_block(c.p, step, c.count, c.line);
      if (next == c.p) return next != from;
      c.p = next;
    }
    return true;
  }

  // The loops of a long layout: run, and mixed_run.
  enum class Loop { kRun, kMixed };

  // The numbers of the learnt layout that follow, each with its white space;
  // a short layout in a loop of its own, which touches nothing else, a long
  // one out of line (long_loop).
  // True where the run ended at a number the layout does not match, false
  // where it matched one it could not convert.
  // (The layout by value: a copy of its own, which nothing else can reach,
  // stays in registers through the run.)
  template <class T, class Step>
  // cppcheck-suppress passedByValue ; a copy on purpose, see above
  NETFIGURES_INLINE bool layout_run(Cursor& c, const fast::Layout layout, Step& step) {
    if constexpr (std::is_integral_v<T>) {
      if (layout.is_short() && layout.whole() <= 8) {
        return run<true, T, Step, true>(c, layout, step);
      }
    }
    if (layout.is_short()) return run<true, T>(c, layout, step);
    return long_loop<Loop::kRun, T>(c, layout, step) != 0;
  }

  // The loop of a long layout out of line: a second copy of it in the
  // every-number loop made the compiler keep more of that loop's state on
  // the stack (%g's short layouts took 6% more instructions). It runs on
  // copies of the cursor and the step, which it hands back: the address of
  // the every-number loop's own never leaves it, or the compiler would keep
  // them in memory through every loop. What the loop returns.
  template <Loop kLoop, class T, class Step>
  NETFIGURES_INLINE std::int64_t long_loop(Cursor& c, const fast::Layout& layout, Step& step) {
    Cursor at = c;
    Step copy = step;
    const std::int64_t result = out_of_line<kLoop, T>(at, layout, copy);
    c = at;
    take_state(step, copy);
    return result;
  }

  // In it, a copy of the step of its own is kept in registers, as in
  // each_field, and the layout by value, as in layout_run.
  template <Loop kLoop, class T, class Step>
  // cppcheck-suppress passedByValue ; a copy on purpose, as in layout_run
  __attribute__((noinline)) std::int64_t out_of_line(Cursor& c, const fast::Layout layout,
                                                     Step& step) {
    Step local = step;
    std::int64_t result;
    if constexpr (kLoop == Loop::kRun) {
      result = run<false, T>(c, layout, local);
    } else {
      result = mixed_run<false>(c, layout, local);
    }
    take_state(step, local);
    return result;
  }

  // The numbers of the layout that follow. Where negative numbers are few
  // (see Negatives), the minus is looked for only where the layout does not
  // match at a number's first byte; where they are not, the run ends,
  // kSigned, and goes on with kSigned true: the minus added without a
  // branch. kEight: an integer layout of up to eight digits, always in
  // range, whose value is that of eight bytes in a word. The cursor is a
  // local copy while the run lasts: the bytes are read through char
  // pointers, which may be the cursor itself for all the compiler knows, and
  // it would store the cursor at every number.
  template <bool kSigned, bool kShort, bool kEight, class T, class Step>
  NETFIGURES_INLINE Ended run_of(Cursor& at, const fast::Layout& layout, Step& step) {
    Negatives negatives(at.count);
    for (;;) {
      unsigned negative = 0;
      if constexpr (kSigned) {
        negative = bytes::is_minus(*at.p);
        if (!layout.matches<kShort>(at.p + negative)) return Ended::kUnmatched;
      } else if (__builtin_expect(!layout.matches<kShort>(at.p), 0)) {
        negative = bytes::is_minus(*at.p);
        if (negative == 0 || !layout.matches<kShort>(at.p + 1)) return Ended::kUnmatched;
        if (negatives.too_often(at.count)) return Ended::kSigned;
      }
      T value{};
      if constexpr (kEight) {
        const auto magnitude =
            static_cast<std::int32_t>(bytes::digits_value(at.p + negative, layout.whole()));
        value = negative != 0 ? -magnitude : magnitude;
      } else if (!layout.value<kShort>(at.p + negative, negative != 0, value)) {
        return Ended::kUnconverted;
      }
      at.line += layout.newlines();
      at.p += negative + layout.length();
      step(value);
      ++at.count;
    }
  }

  // True where the run ended at a number the layout does not match, false
  // where it matched one it could not convert.
  template <bool kShort, class T, class Step, bool kEight = false>
  NETFIGURES_INLINE bool run(Cursor& c, const fast::Layout& layout, Step& step) {
    Cursor at = c;
    Ended ended = run_of<false, kShort, kEight, T>(at, layout, step);
    if (ended == Ended::kSigned) ended = run_of<true, kShort, kEight, T>(at, layout, step);
    c = at;
    return ended == Ended::kUnmatched;
  }

  // Reals of a layout among which others come now and then, too often for
  // runs of the layout to pay (%g writes a number in five or so shorter,
  // where its last digits are zeros): each number of the layout as in run,
  // each other one by the plain scanner without leaving the loop, until
  // those come too often (each adds kMissDebt, each number of the layout
  // takes one off) or one is not of the common form, or the layout matches a
  // number it cannot convert. How many the layout took, or -1 where the
  // others came too often. A short layout must be right eight times in nine:
  // below that, real_block, which takes short decimals of every layout alike,
  // is quicker.
  template <bool kShort, class Step>
  // cppcheck-suppress passedByValue ; a copy on purpose, as in layout_run
  NETFIGURES_INLINE std::int64_t mixed_run(Cursor& c, const fast::Layout layout, Step& step) {
    constexpr std::int64_t kMissDebt = kShort ? 8 : 2;
    constexpr std::int64_t kMaxDebt = 64;
    Cursor at = c;
    std::int64_t taken = 0;
    std::int64_t scanned = 0;
    std::int64_t debt = 0;
    std::int64_t taken_before = 0;  // at the last number the layout missed
    bool paid = true;
    for (;;) {
      const unsigned negative = bytes::is_minus(*at.p);
      double value;
      if (layout.matches<kShort>(at.p + negative)) {
        // A short one always converts; a long one may leave a number to the scanners.
        if (!layout.value<kShort>(at.p + negative, negative != 0, value)) break;
        at.line += layout.newlines();
        at.p += negative + layout.length();
        ++taken;
      } else {
        debt = std::max<std::int64_t>(debt - (taken - taken_before), 0) + kMissDebt;
        taken_before = taken;
        paid = debt <= kMaxDebt;
        if (!paid) break;
        const char* const end = scan::scan_plain(at.p, value);
        if (end == nullptr) break;
        at.p = past_plain(end, at.line);
        ++scanned;
      }
      step(value);
    }
    at.count += taken + scanned;
    c = at;
    return paid ? taken : -1;
  }

  // Up to limit numbers of the common form, until one is not: how many.
  template <class T, class Step>
  NETFIGURES_INLINE std::int64_t plain_run(Cursor& c, std::int64_t limit, Step& step) {
    std::int64_t numbers = 0;
    for (c.p = skip_space(c.p, c.line); numbers < limit; ++numbers) {
      T value{};
      const char* const end = scan::scan_plain(c.p, value);
      if (end == nullptr) break;
      c.p = past_plain(end, c.line);
      step(value);
    }
    c.count += numbers;
    return numbers;
  }

  // Up to limit long decimals (scan::scan_long_decimal), until a number is
  // not one: how many, which the caller counts. Out of line on copies, as
  // long_loop.
  template <class Step>
  NETFIGURES_INLINE std::int64_t long_decimals(Cursor& c, std::int64_t limit, Step& step) {
    Cursor at = c;
    Step copy = step;
    const std::int64_t numbers = long_decimals_out_of_line(at, limit, copy);
    c = at;
    take_state(step, copy);
    return numbers;
  }

  template <class Step>
  __attribute__((noinline)) std::int64_t long_decimals_out_of_line(Cursor& c, std::int64_t limit,
                                                                   Step& step) {
    Step local = step;
    Cursor at = c;
    std::int64_t numbers = 0;
    // From the next number: the last may have left white space (the \n of
    // a \r\n) behind it.
    for (at.p = skip_space<true>(at.p, at.line); numbers < limit; ++numbers) {
      double value;
      const char* const end = scan::scan_long_decimal(at.p, value);
      if (end == nullptr) break;
      at.p = past_plain<true>(end, at.line);
      local(value);
    }
    c = at;
    take_state(step, local);
    return numbers;
  }

  // Past a plain number that ends at end, as scan_plain found it, and the
  // white space after it: the byte that ended it is white space, counted
  // without a test (see plain_number).
  // kByTable: white space told by bytes::is_space_by_table.
  template <bool kByTable = false>
  static const char* past_plain(const char* end, std::int64_t& line) {
    line += *end == '\n';
    return skip_space<kByTable>(end + 1, line);
  }

  template <bool kByTable = false>
  static const char* skip_space(const char* p, std::int64_t& line) {
    while (kByTable ? bytes::is_space_by_table(static_cast<unsigned char>(*p))
                    : bytes::is_space(static_cast<unsigned char>(*p))) {
      line += *p == '\n';
      ++p;
    }
    return p;
  }

  // A number of the common form, its layout learnt if learning pays and it
  // fits one; false where the general scanners must read it.
  template <class T>
  NETFIGURES_INLINE bool plain_number(Cursor& c, fast::Layouts& layouts, bool learning, T& value,
                                      bool& learnt) {
    const char* const end = scan::scan_plain(c.p, value);
    if (end == nullptr) return false;
    learnt = learning && layouts.learn(c.p, end);
    if (learnt) {  // the white space after the number is part of its layout
      c.line += layouts.current().newlines();
      c.p += bytes::is_minus(*c.p) + layouts.current().length();
    } else {  // past the white space that ended it, which the next number need not wait for
      c.line += *end == '\n';
      c.p = end + 1;
    }
    return true;
  }

  // The token at c.p by the general scanners; the end of the buffer refills
  // it, and a token that may go on in the next block is read again after.
  template <class T>
  NETFIGURES_INLINE Next general_token(Cursor& c, T& value) {
    line_ = c.line;  // for the messages
    if (c.p == end_) return eof_ ? Next::kEnd : refilled(c);
    const scan::Token<T> t = scan::scan_next(c.p, T{});
    if (t.seen == end_ && !eof_) return refilled(c);
    if (too_long(c.p, t.end)) return fail(ReadError::What::kTooLong, c.p);
    if (!token_value(t, c.p, value)) {
      // The scanners take a NUL for the end of the data; one inside it is
      // text, and the integer before it malformed, however large.
      const bool glued = t.status == scan::Status::kOutOfRange && t.end != end_ && *t.end == '\0';
      return fail(glued ? scan::Status::kNotAnInteger : t.status, c.p);
    }
    c.p = t.end;
    return Next::kValue;
  }

  // The value of the token t that begins at begin; false where it is none.
  template <class T>
  static bool token_value(const scan::Token<T>& t, const char* begin, T& value) {
    if (t.status == scan::Status::kValue) {
      value = t.value;
    } else if (t.status == scan::Status::kText) {
      value = static_cast<T>(convert::text_to_double(begin, t.end));  // only reals are kText
    } else {
      return false;
    }
    return true;
  }

  // The lines of the learnt line layout that follow: the number in the
  // chosen field of each, the rest skipped by a constant step. Where both of
  // its layouts are short, a loop of its own that touches nothing else. (By
  // value, as in layout_run.)
  template <class T, class Step>
  // cppcheck-suppress passedByValue ; a copy on purpose, see above
  NETFIGURES_INLINE void line_run(Cursor& c, const fast::LineLayout layout,
                                  Speculation& speculation, Step& step) {
    if (!layout.is_last()) {  // only short ones are learnt
      line_loop<true, false, T>(c, layout, speculation, step);
    } else if (layout.is_short()) {
      line_loop<true, true, T>(c, layout, speculation, step);
    } else {
      line_loop<false, true, T>(c, layout, speculation, step);
    }
  }

  template <bool kShort, bool kLast, class T, class Step>
  NETFIGURES_INLINE void line_loop(Cursor& c, const fast::LineLayout& layout,
                                   Speculation& speculation, Step& step) {
    Cursor at = c;  // a local copy, as in run
    if (lines_of<false, kShort, kLast, T>(at, layout, step) == Ended::kSigned) {
      lines_of<true, kShort, kLast, T>(at, layout, step);
    }
    if (at.count != c.count) speculation.hit();
    c = at;
  }

  // The lines of the layout that follow, the minus of their numbers as in
  // run_of. kLast: the chosen field is the last of the line; otherwise the
  // fields after it must match too before the number is taken.
  template <bool kSigned, bool kShort, bool kLast, class T, class Step>
  NETFIGURES_INLINE Ended lines_of(Cursor& at, const fast::LineLayout& layout, Step& step) {
    Negatives negatives(at.count);
    for (;;) {
      if (!layout.before.matches<kShort>(at.p)) return Ended::kUnmatched;
      const char* const field = at.p + layout.before.length();
      unsigned negative = 0;
      if constexpr (kSigned) {
        negative = bytes::is_minus(*field);
        if (!layout.number.matches<kShort>(field + negative)) return Ended::kUnmatched;
      } else if (__builtin_expect(!layout.number.matches<kShort>(field), 0)) {
        negative = bytes::is_minus(*field);
        if (negative == 0 || !layout.number.matches<kShort>(field + 1)) return Ended::kUnmatched;
        if (negatives.too_often(at.count)) return Ended::kSigned;
      }
      const char* const past = field + negative + layout.number.length();
      if constexpr (!kLast) {
        if (!layout.after.matches<kShort>(past)) return Ended::kUnmatched;
      }
      T value{};
      if (!layout.number.value<kShort>(field + negative, negative != 0, value)) {
        return Ended::kUnconverted;
      }
      ++at.line;
      at.p = kLast ? past : past + layout.after.length();
      step(value);
      ++at.count;
    }
  }

  // One line by the general path: the value of its field `field`, with the
  // line learnt as the layout of the next ones while learning pays. A blank
  // line gives nothing.
  template <class T>
  NETFIGURES_INLINE Next field_of_line(Cursor& c, int field, fast::LineLayout& layout,
                                       Speculation& speculation, T& value) {
    line_ = c.line;  // for the messages
    const char* const line = c.p;
    const std::int64_t blocks = blocks_;
    c.p = skip_blanks(c.p);
    if (*c.p == '\n') {
      ++c.p;
      ++c.line;
      return Next::kAgain;
    }
    if (c.p == end_) return eof_ ? Next::kEnd : refilled(c);
    if (!to_field(c, field)) return Next::kFailed;
    const char* const chosen = c.p;
    const Next next = chosen_field(c, value);
    if (next != Next::kValue) return next;
    if (!end_of_line(c)) return Next::kFailed;
    if (blocks_ == blocks && speculation.learning()) {  // the line is whole in the buffer
      T plain{};
      const char* const end = scan::scan_plain(chosen, plain);
      speculation.missed(end != nullptr && layout.learn(line, chosen, end, c.p));
    } else {
      speculation.missed(false);
    }
    return Next::kValue;
  }

  const char* skip_field_text(const char* p) const;
  // From the first field of a line at c.p to the start of field `field`;
  // false where the line has fewer fields or a refill failed (recorded).
  bool to_field(Cursor& c, int field);
  // Past the rest of the line at c.p and its newline; false where a refill
  // failed (recorded).
  bool end_of_line(Cursor& c);

  // The number that fills the field at c.p, scanned as general_token scans.
  template <class T>
  NETFIGURES_INLINE Next chosen_field(Cursor& c, T& value) {
    for (;;) {
      const scan::Token<T> t = scan::scan_next(c.p, T{});
      if (t.seen == end_ && !eof_) {  // the number may go on in the next block
        if ((c.p = refill(c.p)) == nullptr) return Next::kFailed;
        continue;
      }
      if (too_long(c.p, t.end)) return fail(ReadError::What::kTooLong, c.p);
      // The number must fill its field: "1-2" or "0.5abc" is no number there.
      const bool fills = bytes::is_space(static_cast<unsigned char>(*t.end)) || t.end == end_;
      if (!fills || !token_value(t, c.p, value)) {
        const scan::Status not_one =
            std::is_integral_v<T> ? scan::Status::kNotAnInteger : scan::Status::kNotANumber;
        return fail(t.status == scan::Status::kOutOfRange && fills ? t.status : not_one, c.p);
      }
      c.p = t.end;
      return Next::kValue;
    }
  }

  static const char* skip_blanks(const char* p) {
    while (*p != '\n' && bytes::is_space(static_cast<unsigned char>(*p))) ++p;
    return p;
  }

  static bool too_long(const char* begin, const char* end) {
    return static_cast<std::size_t>(end - begin) > kMaxNumberLength;
  }

  Next refilled(Cursor& c) { return (c.p = refill(c.p)) != nullptr ? Next::kAgain : Next::kFailed; }

  // Moves the unfinished token at p (with its context) in front of the next
  // block and reads that block; where p has moved to, or nullptr on a
  // failure, which has been recorded. (Not p by reference: the reading loop
  // keeps it in a register.)
  const char* refill(const char* p);
  // The move and the read of refill, without its checks; false with errno set.
  bool read_block(const char*& p);
  Next fail(scan::Status status, const char* at);
  Next fail(ReadError::What what, const char* at);
  std::int64_t finish(std::int64_t count);
  // Each of the first lines from p on holds this many numbers (at least 2), or 0.
  int columns(const char* p) const;

  ReadError& error_;
  int fd_ = -1;
  bool owns_fd_ = true;  // standard input is left open for whoever has it next
  std::size_t block_;
  bool eof_ = false;
  std::int64_t line_ = 1;
  std::int64_t offset_ = 0;  // where in the file begin_ lies
  std::int64_t blocks_ = 0;  // read so far: a pointer into the buffer is stale once it grows
  char* const buffer_;
  const char* begin_;  // where the data starts
  char* end_;          // where it ends and the sentinel stands
  const char* at_;     // where start() left the reading
};

}  // namespace detail

namespace detail {

// What read_real_samples and read_integer_samples do, T the kind of number.
template <class T, class Step>
NETFIGURES_INLINE std::int64_t read_samples(const char* path, Step& step, ReadError& error,
                                            const Selection& selection, std::size_t block) {
  char buffer[kBufferSize];
  Source source(path, block, error, buffer);
  if (!source.ok() || !source.start(selection)) return -1;
  if (selection.field > 0) {
    // A copy for the loop that is not in line: were the step's own address
    // to reach it, the compiler could no longer keep the step's state in
    // registers through the every-number loop below.
    std::decay_t<Step> copy = step;
    const std::int64_t n = source.each_field<T>(copy, selection.field);
    take_state(step, copy);
    return n;
  }
  return source.each<T>(step);
}

}  // namespace detail

// Reads the real numbers of the file at path ("-": standard input), calling
// step(double) for each in file order. Returns how many there were (at least
// one), or -1 with error filled in when the file cannot be read, holds no
// number, or holds text that is not a number.
// With a selection, only the chosen field of each line is read, after the
// header line if there is one.
// (In line in the caller, so that the step's state, such as a sum, stays in
// registers through the loop: the compiler then sees that nothing else
// reaches it. For that, a step should hold its state, a struct with an
// operator() in line, not refer to it as a lambda does; a field is read into
// a copy of the step, which is then assigned back.)
template <class Step>
NETFIGURES_INLINE std::int64_t read_real_samples(const char* path, Step&& step, ReadError& error,
                                                 const Selection& selection = {},
                                                 std::size_t block = kDefaultBlock) {
  return detail::read_samples<double>(path, step, error, selection, block);
}

// The same for integers: step(std::int32_t); a value outside the 32-bit
// signed range is an error, never a wrapped value.
template <class Step>
NETFIGURES_INLINE std::int64_t read_integer_samples(const char* path, Step&& step, ReadError& error,
                                                    const Selection& selection = {},
                                                    std::size_t block = kDefaultBlock) {
  return detail::read_samples<std::int32_t>(path, step, error, selection, block);
}

}  // namespace sample_input
