// varnoth: the mean of real samples on stdout, and their empirical cumulative
// distribution at the points 0.000, 0.001, ..., 0.999 in a file.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "sample_input/sample_input.hpp"
#include "tools/program.hpp"

namespace {

constexpr const char* kName = "varnoth";
constexpr int kPoints = 1000;

}  // namespace

int main(int argc, char** argv) {
  program::start();
  if (argc != 3) return program::usage("varnoth SAMPLE_FILE DISTRIBUTION_FILE");
  const char* const sample_path = argv[1];
  const char* const distribution_path = argv[2];

  // from[k] counts the samples whose scaled ceiling ceil(1000 x) is k: they lie
  // at or below every point from k/1000 on. Bucketing once per sample and
  // summing the buckets at the end gives the same counts as raising every
  // counter at or above k for each sample, without 1000 steps per sample.
  // Samples at or below 0 (-inf too) count from the first point on; those
  // above the last point (+inf and NaN too) go to from[kPoints], on no line.
  std::array<std::uint64_t, kPoints + 1> from{};
  double sum = 0.0;
  sample_input::ReadError error;
  const std::int64_t n = sample_input::read_real_samples(
      sample_path,
      [&](double x) {
        sum += x;
        // Clamped into [0, kPoints] with min and max. The operand order sends
        // NaN to kPoints: std::max passes a NaN first operand on, and
        // std::min(1000, NaN) is 1000.
        const double scaled = std::min(1000.0, std::max(1000.0 * x, 0.0));
        int k = static_cast<int>(scaled);  // then the ceiling, in [0, kPoints]
        k += k < scaled;
        ++from[k];
      },
      error);
  if (n < 0) return program::read_failed(kName, error);

  std::printf("%2.9lf\n", sum / static_cast<double>(n));
  if (const int status = program::close_output(kName, stdout, "standard output")) return status;

  std::FILE* const distribution = std::fopen(distribution_path, "w");
  if (distribution == nullptr) return program::file_failed(kName, distribution_path, errno);
  std::uint64_t at_or_below = 0;
  for (int i = 0; i < kPoints; ++i) {
    at_or_below += from[i];
    std::fprintf(distribution, "%lf %lf\n", i / 1000.0,
                 static_cast<double>(at_or_below) / static_cast<double>(n));
  }
  return program::close_output(kName, distribution, distribution_path);
}
