// varnoth: the mean of real samples on stdout, and their empirical cumulative
// distribution at the points 0.000, 0.001, ..., 0.999 in a file.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "sample_input/config.hpp"
#include "tools/output_file.hpp"
#include "tools/program.hpp"

#if NETFIGURES_SSE2  // the reader's switch: the scalar build tests the portable clamp
#include <immintrin.h>
#endif

namespace {

constexpr program::About kAbout{
    "varnoth", "SAMPLE_FILE DISTRIBUTION_FILE",
    "Prints the mean of the real numbers of SAMPLE_FILE with nine decimals, and\n"
    "writes their empirical cumulative distribution to DISTRIBUTION_FILE: 1000\n"
    "lines 'p F(p)', F(p) the fraction of samples at or below p = 0.000 ... 0.999\n"
    "(with -u U, p = 0, U/1000, ..., 999 U/1000). DISTRIBUTION_FILE - is standard\n"
    "output, after the mean. An existing file is replaced only by a complete\n"
    "distribution; the sample file itself is refused.",
    "u"};
constexpr int kPoints = 1000;

// The first line a sample counts on: ceil(scale x), clamped into [0, kPoints],
// scale being 1000 / U (1000 without -u). Samples at or below 0 (-inf too)
// count from the first point on; those above the last point (+inf and NaN
// too) get kPoints, on no line.
int first_line(double x, double scale) {
  // Clamped with max, then min, in this operand order: max passes a NaN on,
  // and min then gives 1000.
  const double scaled = std::min(1000.0, std::max(scale * x, 0.0));
  const int k = static_cast<int>(scaled);  // then the ceiling, in [0, kPoints]
  return k + (k < scaled);
}

// from[k] counts the samples whose first line is k, which scale finds. The
// samples taken in a turn are counted in four tables, one a lane, added into
// from at the end: where samples share a line (all above the last point, say,
// or all on the first), each raise would otherwise wait for the one before it
// on the same counter, and such a file took up to a sixth longer than a
// spread one. The lanes count in 32 bits, so that the four (16 KiB) stay in
// the first-level cache beside the file's bytes: at 64 bits they filled it,
// and %.6f took about 3% longer. They are added into from before one could pass
// 2^32 - 1.
using Table = std::array<std::uint64_t, kPoints + 1>;
using Lane = std::array<std::uint32_t, kPoints + 1>;
struct Counts {
  double scale = 1000.0;
  Table from{};
  std::array<Lane, 4> lanes{};
  std::uint64_t in_lanes = 0;  // samples counted in the lanes since they were added

  // Adds the lanes' counts into from, and empties them.
  void gather() {
    for (auto& lane : lanes) {
      for (std::size_t k = 0; k < from.size(); ++k) from[k] += lane[k];
      lane.fill(0);
    }
    in_lanes = 0;
  }
};

// Samples are counted this many at a time, in a loop of their own: the reading
// loop only stores each one, and keeps its registers for reading. (Counted as
// they came, two at a time, they made the reading loop spill; a trace in %e
// took a fifth longer than now. Counted one at a time, the line found without
// a branch, %.6f took 1.34 times as long as now; the sample read 8 before,
// whose line is known early, 1.09 times; the line alone stored, 1.30 times.
// The reading loop has no room to spare for the count.)
constexpr int kBatch = 256;

// Counts the two samples at p: each step of first_line done for both in one
// instruction.
NETFIGURES_INLINE void count_two(const double* p, double scale, Lane& first, Lane& second) {
#if NETFIGURES_SSE2
  // minpd first, which gives its second operand for a NaN: NaN goes to 1000
  // as in first_line, and maxpd then sees no NaN. Signed zeros come out as
  // zeros, whose line is 0 either way. The ceiling subtracts the all-ones
  // mask of the samples above their truncation; a line fits 16 bits.
  const __m128d points = _mm_set1_pd(1000.0);
  const __m128d scaled = _mm_max_pd(
      _mm_min_pd(_mm_mul_pd(_mm_loadu_pd(p), _mm_set1_pd(scale)), points), _mm_setzero_pd());
  const __m128i truncated = _mm_cvttpd_epi32(scaled);
  const __m128d above = _mm_cmplt_pd(_mm_cvtepi32_pd(truncated), scaled);
  const __m128i lines = _mm_sub_epi32(truncated, _mm_shuffle_epi32(_mm_castpd_si128(above), 0x08));
  ++first[_mm_extract_epi16(lines, 0)];
  ++second[_mm_extract_epi16(lines, 2)];
#else
  ++first[first_line(p[0], scale)];
  ++second[first_line(p[1], scale)];
#endif
}

// Counts the n samples at p, n a multiple of four, four a turn.
__attribute__((noinline)) void count_batch(const double* p, int n, Counts& counts) {
  for (int i = 0; i < n; i += 4) {
    count_two(p + i, counts.scale, counts.lanes[0], counts.lanes[1]);
    count_two(p + i + 2, counts.scale, counts.lanes[2], counts.lanes[3]);
  }
}

#if NETFIGURES_SSE2
// The lines of the four samples at p, as first_line finds them: the same
// clamps in the same order, and the ceiling one rounding instead of four steps.
__attribute__((target("avx2"))) inline __m128i four_lines(const double* p, __m256d scale) {
  const __m256d scaled =
      _mm256_max_pd(_mm256_min_pd(_mm256_mul_pd(_mm256_loadu_pd(p), scale), _mm256_set1_pd(1000.0)),
                    _mm256_setzero_pd());
  return _mm256_cvttpd_epi32(_mm256_ceil_pd(scaled));
}

// Counts the samples of the four lines.
__attribute__((target("avx2"))) inline void count_four(__m128i lines, Counts& counts) {
  auto& lanes = counts.lanes;
  const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(lines));
  const auto high = static_cast<std::uint64_t>(_mm_extract_epi64(lines, 1));
  ++lanes[0][static_cast<std::uint32_t>(low)];
  ++lanes[1][low >> 32];
  ++lanes[2][static_cast<std::uint32_t>(high)];
  ++lanes[3][high >> 32];
}

