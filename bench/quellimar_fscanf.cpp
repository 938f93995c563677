// The plain build of quellimar that the benchmark measures against.
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* in = std::fopen(argv[1], "r");
  if (in == nullptr) return 1;
  std::int64_t n = 0;
  double sum = 0.0;
  double sum_of_squares = 0.0;
  while (!std::feof(in)) {
    double x = 0.0;
    if (std::fscanf(in, "%lf\n", &x) != 1) return 1;
    sum += x;
    sum_of_squares += x * x;
    ++n;
  }
  std::fclose(in);
  const auto count = static_cast<double>(n);
  std::printf("tot %2.9lf\navg %2.9lf\nFI %2.9lf\n", sum, sum / count,
              (sum * sum) / (sum_of_squares * count));
  return 0;
}
