#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "helpers.hpp"
#include "sample_input/sample_input.hpp"
#include "tools/program.hpp"

namespace {

using sample_input::kDefaultBlock;
using sample_input::ReadError;
using sample_input::Selection;
using What = sample_input::ReadError::What;
using testing_helpers::ScratchDir;

// Values read are kept as long double, which holds every double and every
// 64-bit integer exactly.
static_assert(std::numeric_limits<long double>::digits >= 64);

constexpr long double kInf = std::numeric_limits<long double>::infinity();
constexpr long double kNan = std::numeric_limits<long double>::quiet_NaN();
// The ends of the integers' range.
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

// Small blocks make every number straddle the edge between two reads.
const std::vector<std::size_t> kBlocks{1, 2, 3, 7, kDefaultBlock};
// Long numbers are rescanned on every refill; keep their blocks large enough.
const std::vector<std::size_t> kLongBlocks{997, 4096, kDefaultBlock};

// Equal as stored: -0.0 differs from 0.0, and a NaN matches a NaN of the same sign.
bool same(long double a, long double b) {
  if (std::isnan(a) || std::isnan(b))
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

struct Read {
  std::int64_t count;
  std::vector<long double> values;
  ReadError error;
};

// A step that holds its state, as the programs' steps do: the reading loop
// runs its paths on copies of it and hands each copy back, so a copy lost on
// the way shows as values missing. (A lambda refers to its state, which
// every copy shares.)
struct Collect {
  std::vector<long double> values;
  template <class T>
  void operator()(T x) {
    values.push_back(static_cast<long double>(x));
  }
};

// How the tables hand their numbers on: by a lambda, or by a step that
// holds its state.
enum class Stepping { kLambda, kHolding };

Read read_numbers(bool integers, const std::string& path, std::size_t block,
                  const Selection& selection, Stepping stepping) {
  Read r;
  Collect holding;
  auto lambda = [&](auto x) { r.values.push_back(static_cast<long double>(x)); };
  if (integers) {
    r.count =
        stepping == Stepping::kLambda
            ? sample_input::read_integer_samples(path.c_str(), lambda, r.error, selection, block)
            : sample_input::read_integer_samples(path.c_str(), holding, r.error, selection, block);
  } else {
    r.count =
        stepping == Stepping::kLambda
            ? sample_input::read_real_samples(path.c_str(), lambda, r.error, selection, block)
            : sample_input::read_real_samples(path.c_str(), holding, r.error, selection, block);
  }
  if (stepping == Stepping::kHolding) r.values = std::move(holding.values);
  return r;
}

Read read_reals(const std::string& path, std::size_t block) {
  return read_numbers(false, path, block, {}, Stepping::kLambda);
}

Read read_integers(const std::string& path, std::size_t block) {
  return read_numbers(true, path, block, {}, Stepping::kLambda);
}

// n copies of line: files long enough for the loops to run on their layouts.
std::string repeated(const std::string& line, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += line;
  return text;
}

// Lines as %g writes them, lengths changing every few numbers: after a few
// of them the reader takes such numbers 64 bytes at a time.
const std::string kGLines =
    "0.446336\n0.335988\n0.952494\n0.467827\n0.576832\n0.648754\n0.0318675\n0.83356\n"
    "-0.952494\n0.4463\n0.00972643\n1.5\n0\n";

struct GoodCase {
  std::string text;
  std::vector<long double> values;
  Selection selection = {};
  int columns = 0;  // what the first lines hold, read in blocks of the default size; -1: any
  std::int64_t glued = -1;  // and the line of the first word of glued numbers, read so; -1: any
  std::int64_t tabs = -1;   // the first line with two tabs before the chosen field, at any block
};

void expect_values(const GoodCase& c, std::size_t block, const Read& r) {
  ASSERT_EQ(r.error.what, What::kNone);
  if (block == kDefaultBlock && c.columns >= 0) {
    EXPECT_EQ(r.error.columns, c.columns);
    if (c.glued >= 0) {
      EXPECT_EQ(r.error.glued.line, c.glued);
    }
  }
  if (c.tabs >= 0) {
    EXPECT_EQ(r.error.tabs, c.tabs);
  }
  ASSERT_EQ(r.count, static_cast<std::int64_t>(c.values.size()));
  ASSERT_EQ(r.values.size(), c.values.size());
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    EXPECT_TRUE(same(r.values[i], c.values[i]))
        << "value " << i << ": read " << r.values[i] << ", expected " << c.values[i];
  }
}

void expect_reads(const GoodCase& c, bool integers, const std::vector<std::size_t>& blocks) {
  ScratchDir dir;
  const std::string path = dir.write("samples", c.text);
  for (std::size_t block : blocks) {
    for (Stepping stepping : {Stepping::kLambda, Stepping::kHolding}) {
      SCOPED_TRACE("text '" + c.text.substr(0, 60) + "', block " + std::to_string(block) +
                   (stepping == Stepping::kLambda ? ", lambda" : ", holding step"));
      expect_values(c, block, read_numbers(integers, path, block, c.selection, stepping));
    }
  }
}

struct BadCase {
  std::string text;
  What what;
  std::int64_t line;
  std::string token;
  Selection selection = {};
};

void expect_fails(const BadCase& c, bool integers, const std::vector<std::size_t>& blocks) {
  ScratchDir dir;
  const std::string path = dir.write("samples", c.text);
  for (std::size_t block : blocks) {
    for (Stepping stepping : {Stepping::kLambda, Stepping::kHolding}) {
      SCOPED_TRACE("text '" + c.text.substr(0, 60) + "', block " + std::to_string(block) +
                   (stepping == Stepping::kLambda ? ", lambda" : ", holding step"));
      const Read r = read_numbers(integers, path, block, c.selection, stepping);
      EXPECT_EQ(r.count, -1);
      EXPECT_EQ(r.error.what, c.what);
      EXPECT_EQ(r.error.line, c.line);
      EXPECT_EQ(r.error.token, c.token);
    }
  }
}

TEST(RealReader, ReadsEveryLayoutAndForm) {
  const std::vector<GoodCase> cases{
      // White space: none at the end, blank lines, leading blanks, CRLF, every separator.
      {"0.5\n0.25\n", {0.5, 0.25}},
      {"0.5\n0.25", {0.5, 0.25}},
      {"\n\n  0.5\n\n\n   0.25\n\n  \n", {0.5, 0.25}},
      {"0.5\r\n0.25\r\n", {0.5, 0.25}},
      {"1 2\t3\v4\f5\r6\n7", {1, 2, 3, 4, 5, 6, 7}},
      // Numbers whose syntax ends on its own need no separator.
      {"1-2", {1, -2}},
      {"1+2", {1, 2}},
      {"1.5.5", {1.5, 0.5}},
      {"1e5-1e-1", {1e5, -0.1}},
      {"infnan", {kInf, kNan}},
      // Signs, points and exponents.
      {"-7 +3 -0 +0", {-7, 3, -0.0, 0.0}},
      {"1e-3 1E+3 1.e2 .5 -.5 5. 007", {0.001, 1000, 100, 0.5, -0.5, 5, 7}},
      {"0.1 0.30000000000000004", {0.1, 0.30000000000000004}},
      // The shortest numbers' edge: 15 digits, 14 with a point, then one byte more.
      {"123456789012345 -1234567890.1234 1234567890123456 1234567890123.45 -0.000",
       {123456789012345, -1234567890.1234, 1234567890123456, 1234567890123.45, -0.0}},
      // 16 digits and more: every digit in the first 16 bytes weighs, and those after.
      {"1234567890123456\n9007199254740993\n1234567890123456.5\n",
       {1234567890123456, 9007199254740992, 1234567890123456.5}},
      {"0.09726430841378601\n0.0009726430841378601\n-1.532699004902953431e-02\n",
       {0.09726430841378601, 0.0009726430841378601, -1.532699004902953431e-02}},
      // Hexadecimal constants.
      {"0x1.8p3 -0X10 0x.8 0xAp-1 0x1P+1", {12, -16, 0.5, 5, 2}},
      {"0x1p-1074 0x1p1024", {0x1p-1074, kInf}},
      // Infinities and not-a-number, in any case.
      {"inf -Infinity NAN +INF infinity -nan", {kInf, -kInf, kNan, kInf, kInf, -kNan}},
      {"nan(1) -NaN(x_Y9) nan()", {kNan, -kNan, kNan}},  // brackets, as strtod reads them
      {"1 nan(123)\n", {kNan}, {2}},
      // Out of range rounds as strtod does.
      {"1e400 -1e400 1e-400 -1e-400", {kInf, -kInf, 0.0, -0.0}},
      {"4.9e-324 2.5e-324 2.4e-324 1e-310", {0x1p-1074, 0x1p-1074, 0.0, 1e-310}},
      {"1.7976931348623157e308 1.7976931348623159e308", {1.7976931348623157e308, kInf}},
      // Columns: all read as samples, and said to be columns once two lines agree.
      {"0.1 0.5\n0.2 0.25\n", {0.1, 0.5, 0.2, 0.25}, {}, 2},
      {"1 2 3\n", {1, 2, 3}},
      {"1 2\n3 4 5\n", {1, 2, 3, 4, 5}},
      {"1\t2\r\n\n 3 4\r\n", {1, 2, 3, 4}, {}, 2},
      {"x y\n1 2\n3 4\n", {1, 2, 3, 4}, {0, true}, 2},
      // One field of each line; the others are not read.
      {"0.1 0.5\n0.2 0.25\n", {0.1, 0.2}, {1}},
      {"0.1 0.5\n0.2 0.25\n", {0.5, 0.25}, {2}},
      {"a b 0.5\nlonger_name-with:text 2026-12-09 -0.25", {0.5, -0.25}, {3}},
      {"  1\t\t 0.5  \r\n\n \t\n2 0.25 trailing words\n\n", {0.5, 0.25}, {2}},
      {std::string("x\0y 1e3\n\0 -inf\n", 15), {1000, -kInf}, {2}},
      {"t delay\n1 0.5\n2 0.25\n", {0.5, 0.25}, {2, true}},
      {"delay\n0.5\n0.25", {0.5, 0.25}, {0, true}},
      {"\n0.5\n", {0.5}, {0, true}},
      {"0x1p3 1e400\n-0x1p3 x\n", {8, -8}, {1}},
      {repeated("7 0.5\n", 700), std::vector<long double>(700, 0.5), {2}},
      // One UTF-8 byte order mark where the file begins is skipped, across reads of any size.
      {"\ufeff0.5\n0.25\n", {0.5, 0.25}},
      {"\ufeff-1e3", {-1000}},
      // Two tabs in a row before the chosen field: an empty field to a tab-separated file.
      {"0.10\t\t0.002\n0.20\t0.00004\t0.003\n", {0.002, 0.00004}, {2}, 0, 0, 1},
      {"0.10\t0.5\n0.20\t \t0.25\n", {0.5, 0.25}, {2}, 0, 0, 2},
      {"x\n\t\t0.5\n", {0.5}, {1, true}, 0, 0, 2},
      {"1\t0.5\t\t7\n1  0.25\n", {0.5, 0.25}, {2}, 0, 0, 0},  // after it, or spaces: no empty field
                                                              // before it
      // Numbers with no white space between them, in the first lines: noted, read.
      {"0.0-1.0 5\n1.0-2.0 6\n", {0, -1, 5, 1, -2, 6}, {}, 3, 1},
      {"1\n2026-12-09\n", {1, 2026, -12, -9}, {}, 0, 2},
      {"1e5-3", {1e5, -3}, {}, 0, 1},
      {"1 -2 +3 1e-5\n", {1, -2, 3, 1e-5}, {}, 0, 0},
      // Fields split by one byte, as cut splits them: empty ones count, blanks
      // around the chosen one are not its number, quotes may hold the byte.
      {"time,delay\n0.1,0.5\n0.2,0.25\n", {0.5, 0.25}, {2, true, ','}},
      {",0.5,\n,0.25,,\n\n", {0.5, 0.25}, {2, false, ','}},
      {"0,5;0.5\r\n1;0.25\r\n", {0.5, 0.25}, {2, false, ';'}},
      {"0.1\t\t0.5\n\t\t0.25", {0.5, 0.25}, {3, false, '\t'}, 0, 0, 0},
      {" 0.5 , x \n\t0.25\t,\n", {0.5, 0.25}, {1, false, ','}},
      {"\"a,b\",\"0.5\"\n\"c\"\"d\" , \" 0.25 \" \n", {0.5, 0.25}, {2, false, ','}},
      {"\"\",1e3,\"x\"\"\"\n,-inf,\"\"\"\"\n", {1000, -kInf}, {2, false, ','}},
      {"0.5, \"a\" b ,\"c,\"\n", {0.5}, {1, false, ','}},  // after the chosen field
      {"0.5 0.25\n", {0.5}, {1, false, ' '}},
      {"x 1 2\n\t\nx 2\n", {1, 2}, {2, false, ' '}},  // blanks but the delimiter: a blank line
      {"1,2\n \t \n3,4", {2, 4}, {2, false, ','}},
      {std::string("a\0b,0.5\n\"\0\",2\n", 14), {0.5, 2}, {2, false, ','}},
      // A field named by the header: quotes and the blanks around it gone, compared byte for byte.
      {"time,delay,Delay\n1,0.5,7\n2,0.25,7\n", {0.5, 0.25}, {0, true, ',', false, "delay"}},
      {"\"time\",\" delay \"\n1,0.5\n", {0.5}, {0, true, ',', false, "delay"}},
      {"\ufefft;\"de\"\"l,ay\"\r\n1;0.5\r\n", {0.5}, {0, true, ';', false, "de\"l,ay"}},
      {"time\tdelay\n1\t0.5\n", {0.5}, {0, true, '\t', false, "delay"}},
      {"  time \"delay\"  x\n1 0.5 7\n", {0.5}, {0, true, '\0', false, "delay"}},
      {"a,," + std::string(300, 'n') + ",delay\n1,2,3,0.5\n",
       {0.5},
       {0, true, ',', false, "delay"}},
      // Comment lines: first a '#' but for spaces and tabs, anywhere, before the header too.
      {"# c\n  #\td\n\ntime,delay\n# x\n1,0.5\n \t#,y\n2,0.25\n",
       {0.5, 0.25},
       {0, true, ',', true, "delay"}},
      {"#c\n0.5\n  #1\n\t#x 1\n0.25\n#", {0.5, 0.25}, {0, false, '\0', true}},
      {"# a b\n1 0.5\n# c d\n2 0.25\n", {1, 0.5, 2, 0.25}, {0, false, '\0', true}, 2},
      {"#c\n1 0.5\n#\n2 0.25\n", {0.5, 0.25}, {2, false, '\0', true}},
      {"#c\ntime delay\n1 0.5\n", {0.5}, {2, true, '\0', true}},
      {"\ufeff#c\n" + std::string(100, ' ') + "#d\n0.5", {0.5}, {0, false, '\0', true}},
      {"\t#,c\n1\t0.5\n", {0.5}, {2, false, '\t', true}},
  };
  for (const GoodCase& c : cases) expect_reads(c, false, kBlocks);
}

TEST(RealReader, ReadsLongNumbersExactly) {
  const std::string zeros(5000, '0');
  const std::string digits(sample_input::kMaxNumberLength - 2, '1');
  const std::string longest = "0." + digits;  // exactly the longest number that reads
  expect_reads({"0." + zeros + "1e5001\n2", {1.0, 2}}, false, kLongBlocks);
  expect_reads({"1" + zeros + "e-5000", {1.0}}, false, kLongBlocks);
  expect_reads({"0.1" + zeros + "1", {0.1}}, false, kLongBlocks);
  expect_reads({"7\n" + longest + "\n8", {7, std::strtod(longest.c_str(), nullptr), 8}}, false,
               kLongBlocks);
  // A long run of short numbers crosses the default block edge many times.
  std::string many;
  std::vector<long double> values;
  for (int i = 0; i < 150000; ++i) {
    many += std::to_string(i) + ".25" + (i % 3 == 0 ? "\r\n" : " ");
    values.push_back(i + 0.25);
  }
  expect_reads({many, values}, false, {kDefaultBlock, 4093});
}

// Short decimals take a shortcut past the general conversion; it must round
// exactly as strtod does, digit counts and exponents on both sides of its limits.
TEST(RealReader, MatchesStrtodOnRandomDecimals) {
  std::mt19937_64 random(42);
  std::string text;
  std::vector<long double> expected;
  for (int i = 0; i < 200000; ++i) {
    std::string token = random() % 2 ? "-" : "";
    const int integer_digits = static_cast<int>(random() % 12);
    const int fraction_digits = static_cast<int>(random() % 12);
    for (int d = 0; d < integer_digits; ++d) token += static_cast<char>('0' + random() % 10);
    if (fraction_digits > 0 || integer_digits == 0) {
      token += '.';
      for (int d = 0; d < std::max(fraction_digits, 1); ++d) {
        token += static_cast<char>('0' + random() % 10);
      }
    }
    if (random() % 3 == 0) token += "e" + std::to_string(static_cast<int>(random() % 61) - 30);
    text += token + '\n';
    expected.push_back(std::strtod(token.c_str(), nullptr));
  }
  // Then as %g writes them, with 1 to 10 digits: lengths that change every
  // few numbers, now and then an exponent or another separator.
  std::uniform_real_distribution<double> sample(-0.05, 1.05);
  for (int i = 0; i < 200000; ++i) {
    char token[32];
    const double x = sample(random);
    std::snprintf(token, sizeof token, "%.*g", 1 + i / 5000 % 10,
                  random() % 1000 == 0 ? x * 1e-6 : x);
    text += token;
    text += random() % 64 == 0 ? " \t\v\f\r"[random() % 5] : '\n';
    expected.push_back(std::strtod(token, nullptr));
  }
  expect_reads({text, expected}, false, {kDefaultBlock, 4099});
}

// What strtod or strtoll make of text, token after token (as a C "%lf" or
// "%lld" conversion would), for texts of numbers only. An integer written as
// a real (a point or an exponent after its digits) by strtold, exact for
// the integers of 64 bits these texts hold.
std::vector<long double> c_library_values(const std::string& text, bool integers) {
  std::vector<long double> values;
  const char* s = text.c_str();
  for (;;) {
    while (*s != '\0' && std::strchr(" \t\n\v\f\r", *s) != nullptr) ++s;
    if (*s == '\0') return values;
    char* end = nullptr;
    if (!integers) {
      values.push_back(std::strtod(s, &end));
    } else {
      const long long integer = std::strtoll(s, &end, 10);
      const bool real = end == s || *end == '.' || *end == 'e' || *end == 'E';
      // + 0: an integer has no sign of its own at zero ("-0.0" is 0).
      values.push_back(real ? std::strtold(s, &end) + 0.0L : static_cast<long double>(integer));
    }
    s = end;
  }
}

// The fields of a line split by delimiter, each without the blanks around it
// and its quotes; none for a line of blanks.
std::vector<std::string> delimited_fields(const std::string& line, char delimiter) {
  const auto blank = [&](char c) {
    return c != delimiter && std::strchr(" \t\r\v\f", c) != nullptr;
  };
  if (std::all_of(line.begin(), line.end(), blank)) return {};
  std::vector<std::string> fields;
  for (std::size_t at = 0;; ++at) {
    std::string field;
    while (at < line.size() && blank(line[at])) ++at;
    if (at < line.size() && line[at] == '"') {
      for (++at; at < line.size() && (line[at] != '"' || line[at + 1] == '"'); ++at) {
        at += line[at] == '"';
        field += line[at];
      }
      ++at;
    }
    for (; at < line.size() && line[at] != delimiter; ++at) field += line[at];
    const std::size_t first = field.find_first_not_of(" \t\r\v\f");
    field.erase(0, first == std::string::npos ? field.size() : first);
    field.erase(field.find_last_not_of(" \t\r\v\f") + 1);
    fields.push_back(field);
    if (at >= line.size()) return fields;
  }
}

// The same for field `field` of each line, fields split by blanks or by delimiter.
std::vector<long double> c_library_values(const std::string& text, bool integers, int field,
                                          char delimiter = '\0') {
  if (field == 0) return c_library_values(text, integers);
  std::vector<long double> values;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (delimiter != '\0') {
      const std::vector<std::string> fields = delimited_fields(line, delimiter);
      if (!fields.empty()) values.push_back(c_library_values(fields.at(field - 1), integers).at(0));
      continue;
    }
    for (char& c : line) c = std::strchr("\t\v\f\r", c) != nullptr ? ' ' : c;
    std::istringstream fields(line);
    std::string word;
    for (int i = 0; i < field && fields >> word; ++i) {
      if (i + 1 == field) values.push_back(c_library_values(word, integers).at(0));
    }
  }
  return values;
}

