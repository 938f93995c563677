// The reading loop shared by every program: it streams a file of white-space
// separated numbers through a fixed buffer and hands each number to the
// caller's step as soon as it is parsed. Nothing is stored, so memory stays
// the same whatever the length of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace sample_input {

// Bytes asked of each read(2). Tests pass tiny sizes so that every number can
// be made to straddle the edge between two reads.
inline constexpr std::size_t kDefaultBlock = 64 * 1024;

// A number may be this long and still read exactly; a longer one fails the run
// at its line rather than yield a value cut short.
inline constexpr std::size_t kMaxNumberLength = 64 * 1024;

// Why a read failed and where, in enough detail for one line on stderr.
struct ReadError {
  enum class What {
    kNone,
    kSystem,         // open(2) or read(2) failed: errnum holds the reason
    kNoNumber,       // the file holds nothing but white space
    kNotANumber,     // a token that does not begin a real number
    kNotAnInteger,   // a token that does not begin an integer
    kOutOfRange,     // an integer outside the 32-bit signed range
    kTooLong,        // a number longer than kMaxNumberLength
  };
  What what = What::kNone;
  int errnum = 0;
  std::int64_t line = 0;  // counts from 1; 0 where the whole file is at fault
  const char* path = "";
  char token[96] = {};  // the offending text, escaped and cut to a readable length

  // Writes "PROGRAM: PATH:LINE: what is wrong: 'TOKEN'" or "PROGRAM: PATH: reason".
  void print(const char* program, std::FILE* to = stderr) const;
};

namespace detail {

inline bool is_space(unsigned char c) { return c == ' ' || static_cast<unsigned>(c - '\t') < 5u; }
inline bool is_digit(unsigned char c) { return static_cast<unsigned>(c - '0') < 10u; }

// A scanned token. Scans stop at the first character that cannot continue the
// number; the buffer ends in a NUL sentinel, so no scan needs a bounds check.
struct Token {
  const char* end;   // one past the token's last character
  const char* seen;  // the character that ended the scan (past `end` after a lookahead)
  bool ok;           // false: not a number of this kind
};

Token scan_real_rare(const char* s);  // inf, nan, hexadecimal, malformed

// The longest prefix of p in the syntax of a C "%lf" conversion.
inline Token scan_real(const char* p) {
  const char* s = p + (*p == '+' || *p == '-');
  const char* const first = s;
  while (is_digit(*s)) ++s;
  if (s == first + 1 && *first == '0' && (*s | 0x20) == 'x') return scan_real_rare(first);
  bool digits = s != first;
  if (*s == '.') {
    const char* const fraction = ++s;
    while (is_digit(*s)) ++s;
    digits = digits || s != fraction;
  }
  if (!digits) return s != first ? Token{s, s, false} : scan_real_rare(first);  // "." or "-."
  if ((*s | 0x20) == 'e') {
    const char* e = s + 1;
    e += (*e == '+' || *e == '-');
    const char* const exponent = e;
    while (is_digit(*e)) ++e;
    if (e == exponent) return {e, e, false};  // "1e", "1e+": an exponent mark needs digits
    s = e;
  }
  return {s, s, true};
}

struct IntegerToken {
  const char* end;
  std::int32_t value;
  bool ok;        // false: no digits
  bool in_range;  // false: digits, but outside the 32-bit signed range
};

// Optional sign and decimal digits, as a C "%d" conversion reads them.
inline IntegerToken scan_integer(const char* p) {
  const bool negative = *p == '-';
  const char* s = p + (negative || *p == '+');
  const char* const first = s;
  std::uint64_t magnitude = 0;
  while (is_digit(*s)) {
    // Past 2^32 the value is out of range whatever follows; stop growing so it cannot wrap.
    if (magnitude <= 0xFFFFFFFFu) magnitude = magnitude * 10 + static_cast<unsigned>(*s - '0');
    ++s;
  }
  if (s == first) return {s, 0, false, false};
  if (magnitude > 0x7FFFFFFFu + std::uint64_t{negative}) return {s, 0, true, false};
  const auto value = static_cast<std::int64_t>(magnitude);
  return {s, static_cast<std::int32_t>(negative ? -value : value), true, true};
}

// Converts a token that scan_real accepted, with strtod's rounding.
double to_double(char* begin, char* end);

// The open file and its buffer. The buffer keeps a little text in front of
// the current token so that an error can quote the whole word around it.
class Source {
 public:
  Source(const char* path, std::size_t block, ReadError& error);
  ~Source();
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  bool ok() const { return fd_ >= 0; }

