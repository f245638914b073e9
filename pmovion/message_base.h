// Squish message bases: where the four files of an area's base stand, in
// whatever letter case, and how they take a new name without ever being
// out of reach of the configuration that names them.
#ifndef ORVANE_PMOVION_MESSAGE_BASE_H
#define ORVANE_PMOVION_MESSAGE_BASE_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace message_base {

// The four extensions of a base, in the order they are moved.
extern const char* const kExtensions[4];

// The one name rule for every comparison of base paths, on every system:
// ASCII letters in one case and both separators alike, so that a node's
// configuration means the same wherever it is carried.
std::string FoldedName(const std::string& path);

// The base paths a configuration's echo area lines name, by FoldedName,
// each with the number of lines that name it.
using NamedPaths = std::unordered_map<std::string, std::size_t>;

// True when a base name made from an area tag is a plain name inside the
// base's directory on POSIX and Windows alike: no separator, drive colon,
// control byte or character Windows forbids, not "." or "..", and not a
// Windows device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$,
// CONOUT$), with an extension or without.
bool IsSafeBaseName(const std::string& name);

// The directory part of a base path as it is written, up to and with its
// last separator, or its drive ("C:"); empty for a bare name.
std::string DirectoryPart(const std::string& base);

// The directories looked at so far, each listed once, by directory part.
struct Listing {
  int error = 0;  // why it could not be listed; 0 when it was
  std::unordered_map<std::string, std::vector<std::string>> names;  // by FoldedName
};
using Directories = std::unordered_map<std::string, Listing>;

// One file of a base, and the name it takes.
struct FileMove {
  std::string from;
  std::string to;
  bool linked = false;  // the new name came as a second link; else a move
};

// The files of one base that take a new name, in extension order.
struct BaseMove {
  std::string oldBase;
  std::string newBase;
  std::vector<FileMove> files;
};

// What PlanBaseMove found.
enum class Found {
  kReady,         // the base may move: `move` holds its files (maybe none)
  kTargetTaken,   // a file of the new base stands already
  kCaseClash,     // two files of one base differ only in letter case
  kUnsearchable,  // a directory could not be listed
};

// Finds the files of `oldBase` in any letter case and makes sure none of
// `newBase` stands, also in any case; each new name keeps the case of the
// old file's extension. Touches no file.
Found PlanBaseMove(Directories& directories, const std::string& oldBase,
                   const std::string& newBase, BaseMove* move);

// What RenameMessageBase did.
enum class Renamed {
  kRenamed,     // every file of the move has its new name
  kNotRenamed,  // a name could not be given; the base is as it was
  kSplit,       // and not every file could be put back: the failure is
                // in the slot, unchecked
};

// Gives every file of the move its new name: a second link where the file
// system has them, so that the old name stays until the configuration no
// longer needs it; a move where it has not. A refused name takes back what
// was done for this base.
Renamed RenameMessageBase(BaseMove& move);

// Takes a move back, newest file first: a second link goes, a moved file
// returns. False, with the failure in the slot, unchecked, when a file
// could not be put back.
bool TakeBack(const BaseMove& move);

// Removes the old names that stayed as second links, now that the
// configuration names the new ones. False, with the failure in the slot,
// unchecked, when one could not be removed.
bool DropOldNames(const BaseMove& move);

// Makes the directory entries of every directory the moves touched
// durable. 0, or the error number of the first that could not be; the
// others are still tried.
int SyncDirectories(const std::vector<BaseMove>& moves);

}  // namespace message_base

#endif  // ORVANE_PMOVION_MESSAGE_BASE_H
