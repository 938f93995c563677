// The plain build of ostrevan that the benchmark measures against.
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* in = std::fopen(argv[1], "r");
  if (in == nullptr) return 1;
  int tx = 0;
  int rx = 0;
  bool first = true;
  while (!std::feof(in)) {
    int v = 0;
    if (std::fscanf(in, "%d\n", &v) != 1) return 1;
    if (first) {
      tx = v;
      first = false;
    } else {
      rx = v;
    }
  }
  std::fclose(in);
  std::printf("TX %d\nRX %d\nPLR %lf\n", tx, rx,
              static_cast<double>(std::int64_t{tx} - rx) / static_cast<double>(tx) * 100.0);
  return 0;
}
