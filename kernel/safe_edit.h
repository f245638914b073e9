// The one way a plug-in changes a file of the node: the file is locked
// against other runs, read, written anew into a temporary file beside it,
// and then either committed (synced, the previous file kept under a backup
// name, the new one put in its place in one step) or abandoned. At every
// moment the file's name holds its complete old or its complete new text.
#ifndef ORVANE_KERNEL_SAFE_EDIT_H
#define ORVANE_KERNEL_SAFE_EDIT_H

#include <string>

#include "platform.h"
#include "textio.h"

namespace safe_edit {

// How long a run waits for another run that edits in the same directory.
constexpr int kLockWaitSeconds = 30;

enum Outcome {
  kReady,      // the step is done; the edit goes on
  kNotOpened,  // the file could not be opened, or the temporary file created
  kLeftAlone,  // the file is one this run must not replace; nothing changed
};

// One file being edited.
struct Edit {
  std::string target;               // the file edited: the named path, links followed
  std::string tempPath;             // the temporary file beside the target
  textio::TextFile input;           // the target, read
  textio::TextFile output;          // the temporary file, written
  platform::FileInfo original;      // the target as it was opened
  platform::FileInfo temporary;     // the temporary file as it was created
  platform::Handle lock = platform::kNoHandle;  // held from Open to the end
};

// The suffix of a backup name at position 1 to 36 of the backup alphabet
// "1234567890_abcdefghijklmnopstuvwxyz"; position 36 lies past its 35
// characters and gives the empty text.
std::string BackupSuffixAt(int position);

// A backup suffix drawn afresh from the system's entropy source, each of
// the 36 positions equally likely; the error exit when there is no source.
// A failure already pending stays pending.
std::string DrawBackupSuffix();

// The file `name` beside the file being edited.
std::string Beside(const Edit& edit, const std::string& name);

// Follows the links of `path`, locks the target's directory against other
// runs (waiting up to kLockWaitSeconds) and opens the target for reading at
// its first line. kNotOpened when the file cannot be opened (missing, not
// a regular file, unreadable, an empty path); kLeftAlone when another run
// held the lock too long, or the file may not be replaced: it cannot be
// written, or it has names besides the backups of the plug-ins, which a
// replace would split from it. Either way the failure is in the slot,
// unchecked, and the lock released.
Outcome Open(Edit& edit, const std::string& path);

// Removes whatever stands under the name `name` beside the target, then
// creates it anew, exclusively, with the target's owner and mode, and
// writes its lines with the target's line end. kNotOpened when it cannot be
// created (the failure stays in the slot, and `check` applies to it);
// kLeftAlone when the name is the target's own, or the target's owner could
// not be given to it (the new file is removed again; the failure is in the
// slot, unchecked).
Outcome CreateTemporary(Edit& edit, const std::string& name,
                        textio::Check check = textio::kUnchecked);

// Whether Commit lets go of the lock: a run with more to finish under it
// keeps it, and lets go with ReleaseLock.
enum LockAfterCommit { kReleaseLock, kKeepLock };

// Ends the edit: copies what follows an end-of-file Ctrl-Z, makes the
// temporary file durable, keeps the target under `backupPath` (a second
// name, or a copy where the system refuses one) and puts the temporary
// file in the target's place; then releases the lock unless told to keep
// it. When a failure is pending already, or any of these steps fails, the
// target stays as it was, with no backup, and the temporary file stays.
// Returns true when the new file took the target's place, even when the
// directory could not be made durable afterwards (that failure is stored,
// unchecked).
bool Commit(Edit& edit, const std::string& backupPath,
            LockAfterCommit after = kReleaseLock);

// Ends an edit that will not be committed: closes what is open, without a
// word in the failure slot, and releases the lock. The target is as it was.
void Abandon(Edit& edit);

// Lets go of the lock an edit holds; nothing when it holds none.
void ReleaseLock(Edit& edit);

// Ends the run through FinishPlugin unless the step gave kReady: with
// `notOpenedCode` for kNotOpened and "04" for kLeftAlone. The step's
// failure is cleared first, so that the marker gets its code.
void FinishUnlessReady(Outcome outcome, const char* notOpenedCode);

}  // namespace safe_edit

#endif  // ORVANE_KERNEL_SAFE_EDIT_H
