// The reading of the lines themselves, for field mode and the warnings: what
// the first lines hold (columns, numbers glued together), and one field of a
// line, its fields split by blanks or by a delimiter, quoted or not. Apart
// from sample_input.cpp, which opens, refills and reports, so that either
// can be read in one sitting.
#include <algorithm>
#include <cstring>

#include "sample_input/sample_input.hpp"

namespace sample_input {
namespace detail {

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

}  // namespace detail
}  // namespace sample_input
