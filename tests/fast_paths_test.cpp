// The reader's byte layer and fast paths, both implementations of each,
// against the one-byte definitions and the pure scanners; and the buffer's
// padding, with nothing readable past it.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "helpers.hpp"
#include "sample_input/sample_input.hpp"

namespace {

namespace bytes = sample_input::bytes;
namespace scan = sample_input::scan;
using sample_input::kPadding;

struct Wide {
  const char* name;
  unsigned (*digit_mask16)(const char*);
  unsigned (*point_mask16)(const char*);
  unsigned (*equal_mask16)(const char*, const char*);
  unsigned (*space_or_nul_mask16)(const char*);
  unsigned (*stop_mask16)(const char*, char, char);
  bytes::Classes (*classify64)(const char*);
};

const std::vector<Wide> kWide{
    {"portable", bytes::portable::digit_mask16, bytes::portable::point_mask16,
     bytes::portable::equal_mask16, bytes::portable::space_or_nul_mask16,
     bytes::portable::stop_mask16, bytes::portable::classify64},
#ifdef __SSE2__
    {"sse2", bytes::sse2::digit_mask16, bytes::sse2::point_mask16, bytes::sse2::equal_mask16,
     bytes::sse2::space_or_nul_mask16, bytes::sse2::stop_mask16, bytes::sse2::classify64},
#endif
};

// Bit k set where test(s[k]), for the n bytes at s.
template <class Test>
std::uint64_t mask_of(const unsigned char* s, int n, Test test) {
  std::uint64_t mask = 0;
  for (int k = 0; k < n; ++k) mask |= std::uint64_t{test(s[k]) ? 1u : 0u} << k;
  return mask;
}

bool digit(unsigned char c) { return std::isdigit(c) != 0; }  // the "C" locale's
bool space(unsigned char c) { return std::isspace(c) != 0; }

// Every byte value, alone among bytes of every other value, at the edges of
// eight-byte words and 16-byte loads: every classifier must agree with the C
// library's one-byte definitions. A wrong constant in a mask or a borrow
// between bytes shows here.
TEST(Bytes, EveryClassifierAgreesWithTheOneByteDefinitions) {
  for (int b = 0; b < 256; ++b) {
    const auto c = static_cast<unsigned char>(b);
    ASSERT_EQ(bytes::is_digit(c), digit(c)) << b;
    ASSERT_EQ(bytes::is_space(c), space(c)) << b;
    ASSERT_EQ(bytes::is_space_by_table(c), space(c)) << b;
    ASSERT_EQ(bytes::is_minus(static_cast<char>(c)), c == '-' ? 1u : 0u) << b;
    ASSERT_EQ(bytes::is_sign(static_cast<char>(c)), c == '-' || c == '+' ? 1u : 0u) << b;
  }
  alignas(16) unsigned char window[64 + 16];
  for (int b = 0; b < 256; ++b) {
    for (int filler = 0; filler < 256; ++filler) {
      for (int at : {0, 1, 7, 8, 15, 16, 40, 63}) {
        std::memset(window, filler, sizeof window);
        window[at] = static_cast<unsigned char>(b);
        const char* const text = reinterpret_cast<const char*>(window);
        SCOPED_TRACE("byte " + std::to_string(b) + " at " + std::to_string(at) + " among " +
                     std::to_string(filler));
        for (int word = 0; word < 64; word += 8) {
          const std::uint64_t w = bytes::load8(text + word);
          const unsigned char* const s = window + word;
          ASSERT_EQ(bytes::high_bits(bytes::digit_bytes(w)), mask_of(s, 8, digit));
          ASSERT_EQ(bytes::high_bits(bytes::space_bytes(w)), mask_of(s, 8, space));
          ASSERT_EQ(bytes::high_bits(bytes::bytes_equal(w, '-')),
                    mask_of(s, 8, [](unsigned char x) { return x == '-'; }));
          const auto run = static_cast<int>(__builtin_ctzll(~mask_of(s, 8, digit) | 0x100));
          ASSERT_EQ(bytes::digit_run_length(w - bytes::kZeros), run);
        }
        for (const Wide& wide : kWide) {
          SCOPED_TRACE(wide.name);
          const bytes::Classes classes = wide.classify64(text);
          ASSERT_EQ(classes.digits, mask_of(window, 64, digit));
          ASSERT_EQ(classes.spaces, mask_of(window, 64, space));
          ASSERT_EQ(classes.newlines,
                    mask_of(window, 64, [](unsigned char x) { return x == '\n'; }));
          ASSERT_EQ(classes.minuses, mask_of(window, 64, [](unsigned char x) { return x == '-'; }));
          ASSERT_EQ(classes.points, mask_of(window, 64, [](unsigned char x) { return x == '.'; }));
          for (int start : {0, 48}) {
            ASSERT_EQ(wide.digit_mask16(text + start), mask_of(window + start, 16, digit));
            ASSERT_EQ(wide.point_mask16(text + start),
                      mask_of(window + start, 16, [](unsigned char x) { return x == '.'; }));
            ASSERT_EQ(
                wide.space_or_nul_mask16(text + start),
                mask_of(window + start, 16, [](unsigned char x) { return space(x) || x == 0; }));
            for (const unsigned char stop : {',', '\t', '"'}) {
              ASSERT_EQ(wide.stop_mask16(text + start, static_cast<char>(stop), '"'),
                        mask_of(window + start, 16, [&](unsigned char x) {
                          return x == stop || x == '"' || x == '\n' || x == 0;
                        }));
            }
            const unsigned equal = wide.equal_mask16(text + start, text + 16);
            std::uint64_t want = 0;
            for (int k = 0; k < 16; ++k)
              want |= std::uint64_t{window[start + k] == window[16 + k]} << k;
            ASSERT_EQ(equal, want);
          }
        }
      }
    }
  }
}

// Where an exponent's sign stands in a layout learnt from text and lets any
// byte pass, or -1: not as the last byte of the first 16.
int exponent_sign_at(const std::string& text) {
  const std::size_t mark = text.find_first_of("eE");
  return mark != std::string::npos && mark + 1 != 15 &&
                 (text[mark + 1] == '+' || text[mark + 1] == '-')
             ? static_cast<int>(mark + 1)
             : -1;
}

// What a layout must accept: digits where it has digits, any byte where an
// exponent's sign stands (the value checks it), its own bytes elsewhere,
// anything past its length.
bool fits(const std::string& layout, int length, const char* text) {
  for (int i = 0; i < length; ++i) {
    const auto want = static_cast<unsigned char>(layout[i]);
    const auto got = static_cast<unsigned char>(text[i]);
    if (i != exponent_sign_at(layout) && (digit(want) ? !digit(got) : want != got)) return false;
  }
  return true;
}

// The layout check and its conversion, against the definition above and the
// pure scanner, on windows that keep the layout or break it by one byte.
template <class Layout, class T>
void check_layouts(const char* name, std::mt19937_64& random) {
  SCOPED_TRACE(name);
  const std::vector<std::string> learnt =
      std::is_integral_v<T> ? std::vector<std::string>{"7\n",
                                                       "1448\n",
                                                       "-1448\r\n",
                                                       "123456789 ",
                                                       "00\n\n",
                                                       "-1234567890123\n",
                                                       "1234567890123456\r\n"}
                            : std::vector<std::string>{"0.734215\n",
                                                       "-12.5\r\n",
                                                       "3 ",
                                                       "12345.12345678\n",
                                                       "0.000001\t\t",
                                                       "1.390101e-02\n",
                                                       "1.532699004902953431e-02\n",
                                                       "1.234567890123e+05\n",
                                                       "1.2345678901234e-05\n",
                                                       "-9.8E+100 ",
                                                       "7e5\n",
                                                       "1234567890123.5 ",
                                                       "1.5\n\n  \t\n"};
  const std::string bytes_seen("0123456789.-+ \t\r\n\v\fe\0x", 22);  // a NUL among them
  for (const std::string& text : learnt) {
    const std::string padded = text + std::string(48, '\0');
    T value{};
    const char* const end = scan::scan_plain(padded.c_str(), value);
    ASSERT_NE(end, nullptr) << text;
    Layout layout;
    ASSERT_TRUE(layout.learn(padded.c_str(), end)) << text;
    const std::string shape = padded.substr(padded[0] == '-');
    const auto number_length = static_cast<int>(end - padded.c_str()) - (padded[0] == '-');
    for (int round = 0; round < 20000; ++round) {
      std::string window = shape;
      for (char& c : window) {
        if (digit(static_cast<unsigned char>(c))) c = static_cast<char>('0' + random() % 10);
      }
      if (random() % 2) window[random() % 32] = bytes_seen[random() % bytes_seen.size()];
      SCOPED_TRACE("learnt '" + text + "', window '" + window.substr(0, 32) + "'");
      const bool matches = layout.matches(window.c_str());
      ASSERT_EQ(matches, fits(shape, layout.length(), window.c_str()));
      if (!matches) continue;
      const int sign = exponent_sign_at(shape);
      const bool converts = sign < 0 || window[sign] == '+' || window[sign] == '-';
      for (bool negative : {false, true}) {
        const std::string signed_window = (negative ? "-" : "") + window;
        T got{};
        ASSERT_EQ(layout.value(window.c_str(), negative, got), converts);
        if (!converts) continue;
        const scan::Token<T> want = scan::scan_next(signed_window.c_str(), T{});
        ASSERT_EQ(want.status, scan::Status::kValue);
        ASSERT_EQ(got, want.value);
        ASSERT_EQ(want.end, signed_window.c_str() + negative + number_length);
      }
    }
  }
}

TEST(Layout, ChecksAndConvertsAsTheScannersDo) {
  std::mt19937_64 random(15);
  check_layouts<sample_input::fast::portable::Layout, double>("portable, reals", random);
  check_layouts<sample_input::fast::portable::Layout, std::int64_t>("portable, integers", random);
#ifdef __SSE2__
  check_layouts<sample_input::fast::sse2::Layout, double>("sse2, reals", random);
  check_layouts<sample_input::fast::sse2::Layout, std::int64_t>("sse2, integers", random);
#endif
}

// Memory that ends where a page that cannot be read begins.
class Guarded {
 public:
  explicit Guarded(std::size_t size) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    length_ = (size + page - 1) / page * page + page;
    void* map = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) std::abort();
    base_ = static_cast<char*>(map);
    if (mprotect(base_ + length_ - page, page, PROT_NONE) != 0) std::abort();
    end_ = base_ + length_ - page;
  }
  ~Guarded() { munmap(base_, length_); }
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;
  // The last `size` readable bytes.
  char* last(std::size_t size) const { return end_ - size; }

 private:
  char* base_;
  char* end_;
  std::size_t length_;
};

