#include "tools/output_file.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "tools/program.hpp"

namespace output_file {

namespace {

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

  if (exists) {
    char resolved[PATH_MAX];  // a symlink is followed: the file it leads to is replaced
    if (::realpath(path, resolved) == nullptr) program::file_failed(path, errno);
    if (::access(resolved, W_OK) != 0) program::file_failed(path, errno);
    file.target = resolved;
  } else {
    file.target = path;
  }
  file.temporary = directory_of(file.target) + "/.varnoth-XXXXXX";
  const int fd = ::mkstemp(file.temporary.data());
  if (fd < 0) program::file_failed(path, errno);
  program::remove_on_failure(file.temporary.c_str());
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
  // On disk before it takes the old file's name, so that a crash cannot
  // leave an empty file where the old one was.
  if (!file.temporary.empty() && ::fsync(fileno(file.stream)) != 0) {
    program::file_failed(file.path, errno);
  }
  program::close(file.stream, file.path);
  if (file.temporary.empty()) return;
  if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
    program::file_failed(file.path, errno);
  }
  program::remove_on_failure(nullptr);
}

}  // namespace output_file
