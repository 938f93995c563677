// Writes N random samples, as simulation traces hold them:
//   gen_samples real N SEED    delays and rates in [-0.05, 1.05) with six decimals
//   gen_samples real9 N SEED   the same with nine decimals
//   gen_samples int N SEED     packet sizes in bytes, 40 to 1500
//   gen_samples mixed N SEED   a format that changes from line to line: %g,
//                              exponents, 12 and 17 significant digits,
//                              negatives, integers; CRLF, tabs and blanks
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

int main(int argc, char** argv) {
  const char* const kinds[] = {"real", "real9", "int", "mixed"};
  int kind = -1;
  for (int k = 0; k < 4 && argc == 4; ++k) {
    if (std::strcmp(argv[1], kinds[k]) == 0) kind = k;
  }
  if (kind < 0) {
    std::fprintf(stderr, "usage: gen_samples real|real9|int|mixed N SEED\n");
    return 2;
  }
  const long long n = std::atoll(argv[2]);
  std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));
  std::uniform_real_distribution<double> value(-0.05, 1.05);
  std::uniform_int_distribution<int> bytes(40, 1500);
  const char* const formats[] = {"%.6f", "%.9f", "%g", "%.12g", "%.17g", "%e", "%.3e", "%.0f"};
  const char* const separators[] = {"\n", "\n", "\n", "\r\n", "\t", " ", "  \n"};
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  for (long long i = 0; i < n; ++i) {
    switch (kind) {
      case 0:
        std::printf("%.6f\n", value(random));
        break;
      case 1:
        std::printf("%.9f\n", value(random));
        break;
      case 2:
        std::printf("%d\n", bytes(random));
        break;
      default: {
        const double scale = random() % 4 == 0 ? 1e4 : 1.0;
        std::printf(formats[random() % 8], value(random) * scale);
        std::fputs(separators[random() % 7], stdout);
      }
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
