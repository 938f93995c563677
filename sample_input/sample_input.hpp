// The reading loop shared by every program: it streams a file of white-space
// separated numbers through a fixed buffer and hands each number to the
// caller's step as soon as it is parsed. Nothing is stored, so memory stays
// the same whatever the length of the file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "sample_input/scan.hpp"

namespace sample_input {

// Bytes read into the buffer before each parsing pass (several read(2) calls
// where a pipe returns less). Tests pass tiny sizes so that every number can
// be made to straddle the edge between two reads.
inline constexpr std::size_t kDefaultBlock = std::size_t{64} * 1024;

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
  };
  What what = What::kNone;
  int errnum = 0;
  std::int64_t line = 0;          // counts from 1; 0 where the whole file is at fault
  const char* path = "";          // as given; "-" is standard input
  char token[96] = {};            // the offending text, escaped and cut to a readable length
  const char* compressor = "";    // kCompressed: "gzip", "bzip2", "xz" or "zstd"
  const char* decompressor = "";  // and the command that undoes it: "zcat", ...
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
  NETFIGURES_INLINE std::int64_t each(Step& step) {
    std::int64_t count = 0;
    std::int64_t line = line_;  // in a register in the loop; line_ is kept for the rare paths
    const char* p = end_;
    scan::Shape shape;
    // Numbers since the layout last matched. After a few, the format seems
    // to change from line to line, where learning and checking layouts costs
    // more than it saves: then a layout is learnt only every 64th number
    // and the next one checked against it. At first nothing is learnt, so
    // nothing is checked. (64 bits: it never wraps round.)
    std::uint64_t misses = 64;
    for (;;) {
      // The fast paths run in loops of their own, so that their state stays
      // in registers while they run.
      if constexpr (std::is_integral_v<T>) {
        // Integers differ in length from line to line: 64 bytes at a time, not by layout.
        while (end_ - p >= 64) {
          const char* const next = scan::scan_integer_block(p, step, count, line);
          if (next == p) break;
          p = next;
        }
      }
      // Most numbers of a trace: the layout of the one before. The minus is
      // added without a branch, which would be mispredicted on every
      // negative number.
      if (misses < 4) {
        for (;;) {
          const unsigned negative = scan::is_minus(*p);
          if (!shape.matches(p + negative)) break;
          T value;
          shape.value(p + negative, negative != 0, value);
          line += shape.newlines();
          p += negative + shape.length();
          misses = 0;
          step(value);
          ++count;
        }
      }
      p = skip_space(p, line);
      T value;
      // A number of a layout to learn, while learning pays.
      const char* plain = nullptr;
      if (misses < 4 || misses % 64 == 0) plain = scan::scan_plain(p, value);
      const bool learnt = plain != nullptr && shape.learn(p, plain);
      if (learnt) {  // the white space after the number is part of its layout
        line += shape.newlines();
        p += scan::is_minus(*p) + shape.length();
      } else if (plain != nullptr) {
        p = plain;
      } else {
        line_ = line;
        if (p == end_) {
          if (eof_) break;
          if ((p = refill(p)) == nullptr) return -1;
          continue;
        }
        const scan::Token<T> t = scan::scan_next(p, T{});
        if (t.seen == end_ && !eof_) {  // the token may go on in the next block
          if ((p = refill(p)) == nullptr) return -1;
          continue;
        }
        if (too_long(p, t.end)) return fail(ReadError::What::kTooLong, p);
        if (t.status == scan::Status::kValue) {
          value = t.value;
        } else if (t.status == scan::Status::kText) {
          value = static_cast<T>(scan::to_double(p, t.end));  // only reals are kText
        } else {
          return fail(t.status, p);
        }
        p = t.end;
      }
      // One more number the layout missed; a layout learnt after many is
      // checked on the next.
      misses = learnt && misses >= 4 ? 3 : misses + 1;
      step(value);
      ++count;
    }
    return finish(count);
  }

 private:
  static constexpr std::size_t kContext = 64;  // text kept in front of a token for messages

  static bool too_long(const char* begin, const char* end) {
    return static_cast<std::size_t>(end - begin) > kMaxNumberLength;
  }

  static const char* skip_space(const char* p, std::int64_t& line) {
    while (scan::is_space(static_cast<unsigned char>(*p))) {
      line += *p == '\n';
      ++p;
    }
    return p;
  }

  // Moves the unfinished token at p (with its context) to the front and reads
  // the next block behind it; where p has moved to, or nullptr on a failure,
  // which has been recorded. (Not p by reference: the reading loop keeps it
  // in a register.)
  const char* refill(const char* p);
  // The move and the read of refill, without its checks; false with errno set.
  bool read_block(const char*& p);
  std::int64_t fail(scan::Status status, const char* at);
  std::int64_t fail(ReadError::What what, const char* at);
  std::int64_t finish(std::int64_t count);

  ReadError& error_;
  int fd_ = -1;
  bool owns_fd_ = true;  // standard input is left open for whoever has it next
  std::size_t block_;
  bool eof_ = false;
  std::int64_t line_ = 1;
  std::int64_t offset_ = 0;  // where in the file buffer_[0] lies
  char* end_;                // where the data ends and the NUL sentinel stands
  // The NUL sentinel, then room for the scanners' wide loads. Left
  // uninitialised: only what is read and the padding behind it are written,
  // so a short file touches few pages.
  char buffer_[kContext + kMaxNumberLength + kDefaultBlock + 1 + scan::kPadding];
};

}  // namespace detail

// Reads the real numbers of the file at path ("-": standard input), calling
// step(double) for each in file order. Returns how many there were (at least
// one), or -1 with error filled in when the file cannot be read, holds no
// number, or holds text that is not a number.
// (In line in the caller, so that the step's state, such as a sum, stays in
// registers through the loop: the compiler then sees that nothing else
// reaches it.)
template <class Step>
NETFIGURES_INLINE std::int64_t read_real_samples(const char* path, Step&& step, ReadError& error,
                                                 std::size_t block = kDefaultBlock) {
  detail::Source source(path, block, error);
  return source.ok() ? source.each<double>(step) : -1;
}

// The same for integers: step(std::int32_t); a value outside the 32-bit
// signed range is an error, never a wrapped value.
template <class Step>
NETFIGURES_INLINE std::int64_t read_integer_samples(const char* path, Step&& step, ReadError& error,
                                                    std::size_t block = kDefaultBlock) {
  detail::Source source(path, block, error);
  return source.ok() ? source.each<std::int32_t>(step) : -1;
}

}  // namespace sample_input
