// tessarn: a goodput, eight times the total of the byte counts of a sample
// file (bits) divided by the length of the measurement interval.
#include <cstdint>
#include <cstdio>

#include "tools/program.hpp"
#include "tools/rate.hpp"

namespace {

constexpr const char* kName = "tessarn";

}  // namespace

int main(int argc, char** argv) {
  program::start();
  if (argc != 3) return program::usage("tessarn SAMPLE_FILE INTERVAL");
  double interval = 0.0;
  if (const int status = rate::parse_divisor(kName, "interval", argv[2], interval)) return status;

  std::int64_t bytes = 0;
  if (const int status = rate::read_total(kName, argv[1], bytes)) return status;
  std::int64_t bits = 0;
  if (__builtin_mul_overflow(bytes, 8, &bits)) {
    return program::file_failed(kName, argv[1], "the total in bits does not fit in 64 bits");
  }

  // A zero interval is not guarded: the result is inf or NaN, as divided.
  std::printf("%2.9lf\n", static_cast<double>(bits) / interval);
  return program::close_output(kName, stdout, "standard output");
}