  template <class Step>
  std::int64_t each_real(Step& step) {
    std::int64_t count = 0;
    char* p = end_;
    for (;;) {
      p = skip_space(p);
      if (p == end_) {
        if (eof_) break;
        if (!refill(p)) return -1;
        continue;
      }
      const Token t = scan_real(p);
      if (t.seen == end_ && !eof_) {  // the token may go on in the next block
        if (!refill(p)) return -1;
        continue;
      }
      if (!t.ok) return fail(ReadError::What::kNotANumber, p);
      char* const token_end = p + (t.end - p);
      if (too_long(p, token_end)) return fail(ReadError::What::kTooLong, p);
      step(to_double(p, token_end));
      ++count;
      p = token_end;
    }
    return finish(count);
  }

  template <class Step>
  std::int64_t each_integer(Step& step) {
    std::int64_t count = 0;
    char* p = end_;
    for (;;) {
      p = skip_space(p);
      if (p == end_) {
        if (eof_) break;
        if (!refill(p)) return -1;
        continue;
      }
      const IntegerToken t = scan_integer(p);
      if (t.end == end_ && !eof_) {
        if (!refill(p)) return -1;
        continue;
      }
      if (!t.ok) return fail(ReadError::What::kNotAnInteger, p);
      char* const token_end = p + (t.end - p);
      if (too_long(p, token_end)) return fail(ReadError::What::kTooLong, p);
      if (!t.in_range) return fail(ReadError::What::kOutOfRange, p);
      step(t.value);
      ++count;
      p = token_end;
    }
    return finish(count);
  }

 private:
  static constexpr std::size_t kContext = 64;  // text kept in front of a token for messages

  static bool too_long(const char* begin, const char* end) {
    return static_cast<std::size_t>(end - begin) > kMaxNumberLength;
  }

  char* skip_space(char* p) {
    while (is_space(static_cast<unsigned char>(*p))) {
      line_ += *p == '\n';
      ++p;
    }
    return p;
  }

  // Moves the unfinished token at p (with its context) to the front and reads
  // the next block behind it; p follows the move. False on a failure, which
  // has been recorded.
  bool refill(char*& p);
  // The move and the read of refill, without its checks; false with errno set.
  bool read_block(char*& p);
  std::int64_t fail(ReadError::What what, char* at);
  std::int64_t finish(std::int64_t count);

  ReadError& error_;
  int fd_ = -1;
  std::size_t block_;
  bool eof_ = false;
  std::int64_t line_ = 1;
  char* end_;  // where the data ends and the NUL sentinel stands
  char buffer_[kContext + kMaxNumberLength + kDefaultBlock + 1];
};

}  // namespace detail

// Reads the real numbers of the file at path, calling step(double) for each
// in file order. Returns how many there were (at least one), or -1 with error
// filled in when the file cannot be read, holds no number, or holds text that
// is not a number.
template <class Step>
std::int64_t read_real_samples(const char* path, Step&& step, ReadError& error,
                               std::size_t block = kDefaultBlock) {
  detail::Source source(path, block, error);
  return source.ok() ? source.each_real(step) : -1;
}

// The same for integers: step(std::int32_t); a value outside the 32-bit
// signed range is an error, never a wrapped value.
template <class Step>
std::int64_t read_integer_samples(const char* path, Step&& step, ReadError& error,
                                  std::size_t block = kDefaultBlock) {
  detail::Source source(path, block, error);
  return source.ok() ? source.each_integer(step) : -1;
}

}  // namespace sample_input
