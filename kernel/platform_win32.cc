// The operating system calls of the plug-ins on Windows.
//
// Paths go to the system as the configuration writes them, through the
// ANSI ("A") functions, so that their bytes are those of the node's 8-bit
// code page. Files and the console are read and written with ReadFile and
// WriteFile: no C runtime sits between, so no CR LF is ever added or taken.
#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

// The most that one ReadFile or WriteFile on a file moves: a DWORD counts
// the bytes.
constexpr DWORD kMaxTransfer = 1u << 30;

// The console of older Windows versions refuses larger writes than this.
constexpr DWORD kMaxConsoleWrite = 16 * 1024;

// The error of the call that just failed. A failure must never read as
// success, so a call that fails without saying why still gives a number.
int LastError() {
  DWORD error = GetLastError();
  return error != 0 ? static_cast<int>(error) : ERROR_GEN_FAILURE;
}

HANDLE ToHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

Handle FromHandle(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

// The system reads a name up to its first NUL, so a name holding one would
// reach another file.
bool NamesNoFile(const std::string& path) {
  return path.find('\0') != std::string::npos;
}

// Other programs may read a file the run opens, and it may be renamed
// while open, as on POSIX; but nobody else writes it: a configuration
// changed under a run would be lost when the run replaces it.
constexpr DWORD kShareWithReaders = FILE_SHARE_READ | FILE_SHARE_DELETE;

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int OpenWith(const std::string& path, DWORD access, DWORD disposition,
             Handle* handle) {
  *handle = kNoHandle;
  if (NamesNoFile(path)) return ERROR_INVALID_NAME;
  HANDLE h = CreateFileA(path.c_str(), access, kShareWithReaders, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(h, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(h);
    return ERROR_ACCESS_DENIED;
  }
  *handle = FromHandle(h);
  return 0;
}

int Describe(HANDLE h, FileInfo* info) {
  BY_HANDLE_FILE_INFORMATION data;
  if (!GetFileInformationByHandle(h, &data)) return LastError();
  info->device = data.dwVolumeSerialNumber;
  info->file = (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) |
               data.nFileIndexLow;
  info->links = data.nNumberOfLinks;
  info->mode = 0;
  info->owner = 0;
  info->group = 0;
  return 0;
}

// The final path of an open file as the system writes it, without the
// "\\?\" prefix that the ANSI calls of the plug-ins need not see.
int FinalPathOf(HANDLE h, std::string* path) {
  std::string final(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetFinalPathNameByHandleA(h, final.data(),
                                        static_cast<DWORD>(final.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return LastError();
    if (n < final.size()) {
      final.resize(n);
      break;
    }
    // Too small a buffer gives the size it needs, its NUL counted by
    // Windows but not by Wine.
    final.resize(n + 1);
  }
  const std::string kUnc = "\\\\?\\UNC\\";
  const std::string kLong = "\\\\?\\";
  if (final.compare(0, kUnc.size(), kUnc) == 0)
    *path = "\\\\" + final.substr(kUnc.size());
  else if (final.compare(0, kLong.size(), kLong) == 0)
    *path = final.substr(kLong.size());
  else
    *path = final;
  return 0;
}

// The lock file of the directory holding `path`.
std::string LockPathFor(const std::string& path) {
  const std::string kName = "orvane.lck";
  std::size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) return kName;
  return path.substr(0, cut + 1) + kName;
}

int WriteAll(HANDLE h, const char* data, std::size_t size, DWORD most) {
  while (size > 0) {
    DWORD chunk = size < most ? static_cast<DWORD>(size) : most;
    DWORD written = 0;
    if (!WriteFile(h, data, chunk, &written, nullptr)) return LastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    data += written;
    size -= written;
  }
  return 0;
}

// A handle that standard input or output may lack when the process was
// started without a console.
HANDLE StandardHandle(DWORD which) {
  HANDLE h = GetStdHandle(which);
  return h == nullptr ? INVALID_HANDLE_VALUE : h;
}

bool IsNoSuchName(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_INVALID_DRIVE;
}

}  // namespace

int OpenRead(const std::string& path, Handle* handle) {
  if (int error = OpenWith(path, GENERIC_READ, OPEN_EXISTING, handle))
    return error;
  // A device such as NUL or CON, or a pipe, opens at once but holds no
  // configuration, and its first read may wait for ever.
  if (GetFileType(ToHandle(*handle)) != FILE_TYPE_DISK) {
    CloseHandle(ToHandle(*handle));
    *handle = kNoHandle;
    return ERROR_ACCESS_DENIED;
  }
  return 0;
}

int OpenWrite(const std::string& path, Handle* handle) {
  return OpenWith(path, GENERIC_WRITE, CREATE_ALWAYS, handle);
}

int CreateExclusive(const std::string& path, Handle* handle) {
  *handle = kNoHandle;
  if (NamesNoFile(path)) return ERROR_INVALID_NAME;
  // CREATE_NEW fails on any name that stands, but a symbolic link that
  // leads nowhere would be followed and its target created.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, kShareWithReaders,
                         nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  *handle = FromHandle(h);
  return 0;
}

int KeepOwnerAndMode(Handle, const FileInfo&) { return 0; }

int Inspect(Handle handle, FileInfo* info) {
  return Describe(ToHandle(handle), info);
}

int InspectPath(const std::string& path, FileInfo* info) {
  if (NamesNoFile(path)) return ERROR_INVALID_NAME;
  // No access asked, so that a file open elsewhere, under any sharing, can
  // still be described; directories open only with backup semantics.
  HANDLE h = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS |
                             FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  int error = Describe(h, info);
  CloseHandle(h);
  return error;
}

int ResolveLinks(const std::string& path, std::string* target) {
  if (NamesNoFile(path)) return ERROR_INVALID_NAME;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    *target = path;
    return 0;
  }
  HANDLE h = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  int error = FinalPathOf(h, target);
  CloseHandle(h);
  return error;
}

int CheckWritable(const std::string& path) {
  if (NamesNoFile(path)) return ERROR_INVALID_NAME;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_ACCESS_DENIED;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return 0;
  }
  // The file system checks the sharing of a file only once it has granted
  // the access asked for: when another program's handle lets nobody write
  // meanwhile, the rights are there all the same.
  if (GetLastError() == ERROR_SHARING_VIOLATION) return 0;
  return LastError();
}

