// The reading loop shared by every program: it streams a file of white-space
// separated numbers through a fixed buffer and hands each number to the
// caller's step as soon as it is parsed. Nothing is stored, so memory stays
// the same whatever the length of the file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace sample_input {

// Bytes read into the buffer before each parsing pass (several read(2) calls
// where a pipe returns less). Tests pass tiny sizes so that every number can
// be made to straddle the edge between two reads.
inline constexpr std::size_t kDefaultBlock = std::size_t{64} * 1024;

// A number may be this long and still read exactly; a longer one fails the run
// at its line rather than yield a value cut short.
inline constexpr std::size_t kMaxNumberLength = std::size_t{64} * 1024;

// Why a read failed and where, in enough detail for one line on stderr.
struct ReadError {
  enum class What {
    kNone,
    kSystem,        // open(2) or read(2) failed: errnum holds the reason
    kNoNumber,      // the file holds nothing but white space
    kNotANumber,    // a token that does not begin a real number
    kNotAnInteger,  // a token that does not begin an integer
    kOutOfRange,    // an integer outside the 32-bit signed range
    kTooLong,       // a number longer than kMaxNumberLength
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
template <class T>
struct Token {
  const char* end;       // one past the token's last character
  const char* seen;      // the character that ended the scan (past `end` after a lookahead)
  bool ok = false;       // false: not a number of this kind
  bool in_range = true;  // false: an integer outside the 32-bit signed range
  bool exact = false;    // value holds the number; otherwise to_double converts the text
  T value = 0;
};

Token<double> scan_real_rare(const char* s);  // inf, nan, hexadecimal, malformed

// The run of decimal digits at s, if it is shorter than eight, read at once:
// no loop whose exit depends on the length of each number. Eight bytes are
// loaded (the buffer is padded for that), the digits told by their bit
// patterns and combined by multiplication. Returns the length of the run and
// sets value, or returns 8, value unset, when all eight bytes are digits.
inline int short_digit_run(const char* s, std::uint64_t& value) {
  std::uint64_t word;
  std::memcpy(&word, s, sizeof word);
  const std::uint64_t digits = word - 0x3030303030303030u;
  const std::uint64_t not_digits = (digits | (digits + 0x7676767676767676u)) & 0x8080808080808080u;
  if (not_digits == 0) return 8;
  const int length = __builtin_ctzll(not_digits) / 8;
  if (length == 0) {
    value = 0;
    return 0;
  }
  // Bytes past the run fall out to the left; zeros come in as leading digits.
  std::uint64_t v = digits << (64 - 8 * length);
  v = v * 10 + (v >> 8);
  value = (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
           (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
          32;
  return length;
}

// Powers of ten that a double holds exactly.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

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
  // they predict well, and measured faster here than short_digit_run.
  while (is_digit(*s)) mantissa = mantissa * 10 + static_cast<unsigned>(*s++ - '0');
  if (s == first + 1 && *first == '0' && (*s | 0x20) == 'x') return scan_real_rare(first);
  std::ptrdiff_t digits = s - first;
  int exponent = 0;
  if (*s == '.') {
    const char* const fraction = ++s;
    while (is_digit(*s)) mantissa = mantissa * 10 + static_cast<unsigned>(*s++ - '0');
    exponent = -static_cast<int>(std::min<std::ptrdiff_t>(s - fraction, 1000));
    digits += s - fraction;
  }
  if (digits == 0) {
    return s != first ? Token<double>{s, s} : scan_real_rare(first);  // "." or "-."
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
    if (e == exponent_digits) return {e, e};  // "1e", "1e+": an exponent mark needs digits
    exponent += down ? -written : written;
    s = e;
  }
  if (digits > 19 || mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22) {
    return {s, s, true};
  }
  const auto m = static_cast<double>(mantissa);
  const double magnitude =
      exponent < 0 ? m / kExactPowersOfTen[-exponent] : m * kExactPowersOfTen[exponent];
  return {s, s, true, true, true, negative ? -magnitude : magnitude};
}

// Optional sign and decimal digits, as a C "%d" conversion reads them.
inline Token<std::int32_t> scan_integer(const char* p) {
  const bool negative = *p == '-';
  const char* s = p + (negative || *p == '+');
  std::uint64_t run = 0;
  const int length = short_digit_run(s, run);
  if (length == 0) return {s, s};
  if (length < 8) {  // at most seven digits: in range
    const auto value = static_cast<std::int32_t>(run);
    return {s + length, s + length, true, true, true, negative ? -value : value};
  }
  std::uint64_t magnitude = 0;
  while (is_digit(*s)) {
    // Past 2^32 the value is out of range whatever follows; stop growing so it cannot wrap.
    if (magnitude <= 0xFFFFFFFFu) magnitude = magnitude * 10 + static_cast<unsigned>(*s - '0');
    ++s;
  }
  if (magnitude > 0x7FFFFFFFu + std::uint64_t{negative}) return {s, s, true, false};
  const auto value = static_cast<std::int64_t>(magnitude);
  return {s, s, true, true, true, static_cast<std::int32_t>(negative ? -value : value)};
}

template <class T>
Token<T> scan(const char* p) {
  if constexpr (std::is_same_v<T, double>) {
    return scan_real(p);
  } else {
    return scan_integer(p);
  }
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

  // Hands each number of the file to step, a double or an std::int32_t as T
  // says; the count, or -1 with the error recorded.
  template <class T, class Step>
  std::int64_t each(Step& step) {
    std::int64_t count = 0;
    char* p = end_;
    for (;;) {
      p = skip_space(p);
      if (p == end_) {
        if (eof_) break;
        if (!refill(p)) return -1;
        continue;
      }
      const Token<T> t = scan<T>(p);
      if (t.seen == end_ && !eof_) {  // the token may go on in the next block
        if (!refill(p)) return -1;
        continue;
      }
      char* const token_end = p + (t.end - p);
      if (too_long(p, token_end)) return fail(ReadError::What::kTooLong, p);
      if (!t.ok) {
        return fail(std::is_same_v<T, double> ? ReadError::What::kNotANumber
                                              : ReadError::What::kNotAnInteger,
                    p);
      }
      if (!t.in_range) return fail(ReadError::What::kOutOfRange, p);
      if constexpr (std::is_same_v<T, double>) {
        step(t.exact ? t.value : to_double(p, token_end));
      } else {
        step(t.value);
      }
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
  // The NUL sentinel, then room for the eight-byte loads of scan_integer.
  char buffer_[kContext + kMaxNumberLength + kDefaultBlock + 1 + 8] = {};
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
  return source.ok() ? source.each<double>(step) : -1;
}

// The same for integers: step(std::int32_t); a value outside the 32-bit
// signed range is an error, never a wrapped value.
template <class Step>
std::int64_t read_integer_samples(const char* path, Step&& step, ReadError& error,
                                  std::size_t block = kDefaultBlock) {
  detail::Source source(path, block, error);
  return source.ok() ? source.each<std::int32_t>(step) : -1;
}

}  // namespace sample_input
