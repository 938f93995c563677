// ostrevan: the packet loss rate in percent from the first count of a file
// (transmitted, TX) and its last (received, RX).
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/program.hpp"

namespace {

constexpr program::About kAbout{
    "ostrevan", "SAMPLE_FILE",
    "Takes the first integer of SAMPLE_FILE as the packets transmitted (TX) and the\n"
    "last as those received (RX), and prints TX, RX and the packet loss rate\n"
    "PLR = (TX - RX) / TX * 100 in percent, as three lines. The counts are signed\n"
    "64-bit integers; a whole number written as a real (1448.0, 1.448e+03) reads\n"
    "as that integer."};

}  // namespace

int main(int argc, char** argv) {
  const program::CommandLine line = program::start(kAbout, argc, argv);
  const char* const samples = line.operands[0];

  // The first count and the last: those between are overwritten.
  struct Ends {
    std::int64_t tx = 0;
    std::int64_t rx = 0;
    bool first = true;
    NETFIGURES_INLINE void operator()(std::int64_t count) {
      // cppcheck-suppress knownConditionTrueFalse ; true at the first of many calls
      if (first) {
        tx = count;
        first = false;
      } else {
        rx = count;
      }
    }
  } ends;
  const std::int64_t n = program::read_integers(samples, line.selection, ends);
  const std::int64_t tx = ends.tx;
  const std::int64_t rx = ends.rx;
  if (n < 2) {
    const std::string found = "found " + std::to_string(n);
    program::file_failed(samples, ("two counts are needed (TX, then RX), " + found).c_str());
  }

  // TX - RX exactly, then rounded once to a double. Two 64-bit counts may
  // differ by up to 2^64 - 1, past the signed range, but the size of the
  // difference always fits 64 bits unsigned, where the counts' subtraction
  // wraps to it. TX = 0 is not guarded; the rate is what the division gives
  // (-inf, inf or NaN).
  const bool gained = rx > tx;
  const std::uint64_t size = gained
                                 ? static_cast<std::uint64_t>(rx) - static_cast<std::uint64_t>(tx)
                                 : static_cast<std::uint64_t>(tx) - static_cast<std::uint64_t>(rx);
  const double lost = gained ? -static_cast<double>(size) : static_cast<double>(size);
  std::printf("TX %" PRId64 "\n", tx);
  std::printf("RX %" PRId64 "\n", rx);
  std::printf("PLR %lf\n", lost / static_cast<double>(tx) * 100.0);
  return program::finish();
}
