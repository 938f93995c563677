// What every program does the same way at its edges: the command line (the
// options, --help, --version, the usage line), the one-line messages on stderr
// and the exit statuses, and checked output. Every message is written here
// and nowhere else. A program names itself once, in start(); the helpers that
// end the run do not return.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sample_input/sample_input.hpp"

namespace program {

inline constexpr int kFailed = 1;  // a file could not be read or written
inline constexpr int kUsage = 2;   // the command line is wrong

// What --help and the usage line say.
struct About {
  const char* name;      // "quellimar"
  const char* operands;  // "SAMPLE_FILE", one word per argument the program takes
  const char* summary;   // the lines --help prints below the usage line
  const char* own = "";  // the letters of the options only this program takes ("u")
};

// What the command line asks for: which numbers of the sample file are the
// samples (-f N, -H), and the operands, the arguments after the options, as
// many as About::operands names.
struct CommandLine {
  sample_input::Selection selection;
  char** operands;
  double upper = 1.0;  // varnoth's -u: the points are 0, upper/1000, ..., 999 upper/1000
};

// Called first. Names the program for every message; answers --help, -h,
// --version and -V given alone; reads the options, which come before the
// operands; ends the run with a message when an option is wrong, or with the
// usage line when the operand count is. Ignores SIGPIPE and SIGXFSZ, so that a
// closed pipe or a file-size limit is a failed write with a message, not a
// silent death.
CommandLine start(const About& about, int argc, char** argv);

// "PROG: NAME is not a number: 'ARG'", then why in brackets if given; status 2.
[[noreturn]] void bad_number(const char* name, const char* arg, const char* why = nullptr);
// "PROG: FILE: reason" for a whole file; status 1, or the status given.
[[noreturn]] void file_failed(const char* path, const char* reason, int status = kFailed);
[[noreturn]] void file_failed(const char* path, int errnum);
// The reader's error: "PROG: FILE:LINE: what is wrong: 'TOKEN'" or "PROG: FILE: reason".
[[noreturn]] void read_failed(const sample_input::ReadError& error);
// "PROG: warning: ..." on a run that goes on.
void warn(const std::string& text);

// The text of the one line a failed read ends the run with, for tests.
void print_read_error(std::FILE* to, const sample_input::ReadError& error);

// Flushes a stream the program writes to and checks that every byte got out;
// ends the run when one did not. path "-" names standard output.
void flush(std::FILE* stream, const char* path);
// Flushes and closes it, checked the same way.
void close(std::FILE* stream, const char* path);
// Closes standard output, checked, once: before a file is put in place, so
// that nothing fails after it. finish() closes it if this has not.
void close_stdout();
// Closes standard output, checked, at the end of a run; then, when the sample
// file looked like columns all read as samples, says so on stderr, after the
// figures. The status, 0.
int finish();

// A file the run is still writing, removed should the run end early (by a
// failure or a signal such as Ctrl-C), so that no partial file stays behind.
// nullptr once it is complete.
void remove_on_failure(const char* path);

// Notes what the first lines of a sample file that was read held, for the
// warning finish() gives.
void read_done(const sample_input::ReadError& error);

// The readers, with a failure ending the run.
template <class Step>
NETFIGURES_INLINE std::int64_t read_reals(const char* path,
                                          const sample_input::Selection& selection, Step&& step) {
  sample_input::ReadError error;
  const std::int64_t n = sample_input::read_real_samples(path, step, error, selection);
  if (n < 0) read_failed(error);
  read_done(error);
  return n;
}

template <class Step>
NETFIGURES_INLINE std::int64_t read_integers(const char* path,
                                             const sample_input::Selection& selection,
                                             Step&& step) {
  sample_input::ReadError error;
  const std::int64_t n = sample_input::read_integer_samples(path, step, error, selection);
  if (n < 0) read_failed(error);
  read_done(error);
  return n;
}

}  // namespace program