int LockDirectoryOf(const std::string& path, int seconds, Handle* lock) {
  *lock = kNoHandle;
  if (NamesNoFile(path)) return ERROR_INVALID_NAME;
  // Nobody reads the lock file, so it may share everything: the tosser and
  // the editor read the configuration beside it as before.
  HANDLE h = CreateFileA(LockPathFor(path).c_str(),
                         GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  const ULONGLONG start = GetTickCount64();
  const ULONGLONG wait = seconds > 0 ? 1000ull * seconds : 0;
  for (;;) {
    // The system drops the lock with the handle, so a run that was killed
    // never keeps the next one waiting.
    OVERLAPPED at = {};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   1, 0, &at)) {
      *lock = FromHandle(h);
      return 0;
    }
    int error = LastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
      CloseHandle(h);
      return error;
    }
    if (GetTickCount64() - start >= wait) {
      CloseHandle(h);
      return LockBusyError();
    }
    Sleep(50);
  }
}

int Unlock(Handle lock) {
  // Closing the handle frees the lock too, but only when the system gets
  // round to it; the next run should not wait for that.
  UnlockFile(ToHandle(lock), 0, 0, 1, 0);
  return Close(lock);
}

int LockBusyError() { return ERROR_LOCK_VIOLATION; }

bool KeepsLfLineEnds() { return false; }

void PrepareProcess() {
  // Whatever the C runtime may still write goes out byte for byte as well.
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
}

int Read(Handle handle, char* buffer, std::size_t capacity, std::size_t* got) {
  *got = 0;
  DWORD chunk =
      capacity < kMaxTransfer ? static_cast<DWORD>(capacity) : kMaxTransfer;
  DWORD n = 0;
  if (!ReadFile(ToHandle(handle), buffer, chunk, &n, nullptr)) {
    // The writing end of a pipe went away: that is its end of file.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    return LastError();
  }
  *got = n;
  return 0;
}

