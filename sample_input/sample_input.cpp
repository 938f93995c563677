#include "sample_input/sample_input.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace sample_input {

namespace {

const char* describe(ReadError::What what) {
  switch (what) {
    case ReadError::What::kNotANumber:
      return "not a number";
    case ReadError::What::kNotAnInteger:
      return "not an integer";
    case ReadError::What::kOutOfRange:
      return "integer out of the 32-bit range";
    case ReadError::What::kTooLong:
      return "number longer than 65536 characters";
    default:
      return "unreadable";
  }
}

bool is_hex_digit(unsigned char c) {
  return detail::is_digit(c) || static_cast<unsigned>((c | 0x20) - 'a') < 6u;
}

// Where s stops matching the lower-case word, letters compared in any case.
const char* match(const char* s, const char* word) {
  while (*word != '\0' && (*s | 0x20) == *word) {
    ++s;
    ++word;
  }
  return s;
}

// Digits of a binary or decimal exponent after its mark; "p" or "e" alone is malformed.
detail::Token<double> scan_exponent(const char* mark) {
  const char* e = mark + 1;
  e += (*e == '+' || *e == '-');
  const char* const first = e;
  while (detail::is_digit(*e)) ++e;
  return {e, e, e != first};
}

}  // namespace

void ReadError::print(const char* program, std::FILE* to) const {
  switch (what) {
    case What::kNone:
      break;
    case What::kSystem:
      std::fprintf(to, "%s: %s: %s\n", program, path, std::strerror(errnum));
      break;
    case What::kNoNumber:
      std::fprintf(to, "%s: %s: no number in the file\n", program, path);
      break;
    default:
      std::fprintf(to, "%s: %s:%lld: %s: '%s'\n", program, path, static_cast<long long>(line),
                   describe(what), token);
      break;
  }
}

namespace detail {

Token<double> scan_real_rare(const char* s) {
  if (s[0] == '0' && (s[1] | 0x20) == 'x') {
    const char* h = s + 2;
    const char* const first = h;
    while (is_hex_digit(*h)) ++h;
    bool digits = h != first;
    if (*h == '.') {
      const char* const fraction = ++h;
      while (is_hex_digit(*h)) ++h;
      digits = digits || h != fraction;
    }
    if (!digits) return {h, h};  // "0x" needs a hexadecimal digit
    return (*h | 0x20) == 'p' ? scan_exponent(h) : Token<double>{h, h, true};
  }
  const char* m = match(s, "inf");
  if (m == s + 3) {
    // "infinity" is one token; "infin" is "inf" followed by text that is not a number.
    const char* const rest = match(m, "inity");
    return rest == m + 5 ? Token<double>{rest, rest, true} : Token<double>{m, rest, true};
  }
  if (m == s) {
    m = match(s, "nan");
    if (m == s + 3) return {m, m, true};
  }
  return {m, m};
}

double to_double(char* begin, char* end) {
  const bool negative = *begin == '-';
  const char* s = begin + (negative || *begin == '+');
  const bool hex = end - s > 2 && s[0] == '0' && (s[1] | 0x20) == 'x';
  double value = 0;
  const auto result = std::from_chars(hex ? s + 2 : s, end, value,
                                      hex ? std::chars_format::hex : std::chars_format::general);
  if (result.ec == std::errc() && result.ptr == end) return negative ? -value : value;
  // Out of range: strtod gives infinity on overflow and zero or the nearest
  // subnormal on underflow, as "%lf" does. The token sits in a writable
  // buffer, so it can be ended in place for the call.
  const char saved = *end;
  *end = '\0';
  value = std::strtod(begin, nullptr);
  *end = saved;
  return value;
}

Source::Source(const char* path, std::size_t block, ReadError& error)
    : error_(error), block_(std::clamp<std::size_t>(block, 1, kDefaultBlock)), end_(buffer_) {
  *end_ = '\0';
  error_.path = path;
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_.what = ReadError::What::kSystem;
    error_.errnum = errno;
  }
}

Source::~Source() {
  // Read-only: a failing close loses nothing.
  if (fd_ >= 0) ::close(fd_);
}

bool Source::refill(char*& p) {
  if (too_long(p, end_)) {
    fail(ReadError::What::kTooLong, p);
    return false;
  }
  if (read_block(p)) return true;
  error_.what = ReadError::What::kSystem;
  error_.errnum = errno;
  return false;
}

bool Source::read_block(char*& p) {
  char* const keep = p - std::min<std::ptrdiff_t>(p - buffer_, kContext);
  const auto kept = static_cast<std::size_t>(end_ - keep);
  std::memmove(buffer_, keep, kept);
  p = buffer_ + (p - keep);
  end_ = buffer_ + kept;
  std::size_t got = 0;
  bool read_all = true;
  while (got < block_) {
    const ssize_t n = ::read(fd_, end_ + got, block_ - got);
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
  end_ += got;
  *end_ = '\0';
  return read_all;
}

std::int64_t Source::fail(ReadError::What what, char* at) {
  error_.what = what;
  error_.line = line_;
  // Quote the whole word around the fault ("12.5", not ".5"), escaped and
  // cut, and read on to its end first so that the quote does not depend on
  // where a block happened to end.
  char* const limit = error_.token + sizeof error_.token - 8;  // room for an escape and "..."
  const auto quote_length = static_cast<std::ptrdiff_t>(limit - error_.token);
  for (;;) {
    const char* end = at;
    while (end < end_ && !is_space(static_cast<unsigned char>(*end))) ++end;
    if (end < end_ || end - at >= quote_length || eof_ || !read_block(at)) break;
  }
  const char* word = at;
  while (word > buffer_ && at - word < static_cast<std::ptrdiff_t>(kContext) &&
         !is_space(static_cast<unsigned char>(word[-1]))) {
    --word;
  }
  char* out = error_.token;
  for (; word < end_ && !is_space(static_cast<unsigned char>(*word)); ++word) {
    if (out >= limit) {
      std::memcpy(out, "...", 3);
      out += 3;
      break;
    }
    const auto c = static_cast<unsigned char>(*word);
    if (c > 0x20 && c < 0x7f) {
      *out++ = static_cast<char>(c);
    } else {
      out += std::snprintf(out, 5, "\\x%02x", c);
    }
  }
  *out = '\0';
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
