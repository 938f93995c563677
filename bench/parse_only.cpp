// The floor every program is measured against: the shared reader with a step
// that does next to nothing.
//   parse_only real|int FILE [FIELD [DELIMITER]]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sample_input/sample_input.hpp"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) return 2;
  sample_input::ReadError error;
  const sample_input::Selection selection{argc >= 4 ? std::atoi(argv[3]) : 0, false,
                                          argc == 5 ? argv[4][0] : '\0'};
  // A step that holds its state, as the programs' steps do.
  struct Sum {
    double checksum = 0;
    void operator()(double v) { checksum += v; }
  } sum;
  const std::int64_t n = std::strcmp(argv[1], "int") == 0
                             ? sample_input::read_integer_samples(argv[2], sum, error, selection)
                             : sample_input::read_real_samples(argv[2], sum, error, selection);
  if (n < 0) {
    std::fprintf(stderr, "parse_only: %s: unreadable or not numbers\n", argv[2]);
    return 1;
  }
  std::printf("%lld %g\n", static_cast<long long>(n), sum.checksum);
  return 0;
}
