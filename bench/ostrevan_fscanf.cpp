// The plain build of ostrevan that the benchmark measures against.
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* in = std::fopen(argv[1], "r");
  if (in == nullptr) return 1;
  long long tx = 0;
  long long rx = 0;
  bool first = true;
  while (!std::feof(in)) {
    long long v = 0;
    if (std::fscanf(in, "%lld\n", &v) != 1) return 1;
    if (first) {
      tx = v;
      first = false;
    } else {
      rx = v;
    }
  }
  std::fclose(in);
  // The counts of a benchmark file are far from the ends of the range:
  // their difference fits.
  std::printf("TX %lld\nRX %lld\nPLR %lf\n", tx, rx,
              static_cast<double>(tx - rx) / static_cast<double>(tx) * 100.0);
  return 0;
}
