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
//     - Fields split by a delimiter are stepped over 16 bytes at a time
//       (bytes::wide::stop_mask16), the next 16 loaded only where none of
//       those was a stop, which the sentinel is.
//     - integer_block and real_block run only where 64 bytes of data lie
//       ahead. Besides those, with vector code, they load the 16 bytes that
//       end where each number ends (integer_block: each of 9 to 16 digits),
//       which may begin up to 15 bytes before the block: they run only where
//       the buffer holds that many. integer_block loads 8 bytes at each 8
//       digits of any other number of 9 digits or more, and of one of up to
//       8, 8 bytes at its start. The probe that chooses real_block
//       (fast::short_decimals_only) loads 64 bytes where as many lie ahead.
//     - long_integer_path loads 16 bytes at a number's start, and with vector
//       code the 16 bytes that end where its digits end, so it too runs only
//       where the buffer holds 16 bytes behind.
// - A full block always ends at the end of the buffer, so a fault past the
//   padding would show at every block edge (tests/fast_paths_test.cpp maps
//   the buffer right before a page that cannot be read).
// - The token that ends a block may go on in the next: it is scanned again
//   once the block is refilled, with up to kContext bytes before it for the
//   messages and at most kMaxNumberLength bytes of its own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "sample_input/bytes.hpp"
#include "sample_input/config.hpp"
#include "sample_input/convert.hpp"
#include "sample_input/fast_paths.hpp"
#include "sample_input/paths.hpp"
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
    kOutOfRange,    // an integer outside the 64-bit signed range
    kTooLong,       // a number longer than kMaxNumberLength
    kCompressed,    // the file begins with the magic bytes of a compressor
    kShortLine,     // a line with fewer fields than the one chosen
    kEmptyField,    // a line whose chosen field is empty (fields split by a delimiter)
    kOpenQuote,     // a quoted field whose quote does not close before its line ends
    kNoSuchName,    // no field of the header has the name chosen
    kNameTwice,     // two fields of the header have it
  };
  What what = What::kNone;
  int errnum = 0;
  std::int64_t line = 0;          // counts from 1; 0 where the whole file is at fault
  const char* path = "";          // as given; "-" is standard input
  char token[96] = {};            // the offending text, escaped and cut to a readable length
  const char* compressor = "";    // kCompressed: "gzip", "bzip2", "xz" or "zstd"
  const char* decompressor = "";  // and the command that undoes it: "zcat", ...
  int fields = 0;                 // kShortLine: how many fields the line has
  int field = 0;                  // and which one was chosen (kEmptyField too)
  const char* name = "";          // kNoSuchName, kNameTwice: the name chosen, as given
  int named[2] = {};              // kNameTwice: the two fields that have it
  char names[192] = {};           // kNoSuchName: the header's fields, each quoted, escaped, cut
  // Not failures, but what warnings are made of:
  // - when no field is chosen and each of the first lines holds the same
  //   count k >= 2 of numbers, k (likely columns, all read as samples); 0
  //   otherwise;
  int columns = 0;
  // - when no field is chosen, the first word of the first lines that holds
  //   numbers with no white space between them ("0.0-1.0", "2026-12-09"):
  //   its line (0: none), its text (cut) and where each number in it ends;
  struct Glued {
    std::int64_t line = 0;
    char word[48] = {};
    int ends[6] = {};
    int numbers = 0;  // in the whole word, which may be more than ends holds
  } glued;
  // - when a field is chosen among fields split by blanks, the first line
  //   with two tabs in one run of blanks before that field (an empty field
  //   to a file of tab-separated fields); 0: none.
  std::int64_t tabs = 0;
};