// Numbers of one layout are read at a constant step and integers 64 bytes at
// a time; any change of layout must fall back to the scanners at the right
// place. A run of one layout, a change, then the run again, shifted by every
// offset against the edges of blocks of every size, with a malformed word
// after it so that the line count is checked as well.
TEST(Reader, LayoutChangesAgreeWithTheCLibraryAtEveryBlockEdge) {
  const std::vector<std::size_t> blocks{1, 2, 3, 7, 13, 61, 64, 67, 130, kDefaultBlock};
  struct Layouts {
    bool integers;
    std::string run;  // one number of the layout and its white space
    std::vector<std::string> changes;
    int field = 0;          // in field mode, lines of a layout, with the number in this field
    char delimiter = '\0';  // and their fields split by this byte
  };
  const std::vector<Layouts> layouts{
      {false,
       "0.123456\n",
       {"0.1234567\n", "-0.123456\n", "1.5e-3\n", ".5\n", "5.\n", "0.123456\r\n", "0.123456  ",
        "1-2\n", "0.12345678901234567\n", "1448\n", "+0.5\n", "inf\n", "0x1p3\n", "0.123456\t",
        "\n\n", "12345678.9\n", "123456789012345\n"}},
      {false, "-12.123456789\r\n", {"12.123456789\r\n", "12.12345678\r\n", "-1e22\r\n", "0\r\n"}},
      {false,
       "1.390101e-02\n",
       {"1.390101e+00\n", "-1.390101e-02\n", "1.39010e-02\n", "1.390101e-102\n", "1.390101E-02\n"}},
      {false,
       "0.09726430841378601\n",
       {"0.0972643084137860\n",       "0.009726430841378601\n",
        "-0.9726430841378601\n",      "9.726430841378601e-05\n",
        "0.0009726430841378601\n",    "-0.000000000009726430841378601\n",
        "0.0097264308413786012345\n", "0.00000000000000000000\n",
        "-0.1234567890123\n",         "-0.12345678901234\n",
        "-12345678901234.56\n",       "-123456789012345.6\n",
        "123456789012345.\n",         "0.1234567890123456.5\n",
        "0.1234567890123456e5\n",     ".09726430841378601\n",
        "-.09726430841378601\n",      "-0.097264308413786013\n",
        "-123456789012345.67\n",      "1234567890123456.7\n",
        "0.09726430841378601 ",       "-0.9726430841378601\t"}},
      {false, "0.09726430841378601\r\n", {"0.0972643084137860\r\n", "-0.9726430841378601\r\n"}},
      // %g: lengths that change every few numbers, so 64 bytes at a time.
      {false,
       kGLines,
       {"1.5.5\n", ".5\n", "5.\n", "-.5\n", "1-2\n", "-0.12345678901\n", "-0.123456789012\n",
        "0.1234567890123\n", "-0.1234567890123\n", "0.12345678901234\n", "123456789012345\n",
        "1e-05\n", "+0.5\n", "-0\n", "0.5 0.25\n", "0.446336\r\n", "\n\n"}},
      {false,
       "1.532699004902953431e-02\n",
       {"1.532699004902953431e+02\n", "1.53269900490295343e-02\n", "1.5326990049029534312e-02\n"}},
      {false,
       "9007199254740993\n",
       {"9007199254740992\n", "90071992547409930\n", "9007199254740993.5\n"}},
      {true,
       "1448\n",
       {"-1448\n",
        "-12\n",
        "+5\n",
        "12345678\n",
        "2147483647\n",
        "-2147483648\n",
        "007\n",
        "1-2\n",
        "1448\r\n",
        "1448  ",
        "1448\t",
        "42\n",
        "\n\n\n",
        "2147483648\n",
        "4294967296\n",
        "9007199254740993\n",
        "00000000000000001448\n",
        "-9223372036854775808\n",
        "9223372036854775807\n",
        "1448.0\n",
        "1448.\n",
        "1.448e+03\n",
        "1.448000000000000000e+03\n",
        "-0.0\n"}},
      {true,
       "12345678\n",
       {"1234567890\n", "-123456789\n", "7\n", "0000000000012\n", "+12345678\n"}},
      {true, "-2147483648 ", {"2147483647 ", "-999999999 ", "100000000 ", "-2147483649 "}},
      // Byte counters: 13 digits, one short layout.
      {true,
       "1234567890123\n",
       {"123456789012\n", "12345678901234\n", "-1234567890123\n", "9223372036854775807\n",
        "1234567890123.0\n", "1234567890123e0\n", "0001234567890\n", "1234567890123\r\n"}},
      // Counters whose length changes: long integers one at a time.
      {true,
       "12345678901\n123456789012\n-1234567890123\n9876543210987\n",
       {"1448\n", "+5\n", "12345678901234567\n", "9223372036854775807\n", "-9223372036854775808\n",
        "1234567890123.0\n", "12345678901\r\n", "12345678901  ", "\n\n", "0000000000000000012345\n",
        "1234567890123456\n", "9007199254740993\n", "-9007199254740993\n", "1.234567890123e+12\n"}},
      {true,
       "1234567890123456\r\n",
       {"-1234567890123456\r\n", "123456789012345\r\n", "-9223372036854775808\r\n"}},
      {true, "-1448\n", {"1448\n", "-14480\n", "-1448 "}},
      {false,
       "1234.567890 0.150010\n",
       {"12345.567890 0.150010\n", "1234.567890 -0.150010\n", "1234.567890 0.15\n",
        "1234.567890 0.150010 more\n", "1234.567890\t0.150010\n", "\n", " 1234.567890 0.150010\n",
        "1234.567890 0.150010\r\n", "a 1\n", "1234.567890 1e-5\n", "1234.567890 0.150010  \n"},
       2},
      {false, "1234.567890 -0.150010\n", {"1234.567890 0.150010\n", "1234.567890 -0.15001\n"}, 2},
      {true, "17 1448\n", {"17 -1448\n", "170 1448\n", "17 12345678\n", "x 1\n", "17  1448\n"}, 2},
      {false, "0.5 tcp\n", {"0.5 udp\n", "0.25 tcp\n", "-0.5 tcp\n", "0.5\n"}, 1},
      // Fields after the chosen one: stepped over as text, through the newline.
      {false,
       "0.000597 0.113641\n",
       {"0.000597 0.1136411\n", "0.000597 -0.113641\n", "-0.000597 0.113641\n", "0.000597\n",
        "0.000597 0.113641 7\n", "0.000597 0.113641\r\n", "0.000597  0.113641\n",
        "0.0005970 0.113641\n", "0.000597 x\n", "1e-05 0.113641\n", "0.000597 0.113641"},
       1},
      {true, "17 1448 3\n", {"17 1448 30\n", "17 -1448 3\n", "17 1448\n", "17 1448 x y\n"}, 2},
      // Fields split by one byte: the delimiters and quotes are the layout's own bytes.
      {false,
       "0.000597,0.113641\n",
       {"0.000597,0.1136411\n", "0.000597,-0.113641\n", "-0.000597,0.113641\n",
        "0.000597,0.113641,7\n", "0.000597, 0.113641\n", "0.0005970,0.113641\n", "1e-05,0.113641\n",
        "0.000597,0.113641\r\n", ",0.113641\n", "0.000597,\"0.113641\"\n", "\"0,1\",0.5\n",
        "0.000597,0.113641 \n", "\n", "0.000597;0.113641,1\n"},
       2,
       ','},
      {false,
       "\"0.000597\",\"0.113641\"\n",
       {"\"0.000597\",\"0.1136411\"\n", "\"0.000597\",\"-0.113641\"\n", "\"0.000597\",0.113641\n",
        "\"0.000597\",\"0.113641\",\"x\"\n", "\"0.00059,7\",\"0.113641\"\n",
        "\"0.000597\",\" 0.113641\"\n", "\"0\"\"597\",\"0.113641\"\n"},
       2,
       ','},
      {false,
       "0.1\t\t0.5\n",
       {"0.1\t\t-0.5\n", "\t\t0.5\n", "0.1\t0.2\t0.5\n", "0.1\t\t0.5\t\n"},
       3,
       '\t'},
      {false,
       "0.5,tcp\n",
       {"0.5,udp\n", "-0.5,tcp\n", "0.5\n", "0.25,tcp,x\n", "\"0.5\",tcp\n"},
       1,
       ','},
      {true,
       "17;1448\n",
       {"17;-1448\n", "17;14480\n", "x;1\n", "17;1448;\n", "17; 1448\n"},
       2,
       ';'},
  };
  for (const Layouts& l : layouts) {
    for (const std::string& change : l.changes) {
      for (int shift = 0; shift < 16; ++shift) {
        for (int before : {1, 3, 9}) {
          std::string text(static_cast<std::size_t>(shift), ' ');
          for (int i = 0; i < before; ++i) text += l.run;
          text += change;
          for (int i = 0; i < 12; ++i) text += l.run;
          const Selection selection{l.field, false, l.delimiter};
          expect_reads(
              {text, c_library_values(text, l.integers, l.field, l.delimiter), selection, -1},
              l.integers, blocks);
          const auto lines = std::count(text.begin(), text.end(), '\n');
          const What malformed = l.integers ? What::kNotAnInteger : What::kNotANumber;
          // A short delimited line is quoted whole, with the blank it begins with.
          const bool whole_line = l.delimiter != '\0' && l.field > 1;
          expect_fails({text + " x\n" + l.run, l.field > 1 ? What::kShortLine : malformed,
                        lines + 1, whole_line ? " x" : "x", selection},
                       l.integers, blocks);
        }
      }
    }
  }
}

