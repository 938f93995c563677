#include "tools/output_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "tools/program.hpp"

namespace output_file {

namespace {

constexpr int kMaxLinks = 40;  // symlinks followed before the path is a loop, as the kernel counts

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The input as the reader will open it, if it can be found at all (if not,
// the reader says why).
bool input_identity(const char* input_path, struct stat& input) {
  return std::strcmp(input_path, "-") == 0 ? ::fstat(STDIN_FILENO, &input) == 0
                                           : ::stat(input_path, &input) == 0;
}

// What a new file gets from fopen: 0666 less the umask.
mode_t new_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The name the distribution takes: path, or where its symlinks lead, the last
// one too when it dangles, so that a link stays a link and the file it names
// is created, as the shell's > does. The run ends on a loop of links or on a
// path that cannot be looked up.
std::string final_name(const char* path) {
  std::string name = path;
  for (int links = 0;; ++links) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) {
      if (errno == ENOENT) return name;  // created there, if its directory exists
      program::file_failed(path, errno);
    }
    if (!S_ISLNK(st.st_mode)) return name;
    if (links == kMaxLinks) program::file_failed(path, ELOOP);
    char to[PATH_MAX];
    const ssize_t length = ::readlink(name.c_str(), to, sizeof to - 1);
    if (length < 0) program::file_failed(path, errno);
    to[length] = '\0';
    name = to[0] == '/' ? std::string(to) : directory_of(name) + "/" + to;
  }
}

// Holds back every signal that can be held while a file is given a name and
// loses it again, so that no signal finds the name without the means to
// remove it.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t before_{};
};

#ifdef O_TMPFILE
// The unnamed file at fd, reached through /proc.
std::string fd_link(int fd) { return "/proc/self/fd/" + std::to_string(fd); }
#endif

// A file without a name in directory, or -1 where the system or the file
// system makes none, or it could not be given a name later (no /proc to
// reach it by).
int unnamed_file(const std::string& directory) {
#ifdef O_TMPFILE
  const int fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0 && ::access(fd_link(fd).c_str(), F_OK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
#else
  (void)directory;
  return -1;
#endif
}

#ifdef O_TMPFILE
// Gives the unnamed file at fd a hidden name of its own in directory; false
// with errno set when it cannot.
bool name_unnamed(int fd, const std::string& directory, std::string& name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::uint64_t state = static_cast<std::uint64_t>(now.tv_nsec) ^
                        static_cast<std::uint64_t>(now.tv_sec) ^
                        static_cast<std::uint64_t>(::getpid()) << 32;
  for (int attempt = 0; attempt < 100; ++attempt) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    std::string suffix(6, ' ');
    for (int i = 0; i < 6; ++i) suffix[i] = kLetters[(state >> (16 + 6 * i)) % 62];
    name = directory + "/.varnoth-" + suffix;
    if (::linkat(AT_FDCWD, fd_link(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}
#endif

}  // namespace

OutputFile open(const char* path, const char* input_path) {
  OutputFile file;
  file.path = path;
  if (std::strcmp(path, "-") == 0) {
    file.stream = stdout;
    return file;
  }
  struct stat old {};
  const bool exists = ::stat(path, &old) == 0;
  if (!exists && errno != ENOENT) program::file_failed(path, errno);
  struct stat other {};
  if (exists && input_identity(input_path, other) && same_file(old, other)) {
    program::file_failed(path, "is the sample file; the distribution would overwrite it",
                         program::kUsage);
  }
  if (exists && ::fstat(STDOUT_FILENO, &other) == 0 && same_file(old, other)) {
    file.path = "-";  // /dev/stdout, or the file standard output goes to: the lines follow the mean
    file.stream = stdout;
    return file;
  }
  if (exists && !S_ISREG(old.st_mode)) {  // a FIFO, a device, a directory: as it is
    file.stream = std::fopen(path, "w");
    if (file.stream == nullptr) program::file_failed(path, errno);
    return file;
  }

  // Everything that could stop the complete file from taking its place is
  // checked now, before the samples are read, and the message names what is
  // at fault: the file, or the directory it goes in.
  file.target = final_name(path);
  if (file.target.empty()) program::file_failed(path, ENOENT);
  if (file.target.back() == '/') program::file_failed(path, EISDIR);  // a directory's name
  const std::string directory = directory_of(file.target);
  struct stat where {};
  if (::stat(directory.c_str(), &where) != 0) program::file_failed(path, errno);
  if (exists) {
    // An existing file that may not be written is not replaced either.
    if (::access(file.target.c_str(), W_OK) != 0) program::file_failed(path, errno);
    // In a sticky directory such as /tmp, a file may be replaced only by its
    // owner, the directory's, or root.
    const uid_t self = ::geteuid();
    if ((where.st_mode & S_ISVTX) != 0 && self != 0 && old.st_uid != self && where.st_uid != self) {
      program::file_failed(path, EPERM);
    }
  }

  int fd = unnamed_file(directory);
  if (fd < 0) {
    // A named temporary file instead, removed by every way the run can end
    // but SIGKILL; it never exists without the handlers that remove it.
    const SignalsHeld held;
    file.temporary = directory + "/.varnoth-XXXXXX";
    fd = ::mkstemp(file.temporary.data());
    if (fd < 0) program::file_failed(directory.c_str(), errno);
    program::remove_on_failure(file.temporary.c_str());
  }
  // Owner and group as they were, where the user may set them (root any,
  // others a group they belong to); then the mode, since a change of owner
  // clears the set-user-ID bit.
  struct stat made {};
  if (exists && ::fstat(fd, &made) == 0 &&
      (made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
      ::fchown(fd, old.st_uid, old.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // Not allowed: the new file belongs to the user who made it.
  }
  if (::fchmod(fd, exists ? old.st_mode & 07777 : new_file_mode()) != 0) {
    program::file_failed(path, errno);
  }
  file.stream = ::fdopen(fd, "w");
  if (file.stream == nullptr) program::file_failed(path, errno);
  return file;
}

void commit(OutputFile& file) {
  if (file.stream == stdout) {  // closed last, by program::finish
    program::flush(stdout, "-");
    return;
  }
  program::flush(file.stream, file.path);
  if (file.target.empty()) {
    program::close(file.stream, file.path);
    return;
  }
  // On disk before it takes the old file's name, so that a crash cannot
  // leave an empty file where the old one was.
  if (::fsync(fileno(file.stream)) != 0) program::file_failed(file.path, errno);
  // From here until the rename, the file has a name: signals wait, so that
  // only SIGKILL, in the span of the two calls, could leave it behind.
  const SignalsHeld held;
#ifdef O_TMPFILE
  if (file.temporary.empty()) {
    const std::string directory = directory_of(file.target);
    if (!name_unnamed(fileno(file.stream), directory, file.temporary)) {
      program::file_failed(directory.c_str(), errno);
    }
    program::remove_on_failure(file.temporary.c_str());
  }
#endif
  program::close(file.stream, file.path);
  if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
    program::file_failed(file.path, errno);
  }
  program::remove_on_failure(nullptr);
}

}  // namespace output_file
