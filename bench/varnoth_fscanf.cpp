// The plain build of varnoth that the benchmark measures against: fscanf per
// sample and a pass over all 1000 counters per sample.
#include <cmath>
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::uint32_t counter[1000] = {};
  std::int64_t n = 0;
  double sum = 0.0;
  std::FILE* in = std::fopen(argv[1], "r");
  if (in == nullptr) return 1;
  while (!std::feof(in)) {
    double x = 0.0;
    if (std::fscanf(in, "%lf\n", &x) != 1) return 1;
    const int k = static_cast<int>(std::ceil(1000.0 * x));
    for (int i = 0; i < 1000; ++i) {
      if (i >= k) ++counter[i];
    }
    sum += x;
    ++n;
  }
  std::fclose(in);
  std::printf("%2.9lf\n", sum / static_cast<double>(n));
  std::FILE* out = std::fopen(argv[2], "w");
  if (out == nullptr) return 1;
  for (int i = 0; i < 1000; ++i) {
    std::fprintf(out, "%lf %lf\n", i / 1000.0,
                 static_cast<double>(counter[i]) / static_cast<double>(n));
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
