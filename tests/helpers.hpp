// Test helpers: scratch directories and running the built programs the way a
// script does, with their stdout, stderr and exit status captured.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testing_helpers {

// A fresh directory under TMPDIR, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& root() const { return root_; }
  std::string path(const std::string& name) const { return root_ + "/" + name; }
  // Writes content (any bytes) to the named file and returns its path.
  std::string write(const std::string& name, const std::string& content) const;

 private:
  std::string root_;
};

std::string read_file(const std::string& path);
bool exists(const std::string& path);

struct Outcome {
  int status = -1;  // the exit status, or 128 + the signal that ended the run
  std::string out;
  std::string err;
};

struct Redirect {
  enum class Stdout { kCaptured, kFile, kClosed, kBrokenPipe };
  Stdout stdout_kind = Stdout::kCaptured;
  std::string stdout_path;   // for kFile
  std::string stdin_path;    // empty: /dev/null
  std::string directory;     // where it runs; empty: where the test runs
  long file_size_limit = 0;  // bytes, as `ulimit -f` sets it; 0: none
  // Run as this user, in these groups besides its own. Root alone can switch:
  // a case that names a user (or "root", to stay root) is skipped otherwise.
  std::string user;
  std::vector<std::string> groups;
  // Standard input is a pipe kept open and empty; once the program waits on
  // it, this signal is sent to it.
  int signal = 0;
  // Or this shell command is run, and then standard input gets "0.5\n" and ends.
  std::string meanwhile;
  // This descriptor (0 or 2; 1 is stdout_closed) is closed when the program starts.
  int closed = -1;
  // Run where the program cannot reach its open files through /proc/self/fd,
  // as where /proc is not mounted (a private mount namespace; needs root).
  bool without_fd_links = false;

  static Redirect stdout_to(const std::string& path) {
    Redirect r;
    r.stdout_kind = Stdout::kFile;
    r.stdout_path = path;
    return r;
  }
  static Redirect stdout_closed() {
    Redirect r;
    r.stdout_kind = Stdout::kClosed;
    return r;
  }
  // A pipe whose reader has gone, as after `| head -0`.
  static Redirect stdout_broken_pipe() {
    Redirect r;
    r.stdout_kind = Stdout::kBrokenPipe;
    return r;
  }
  static Redirect descriptor_closed(int fd) {
    Redirect r;
    r.closed = fd;
    return r;
  }
  static Redirect stdin_from(const std::string& path) {
    Redirect r;
    r.stdin_path = path;
    return r;
  }
  // Writes past this many bytes fail with EFBIG (and raise SIGXFSZ).
  static Redirect file_size_limit_of(long bytes) {
    Redirect r;
    r.file_size_limit = bytes;
    return r;
  }
  static Redirect as(const std::string& user, const std::vector<std::string>& groups = {}) {
    Redirect r;
    r.user = user;
    r.groups = groups;
    return r;
  }
  static Redirect no_fd_links() {
    Redirect r;
    r.user = "root";
    r.without_fd_links = true;
    return r;
  }
  static Redirect meanwhile_doing(const std::string& command) {
    Redirect r;
    r.meanwhile = command;
    return r;
  }
  static Redirect killed_by(int signal, bool without_fd_links = false) {
    Redirect r = without_fd_links ? no_fd_links() : Redirect{};
    r.signal = signal;
    return r;
  }
};

// Whether cases that run as another user or without /proc/self/fd can run here.
bool can_switch_user();
// Whether the user can run the programs and reach scratch directories: root
// is needed, and a way for the user through TMPDIR (a clone in a directory
// of mode 0700 is none; the programs run as other users are copies, so the
// build itself need not be reachable).
bool can_run_as(const std::string& user);
bool can_hide_fd_links();

// Where the build put the named program.
std::string program_path(const std::string& program);

// Runs the named program from the build's program directory.
Outcome run(const std::string& program, const std::vector<std::string>& args,
            const Redirect& redirect = {});

// One run of a program and all it must show: status, stdout and stderr, each
// exactly. The case runs in a scratch directory of its own, so a file may be
// named from there ("./-x"), and "@" in args, out and err stands for it, so
// messages that name a file can be written out in full.
struct Case {
  std::string name;
  std::vector<std::pair<std::string, std::string>> files;  // written there first
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

// text with every "@" replaced by root.
std::string placed(std::string text, const std::string& root);

// Runs each case in a fresh scratch directory and checks it.
void check(const std::string& program, const std::vector<Case>& cases);

// What a shell command prints on stdout.
std::string shell_output(const std::string& command);

// The lines of a text, without their newlines.
std::vector<std::string> lines_of(const std::string& text);

}  // namespace testing_helpers
