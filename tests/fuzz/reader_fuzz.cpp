// Differential fuzzing of the reader. Arbitrary bytes are read twice: by the
// reader, through a file and a block size the input chooses, and by a slow
// reference that applies strtod or strtoll to each token in turn. Both must
// yield the same values in the same order, or fail at the same line.
//
// The first input byte picks the block size (small ones make numbers straddle
// reads). If the second is below 128, the rest is the file. Otherwise it is a
// count: the file is the bytes up to the first NUL (a number and its white
// space, say), that many times over, then the bytes after the NUL. Long runs
// of one layout followed by anything else are what the reader's fast paths
// speculate on, and a fuzzer finds them far sooner this way. Built with
// NETFIGURES_FUZZ_INTEGERS for the integer reader, without it for the real one.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sample_input/sample_input.hpp"

namespace {

using sample_input::ReadError;
using What = ReadError::What;

struct Outcome {
  bool ok = true;
  std::vector<double> values;
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

// One token at a time, as the C library converts it. The text is a C string
// with possible NUL bytes inside; strtod stops at one as at any other
// character that cannot continue a number.
Outcome reference(const std::string& text, bool integers) {
  Outcome o;
  const char* s = text.c_str();
  const char* const end = s + text.size();
  if (text.compare(0, 3, "\xef\xbb\xbf") == 0) s += 3;  // a byte order mark first is skipped
  std::int64_t line = 1;
  for (;;) {
    for (; s < end && separator(*s); ++s) line += *s == '\n';
    if (s == end) break;
    char* stop = nullptr;
    double value = 0;
    errno = 0;
    if (integers) {
      const long long v = std::strtoll(s, &stop, 10);
      if (stop == s) return failed(line, What::kNotAnInteger);
      if (stop - s > static_cast<std::ptrdiff_t>(sample_input::kMaxNumberLength)) {
        return failed(line, What::kTooLong);
      }
      if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return failed(line, What::kOutOfRange);
      value = static_cast<double>(v);
    } else {
      value = std::strtod(s, &stop);
      if (stop == s) return failed(line, What::kNotANumber);
      if (stop - s > static_cast<std::ptrdiff_t>(sample_input::kMaxNumberLength)) {
        return failed(line, What::kTooLong);
      }
      // strtod takes "nan(chars)" whole; "%lf" stops at "nan" and the
      // parenthesis is no number. Every other difference ("1e", "0x", "0x1p")
      // leaves text that strtod cannot start a number with: the next round
      // fails on the same line, as the reader does.
      if (std::memchr(s, '(', static_cast<std::size_t>(stop - s)) != nullptr) {
        return failed(line, What::kNotANumber);
      }
    }
    o.values.push_back(value);
    s = stop;
  }
  if (o.values.empty()) return failed(0, What::kNoNumber);
  return o;
}

Outcome through_reader(const std::string& text, std::size_t block, bool integers) {
  const int fd = memfd_create("samples", 0);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::perror("memfd");
    std::abort();
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  Outcome o;
  ReadError error;
  const std::int64_t n =
      integers ? sample_input::read_integer_samples(
                     path.c_str(), [&](std::int32_t v) { o.values.push_back(v); }, error, {}, block)
               : sample_input::read_real_samples(
                     path.c_str(), [&](double v) { o.values.push_back(v); }, error, {}, block);
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

bool same(double a, double b) {
  if (std::isnan(a) || std::isnan(b))
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

[[noreturn]] void disagree(const char* what, const std::string& text, std::size_t block) {
  std::fprintf(stderr, "reader and reference disagree (%s), block %zu, text of %zu bytes\n", what,
               block, text.size());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#ifdef NETFIGURES_FUZZ_INTEGERS
  constexpr bool kIntegers = true;
#else
  constexpr bool kIntegers = false;
#endif
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
  const Outcome want = reference(text, kIntegers);
  const Outcome got = through_reader(text, block, kIntegers);
  if (want.ok != got.ok) disagree(want.ok ? "the reader failed" : "the reader read", text, block);
  if (!want.ok) {
    if (want.line != got.line) disagree("line", text, block);
    // For reals the reference's token can end before the reader's ("1e" is
    // "1" to strtod), so only integers must name the same fault.
    if (kIntegers && want.what != got.what) disagree("fault", text, block);
    return 0;
  }
  if (want.values.size() != got.values.size()) disagree("count", text, block);
  for (std::size_t i = 0; i < want.values.size(); ++i) {
    if (!same(want.values[i], got.values[i])) disagree("value", text, block);
  }
  return 0;
}
