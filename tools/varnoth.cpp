// varnoth: the mean of real samples on stdout, and their empirical cumulative
// distribution at the points 0.000, 0.001, ..., 0.999 in a file.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "sample_input/config.hpp"
#include "tools/output_file.hpp"
#include "tools/program.hpp"

#if NETFIGURES_SSE2  // the reader's switch: the scalar build tests the portable clamp
#include <emmintrin.h>
#endif

namespace {

constexpr program::About kAbout{
    "varnoth", "SAMPLE_FILE DISTRIBUTION_FILE",
    "Prints the mean of the real numbers of SAMPLE_FILE with nine decimals, and\n"
    "writes their empirical cumulative distribution to DISTRIBUTION_FILE: 1000\n"
    "lines 'p F(p)', F(p) the fraction of samples at or below p = 0.000 ... 0.999.\n"
    "DISTRIBUTION_FILE - is standard output, after the mean. An existing file is\n"
    "replaced only by a complete distribution; the sample file itself is refused."};
constexpr int kPoints = 1000;

// The first line a sample counts on: ceil(1000 x), clamped into [0, kPoints].
// Samples at or below 0 (-inf too) count from the first point on; those above
// the last point (+inf and NaN too) get kPoints, on no line.
int first_line(double x) {
  // Clamped with max, then min, in this operand order: max passes a NaN on,
  // and min then gives 1000.
#if NETFIGURES_SSE2
  // maxsd and minsd do just what the portable lines below do, NaN and signed
  // zeros included, but without the branches the compiler makes of those,
  // mispredicted on traces where many samples are clamped.
  const double scaled = _mm_cvtsd_f64(
      _mm_min_sd(_mm_max_sd(_mm_setzero_pd(), _mm_set_sd(1000.0 * x)), _mm_set_sd(1000.0)));
#else
  const double scaled = std::min(1000.0, std::max(1000.0 * x, 0.0));
#endif
  const int k = static_cast<int>(scaled);  // then the ceiling, in [0, kPoints]
  return k + (k < scaled);
}

}  // namespace

int main(int argc, char** argv) {
  const program::CommandLine line = program::start(kAbout, argc, argv);
  const char* const samples = line.operands[0];
  // Opened before the samples are read: a path that cannot be written fails
  // the run at once, not after a long read.
  output_file::OutputFile distribution = output_file::open(line.operands[1], samples);

  // from[k] counts the samples whose first line is k: they lie at or below
  // every point from k/1000 on. Bucketing once per sample and summing the
  // buckets at the end gives the same counts as raising every counter at or
  // above k for each sample, without 1000 steps per sample.
  std::array<std::uint64_t, kPoints + 1> from{};
  double sum = 0.0;
  const std::int64_t n = program::read_reals(samples, line.selection, [&](double x) {
    sum += x;
    ++from[first_line(x)];
  });

  std::printf("%2.9lf\n", sum / static_cast<double>(n));
  program::flush(stdout, "-");
  std::uint64_t at_or_below = 0;
  for (int i = 0; i < kPoints; ++i) {
    at_or_below += from[i];
    std::fprintf(distribution.stream, "%lf %lf\n", i / 1000.0,
                 static_cast<double>(at_or_below) / static_cast<double>(n));
  }
  output_file::commit(distribution);
  // Most samples on no line usually means a unit off by 1000 (milliseconds
  // where the points are seconds): the figures stand, the user is told.
  const std::uint64_t on_no_line = from.back();
  if (2 * on_no_line > static_cast<std::uint64_t>(n)) {
    program::warn(std::to_string(on_no_line) + " of " + std::to_string(n) +
                  " samples lie above 0.999, on no line of the distribution");
  }
  return program::finish();
}
