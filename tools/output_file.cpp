#include "tools/output_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#if __has_include(<sys/xattr.h>)
#include <sys/xattr.h>
#endif

#include <algorithm>
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

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether the link at name, whose owner link gives, may be followed by the
// kernel's rule for protected symlinks: in a sticky directory anyone may
// write to, such as /tmp, only a link of the follower's own or of the
// directory's owner. Otherwise another user's link there could make varnoth
// replace a file of the user's anywhere. Applied to the links varnoth
// follows itself, those that name the file, whatever the system's setting
// says, as the shell's > has it under the usual one; links among the
// directories on the way are the kernel's to follow.
bool may_follow(const std::string& name, const struct stat& link) {
  struct stat where {};
  if (::stat(directory_of(name).c_str(), &where) != 0) return false;
  const mode_t open_sticky = S_ISVTX | S_IWOTH;
  return (where.st_mode & open_sticky) != open_sticky || link.st_uid == ::geteuid() ||
         link.st_uid == where.st_uid;
}

// The name the distribution takes: path, or where its symlinks lead, the last
// one too when it dangles, so that a link stays a link and the file it names
// is created, as the shell's > does. The run ends on a loop of links, on a
// link that may not be followed (naming it), or on a path that cannot be
// looked up.
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
    if (!may_follow(name, st)) program::file_failed(name.c_str(), EACCES);
    char to[PATH_MAX];
    const ssize_t length = ::readlink(name.c_str(), to, sizeof to - 1);
    if (length < 0) program::file_failed(path, errno);
    to[length] = '\0';
    name = to[0] == '/' ? std::string(to) : directory_of(name) + "/" + to;
  }
}

// Whether chattr has made the file or directory at name append-only or
// immutable, read by statx, which needs no permission on the file itself.
// An append-only or immutable file cannot be replaced, nor anything made in
// an immutable directory; an append-only directory takes new names but
// gives none up, so nothing may be renamed there.
struct Attributes {
  bool append_only = false;
  bool immutable = false;
};

Attributes attributes_of(const std::string& name) {
  Attributes found;
#ifdef STATX_ATTR_APPEND
  struct statx st {};
  if (::statx(AT_FDCWD, name.c_str(), 0, STATX_BASIC_STATS, &st) == 0) {
    found.append_only = (st.stx_attributes & STATX_ATTR_APPEND) != 0;
    found.immutable = (st.stx_attributes & STATX_ATTR_IMMUTABLE) != 0;
  }
#else
  (void)name;
#endif
  return found;
}

// What a new file gets from the shell's >: 0666 less the umask.
mode_t new_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

#if __has_include(<sys/xattr.h>)
// The old file's user attributes, those the user may read, and its access
// ACL where acl is true, on the new file (as cp -a and sed -i keep them),
// and no ACL of the directory's default, which may grant more than the old
// file did. Before the mode, which may take the owner's write that setting
// them needs. The mode to set: mode, or without the group's bits, where an
// ACL could not be kept, since the old file's group bits were its mask, the
// most any named user or group had.
mode_t keep_extended(const std::string& old, int fd, mode_t mode, bool acl) {
  static const std::string kAcl = "system.posix_acl_access";
  std::string names(
      static_cast<std::size_t>(std::max<ssize_t>(::listxattr(old.c_str(), nullptr, 0), 0)), '\0');
  names.resize(static_cast<std::size_t>(
      std::max<ssize_t>(::listxattr(old.c_str(), names.data(), names.size()), 0)));
  bool acl_kept = false;
  for (std::size_t at = 0; at < names.size();) {
    const std::string name = names.c_str() + at;
    at += name.size() + 1;
    if ((name != kAcl || !acl) && name.rfind("user.", 0) != 0) continue;
    std::string value(static_cast<std::size_t>(
                          std::max<ssize_t>(::getxattr(old.c_str(), name.c_str(), nullptr, 0), 0)),
                      '\0');
    const ssize_t size = ::getxattr(old.c_str(), name.c_str(), value.data(), value.size());
    const bool kept = size >= 0 && ::fsetxattr(fd, name.c_str(), value.data(),
                                               static_cast<std::size_t>(size), 0) == 0;
    if (name == kAcl) {
      acl_kept = kept;
      if (!kept) mode &= ~static_cast<mode_t>(S_IRWXG);
    }
  }
  if (!acl_kept) ::fremovexattr(fd, kAcl.c_str());  // the directory's default, where it has one
  return mode;
}
#endif

