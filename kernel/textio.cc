// Text files and the console, with the process-wide failure slot.
#include "textio.h"

#include <cstring>

namespace textio {
namespace {

int slotError = 0;            // error number of the latest failure, 0 for none
std::string slotOperation;    // what that failure was doing
std::string slotPath;         // the file it was doing it to

constexpr char kCtrlZ = 26;
const std::string kStandardOutput = "standard output";
const std::string kStandardInput = "standard input";

void Done(Check check) {
  if (check == kChecked) CheckIo();
}

bool IsOpen(const TextFile& file, bool forWriting) {
  if (file.handle != platform::kNoHandle && file.writing == forWriting)
    return true;
  Fail(kErrorNotOpen, forWriting ? "write" : "read", file.path);
  return false;
}

void Open(TextFile& file, const std::string& path, bool forWriting) {
  file.path = path;
  file.writing = forWriting;
  file.begin = file.end = 0;
  file.drained = false;
  int error = forWriting ? platform::OpenWrite(path, &file.handle)
                         : platform::OpenRead(path, &file.handle);
  Fail(error, forWriting ? "create" : "open", path);
}

// Fetches the next block of the file; false when there is none.
bool Refill(TextFile& file) {
  file.begin = file.end = 0;
  if (file.drained) return false;
  std::size_t got = 0;
  int error = platform::Read(file.handle, file.buffer.data(),
                             file.buffer.size(), &got);
  Fail(error, "read", file.path);
  if (error != 0 || got == 0) {
    file.drained = true;
    return false;
  }
  file.end = got;
  return true;
}

bool NothingLeft(TextFile& file) {
  if (file.begin == file.end && !Refill(file)) return true;
  return file.buffer[file.begin] == kCtrlZ;
}

// Every CR inside a line is either the first half of its CR LF or a lone
// CR, and both are dropped.
void AppendWithoutCr(std::string& out, const char* data, std::size_t size) {
  const char* stop = data + size;
  while (data < stop) {
    const char* cr = static_cast<const char*>(
        std::memchr(data, '\r', static_cast<std::size_t>(stop - data)));
    if (cr == nullptr) cr = stop;
    out.append(data, static_cast<std::size_t>(cr - data));
    data = cr + 1;
  }
}

void Flush(TextFile& file) {
  if (file.end == 0) return;
  int error = platform::Write(file.handle, file.buffer.data(), file.end);
  Fail(error, "write", file.path);
  // What could not be written is dropped; the failure stands for it.
  file.end = 0;
}

}  // namespace

TextFile::TextFile(std::size_t bufferSize) : buffer(bufferSize) {}

int ReadAndClearFailure() {
  int error = slotError;
  ClearFailure();
  return error;
}

bool FailurePending() { return slotError != 0; }

void Fail(int error, const char* operation, const std::string& path) {
  if (error == 0) return;
  slotError = error;
  slotOperation = operation;
  slotPath = path;
}

void CheckIo() {
  if (slotError != 0) ErrorExit(slotError, slotOperation, slotPath);
}

void ClearFailure() {
  slotError = 0;
  slotOperation.clear();
  slotPath.clear();
}

int ErrorExitCode(int error) {
  int code = static_cast<int>(static_cast<unsigned>(error) & 0xFFu);
  if (code == 0 || code == 100 || code == 101) return kErrorExitFallback;
  return code;
}

void ErrorExit(int error, const std::string& operation,
               const std::string& path) {
  // The console is unbuffered, so nothing printed before is still pending.
  int code = ErrorExitCode(error);
  std::string message = "Runtime error " + std::to_string(code) + ": " +
                        operation + (path.empty() ? "" : " " + path) + ": " +
                        platform::ErrorText(error) + "\r\n";
  platform::ConsoleWrite(message.data(), message.size());
  platform::Exit(code);
}

void OpenForReading(TextFile& file, const std::string& path, Check check) {
  if (file.handle != platform::kNoHandle) Close(file, kUnchecked);
  Open(file, path, false);
  Done(check);
}

void ReopenAtStart(TextFile& file, Check check) {
  const std::string path = file.path;
  if (file.handle != platform::kNoHandle) {
    platform::Close(file.handle);
    file.handle = platform::kNoHandle;
  }
  Open(file, path, false);
  Done(check);
}

void CreateForWriting(TextFile& file, const std::string& path, Check check) {
  if (file.handle != platform::kNoHandle) Close(file, kUnchecked);
  Open(file, path, true);
  Done(check);
}

bool AtEof(TextFile& file, Check check) {
  bool atEnd = !IsOpen(file, false) || NothingLeft(file);
  Done(check);
  return atEnd;
}

std::string_view ReadLine(TextFile& file, Check check) {
  if (!IsOpen(file, false) || NothingLeft(file)) {
    Done(check);
    return {};
  }
  bool pieced = false;
  for (;;) {
    const char* start = file.buffer.data() + file.begin;
    std::size_t avail = file.end - file.begin;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', avail));
    if (lf != nullptr) {
      std::size_t size = static_cast<std::size_t>(lf - start);
      file.begin += size + 1;
      if (!pieced) {
        // A line that ends in CR LF and holds no other CR is the bytes
        // before its CR, still in the buffer.
        std::size_t text = size > 0 && start[size - 1] == '\r' ? size - 1 : size;
        if (std::memchr(start, '\r', text) == nullptr)
          return std::string_view(start, text);
        file.line.clear();
      }
      AppendWithoutCr(file.line, start, size);
      return file.line;
    }
    if (!pieced) file.line.clear();
    pieced = true;
    AppendWithoutCr(file.line, start, avail);
    if (!Refill(file)) {
      Done(check);
      return file.line;
    }
  }
}

void Write(TextFile& file, std::string_view text, Check check) {
  if (!IsOpen(file, true)) {
    Done(check);
    return;
  }
  if (file.end + text.size() > file.buffer.size()) Flush(file);
  if (text.size() >= file.buffer.size()) {
    Fail(platform::Write(file.handle, text.data(), text.size()), "write",
         file.path);
  } else if (!text.empty()) {
    // An empty view may carry no address, which memcpy must not be given.
    std::memcpy(file.buffer.data() + file.end, text.data(), text.size());
    file.end += text.size();
  }
  Done(check);
}

void WriteLine(TextFile& file, std::string_view text, Check check) {
  Write(file, text, kUnchecked);
  Write(file, "\r\n", check);
}

void Sync(TextFile& file, Check check) {
  if (IsOpen(file, true)) {
    Flush(file);
    Fail(platform::Sync(file.handle), "flush", file.path);
  }
  Done(check);
}

void Close(TextFile& file, Check check) {
  if (file.handle == platform::kNoHandle) {
    Fail(kErrorNotOpen, "close", file.path);
    Done(check);
    return;
  }
  if (file.writing) Flush(file);
  Fail(platform::Close(file.handle), "close", file.path);
  file.handle = platform::kNoHandle;
  file.begin = file.end = 0;
  Done(check);
}

void DeleteFile(const std::string& path, Check check) {
  Fail(platform::Delete(path), "delete", path);
  Done(check);
}

bool ReplaceWithBackup(const std::string& original, const std::string& temp,
                       const std::string& backup, Check check) {
  int error = platform::Link(original, backup);
  if (error == 0) {
    error = platform::Replace(temp, original);
    if (error != 0) {
      // The original never left its name; the extra name goes again.
      platform::Delete(backup);
      Fail(error, "replace", original);
      Done(check);
      return false;
    }
  } else if (platform::LinksUnsupported(error)) {
    error = platform::Move(original, backup);
    if (error != 0) {
      Fail(error, "move", original);
      Done(check);
      return false;
    }
    error = platform::Move(temp, original);
    if (error != 0) {
      // The old file goes back, so the node never finds it missing.
      platform::Move(backup, original);
      Fail(error, "move", temp);
      Done(check);
      return false;
    }
  } else {
    Fail(error, "keep backup", backup);
    Done(check);
    return false;
  }
  Fail(platform::SyncDirectoryOf(original), "sync directory of", original);
  Done(check);
  return true;
}

void ConsoleWrite(std::string_view text, Check check) {
  Fail(platform::ConsoleWrite(text.data(), text.size()), "write",
       kStandardOutput);
  Done(check);
}

void ConsoleLine(std::string_view text, Check check) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  ConsoleWrite(line, check);
}

void ReadInputLine(Check check) {
  Fail(platform::ReadInputLine(), "read", kStandardInput);
  Done(check);
}

}  // namespace textio
