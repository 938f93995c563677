#include "sample_input/sample_input.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace sample_input {

namespace {

// A compressed trace fails at its first byte as text that is not a number;
// its magic bytes tell what it is, so the message can say how to read it.
struct Compressor {
  const char* name;
  const char* decompressor;
  const char* magic;
  std::size_t magic_length;
};

constexpr Compressor kCompressors[] = {
    {"gzip", "zcat", "\x1f\x8b", 2},
    {"bzip2", "bzcat", "BZh", 3},
    {"xz", "xzcat",
     "\xfd"
     "7zXZ\0",
     6},
    {"zstd", "zstdcat", "\x28\xb5\x2f\xfd", 4},
};

constexpr std::string_view kBom = "\xef\xbb\xbf";  // U+FEFF in UTF-8

// The length of the UTF-8 sequence of a printable character at s, or 0 where
// the bytes are not one (a stray byte, an overlong form, a C1 control).
std::size_t utf8_printable(const unsigned char* s, const unsigned char* end) {
  const unsigned char c = *s;
  const std::size_t length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : 2;
  if (c < 0xc2 || c > 0xf4 || end - s < static_cast<std::ptrdiff_t>(length)) return 0;
  std::uint32_t point = c & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xc0) != 0x80) return 0;
    point = point << 6 | (s[i] & 0x3f);
  }
  const std::uint32_t least[] = {0, 0, 0xa0, 0x800, 0x10000};  // shorter forms are overlong
  if (point < least[length] || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) return 0;
  return length;
}

}  // namespace

std::size_t escape(const char* begin, const char* end, char* out, std::size_t room,
                   bool keep_utf8) {
  char* const start = out;
  char* const limit = out + room - 8;  // room for an escape, "..." and the NUL
  const auto* s = reinterpret_cast<const unsigned char*>(begin);
  const auto* const stop = reinterpret_cast<const unsigned char*>(end);
  while (s < stop) {
    if (out >= limit) {
      std::memcpy(out, "...", 3);
      out += 3;
      break;
    }
    const std::size_t sequence = *s >= 0x80 && keep_utf8 ? utf8_printable(s, stop) : 0;
    if (*s == '\\') {
      *out++ = '\\';
      *out++ = '\\';
      ++s;
    } else if ((*s >= 0x20 && *s < 0x7f) || sequence > 0) {
      const std::size_t length = std::max<std::size_t>(sequence, 1);
      std::memcpy(out, s, length);
      out += length;
      s += length;
    } else {
      out += std::snprintf(out, 5, "\\x%02x", *s++);
    }
  }
  *out = '\0';
  return static_cast<std::size_t>(out - start);
}

namespace detail {

// buffer_ is left uninitialised on purpose: zeroing 128 KiB on every run would
// touch pages a short file never uses. Only the sentinel and padding are set.
// cppcheck-suppress uninitMemberVar
Source::Source(const char* path, std::size_t block, ReadError& error)
    : error_(error), block_(std::clamp<std::size_t>(block, 1, kDefaultBlock)), end_(buffer_) {
  std::memset(end_, 0, 1 + scan::kPadding);
  error_.path = path;
  if (std::strcmp(path, "-") == 0) {
    fd_ = STDIN_FILENO;
    owns_fd_ = false;
    return;
  }
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_.what = ReadError::What::kSystem;
    error_.errnum = errno;
  }
}

Source::~Source() {
  // Read-only: a failing close loses nothing.
  if (fd_ >= 0 && owns_fd_) ::close(fd_);
}

const char* Source::refill(const char* p) {
  if (too_long(p, end_)) {
    fail(ReadError::What::kTooLong, p);
    return nullptr;
  }
  if (read_block(p)) return p;
  error_.what = ReadError::What::kSystem;
  error_.errnum = errno;
  return nullptr;
}

bool Source::read_block(const char*& p) {
  const char* const keep = p - std::min<std::ptrdiff_t>(p - buffer_, kContext);
  const auto kept = static_cast<std::size_t>(end_ - keep);
  offset_ += keep - buffer_;
  std::memmove(buffer_, keep, kept);
  p = buffer_ + (p - keep);
  end_ = buffer_ + kept;
  // At the start of the file, at least the length of a byte order mark.
  const bool at_start = offset_ == 0 && end_ == buffer_;
  const std::size_t want = at_start ? std::max<std::size_t>(block_, kBom.size()) : block_;
  std::size_t got = 0;
  bool read_all = true;
  while (got < want) {
    const ssize_t n = ::read(fd_, end_ + got, want - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n == 0) {
      eof_ = true;
      break;
    } else if (errno != EINTR) {
      read_all = false;
      break;
    }
  }
  // One UTF-8 byte order mark, which spreadsheets and many Windows tools
  // write, is dropped where the file begins; anywhere else it is text.
  if (at_start && got >= kBom.size() && std::memcmp(end_, kBom.data(), kBom.size()) == 0) {
    got -= kBom.size();
    std::memmove(end_, end_ + kBom.size(), got);
    offset_ += static_cast<std::int64_t>(kBom.size());
  }
  end_ += got;
  std::memset(end_, 0, 1 + scan::kPadding);  // the sentinel, and what wide loads may see past it
  return read_all;
}

std::int64_t Source::fail(scan::Status status, const char* at) {
  switch (status) {
    case scan::Status::kNotANumber:
      return fail(ReadError::What::kNotANumber, at);
    case scan::Status::kNotAnInteger:
      return fail(ReadError::What::kNotAnInteger, at);
    case scan::Status::kOutOfRange:
      return fail(ReadError::What::kOutOfRange, at);
    case scan::Status::kValue:
    case scan::Status::kText:
      break;
  }
  return fail(ReadError::What::kNone, at);  // not reached: those are values
}

std::int64_t Source::fail(ReadError::What what, const char* at) {
  error_.what = what;
  error_.line = line_;
  // Quote the whole word around the fault ("12.5", not ".5"), and read on to
  // its end first so that the quote does not depend on where a block
  // happened to end.
  const auto quote_length = static_cast<std::ptrdiff_t>(sizeof error_.token);
  for (;;) {
    const char* end = at;
    while (end < end_ && !scan::is_space(static_cast<unsigned char>(*end))) ++end;
    if (end < end_ || end - at >= quote_length || eof_ || !read_block(at)) break;
  }
  const char* word = at;
  while (word > buffer_ && at - word < static_cast<std::ptrdiff_t>(kContext) &&
         !scan::is_space(static_cast<unsigned char>(word[-1]))) {
    --word;
  }
  const char* end = word;
  while (end < end_ && !scan::is_space(static_cast<unsigned char>(*end))) ++end;
  escape(word, end, error_.token, sizeof error_.token, false);
  if (offset_ + (word - buffer_) == 0) {  // the word the file begins with
    for (const Compressor& c : kCompressors) {
      if (end - word >= static_cast<std::ptrdiff_t>(c.magic_length) &&
          std::memcmp(word, c.magic, c.magic_length) == 0) {
        error_.what = ReadError::What::kCompressed;
        error_.compressor = c.name;
        error_.decompressor = c.decompressor;
      }
    }
  }
  return -1;
}

std::int64_t Source::finish(std::int64_t count) {
  if (count == 0) {
    error_.what = ReadError::What::kNoNumber;
    return -1;
  }
  return count;
}

}  // namespace detail

}  // namespace sample_input