// The old file's owner, group, mode, ACL and user attributes on the new one,
// as the old file has them now. Owner and group where the user may set them
// (root any owner, others a group they belong to); where not, the new file
// grants no one what the old did not: a set-ID bit of an owner or group not
// kept is dropped, no ACL is kept (its entries were the old owner's and
// group's to have), and the group and everyone else, whom the old file's
// group and others now stand for, get what both had. The mode last, after
// the last write (a write by anyone but root clears the set-ID bits), after
// the owner (a change of owner clears them too) and after the ACL.
void keep_metadata(const OutputFile& file, const struct stat& old, int fd) {
  struct stat made {};
  if (::fstat(fd, &made) == 0 && (made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
      ::fchown(fd, old.st_uid, old.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // Not allowed: the new file belongs to the user who made it, in their group.
  }
  const bool known = ::fstat(fd, &made) == 0;
  const bool same_owner = known && made.st_uid == old.st_uid;
  const bool same_group = known && made.st_gid == old.st_gid;
  mode_t mode = old.st_mode & 07777;
  if (!same_owner) mode &= ~static_cast<mode_t>(S_ISUID);
  if (!same_group) {
    const mode_t both = (mode >> 3 & mode) & S_IRWXO;
    mode = (mode & ~static_cast<mode_t>(S_ISGID | S_IRWXG | S_IRWXO)) | both << 3 | both;
  }
#if __has_include(<sys/xattr.h>)
  mode = keep_extended(file.target, fd, mode, same_owner && same_group);
#endif
  if (::fchmod(fd, mode) != 0) program::file_failed(file.path, errno);
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
// reach it by). mode as open(2) takes it, the umask or the directory's
// default ACL applied.
int unnamed_file(const std::string& directory, mode_t mode) {
#ifdef O_TMPFILE
  const int fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (fd >= 0 && ::access(fd_link(fd).c_str(), F_OK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
#else
  (void)directory;
  (void)mode;
  return -1;
#endif
}

// Gives a file a hidden name of its own in directory, .varnoth-XXXXXX:
// make(name) tries one, false with errno EEXIST where the name is taken.
// False with errno set when no name can be had.
template <class Make>
bool hidden_name(const std::string& directory, std::string& name, Make make) {
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
    if (make(name)) return true;
    if (errno != EEXIST) return false;
  }
  return false;
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
  // Only a file or a disk loses its data: a terminal or a FIFO may be read
  // and written at once.
  if (exists && (S_ISREG(old.st_mode) || S_ISBLK(old.st_mode)) &&
      input_identity(input_path, other) && same_file(old, other)) {
    program::file_failed(path, "is the sample file; the distribution would overwrite it",
                         program::kUsage);
  }
  // The links varnoth follows itself may be followed: wherever they lead,
  // to standard output's file, a FIFO or a device too.
  file.target = final_name(path);
  if (exists && ::fstat(STDOUT_FILENO, &other) == 0 && same_file(old, other)) {
    file.target.clear();
    file.path = "-";  // /dev/stdout, or the file standard output goes to: the lines follow the mean
    file.stream = stdout;
    return file;
  }

  // Everything that could stop the complete file from taking its place is
  // checked now, before the samples are read, and the message names what is
  // at fault: the file, or the directory it goes in. A FIFO or a device is
  // written as it is.
  if (exists && !S_ISREG(old.st_mode)) {
    file.target.clear();
    file.stream = std::fopen(path, "w");
    if (file.stream == nullptr) program::file_failed(path, errno);
    return file;
  }
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
    const Attributes held = attributes_of(file.target);
    if (held.append_only || held.immutable) program::file_failed(path, EPERM);
  }
  const Attributes held = attributes_of(directory);
  if (held.immutable || (held.append_only && exists)) {
    program::file_failed(directory.c_str(), EPERM);
  }
  file.keeps_names = held.append_only;
  file.private_mode = exists;

  // A new file is made as the shell's > makes it, with the umask or the
  // directory's default ACL; one that replaces another takes that one's
  // mode and ACL once it is complete, and is the user's alone till then.
  const mode_t mode = exists ? 0600 : 0666;
  int fd = unnamed_file(directory, mode);
  if (fd < 0) {
    // A named file instead, removed by every way the run can end but
    // SIGKILL; it never exists without the handlers that remove it, nor
    // where it could not be removed.
    if (file.keeps_names) program::file_failed(directory.c_str(), EPERM);
    const SignalsHeld held_back;
    if (!hidden_name(directory, file.temporary, [&](const std::string& name) {
          fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
          return fd >= 0;
        })) {
      program::file_failed(directory.c_str(), errno);
    }
    program::remove_on_failure(file.temporary.c_str());
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
  // Standard output first: once the new file is in place, nothing may fail.
  program::close_stdout();
  const int fd = fileno(file.stream);
  // The old file as it is now, not as it was: its mode may have changed,
  // and it may be gone, or be a link that was not there (whose file is no
  // old file of the user's).
  struct stat old {};
  bool replaces = ::lstat(file.target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  if (replaces) {
    keep_metadata(file, old, fd);
  } else if (file.private_mode && ::fchmod(fd, new_file_mode()) != 0) {
    program::file_failed(file.path, errno);
  }
  // On disk before it takes the old file's name, so that a crash cannot
  // leave an empty file where the old one was.
  if (::fsync(fd) != 0) program::file_failed(file.path, errno);
  // From here on signals wait, and wait for good: until the file is in
  // place, so that only SIGKILL, in the span of two calls, could leave a
  // name behind; after that, so that a signal cannot make a run whose file
  // has replaced the old one end as if it had failed.
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, nullptr);
#ifdef O_TMPFILE
  if (file.temporary.empty()) {
    const std::string link = fd_link(fd);
    const auto name_it = [&](const std::string& name) {
      return ::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    };
    // A new file takes its name at once, with nothing to rename.
    if (!replaces) {
      if (name_it(file.target)) {
        program::remove_on_failure(file.target.c_str());
        program::close(file.stream, file.path);
        program::remove_on_failure(nullptr);
        return;
      }
      // One made in the meantime is replaced as any other, where a name can
      // be given and taken back.
      if (errno != EEXIST || file.keeps_names) program::file_failed(file.path, errno);
      if (::lstat(file.target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        keep_metadata(file, old, fd);
      }
    }
    const std::string directory = directory_of(file.target);
    if (!hidden_name(directory, file.temporary, name_it)) {
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