TEST(RealReader, RejectsWhatIsNotANumber) {
  const std::vector<BadCase> cases{
      {"", What::kNoNumber, 0, ""},
      {" \n\t\r\n  ", What::kNoNumber, 0, ""},
      {"abc", What::kNotANumber, 1, "abc"},
      {"1\n2\nx\n", What::kNotANumber, 3, "x"},
      {"1\r\n2\r\n\r\nfoo\r\n", What::kNotANumber, 4, "foo"},
      {"1\n\n1e\n", What::kNotANumber, 3, "1e"},
      {"1e+", What::kNotANumber, 1, "1e+"},
      {"1e-x", What::kNotANumber, 1, "1e-x"},
      {"2 - 3", What::kNotANumber, 1, "-"},
      {"+", What::kNotANumber, 1, "+"},
      {"--1", What::kNotANumber, 1, "--1"},
      {".", What::kNotANumber, 1, "."},
      {"-.e1", What::kNotANumber, 1, "-.e1"},
      {"0x", What::kNotANumber, 1, "0x"},
      {"0xg", What::kNotANumber, 1, "0xg"},
      {"0x1p", What::kNotANumber, 1, "0x1p"},
      {"1.5abc", What::kNotANumber, 1, "1.5abc"},
      {"1 2x", What::kNotANumber, 1, "2x"},
      {"infin", What::kNotANumber, 1, "infin"},
      {"nan(1", What::kNotANumber, 1, "nan(1"},  // unclosed: nan, then text
      {"nan(-1)", What::kNotANumber, 1, "nan(-1)"},
      {"1,5", What::kNotANumber, 1, "1,5"},
      {std::string("1\n\0\n", 4), What::kNotANumber, 2, "\\x00"},
      {"0.5\n\xff\n", What::kNotANumber, 2, "\\xff"},
      // Compressed files are told by their first bytes, at every block size.
      {"\x1f\x8b\x08", What::kCompressed, 1, "\\x1f\\x8b\\x08"},
      {"BZh91AY&SY", What::kCompressed, 1, "BZh91AY&SY"},
      {std::string("\xfd"
                   "7zXZ\0\0",
                   7),
       What::kCompressed, 1, "\\xfd7zXZ\\x00\\x00"},
      {"1\n\x1f\x8b\x08", What::kNotANumber, 2, "\\x1f\\x8b\\x08"},  // not where a file begins
      {"\x1f\x8b\x08 \n", What::kCompressed, 1, "\\x1f\\x8b\\x08", {0, true}},  // under a header
      {"BZh91AY&SY 0.5\n", What::kCompressed, 1, "BZh91AY&SY", {2}},  // in a field not read
      {"BZhost 0.5\n", What::kNotANumber, 1, "BZhost"},               // no bzip2 header: text
      {"BZh91AY&S\n", What::kNotANumber, 1, "BZh91AY&S"},
      // One field of each line: it must be a number, and the line must have it.
      {"1 2\n3\n", What::kShortLine, 2, "3", {2}},
      {"1 2\n\n  3 \t \r\n", What::kShortLine, 3, "3", {2}},
      {"1 2", What::kShortLine, 1, "2", {3}},
      {"1 2\nlastfield" + std::string(64, ' ') + "\n", What::kShortLine, 2, "lastfield", {2}},
      {"1 2\nlastfield" + std::string(300, '\t') + "\n", What::kShortLine, 2, "lastfield", {2}},
      {"1 2\nQ" + std::string(64, 'x') + std::string(64, ' ') + "\n",
       What::kShortLine,
       2,
       "Q" + std::string(64, 'x'),
       {2}},
      {"1 2\nQ" + std::string(64, 'x') + "\n",
       What::kShortLine,
       2,
       "Q" + std::string(64, 'x'),
       {2}},
      {"BZh9\x17\x72\x45\x38\x50\x90" + std::string(4, '\0'), What::kCompressed, 1,
       "BZh9\\x17rE8P\\x90\\x00\\x00\\x00\\x00"},  // no data
      {"1 2\n3 4x 5\n", What::kNotANumber, 2, "4x", {2}},
      {"1 2\n3 1-2\n", What::kNotANumber, 2, "1-2", {2}},
      {"1 nan(1\n", What::kNotANumber, 1, "nan(1", {2}},
      {"time delay\n1 0.5\n", What::kNotANumber, 1, "delay", {2}},
      {"header\n", What::kNoNumber, 0, "", {0, true}},
      {"header\n\n  \n", What::kNoNumber, 0, "", {2, true}},
      {"h\n1 2\n3 x\n", What::kNotANumber, 3, "x", {2, true}},
      {repeated("7 0.5\n", 600) + "8 x\n", What::kNotANumber, 601, "x", {2}},
      {repeated("7 0.5\n", 600) + "8\n", What::kShortLine, 601, "8", {2}},
      {repeated(kGLines, 9) + "-\n" + kGLines, What::kNotANumber, 118, "-"},
      {repeated(kGLines, 9) + "0.5-\n" + kGLines, What::kNotANumber, 118, "0.5-"},
      {"\\x41 \xc3\xa9", What::kNotANumber, 1, "\\\\x41"},  // a backslash is doubled
      // In a token every byte outside printable ASCII shows: no number holds one.
      {"\xc3\xa9t\xc3", What::kNotANumber, 1, "\\xc3\\xa9t\\xc3"},
      {"0.1\u00a0\n", What::kNotANumber, 1, "0.1\\xc2\\xa0"},          // no-break space
      {"1\n\u200b0.1\n", What::kNotANumber, 2, "\\xe2\\x80\\x8b0.1"},  // zero-width space
      {"\u22120.1", What::kNotANumber, 1, "\\xe2\\x88\\x920.1"},       // minus sign
      // A byte order mark anywhere but at the very start is text; one is skipped, not two.
      {"0.5\n\ufeff0.25\n", What::kNotANumber, 2, "\\xef\\xbb\\xbf0.25"},
      {" \ufeff0.5", What::kNotANumber, 1, "\\xef\\xbb\\xbf0.5"},
      {"\ufeff\ufeff0.5", What::kNotANumber, 1, "\\xef\\xbb\\xbf0.5"},
      {std::string("\xef\xbb") + "0.5", What::kNotANumber, 1, "\\xef\\xbb0.5"},  // a mark cut short
      {"\ufeffabc", What::kNotANumber, 1, "abc"},
      {"\ufeff", What::kNoNumber, 0, ""},
      {"\ufeff \n", What::kNoNumber, 0, ""},
      // Fields split by one byte: the chosen one must exist and hold a number, whole.
      {"1,,2\n", What::kEmptyField, 1, "1,,2", {2, false, ','}},
      {"1,2\n3, \"  \" ,4\r\n", What::kEmptyField, 2, "3, \"  \" ,4", {2, false, ','}},
      {"7,8,9\n1,2,\n", What::kEmptyField, 2, "1,2,", {3, false, ','}},
      {"\t\t\n", What::kEmptyField, 1, "\\x09\\x09", {1, false, '\t'}},
      {"0.1;0.25\n", What::kShortLine, 1, "0.1;0.25", {2, false, ','}},
      {"1,\"2,3\n4,5\n", What::kOpenQuote, 1, "\"2,3", {3, false, ','}},
      {"1,\"2\n", What::kOpenQuote, 1, "\"2", {2, false, ','}},
      {"1,2,\"3\"\"\n", What::kOpenQuote, 1, "\"3\"\"", {2, false, ','}},  // after the chosen one
      {"1,\"2\"x\n", What::kNotANumber, 1, "\"2\"x", {2, false, ','}},
      {"1,\"2\"\"\"\n", What::kNotANumber, 1, "\"2\"\"\"", {2, false, ','}},
      {"1,1-2\n", What::kNotANumber, 1, "1-2", {2, false, ','}},
      {"1;0,5\n", What::kNotANumber, 1, "0,5", {2, false, ';'}},
      {"1,2 3\n", What::kNotANumber, 1, "2 3", {2, false, ','}},
      {"1,\"nan(1,2)\"\n", What::kNotANumber, 1, "nan(1,2)", {2, false, ','}},
      // A name the header does not give, or gives twice; the header's quotes checked too.
      {"a,b\n1,2\n", What::kNoSuchName, 1, "c", {0, true, ',', false, "c"}},
      {"a b\n1 2\n", What::kNoSuchName, 1, "a b", {0, true, '\0', false, "a b"}},
      {"# x\na,\"b\",b\n1,2,3\n", What::kNameTwice, 2, "b", {0, true, ',', true, "b"}},
      {"a,\"b\n1,2\n", What::kOpenQuote, 1, "\"b", {0, true, ',', false, "b"}},
      // '#' begins a comment only where a line begins.
      {"1 #x\n", What::kNotANumber, 1, "#x", {0, false, '\0', true}},
      {"1\n2#x\n", What::kNotANumber, 2, "2#x", {0, false, '\0', true}},
      {"1,#2\n", What::kNotANumber, 1, "#2", {2, false, ',', true}},
      {"1 #2\n", What::kNotANumber, 1, "#2", {2, false, '\0', true}},
      {"#x\n", What::kNotANumber, 1, "#x"},  // without comments, text
  };
  for (const BadCase& c : cases) expect_fails(c, false, kBlocks);
}