// Which numbers of a file are the samples.
struct Selection {
  int field = 0;        // 0: every number; N: only the N-th field of each line, from 1
  bool header = false;  // the first line is a header, skipped whatever it holds
  // With a field chosen: '\0', fields split by runs of blanks; or the one
  // byte that ends each field, as cut -d splits them (empty fields count; a
  // field that begins with a double quote runs to its closing quote, a
  // doubled one inside it standing for one, and may hold the delimiter).
  // Never a byte a number, a quote or a line end is made of.
  char delimiter = '\0';
  // Lines whose first byte that is not a space or a tab is '#' are skipped
  // as blank lines are, before the header too.
  bool comments = false;
  // With header and no field: the field the header names so, compared byte
  // for byte once its quotes and the blanks around it are gone.
  const char* name = nullptr;
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
// numbers, checking the next against it. (Every 64: 6 instructions a number
// of a mixed format, and 3% of the time of repr and %.17g, whose long
// decimals stop at each learning; every 256: a quarter of that.)
class Speculation {
 public:
  bool checking() const { return misses_ < kPatience; }
  bool learning() const { return checking() || misses_ % kRetryEvery == 0; }
  void hit() { misses_ = 0; }
  // A run of that many numbers of one layout ended. A short one (none
  // included) costs more at its end, in a mispredicted branch and a number
  // by the scanners, than it saved, and counts as a miss, so that formats
  // whose length changes every few numbers soon go to other paths. Short
  // decimals must take kLongDecimalRun to pay: real_block takes them all
  // alike, at 1.4 times a layout's time a number (%g against %.6f).
  void ran(std::int64_t numbers, bool short_decimals) {
    misses_ = numbers >= (short_decimals ? kLongDecimalRun : kLongRun) ? 0 : misses_ + 1;
  }
  // A number that did not come from a layout's run; learnt, if it was.
  void missed(bool learnt) { misses_ = learnt && !checking() ? kPatience - 1 : misses_ + 1; }
  // While nothing is checked: how many numbers go by before the next is learnt,
  // or the one after that many more chances to learn.
  std::int64_t until_learning(std::uint64_t chances = 1) const {
    return static_cast<std::int64_t>(chances * kRetryEvery - misses_ % kRetryEvery);
  }
  // That many numbers went by without a layout.
  void passed(std::int64_t numbers) { misses_ += static_cast<std::uint64_t>(numbers); }

 private:
  static constexpr std::uint64_t kPatience = 4;
  static constexpr std::uint64_t kRetryEvery = 256;
  static constexpr std::int64_t kLongRun = 4;
  static constexpr std::int64_t kLongDecimalRun = 16;
  // Numbers since the layout last matched (64 bits: it never wraps round). At
  // first nothing is learnt, so nothing is checked, and the first number is
  // learnt at once.
  std::uint64_t misses_ = kRetryEvery;
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
  // header line if selected (and the comment lines and blank lines before
  // it, with comments), taking the number of the field it names if a name
  // is chosen; false on a failure, which has been recorded. integers: the
  // numbers are integers, for what the first lines are found to hold.
  bool start(const Selection& selection, bool integers = false);

  // The field chosen, from 1 (named by the header, once start() read it); 0: none.
  int field() const { return field_; }

  // Hands each number of the file to step, a double or an std::int64_t as T
  // says; the count, or -1 with the error recorded. One number by the
  // general path, then the path of the shape the numbers take, until it
  // stops at a number it does not take; the shape is chosen anew where a
  // number is learnt (see Speculation) and where a layout stops paying.
  template <class T, class Step>
  std::int64_t each(Step& step) {
    Run<Step> r{{at_, line_, 0}, step};
    fast::Layout layout;
    Speculation speculation;
    Path bulk = Path::kPlain;  // the path while no layout is checked
    for (;;) {
      const bool learning = speculation.learning();
      const char* token = nullptr;
      T value{};
      const Next next = one_number(r.at, learning ? &layout : nullptr, speculation, token, value);
      if (next == Next::kAgain) continue;
      if (next != Next::kValue) return finish(next, r, step);
      r.step(value);
      ++r.at.count;
      took(Path::kOneByOne, 1);
      if (learning) bulk = bulk_path<T>(token, r.at.p);
      const bool checking = speculation.checking();
      if (checking) r = take<T>(Path::kLayout, std::move(r), layout, speculation);
      if (checking && speculation.checking()) continue;  // it pays: on with the next layout
      const std::int64_t before = r.at.count;
      r = take<T>(bulk, std::move(r), layout, speculation);
      // Only a few: numbers of the shape among others, which the plain
      // scanner takes until the next learning (see kFew).
      if (r.at.count - before < kFew) bulk = Path::kPlain;
    }
  }

