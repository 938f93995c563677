#include "helpers.hpp"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace testing_helpers {

ScratchDir::ScratchDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/nf-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string ScratchDir::write(const std::string& name, const std::string& content) const {
  std::string file = path(name);
  std::ofstream(file, std::ios::binary) << content;
  return file;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

namespace {

void redirect_or_die(const std::string& path, int flags, int target) {
  const int fd = open(path.c_str(), flags, 0644);
  if (fd < 0 || dup2(fd, target) < 0) _exit(127);
  close(fd);
}

// In the child: a mount namespace of its own in which the process cannot
// reach its open files through /proc/self/fd, as where /proc is not mounted
// (a chroot, a container): an empty file system lies over that directory.
// The rest of /proc stays, which sanitizers need.
bool hide_fd_links() {
  const std::string fd_dir = "/proc/" + std::to_string(getpid()) + "/fd";
  return unshare(CLONE_NEWNS) == 0 &&
         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("none", fd_dir.c_str(), "tmpfs", MS_RDONLY, nullptr) == 0;
}

// The ids a run as another user takes, looked up before the fork.
struct Identity {
  bool switches = false;
  uid_t uid = 0;
  std::vector<gid_t> groups;  // the user's own first
};

Identity identity_of(const Redirect& redirect) {
  Identity id;
  if (redirect.user.empty() || redirect.user == "root") return id;
  const passwd* user = getpwnam(redirect.user.c_str());
  if (user == nullptr) throw std::runtime_error("no user " + redirect.user);
  id.switches = true;
  id.uid = user->pw_uid;
  id.groups.push_back(user->pw_gid);
  for (const std::string& name : redirect.groups) {
    const group* g = getgrnam(name.c_str());
    if (g == nullptr) throw std::runtime_error("no group " + name);
    id.groups.push_back(g->gr_gid);
  }
  return id;
}

// Whether pid runs binary and sleeps reading a pipe, as the program does once
// its output is open and it reads standard input.
bool waits_on_pipe(pid_t pid, const std::string& binary) {
  const std::string proc = "/proc/" + std::to_string(pid);
  struct stat want {};
  struct stat runs {};
  return stat(binary.c_str(), &want) == 0 && stat((proc + "/exe").c_str(), &runs) == 0 &&
         want.st_dev == runs.st_dev && want.st_ino == runs.st_ino &&
         read_file(proc + "/wchan").find("pipe_read") != std::string::npos;
}

}  // namespace

bool can_switch_user() { return geteuid() == 0 && getpwnam("nobody") != nullptr; }

namespace {

// Where a program runs from as another user: a copy in a directory of its
// own under TMPDIR that anyone may enter, made once, removed at the end.
class SharedCopies {
 public:
  std::string of(const std::string& program) {
    if (dir_.empty()) {
      const char* tmp = std::getenv("TMPDIR");
      std::string pattern =
          std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/nf-bin-XXXXXX";
      if (mkdtemp(pattern.data()) == nullptr || chmod(pattern.c_str(), 0755) != 0) {
        throw std::runtime_error("mkdtemp failed");
      }
      dir_ = pattern;
    }
    std::string copy = dir_ + "/" + program;
    if (!exists(copy)) {
      std::filesystem::copy_file(program_path(program), copy);
      chmod(copy.c_str(), 0755);
    }
    return copy;
  }
  ~SharedCopies() {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

 private:
  std::string dir_;
};

SharedCopies shared_copies;

}  // namespace

bool can_run_as(const std::string& user) {
  static std::map<std::string, bool> answers;
  const auto known = answers.find(user);
  if (known != answers.end()) return known->second;
  bool can = can_switch_user();
  if (can) {
    // A scratch directory such as the cases use, opened to others as they open it.
    ScratchDir dir;
    const std::string samples = dir.write("samples", "1\n");
    can = chmod(dir.root().c_str(), 0755) == 0 &&
          run("quellimar", {samples}, Redirect::as(user)).status == 0;
  }
  return answers[user] = can;
}

bool can_hide_fd_links() {
  if (geteuid() != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) _exit(hide_fd_links() ? 0 : 1);
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

std::string program_path(const std::string& program) {
  return std::string(NETFIGURES_PROGRAM_DIR) + "/" + program;
}

Outcome run(const std::string& program, const std::vector<std::string>& args,
            const Redirect& redirect) {
  ScratchDir scratch;
  const std::string out_path = scratch.path("stdout");
  const std::string err_path = scratch.path("stderr");
  const Identity id = identity_of(redirect);
  const std::string binary = id.switches ? shared_copies.of(program) : program_path(program);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // Standard input that ends only when told, for a signal or a change mid-run.
  const bool holds_input = redirect.signal != 0 || !redirect.meanwhile.empty();
  int held_open[2] = {-1, -1};
  if (holds_input && pipe(held_open) != 0) throw std::runtime_error("pipe failed");

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (holds_input) {
      if (dup2(held_open[0], 0) < 0) _exit(127);
      close(held_open[0]);
      close(held_open[1]);
      if (redirect.signal != 0) signal(redirect.signal, SIG_DFL);  // as a scheduler finds it
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
    } else {
      redirect_or_die(redirect.stdin_path.empty() ? "/dev/null" : redirect.stdin_path, O_RDONLY, 0);
    }
    const rlimit no_core{0, 0};  // a signal that dumps core leaves no core file behind
    setrlimit(RLIMIT_CORE, &no_core);
    redirect_or_die(err_path, O_WRONLY | O_CREAT | O_TRUNC, 2);
    switch (redirect.stdout_kind) {
      case Redirect::Stdout::kCaptured:
        redirect_or_die(out_path, O_WRONLY | O_CREAT | O_TRUNC, 1);
        break;
      case Redirect::Stdout::kFile:
        redirect_or_die(redirect.stdout_path, O_WRONLY | O_CREAT | O_TRUNC, 1);
        break;
      case Redirect::Stdout::kClosed:
        close(1);
        break;
      case Redirect::Stdout::kBrokenPipe: {
        int ends[2];
        if (pipe(ends) != 0 || dup2(ends[1], 1) < 0) _exit(127);
        close(ends[0]);
        close(ends[1]);
        signal(SIGPIPE, SIG_DFL);  // as a shell leaves it; the program must cope
        break;
      }
    }
    if (redirect.file_size_limit > 0) {
      const rlimit limit{static_cast<rlim_t>(redirect.file_size_limit),
                         static_cast<rlim_t>(redirect.file_size_limit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
      signal(SIGXFSZ, SIG_DFL);  // as a shell leaves it; the program must cope
    }
    if (redirect.closed >= 0) close(redirect.closed);
    if (!redirect.directory.empty() && chdir(redirect.directory.c_str()) != 0) _exit(127);
    if (redirect.without_fd_links && !hide_fd_links()) _exit(127);
    if (id.switches && (setgroups(id.groups.size(), id.groups.data()) != 0 ||
                        setgid(id.groups.front()) != 0 || setuid(id.uid) != 0)) {
      _exit(127);
    }
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  if (holds_input) {
    close(held_open[0]);
    int waited = 0;
    for (; waited < 2000 && !waits_on_pipe(pid, binary); ++waited) usleep(10000);
    if (waited == 2000) ADD_FAILURE() << program << " never waited on standard input";
    if (redirect.signal != 0) {
      kill(pid, redirect.signal);
    } else {
      EXPECT_EQ(std::system(redirect.meanwhile.c_str()), 0) << redirect.meanwhile;
      EXPECT_EQ(write(held_open[1], "0.5\n", 4), 4);
    }
    close(held_open[1]);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  outcome.out = read_file(out_path);
  outcome.err = read_file(err_path);
  return outcome;
}

std::string placed(std::string text, const std::string& root) {
  for (std::size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += root.size()) {
    text.replace(at, 1, root);
  }
  return text;
}

void check(const std::string& program, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(program + ": " + c.name);
    ScratchDir dir;
    const auto place = [&](const std::string& text) { return placed(text, dir.root()); };
    for (const auto& [name, content] : c.files) dir.write(name, content);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(place(arg));
    Redirect redirect;
    redirect.directory = dir.root();
    const Outcome o = run(program, args, redirect);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.out, place(c.out));
    EXPECT_EQ(o.err, place(c.err));
  }
}

std::string shell_output(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("popen failed: " + command);
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
  pclose(pipe);
  return text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace testing_helpers
