// tessarn: a goodput, eight times the total of the byte counts of a sample
// file (bits) divided by the length of the measurement interval.
#include <cstdint>
#include <cstdio>

#include "tools/program.hpp"
#include "tools/rate.hpp"

namespace {

constexpr program::About kAbout{
    "tessarn", "SAMPLE_FILE INTERVAL",
    "Prints a goodput: eight times the total of the byte counts of SAMPLE_FILE\n"
    "divided by INTERVAL, with nine decimals, in bits per unit of INTERVAL. The\n"
    "interval is read as strtod reads it (10s is 10) and needs a decimal point,\n"
    "not a comma. The byte counts are signed 64-bit integers; a whole number\n"
    "written as a real (1448.0, 1.448e+03) reads as that integer."};

}  // namespace

int main(int argc, char** argv) {
  const program::CommandLine line = program::start(kAbout, argc, argv);
  const char* const samples = line.operands[0];
  const double interval = rate::divisor("interval", line.operands[1]);

  std::int64_t bits = 0;
  if (__builtin_mul_overflow(rate::total(samples, line.selection), 8, &bits)) {
    program::file_failed(samples, "the total in bits does not fit in 64 bits");
  }

  // A zero interval is not guarded: the result is inf or NaN, as divided.
  std::printf("%2.9lf\n", static_cast<double>(bits) / interval);
  return program::finish();
}