  // The same for field `field` (from 1) of each line: the other fields are
  // skipped, not parsed. Each line by the general path, and while a line's
  // layout pays, the lines that follow it by Path::kLines. Fields split by
  // the selection's delimiter are read by a general path of their own; the
  // layout of a line holds its delimiters and quotes as it holds blanks.
  template <class T, class Step>
  std::int64_t each_field(Step& step, int field) {
    return delimiter_ != '\0' ? each_line<T, true>(step, field) : each_line<T, false>(step, field);
  }

 private:
  // What a step of the loop came to: a value, nothing yet (a refill, a blank
  // line), the end of the file, or a failure, recorded.
  enum class Next { kValue, kAgain, kEnd, kFailed };

  template <class T, bool kDelimited, class Step>
  std::int64_t each_line(Step& step, int field) {
    Run<Step> r{{at_, line_, 0}, step};
    fast::LineLayout layout;
    Speculation speculation;
    for (;;) {
      if (speculation.checking()) {
        const std::int64_t before = r.at.count;
        r = line_path<T>(std::move(r), layout);
        took(Path::kLines, r.at.count - before);
        if (r.at.count != before) speculation.hit();
      }
      T value{};
      const Next next = kDelimited ? delimited_line(r.at, field, layout, speculation, value)
                                   : field_of_line(r.at, field, layout, speculation, value);
      if (next == Next::kValue) {
        r.step(value);
        ++r.at.count;
        took(Path::kOneByOne, 1);
      } else if (next != Next::kAgain) {
        return finish(next, r, step);
      }
    }
  }

  // A path that takes fewer numbers than this at a time stops more often
  // than it pays: short decimals among longer ones (a mixed format), or
  // integers at the end of a block.
  static constexpr std::int64_t kFew = 4;

  // The path of the shape the numbers after token take while no layout is
  // checked: after an integer of 9 digits or more, long integers one at a
  // time; any other integers 64 bytes at a time; after a long decimal, long
  // decimals; where the 64 bytes ahead are all short decimals, those 64
  // bytes at a time; any other reals by the plain scanner.
  template <class T>
  Path bulk_path(const char* token, const char* p) const {
    if (std::is_integral_v<T>) {
      const char* const digits = token + bytes::is_minus(*token);
      return scan::skip_digits(digits) - digits > 8 ? Path::kLongIntegers : Path::kIntegers;
    }
    if (p - token > scan::kShortDecimal + 1) return Path::kLongDecimals;
    const bool room = end_ - p >= 64 && p - buffer_ >= 16;
    return room && fast::short_decimals_only(p) ? Path::kShortDecimals : Path::kPlain;
  }

  // The numbers that shape's path takes from r on.
  template <class T, class Step>
  Run<Step> take(Path shape, Run<Step> r, const fast::Layout& layout, Speculation& speculation) {
    constexpr bool kReals = std::is_floating_point_v<T>;
    const std::int64_t before = r.at.count;
    switch (shape) {
      case Path::kLayout:
        r = layout_path<T>(std::move(r), layout);
        speculation.ran(r.at.count - before, kReals && layout.is_short());
        break;
      case Path::kShortDecimals:
        if constexpr (kReals) r = block_path<T>(std::move(r), buffer_, end_);
        break;
      case Path::kLongDecimals:
        // A layout learnt at every fourth chance only: the learning stops the
        // loop, and at every chance it took 3 instructions a number of repr.
        if constexpr (kReals) r = long_decimal_path(std::move(r), speculation.until_learning(4));
        speculation.passed(r.at.count - before);
        break;
      case Path::kIntegers:
        if constexpr (!kReals) r = block_path<T>(std::move(r), buffer_, end_);
        break;
      case Path::kLongIntegers:
        if constexpr (!kReals) {
          r = long_integer_path(std::move(r), speculation.until_learning(), buffer_);
        }
        speculation.passed(r.at.count - before);
        break;
      default:
        r = plain_path<T>(std::move(r), speculation.until_learning());
        speculation.passed(r.at.count - before);
    }
    took(shape, r.at.count - before);
    return r;
  }

