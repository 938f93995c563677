#include "sample_input/sample_input.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
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
    // "BZh", the block size (? below: a digit 1-9) and the first block's
    // magic: "BZh" alone begins words such as "BZhost".
    {"bzip2", "bzcat", "BZh?1AY&SY", 10},
    {"bzip2", "bzcat", "BZh?\x17\x72\x45\x38\x50\x90", 10},  // no data: the end's magic
    {"xz", "xzcat",
     "\xfd"
     "7zXZ\0",
     6},
    {"zstd", "zstdcat", "\x28\xb5\x2f\xfd", 4},
};

constexpr std::size_t kLongestMagic = 10;  // bzip2's

// Whether text begins with the magic bytes of c.
bool has_magic(const char* text, const Compressor& c) {
  return std::equal(c.magic, c.magic + c.magic_length, text, [](char magic, char byte) {
    return byte == magic || (magic == '?' && byte >= '1' && byte <= '9');
  });
}

// The compressor whose magic bytes [begin, end) begins with, if any.
const Compressor* compressor(const char* begin, const char* end) {
  const Compressor* const c =
      std::find_if(std::begin(kCompressors), std::end(kCompressors), [&](const Compressor& each) {
        return end - begin >= static_cast<std::ptrdiff_t>(each.magic_length) &&
               has_magic(begin, each);
      });
  return c != std::end(kCompressors) ? c : nullptr;
}

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

