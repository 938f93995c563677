#include "tools/program.hpp"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

namespace program {

namespace {

About self{"netfigures", "", ""};
int arg_count = 0;
char** args = nullptr;
const char* partial_file = nullptr;  // see remove_on_failure

const char* name() { return self.name; }

// A file name or argument as a message shows it: on one line, whatever bytes it holds.
std::string shown(const char* text) {
  const std::size_t length = std::strlen(text);
  std::string out(4 * length + 8, '\0');
  out.resize(sample_input::escape(text, text + length, out.data(), out.size()));
  return out;
}

std::string shown_input(const char* path) {
  return std::strcmp(path, "-") == 0 ? "standard input" : shown(path);
}

// A word as a shell takes it back: quoted unless it is plainly one word.
std::string shell_word(const char* word) {
  if (*word != '\0' && std::strspn(word,
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                   "0123456789%+,-./:=@_") == std::strlen(word)) {
    return word;
  }
  std::string quoted = "'";
  for (const char* c = word; *c != '\0'; ++c) quoted += *c == '\'' ? "'\\''" : std::string(1, *c);
  return quoted + "'";
}

// The run ends here: the partial output goes, the line is written whole.
[[noreturn]] void die(int status, const std::string& line) {
  if (partial_file != nullptr) ::unlink(partial_file);
  std::fputs((line + "\n").c_str(), stderr);
  std::exit(status);
}

std::string prefix() { return std::string(name()) + ": "; }

// Whether a token reads as a real number once its comma is a point ("0,5"):
// a decimal comma, as spreadsheets write in many locales. Not said of
// integers: a point would not make "0,5" an integer, and "1,000" there is a
// thousands separator.
bool decimal_comma(const char* token) {
  const char* const comma = std::strchr(token, ',');
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (comma == nullptr || comma == token || !digit(comma[-1]) || !digit(comma[1])) return false;
  std::string text = token;
  text[static_cast<std::size_t>(comma - token)] = '.';
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return *end == '\0';
}

std::string read_error_line(const sample_input::ReadError& e) {
  using What = sample_input::ReadError::What;
  const std::string file = prefix() + shown_input(e.path) + ": ";
  const std::string place = file.substr(0, file.size() - 2) + ":" + std::to_string(e.line) + ": ";
  const std::string token = std::string(": '") + e.token + "'";
  switch (e.what) {
    case What::kNone:
      return file + "unreadable";
    case What::kSystem:
      return file + std::strerror(e.errnum);
    case What::kNoNumber:
      return file + "no number in the file";
    case What::kNotANumber:
      return place + "not a number" + token +
             (decimal_comma(e.token) ? " (a decimal point is needed)" : "");
    case What::kNotAnInteger:
      return place + "not an integer" + token;
    case What::kOutOfRange:
      return place + "integer out of the 32-bit range" + token;
    case What::kTooLong:
      return place + "number longer than " + std::to_string(sample_input::kMaxNumberLength) +
             " characters" + token;
    case What::kShortLine:
      return place + "line has " + std::to_string(e.fields) +
             (e.fields == 1 ? " field" : " fields") + ", fewer than " + std::to_string(e.field) +
             token;
    case What::kCompressed: {
      const std::string how = file + "looks " + e.compressor + "-compressed; decompress it first";
      if (std::strcmp(e.path, "-") == 0) return how + " with " + e.decompressor;
      std::string command = std::string(e.decompressor) + " " + shell_word(e.path) + " | " + name();
      command += " -";
      for (int i = 2; i < arg_count; ++i) command += " " + shell_word(args[i]);
      return how + ": " + shown(command.c_str());
    }
  }
  return file + "unreadable";
}

// A write to path ("-": standard output) failed; errno says why, where it can.
[[noreturn]] void flush_failed(const char* path) {
  const int errnum = errno != 0 ? errno : EIO;
  die(kFailed, prefix() + (std::strcmp(path, "-") == 0 ? "standard output" : shown(path)) + ": " +
                   std::strerror(errnum));
}

// Leaves what is being written in no half state when the user interrupts a
// long run: the partial file goes, then the signal takes its usual course.
extern "C" void on_signal(int signal) {
  if (partial_file != nullptr) ::unlink(partial_file);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void start(const About& about, int argc, char** argv) {
  self = about;
  arg_count = argc;
  args = argv;
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string usage = std::string("usage: ") + about.name + " " + about.operands + "\n";
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s%s\n", usage.c_str(), about.summary);
    std::printf(
        "SAMPLE_FILE holds numbers separated by white space; - is standard input, and\n"
        "a file whose name begins with - is named ./-name. Exit status: 0 done, 1 a\n"
        "file failed, 2 a wrong command line. %s --version says the version;\n"
        "man %s says more.\n",
        about.name, about.name);
    std::exit(finish());
  }
  if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0)) {
    std::printf("%s (netfigures) %s\n", about.name, NETFIGURES_VERSION);
    std::exit(finish());
  }
  int operands = 1;
  for (const char* c = about.operands; *c != '\0'; ++c) operands += *c == ' ';
  if (argc != operands + 1) {
    std::fputs(usage.c_str(), stderr);
    std::exit(kUsage);
  }
}

