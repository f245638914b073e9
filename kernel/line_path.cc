// The line and path helpers.
#include "line_path.h"

#include "sys_utils.h"

namespace line_path {
namespace {

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

std::size_t LastSeparator(const std::string& path) {
  return path.find_last_of("\\/");
}

}  // namespace

void CompactBlanks(std::string& line) {
  line = sys_utils::Trim(line);
  std::size_t out = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    // Of a run of TABs and spaces only its last character stays.
    if (IsSpaceOrTab(line[i]) && i + 1 < line.size() &&
        IsSpaceOrTab(line[i + 1]))
      continue;
    line[out++] = line[i];
  }
  line.resize(out);
}

std::string FirstWord(const std::string& text) {
  std::string trimmed = sys_utils::Trim(text);
  std::size_t end = 0;
  while (end < trimmed.size() && !sys_utils::IsBlank(trimmed[end])) ++end;
  trimmed.resize(end);
  return trimmed;
}

std::string ExtractDir(const std::string& path) {
  std::size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return {};
  std::string dir = path.substr(0, slash);
  if (dir.size() == 2) dir += '\\';
  return dir;
}

std::string SiblingPath(const std::string& path, const std::string& name) {
  // A bare file name lies in the current directory, and so do the files
  // made beside it, never in the root of the drive.
  if (LastSeparator(path) == std::string::npos) return name;
  return ExtractDir(path) + "\\" + name;
}

}  // namespace line_path
