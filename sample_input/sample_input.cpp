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

bool Source::start(const Selection& selection) {
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
  if (selection.header) {  // whatever it holds, however long
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
  if (selection.field == 0) error_.columns = columns(p);
  at_ = p;
  return true;
}

int Source::columns(const char* p) const {
  // Enough lines to tell columns from chance, few enough to cost nothing.
  constexpr int kLines = 100;
  int lines = 0;
  int count = 0;
  while (lines < kLines) {
    int words = 0;
    bool in_word = false;
    const char* q = p;
    for (; q < end_ && *q != '\n'; ++q) {
      const bool space = bytes::is_space(static_cast<unsigned char>(*q));
      words += !space && !in_word;
      in_word = !space;
    }
    if (q == end_ && !eof_) break;  // the line goes on past what has been read
    if (words > 0) {
      if (lines > 0 && words != count) return 0;
      count = words;
      ++lines;
    }
    if (q == end_) break;
    p = q + 1;
  }
  return lines >= 2 && count >= 2 ? count : 0;
}

// Past the text of a field at p, 16 bytes at a time: to white space or the
// end of the data (a NUL in the data is text like any other).
const char* Source::skip_field_text(const char* p) const {
  for (;;) {
    const unsigned stops = bytes::wide::space_or_nul_mask16(p);
    if (stops == 0) {
      p += 16;
    } else if ((p += __builtin_ctz(stops)) != end_ && *p == '\0') {
      ++p;
    } else {
      return p;
    }
  }
}

bool Source::to_field(Cursor& c, int field) {
  int have = 1;  // the field c.p is in
  bool in_field = true;
  while (have < field) {
    // Where the data runs out, it is read on from the byte before, the
    // last of a field that ends there or before the blanks, so that the
    // field stays in the buffer whole, with the context before it, for the
    // message to quote; from where the blanks got to only when there are too
    // many to keep.
    if (in_field) c.p = skip_field_text(c.p);
    if (c.p == end_ && !eof_) {
      const bool keep = c.p > begin_;
      if ((c.p = refill(c.p - keep)) == nullptr) return false;
      c.p += keep;
      continue;
    }
    in_field = false;
    const char* const blanks = c.p;
    c.p = skip_blanks(c.p);
    if (c.p == end_ && !eof_) {
      const bool keep = blanks > begin_ && !too_long(blanks - 1, end_);
      if ((c.p = refill(keep ? blanks - 1 : c.p)) == nullptr) return false;
      c.p += keep;
      continue;
    }
    if (*c.p == '\n' || c.p == end_) {
      line_ = c.line;
      error_.fields = have;
      error_.field = field;
      const char* last = c.p;  // quoted: the last field the line has
      while (last > begin_ && bytes::is_space(static_cast<unsigned char>(last[-1]))) --last;
      fail(ReadError::What::kShortLine, last > begin_ ? last - 1 : last);
      return false;
    }
    ++have;
    in_field = true;
  }
  return true;
}

bool Source::end_of_line(Cursor& c) {
  // Blanks and the texts of fields in turn: the chosen one is most often the
  // last, or a few short ones follow it.
  for (;;) {
    c.p = skip_field_text(skip_blanks(c.p));
    if (*c.p == '\n') {
      ++c.p;
      ++c.line;
      return true;
    }
    if (c.p == end_) {
      if (eof_) return true;
      if ((c.p = refill(c.p)) == nullptr) return false;
    }
  }
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

std::int64_t Source::finish(std::int64_t count) {
  if (count == 0) {
    error_.what = ReadError::What::kNoNumber;
    return -1;
  }
  return count;
}

}  // namespace detail

}  // namespace sample_input
