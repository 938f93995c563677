// quellimar: the total, the average and Jain's fairness index
// (sum x)^2 / (n * sum x^2) of real samples.
#include <cstdint>
#include <cstdio>

#include "sample_input/sample_input.hpp"
#include "tools/program.hpp"

namespace {

constexpr const char* kName = "quellimar";

}  // namespace

int main(int argc, char** argv) {
  program::start();
  if (argc != 2) return program::usage("quellimar SAMPLE_FILE");

  // One addition at a time in file order, each square rounded before it is
  // added: the printed digits depend on that order.
  double sum = 0.0;
  double sum_of_squares = 0.0;
  sample_input::ReadError error;
  const std::int64_t n = sample_input::read_real_samples(
      argv[1],
      [&](double x) {
        sum += x;
        sum_of_squares += x * x;
      },
      error);
  if (n < 0) return program::read_failed(kName, error);

  const auto count = static_cast<double>(n);
  const double numerator = sum * sum;
  const double denominator = sum_of_squares * count;
  // All-zero samples give 0/0: printed as the C library prints NaN.
  std::printf("tot %2.9lf\n", sum);
  std::printf("avg %2.9lf\n", sum / count);
  std::printf("FI %2.9lf\n", numerator / denominator);
  return program::close_output(kName, stdout, "standard output");
}
