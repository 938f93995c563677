// Runs a command several times with stdout thrown away and prints its best
// wall time in seconds and its peak resident memory in KiB:
//   measure RUNS COMMAND [ARG...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure RUNS COMMAND [ARG...]\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  double best = 1e300;
  long peak_kib = 0;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execvp(argv[2], argv + 2);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "measure: %s failed\n", argv[2]);
      return 1;
    }
    if (seconds < best) best = seconds;
    if (usage.ru_maxrss > peak_kib) peak_kib = usage.ru_maxrss;
  }
  std::printf("%.4f %ld\n", best, peak_kib);
  return 0;
}
