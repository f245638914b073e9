// The area rename pass of Movionsmith.
#include "pmovion/rename_pass.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/platform.h"
#include "kernel/safe_edit.h"
#include "kernel/sys_utils.h"
#include "kernel/textio.h"
#include "pmovion/message_base.h"

namespace rename_pass {
namespace {

using textio::kUnchecked;

// An echo area line's path, found by the first reading.
struct NamedPath {
  std::size_t area;  // the echo area's number in the configuration
  std::string path;
};

safe_edit::Edit edit;                    // the configuration and its new text
std::string line;                        // the current line
AreaLine area;                           // the current area's fields
std::string backupName;                  // D\squish.cfg.?.bak, settled first
std::vector<NamedPath> basePaths;        // every echo area's base path
std::vector<std::string> givenPaths;     // new paths given by this run
message_base::MoveRecord moves;          // base files moved by this run

constexpr std::size_t kFieldWindow = 255;
constexpr int kBackupPositions = 36;

void ResetState() {
  edit = safe_edit::Edit();
  line.clear();
  area = AreaLine();
  backupName.clear();
  basePaths.clear();
  givenPaths.clear();
  moves.clear();
}

// The end of the word that starts at or after `from` (past its blanks), and
// its start in *start.
std::size_t WordEnd(const std::string& text, std::size_t from,
                    std::size_t* start) {
  while (from < text.size() && sys_utils::IsBlank(text[from])) ++from;
  *start = from;
  while (from < text.size() && !sys_utils::IsBlank(text[from])) ++from;
  return from;
}

bool IsAutoNamed(const std::string& path) {
  std::size_t start = path.size() > 8 ? path.size() - 8 : 0;
  return sys_utils::UpperCase(path.substr(start, 4)) == "AUTO";
}

// Settled before anything changes: a taken backup name found only at the
// end would leave the bases moved and the configuration unreplaced.
void SettleBackupName() {
  std::vector<int> untried;
  for (int position = 1; position <= kBackupPositions; ++position)
    untried.push_back(position);
  while (!untried.empty()) {
    std::uint32_t draw = 0;
    textio::Fail(platform::RandomBelow(
                     static_cast<std::uint32_t>(untried.size()), &draw),
                 "draw", "the backup suffix");
    textio::CheckIo();
    backupName = safe_edit::Beside(
        edit, "squish.cfg." + safe_edit::BackupSuffixAt(untried[draw]) + ".bak");
    if (!platform::Exists(backupName)) return;
    untried.erase(untried.begin() + draw);
  }
  textio::ErrorExit(platform::NameTakenError(), "keep backup of", edit.target);
}

// An area whose base does not exist yet still owns the path its line
// names, so every line's path is known before the first area is renamed.
void CollectBasePaths() {
  std::size_t number = 0;
  while (!textio::AtEof(edit.input, kUnchecked)) {
    std::string text(textio::ReadLine(edit.input, kUnchecked));
    line_path::CompactBlanks(text);
    AreaLine named;
    if (ParseAreaLine(text, &named)) basePaths.push_back({number++, named.path});
  }
  textio::ReopenAtStart(edit.input, kUnchecked);
}

bool PathInUse(const std::string& newPath, std::size_t number) {
  if (message_base::AnyFileExists(newPath)) return true;
  for (const NamedPath& named : basePaths)
    if (named.area != number && platform::SameName(named.path, newPath))
      return true;
  for (const std::string& given : givenPaths)
    if (platform::SameName(given, newPath)) return true;
  return false;
}

// Gives the current area line its new path and moves its base, or leaves
// the line as it is when the area keeps its old base.
void RenameArea(std::size_t number) {
  const std::string newPath = NewBasePath(area);
  if (newPath.empty()) return;
  // The console is unbuffered, so this half of the line shows before any
  // base file moves.
  textio::ConsoleWrite(area.path + " -> " + area.tag + " :", kUnchecked);
  int missing = 4;
  if (newPath != area.path) {
    if (PathInUse(newPath, number)) {
      textio::ConsoleLine("Not renamed", kUnchecked);
      return;
    }
    missing = message_base::RenameMessageBase(area.path, newPath, moves);
    if (missing == message_base::kNotRenamed) {
      textio::ConsoleLine("Not renamed", kUnchecked);
      return;
    }
  }
  givenPaths.push_back(newPath);
  line = "EchoArea " + area.tag + " " + newPath + area.remainder;
  textio::ConsoleLine("Renamed " + std::to_string(4 - missing) + " files",
                      kUnchecked);
}

void ReplaceConfiguration() {
  // The moved bases are made durable before the configuration names them.
  message_base::SyncDirectories(moves);
  if (safe_edit::Commit(edit, backupName)) return;
  // The configuration still names the old paths, so every base goes back.
  message_base::UndoMoves(moves);
}

}  // namespace

bool ParseAreaLine(const std::string& text, AreaLine* fields) {
  if (sys_utils::UpperCase(text.substr(0, 8)) != "ECHOAREA") return false;
  const std::string keyword = line_path::FirstWord(text);
  // fidoconfig's defaults for the areas that follow, not an area.
  if (sys_utils::UpperCase(keyword) == "ECHOAREADEFAULTS") return false;
  std::size_t tagStart = 0;
  std::size_t pathStart = 0;
  const std::size_t tagEnd = WordEnd(text, keyword.size(), &tagStart);
  const std::size_t pathEnd = WordEnd(text, tagEnd, &pathStart);
  if (tagEnd == tagStart || pathEnd == pathStart) return false;
  // A word longer than its field would be cut, and the line rebuilt from
  // the pieces would name neither the old base nor the new one.
  if (tagEnd - keyword.size() > kFieldWindow ||
      pathEnd - tagEnd > kFieldWindow)
    return false;
  fields->tag = text.substr(tagStart, tagEnd - tagStart);
  fields->path = text.substr(pathStart, pathEnd - pathStart);
  fields->remainder = text.substr(pathEnd);
  return true;
}

std::string TagToBaseName(const std::string& tag) {
  const orvKernel::Params& params = orvKernel::PluginParams();
  if (!params.Check1 || params.Edit1.size() != 1) return tag;
  std::string name = tag;
  for (char& c : name)
    if (c == '.') c = params.Edit1[0];
  return name;
}

std::uint16_t LastPos(const std::string& pattern, const std::string& text) {
  if (pattern.size() > text.size()) return 0;
  for (std::size_t start = text.size() - pattern.size() + 1; start >= 1;
       --start) {
    if (text.compare(start - 1, pattern.size(), pattern) == 0)
      return static_cast<std::uint16_t>(start);
  }
  return 0;
}

std::string NewBasePath(const AreaLine& fields) {
  const std::string& path = fields.path;
  if (IsAutoNamed(path)) {
    std::string dir = path.size() > 8 ? path.substr(0, path.size() - 8) : "";
    return dir + TagToBaseName(fields.tag);
  }
  if (!orvKernel::PluginParams().Check3) return {};
  // Both separators end a directory, as both do on Windows.
  const std::uint16_t slash = std::max(LastPos("\\", path), LastPos("/", path));
  return path.substr(0, slash) + TagToBaseName(fields.tag);
}

void RunRenamePass() {
  ResetState();
  safe_edit::FinishUnlessReady(
      safe_edit::Open(edit, orvKernel::PluginParams().SquishPath),
      orvKernel::kConfigurationNotOpened);
  SettleBackupName();
  safe_edit::FinishUnlessReady(
      safe_edit::CreateTemporary(edit, "squish_.cfg.tmp"),
      orvKernel::kFileLeftAlone);
  CollectBasePaths();
  std::size_t number = 0;
  while (!textio::AtEof(edit.input, kUnchecked)) {
    line = textio::ReadLine(edit.input, kUnchecked);
    line_path::CompactBlanks(line);
    if (ParseAreaLine(line, &area)) RenameArea(number++);
    textio::WriteLine(edit.output, line, kUnchecked);
  }
  ReplaceConfiguration();
}

}  // namespace rename_pass
