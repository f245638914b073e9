// An in-memory stand-in for the operating system, linked into unit tests in
// place of the real platform: files live in a map, every change is recorded
// in a journal, and any call can be made to fail on demand.
#ifndef ORVANE_TESTS_FAKE_PLATFORM_H
#define ORVANE_TESTS_FAKE_PLATFORM_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fakefs {

// The calls that can be made to fail.
enum class Op { kOpenRead, kOpenWrite, kRead, kWrite, kSync, kClose, kDelete,
                kMove, kLink, kReplace, kSyncDirectory, kConsoleWrite,
                kReadInput, kRandom, kKeepOwner, kInspect, kCheckWritable,
                kLock, kList };

// Forgets every file, failure, journal entry, console byte and draw.
void Reset();

// Puts a file with these bytes under the path, replacing one that is there.
void SetFile(const std::string& path, const std::string& contents);

// True when a file stands under the path.
bool HasFile(const std::string& path);

// The bytes of the file under the path; empty when there is none.
std::string FileContents(const std::string& path);

// Every file, by path.
const std::map<std::string, std::string>& Files();

// Makes every later call of `op` on `path` fail with `error`; an empty path
// makes it fail on every path. `times` limits how often (0: always).
void FailOn(Op op, const std::string& path, int error, int times = 0);

// Makes Link report a file system without hard links.
void SetLinksUnsupported(bool unsupported);

// Makes `link` a second name of the file under `existing`, as a hard link.
void AddLink(const std::string& existing, const std::string& link);

// Makes the platform keep LF line ends, as POSIX does (default: no).
void SetKeepsLfLineEnds(bool keeps);

// True while a lock taken by LockDirectoryOf is held.
bool LockHeld();

// What changed on the "disk", in order: "move A -> B", "link A -> B",
// "replace A -> B", "delete A", "create A" (also for CreateExclusive).
const std::vector<std::string>& Journal();

// All bytes written to standard output.
const std::string& ConsoleOutput();

// The draws RandomBelow gives back, in order; 0 when they run out.
void SetDraws(const std::vector<std::uint32_t>& draws);

// Makes the child of a death test print what `report` gives as it exits,
// on standard error, for the parent to match: what it leaves behind.
void ReportAtExit(std::function<std::string()> report);

// For ReportAtExit: "marker <contents>" of the completion marker on the
// "disk", or "no marker".
std::string MarkerReport(const std::string& marker);

// The error number the fake uses for a missing file and an existing target.
constexpr int kNoEntry = 2;
constexpr int kExists = 17;
constexpr int kLinkUnsupported = 1;
constexpr int kLockBusy = 11;

}  // namespace fakefs

#endif  // ORVANE_TESTS_FAKE_PLATFORM_H
