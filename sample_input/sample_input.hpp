// The reading loop shared by every program: it streams a file of white-space
// separated numbers through a fixed buffer and hands each number to the
// caller's step as soon as it is parsed. Nothing is stored, so memory stays
// the same whatever the length of the file.
#pragma once

#include <cstddef>
#include <cstdint>

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
// \\. Stops with "..." before the text would pass room - 8 bytes; out is
// NUL-terminated. Returns the length written.
std::size_t escape(const char* begin, const char* end, char* out, std::size_t room);

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
  std::int64_t each(Step& step) {
    std::int64_t count = 0;
    const char* p = end_;
    for (;;) {
      p = skip_space(p);
      if (p == end_) {
        if (eof_) break;
        if (!refill(p)) return -1;
        continue;
      }
      const scan::Token<T> t = scan::scan_next(p, T{});
      if (t.seen == end_ && !eof_) {  // the token may go on in the next block
        if (!refill(p)) return -1;
        continue;
      }
      if (too_long(p, t.end)) return fail(ReadError::What::kTooLong, p);
      if (t.status == scan::Status::kValue) {
        step(t.value);
      } else if (t.status == scan::Status::kText) {
        step(scan::to_double(p, t.end));
      } else {
        return fail(t.status, p);
      }
      ++count;
      p = t.end;
    }
    return finish(count);
  }

 private:
  static constexpr std::size_t kContext = 64;  // text kept in front of a token for messages

  static bool too_long(const char* begin, const char* end) {
    return static_cast<std::size_t>(end - begin) > kMaxNumberLength;
  }

  const char* skip_space(const char* p) {
    while (scan::is_space(static_cast<unsigned char>(*p))) {
      line_ += *p == '\n';
      ++p;
    }
    return p;
  }

  // Moves the unfinished token at p (with its context) to the front and reads
  // the next block behind it; p follows the move. False on a failure, which
  // has been recorded.
  bool refill(const char*& p);
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
  // The NUL sentinel, then room for the eight-byte loads of scan_integer.
  char buffer_[kContext + kMaxNumberLength + kDefaultBlock + 1 + 8] = {};
};

}  // namespace detail

// Reads the real numbers of the file at path ("-": standard input), calling
// step(double) for each in file order. Returns how many there were (at least
// one), or -1 with error filled in when the file cannot be read, holds no
// number, or holds text that is not a number.
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
