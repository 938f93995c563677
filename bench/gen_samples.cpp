// Writes N random samples, one a line, as simulation traces hold them:
//   gen_samples real N SEED   delays and rates in [-0.05, 1.05) with six decimals
//   gen_samples int N SEED    packet sizes in bytes, 40 to 1500
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "real") != 0 && std::strcmp(argv[1], "int") != 0)) {
    std::fprintf(stderr, "usage: gen_samples real|int N SEED\n");
    return 2;
  }
  const bool real = std::strcmp(argv[1], "real") == 0;
  const long long n = std::atoll(argv[2]);
  std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));
  std::uniform_real_distribution<double> value(-0.05, 1.05);
  std::uniform_int_distribution<int> bytes(40, 1500);
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  for (long long i = 0; i < n; ++i) {
    if (real) {
      std::printf("%.6f\n", value(random));
    } else {
      std::printf("%d\n", bytes(random));
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
