// ostrevan: the packet loss rate in percent from the first count of a file
// (transmitted, TX) and its last (received, RX).
#include <cstdint>
#include <cstdio>

#include "sample_input/sample_input.hpp"
#include "tools/program.hpp"

namespace {

constexpr const char* kName = "ostrevan";

}  // namespace

int main(int argc, char** argv) {
  program::start();
  if (argc != 2) return program::usage("ostrevan SAMPLE_FILE");
  const char* const path = argv[1];

  std::int32_t tx = 0;
  std::int32_t rx = 0;
  bool first = true;
  sample_input::ReadError error;
  const std::int64_t n = sample_input::read_integer_samples(
      path,
      [&](std::int32_t count) {
        if (first) {
          tx = count;
          first = false;
        } else {
          rx = count;  // counts between the first and the last are overwritten
        }
      },
      error);
  if (n < 0) return program::read_failed(kName, error);
  // An empty file has failed above, so a short one holds exactly one count.
  if (n < 2)
    return program::file_failed(kName, path, "two counts are needed (TX, then RX), found 1");

  // TX - RX in 64 bits: negative counts cannot overflow it. TX = 0 is not
  // guarded; the rate is what the division gives (-inf, inf or NaN).
  const auto lost = static_cast<double>(std::int64_t{tx} - rx);
  std::printf("TX %d\n", tx);
  std::printf("RX %d\n", rx);
  std::printf("PLR %lf\n", lost / static_cast<double>(tx) * 100.0);
  return program::close_output(kName, stdout, "standard output");
}
