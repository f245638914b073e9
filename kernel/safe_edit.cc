// The safe edit of a node's file.
#include "safe_edit.h"

#include <cerrno>
#include <vector>

#include "line_path.h"
#include "orvKernel.h"

namespace safe_edit {
namespace {

using textio::kUnchecked;

const char kBackupAlphabet[] = "1234567890_abcdefghijklmnopstuvwxyz";
constexpr int kBackupPositions = 36;

// The backup names of blurbo, pmovion and sweepo, around their suffix.
// blurbo's and pmovion's are both second names of the one configuration,
// and a run killed between its backup and its replace leaves one behind.
const char* const kBackupNames[][2] = {
    {"squish.cfg.areas", ".bak"},
    {"squish.cfg.", ".bak"},
    {"goldarea.inc. ", ".bak"},
};

constexpr std::size_t kCopyBlock = 64 * 1024;

// The names the target has besides its own and the plug-ins' backups.
std::uint32_t ForeignNames(const Edit& edit) {
  std::uint32_t names = edit.original.links - 1;
  for (const auto& backup : kBackupNames) {
    for (int position = 1; position <= kBackupPositions && names > 0;
         ++position) {
      platform::FileInfo info;
      std::string name = std::string(backup[0]) + BackupSuffixAt(position) +
                         backup[1];
      if (platform::InspectPath(Beside(edit, name), &info) == 0 &&
          platform::SameFile(info, edit.original))
        --names;
    }
  }
  return names;
}

Outcome NotOpened(Edit& edit) {
  ReleaseLock(edit);
  return kNotOpened;
}

Outcome LeftAlone(Edit& edit, int error, const char* operation,
                  const std::string& path) {
  textio::Fail(error, operation, path);
  ReleaseLock(edit);
  return kLeftAlone;
}

// Writes the target's bytes under the backup name, for a system that gives
// the file no second name there (FAT, a network share, protected links).
// On failure the partial copy goes again.
int CopyToBackup(const Edit& edit, const std::string& backupPath) {
  platform::Handle in = platform::kNoHandle;
  platform::Handle out = platform::kNoHandle;
  int error = platform::CreateExclusive(backupPath, &out);
  if (error != 0) return error;
  error = platform::KeepOwnerAndMode(out, edit.original);
  if (error == 0) error = platform::OpenRead(edit.target, &in);
  std::vector<char> block(kCopyBlock);
  while (error == 0) {
    std::size_t got = 0;
    error = platform::Read(in, block.data(), block.size(), &got);
    if (error != 0 || got == 0) break;
    error = platform::Write(out, block.data(), got);
  }
  if (error == 0) error = platform::Sync(out);
  if (in != platform::kNoHandle) platform::Close(in);
  int closed = platform::Close(out);
  if (error == 0) error = closed;
  if (error != 0) platform::Delete(backupPath);
  return error;
}

// The target under the backup name, then the new file in its place.
bool KeepBackupAndReplace(const Edit& edit, const std::string& backupPath) {
  int error = platform::Link(edit.target, backupPath);
  // A backup of that name is an earlier run's, and stays as it is.
  if (error == platform::NameTakenError()) {
    textio::Fail(error, "keep backup", backupPath);
    return false;
  }
  // Any other refusal of a second name leaves a copy: the original never
  // leaves its name, so no moment finds the node without it.
  if (error != 0 && (error = CopyToBackup(edit, backupPath)) != 0) {
    textio::Fail(error, "keep backup", backupPath);
    return false;
  }
  platform::FileInfo now;
  error = platform::InspectPath(edit.tempPath, &now);
  // Only the file this run wrote may become the node's.
  if (error == 0 && !platform::SameFile(now, edit.temporary))
    error = platform::NameTakenError();
  if (error == 0) error = platform::Replace(edit.tempPath, edit.target);
  if (error != 0) {
    platform::Delete(backupPath);
    textio::Fail(error, "replace", edit.target);
    return false;
  }
  textio::Fail(platform::SyncDirectoryOf(edit.target), "sync directory of",
               edit.target);
  return true;
}

}  // namespace

std::string BackupSuffixAt(int position) {
  if (position < 1 || position >= kBackupPositions) return {};
  return std::string(1, kBackupAlphabet[position - 1]);
}

std::string DrawBackupSuffix() {
  std::uint32_t draw = 0;
  // Only the draw's own failure ends the run here: a failure that an
  // earlier, unchecked step left pending is the caller's to report.
  if (int error = platform::RandomBelow(kBackupPositions, &draw))
    textio::ErrorExit(error, "draw", "the backup suffix");
  return BackupSuffixAt(static_cast<int>(draw) + 1);
}

std::string Beside(const Edit& edit, const std::string& name) {
  return line_path::SiblingPath(edit.target, name);
}

Outcome Open(Edit& edit, const std::string& path) {
  edit.target.clear();
  // An empty name names no file, whatever a system makes of it.
  if (path.empty()) {
    textio::Fail(textio::kErrorNotOpen, "open", path);
    return kNotOpened;
  }
  int error = platform::ResolveLinks(path, &edit.target);
  if (error != 0) {
    textio::Fail(error, "open", path);
    return kNotOpened;
  }
  // Taken before the first read, so that a run that waited reads the file
  // as the run before it left it.
  error = platform::LockDirectoryOf(edit.target, kLockWaitSeconds, &edit.lock);
  if (error != 0) return LeftAlone(edit, error, "lock", edit.target);
  // Asked before the file is open here: on Windows the run's own read
  // handle would refuse the test's write access.
  error = platform::CheckWritable(edit.target);
  textio::OpenForReading(edit.input, edit.target, kUnchecked);
  if (textio::FailurePending()) return NotOpened(edit);
  if (error != 0) return LeftAlone(edit, error, "write", edit.target);
  error = platform::Inspect(edit.input.handle, &edit.original);
  if (error != 0) {
    textio::Fail(error, "open", edit.target);
    return NotOpened(edit);
  }
  // Replacing a file with other names would part it from them.
  if (edit.original.links > 1 && ForeignNames(edit) > 0)
    return LeftAlone(edit, EMLINK, "replace, as it has other names,",
                     edit.target);
  const bool lf = platform::KeepsLfLineEnds() &&
                  textio::FirstLineEndsInLf(edit.input, kUnchecked);
  if (textio::FailurePending()) return NotOpened(edit);
  edit.output.lineEnd = lf ? "\n" : "\r\n";
  return kReady;
}

Outcome CreateTemporary(Edit& edit, const std::string& name,
                        textio::Check check) {
  edit.tempPath = Beside(edit, name);
  platform::FileInfo standing;
  // The temporary name is the target's own: removing it would remove the
  // very file being edited.
  if (platform::InspectPath(edit.tempPath, &standing) == 0 &&
      platform::SameFile(standing, edit.original))
    return LeftAlone(edit, platform::NameTakenError(), "create",
                     edit.tempPath);
  // Whatever stands there, a crashed run's file or a planted link, goes;
  // the new file is then made afresh and never through a link.
  platform::Delete(edit.tempPath);
  textio::CreateNew(edit.output, edit.tempPath, check);
  if (textio::FailurePending()) return NotOpened(edit);
  int error = platform::KeepOwnerAndMode(edit.output.handle, edit.original);
  if (error == 0) error = platform::Inspect(edit.output.handle, &edit.temporary);
  if (error != 0) {
    textio::Close(edit.output, kUnchecked);
    platform::Delete(edit.tempPath);
    return LeftAlone(edit, error, "keep owner and mode of", edit.target);
  }
  return kReady;
}

void ReleaseLock(Edit& edit) {
  if (edit.lock == platform::kNoHandle) return;
  platform::Unlock(edit.lock);
  edit.lock = platform::kNoHandle;
}

void Abandon(Edit& edit) {
  for (textio::TextFile* file : {&edit.input, &edit.output}) {
    if (file->handle == platform::kNoHandle) continue;
    platform::Close(file->handle);
    file->handle = platform::kNoHandle;
  }
  ReleaseLock(edit);
}

bool Commit(Edit& edit, const std::string& backupPath, LockAfterCommit after) {
  textio::CopyRest(edit.input, edit.output, kUnchecked);
  // The new text is on disk before it takes the file's name, so that a
  // machine stopping right after finds a whole file there.
  textio::Sync(edit.output, kUnchecked);
  textio::Close(edit.output, kUnchecked);
  textio::Close(edit.input, kUnchecked);
  // A temporary file whose reading or writing failed never takes the
  // file's place; the failure stays pending for the marker.
  const bool replaced =
      !textio::FailurePending() && KeepBackupAndReplace(edit, backupPath);
  if (after == kReleaseLock) ReleaseLock(edit);
  return replaced;
}

void FinishUnlessReady(Outcome outcome, const char* notOpenedCode) {
  if (outcome == kReady) return;
  textio::ClearFailure();
  orvKernel::FinishPlugin(outcome == kNotOpened ? notOpenedCode
                                                : orvKernel::kFileLeftAlone);
}

}  // namespace safe_edit
