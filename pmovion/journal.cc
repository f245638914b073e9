// The journal of a rename run.
//
// It is a text file of CR LF lines, fields parted by a TAB (base paths are
// single words of the configuration and hold no blank):
//
//   Movionsmith journal 1
//   base <old base path> <new base path>
//   file <old file name> <new file name>     (one per file of that base)
//   ...
//   end
//
// The last line is written with the rest and made durable before the first
// file moves, so a journal without it is one whose run changed nothing.
#include "pmovion/journal.h"

#include "kernel/platform.h"

namespace journal {
namespace {

const char kHeader[] = "Movionsmith journal 1";
const char kEnd[] = "end";

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

// The two names after the line's keyword, or false when it has not both.
bool Fields(const std::string& line, std::string* first, std::string* second) {
  std::size_t tab1 = line.find('\t');
  std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
  if (tab2 == std::string::npos) return false;
  *first = line.substr(tab1 + 1, tab2 - tab1 - 1);
  *second = line.substr(tab2 + 1);
  return true;
}

int ReadWhole(const std::string& path, std::string* text) {
  platform::Handle handle = platform::kNoHandle;
  if (int error = platform::OpenRead(path, &handle)) return error;
  int error = 0;
  char block[64 * 1024];
  for (;;) {
    std::size_t got = 0;
    error = platform::Read(handle, block, sizeof block, &got);
    if (error != 0 || got == 0) break;
    text->append(block, got);
  }
  platform::Close(handle);
  return error;
}

// The plan a journal holds. False when it is not one of ours at all.
bool Parse(const std::vector<std::string>& lines,
           std::vector<message_base::BaseMove>* moves) {
  if (lines.empty() || lines.front() != kHeader) return false;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    std::string first;
    std::string second;
    if (!Fields(lines[i], &first, &second)) return false;
    if (lines[i].compare(0, 5, "base\t") == 0) {
      moves->push_back({first, second, {}});
    } else if (lines[i].compare(0, 5, "file\t") == 0 && !moves->empty()) {
      moves->back().files.push_back({first, second, false});
    } else {
      return false;
    }
  }
  return true;
}

// Keeps the file under `keep`, the name the configuration uses, and lets
// `other` go only where that loses nothing.
int Mend(const std::string& keep, const std::string& other) {
  platform::FileInfo left;
  int error = platform::InspectPath(other, &left);
  if (platform::IsMissing(error)) return 0;
  if (error != 0) return error;
  platform::FileInfo kept;
  error = platform::InspectPath(keep, &kept);
  if (platform::IsMissing(error)) return platform::Move(other, keep);
  if (error != 0) return error;
  // Two different files: the tosser may have made a fresh base under the
  // name the configuration did not use, and only the sysop can merge them.
  if (!platform::SameFile(kept, left) || left.links < 2) return 0;
  error = platform::Delete(other);
  return platform::IsMissing(error) ? 0 : error;
}

}  // namespace

int Write(const std::string& path,
          const std::vector<message_base::BaseMove>& moves) {
  std::string text = std::string(kHeader) + "\r\n";
  for (const message_base::BaseMove& move : moves) {
    text += "base\t" + move.oldBase + "\t" + move.newBase + "\r\n";
    for (const message_base::FileMove& file : move.files)
      text += "file\t" + file.from + "\t" + file.to + "\r\n";
  }
  text += std::string(kEnd) + "\r\n";
  platform::Handle handle = platform::kNoHandle;
  if (int error = platform::CreateExclusive(path, &handle)) return error;
  int error = platform::Write(handle, text.data(), text.size());
  if (error == 0) error = platform::Sync(handle);
  const int closed = platform::Close(handle);
  if (error == 0) error = closed;
  if (error == 0) error = platform::SyncDirectoryOf(path);
  if (error != 0) platform::Delete(path);
  return error;
}

int Remove(const std::string& path) {
  if (int error = platform::Delete(path)) return error;
  return platform::SyncDirectoryOf(path);
}

int Recover(const std::string& path, const message_base::NamedPaths& named) {
  std::string text;
  int error = ReadWhole(path, &text);
  if (platform::IsMissing(error)) return 0;
  if (error != 0) return error;
  const std::vector<std::string> lines = SplitLines(text);
  // Stopped while the journal was written: not a file had moved yet.
  if (lines.empty() || lines.back() != kEnd) return Remove(path);
  std::vector<message_base::BaseMove> moves;
  // A file of that name that is no journal of ours is not ours to remove.
  if (!Parse(lines, &moves)) return platform::NameTakenError();
  for (const message_base::BaseMove& move : moves) {
    const bool oldNamed = named.count(message_base::FoldedName(move.oldBase)) > 0;
    const bool newNamed = named.count(message_base::FoldedName(move.newBase)) > 0;
    // A configuration that names both, or neither, says nothing of where
    // this base belongs; its files stay where they are.
    if (oldNamed == newNamed) continue;
    for (const message_base::FileMove& file : move.files) {
      error = newNamed ? Mend(file.to, file.from) : Mend(file.from, file.to);
      if (error != 0) return error;
    }
  }
  if ((error = message_base::SyncDirectories(moves)) != 0) return error;
  return Remove(path);
}

}  // namespace journal