TEST(RealReader, CutsALongOffendingToken) {
  const std::string junk(300, 'z');
  ScratchDir dir;
  const Read r = read_reals(dir.write("samples", "1\n" + junk), kDefaultBlock);
  EXPECT_EQ(r.error.what, What::kNotANumber);
  EXPECT_EQ(r.error.line, 2);
  const std::string token = r.error.token;
  EXPECT_LT(token.size(), 96u);
  EXPECT_EQ(token.substr(token.size() - 3), "...");
}

TEST(RealReader, RejectsANumberLongerThanTheLimit) {
  const std::string digits(sample_input::kMaxNumberLength + 1, '1');
  expect_fails({"1\n2\n" + digits + "\n", What::kTooLong, 3, digits.substr(0, 88) + "..."}, false,
               kLongBlocks);
  expect_fails({"1\n0." + digits.substr(2), What::kTooLong, 2, "0." + digits.substr(0, 86) + "..."},
               false, kLongBlocks);
}

TEST(IntegerReader, ReadsSignsLimitsAndLayouts) {
  const std::vector<GoodCase> cases{
      {"1 2\t3\n", {1, 2, 3}},
      {"-7\n+3\n", {-7, 3}},
      {"5\r\n6\r\n", {5, 6}},
      {"\n  10\n\n20", {10, 20}},
      {"2147483647 -2147483648 +2147483647", {2147483647, -2147483648.0, 2147483647}},
      {"0007 -0 +0", {7, 0, 0}},
      {"1-2+3", {1, -2, 3}},
      {std::string(5000, '0') + "42", {42}},
      {"12345678\n123456789\n1234567890\n-2147483648\n",
       {12345678, 123456789, 1234567890, -2147483648.0}},
      {"0000000002147483647 -00000000002147483648", {2147483647, -2147483648.0}},
      // 64 bits: past 2^31, 2^32 and 2^53 (where a double would round), to both ends.
      {"2147483648\n-2147483649\n", {2147483648, -2147483649}},
      {"4294967296", {4294967296}},
      {"9007199254740993 -9007199254740993", {9007199254740993, -9007199254740993}},
      {"9223372036854775807 -9223372036854775808", {kMax64, kMin64}},
      {"+9223372036854775807\n-0009223372036854775808\n", {kMax64, kMin64}},
      {"00000000000000000000000000009223372036854775807", {kMax64}},
      {"1234567890\n2147483648\n9999999999\n", {1234567890, 2147483648, 9999999999}},
      {"99999999999-1", {99999999999, -1}},
      {"1 2147483648\n", {2147483648}, {2}},
      {"1 -9223372036854775808\n2 9223372036854775807\n", {kMin64, kMax64}, {2}},
      // Byte counters of 11 to 13 digits and more, of lengths that change.
      {"12345678901 123456789012 1234567890123 98765432109 987654321098 9876543210987 "
       "-12345678901 -123456789012 -1234567890123 12345678901234 123456789012345 "
       "1234567890123456 12345678901234567 123456789012345678 9223372036854775807 "
       "-9223372036854775808 11 222\n",
       {12345678901, 123456789012, 1234567890123, 98765432109, 987654321098, 9876543210987,
        -12345678901, -123456789012, -1234567890123, 12345678901234, 123456789012345,
        1234567890123456, 12345678901234567, 123456789012345678, kMax64, kMin64, 11, 222}},
      // Whole numbers written as reals (numpy's %.18e, pandas' 1448.0) read as integers.
      {"1448.0\n", {1448}},
      {"1448.\n", {1448}},
      {"1.448e+03\n", {1448}},
      {"1.448000000000000000e+03\n", {1448}},
      {"-1.448000000000000000e+03 1.0E3 100e-2 .0 0e99 00.00", {-1448, 1000, 1, 0, 0, 0}},
      {"-0.0 -0. -.0 +0.0", {0, 0, 0, 0}},
      {"1\n2\n3.0\n", {1, 2, 3}},
      {"1e5", {100000}},
      {"1448.000000000000000000000000000000000000000000000000\n", {1448}},
      {"0.000000000000000000000000000000000000000001448e45\n", {1448}},
      {"9007199254740993.0 9.007199254740993e15", {9007199254740993, 9007199254740993}},
      {"9.223372036854775807e18 -9.223372036854775808e+18", {kMax64, kMin64}},
      {"1.0-2.0+3e0", {1, -2, 3}},
      {"1 1448.0\n2 1.448e3\n", {1448, 1448}, {2}},
      {"seq sent received\n1 1000 990\n2 1000 1000\n", {990, 1000}, {3, true}},
      {"5                5                5                ", {5, 5, 5}},  // a layout past 16 bytes
      {"7 -1448 x\r\n8 +12 y\r\n", {-1448, 12}, {2}},
      {"\ufeff7\n8", {7, 8}},  // a byte order mark first
      {"a;b\n1;-7\n2;+3\n", {-7, 3}, {2, true, ';'}},
      {"\"7\",\"1448\"\n\"8\",\" -12\"\n", {8}, {0, true, ',', false, "7"}},
      {"1,\"1448.0\",3\n2,-1.448e3\n3, 4294967296 \n", {1448, -1448, 4294967296}, {2, false, ','}},
      // Lengths that change, so 64 bytes at a time: blocks without a minus, then with some.
      {"9999 0000 0009 1000 40 1500 7 8 99 123 4567 1 22 333 4444 0 10 100 1000 9 90 900 9000 5\n"
       "0001 01 001 9 1448 1448 1448 1448 576 576 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40\n",
       {9999, 0,    9,  1000, 40,  1500, 7,  8,  99, 123, 4567, 1,    22,   333,  4444, 0,   10,
        100,  1000, 9,  90,   900, 9000, 5,  1,  1,  1,   9,    1448, 1448, 1448, 1448, 576, 576,
        40,   40,   40, 40,   40,  40,   40, 40, 40, 40,  40,   40,   40,   40,   40}},
      {"9999 0000 0009 1000 40 1500 7 65535 8 99 123 4567 1 22 333 4444 0 10 100 1000 9 90 900\n",
       {9999, 0,  9,   1000, 40, 1500, 7,   65535, 8, 99, 123, 4567,
        1,    22, 333, 4444, 0,  10,   100, 1000,  9, 90, 900}},  // five digits among four: the
                                                                  // block converts each on its own
      {"1 22 333 4444 5 66 777 8888 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 "
       "28 29 30 31 32 33 -4 55 -666 7777 8 -99 1 -22 333 -4444 5 -66 777 -8888 9 -10 11\n",
       {1,  22,   333,  4444, 5,   66, 777, 8888, 9,     10, 11,  12,  13,    14, 15,  16, 17,
        18, 19,   20,   21,   22,  23, 24,  25,   26,    27, 28,  29,  30,    31, 32,  33, -4,
        55, -666, 7777, 8,    -99, 1,  -22, 333,  -4444, 5,  -66, 777, -8888, 9,  -10, 11}},
  };
  for (const GoodCase& c : cases) expect_reads(c, true, kBlocks);
}