// count_batch with AVX2, eight samples a turn, the lines of all eight found
// before any is counted: 6 to 12% less time than four a turn (the count
// alone, in a loop of its own). Found and counted four by four in one turn,
// they took a fifth more; stored at once and read back as indices, which takes
// fewer instructions, over a quarter more: those loads wait for the wide store.
__attribute__((target("avx2"), noinline)) void count_batch_avx2(const double* p, int n,
                                                                Counts& counts) {
  const __m256d scale = _mm256_set1_pd(counts.scale);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i first = four_lines(p + i, scale);
    const __m128i second = four_lines(p + i + 4, scale);
    count_four(first, counts);
    count_four(second, counts);
  }
  if (i < n) count_four(four_lines(p + i, scale), counts);
}
#endif

// The counts, and the samples read since the last were counted. At a fixed
// place, so that the reading loop keeps no register for either (with a
// pointer to the counts in the step, 49.5 instructions a sample on %.6f
// rather than 45.4). The batch is aligned to its own size, so that the
// address after a sample tells whether it is full: the loop then needs no
// count of it either.
Counts tally;
constexpr std::uintptr_t kBatchBytes = sizeof(double) * kBatch;
alignas(kBatchBytes) double batch[kBatch];

// Both counts called by name, not through a pointer: the compiler then knows
// which registers each leaves alone, and the reading loop keeps its own in
// them (through a pointer: a tenth more instructions on %.6f). Not in line,
// so that the loop sees one call, not two (in line: 3% more instructions on
// %g, the same time). The reading loop calls it once a batch is full, and
// once at the end.
__attribute__((noinline)) void count_samples(const double* p, int n, Counts& counts) {
  if (counts.in_lanes + static_cast<unsigned>(n) > std::numeric_limits<std::uint32_t>::max()) {
    counts.gather();
  }
  counts.in_lanes += static_cast<unsigned>(n);
  const int fours = n & ~3;
  for (int i = fours; i < n; ++i) ++counts.lanes[0][first_line(p[i], counts.scale)];
#if NETFIGURES_SSE2
  if (sample_input::kAvx2) return count_batch_avx2(p, fours, counts);
#endif
  count_batch(p, fours, counts);
}

// The decimals that tell the points U/1000 apart: those of %lf, six, or
// more where the points lie closer than 0.000001.
int point_decimals(double upper) {
  int decimals = 6;
  for (double step = 1e-6; decimals < 17 && step > upper / 1000 * (1 + 1e-9); step /= 10) {
    ++decimals;
  }
  return decimals;
}

