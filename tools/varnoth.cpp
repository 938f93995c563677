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
#include <immintrin.h>
// (Not for clang, whose C++ does not read the header's _Bool.)
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#include <sys/platform/x86.h>
#endif
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

// Samples are counted this many at a time, in a loop of their own: the reading
// loop only stores each one, and keeps its registers for reading. (Counted as
// they came, two at a time, they made the reading loop spill; a trace in %e
// took a fifth longer than now.)
constexpr int kBatch = 64;

// Counts the two samples at p: each step of first_line done for both in one
// instruction.
NETFIGURES_INLINE void count_two(const double* p, Counts& from) {
#if NETFIGURES_SSE2
  // minpd first, which gives its second operand for a NaN: NaN goes to 1000
  // as in first_line, and maxpd then sees no NaN. Signed zeros come out as
  // zeros, whose line is 0 either way. The ceiling subtracts the all-ones
  // mask of the samples above their truncation; a line fits 16 bits.
  const __m128d points = _mm_set1_pd(1000.0);
  const __m128d scaled =
      _mm_max_pd(_mm_min_pd(_mm_mul_pd(_mm_loadu_pd(p), points), points), _mm_setzero_pd());
  const __m128i truncated = _mm_cvttpd_epi32(scaled);
  const __m128d above = _mm_cmplt_pd(_mm_cvtepi32_pd(truncated), scaled);
  const __m128i lines = _mm_sub_epi32(truncated, _mm_shuffle_epi32(_mm_castpd_si128(above), 0x08));
  ++from[_mm_extract_epi16(lines, 0)];
  ++from[_mm_extract_epi16(lines, 2)];
#else
  ++from[first_line(p[0])];
  ++from[first_line(p[1])];
#endif
}

// Counts the n samples at p, n a multiple of four, four a turn.
__attribute__((noinline)) void count_batch(const double* p, int n, Counts& from) {
  for (int i = 0; i < n; i += 4) {
    count_two(p + i, from);
    count_two(p + i + 2, from);
  }
}

#if NETFIGURES_SSE2
// count_batch with AVX2: four samples a step, and the ceiling one rounding
// instead of four steps. The same clamps in the same order, so the same lines.
__attribute__((target("avx2"), noinline)) void count_batch_avx2(const double* p, int n,
                                                                Counts& from) {
  const __m256d points = _mm256_set1_pd(1000.0);
  for (int i = 0; i < n; i += 4) {
    const __m256d scaled = _mm256_max_pd(
        _mm256_min_pd(_mm256_mul_pd(_mm256_loadu_pd(p + i), points), points), _mm256_setzero_pd());
    const __m128i lines = _mm256_cvttpd_epi32(_mm256_ceil_pd(scaled));
    const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(lines));
    const auto high = static_cast<std::uint64_t>(_mm_extract_epi64(lines, 1));
    ++from[static_cast<std::uint32_t>(low)];
    ++from[low >> 32];
    ++from[static_cast<std::uint32_t>(high)];
    ++from[high >> 32];
  }
}

// AVX2 where the processor and the system have it. glibc's answer heeds
// GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2, which runs the other count on a
// machine that has it.
#ifdef CPU_FEATURE_ACTIVE
const bool kAvx2 = CPU_FEATURE_ACTIVE(AVX2);
#else
const bool kAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif
#endif

// Both counts called by name, not through a pointer: the compiler then knows
// which registers each leaves alone, and the reading loop keeps its own in
// them (through a pointer: a tenth more instructions on %.6f). Not in line,
// so that the loop sees one call, not two (in line: 3% more instructions on
// %g, the same time). The reading loop calls it once a batch is full, and
// once at the end.
__attribute__((noinline)) void count_samples(const double* p, int n, Counts& from) {
  const int fours = n & ~3;
  for (int i = fours; i < n; ++i) ++from[first_line(p[i])];
#if NETFIGURES_SSE2
  if (kAvx2) return count_batch_avx2(p, fours, from);
#endif
  count_batch(p, fours, from);
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
  Counts from{};
  // Aligned to its own size, so that the address after a sample tells
  // whether the batch is full: the reading loop then needs no count of it,
  // nor the batch's start, in a register.
  constexpr std::uintptr_t kBatchBytes = sizeof(double) * kBatch;
  alignas(kBatchBytes) double batch[kBatch];
  struct Step {
    Counts* from;
    double* next;
    double sum = 0.0;
    NETFIGURES_INLINE void operator()(double x) {
      sum += x;
      *next++ = x;
      if ((reinterpret_cast<std::uintptr_t>(next) & (kBatchBytes - 1)) == 0) {
        next -= kBatch;
        count_samples(next, kBatch, *from);
      }
    }
  } step{&from, batch};
  const std::int64_t n = program::read_reals(samples, line.selection, step);
  count_samples(batch, static_cast<int>(step.next - batch), from);

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
