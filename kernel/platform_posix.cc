// The operating system calls of the plug-ins on POSIX systems.
#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/limits.h>
#include <sys/syscall.h>
#endif

namespace platform {
namespace {

// The configuration names Windows paths; here every backslash is a
// separator and a leading drive letter names the one file system. A NUL
// would cut the name short and so name another file: no such path maps.
bool MapPath(const std::string& path, std::string* mapped) {
  if (path.find('\0') != std::string::npos) return false;
  *mapped = path;
  if (mapped->size() >= 2 && (*mapped)[1] == ':' &&
      (((*mapped)[0] >= 'A' && (*mapped)[0] <= 'Z') ||
       ((*mapped)[0] >= 'a' && (*mapped)[0] <= 'z')))
    mapped->erase(0, 2);
  for (char& c : *mapped)
    if (c == '\\') c = '/';
  return true;
}

// 0 for a call that succeeded, its errno otherwise.
int ResultOf(int result) { return result == 0 ? 0 : errno; }

int OpenFd(const std::string& path, int flags, mode_t mode, int* fd) {
  std::string mapped;
  if (!MapPath(path, &mapped)) return EINVAL;
  do {
    *fd = ::open(mapped.c_str(), flags | O_CLOEXEC, mode);
  } while (*fd < 0 && errno == EINTR);
  return *fd < 0 ? errno : 0;
}

void Describe(const struct stat& st, FileInfo* info) {
  info->device = static_cast<std::uint64_t>(st.st_dev);
  info->file = static_cast<std::uint64_t>(st.st_ino);
  info->links = static_cast<std::uint32_t>(st.st_nlink);
  info->mode = static_cast<std::uint32_t>(st.st_mode & 07777);
  info->owner = static_cast<std::uint32_t>(st.st_uid);
  info->group = static_cast<std::uint32_t>(st.st_gid);
}

std::string DirectoryOf(const std::string& mapped) {
  std::size_t slash = mapped.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return mapped.substr(0, slash);
}

#if defined(__linux__) && defined(SYS_renameat2)
constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE
#endif

}  // namespace

int OpenRead(const std::string& path, Handle* handle) {
  *handle = kNoHandle;
  // Without O_NONBLOCK the open of a FIFO would wait for a writer for ever.
  int fd;
  if (int error = OpenFd(path, O_RDONLY | O_NONBLOCK, 0, &fd)) return error;
  struct stat st;
  int error = ::fstat(fd, &st) == 0 ? 0 : errno;
  if (error == 0 && !S_ISREG(st.st_mode))
    error = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
  if (error == 0 && ::fcntl(fd, F_SETFL, 0) != 0) error = errno;
  if (error != 0) {
    ::close(fd);
    return error;
  }
  *handle = fd;
  return 0;
}

int OpenWrite(const std::string& path, Handle* handle) {
  *handle = kNoHandle;
  int fd;
  if (int error = OpenFd(path, O_WRONLY | O_CREAT | O_TRUNC, 0666, &fd))
    return error;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  *handle = fd;
  return 0;
}

int CreateExclusive(const std::string& path, Handle* handle) {
  *handle = kNoHandle;
  int fd;
  if (int error = OpenFd(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW,
                         0600, &fd))
    return error;
  *handle = fd;
  return 0;
}

int KeepOwnerAndMode(Handle handle, const FileInfo& like) {
  int fd = static_cast<int>(handle);
  // The owner comes first: a change of owner clears the set-id bits that
  // the mode then sets.
  if (::fchown(fd, like.owner, like.group) != 0) return errno;
  return ResultOf(::fchmod(fd, static_cast<mode_t>(like.mode)));
}

int Inspect(Handle handle, FileInfo* info) {
  struct stat st;
  if (::fstat(static_cast<int>(handle), &st) != 0) return errno;
  Describe(st, info);
  return 0;
}

int InspectPath(const std::string& path, FileInfo* info) {
  std::string mapped;
  if (!MapPath(path, &mapped)) return EINVAL;
  struct stat st;
  if (::lstat(mapped.c_str(), &st) != 0) return errno;
  Describe(st, info);
  return 0;
}

int ResolveLinks(const std::string& path, std::string* target) {
  std::string mapped;
  if (!MapPath(path, &mapped)) return EINVAL;
  struct stat st;
  if (::lstat(mapped.c_str(), &st) != 0) return errno;
  if (!S_ISLNK(st.st_mode)) {
    *target = path;
    return 0;
  }
  char* resolved = ::realpath(mapped.c_str(), nullptr);
  if (resolved == nullptr) return errno;
  *target = resolved;
  std::free(resolved);
  return 0;
}

int CheckWritable(const std::string& path) {
  std::string mapped;
  if (!MapPath(path, &mapped)) return EINVAL;
  struct stat st;
  if (::stat(mapped.c_str(), &st) != 0) return errno;
  // Root may write any file, but a file that nobody may write is one its
  // owner meant to stay as it is.
  if ((st.st_mode & 0222) == 0) return EACCES;
  return ResultOf(::access(mapped.c_str(), W_OK));
}

int LockDirectoryOf(const std::string& path, int seconds, Handle* lock) {
  *lock = kNoHandle;
  std::string mapped;
  if (!MapPath(path, &mapped)) return EINVAL;
  // The directory outlives every replace inside it, and flock on it needs
  // no file of its own that could be planted, left behind or unreadable.
  int fd;
  do {
    fd = ::open(DirectoryOf(mapped).c_str(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  struct timespec start;
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      *lock = fd;
      return 0;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      int error = errno;
      ::close(fd);
      return error;
    }
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long waitedMs = (now.tv_sec - start.tv_sec) * 1000LL +
                               (now.tv_nsec - start.tv_nsec) / 1000000;
    if (waitedMs >= seconds * 1000LL) {
      ::close(fd);
      return LockBusyError();
    }
    struct timespec pause = {0, 20 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
}

int Unlock(Handle lock) { return Close(lock); }

int LockBusyError() { return EWOULDBLOCK; }

bool KeepsLfLineEnds() { return true; }

void PrepareProcess() {
  // A console that closes early (a pipe into head or less) must fail the
  // next write, so that the run ends by its own rules and not half way.
  std::signal(SIGPIPE, SIG_IGN);
}

int Read(Handle handle, char* buffer, std::size_t capacity, std::size_t* got) {
  *got = 0;
  for (;;) {
    ssize_t n = ::read(static_cast<int>(handle), buffer, capacity);
    if (n >= 0) {
      *got = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

int Write(Handle handle, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(static_cast<int>(handle), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int Sync(Handle handle) {
  if (::fsync(static_cast<int>(handle)) != 0) {
    // Character devices and pipes have nothing to make durable.
    if (errno == EINVAL || errno == EROFS) return 0;
    return errno;
  }
  return 0;
}

int Close(Handle handle) {
  // POSIX leaves the descriptor closed even when close reports EINTR.
  if (::close(static_cast<int>(handle)) != 0 && errno != EINTR) return errno;
  return 0;
}

int Delete(const std::string& path) {
  std::string mapped;
  if (!MapPath(path, &mapped)) return EINVAL;
  return ResultOf(::unlink(mapped.c_str()));
}

int Move(const std::string& from, const std::string& to) {
  std::string src;
  std::string dst;
  if (!MapPath(from, &src) || !MapPath(to, &dst)) return EINVAL;
#if defined(__linux__) && defined(SYS_renameat2)
  if (::syscall(SYS_renameat2, AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(),
                kRenameNoReplace) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // Without an exclusive rename, a new link fails on an existing name just
  // the same, and the old name goes only once the new one stands.
  if (::link(src.c_str(), dst.c_str()) != 0) return errno;
  if (::unlink(src.c_str()) != 0) {
    int error = errno;
    ::unlink(dst.c_str());
    return error;
  }
  return 0;
}

int Link(const std::string& existing, const std::string& link) {
  std::string src;
  std::string dst;
  if (!MapPath(existing, &src) || !MapPath(link, &dst)) return EINVAL;
  return ResultOf(::link(src.c_str(), dst.c_str()));
}

int NameTakenError() { return EEXIST; }

int Replace(const std::string& from, const std::string& to) {
  std::string src;
  std::string dst;
  if (!MapPath(from, &src) || !MapPath(to, &dst)) return EINVAL;
  return ResultOf(::rename(src.c_str(), dst.c_str()));
}

int SyncDirectoryOf(const std::string& path) {
  std::string mapped;
  if (!MapPath(path, &mapped)) return EINVAL;
  int fd = ::open(DirectoryOf(mapped).c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
  ::close(fd);
  return error;
}

bool IsMissing(int error) { return error == ENOENT || error == ENOTDIR; }

int ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  std::string mapped;
  if (!MapPath(dir, &mapped)) return EINVAL;
  DIR* stream = ::opendir(mapped.empty() ? "." : mapped.c_str());
  if (stream == nullptr) return errno;
  int error = 0;
  for (;;) {
    errno = 0;
    const struct dirent* entry = ::readdir(stream);
    if (entry == nullptr) {
      error = errno;
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  ::closedir(stream);
  return error;
}

int ConsoleWrite(const char* data, std::size_t size) {
  return Write(STDOUT_FILENO, data, size);
}

int ReadInputLine() {
  char c;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0 || c == '\n') return 0;
  }
}

std::string ExecutablePath() {
#if defined(__linux__)
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
#endif
  return "";
}

int RandomBelow(std::uint32_t bound, std::uint32_t* value) {
  // Draws above the largest multiple of bound are thrown away, so that
  // every value stays equally likely.
  const std::uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
  for (;;) {
    std::uint32_t draw;
    ssize_t n = ::getrandom(&draw, sizeof draw, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n != sizeof draw) continue;
    if (draw >= limit) continue;
    *value = draw % bound;
    return 0;
  }
}

std::string ErrorText(int error) { return std::strerror(error); }

void Exit(int code) {
  std::fflush(nullptr);
  std::exit(code);
}

}  // namespace platform