  // Hands the step's state back, and the count, or -1.
  template <class Step>
  std::int64_t finish(Next next, Run<Step>& r, Step& step) {
    step = std::move(r.step);
    return next == Next::kEnd ? finish(r.at.count) : -1;
  }

  // One number by the general path, the plain scanner first: where it is
  // read, its layout learnt into layout if that is given and the number fits
  // one; token where it began.
  template <class T>
  Next one_number(Cursor& c, fast::Layout* layout, Speculation& speculation, const char*& token,
                  T& value) {
    c.p = skip_space(c.p, c.line);
    token = c.p;
    const char* const end = scan::scan_plain(c.p, value);
    if (end == nullptr) {
      const Next next = general_token(c, value);
      if (next == Next::kValue) speculation.missed(false);
      return next;
    }
    const bool learnt = layout != nullptr && layout->learn(c.p, end);
    if (learnt) {  // the white space after the number is part of its layout
      c.line += layout->newlines();
      c.p += bytes::is_minus(*c.p) + layout->length();
    } else {  // past the white space that ended it, which the next number need not wait for
      c.line += *end == '\n';
      c.p = end + 1;
    }
    speculation.missed(learnt);
    return Next::kValue;
  }

  // The token at c.p by the general scanners; the end of the buffer refills
  // it, and a token that may go on in the next block is read again after.
  template <class T>
  Next general_token(Cursor& c, T& value) {
    line_ = c.line;  // for the messages
    if (c.p == end_) return eof_ ? Next::kEnd : refilled(c);
    if (comments_ && *c.p == '#' && at_line_start(c.p)) return skip_line(c);
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

  // One line by the general path: the value of its field `field`, with the
  // line learnt as the layout of the next ones while learning pays. A blank
  // line gives nothing.
  template <class T>
  Next field_of_line(Cursor& c, int field, fast::LineLayout& layout, Speculation& speculation,
                     T& value) {
    line_ = c.line;  // for the messages
    const char* const line = c.p;
    const std::int64_t blocks = blocks_;
    c.p = skip_blanks(c.p);
    if (*c.p == '\n') {
      ++c.p;
      ++c.line;
      return Next::kAgain;
    }
    if (c.p == end_) {
      if (eof_) return Next::kEnd;
      // Read on from the line's start, so that its blanks are seen whole
      // (two tabs may lie on either side of the edge); past them where
      // there are too many to keep.
      if (!too_long(line, end_)) c.p = line;
      return refilled(c);
    }
    if (comments_ && comment(line, c.p)) return skip_line(c);
    if (c.p - line > 1) note_tabs(line, c.p, c.line);
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

  // One line of fields split by the delimiter, by the general path, as
  // field_of_line reads a line of blank-separated ones.
  template <class T>
  Next delimited_line(Cursor& c, int field, fast::LineLayout& layout, Speculation& speculation,
                      T& value) {
    line_ = c.line;  // for the messages
    const std::int64_t blocks = blocks_;
    Held held{c.p, c.p};
    const Next begun = delimited_start(c);
    if (begun != Next::kValue) return begun;
    if (!to_delimited_field(c, held, field)) return Next::kFailed;
    if (!past_field(c, held)) return Next::kFailed;
    // A field longer than a number may be is too long whatever it holds,
    // however the blocks fell: one that did not fit in the buffer too.
    if (held.field == nullptr || too_long(held.field, c.p)) {
      const char* const from = held.field != nullptr
                                   ? held.field
                                   : c.p - std::min<std::ptrdiff_t>(c.p - begin_, kContext);
      return fail_text(ReadError::What::kTooLong, from, c.p);
    }
    const Text text = field_text(held.field, c.p);
    if (text.begin == text.end) {
      error_.field = field;
      return fail_line(ReadError::What::kEmptyField, held.line != nullptr ? held.line : held.field);
    }
    const scan::Status not_one =
        std::is_integral_v<T> ? scan::Status::kNotAnInteger : scan::Status::kNotANumber;
    if (!text.quotes_closed) return fail_text(not_one, text.begin, text.end);
    const scan::Token<T> t = scan::scan_next(text.begin, T{});
    // The number must fill its field, as in a line of blank-separated ones.
    const bool fills = t.end == text.end;
    if (!fills || !token_value(t, text.begin, value)) {
      // The scanner takes integer digits out of range for malformed where
      // a byte other than white space follows them: the delimiter or the
      // quote after a field's end does. Digits alone, not a real that is no
      // whole number (2.5).
      const char* const first = text.begin + bytes::is_sign(*text.begin);
      const bool digits = t.end != first && scan::skip_digits(first) == t.end;
      const bool out_of_range = t.status == scan::Status::kOutOfRange ||
                                (t.status == scan::Status::kNotAnInteger && digits);
      return fail_text(out_of_range && fills ? scan::Status::kOutOfRange : not_one, text.begin,
                       text.end);
    }
    if (!rest_of_line(c, held)) return Next::kFailed;
    const bool whole = blocks_ == blocks;  // the line is in the buffer as it began
    if (whole && speculation.learning() && plain_number<T>(text.begin, text.end)) {
      speculation.missed(layout.learn(held.line, text.begin, text.end, c.p));
    } else {
      speculation.missed(false);
    }
    return Next::kValue;
  }

  // A delimited line being read: where it began and where its current field
  // began, each nullptr once no longer in the buffer (a line or a field may
  // be longer than a number).
  struct Held {
    const char* line;
    const char* field;
  };

  // Reads the next block where the data at c.p has run out, keeping the
  // held line if it fits, or else its held field, or else nothing before
  // c.p; moves c.p and what is held with the text; false on a failure,
  // which has been recorded.
  bool read_on(Cursor& c, Held& held);
  // From the start of a delimited line at c.p: a blank line (blanks other
  // than the delimiter) or a comment passed, or the refill or the end of
  // the data met; kValue where c.p is then at the first field, past its
  // blanks.
  Next delimited_start(Cursor& c);
  // From the first field of a delimited line at c.p to the start of field
  // `field`; false where the line has fewer (recorded) or a refill failed.
  bool to_delimited_field(Cursor& c, Held& held, int field);
  // Past the field at c.p, to the delimiter or the newline that ends it (or
  // the end of the data): a quoted one past its closing quote first; false
  // where its quote does not close (recorded) or a refill failed.
  bool past_field(Cursor& c, Held& held);
  // From the end of the chosen field at c.p past the newline, each field's
  // quotes checked; false as past_field.
  bool rest_of_line(Cursor& c, Held& held);

  // The text of the field [begin, end) without the blanks around it and,
  // where it is quoted, without its quotes and the blanks inside them;
  // quotes_closed false where text stands after the closing quote or a
  // doubled quote inside (no number has either), the text then being the
  // field as written.
  struct Text {
    const char* begin;
    const char* end;
    bool quotes_closed;
  };
  static Text field_text(const char* begin, const char* end);

  // Whether the number [begin, end), which a scanner read whole, has the
  // form a layout is learnt from: a minus perhaps, digits, and for reals a
  // point and an exponent (no plus sign before it all, no hexadecimal, inf
  // or nan); at most kMaxIntegerDigits digits for integers.
  template <class T>
  static bool plain_number(const char* begin, const char* end) {
    const char* s = begin + bytes::is_minus(*begin);
    if (s == end || !bytes::is_digit(*s)) return false;
    if constexpr (std::is_integral_v<T>) {
      return end - s <= convert::kMaxIntegerDigits &&
             std::all_of(s, end, [](char c) { return bytes::is_digit(c); });
    }
    return std::all_of(s, end, [](char c) {
      return bytes::is_digit(c) || c == '.' || (c | 0x20) == 'e' || bytes::is_sign(c) != 0;
    });
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
  Next chosen_field(Cursor& c, T& value) {
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

  // Whether the line that begins at line is a comment, p past its blanks:
  // its first byte but spaces and tabs is '#'.
  static bool comment(const char* line, const char* p) {
    return *p == '#' && std::all_of(line, p, [](char c) { return c == ' ' || c == '\t'; });
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
  // The same, quoting [begin, end), all in the buffer.
  Next fail_text(scan::Status status, const char* begin, const char* end);
  Next fail_text(ReadError::What what, const char* begin, const char* end);
  // The same, quoting from `from` to the end of its line.
  Next fail_line(ReadError::What what, const char* from);
  // Past the line at c.p, a comment, and its newline; kAgain, or kFailed
  // where a refill failed (recorded).
  Next skip_line(Cursor& c);
  // Whether p, where a word begins, is where its line begins but for spaces and tabs.
  bool at_line_start(const char* p) const;
  // Notes the line of a run of blanks [begin, end) before the chosen field
  // that holds two tabs, if it is the first (see ReadError::tabs).
  void note_tabs(const char* begin, const char* end, std::int64_t line);
  // Past the comment lines and blank lines at p, for the header; false
  // where a refill failed (recorded).
  bool skip_comments(const char*& p);
  // Reads the header at p, finds the field named `name` and goes past it;
  // false where none or two have that name, or the data failed (recorded).
  bool find_name(const char*& p, const char* name);
  // One field [begin, end) of the header, the index-th, compared with the
  // name and listed for the message; nullptr begin: one too long to hold.
  void header_field(const char* begin, const char* end, int index, const char* name);
  std::int64_t finish(std::int64_t count);
  // Each of the first lines from p on holds this many numbers (at least 2),
  // or 0; notes the first word among them that holds numbers with no white
  // space between them (ReadError::glued).
  int columns(const char* p, bool integers);
  // How many numbers the word [begin, end) holds, as the scanners read them
  // one after another, noted in glued where more than one; where it holds
  // text that is no number, 1.
  int numbers_in(const char* begin, const char* end, bool integers, ReadError::Glued& glued) const;

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
  // What the selection asks for (see Selection); the field as start() took it.
  char delimiter_ = '\0';
  bool comments_ = false;
  int field_ = 0;
  // Whether the text dropped from before begin_ ends where a line begins but
  // for spaces and tabs, so that a '#' at begin_ may begin a comment.
  bool begins_line_ = true;
};

// Calls the step it points to: a step the reading loop can copy and assign
// back, in place of one that cannot be assigned (a lambda).
template <class Step>
class Forward {
 public:
  explicit Forward(Step& step) : step_(&step) {}
  template <class T>
  void operator()(T value) const {
    (*step_)(value);
  }

 private:
  Step* step_;
};

// What read_real_samples and read_integer_samples do, T the kind of number.
// The loop runs on a copy of the step, assigned back at the end: a step
// that holds its state (a struct of sums) is copied, one that cannot be
// assigned is called through a pointer to it.
template <class T, class Step>
std::int64_t read_samples(const char* path, Step& step, ReadError& error,
                          const Selection& selection, std::size_t block) {
  if constexpr (!std::is_copy_assignable_v<Step>) {
    Forward<Step> forward(step);
    return read_samples<T>(path, forward, error, selection, block);
  } else {
    char buffer[kBufferSize];
    Source source(path, block, error, buffer);
    if (!source.ok() || !source.start(selection, std::is_integral_v<T>)) return -1;
    return source.field() > 0 ? source.each_field<T>(step, source.field()) : source.each<T>(step);
  }
}

}  // namespace detail

// Reads the real numbers of the file at path ("-": standard input), calling
// step(double) for each in file order. Returns how many there were (at least
// one), or -1 with error filled in when the file cannot be read, holds no
// number, or holds text that is not a number.
// With a selection, only the chosen field of each line is read, after the
// header line if there is one.
// (The loop runs on a copy of the step, which keeps its state in registers;
// a step should hold its state, a struct with an operator() in line, rather
// than refer to it as a lambda does.)
template <class Step>
std::int64_t read_real_samples(const char* path, Step&& step, ReadError& error,
                               const Selection& selection = {}, std::size_t block = kDefaultBlock) {
  return detail::read_samples<double>(path, step, error, selection, block);
}

// The same for integers: step(std::int64_t); a value outside the 64-bit
// signed range is an error, never a wrapped value. A real whose value is an
// integer (1448.0, 1.448e+03) reads as that integer; any other is an error.
template <class Step>
std::int64_t read_integer_samples(const char* path, Step&& step, ReadError& error,
                                  const Selection& selection = {},
                                  std::size_t block = kDefaultBlock) {
  return detail::read_samples<std::int64_t>(path, step, error, selection, block);
}

}  // namespace sample_input
