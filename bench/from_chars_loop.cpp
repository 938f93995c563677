// The yardstick of a correct general parser: read(2) into a buffer, split on
// white space, std::from_chars on each token, sum. What a careful program
// without the reader's fast paths would do.
//   from_chars_loop real|int FILE
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

template <class T>
int parse(int fd) {
  static char buffer[1 << 16];
  std::size_t kept = 0;
  long long count = 0;
  double checksum = 0;
  for (bool eof = false; !eof;) {
    const ssize_t got = read(fd, buffer + kept, sizeof buffer - kept);
    if (got < 0) return 1;
    eof = got == 0;
    const char* p = buffer;
    const char* const end = buffer + kept + got;
    for (;;) {
      while (p < end && is_space(*p)) ++p;
      const char* stop = p;
      while (stop < end && !is_space(*stop)) ++stop;
      if (p == end || (stop == end && !eof)) break;  // the token may go on in the next read
      T value{};
      const auto result = std::from_chars(p, stop, value);
      if (result.ec != std::errc() || result.ptr != stop) return 1;
      checksum += static_cast<double>(value);
      ++count;
      p = stop;
    }
    kept = static_cast<std::size_t>(end - p);
    std::memmove(buffer, p, kept);
  }
  std::printf("%lld %g\n", count, checksum);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int fd = open(argv[2], O_RDONLY);
  if (fd < 0) return 1;
  return std::strcmp(argv[1], "int") == 0 ? parse<std::int32_t>(fd) : parse<double>(fd);
}
