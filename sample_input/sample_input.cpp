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

int Source::columns(const char* p, bool integers) {
  // Enough lines to tell columns from chance, few enough to cost nothing.
  constexpr int kLines = 100;
  int lines = 0;
  int count = 0;
  bool columns = true;
  for (std::int64_t line = line_; lines < kLines; ++line) {
    const char* q = static_cast<const char*>(std::memchr(p, '\n', end_ - p));
    if (q == nullptr) q = end_;
    if (q == end_ && !eof_) break;  // the line goes on past what has been read
    int numbers = 0;
    const char* word = skip_blanks(p);
    if (!comments_ || !comment(p, word)) {
      for (const char* c = word; c < q;) {
        const char* const end = skip_field_text(c);
        ReadError::Glued glued;
        numbers += numbers_in(c, std::min(end, q), integers, glued);
        if (glued.numbers > 1 && error_.glued.line == 0) {
          error_.glued = glued;
          error_.glued.line = line;
        }
        c = skip_blanks(end);
      }
    }
    if (numbers > 0) {
      columns = columns && (lines == 0 || numbers == count);
      count = numbers;
      ++lines;
    }
    if (q == end_) break;
    p = q + 1;
  }
  return columns && lines >= 2 && count >= 2 ? count : 0;
}

int Source::numbers_in(const char* begin, const char* end, bool integers,
                       ReadError::Glued& glued) const {
  int numbers = 0;
  for (const char* c = begin; c < end; ++numbers) {
    scan::Status status;
    const char* past;
    if (integers) {
      const scan::Token<std::int64_t> t = scan::scan_integer(c);
      status = t.status;
      past = t.end;
    } else {
      const scan::Token<double> t = scan::scan_real(c);
      status = t.status;
      past = t.end;
    }
    if (status == scan::Status::kNotANumber || status == scan::Status::kNotAnInteger || past == c ||
        past > end) {
      return 1;  // the reading fails here, or the word is text the warning has no word for
    }
    if (numbers < static_cast<int>(std::size(glued.ends)) &&
        past - begin < static_cast<std::ptrdiff_t>(sizeof glued.word)) {
      glued.ends[numbers] = static_cast<int>(past - begin);
    }
    c = past;
  }
  glued.numbers = numbers;
  if (numbers > 1) {
    const std::size_t length =
        std::min<std::size_t>(static_cast<std::size_t>(end - begin), sizeof glued.word - 1);
    std::memcpy(glued.word, begin, length);
  }
  return numbers;
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
    if (c.p - blanks > 1) note_tabs(blanks, c.p, c.line);
    ++have;
    in_field = true;
  }
  return true;
}

void Source::note_tabs(const char* begin, const char* end, std::int64_t line) {
  if (error_.tabs == 0 && std::count(begin, end, '\t') >= 2) error_.tabs = line;
}

bool Source::read_on(Cursor& c, Held& held) {
  const char* keep = c.p;
  if (held.field != nullptr && !too_long(held.field, end_)) keep = held.field;
  if (held.line != nullptr && !too_long(held.line, end_)) keep = held.line;
  const char* const kept = refill(keep);
  if (kept == nullptr) return false;
  const std::ptrdiff_t moved = kept - keep;
  const auto move = [&](const char*& p) { p = p != nullptr && p >= keep ? p + moved : nullptr; };
  move(held.line);
  move(held.field);
  c.p += moved;
  return true;
}

Source::Next Source::delimited_start(Cursor& c) {
  const char d = delimiter_;
  const auto blank = [d](char b) {
    return b != d && b != '\n' && bytes::is_space(static_cast<unsigned char>(b));
  };
  const char* q = c.p;
  while (blank(*q)) ++q;
  const char* r = q;  // past spaces and tabs, the delimiter too, where a comment shows
  if (comments_) {
    for (r = c.p; *r == ' ' || *r == '\t';) ++r;
  }
  if (*q == '\n') {
    c.p = q + 1;
    ++c.line;
    return Next::kAgain;
  }
  if (q == end_ || r == end_) {
    if (eof_ && q == end_) return Next::kEnd;
    if (!eof_) {
      // From the line's start again, once more of it has been read; past
      // its blanks where there are too many to keep.
      if (too_long(c.p, end_)) c.p = q;
      return refilled(c);
    }
  }
  if (comments_ && *r == '#') {
    c.p = r;
    return skip_line(c);
  }
  c.p = q;
  return Next::kValue;
}