// Every length of digits, signs and leading zeros, against strtoll, at block
// edges too: short integers are converted eight bytes at a time, longer ones
// eight digits at a time.
TEST(IntegerReader, MatchesStrtolOnRandomIntegers) {
  std::mt19937_64 random(43);
  std::string text;
  std::vector<long double> expected;
  while (expected.size() < 100000) {
    std::string token = random() % 4 == 0 ? "-" : random() % 8 == 0 ? "+" : "";
    const int digits = 1 + static_cast<int>(random() % 20);
    for (int d = 0; d < digits; ++d) token += static_cast<char>('0' + random() % 10);
    errno = 0;
    const long long value = std::strtoll(token.c_str(), nullptr, 10);
    if (errno == ERANGE) continue;
    text += token + (random() % 3 == 0 ? "\r\n" : random() % 2 ? "\n" : " ");
    expected.push_back(static_cast<long double>(value));
  }
  expect_reads({text, expected}, true, {kDefaultBlock, 4099, 13});
}

TEST(IntegerReader, RejectsWhatIsNotAnIntegerOrOutOfRange) {
  const std::vector<BadCase> cases{
      {"", What::kNoNumber, 0, ""},
      {"\n\n", What::kNoNumber, 0, ""},
      {"9223372036854775808", What::kOutOfRange, 1, "9223372036854775808"},
      {"1\n-9223372036854775809", What::kOutOfRange, 2, "-9223372036854775809"},
      // 2^64, which wraps to 0 in 64 bits.
      {"18446744073709551616", What::kOutOfRange, 1, "18446744073709551616"},
      {"99999999999999999999999", What::kOutOfRange, 1, "99999999999999999999999"},
      {"1\n2\n3.5\n", What::kNotAnInteger, 3, "3.5"},
      {"12.5", What::kNotAnInteger, 1, "12.5"},
      {"1448.5", What::kNotAnInteger, 1, "1448.5"},
      {"1448.00000000000000000000000001", What::kNotAnInteger, 1,
       "1448.00000000000000000000000001"},
      {"1e30", What::kNotAnInteger, 1, "1e30"},
      {"5e-1", What::kNotAnInteger, 1, "5e-1"},
      {"1.4485e3", What::kNotAnInteger, 1, "1.4485e3"},
      {"9223372036854775808.0", What::kNotAnInteger, 1, "9223372036854775808.0"},
      {"-9.223372036854775809e18", What::kNotAnInteger, 1, "-9.223372036854775809e18"},
      {"1e19", What::kNotAnInteger, 1, "1e19"},
      {"1e999999999999", What::kNotAnInteger, 1, "1e999999999999"},
      {"1.0e", What::kNotAnInteger, 1, "1.0e"},
      {"1e+", What::kNotAnInteger, 1, "1e+"},
      {".", What::kNotAnInteger, 1, "."},
      {"-.e1", What::kNotAnInteger, 1, "-.e1"},
      {"1.0.5", What::kNotAnInteger, 1, "1.0.5"},
      {"nan", What::kNotAnInteger, 1, "nan"},
      {"0x1p3", What::kNotAnInteger, 1, "0x1p3"},
      {"abc", What::kNotAnInteger, 1, "abc"},
      {"-", What::kNotAnInteger, 1, "-"},
      {"+ 1", What::kNotAnInteger, 1, "+"},
      {"inf", What::kNotAnInteger, 1, "inf"},
      {"0x10", What::kNotAnInteger, 1, "0x10"},
      {std::string("7\0", 2), What::kNotAnInteger, 1, "7\\x00"},
      {"1\n2:\n", What::kNotAnInteger, 2, "2:"},             // ':' follows '9'
      {"12345678/\n", What::kNotAnInteger, 1, "12345678/"},  // '/' precedes '0'
      {"1234567890123456789\n9223372036854775808\n", What::kOutOfRange, 2, "9223372036854775808"},
      {"1\n-9223372036854775808\n-9223372036854775809", What::kOutOfRange, 3,
       "-9223372036854775809"},
      {"99999999999999999999", What::kOutOfRange, 1, "99999999999999999999"},
      {"99999999999x", What::kNotAnInteger, 1, "99999999999x"},
      // Malformed before out of range.
      {"99999999999999999999x", What::kNotAnInteger, 1, "99999999999999999999x"},
      {std::string("99999999999\0\n", 13), What::kNotAnInteger, 1, "99999999999\\x00"},
      {std::string("99999999999999999999\0\n", 22), What::kNotAnInteger, 1,
       "99999999999999999999\\x00"},
      {"99999999999.5", What::kNotAnInteger, 1, "99999999999.5"},
      // Then -1, a number of its own.
      {"99999999999999999999-1", What::kOutOfRange, 1, "99999999999999999999-1"},
      {"1 99999999999-1\n", What::kNotAnInteger, 1, "99999999999-1", {2}},  // no field holds two
      {"1 9223372036854775808\n", What::kOutOfRange, 1, "9223372036854775808", {2}},
      {"1 2.5\n", What::kNotAnInteger, 1, "2.5", {2}},
      {"1 1448.0x\n", What::kNotAnInteger, 1, "1448.0x", {2}},
      {"1 1e30\n", What::kNotAnInteger, 1, "1e30", {2}},
      {"1\n2 3\n", What::kShortLine, 1, "1", {2}},
      {"1,99999999999999999999\n", What::kOutOfRange, 1, "99999999999999999999", {2, false, ','}},
      {"1,99999999999999999999,3\n", What::kOutOfRange, 1, "99999999999999999999", {2, false, ','}},
      {"1,\"-99999999999999999999\"\n",
       What::kOutOfRange,
       1,
       "-99999999999999999999",
       {2, false, ','}},
      {"1,99999999999999999999x,3\n",
       What::kNotAnInteger,
       1,
       "99999999999999999999x",
       {2, false, ','}},
      {"1,-,3\n", What::kNotAnInteger, 1, "-", {2, false, ','}},
      {"1,\"2.5\"\n", What::kNotAnInteger, 1, "2.5", {2, false, ','}},
      {"1,1e30\n", What::kNotAnInteger, 1, "1e30", {2, false, ','}},
      {"1,\"9223372036854775808\"\n", What::kOutOfRange, 1, "9223372036854775808", {2, false, ','}},
      {"7\n\ufeff8", What::kNotAnInteger, 2, "\\xef\\xbb\\xbf8"},  // a byte order mark inside
      {"0,5", What::kNotAnInteger, 1, "0,5"},
      // After runs that the fast paths take: counters of changing length, one width, sizes.
      {repeated("12345678901\n123456789012\n-1234567890123\n", 20) + "9223372036854775808\n",
       What::kOutOfRange, 61, "9223372036854775808"},
      {repeated("12345678901\n123456789012\n-1234567890123\n", 20) + "-9223372036854775809\n",
       What::kOutOfRange, 61, "-9223372036854775809"},
      {repeated("12345678901\n123456789012\n-1234567890123\n", 20) + "12345678901234567890\n",
       What::kOutOfRange, 61, "12345678901234567890"},
      {repeated("12345678901\n123456789012\n-1234567890123\n", 20) + "1448.5\n",
       What::kNotAnInteger, 61, "1448.5"},
      {repeated("1234567890123\n", 60) + "9223372036854775808\n", What::kOutOfRange, 61,
       "9223372036854775808"},
      {repeated("1234567890123\n", 60) + "1e30\n", What::kNotAnInteger, 61, "1e30"},
      {repeated("1448\n-7\n123456789\n", 20) + "-9223372036854775809\n", What::kOutOfRange, 61,
       "-9223372036854775809"},
      {repeated("1448\n-7\n123456789\n", 20) + "inf\n", What::kNotAnInteger, 61, "inf"},
  };
  for (const BadCase& c : cases) expect_fails(c, true, kBlocks);
  const std::string digits(sample_input::kMaxNumberLength + 1, '0');
  expect_fails({digits, What::kTooLong, 1, digits.substr(0, 88) + "..."}, true, kLongBlocks);
}

