// Differential fuzzing of the reader. Arbitrary bytes are read twice: by the
// reader, through a file, a block size and a selection the input chooses, and
// by a slow reference that applies strtod or strtoll to each token in turn (or
// to the chosen field of each line), and where an integer goes on as a real,
// strtod for its end and the digits of its text for its value. Both must
// yield the same values in the same order, or fail at the same line.
//
// The first input byte picks the block size (small ones make numbers straddle
// reads): below 96, 1 to 31 bytes; below 192, 32 to 1077; otherwise the
// default. If the second is below 128, the rest is the file. Otherwise it is a
// count: the file is the bytes up to the first NUL (a number and its white
// space, say), that many times over, then the bytes after the NUL. Long runs
// of one layout followed by anything else are what the reader's fast paths
// speculate on, and a fuzzer finds them far sooner this way.
//
// A first byte from 0xe0 to 0xef picks a selection instead, and the input
// after it is read as above: its low three bits are the field (0: every
// number; N: field N of each line alone), 0x08 asks for a header line. So
// 0xea 0x03 ... reads field 2 under a header in blocks of 4 bytes. (Those
// values meant the default block before, which 0xc0 to 0xcf and 0xf0 to 0xf7
// still mean.) A first byte from 0xd0 to 0xdf picks fields split by a
// delimiter: field 1 + (low two bits), a tab for 0x04 and a comma without
// it, 0x08 a header. A first byte from 0xf8 to 0xff skips comment lines, and
// the input after it is read as above (a selection byte may follow). Built
// with NETFIGURES_FUZZ_INTEGERS for the integer reader, without it for the
// real one.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "sample_input/sample_input.hpp"