bool Source::to_delimited_field(Cursor& c, Held& held, int field) {
  for (int have = 1; have < field; ++have) {
    held.field = c.p;
    if (!past_field(c, held)) return false;
    if (*c.p != delimiter_) {  // the line ends first
      error_.fields = have;
      error_.field = field;
      fail_line(ReadError::What::kShortLine, held.line != nullptr    ? held.line
                                             : held.field != nullptr ? held.field
                                                                     : c.p);
      return false;
    }
    ++c.p;
  }
  held.field = c.p;
  return true;
}

namespace {

// Where the first byte equal to a or b, a newline or a NUL stands from p on,
// 16 bytes at a time: no load starts past the sentinel.
const char* next_stop(const char* p, char a, char b) {
  for (;;) {
    const unsigned stops = bytes::wide::stop_mask16(p, a, b);
    if (stops != 0) return p + __builtin_ctz(stops);
    p += 16;
  }
}

}  // namespace

bool Source::past_field(Cursor& c, Held& held) {
  const char d = delimiter_;
  for (;;) {  // blanks, before a quote
    while (*c.p != d && *c.p != '\n' && bytes::is_space(static_cast<unsigned char>(*c.p))) ++c.p;
    if (c.p != end_ || eof_) break;
    if (!read_on(c, held)) return false;
  }
  if (*c.p == '"') {
    const std::ptrdiff_t quote = held.field != nullptr ? c.p - held.field : 0;
    for (++c.p;;) {
      c.p = next_stop(c.p, '"', '"');
      // The byte after a quote tells whether it is doubled: read on where
      // it is not read yet, as where the data runs out.
      if ((c.p == end_ || (c.p + 1 == end_ && *c.p == '"')) && !eof_) {
        if (!read_on(c, held)) return false;
      } else if (c.p == end_ || *c.p == '\n') {
        fail_line(ReadError::What::kOpenQuote, held.field != nullptr ? held.field + quote : c.p);
        return false;
      } else if (*c.p == '\0') {
        ++c.p;  // a NUL in the data is text like any other
      } else if (c.p[1] == '"') {
        c.p += 2;
      } else {
        ++c.p;
        break;
      }
    }
  }
  for (;;) {  // the field, or what stands after its closing quote
    c.p = next_stop(c.p, d, d);
    if (c.p == end_ && !eof_) {
      if (!read_on(c, held)) return false;
    } else if (c.p != end_ && *c.p == '\0') {
      ++c.p;
    } else {
      return true;
    }
  }
}

bool Source::rest_of_line(Cursor& c, Held& held) {
  for (;;) {
    if (*c.p == '\n') {
      ++c.p;
      ++c.line;
      return true;
    }
    if (c.p == end_) return true;  // the data ends, and so the line
    held.field = ++c.p;
    if (!past_field(c, held)) return false;
  }
}

Source::Text Source::field_text(const char* begin, const char* end) {
  const auto blank = [](char b) {
    return b != '\n' && bytes::is_space(static_cast<unsigned char>(b));
  };
  while (begin < end && blank(*begin)) ++begin;
  while (end > begin && blank(end[-1])) --end;
  if (begin == end || *begin != '"') return {begin, end, true};
  // The quote closes (past_field found where): at the field's end, or text
  // stands after it, or it is doubled.
  const char* const close = static_cast<const char*>(
      std::memchr(begin + 1, '"', static_cast<std::size_t>(end - begin - 1)));
  if (close + 1 != end) return {begin, end, false};
  const char* inside = begin + 1;
  const char* inside_end = close;
  while (inside < inside_end && blank(*inside)) ++inside;
  while (inside_end > inside && blank(inside_end[-1])) --inside_end;
  return {inside, inside_end, true};
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
