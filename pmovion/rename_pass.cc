// The area rename pass of Movionsmith.
//
// A run reads the configuration twice. The first reading finds every echo
// area line and the base path it names; then every area is planned, with
// nothing touched yet. The plan goes into the journal, and only then do the
// bases take their new names, as second links where the file system has
// them. The second reading writes the new configuration and the console
// lines. Once the new configuration stands, the old names go, and last the
// journal. A run stopped anywhere leaves the journal, and the next run
// mends from it first.
#include "pmovion/rename_pass.h"

#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/platform.h"
#include "kernel/safe_edit.h"
#include "kernel/sys_utils.h"
#include "kernel/textio.h"
#include "pmovion/journal.h"
#include "pmovion/message_base.h"

namespace rename_pass {
namespace {

using message_base::FoldedName;
using textio::kUnchecked;

constexpr std::size_t kFieldWindow = 255;
constexpr int kBackupPositions = 36;
constexpr std::size_t kNoMove = static_cast<std::size_t>(-1);

// What the plan says of one echo area line.
struct AreaPlan {
  enum Outcome { kUnselected, kRenamed, kNotRenamed };

  std::string tag;                // as the first reading found them
  std::string path;
  Outcome outcome = kUnselected;
  std::size_t move = kNoMove;     // its base's files in RenamePass::moves
};

// Everything one run works with.
struct RenamePass {
  safe_edit::Edit edit;                        // the configuration and its new text
  std::string backupName;                      // D\squish.cfg.?.bak, settled first
  std::string journalPath;                     // the plan while bases move
  std::vector<AreaPlan> areas;                 // every echo area line, in order
  message_base::NamedPaths namedPaths;         // the base paths they name
  std::unordered_set<std::string> givenPaths;  // new paths given, by FoldedName
  message_base::Directories directories;       // base directories listed
  std::vector<message_base::BaseMove> moves;   // the bases that take new names
  std::size_t carried = 0;                     // moves[0, carried) are done
  bool journaled = false;                      // the journal stands
  bool whole = true;                           // no base was left split
};

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

// An area whose base does not exist yet still owns the path its line
// names, so every line's path is known before the first area is planned.
void ReadAreas(RenamePass& pass) {
  while (!textio::AtEof(pass.edit.input, kUnchecked)) {
    std::string text(textio::ReadLine(pass.edit.input, kUnchecked));
    line_path::CompactBlanks(text);
    AreaLine named;
    if (!ParseAreaLine(text, &named)) continue;
    ++pass.namedPaths[FoldedName(named.path)];
    pass.areas.push_back({named.tag, named.path});
  }
  textio::ReopenAtStart(pass.edit.input, kUnchecked);
}

// Mends what a stopped run left, before this run looks at any base. False
// when the run must end here: the configuration was not read whole, so
// the names it uses are not known, or the mending failed (the journal
// stays for the next run).
bool RecoverStoppedRun(RenamePass& pass) {
  pass.journalPath = safe_edit::Beside(pass.edit, journal::kName);
  if (!textio::FailurePending()) {
    const int error = journal::Recover(pass.journalPath, pass.namedPaths);
    if (error == 0) return true;
    textio::Fail(error, "mend the bases listed in", pass.journalPath);
  }
  safe_edit::Abandon(pass.edit);
  return false;
}

// Settled before anything changes: a taken backup name found only at the
// end would leave the bases moved and the configuration unreplaced.
void SettleBackupName(RenamePass& pass) {
  std::vector<int> untried;
  for (int position = 1; position <= kBackupPositions; ++position)
    untried.push_back(position);
  while (!untried.empty()) {
    std::uint32_t draw = 0;
    textio::Fail(platform::RandomBelow(
                     static_cast<std::uint32_t>(untried.size()), &draw),
                 "draw", "the backup suffix");
    textio::CheckIo();
    pass.backupName = safe_edit::Beside(
        pass.edit,
        "squish.cfg." + safe_edit::BackupSuffixAt(untried[draw]) + ".bak");
    platform::FileInfo standing;
    // A name that cannot be looked at may well be taken.
    if (platform::IsMissing(platform::InspectPath(pass.backupName, &standing)))
      return;
    untried.erase(untried.begin() + draw);
  }
  textio::ErrorExit(platform::NameTakenError(), "keep backup of",
                    pass.edit.target);
}

// True when another line, or an area planned before, has the path.
bool PathInUse(const RenamePass& pass, const std::string& newKey,
               const std::string& oldKey) {
  auto named = pass.namedPaths.find(newKey);
  std::size_t lines = named == pass.namedPaths.end() ? 0 : named->second;
  if (newKey == oldKey) --lines;
  return lines > 0 || pass.givenPaths.count(newKey) > 0;
}

// Decides whether the area gets its new path, and which files go along.
void PlanArea(RenamePass& pass, AreaPlan& area) {
  const std::string newPath = NewBasePath({area.tag, area.path, {}});
  if (newPath.empty()) return;
  const std::string newKey = FoldedName(newPath);
  if (newPath == area.path) {
    area.outcome = AreaPlan::kRenamed;
    pass.givenPaths.insert(newKey);
    return;
  }
  area.outcome = AreaPlan::kNotRenamed;
  // Tags come with the mail from other systems: none may lead the base out
  // of its directory, or onto a device.
  if (!message_base::IsSafeBaseName(TagToBaseName(area.tag))) return;
  const std::string oldKey = FoldedName(area.path);
  // Two areas sharing one base keep sharing it, as the sysop set them up.
  if (pass.namedPaths[oldKey] > 1) return;
  if (PathInUse(pass, newKey, oldKey)) return;
  message_base::BaseMove move;
  if (message_base::PlanBaseMove(pass.directories, area.path, newPath,
                                 &move) != message_base::Found::kReady)
    return;
  area.outcome = AreaPlan::kRenamed;
  pass.givenPaths.insert(newKey);
  if (move.files.empty()) return;
  area.move = pass.moves.size();
  pass.moves.push_back(std::move(move));
}

// Gives the planned bases their new names, once the plan is safe in the
// journal. A base whose name is refused stays as it was, and its area
// keeps its line.
void MoveBases(RenamePass& pass) {
  if (pass.moves.empty() || textio::FailurePending()) return;
  if (int error = journal::Write(pass.journalPath, pass.moves)) {
    textio::Fail(error, "write", pass.journalPath);
    return;
  }
  pass.journaled = true;
  for (AreaPlan& area : pass.areas) {
    if (area.move == kNoMove) continue;
    message_base::BaseMove& move = pass.moves[area.move];
    const message_base::Renamed renamed = message_base::RenameMessageBase(move);
    if (renamed == message_base::Renamed::kSplit) {
      // The failure is pending: nothing more moves, and the journal stays
      // for the next run to mend the split base.
      area.outcome = AreaPlan::kNotRenamed;
      pass.whole = false;
      return;
    }
    if (renamed == message_base::Renamed::kNotRenamed) {
      area.outcome = AreaPlan::kNotRenamed;
      move.files.clear();
    }
    pass.carried = area.move + 1;
  }
  // The new names are durable before any configuration names them.
  if (int error = message_base::SyncDirectories(pass.moves))
    textio::Fail(error, "sync directory of", pass.moves.front().newBase);
}

// The area's line as the new configuration holds it, and its console
// line; nothing when the area was not selected and its line stays.
std::optional<std::string> RenameArea(const RenamePass& pass,
                                      const AreaPlan& plan,
                                      const AreaLine& area) {
  if (plan.outcome == AreaPlan::kUnselected) return std::nullopt;
  textio::ConsoleWrite(area.path + " -> " + area.tag + " :", kUnchecked);
  if (plan.outcome == AreaPlan::kNotRenamed) {
    textio::ConsoleLine("Not renamed", kUnchecked);
    return std::nullopt;
  }
  const std::size_t files =
      plan.move == kNoMove ? 0 : pass.moves[plan.move].files.size();
  textio::ConsoleLine("Renamed " + std::to_string(files) + " files",
                      kUnchecked);
  return "EchoArea " + area.tag + " " + NewBasePath(area) + area.remainder;
}

void WriteConfiguration(RenamePass& pass) {
  std::size_t number = 0;
  while (!textio::AtEof(pass.edit.input, kUnchecked)) {
    std::string line(textio::ReadLine(pass.edit.input, kUnchecked));
    line_path::CompactBlanks(line);
    AreaLine area;
    if (ParseAreaLine(line, &area)) {
      // The plan holds only for the file it was made from.
      if (number >= pass.areas.size() || pass.areas[number].path != area.path ||
          pass.areas[number].tag != area.tag) {
        textio::Fail(textio::kErrorDiskRead, "read", pass.edit.target);
      } else if (auto renamed = RenameArea(pass, pass.areas[number], area)) {
        line = std::move(*renamed);
      }
      ++number;
    }
    textio::WriteLine(pass.edit.output, line, kUnchecked);
  }
  if (number != pass.areas.size())
    textio::Fail(textio::kErrorDiskRead, "read", pass.edit.target);
}

// Puts the new configuration in place and settles the bases after it: the
// old names go when it stands, the new ones when it does not.
void ReplaceConfiguration(RenamePass& pass) {
  const bool replaced =
      safe_edit::Commit(pass.edit, pass.backupName, safe_edit::kKeepLock);
  bool settled = pass.whole;
  for (std::size_t i = pass.carried; i > 0; --i) {
    const message_base::BaseMove& move = pass.moves[i - 1];
    const bool done = replaced ? message_base::DropOldNames(move)
                               : message_base::TakeBack(move);
    settled = settled && done;
  }
  if (pass.carried > 0) {
    if (int error = message_base::SyncDirectories(pass.moves)) {
      textio::Fail(error, "sync directory of", pass.moves.front().oldBase);
      settled = false;
    }
  }
  // A journal that is still needed stays for the next run.
  if (pass.journaled && settled) {
    if (int error = journal::Remove(pass.journalPath))
      textio::Fail(error, "remove", pass.journalPath);
  }
  safe_edit::ReleaseLock(pass.edit);
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

std::string NewBasePath(const AreaLine& fields) {
  const std::string& path = fields.path;
  if (IsAutoNamed(path)) {
    std::string dir = path.size() > 8 ? path.substr(0, path.size() - 8) : "";
    return dir + TagToBaseName(fields.tag);
  }
  if (!orvKernel::PluginParams().Check3) return {};
  // Both separators end a directory, as both do on Windows.
  const std::size_t slash = path.find_last_of("\\/");
  const std::size_t dir = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, dir) + TagToBaseName(fields.tag);
}

void RunRenamePass() {
  RenamePass pass;
  safe_edit::FinishUnlessReady(
      safe_edit::Open(pass.edit, orvKernel::PluginParams().SquishPath),
      orvKernel::kConfigurationNotOpened);
  ReadAreas(pass);
  if (!RecoverStoppedRun(pass)) return;
  SettleBackupName(pass);
  safe_edit::FinishUnlessReady(
      safe_edit::CreateTemporary(pass.edit, "squish_.cfg.tmp"),
      orvKernel::kFileLeftAlone);
  for (AreaPlan& area : pass.areas) PlanArea(pass, area);
  MoveBases(pass);
  WriteConfiguration(pass);
  ReplaceConfiguration(pass);
}

}  // namespace rename_pass
