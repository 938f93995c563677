// What bruntel and tessarn share: divisors taken from the command line and an
// exact total of the integers of a sample file.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "tools/program.hpp"

namespace rate {

// Takes the numeric prefix of arg as strtod does: leading blanks skipped,
// trailing text ignored ("10s" is 10, so scripts may pass units), inf, nan and
// hexadecimal accepted. An argument that does not begin with a number would
// silently divide by zero, and "1,5" written in a locale with a decimal comma
// would divide by 1: both end the run as a wrong command line.
inline double divisor(const char* name, const char* arg) {
  char* end = nullptr;
  const double value = std::strtod(arg, &end);
  if (end == arg) program::bad_number(name, arg);
  if (*end == ',' && static_cast<unsigned>(end[1] - '0') < 10u) {
    program::bad_number(name, arg, "a decimal point is needed");
  }
  return value;
}

// The integers of the file at path (those selection picks) summed exactly in
// 64 bits; a negative value lowers the total. A total past the 64-bit range
// fails the run rather than wrap.
inline std::int64_t total(const char* path, const sample_input::Selection& selection) {
  struct Total {
    std::int64_t sum = 0;
    bool overflow = false;
    NETFIGURES_INLINE void operator()(std::int64_t v) {
      overflow |= __builtin_add_overflow(sum, v, &sum);
    }
  } total;
  program::read_integers(path, selection, total);
  if (total.overflow) program::file_failed(path, "the total does not fit in 64 bits");
  return total.sum;
}

}  // namespace rate
