// bruntel: a cell spectral efficiency, the total of the integers of a sample
// file divided by the first divisor, then by the second.
#include <cstdint>
#include <cstdio>

#include "tools/program.hpp"
#include "tools/rate.hpp"

namespace {

constexpr program::About kAbout{
    "bruntel", "SAMPLE_FILE FIRST_DIVISOR SECOND_DIVISOR",
    "Prints the total of the integers of SAMPLE_FILE divided by FIRST_DIVISOR, then\n"
    "by SECOND_DIVISOR, with nine decimals: bits per TTI over TTIs and bandwidth in\n"
    "Hz give a cell spectral efficiency in bit/s/Hz. A divisor is read as strtod\n"
    "reads it (10s is 10) and needs a decimal point, not a comma. The integers are\n"
    "signed 64-bit; a whole number written as a real (1448.0, 1.448e+03) reads as\n"
    "that integer."};

}  // namespace

int main(int argc, char** argv) {
  const program::CommandLine line = program::start(kAbout, argc, argv);
  const char* const samples = line.operands[0];
  const double first = rate::divisor("first divisor", line.operands[1]);
  const double second = rate::divisor("second divisor", line.operands[2]);

  const std::int64_t total = rate::total(samples, line.selection);

  // A zero divisor is not guarded: the result is inf or NaN, as divided.
  std::printf("%2.9lf\n", static_cast<double>(total) / first / second);
  return program::finish();
}
