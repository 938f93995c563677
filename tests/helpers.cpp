#include "helpers.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

}  // namespace

Outcome run(const std::string& program, const std::vector<std::string>& args,
            const Redirect& redirect) {
  ScratchDir scratch;
  const std::string out_path = scratch.path("stdout");
  const std::string err_path = scratch.path("stderr");
  const std::string binary = std::string(NETFIGURES_PROGRAM_DIR) + "/" + program;
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    redirect_or_die(redirect.stdin_path.empty() ? "/dev/null" : redirect.stdin_path, O_RDONLY, 0);
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
    execv(binary.c_str(), argv.data());
    _exit(127);
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
    const Outcome o = run(program, args);
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
