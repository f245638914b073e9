// The operating system calls of the plug-ins on POSIX systems.
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
// separator and a leading drive letter names the one file system.
std::string MapPath(const std::string& path) {
  std::string mapped = path;
  if (mapped.size() >= 2 && mapped[1] == ':' &&
      ((mapped[0] >= 'A' && mapped[0] <= 'Z') ||
       (mapped[0] >= 'a' && mapped[0] <= 'z')))
    mapped.erase(0, 2);
  for (char& c : mapped)
    if (c == '\\') c = '/';
  return mapped;
}

int OpenWith(const std::string& path, int flags, Handle* handle) {
  *handle = kNoHandle;
  std::string mapped = MapPath(path);
  int fd;
  do {
    fd = ::open(mapped.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  *handle = fd;
  return 0;
}

#if defined(__linux__) && defined(SYS_renameat2)
constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE
#endif

}  // namespace

int OpenRead(const std::string& path, Handle* handle) {
  return OpenWith(path, O_RDONLY, handle);
}

int OpenWrite(const std::string& path, Handle* handle) {
  return OpenWith(path, O_WRONLY | O_CREAT | O_TRUNC, handle);
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
  return ::unlink(MapPath(path).c_str()) == 0 ? 0 : errno;
}

int Move(const std::string& from, const std::string& to) {
  std::string src = MapPath(from);
  std::string dst = MapPath(to);
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
  return ::link(MapPath(existing).c_str(), MapPath(link).c_str()) == 0 ? 0
                                                                       : errno;
}

int NameTakenError() { return EEXIST; }

bool LinksUnsupported(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS ||
         error == EMLINK;
}

int Replace(const std::string& from, const std::string& to) {
  return ::rename(MapPath(from).c_str(), MapPath(to).c_str()) == 0 ? 0 : errno;
}

int SyncDirectoryOf(const std::string& path) {
  std::string mapped = MapPath(path);
  std::size_t slash = mapped.rfind('/');
  std::string dir = slash == std::string::npos ? "."
                    : slash == 0               ? "/"
                                               : mapped.substr(0, slash);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
  ::close(fd);
  return error;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(MapPath(path).c_str(), &st) == 0;
}

bool SameName(const std::string& a, const std::string& b) {
  return MapPath(a) == MapPath(b);
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
