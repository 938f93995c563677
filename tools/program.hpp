// What every program does the same way at its edges: the exit statuses, the
// one-line messages on stderr, and checked output.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "sample_input/sample_input.hpp"

namespace program {

inline constexpr int kFailed = 1;  // a file could not be read or written
inline constexpr int kUsage = 2;   // the command line is wrong

// Called first. A closed pipe on stdout must end the run with a message and
// status 1, like any other failed write, not kill it silently.
inline void start() { std::signal(SIGPIPE, SIG_IGN); }

inline int usage(const char* synopsis) {
  std::fprintf(stderr, "usage: %s\n", synopsis);
  return kUsage;
}

inline int read_failed(const char* program, const sample_input::ReadError& error) {
  error.print(program);
  return kFailed;
}

// "PROGRAM: FILE: reason" for a fault of a whole file.
inline int file_failed(const char* program, const char* name, const char* reason) {
  std::fprintf(stderr, "%s: %s: %s\n", program, name, reason);
  return kFailed;
}

inline int file_failed(const char* program, const char* name, int errnum) {
  return file_failed(program, name, std::strerror(errnum));
}

// Flushes and closes a stream the program wrote: 0 when every byte reached
// its file, otherwise the message is out and the status is kFailed.
inline int close_output(const char* program, std::FILE* stream, const char* name) {
  errno = 0;
  int errnum = 0;
  if (std::fflush(stream) != 0 || std::ferror(stream)) errnum = errno != 0 ? errno : EIO;
  if (std::fclose(stream) != 0 && errnum == 0) errnum = errno != 0 ? errno : EIO;
  return errnum != 0 ? file_failed(program, name, errnum) : 0;
}

}  // namespace program