const std::vector<std::string> kGuardedTexts{
    "0.5",
    "-0.734215",
    "12345678901234567890",
    "1.5e-300",
    "1e",
    "0x1.8p3",
    "infinity",
    "nan",
    "-",
    ".",
    "2147483647",
    "-2147483649",
    "9223372036854775807",
    "-9223372036854775809",
    "1448.0",
    "1.448000000000000000e+03",
    "0000000000000000042",
    "1234567.12345678",
    "7",
    "0.09726430841378601",
    "-.09726430841378601",
    "0.0024245485773125228",
    "1.532699004902953431e-02",
    "1.234567890123e",
    "1234567890123456.5",
};

// The scanner of the long-decimal loop's AVX2 copy, compiled as that loop is.
#if NETFIGURES_SSE2
__attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt"))) const char* scan_long_decimal_avx2(
    const char* p, double& value) {
  return scan::scan_long_decimal_avx2(p, value);
}
#endif

// Text that ends at the sentinel, with only the padding readable after it:
// every scanner, at every position of the text. A load past the padding
// ends the test with a fault.
TEST(Padding, IsAllTheScannersReadPastTheText) {
  Guarded memory(4096);
  const std::string learnt = "0.5 " + std::string(32, '\0');
  sample_input::fast::Layout layout;
  ASSERT_TRUE(layout.learn(learnt.c_str(), learnt.c_str() + 3));
  for (const std::string& text : kGuardedTexts) {
    char* const start = memory.last(text.size() + 1 + kPadding);
    std::memcpy(start, text.c_str(), text.size());
    std::memset(start + text.size(), 0, 1 + kPadding);
    for (std::size_t at = 0; at <= text.size(); ++at) {
      SCOPED_TRACE(text + " from " + std::to_string(at));
      const char* const p = start + at;
      double real = 0;
      std::int64_t integer = 0;
      scan::scan_real(p);
      scan::scan_integer(p);
      scan::scan_plain_decimal(p, real);
      scan::scan_long_decimal(p, real);
#if NETFIGURES_SSE2
      if (sample_input::kAvx2) scan_long_decimal_avx2(p, real);
#endif
      scan::scan_plain_integer(p, integer);
      if (layout.matches(p)) layout.value(p, false, real);
    }
  }
}

