// The include cleaning pass of Sweeposmith: every AREADEF line of the GoldED
// area include file whose area the Squish configuration does not define is
// removed, every other line is copied trimmed, and the include file is
// replaced through a temporary copy, keeping the previous file as a backup.
#ifndef ORVANE_SWEEPO_INCLUDE_PASS_H
#define ORVANE_SWEEPO_INCLUDE_PASS_H

#include <cstdint>
#include <string>
#include <string_view>

namespace sweepo {

// True when the Squish configuration line, untrimmed, begins with one of
// ECHOAREA, NETAREA, BADAREA, DUPEAREA, NETMAILINBOUND or NETMAILOUTBOUND in
// any case of a-z; a longer first word (EchoAreas) counts too.
bool IsAreaLine(std::string_view line);

// The area name of an area line, a-z folded: its second word (the first
// word and the blanks after it skipped, up to the next blank; empty when
// nothing follows).
std::string AreaLineName(std::string_view line);

// True when the line is an area line whose area name is `name` with a-z
// folded on both sides.
bool AreaLineNames(std::string_view line, std::string_view name);

// True when the trimmed include line begins with AREADEF in any case of a-z
// (AREADEFS too).
bool IsAreaDefLine(std::string_view trimmed);

// The trimmed AREADEF line from its ninth character on: the keyword and the
// one character after it dropped; empty for eight characters or fewer.
std::string_view AreaDefTail(std::string_view trimmed);

// The first word of an AREADEF tail, upper-cased; empty when there is none.
std::string AreaDefName(std::string_view tail);

// The temporary file's name, beside the include file.
inline constexpr char kTempFileName[] = "golded.inc.tmp.x3";

// The backup beside the include file: its directory as ExtractDir gives
// it, "\goldarea.inc. ", the suffix (perhaps empty), ".bak"; in the
// current directory when the path has no separator.
std::string BackupPathFor(const std::string& includePath,
                          const std::string& suffix);

// "Deleted/Total: D/T", D being total minus kept as signed numbers, so
// that counters that wrapped apart can give a negative D.
std::string SummaryLine(std::uint16_t total, std::uint16_t kept);

// Opens the Squish configuration (SquishPath) for reading and the include
// file (Edit1) for a safe edit, sets the counters to 0 and reads the
// configuration's area names (ReadSquishAreas). Does not return, but
// through FinishPlugin, with "01" when the configuration cannot be opened,
// is empty-named or is the temporary file, which the pass would remove;
// and with "04" when the include file cannot be opened or must be left
// alone.
void OpenInputs();

// Reads the open Squish configuration to its end and keeps the area name of
// every area line, the empty name too. A read failure is the error exit,
// before the include file is touched.
void ReadSquishAreas();

// Cleans the open include file into the temporary file, prints one
// "Processing " line per AREADEF line, and puts the cleaned file under
// Edit1 with the previous one kept as backup. Every failure ends the
// process with the error exit.
void CleanIncludeFile();

// True when the Squish configuration has an area line whose area name
// equals `name`, a-z folded: a look-up among the names ReadSquishAreas
// kept.
bool FindSquishArea(std::string_view name);

// AREADEF lines met, and those kept, modulo 65536.
std::uint16_t AreaDefTotal();
std::uint16_t AreaDefKept();

// The own work of the run after its parameters are read: OpenInputs,
// CleanIncludeFile, the pause with the summary when Check1 is set, the
// unchecked close of the Squish configuration, and FinishPlugin("00").
[[noreturn]] void RunSweep();

// Forgets the open files and the counters, for tests.
void ResetIncludePass();

}  // namespace sweepo

#endif  // ORVANE_SWEEPO_INCLUDE_PASS_H
