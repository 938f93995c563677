// bruntel: a cell spectral efficiency, the total of the integers of a sample
// file divided by the first divisor, then by the second.
#include <cstdint>
#include <cstdio>

#include "tools/program.hpp"
#include "tools/rate.hpp"

namespace {

constexpr const char* kName = "bruntel";

}  // namespace

int main(int argc, char** argv) {
  program::start();
  if (argc != 4) return program::usage("bruntel SAMPLE_FILE FIRST_DIVISOR SECOND_DIVISOR");
  double first = 0.0;
  double second = 0.0;
  if (const int status = rate::parse_divisor(kName, "first divisor", argv[2], first)) return status;
  if (const int status = rate::parse_divisor(kName, "second divisor", argv[3], second)) {
    return status;
  }

  std::int64_t total = 0;
  if (const int status = rate::read_total(kName, argv[1], total)) return status;

  // A zero divisor is not guarded: the result is inf or NaN, as divided.
  std::printf("%2.9lf\n", static_cast<double>(total) / first / second);
  return program::close_output(kName, stdout, "standard output");
}
