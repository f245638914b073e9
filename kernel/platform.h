// The operating system as the plug-ins see it: files, the console, the
// random source and process exit, behind one small set of calls.
//
// Every call that can fail returns 0 or the system's error number (errno on
// POSIX, GetLastError on Windows); it never prints and never ends the process.
// Paths are given as the configuration writes them (Windows form); the POSIX
// implementation maps them as the README describes. A path that holds a
// NUL byte names no file: every call refuses it (EINVAL,
// ERROR_INVALID_NAME), so a name cut short can never reach another file.
#ifndef ORVANE_KERNEL_PLATFORM_H
#define ORVANE_KERNEL_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

// What an edit keeps of the file it replaces, and what tells two names of
// one file from two files.
struct FileInfo {
  std::uint64_t device = 0;  // st_dev; the volume serial number on Windows
  std::uint64_t file = 0;    // st_ino; the file index on Windows
  std::uint32_t links = 1;   // the number of names the file has
  std::uint32_t mode = 0;    // permission bits, 07777 (POSIX only)
  std::uint32_t owner = 0;   // user and group ids (POSIX only)
  std::uint32_t group = 0;
};

// True when the two describe the same file.
inline bool SameFile(const FileInfo& a, const FileInfo& b) {
  return a.device == b.device && a.file == b.file;
}

// Opens an existing regular file for reading; fails at once, without
// blocking, for a directory, a device or a pipe.
int OpenRead(const std::string& path, Handle* handle);

// Creates a file for writing, or empties the one that exists.
int OpenWrite(const std::string& path, Handle* handle);

// Creates a new file for writing, readable and writable by its owner only;
// fails when anything, a symbolic link too, stands under the name.
int CreateExclusive(const std::string& path, Handle* handle);

// Gives the open file the owner, group and permission bits of `like`, in
// that order, so that it is never open to more than the original was. A
// no-op on Windows, where a new file takes the directory's permissions.
int KeepOwnerAndMode(Handle handle, const FileInfo& like);

// Describes the open file.
int Inspect(Handle handle, FileInfo* info);

// Describes the file under the path, not following a symbolic link there.
int InspectPath(const std::string& path, FileInfo* info);

// The path of the file that `path` names once every symbolic link on the way
// is followed: the path itself when it names no link; fails when a link
// leads nowhere.
int ResolveLinks(const std::string& path, std::string* target);

// 0 when the run may write the file: it has a write permission bit (POSIX)
// or no read-only attribute (Windows), and the system grants the runner
// write access; an error number otherwise.
int CheckWritable(const std::string& path);

// Takes the exclusive lock that serializes the runs editing files in the
// directory of `path`, waiting up to `seconds` for a run that holds it.
// The lock goes with the handle (Unlock), or with the process. Fails with
// LockBusyError() when the wait runs out. POSIX locks the directory itself;
// Windows locks the file "orvane.lck" in it, which it creates when needed.
int LockDirectoryOf(const std::string& path, int seconds, Handle* lock);

// Releases a lock taken by LockDirectoryOf.
int Unlock(Handle lock);

// The error number LockDirectoryOf gives when another run held the lock.
int LockBusyError();

// True when this system writes a file back with the line ends it came with
// (LF or CR LF); Windows always writes CR LF.
bool KeepsLfLineEnds();

// Makes the process fit for its console: a console that closes early gives
// failed writes instead of a signal (POSIX), and the C runtime's standard
// streams carry their bytes unchanged (Windows).
void PrepareProcess();

// Reads up to `capacity` bytes; *got is 0 only at the end of the file.
int Read(Handle handle, char* buffer, std::size_t capacity, std::size_t* got);

// Writes all `size` bytes or fails.
int Write(Handle handle, const char* data, std::size_t size);

// Makes the written contents durable (fsync, FlushFileBuffers).
int Sync(Handle handle);

// Closes the handle; it is invalid afterwards, whatever the result.
int Close(Handle handle);

// Deletes a file; fails when it does not exist.
int Delete(const std::string& path);

// Moves a file; never replaces an existing target, it fails instead.
int Move(const std::string& from, const std::string& to);

// Makes `link` a second name of `existing`; fails when `link` exists.
int Link(const std::string& existing, const std::string& link);

// The error number Move and Link give when the target name exists.
int NameTakenError();

// Gives `from` the name `to` in one step, replacing the file at `to`.
int Replace(const std::string& from, const std::string& to);

// Makes the directory entries of the directory holding `path` durable;
// a no-op where the system keeps them with the file (Windows).
int SyncDirectoryOf(const std::string& path);

// True when the error number says that no file, or no directory on the
// way, stands under the name: a name that is free. Any other failure of a
// look at a name (access denied, an I/O error) leaves it unknown.
bool IsMissing(int error);

// The names of the entries of the directory `dir`, written as a path's
// directory part is ("D:\\Mail\\", "C:", or empty for the current
// directory), in no particular order and without "." and "..".
int ListDirectory(const std::string& dir, std::vector<std::string>* names);

// Writes all bytes to standard output, unbuffered.
int ConsoleWrite(const char* data, std::size_t size);

// Reads and discards one line of standard input; returns at once at its end.
int ReadInputLine();

// The full path of the running executable, as the system writes it.
std::string ExecutablePath();

// Draws a number from 0 to bound - 1, each equally likely, from the
// system's entropy source; bound must be at least 1.
int RandomBelow(std::uint32_t bound, std::uint32_t* value);

// A short text for an error number, for messages.
std::string ErrorText(int error);

// Ends the process with the given exit code.
[[noreturn]] void Exit(int code);

}  // namespace platform

#endif  // ORVANE_KERNEL_PLATFORM_H
