// quellimar: the total, the average and Jain's fairness index
// (sum x)^2 / (n * sum x^2) of real samples.
#include <cstdint>
#include <cstdio>

#include "tools/program.hpp"

namespace {

constexpr program::About kAbout{
    "quellimar", "SAMPLE_FILE",
    "Prints the total, the average and Jain's fairness index (sum x)^2 / (n * sum x^2)\n"
    "of the real numbers of SAMPLE_FILE, as three lines: tot, avg and FI, each with\n"
    "nine decimals."};

}  // namespace

int main(int argc, char** argv) {
  const program::CommandLine line = program::start(kAbout, argc, argv);
  const char* const samples = line.operands[0];

  // One addition at a time in file order, each square rounded before it is
  // added: the printed digits depend on that order.
  struct Sums {
    double of_samples = 0.0;
    double of_squares = 0.0;
    NETFIGURES_INLINE void operator()(double x) {
      of_samples += x;
      of_squares += x * x;
    }
  } sums;
  const std::int64_t n = program::read_reals(samples, line.selection, sums);

  const double sum = sums.of_samples;
  const auto count = static_cast<double>(n);
  const double numerator = sum * sum;
  const double denominator = sums.of_squares * count;
  // All-zero samples give 0/0: printed as the C library prints NaN.
  std::printf("tot %2.9lf\n", sum);
  std::printf("avg %2.9lf\n", sum / count);
  std::printf("FI %2.9lf\n", numerator / denominator);
  return program::finish();
}
