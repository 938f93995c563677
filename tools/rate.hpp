// What bruntel and tessarn share: divisors taken from the command line and an
// exact total of the integers of a sample file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "sample_input/sample_input.hpp"
#include "tools/program.hpp"

namespace rate {

// Takes the numeric prefix of arg as strtod does: leading blanks skipped,
// trailing text ignored ("10s" is 10, so scripts may pass units), inf, nan and
// hexadecimal accepted. An argument that does not begin with a number would
// silently divide by zero, so it is a command-line error: 0 or kUsage.
inline int parse_divisor(const char* program, const char* name, const char* arg, double& value) {
  char* end = nullptr;
  value = std::strtod(arg, &end);
  if (end != arg) return 0;
  std::fprintf(stderr, "%s: %s is not a number: '%s'\n", program, name, arg);
  return program::kUsage;
}

// Sums the integers of the file at path exactly in 64 bits; a negative value
// lowers the total. A total past the 64-bit range fails the run rather than
// wrap. 0 or kFailed, with the message out.
inline int read_total(const char* program, const char* path, std::int64_t& total) {
  total = 0;
  bool overflow = false;
  sample_input::ReadError error;
  const std::int64_t n = sample_input::read_integer_samples(
      path, [&](std::int32_t v) { overflow |= __builtin_add_overflow(total, v, &total); }, error);
  if (n < 0) return program::read_failed(program, error);
  return overflow ? program::file_failed(program, path, "the total does not fit in 64 bits") : 0;
}

}  // namespace rate
