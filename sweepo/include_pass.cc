// The include cleaning pass of Sweeposmith.
#include "sweepo/include_pass.h"

#include "kernel/orvKernel.h"
#include "kernel/platform.h"
#include "kernel/sys_utils.h"
#include "kernel/textio.h"

namespace sweepo {
namespace {

textio::TextFile squishConfig;    // the tosser's configuration, only read
textio::TextFile includeFile;     // the GoldED area include file
textio::TextFile tempFile;        // the cleaned copy being written
std::uint16_t areaDefTotal = 0;   // AREADEF lines met
std::uint16_t areaDefKept = 0;    // AREADEF lines found and written

const std::string_view kAreaKeywords[] = {
    "ECHOAREA", "NETAREA",        "BADAREA",
    "DUPEAREA", "NETMAILINBOUND", "NETMAILOUTBOUND",
};

const std::string_view kAreaDef = "AREADEF";

unsigned char Fold(char c) {
  auto u = static_cast<unsigned char>(c);
  return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 32) : u;
}

// True when `text` begins with the upper-case `keyword`, a-z folded.
bool BeginsWith(std::string_view text, std::string_view keyword) {
  if (text.size() < keyword.size()) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i)
    if (Fold(text[i]) != static_cast<unsigned char>(keyword[i])) return false;
  return true;
}

std::size_t SkipWord(std::string_view text, std::size_t at) {
  while (at < text.size() && !sys_utils::IsBlank(text[at])) ++at;
  return at;
}

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && sys_utils::IsBlank(text[at])) ++at;
  return at;
}

std::string_view TrimBlanks(std::string_view text) {
  std::size_t first = SkipBlanks(text, 0);
  std::size_t last = text.size();
  while (last > first && sys_utils::IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// The include file is read while the temporary file is written in the
// same directory; were they one file, creating the one would empty the
// other, and likewise for the Squish configuration.
bool IsTempFile(const std::string& path) {
  const std::string& includePath = orvKernel::PluginParams().Edit1;
  return platform::SameName(TempPathFor(includePath), path);
}

}  // namespace

bool IsAreaLine(std::string_view line) {
  // Most lines of a configuration fail on their first byte, and an area
  // line begins with the keyword itself, never with a blank.
  if (line.size() < 7) return false;
  unsigned char first = Fold(line[0]);
  if (first != 'E' && first != 'N' && first != 'B' && first != 'D')
    return false;
  for (std::string_view keyword : kAreaKeywords)
    if (BeginsWith(line, keyword)) return true;
  return false;
}

std::string_view AreaNameOf(std::string_view line) {
  std::size_t start = SkipBlanks(line, SkipWord(line, 0));
  return line.substr(start, SkipWord(line, start) - start);
}

bool SameAreaName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

bool IsAreaDefLine(std::string_view trimmed) {
  return BeginsWith(trimmed, kAreaDef);
}

std::string_view AreaDefTail(std::string_view trimmed) {
  return trimmed.size() > 8 ? trimmed.substr(8) : std::string_view();
}

std::string AreaDefName(std::string_view tail) {
  std::size_t start = SkipBlanks(tail, 0);
  return sys_utils::UpperCase(tail.substr(start, SkipWord(tail, start) - start));
}

std::string TempPathFor(const std::string& includePath) {
  return orvKernel::ExtractDir(includePath) + "\\golded.inc.tmp.x3";
}

std::string BackupPathFor(const std::string& includePath,
                          const std::string& suffix) {
  return orvKernel::ExtractDir(includePath) + "\\goldarea.inc. " + suffix +
         ".bak";
}

std::string SummaryLine(std::uint16_t total, std::uint16_t kept) {
  int deleted = static_cast<int>(total) - static_cast<int>(kept);
  return "Deleted/Total: " + std::to_string(deleted) + "/" +
         std::to_string(total);
}

void OpenInputs() {
  const orvKernel::Params& params = orvKernel::PluginParams();
  // An empty path names no file: the run could neither reread the
  // configuration nor put the cleaned include file back by its name.
  if (params.SquishPath.empty() || IsTempFile(params.SquishPath))
    orvKernel::FinishPlugin("01");
  textio::Reset(squishConfig, params.SquishPath, textio::kUnchecked);
  if (!textio::IoOk()) orvKernel::FinishPlugin("01");
  if (params.Edit1.empty() || IsTempFile(params.Edit1))
    orvKernel::FinishPlugin("04");
  textio::Reset(includeFile, params.Edit1, textio::kUnchecked);
  if (!textio::IoOk()) orvKernel::FinishPlugin("04");
  areaDefTotal = 0;
  areaDefKept = 0;
}

void CleanIncludeFile() {
  const std::string& includePath = orvKernel::PluginParams().Edit1;
  const std::string tempPath = TempPathFor(includePath);
  textio::Rewrite(tempFile, tempPath);
  while (!textio::AtEof(includeFile)) {
    // The line stays in the include file's buffer while the configuration
    // is searched, since only the include file's next read moves it.
    std::string_view line = TrimBlanks(textio::ReadLine(includeFile));
    if (!IsAreaDefLine(line)) {
      textio::WriteLine(tempFile, line);
      continue;
    }
    std::string_view tail = AreaDefTail(line);
    std::string name = AreaDefName(tail);
    textio::ConsoleLine("Processing " + name);
    ++areaDefTotal;
    if (!FindSquishArea(name)) continue;
    textio::Write(tempFile, "AREADEF ");
    textio::WriteLine(tempFile, tail);
    ++areaDefKept;
  }
  // The cleaned copy is on disk before it takes the include file's name,
  // so that a machine stopping right after finds a whole file there.
  textio::Sync(tempFile);
  textio::Close(tempFile);
  textio::Close(includeFile);
  textio::ReplaceWithBackup(
      includePath, tempPath,
      BackupPathFor(includePath, orvKernel::DrawBackupSuffix()));
}

bool FindSquishArea(std::string_view name) {
  textio::Reopen(squishConfig);
  while (!textio::AtEof(squishConfig)) {
    std::string_view line = textio::ReadLine(squishConfig);
    if (IsAreaLine(line) && SameAreaName(AreaNameOf(line), name)) return true;
  }
  return false;
}

std::uint16_t AreaDefTotal() { return areaDefTotal; }
std::uint16_t AreaDefKept() { return areaDefKept; }

void RunSweep() {
  OpenInputs();
  CleanIncludeFile();
  if (orvKernel::PluginParams().Check1)
    orvKernel::EndOfRunPause(SummaryLine(areaDefTotal, areaDefKept));
  // Left unchecked: a failure here reaches FinishPlugin, which then leaves
  // the marker empty and exits with 101.
  textio::Close(squishConfig, textio::kUnchecked);
  orvKernel::FinishPlugin("00");
}

void ResetIncludePass() {
  squishConfig = textio::TextFile();
  includeFile = textio::TextFile();
  tempFile = textio::TextFile();
  areaDefTotal = 0;
  areaDefKept = 0;
}

}  // namespace sweepo
