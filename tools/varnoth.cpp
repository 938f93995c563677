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
  const double scaled = std::min(1000.0, std::max(1000.0 * x, 0.0));
  const int k = static_cast<int>(scaled);  // then the ceiling, in [0, kPoints]
  return k + (k < scaled);
}

// from[k] counts the samples whose first line is k.
using Counts = std::array<std::uint64_t, kPoints + 1>;

// Counts two samples at once: each step of first_line done for both in one
// instruction, which halves the work that counting adds to reading.
NETFIGURES_INLINE void count_two(double a, double b, Counts& from) {
#if NETFIGURES_SSE2
  // minpd first, which gives its second operand for a NaN: NaN goes to
  // 1000 as in first_line, and maxpd then sees no NaN, so neither needs a
  // copy of its constant. Signed zeros come out as zeros, whose line is 0
  // either way. The ceiling subtracts the all-ones mask of the samples above
  // their truncation.
  const __m128d points = _mm_set1_pd(1000.0);
  const __m128d scaled =
      _mm_max_pd(_mm_min_pd(_mm_mul_pd(_mm_set_pd(b, a), points), points), _mm_setzero_pd());
  const __m128i truncated = _mm_cvttpd_epi32(scaled);
  const __m128d above = _mm_cmplt_pd(_mm_cvtepi32_pd(truncated), scaled);
  const __m128i lines = _mm_sub_epi32(truncated, _mm_shuffle_epi32(_mm_castpd_si128(above), 0x08));
  const auto both = static_cast<std::uint64_t>(_mm_cvtsi128_si64(lines));
  ++from[static_cast<std::uint32_t>(both)];
  ++from[both >> 32];
#else
  ++from[first_line(a)];
  ++from[first_line(b)];
#endif
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
  // above k for each sample, without 1000 steps per sample. The samples are
  // bucketed two at a time, the odd one held until the next comes.
  Counts from{};
  struct Step {
    Counts* from;
    double sum = 0.0;
    double held = 0.0;
    // 1 while a sample is held. A whole word, not a bool: a struct with
    // padding is copied as memory, and the compiler then kept this one in
    // memory through the reading loop instead of in registers.
    std::uint64_t holding = 0;
    NETFIGURES_INLINE void operator()(double x) {
      sum += x;
      // cppcheck-suppress knownConditionTrueFalse ; true at every second call
      if (holding) count_two(held, x, *from);
      held = x;
      holding ^= 1;
    }
  } step{&from};
  const std::int64_t n = program::read_reals(samples, line.selection, step);
  if (step.holding) ++from[first_line(step.held)];

  std::printf("%2.9lf\n", step.sum / static_cast<double>(n));
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
