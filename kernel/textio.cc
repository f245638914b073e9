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

enum class Mode { kRead, kCreateOrEmpty, kCreateNew };

void Open(TextFile& file, const std::string& path, Mode mode) {
  file.path = path;
  file.writing = mode != Mode::kRead;
  file.begin = file.end = 0;
  file.drained = false;
  int error = mode == Mode::kRead ? platform::OpenRead(path, &file.handle)
              : mode == Mode::kCreateNew
                  ? platform::CreateExclusive(path, &file.handle)
                  : platform::OpenWrite(path, &file.handle);
  Fail(error, file.writing ? "create" : "open", path);
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
  Open(file, path, Mode::kRead);
  Done(check);
}

void ReopenAtStart(TextFile& file, Check check) {
  const std::string path = file.path;
  if (file.handle != platform::kNoHandle) {
    platform::Close(file.handle);
    file.handle = platform::kNoHandle;
  }
  Open(file, path, Mode::kRead);
  Done(check);
}

void CreateForWriting(TextFile& file, const std::string& path, Check check) {
  if (file.handle != platform::kNoHandle) Close(file, kUnchecked);
  Open(file, path, Mode::kCreateOrEmpty);
  Done(check);
}

void CreateNew(TextFile& file, const std::string& path, Check check) {
  if (file.handle != platform::kNoHandle) Close(file, kUnchecked);
  Open(file, path, Mode::kCreateNew);
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
  Write(file, file.lineEnd, check);
}

bool FirstLineEndsInLf(TextFile& file, Check check) {
  if (!IsOpen(file, false)) {
    Done(check);
    return false;
  }
  // The first line may be longer than the buffer: the buffer grows until it
  // holds the line's end, so that nothing read here is lost to ReadLine.
  const char* lf = nullptr;
  for (;;) {
    lf = static_cast<const char*>(std::memchr(
        file.buffer.data() + file.begin, '\n', file.end - file.begin));
    if (lf != nullptr || file.drained) break;
    if (file.end == file.buffer.size()) file.buffer.resize(file.buffer.size() * 2);
    std::size_t got = 0;
    int error = platform::Read(file.handle, file.buffer.data() + file.end,
                               file.buffer.size() - file.end, &got);
    Fail(error, "read", file.path);
    if (error != 0 || got == 0) file.drained = true;
    file.end += got;
  }
  Done(check);
  if (lf == nullptr) return false;
  return lf == file.buffer.data() + file.begin || lf[-1] != '\r';
}

void CopyRest(TextFile& from, TextFile& to, Check check) {
  if (IsOpen(from, false) && IsOpen(to, true)) {
    do {
      Write(to, std::string_view(from.buffer.data() + from.begin,
                                 from.end - from.begin),
            kUnchecked);
    } while (Refill(from));
  }
  Done(check);
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