int Write(Handle handle, const char* data, std::size_t size) {
  return WriteAll(ToHandle(handle), data, size, kMaxTransfer);
}

int Sync(Handle handle) {
  // Consoles and pipes have nothing to make durable.
  if (GetFileType(ToHandle(handle)) != FILE_TYPE_DISK) return 0;
  return FlushFileBuffers(ToHandle(handle)) ? 0 : LastError();
}

int Close(Handle handle) {
  return CloseHandle(ToHandle(handle)) ? 0 : LastError();
}

int Delete(const std::string& path) {
  if (NamesNoFile(path)) return ERROR_INVALID_NAME;
  return DeleteFileA(path.c_str()) ? 0 : LastError();
}

int Move(const std::string& from, const std::string& to) {
  if (NamesNoFile(from) || NamesNoFile(to)) return ERROR_INVALID_NAME;
  return MoveFileA(from.c_str(), to.c_str()) ? 0 : LastError();
}

int Link(const std::string& existing, const std::string& link) {
  if (NamesNoFile(existing) || NamesNoFile(link)) return ERROR_INVALID_NAME;
  return CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) ? 0
                                                                  : LastError();
}

int NameTakenError() { return ERROR_ALREADY_EXISTS; }

int Replace(const std::string& from, const std::string& to) {
  if (NamesNoFile(from) || NamesNoFile(to)) return ERROR_INVALID_NAME;
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : LastError();
}

int SyncDirectoryOf(const std::string& path) {
  return NamesNoFile(path) ? ERROR_INVALID_NAME : 0;
}

bool IsMissing(int error) {
  return IsNoSuchName(static_cast<DWORD>(error));
}

int ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  if (NamesNoFile(dir)) return ERROR_INVALID_NAME;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    // A drive's empty root has not even "." and "..".
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : LastError();
  }
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names->push_back(name);
  } while (FindNextFileA(search, &found));
  int error = GetLastError() == ERROR_NO_MORE_FILES ? 0 : LastError();
  FindClose(search);
  return error;
}

int ConsoleWrite(const char* data, std::size_t size) {
  return WriteAll(StandardHandle(STD_OUTPUT_HANDLE), data, size,
                  kMaxConsoleWrite);
}

int ReadInputLine() {
  HANDLE in = StandardHandle(STD_INPUT_HANDLE);
  // Without any standard input there is nobody to press Enter.
  if (in == INVALID_HANDLE_VALUE) return 0;
  for (;;) {
    char c;
    DWORD n = 0;
    if (!ReadFile(in, &c, 1, &n, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
      return LastError();
    }
    if (n == 0 || c == '\n') return 0;
  }
}

std::string ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, path.data(),
                                 static_cast<DWORD>(path.size()));
    if (n == 0) return "";
    // A full buffer may hold a cut path: try again with a larger one.
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return "";
    path.resize(path.size() * 2);
  }
}

int RandomBelow(std::uint32_t bound, std::uint32_t* value) {
  // Draws above the largest multiple of bound are thrown away, so that
  // every value stays equally likely.
  const std::uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
  for (;;) {
    std::uint32_t draw;
    NTSTATUS status =
        BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&draw), sizeof draw,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
      ULONG error = RtlNtStatusToDosError(status);
      return error != 0 ? static_cast<int>(error) : ERROR_GEN_FAILURE;
    }
    if (draw >= limit) continue;
    *value = draw % bound;
    return 0;
  }
}

std::string ErrorText(int error) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<LPSTR>(&text), 0,
      nullptr);
  if (n == 0 || text == nullptr) return "system error " + std::to_string(error);
  std::string message(text, n);
  LocalFree(text);
  // The message lands inside one console line: its own line ends go.
  for (char& c : message)
    if (c == '\r' || c == '\n') c = ' ';
  while (!message.empty() && message.back() == ' ') message.pop_back();
  return message;
}

void Exit(int code) {
  std::fflush(nullptr);
  std::exit(code);
}

}  // namespace platform