// Lines of the traces the programs are built for, one a call, from values
// in [-0.05, 1.05) as bench/gen_samples writes them.
using Random = std::mt19937_64;

double delay(Random& random) { return std::uniform_real_distribution<double>(-0.05, 1.05)(random); }

std::string printed(const char* format, double x) {
  char text[64];
  std::snprintf(text, sizeof text, format, x);
  return text;
}

// The shortest digits that read back to x (Python's repr).
std::string shortest(double x) {
  char text[32];
  char* const end = std::to_chars(text, text + sizeof text, x).ptr;
  return std::string(text, end) + "\n";
}

std::string integer(Random& random, long least, long most) {
  return std::to_string(std::uniform_int_distribution<long>(least, most)(random)) + "\n";
}

// Two columns, as bench/gen_samples writes them: a time, then a delay.
std::string columns(Random& random) {
  return printed("%.6f ", 1 + delay(random)) + printed("%.6f\n", 0.15 + delay(random) / 20);
}

// A format that changes from line to line, with separators that change too.
std::string mixed(Random& random) {
  const char* const formats[] = {"%.6f", "%.9f", "%g", "%.12g", "%.17g", "%e", "%.3e", "%.0f"};
  const char* const separators[] = {"\n", "\n", "\n", "\r\n", "\t", " ", "  \n"};
  const double scale = random() % 4 == 0 ? 1e4 : 1.0;
  return printed(formats[random() % 8], delay(random) * scale) + separators[random() % 7];
}