void bad_number(const char* name, const char* arg, const char* why) {
  std::string line = prefix() + name + " is not a number: '" + shown(arg) + "'";
  if (why != nullptr) line += std::string(" (") + why + ")";
  die(kUsage, line);
}

void file_failed(const char* path, const char* reason, int status) {
  die(status, prefix() + shown_input(path) + ": " + reason);
}

void file_failed(const char* path, int errnum) { file_failed(path, std::strerror(errnum)); }

void read_failed(const sample_input::ReadError& error) { die(kFailed, read_error_line(error)); }

void print_read_error(std::FILE* to, const sample_input::ReadError& error) {
  std::fputs((read_error_line(error) + "\n").c_str(), to);
}

void warn(const std::string& text) {
  std::fputs((prefix() + "warning: " + text + "\n").c_str(), stderr);
}

void flush(std::FILE* stream, const char* path) {
  errno = 0;
  if (std::fflush(stream) != 0 || std::ferror(stream)) flush_failed(path);
}

void close(std::FILE* stream, const char* path) {
  flush(stream, path);
  errno = 0;
  if (std::fclose(stream) != 0) flush_failed(path);
}

int finish() {
  close(stdout, "-");
  return 0;
}

void remove_on_failure(const char* path) {
  // Every signal whose default action ends the process: Ctrl-C and Ctrl-\, a
  // batch scheduler's timeout (SIGTERM, SIGUSR1, SIGALRM), a CPU-time limit
  // (SIGXCPU), a crash. Only those left at their default are caught: one the
  // shell ignores (a job started in the background) stays ignored, and a
  // handler someone else installed stays theirs.
  static const int kEnding[] = {
      SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
      SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef __linux__
      SIGSTKFLT, SIGIO,   SIGPWR,  // elsewhere SIGIO is ignored by default
#endif
  };
  static struct sigaction before[NSIG];
  static bool caught[NSIG];
  const auto each = [&](int signal) {
    if (path != nullptr && partial_file == nullptr) {
      struct sigaction clean {};
      clean.sa_handler = on_signal;
      caught[signal] = sigaction(signal, nullptr, &before[signal]) == 0 &&
                       before[signal].sa_handler == SIG_DFL &&
                       sigaction(signal, &clean, nullptr) == 0;
    } else if (path == nullptr && partial_file != nullptr && caught[signal]) {
      sigaction(signal, &before[signal], nullptr);
      caught[signal] = false;
    }
  };
  for (const int signal : kEnding) each(signal);
#ifdef SIGRTMIN
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) each(signal);
#endif
  partial_file = path;
}

}  // namespace program