namespace {

using sample_input::ReadError;
using sample_input::Selection;
using What = ReadError::What;
using namespace std::string_view_literals;

// Values are kept as long double, which holds every double and every 64-bit
// integer exactly.
static_assert(std::numeric_limits<long double>::digits >= 64);

struct Outcome {
  bool ok = true;
  std::vector<long double> values;
  std::int64_t line = 0;
  What what = What::kNone;
};

Outcome failed(std::int64_t line, What what) {
  Outcome o;
  o.ok = false;
  o.line = line;
  o.what = what;
  return o;
}

bool separator(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What separates the fields of a line: white space other than the newline.
bool blank(char c) { return c != '\n' && separator(c); }

// The number at s, as the C library converts it, and where it ends. The text
// is a C string with possible NUL bytes inside; strtod stops at one as at any
// other character that cannot continue a number.
struct Token {
  What what = What::kNone;
  long double value = 0;
  const char* end = nullptr;
};

// The integer the decimal [s, end) is exactly, worked out on its digits as
// text: false where it has a fraction or lies outside the 64-bit range.
bool whole_value(const char* s, const char* end, long long& value) {
  const bool negative = *s == '-';
  s += *s == '-' || *s == '+';
  std::string digits;
  long long exponent = 0;  // the value is digits * 10^exponent
  bool point = false;
  for (; s < end && *s != 'e' && *s != 'E'; ++s) {
    if (*s == '.') {
      point = true;
    } else {
      digits += *s;
      exponent -= point;
    }
  }
  if (s < end)
    exponent += std::clamp(std::strtoll(s + 1, nullptr, 10), -1000000000LL, 1000000000LL);
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  digits.erase(0, digits.find_first_not_of('0'));
  if (digits.empty()) {
    value = 0;
    return true;
  }
  if (exponent < 0 || exponent + static_cast<long long>(digits.size()) > 19) return false;
  digits.append(static_cast<std::size_t>(exponent), '0');
  errno = 0;
  value = std::strtoll(((negative ? "-" : "") + digits).c_str(), nullptr, 10);
  return errno != ERANGE;
}

Token convert(const char* s, const char* end, bool integers) {
  Token t;
  char* stop = nullptr;
  errno = 0;
  if (integers) {
    const long long v = std::strtoll(s, &stop, 10);
    t.end = stop;
    // A point or an exponent after the digits, or a point in their place:
    // an integer written as a real, such as 1448.0, if its value is one.
    const char* const digits = s + (*s == '+' || *s == '-');
    const char* after = digits;
    while (*after >= '0' && *after <= '9') ++after;
    if (*after == '.' || ((*after == 'e' || *after == 'E') && after != digits)) {
      long long whole = 0;
      std::strtod(s, &stop);
      t.end = stop;
      if (stop - s > static_cast<std::ptrdiff_t>(sample_input::kMaxNumberLength)) {
        t.what = What::kTooLong;
      } else if (stop == s || !whole_value(s, stop, whole)) {
        t.what = What::kNotAnInteger;
      }
      t.value = static_cast<long double>(whole);
    } else if (stop == s) {
      t.what = What::kNotAnInteger;
    } else if (stop - s > static_cast<std::ptrdiff_t>(sample_input::kMaxNumberLength)) {
      t.what = What::kTooLong;
    } else if (errno == ERANGE) {
      // Out of range where the digits end as a number's may; "99999999999x" is malformed.
      const bool ends = stop == end || *stop == '+' || *stop == '-' || separator(*stop);
      t.what = ends ? What::kOutOfRange : What::kNotAnInteger;
    } else {
      t.value = static_cast<long double>(v);
    }
  } else {
    t.value = std::strtod(s, &stop);
    t.end = stop;
    // Where the reader's token ends before strtod's ("1e", "0x", "0x1p"),
    // the text left cannot start a number for strtod: the next round fails
    // on the same line, as the reader does.
    if (stop == s) {
      t.what = What::kNotANumber;
    } else if (stop - s > static_cast<std::ptrdiff_t>(sample_input::kMaxNumberLength)) {
      t.what = What::kTooLong;
    }
  }
  return t;
}

// The first bytes of gzip, xz ("\xfd7zXZ\0") and zstd data.
constexpr std::string_view kMagic[] = {"\x1f\x8b"sv, "\xfd\x37zXZ\0"sv, "\x28\xb5\x2f\xfd"sv};

// bzip2's: "BZh", a digit 1-9, the first block's magic or, with no data, the end's.
bool bzip2(const std::string& text) {
  return text.size() >= 10 && text.compare(0, 3, "BZh") == 0 && text[3] >= '1' && text[3] <= '9' &&
         (text.compare(4, 6, "1AY&SY") == 0 || text.compare(4, 6, "\x17\x72\x45\x38\x50\x90") == 0);
}

// The fields of a line split by the delimiter, as they stand (blanks and
// quotes kept), up to and with the chosen one, then the rest checked for
// quotes alone; false where a quote does not close before the line ends.
struct Fields {
  std::vector<std::string> before;  // through the chosen one, where the line has it
  bool quotes_close = true;
};

Fields split(const std::string& line, char delimiter, std::size_t chosen) {
  Fields f;
  const auto blank_here = [&](char c) { return c != delimiter && blank(c); };
  for (std::size_t at = 0;;) {
    const std::size_t begin = at;
    while (at < line.size() && blank_here(line[at])) ++at;
    if (at < line.size() && line[at] == '"') {
      for (++at;; ++at) {
        if (at >= line.size()) {
          f.quotes_close = false;
          return f;
        }
        if (line[at] == '"' && (at + 1 >= line.size() || line[at + 1] != '"')) break;
        at += line[at] == '"';
      }
      ++at;
    }
    at = std::min(line.find(delimiter, at), line.size());
    if (f.before.size() < chosen) f.before.emplace_back(line, begin, at - begin);
    if (at == line.size()) return f;
    ++at;
  }
}

// The text of a chosen field: without the blanks around it and, quoted,
// without its quotes and the blanks inside them; false where text stands
// after the closing quote or a doubled quote inside.
bool field_text(std::string field, std::string& text) {
  const auto trim = [](std::string& s) {
    while (!s.empty() && blank(s.back())) s.pop_back();
    std::size_t first = 0;
    while (first < s.size() && blank(s[first])) ++first;
    s.erase(0, first);
  };
  trim(field);
  text = field;
  if (field.empty() || field[0] != '"') return true;
  const std::size_t close = field.find('"', 1);
  if (close + 1 != field.size()) return false;
  text = field.substr(1, close - 1);
  trim(text);
  return true;
}

// Whether the line [begin, end) is a comment: its first byte but spaces and tabs is '#'.
bool comment(const char* begin, const char* end) {
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  return begin < end && *begin == '#';
}

Outcome reference(const std::string& text, bool integers, const Selection& selection) {
  const What not_one = integers ? What::kNotAnInteger : What::kNotANumber;
  // A compressed file fails where it begins, whatever is selected.
  for (const std::string_view magic : kMagic) {
    if (text.compare(0, magic.size(), magic) == 0) return failed(1, not_one);
  }
  if (bzip2(text)) return failed(1, not_one);
  Outcome o;
  const char* s = text.c_str();
  const char* const end = s + text.size();
  if (text.compare(0, 3, "\xef\xbb\xbf") == 0) s += 3;  // a byte order mark first is skipped
  std::int64_t line = 1;
  if (selection.header && selection.comments) {  // comment lines and blank lines before it
    for (;;) {
      const char* const newline = std::find(s, end, '\n');
      if (newline == end || (!comment(s, newline) && !std::all_of(s, newline, blank))) break;
      s = newline + 1;
      ++line;
    }
  }
  if (selection.header) {
    const char* const newline = std::find(s, end, '\n');
    s = newline == end ? end : newline + 1;
    ++line;
  }
  const char* const first = s;
  if (selection.field == 0) {  // every token
    for (;;) {
      for (; s < end && separator(*s); ++s) line += *s == '\n';
      if (s == end) break;
      // A '#' where a line begins but for spaces and tabs begins a comment.
      const char* before = s;
      while (before > first && (before[-1] == ' ' || before[-1] == '\t')) --before;
      if (selection.comments && *s == '#' && (before == first || before[-1] == '\n')) {
        s = std::find(s, end, '\n');
        continue;
      }
      const Token t = convert(s, end, integers);
      if (t.what != What::kNone) return failed(line, t.what);
      o.values.push_back(t.value);
      s = t.end;
    }
  } else {  // line by line, the chosen field of each
    for (; s < end; ++line) {
      const char* const newline = std::find(s, end, '\n');
      const std::string whole(s, newline);
      const char d = selection.delimiter;
      if (d != '\0' && !std::all_of(s, newline, [&](char c) { return c != d && blank(c); }) &&
          !(selection.comments && comment(s, newline))) {
        const auto chosen = static_cast<std::size_t>(selection.field);
        const Fields f = split(whole, d, chosen);
        if (f.before.size() < chosen && f.quotes_close) return failed(line, What::kShortLine);
        if (f.before.size() == chosen) {
          // A field longer than a number may be is too long, whatever it holds.
          const std::string& raw = f.before.back();
          if (raw.size() > sample_input::kMaxNumberLength) return failed(line, What::kTooLong);
          std::string number;
          const bool closed = field_text(raw, number);
          if (number.empty()) return failed(line, What::kEmptyField);
          const Token t = convert(number.c_str(), number.c_str() + number.size(), integers);
          const bool fills = closed && t.end == number.c_str() + number.size();
          if (t.what != What::kNone && closed) {
            return failed(line, t.what == What::kOutOfRange && !fills ? not_one : t.what);
          }
          if (!fills) return failed(line, not_one);
          if (!f.quotes_close) return failed(line, What::kOpenQuote);
          o.values.push_back(t.value);
        } else {
          return failed(line, What::kOpenQuote);
        }
      }
      if (d != '\0' || (selection.comments && comment(s, newline))) {
        if (newline == end) break;
        s = newline + 1;
        continue;
      }
      std::vector<std::string> fields;
      for (const char* p = s; p < newline;) {
        if (blank(*p)) {
          ++p;
          continue;
        }
        const char* const field_end = std::find_if(p, newline, blank);
        fields.emplace_back(p, field_end);
        p = field_end;
      }
      if (!fields.empty()) {
        if (fields.size() < static_cast<std::size_t>(selection.field)) {
          return failed(line, What::kShortLine);
        }
        const std::string& field = fields[static_cast<std::size_t>(selection.field) - 1];
        const Token t = convert(field.c_str(), field.c_str() + field.size(), integers);
        // The number must be the whole field: "1-2" or "0.5abc" is none,
        // however far out of range its first number lies.
        const bool fills = t.end == field.c_str() + field.size();
        if (t.what != What::kNone) {
          return failed(line, t.what == What::kOutOfRange && !fills ? not_one : t.what);
        }
        if (!fills) return failed(line, not_one);
        o.values.push_back(t.value);
      }
      if (newline == end) break;
      s = newline + 1;
    }
  }
  if (o.values.empty()) return failed(0, What::kNoNumber);
  return o;
}

Outcome through_reader(const std::string& text, std::size_t block, bool integers,
                       const Selection& selection) {
  const int fd = memfd_create("samples", 0);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::perror("memfd");
    std::abort();
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  Outcome o;
  ReadError error;
  const std::int64_t n =
      integers
          ? sample_input::read_integer_samples(
                path.c_str(), [&](std::int64_t v) { o.values.push_back(v); }, error, selection,
                block)
          : sample_input::read_real_samples(
                path.c_str(), [&](double v) { o.values.push_back(v); }, error, selection, block);
  close(fd);
  // A compressed file is text that is not a number to the reference; the
  // reader only says more about it.
  if (n < 0 && error.what == What::kCompressed) {
    return failed(error.line, integers ? What::kNotAnInteger : What::kNotANumber);
  }
  if (n < 0) return failed(error.line, error.what);
  if (n != static_cast<std::int64_t>(o.values.size())) {
    std::fprintf(stderr, "count %lld, but %zu values\n", static_cast<long long>(n),
                 o.values.size());
    std::abort();
  }
  return o;
}

bool same(long double a, long double b) {
  if (std::isnan(a) || std::isnan(b))
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

[[noreturn]] void disagree(const char* what, const std::string& text, std::size_t block,
                           const Selection& selection) {
  std::fprintf(stderr,
               "reader and reference disagree (%s), block %zu, field %d%s%s%s, text of %zu "
               "bytes\n",
               what, block, selection.field, selection.header ? " under a header" : "",
               selection.delimiter == '\0'  ? ""
               : selection.delimiter == ',' ? ", -d ,"
                                            : ", -d tab",
               selection.comments ? ", comments skipped" : "", text.size());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#ifdef NETFIGURES_FUZZ_INTEGERS
  constexpr bool kIntegers = true;
#else
  constexpr bool kIntegers = false;
#endif
  Selection selection;
  if (size > 0 && data[0] >= 0xf8) {
    selection.comments = true;
    ++data;
    --size;
  }
  if (size > 0 && data[0] >= 0xe0 && data[0] <= 0xef) {
    selection.field = data[0] & 7;
    selection.header = (data[0] & 8) != 0;
    ++data;
    --size;
  } else if (size > 0 && data[0] >= 0xd0 && data[0] <= 0xdf) {
    selection.field = 1 + (data[0] & 3);
    selection.delimiter = (data[0] & 4) != 0 ? '\t' : ',';
    selection.header = (data[0] & 8) != 0;
    ++data;
    --size;
  }
  const std::size_t block = size == 0 || data[0] >= 192 ? sample_input::kDefaultBlock
                            : data[0] < 96              ? 1 + data[0] % 31
                                                        : 32 + (data[0] - 96) * 11u;
  const char* const rest = reinterpret_cast<const char*>(data) + (size > 0);
  const std::size_t rest_size = size - (size > 0);
  std::string text(rest, rest_size);
  if (rest_size > 0 && data[1] >= 128) {
    const std::string body(rest + 1, rest_size - 1);
    const std::size_t nul = std::min(body.find('\0'), body.size());
    text.clear();
    for (int i = 0; i < data[1] - 127; ++i) text += body.substr(0, nul);
    if (nul < body.size()) text += body.substr(nul + 1);
  }
  const Outcome want = reference(text, kIntegers, selection);
  const Outcome got = through_reader(text, block, kIntegers, selection);
  if (want.ok != got.ok) {
    disagree(want.ok ? "the reader failed" : "the reader read", text, block, selection);
  }
  if (!want.ok) {
    if (want.line != got.line) disagree("line", text, block, selection);
    // For reals the reference's token can end before the reader's ("1e" is
    // "1" to strtod), so only integers must name the same fault; in a field,
    // which the number must fill, both must.
    if ((kIntegers || selection.field > 0) && want.what != got.what) {
      disagree("fault", text, block, selection);
    }
    return 0;
  }
  if (want.values.size() != got.values.size()) disagree("count", text, block, selection);
  for (std::size_t i = 0; i < want.values.size(); ++i) {
    if (!same(want.values[i], got.values[i])) disagree("value", text, block, selection);
  }
  return 0;
}