// The reading loop on a buffer that ends where the page that cannot be read
// begins: every full block ends there, so every pass over a block edge
// runs its fast paths with only the padding behind the data.
TEST(Padding, IsAllTheReadingLoopReadsPastTheData) {
  Guarded memory(sample_input::detail::kBufferSize);
  char* const buffer = memory.last(sample_input::detail::kBufferSize);
  testing_helpers::ScratchDir dir;
  std::string reals;
  std::string integers;
  std::string counters;
  std::string long_reals;
  std::string g_reals;
  for (int i = 0; i < 300; ++i) {
    reals += "0.734215\n-0.5\n1448\n12345678\n1e-5 ";
    g_reals += "0.446336\n0.335988\n0.952494\n0.467827\n0.576832\n0.0318675\n-0.83356\n1.5\n";
    integers += "1448\n-7\n123456789\n2147483647\n1234567890123\n-9223372036854775808 ";
    counters += "12345678901\n123456789012\n-1234567890123\n";
    long_reals += i % 100 < 50 ? "1.234567890123e+05\n" : "0.09726430841378601\n";
  }
  std::string columns;
  std::string csv;
  for (int i = 0; i < 600; ++i) columns += "0.000597 0.113641\n";
  for (int i = 0; i < 300; ++i) csv += "0.000597,0.113641,7\n\"0.000597\",\"x,\"\"\",0.113641\n";
  struct File {
    std::string text;
    bool integers;
    std::int64_t count;     // -1: fails at its end
    int field = 0;          // in field mode, the field read of each line
    char delimiter = '\0';  // and what splits its fields
  };
  // clang-format off
  const std::vector<File> files{
      {reals, false, 1500},
      {reals + "0.25", false, 1501},
      {reals + "0.25x", false, -1},
      {long_reals, false, 300},
      {long_reals + "1.234567890123e", false, -1},
      {g_reals, false, 2400},
      {g_reals + "0.25x", false, -1},
      {integers, true, 1800},
      {integers + "-12", true, 1801},
      {integers + "1448.0", true, 1801},
      {integers + "9223372036854775808", true, -1},
      {counters, true, 900},
      {counters + "1234567890123", true, 901},
      {counters + "1234567890123x", true, -1},
      {columns, false, 600, 1},
      {columns + "0.25 1", false, 601, 1},
      {columns + "0.000597 0.1136", false, 601, 1},
      {columns + "0.25x 1", false, -1, 1},
      {csv, false, 600, 1, ','},
      {csv, false, 600, 3, ','},
      {csv + "0.25,\"1", false, -1, 1, ','},
      {csv + "0.25,\"x\"", false, 601, 1, ','},
      {csv + "\"0.25\"", false, 601, 1, ','},
  };
  // clang-format on
  for (const File& file : files) {
    const std::string path = dir.write("samples", file.text);
    for (std::size_t block : {1, 7, 64, 100, 4096}) {
      SCOPED_TRACE("block " + std::to_string(block) + ", " +
                   file.text.substr(file.text.size() - 12));
      sample_input::ReadError error;
      sample_input::detail::Source source(path.c_str(), block, error, buffer);
      ASSERT_TRUE(source.ok());
      if (file.delimiter != '\0') {
        ASSERT_TRUE(source.start({file.field, false, file.delimiter}));
      }
      struct {
        void operator()(double) {}
      } step;
      EXPECT_EQ(file.field > 0  ? source.each_field<double>(step, file.field)
                : file.integers ? source.each<std::int64_t>(step)
                                : source.each<double>(step),
                file.count);
    }
  }
}

}  // namespace
