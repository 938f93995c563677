// The plain build of tessarn that the benchmark measures against: the same
// exact total, with fscanf per number.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const double interval = std::strtod(argv[2], nullptr);
  std::FILE* in = std::fopen(argv[1], "r");
  if (in == nullptr) return 1;
  std::int64_t total = 0;
  while (!std::feof(in)) {
    long long v = 0;
    if (std::fscanf(in, "%lld\n", &v) != 1) return 1;
    total += v;
  }
  std::fclose(in);
  std::printf("%2.9lf\n", static_cast<double>(total * 8) / interval);
  return 0;
}