// Which path takes the numbers of each shape: a change that sends a shape to
// another path keeps every value, so only this notices it. docs/reader.md
// has the same table, with what each path assumes and what it bought.
TEST(Reader, EachShapeTakesItsPath) {
  using sample_input::detail::Path;
  struct Shape {
    const char* name;
    std::string (*line)(Random&);
    Path path;  // takes at least 95% of the numbers
    bool integers = false;
    int field = 0;
    char delimiter = '\0';
  };
  // clang-format off
  const std::vector<Shape> shapes{
      {"%.6f", [](Random& r) { return printed("%.6f\n", delay(r)); }, Path::kLayout},
      {"%.9f", [](Random& r) { return printed("%.9f\n", delay(r)); }, Path::kLayout},
      {"%e", [](Random& r) { return printed("%e\n", delay(r)); }, Path::kLayout},
      {"%.18e", [](Random& r) { return printed("%.18e\n", delay(r)); }, Path::kLayout},
      {"%.6f CRLF", [](Random& r) { return printed("%.6f\r\n", delay(r)); }, Path::kLayout},
      {"%g", [](Random& r) { return printed("%g\n", delay(r)); }, Path::kShortDecimals},
      {"%.6f %.6f", columns,
       Path::kShortDecimals},
      {"repr", [](Random& r) { return shortest(delay(r)); },
       Path::kLongDecimals},
      {"%.17g", [](Random& r) { return printed("%.17g\n", delay(r)); }, Path::kLongDecimals},
      {"mixed", mixed, Path::kPlain},
      {"-f 2 of %.6f %.6f", columns,
       Path::kLines, false, 2},
      {"-f 1 of %.6f %.6f", columns,
       Path::kLines, false, 1},
      {"packet sizes", [](Random& r) { return integer(r, 40, 1500); }, Path::kIntegers, true},
      {"7 digits", [](Random& r) { return integer(r, 1000000, 9999999); }, Path::kLayout, true},
      {"8 digits", [](Random& r) { return integer(r, 10000000, 99999999); }, Path::kLayout, true},
      {"10 digits", [](Random& r) { return integer(r, 1000000000, 2147483647); }, Path::kLayout, true},
      {"9 digits or sizes", [](Random& r) { return r() % 2 ? integer(r, 100000000, 999999999) : integer(r, 40, 1500); },
       Path::kIntegers, true},
      {"13 digits", [](Random& r) { return integer(r, 1000000000000, 9999999999999); }, Path::kLayout, true},
      {"11 to 13 digits", [](Random& r) { const long least[] = {10000000000, 100000000000, 1000000000000}; const long l = least[r() % 3]; return integer(r, l, 10 * l - 1); },
       Path::kLongIntegers, true},
      {"-f 2 of sizes", [](Random& r) { return "17 " + integer(r, 1000, 1500); }, Path::kLines, true, 2},
      {"-d , -f 2 of %.6f,%.6f", [](Random& r) { std::string l = columns(r); l[l.find(' ')] = ','; return l; },
       Path::kLines, false, 2, ','},
      {"-d , -f 2 of \"%.6f\",\"%.6f\"", [](Random& r) { std::string l = columns(r); return "\"" + l.replace(l.find(' '), 1, "\",\"").replace(l.size() - 1, 1, "\"\n"); },
       Path::kLines, false, 2, ','},
      {"-d '\\t' -f 3 of sizes", [](Random& r) { return "17\t\t" + integer(r, 1000, 1500); }, Path::kLines, true, 3, '\t'},
  };
  // clang-format on
  ScratchDir dir;
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    Random random(27);
    std::string text;
    for (int i = 0; i < 100000; ++i) text += shape.line(random);
    const std::string path = dir.write("samples", text);
    std::fill(std::begin(sample_input::detail::path_numbers),
              std::end(sample_input::detail::path_numbers), 0);
    const Read r = read_numbers(shape.integers, path, kDefaultBlock,
                                {shape.field, false, shape.delimiter}, Stepping::kHolding);
    ASSERT_EQ(r.error.what, What::kNone);
    const std::int64_t taken = sample_input::detail::path_numbers[static_cast<int>(shape.path)];
    EXPECT_GE(taken, r.count * 95 / 100) << "of " << r.count;
  }
}