// The buffer is left uninitialised on purpose: zeroing it on every run would
// touch pages a short file never uses. Only the sentinel and padding are set.
Source::Source(const char* path, std::size_t block, ReadError& error, char* buffer)
    : error_(error),
      block_(std::clamp<std::size_t>(block, 1, kDefaultBlock)),
      buffer_(buffer),
      begin_(buffer),
      end_(buffer),
      at_(buffer) {
  std::memset(end_, 0, 1 + kPadding);
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
  // A full block ends where the buffer's padding begins; what is kept goes
  // right in front of it.
  char* const block = buffer_ + kBufferSize - 1 - kPadding - block_;
  const char* const keep = p - std::min<std::ptrdiff_t>(p - begin_, kContext);
  const char* blanks = keep;  // what is dropped ends with them
  while (blanks > begin_ && (blanks[-1] == ' ' || blanks[-1] == '\t')) --blanks;
  if (blanks > begin_) begins_line_ = blanks[-1] == '\n';
  const auto kept = static_cast<std::size_t>(end_ - keep);
  char* const first = block - kept;
  offset_ += keep - begin_;
  std::memmove(first, keep, kept);
  p = first + (p - keep);
  begin_ = first;
  std::size_t got = 0;
  bool read_all = true;
  while (got < block_) {
    const ssize_t n = ::read(fd_, block + got, block_ - got);
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
  end_ = block + got;
  std::memset(end_, 0, 1 + kPadding);  // the sentinel, and what wide loads may see past it
  ++blocks_;
  return read_all;
}

bool Source::start(const Selection& selection, bool integers) {
  const char* p = refill(end_);
  if (p == nullptr) return false;
  // The first bytes tell what the file is, even where a block is shorter.
  while (static_cast<std::size_t>(end_ - p) < kLongestMagic && !eof_) {
    if ((p = refill(p)) == nullptr) return false;
  }
  // A compressed file fails here, with a hint, whatever is selected: a
  // header line or the fields before the chosen one would hide its bytes.
  if (compressor(p, end_) != nullptr) {
    fail(ReadError::What::kNotANumber, p);
    return false;
  }
  // One UTF-8 byte order mark, which spreadsheets and many Windows tools
  // write, is dropped where the file begins; anywhere else it is text.
  if (static_cast<std::size_t>(end_ - p) >= kBom.size() &&
      std::memcmp(p, kBom.data(), kBom.size()) == 0) {
    p += kBom.size();
    offset_ += p - begin_;  // the data, as messages quote it, begins after the mark
    begin_ = p;
  }
  delimiter_ = selection.delimiter;
  comments_ = selection.comments;
  field_ = selection.field;
  if (selection.header && comments_ && !skip_comments(p)) return false;
  if (selection.header && selection.name != nullptr) {
    if (!find_name(p, selection.name)) return false;
  } else if (selection.header) {  // whatever it holds, however long
    for (;;) {
      const auto* newline = static_cast<const char*>(std::memchr(p, '\n', end_ - p));
      if (newline != nullptr) {
        p = newline + 1;
        ++line_;
        break;
      }
      if (eof_) {
        p = end_;
        break;
      }
      if ((p = refill(end_)) == nullptr) return false;
    }
  }
  if (field_ == 0) error_.columns = columns(p, integers);
  at_ = p;
  return true;
}

bool Source::skip_comments(const char*& p) {
  for (;;) {
    const char* const line = p;
    p = skip_blanks(p);
    if (p == end_ && !eof_) {
      if ((p = refill(too_long(line, end_) ? p : line)) == nullptr) return false;
      continue;
    }
    if (*p == '\n') {
      ++p;
      ++line_;
    } else if (comment(line, p)) {
      Cursor c{p, line_, 0};
      if (skip_line(c) != Next::kAgain) return false;
      p = c.p;
      line_ = c.line;
    } else {
      p = line;  // the header: its blanks are its own
      return true;
    }
  }
}

bool Source::find_name(const char*& p, const char* name) {
  error_.name = name;
  Cursor c{p, line_, 0};
  Held held{p, p};
  int index = 0;
  for (;;) {
    if (delimiter_ != '\0') {
      held.field = c.p;
      if (!past_field(c, held)) return false;
      header_field(held.field, c.p, ++index, name);
      if (*c.p != delimiter_) break;
      ++c.p;
      continue;
    }
    c.p = skip_blanks(c.p);
    if (c.p == end_ && !eof_) {
      if (!read_on(c, held)) return false;
      continue;
    }
    if (*c.p == '\n' || c.p == end_) break;
    held.field = c.p;
    for (;;) {
      c.p = skip_field_text(c.p);
      if (c.p != end_ || eof_) break;
      if (!read_on(c, held)) return false;
    }
    header_field(held.field, c.p, ++index, name);
  }
  if (error_.named[1] != 0 || error_.named[0] == 0) {
    const bool twice = error_.named[1] != 0;
    fail_text(twice ? ReadError::What::kNameTwice : ReadError::What::kNoSuchName, name,
              name + std::strlen(name));
    return false;
  }
  field_ = error_.named[0];
  error_.named[0] = 0;
  p = c.p + (*c.p == '\n');
  ++line_;
  return true;
}

namespace {

// The name a field of the header gives, [begin, end) once the blanks around
// it, its quotes and the blanks inside them are gone (a doubled quote inside
// standing for one): whether it is `name`.
bool is_named(const char* begin, const char* end, const char* name) {
  const auto blank = [](char c) {
    return c != '\n' && bytes::is_space(static_cast<unsigned char>(c));
  };
  const auto trim = [&] {
    while (begin < end && blank(*begin)) ++begin;
    while (end > begin && blank(end[-1])) --end;
  };
  trim();
  const bool quoted = end - begin >= 2 && *begin == '"' && end[-1] == '"';
  if (quoted) {
    ++begin;
    --end;
    trim();
  }
  const char* n = name;
  for (const char* c = begin; c < end; ++c, ++n) {
    if (*n != *c) return false;
    c += quoted && *c == '"' && c + 1 < end && c[1] == '"';
  }
  return *n == '\0';
}

}  // namespace

void Source::header_field(const char* begin, const char* end, int index, const char* name) {
  if (begin != nullptr && is_named(begin, end, name)) {
    if (error_.named[0] == 0) {
      error_.named[0] = index;
    } else if (error_.named[1] == 0) {
      error_.named[1] = index;
    }
  }
  // Listed as the message shows it: quoted, escaped, after a comma; cut
  // with "..." once the list is full.
  char* const names = error_.names;
  const std::size_t used = std::strlen(names);
  const std::size_t room = sizeof error_.names;
  if (used >= room - 4) return;  // cut already
  char shown[64];
  const std::size_t length = begin == nullptr ? 0 : escape(begin, end, shown, sizeof shown);
  if (used + length + 6 >= room - 4) {
    std::memcpy(names + used, "...", 4);
    return;
  }
  std::snprintf(names + used, room - used, "%s'%s'", used > 0 ? ", " : "",
                begin == nullptr ? "..." : shown);
}

Source::Next Source::fail(scan::Status status, const char* at) {
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

Source::Next Source::fail(ReadError::What what, const char* at) {
  error_.what = what;
  error_.line = line_;
  // Quote the whole word around the fault ("12.5", not ".5"), and read on to
  // its end first so that the quote does not depend on where a block
  // happened to end.
  const auto quote_length = static_cast<std::ptrdiff_t>(sizeof error_.token);
  for (;;) {
    const char* end = at;
    while (end < end_ && !bytes::is_space(static_cast<unsigned char>(*end))) ++end;
    if (end < end_ || end - at >= quote_length || eof_ || !read_block(at)) break;
  }
  const char* word = at;
  while (word > begin_ && at - word < static_cast<std::ptrdiff_t>(kContext) &&
         !bytes::is_space(static_cast<unsigned char>(word[-1]))) {
    --word;
  }
  const char* end = word;
  while (end < end_ && !bytes::is_space(static_cast<unsigned char>(*end))) ++end;
  escape(word, end, error_.token, sizeof error_.token, false);
  const Compressor* const c = offset_ + (word - begin_) == 0 ? compressor(word, end) : nullptr;
  if (c != nullptr) {  // the word the file begins with
    error_.what = ReadError::What::kCompressed;
    error_.compressor = c->name;
    error_.decompressor = c->decompressor;
  }
  return Next::kFailed;
}

Source::Next Source::fail_text(scan::Status status, const char* begin, const char* end) {
  switch (status) {
    case scan::Status::kNotAnInteger:
      return fail_text(ReadError::What::kNotAnInteger, begin, end);
    case scan::Status::kOutOfRange:
      return fail_text(ReadError::What::kOutOfRange, begin, end);
    default:
      return fail_text(ReadError::What::kNotANumber, begin, end);
  }
}

Source::Next Source::fail_text(ReadError::What what, const char* begin, const char* end) {
  error_.what = what;
  error_.line = line_;
  escape(begin, end, error_.token, sizeof error_.token, false);
  return Next::kFailed;
}

Source::Next Source::fail_line(ReadError::What what, const char* from) {
  // Read on to the line's end first, as fail() does, so that the quote does
  // not depend on where a block happened to end.
  const auto quote_length = static_cast<std::ptrdiff_t>(sizeof error_.token);
  const char* end = from;
  for (;;) {
    end = static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end_ - from)));
    if (end != nullptr || end_ - from >= quote_length || eof_ || !read_block(from)) break;
  }
  if (end == nullptr) end = end_;
  if (end > from && end[-1] == '\r') --end;
  return fail_text(what, from, end);
}

Source::Next Source::skip_line(Cursor& c) {
  for (;;) {
    const auto* newline =
        static_cast<const char*>(std::memchr(c.p, '\n', static_cast<std::size_t>(end_ - c.p)));
    if (newline != nullptr) {
      c.p = newline + 1;
      ++c.line;
      return Next::kAgain;
    }
    if (eof_) {
      c.p = end_;
      return Next::kAgain;
    }
    if ((c.p = refill(end_)) == nullptr) return Next::kFailed;
  }
}

bool Source::at_line_start(const char* p) const {
  while (p > begin_ && (p[-1] == ' ' || p[-1] == '\t')) --p;
  return p > begin_ ? p[-1] == '\n' : begins_line_;
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
