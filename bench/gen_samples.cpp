// Writes N random samples in one of the formats simulation traces hold them in:
//   gen_samples KIND N SEED
// Reals are delays and rates in [-0.05, 1.05), written as
//   real     %.6f                0.734215
//   real9    %.9f                0.734215021
//   e        %e                  7.342150e-01
//   g        %g (C++ streams)    0.734215
//   repr     shortest round trip (Python's repr)   0.7342150212034521
//   g17      %.17g               0.73421502120345214
//   e18      %.18e (numpy)       7.342150212034521423e-01
//   mixed    a format that changes from line to line: %g, exponents, 12 and
//            17 significant digits, negatives, integers; CRLF, tabs and blanks
//   delay    one-way delays in [0.1, 0.2) with six decimals
//   columns  the time a delay was seen, rising, then the delay: %.6f %.6f
//   csv      the same as a CSV under the header time,delay: %.6f,%.6f
//   csvq     the same with every field quoted, as pandas and R write
//            text: "%.6f","%.6f"
// Integers are
//   int      packet sizes in bytes, 40 to 1500
//   int7     seven digits        int8   eight digits
//   int10    ten digits, up to 2^31 - 1
//   int9     half of them nine digits, half packet sizes
//   int13    byte counters of 11 to 13 digits, the count of digits picked
//            anew for each (10 million of them sum past 64 bits: ostrevan,
//            which sums nothing, reads them)
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

// The kinds written by one printf format from one distribution.
struct Simple {
  const char* kind;
  const char* format;
};

constexpr Simple kReals[] = {{"real", "%.6f\n"}, {"real9", "%.9f\n"}, {"e", "%e\n"},
                             {"g", "%g\n"},      {"g17", "%.17g\n"},  {"e18", "%.18e\n"}};
// Integers of a number of digits, between these bounds.
struct Integers {
  const char* kind;
  long least;
  long most;
};
constexpr Integers kIntegers[] = {{"int", 40, 1500},
                                  {"int7", 1000000, 9999999},
                                  {"int8", 10000000, 99999999},
                                  {"int10", 1000000000, 2147483647}};

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc == 4 ? argv[1] : "";
  const Simple* const real = std::find_if(std::begin(kReals), std::end(kReals),
                                          [&](const Simple& k) { return kind == k.kind; });
  const Integers* const integers = std::find_if(std::begin(kIntegers), std::end(kIntegers),
                                                [&](const Integers& k) { return kind == k.kind; });
  const std::string others[] = {"repr", "mixed", "delay", "columns",
                                "csv",  "csvq",  "int9",  "int13"};
  if (real == std::end(kReals) && integers == std::end(kIntegers) &&
      std::find(std::begin(others), std::end(others), kind) == std::end(others)) {
    std::fprintf(stderr, "usage: gen_samples KIND N SEED (KIND: see the source)\n");
    return 2;
  }
  const long long n = std::atoll(argv[2]);
  std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));
  std::uniform_real_distribution<double> value(-0.05, 1.05);
  std::uniform_real_distribution<double> delay(0.1, 0.2);
  std::uniform_int_distribution<long> count(integers == std::end(kIntegers) ? 0 : integers->least,
                                            integers == std::end(kIntegers) ? 1 : integers->most);
  std::uniform_int_distribution<long> bytes(40, 1500);
  std::uniform_int_distribution<long> nine(100000000, 999999999);
  const char* const formats[] = {"%.6f", "%.9f", "%g", "%.12g", "%.17g", "%e", "%.3e", "%.0f"};
  const char* const separators[] = {"\n", "\n", "\n", "\r\n", "\t", " ", "  \n"};
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  double time = 0;
  if (kind == "csv") std::fputs("time,delay\n", stdout);
  if (kind == "csvq") std::fputs("\"time\",\"delay\"\n", stdout);
  for (long long i = 0; i < n; ++i) {
    if (real != std::end(kReals)) {
      std::printf(real->format, value(random));
    } else if (integers != std::end(kIntegers)) {
      std::printf("%ld\n", count(random));
    } else if (kind == "repr") {
      char text[32];
      *std::to_chars(text, text + sizeof text - 1, value(random)).ptr = '\0';
      std::printf("%s\n", text);
    } else if (kind == "delay" || kind == "columns" || kind == "csv" || kind == "csvq") {
      // The same delays in all: the one-column file is what cut -f 2 makes
      // of the others.
      time += 0.001 * (0.5 + value(random));
      const double d = delay(random);
      if (kind == "delay") {
        std::printf("%.6f\n", d);
      } else if (kind == "columns") {
        std::printf("%.6f %.6f\n", time, d);
      } else if (kind == "csv") {
        std::printf("%.6f,%.6f\n", time, d);
      } else {
        std::printf("\"%.6f\",\"%.6f\"\n", time, d);
      }
    } else if (kind == "int9") {
      std::printf("%ld\n", random() % 2 ? nine(random) : bytes(random));
    } else if (kind == "int13") {
      long least = 10000000000;  // 11 digits, then 12 or 13
      for (auto more = random() % 3; more > 0; --more) least *= 10;
      std::printf("%ld\n", std::uniform_int_distribution<long>(least, 10 * least - 1)(random));
    } else {
      const double scale = random() % 4 == 0 ? 1e4 : 1.0;
      std::printf(formats[random() % 8], value(random) * scale);
      std::fputs(separators[random() % 7], stdout);
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
