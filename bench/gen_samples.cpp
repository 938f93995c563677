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
// Integers are
//   int      packet sizes in bytes, 40 to 1500
//   int7     seven digits        int8   eight digits
//   int10    ten digits, up to 2^31 - 1
//   int9     half of them nine digits, half packet sizes
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

int main(int argc, char** argv) {
  const std::string kinds[] = {"real",  "real9",   "e",   "g",    "repr", "g17",   "e18", "mixed",
                               "delay", "columns", "int", "int7", "int8", "int10", "int9"};
  const std::string kind = argc == 4 ? argv[1] : "";
  if (std::find(std::begin(kinds), std::end(kinds), kind) == std::end(kinds)) {
    std::fprintf(stderr, "usage: gen_samples KIND N SEED (KIND: see the source)\n");
    return 2;
  }
  const long long n = std::atoll(argv[2]);
  std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));
  std::uniform_real_distribution<double> value(-0.05, 1.05);
  std::uniform_real_distribution<double> delay(0.1, 0.2);
  std::uniform_int_distribution<int> bytes(40, 1500);
  std::uniform_int_distribution<long> seven(1000000, 9999999);
  std::uniform_int_distribution<long> eight(10000000, 99999999);
  std::uniform_int_distribution<long> nine(100000000, 999999999);
  std::uniform_int_distribution<long> ten(1000000000, 2147483647);
  const char* const formats[] = {"%.6f", "%.9f", "%g", "%.12g", "%.17g", "%e", "%.3e", "%.0f"};
  const char* const separators[] = {"\n", "\n", "\n", "\r\n", "\t", " ", "  \n"};
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  double time = 0;
  for (long long i = 0; i < n; ++i) {
    if (kind == "real") {
      std::printf("%.6f\n", value(random));
    } else if (kind == "real9") {
      std::printf("%.9f\n", value(random));
    } else if (kind == "e") {
      std::printf("%e\n", value(random));
    } else if (kind == "g") {
      std::printf("%g\n", value(random));
    } else if (kind == "repr") {
      char text[32];
      *std::to_chars(text, text + sizeof text - 1, value(random)).ptr = '\0';
      std::printf("%s\n", text);
    } else if (kind == "g17") {
      std::printf("%.17g\n", value(random));
    } else if (kind == "e18") {
      std::printf("%.18e\n", value(random));
    } else if (kind == "delay" || kind == "columns") {
      // The same delays in both: the one-column file is what cut -f 2 makes
      // of the other.
      time += 0.001 * (0.5 + value(random));
      const double d = delay(random);
      if (kind == "columns") std::printf("%.6f ", time);
      std::printf("%.6f\n", d);
    } else if (kind == "int") {
      std::printf("%d\n", bytes(random));
    } else if (kind == "int7") {
      std::printf("%ld\n", seven(random));
    } else if (kind == "int8") {
      std::printf("%ld\n", eight(random));
    } else if (kind == "int10") {
      std::printf("%ld\n", ten(random));
    } else if (kind == "int9") {
      std::printf("%ld\n", random() % 2 ? nine(random) : long{bytes(random)});
    } else {
      const double scale = random() % 4 == 0 ? 1e4 : 1.0;
      std::printf(formats[random() % 8], value(random) * scale);
      std::fputs(separators[random() % 7], stdout);
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
