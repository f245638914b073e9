// The operating system as the plug-ins see it: files, the console, the
// random source and process exit, behind one small set of calls.
//
// Every call that can fail returns 0 or the system's error number (errno on
// POSIX, GetLastError on Windows); it never prints and never ends the process.
// Paths are given as the configuration writes them (Windows form); the POSIX
// implementation maps them as the README describes.
#ifndef ORVANE_KERNEL_PLATFORM_H
#define ORVANE_KERNEL_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

// Opens an existing file for reading; fails when it does not exist.
int OpenRead(const std::string& path, Handle* handle);

// Creates a file for writing, or empties the one that exists.
int OpenWrite(const std::string& path, Handle* handle);

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

// True when Link failed because the file system has no hard links.
bool LinksUnsupported(int error);

// Gives `from` the name `to` in one step, replacing the file at `to`.
int Replace(const std::string& from, const std::string& to);

// Makes the directory entries of the directory holding `path` durable;
// a no-op where the system keeps them with the file (Windows).
int SyncDirectoryOf(const std::string& path);

// True when a file or directory of that name exists.
bool Exists(const std::string& path);

// True when the file system takes the two paths for the same name: exact
// bytes on POSIX, ASCII letter case ignored on Windows.
bool SameName(const std::string& a, const std::string& b);

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