TEST(Reader, ReportsFilesThatCannotBeRead) {
  ScratchDir dir;
  const std::string missing = dir.path("missing");
  Read r = read_reals(missing, kDefaultBlock);
  EXPECT_EQ(r.count, -1);
  EXPECT_EQ(r.error.what, What::kSystem);
  EXPECT_EQ(r.error.errnum, ENOENT);
  EXPECT_STREQ(r.error.path, missing.c_str());

  r = read_integers(dir.path(""), kDefaultBlock);
  EXPECT_EQ(r.error.what, What::kSystem);
  EXPECT_EQ(r.error.errnum, EISDIR);
}

TEST(Reader, StreamsFromAPipe) {
  ScratchDir dir;
  const std::string fifo = dir.path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    // Written in small pieces with pauses, so reads come back short.
    FILE* out = std::fopen(fifo.c_str(), "w");
    for (int i = 0; i < 200; ++i) {
      std::fprintf(out, "%d.5\n", i);
      if (i % 50 == 0) {
        std::fflush(out);
        usleep(1000);
      }
    }
    std::fclose(out);
  });
  const Read r = read_reals(fifo, kDefaultBlock);
  writer.join();
  ASSERT_EQ(r.count, 200);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(r.values[i], i + 0.5);
}

TEST(Reader, PrintsOneLineNamingFileLineAndToken) {
  ReadError error;
  error.what = What::kNotANumber;
  error.path = "data.txt";
  error.line = 12;
  std::strcpy(error.token, "1.5abc");
  char text[256] = {};
  FILE* out = fmemopen(text, sizeof text, "w");
  char name[] = "prog";
  char operand[] = "data.txt";
  char* argv[] = {name, operand, nullptr};
  program::start({"prog", "FILE", ""}, 2, argv);
  program::print_read_error(out, error);
  std::fclose(out);
  EXPECT_STREQ(text, "prog: data.txt:12: not a number: '1.5abc'\n");
}

}  // namespace
