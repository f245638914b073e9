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

// Whatever the C runtime may still write goes out byte for byte as well.
bool SetBinaryModes() {
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
  return true;
}
const bool binaryModes = SetBinaryModes();  // set before main runs

int OpenWith(const std::string& path, DWORD access, DWORD disposition,
             Handle* handle) {
  *handle = kNoHandle;
  // Other programs may read the file meanwhile, and it may be renamed
  // while open, as on POSIX; but nobody else writes it: a configuration
  // changed under a run would be lost when the run replaces it.
  HANDLE h = CreateFileA(path.c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
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

char FoldName(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if (c == '/') return '\\';
  return c;
}

}  // namespace

int OpenRead(const std::string& path, Handle* handle) {
  return OpenWith(path, GENERIC_READ, OPEN_EXISTING, handle);
}

int OpenWrite(const std::string& path, Handle* handle) {
  return OpenWith(path, GENERIC_WRITE, CREATE_ALWAYS, handle);
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
  return DeleteFileA(path.c_str()) ? 0 : LastError();
}

int Move(const std::string& from, const std::string& to) {
  return MoveFileA(from.c_str(), to.c_str()) ? 0 : LastError();
}

int Link(const std::string& existing, const std::string& link) {
  return CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) ? 0
                                                                  : LastError();
}

int NameTakenError() { return ERROR_ALREADY_EXISTS; }

bool LinksUnsupported(int error) {
  // FAT and exFAT volumes answer ERROR_INVALID_FUNCTION, network shares
  // and other redirectors ERROR_NOT_SUPPORTED, systems without the call
  // ERROR_CALL_NOT_IMPLEMENTED; a file at the limit of 1023 names behaves
  // as one on a volume without links.
  switch (error) {
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_TOO_MANY_LINKS:
      return true;
    default:
      return false;
  }
}

int Replace(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : LastError();
}

int SyncDirectoryOf(const std::string&) { return 0; }

bool Exists(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // A name that cannot be looked at (access denied, a locked system file)
  // may still be taken; only a plain "not found" frees it.
  return !IsNoSuchName(GetLastError());
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldName(a[i]) != FoldName(b[i])) return false;
  return true;
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