// printf's %.*f of x, for the points and fractions of the distribution,
// written at out (32 bytes); the count of bytes, or 0 where x is negative
// (-0 too), not a number, 2^53 or more, or has more than 19 digits with its
// decimals, for printf to write. Exact: x is m / 2^shift, and m 10^decimals / 2^shift is
// rounded half to even as printf rounds it. (printf took 2.6 million more
// instructions for the 1000 lines.)
int fixed(double x, int decimals, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  if ((bits >> 63) != 0 || !(x < 0x1p53) || decimals > 17) return 0;
  const auto biased = static_cast<int>(bits >> 52);
  const std::uint64_t m =
      (bits & ((std::uint64_t{1} << 52) - 1)) | (biased == 0 ? 0 : std::uint64_t{1} << 52);
  const int shift = biased == 0 ? 1074 : 1075 - biased;  // 0 or more below 2^53
  std::uint64_t power = 1;
  for (int i = 0; i < decimals; ++i) power *= 10;
  __extension__ using Wide = unsigned __int128;
  const Wide scaled = Wide{m} * power;  // below 2^53 10^17 < 2^110
  Wide rounded = 0;                     // from a shift of 111 on, scaled is below half a unit
  if (shift == 0) {
    rounded = scaled;
  } else if (shift < 111) {
    rounded = scaled >> shift;
    const Wide rest = scaled & ((Wide{1} << shift) - 1);
    const Wide half = Wide{1} << (shift - 1);
    rounded += rest > half || (rest == half && (rounded & 1) != 0);
  }
  if (rounded > ~std::uint64_t{0}) return 0;
  auto value = static_cast<std::uint64_t>(rounded);
  char digits[24];  // the last first, at least decimals + 1 of them
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 || count <= decimals);
  int length = 0;
  for (int i = count - 1; i >= 0; --i) {
    if (i == decimals - 1) out[length++] = '.';
    out[length++] = digits[i];
  }
  return length;
}

// The bytes of a point or a fraction, at most: 309 whole digits of a point
// near the largest double, its 17 decimals, the point.
constexpr int kFieldBytes = 340;

// Where fixed declines, printf; at out, kFieldBytes.
int fixed_or_printf(double x, int decimals, char* out) {
  const int length = fixed(x, decimals, out);
  return length != 0 ? length : std::snprintf(out, kFieldBytes, "%.*f", decimals, x);
}

// x with that many decimals, less the zeros that end them: 0.999, 0.000999, 999.
std::string shown(double x, int decimals) {
  std::string text(64, '\0');
  text.resize(
      static_cast<std::size_t>(std::snprintf(text.data(), text.size(), "%.*f", decimals, x)));
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const program::CommandLine line = program::start(kAbout, argc, argv);
  const char* const samples = line.operands[0];
  // Opened before the samples are read: a path that cannot be written fails
  // the run at once, not after a long read.
  output_file::OutputFile distribution = output_file::open(line.operands[1], samples);

  // from[k] counts the samples whose first line is k: they lie at or below
  // every point from k U/1000 on. Bucketing once per sample and summing the
  // buckets at the end gives the same counts as raising every counter at or
  // above k for each sample, without 1000 steps per sample. The scale is
  // exactly 1000 without -u, so the lines are those of ceil(1000 x).
  const double upper = line.upper;
  tally.scale = 1000.0 / upper;
  const auto& from = tally.from;
  struct Step {
    double* next = batch;
    double sum = 0.0;
    NETFIGURES_INLINE void operator()(double x) {
      sum += x;
      *next++ = x;
      if (__builtin_expect((reinterpret_cast<std::uintptr_t>(next) & (kBatchBytes - 1)) == 0, 0)) {
        count_samples(batch, kBatch, tally);
        next = batch;
      }
    }
  } step;
  const std::int64_t n = program::read_reals(samples, line.selection, step);
  count_samples(batch, static_cast<int>(step.next - batch), tally);
  tally.gather();

  std::printf("%2.9lf\n", step.sum / static_cast<double>(n));
  program::flush(stdout, "-");
  const int decimals = point_decimals(upper);
  std::uint64_t at_or_below = 0;
  for (int i = 0; i < kPoints; ++i) {
    at_or_below += from[i];
    // "%.*lf %lf\n" of the point and the fraction.
    char text[2 * kFieldBytes + 2];
    int length = fixed_or_printf(i * upper / 1000.0, decimals, text);
    text[length++] = ' ';
    length += fixed_or_printf(static_cast<double>(at_or_below) / static_cast<double>(n), 6,
                              text + length);
    text[length++] = '\n';
    std::fwrite(text, 1, static_cast<std::size_t>(length), distribution.stream);
  }
  output_file::commit(distribution);
  // Samples that all lie off the points usually mean a unit off by 1000
  // (milliseconds where the points are seconds, or microseconds on a LAN
  // measured in seconds): the figures stand, the user is told which -u
  // puts the points where the samples are.
  const std::uint64_t on_no_line = from.back();
  const std::string last = shown(999 * upper / 1000.0, decimals);
  if (2 * on_no_line > static_cast<std::uint64_t>(n)) {
    program::warn(std::to_string(on_no_line) + " of " + std::to_string(n) + " samples lie above " +
                  last + ", on no line of the distribution; -u U puts the points at 0 ... 0.999 U");
  } else if (from[0] + from[1] == static_cast<std::uint64_t>(n) && from[1] > 0) {
    const std::string first = shown(upper / 1000.0, decimals);
    program::warn("every sample lies at or below " + first + ", on the first point above 0; -u " +
                  first + " spreads them over 0 ... " + shown(999 * upper / 1e6, decimals + 3));
  }
  return program::finish();
}
