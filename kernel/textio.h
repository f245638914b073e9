// Text files and the console, read and written by the system's text rules,
// with the process-wide failure slot that every one of these operations
// reports into.
//
// A failing operation stores its error number, with what it did and to
// which file, in the slot; a successful one leaves the slot as it is. By
// default every operation is followed by the automatic check, which ends
// the process with the error exit when the slot holds a failure. An
// operation given kUnchecked skips that check: its failure stays pending
// until ReadAndClearFailure() reads it or the next automatic check meets
// it.
#ifndef ORVANE_KERNEL_TEXTIO_H
#define ORVANE_KERNEL_TEXTIO_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace textio {

enum Check { kChecked, kUnchecked };

// The error number of a file that changed while a run read it twice.
constexpr int kErrorDiskRead = 100;

// The error number of an operation on a file that is not open.
constexpr int kErrorNotOpen = 103;

// The exit code used for an error number whose low eight bits read 0, 100
// or 101, which tell the host something else.
constexpr int kErrorExitFallback = 255;

// One text file, open for reading or for writing. A line that ReadLine
// gives back stays valid until the next operation on the same file.
struct TextFile {
  explicit TextFile(std::size_t bufferSize = 64 * 1024);

  std::string path;                             // as the configuration names it
  platform::Handle handle = platform::kNoHandle;
  bool writing = false;                         // opened for writing
  std::vector<char> buffer;                     // bytes read ahead, or not yet written
  std::size_t begin = 0;                        // first unread byte
  std::size_t end = 0;                          // one past the last valid byte
  bool drained = false;                         // the system has no more bytes
  std::string line;                             // a line put together from pieces
  std::string_view lineEnd = "\r\n";            // what WriteLine ends a line with
};

// Reads the failure slot and clears it: the error number it held, 0 when
// none.
int ReadAndClearFailure();

// True when a failure is pending; the slot is left as it is.
bool FailurePending();

// Stores a failure in the slot; 0 stores nothing.
void Fail(int error, const char* operation, const std::string& path);

// The automatic check: the error exit when a failure is pending.
void CheckIo();

// Empties the slot; a failure it held is forgotten.
void ClearFailure();

// The exit code and "Runtime error" number for an error: its low eight
// bits, never 0, 100 or 101.
int ErrorExitCode(int error);

// Prints "Runtime error N: ..." naming the operation and the file, and ends
// the process with N.
[[noreturn]] void ErrorExit(int error, const std::string& operation,
                            const std::string& path);

// Opens an existing file for reading at its first line.
void OpenForReading(TextFile& file, const std::string& path,
                    Check check = kChecked);

// Closes the file and opens it for reading again at its first line.
void ReopenAtStart(TextFile& file, Check check = kChecked);

// Creates a file for writing, or empties the one that exists.
void CreateForWriting(TextFile& file, const std::string& path,
                      Check check = kChecked);

// Creates a new file for writing, readable and writable by its owner only;
// fails when anything, a symbolic link too, stands under the name.
void CreateNew(TextFile& file, const std::string& path,
               Check check = kChecked);

// True at the end of the file: no byte left, or a Ctrl-Z where the next
// line would begin.
bool AtEof(TextFile& file, Check check = kChecked);

// The next line without its line end (LF or CR LF) and with lone CRs
// dropped; empty at the end of the file.
std::string_view ReadLine(TextFile& file, Check check = kChecked);

// Writes the text as it is.
void Write(TextFile& file, std::string_view text, Check check = kChecked);

// Writes the text and the file's line end, CR LF unless set otherwise.
void WriteLine(TextFile& file, std::string_view text, Check check = kChecked);

// True when the first line of a file just opened for reading ends in LF
// alone; false when it ends in CR LF or the file holds no LF at all. Reads
// ahead as far as that line's end; the next ReadLine still gives the first
// line.
bool FirstLineEndsInLf(TextFile& file, Check check = kChecked);

// Copies every byte of `from` that is left unread, a Ctrl-Z where a line
// would begin and all that follows it, to `to` as it stands.
void CopyRest(TextFile& from, TextFile& to, Check check = kChecked);

// Writes what is buffered and makes the file's contents durable.
void Sync(TextFile& file, Check check = kChecked);

// Writes what is buffered and closes the file.
void Close(TextFile& file, Check check = kChecked);

// Deletes a file; fails when there is none.
void DeleteFile(const std::string& path, Check check = kChecked);

// Writes to standard output, the text as it is or with CR LF.
void ConsoleWrite(std::string_view text, Check check = kChecked);
void ConsoleLine(std::string_view text, Check check = kChecked);

// Reads one line of standard input and discards it.
void ReadInputLine(Check check = kChecked);

}  // namespace textio

#endif  // ORVANE_KERNEL_TEXTIO_H
