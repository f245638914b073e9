// The include cleaning pass of Sweeposmith.
#include "sweepo/include_pass.h"

#include <unordered_set>

#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/platform.h"
#include "kernel/safe_edit.h"
#include "kernel/sys_utils.h"
#include "kernel/textio.h"

namespace sweepo {
namespace {

textio::TextFile squishConfig;    // the tosser's configuration, only read
safe_edit::Edit include;          // the GoldED area include file and its copy
std::uint16_t areaDefTotal = 0;   // AREADEF lines met
std::uint16_t areaDefKept = 0;    // AREADEF lines found and written
// The area names of the configuration's area lines, a-z folded.
std::unordered_set<std::string> squishAreas;

// The keywords of the Squish configuration's area lines. NETAREA and
// BADAREA are the shortest.
constexpr std::string_view kAreaKeywords[] = {
    "ECHOAREA", "NETAREA", "BADAREA", "DUPEAREA", "NETMAILINBOUND",
    "NETMAILOUTBOUND"};
constexpr std::size_t kShortestKeyword = 7;

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

// The temporary file is made anew in the include file's directory; were
// the Squish configuration that file, the making would remove it.
bool ConfigurationIsTempFile() {
  platform::FileInfo config;
  platform::FileInfo temp;
  return platform::Inspect(squishConfig.handle, &config) == 0 &&
         platform::InspectPath(safe_edit::Beside(include, kTempFileName),
                               &temp) == 0 &&
         platform::SameFile(config, temp);
}

}  // namespace

bool IsAreaLine(std::string_view line) {
  for (std::string_view keyword : kAreaKeywords)
    if (BeginsWith(line, keyword)) return true;
  return false;
}

std::string AreaLineName(std::string_view line) {
  // The keyword's letters are no blanks, so the first word runs on past
  // them at least.
  std::size_t start = SkipBlanks(line, SkipWord(line, kShortestKeyword));
  return sys_utils::UpperCase(line.substr(start, SkipWord(line, start) - start));
}

bool AreaLineNames(std::string_view line, std::string_view name) {
  return IsAreaLine(line) && AreaLineName(line) == sys_utils::UpperCase(name);
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

std::string BackupPathFor(const std::string& includePath,
                          const std::string& suffix) {
  return line_path::SiblingPath(includePath,
                                "goldarea.inc. " + suffix + ".bak");
}

std::string SummaryLine(std::uint16_t total, std::uint16_t kept) {
  int deleted = static_cast<int>(total) - static_cast<int>(kept);
  return "Deleted/Total: " + std::to_string(deleted) + "/" +
         std::to_string(total);
}

void OpenInputs() {
  const orvKernel::Params& params = orvKernel::PluginParams();
  // An empty path names no file: the run could not reread the
  // configuration by its name.
  if (params.SquishPath.empty())
    orvKernel::FinishPlugin(orvKernel::kConfigurationNotOpened);
  textio::OpenForReading(squishConfig, params.SquishPath, textio::kUnchecked);
  if (textio::ReadAndClearFailure() != 0)
    orvKernel::FinishPlugin(orvKernel::kConfigurationNotOpened);
  safe_edit::FinishUnlessReady(safe_edit::Open(include, params.Edit1),
                               orvKernel::kFileLeftAlone);
  if (ConfigurationIsTempFile())
    orvKernel::FinishPlugin(orvKernel::kConfigurationNotOpened);
  areaDefTotal = 0;
  areaDefKept = 0;
  ReadSquishAreas();
}

void ReadSquishAreas() {
  squishAreas.clear();
  while (!textio::AtEof(squishConfig)) {
    std::string_view line = textio::ReadLine(squishConfig);
    if (IsAreaLine(line)) squishAreas.insert(AreaLineName(line));
  }
}

void CleanIncludeFile() {
  safe_edit::FinishUnlessReady(
      safe_edit::CreateTemporary(include, kTempFileName, textio::kChecked),
      orvKernel::kFileLeftAlone);
  while (!textio::AtEof(include.input)) {
    std::string_view line = TrimBlanks(textio::ReadLine(include.input));
    if (!IsAreaDefLine(line)) {
      textio::WriteLine(include.output, line);
      continue;
    }
    std::string_view tail = AreaDefTail(line);
    std::string name = AreaDefName(tail);
    textio::ConsoleLine("Processing " + name);
    ++areaDefTotal;
    if (!FindSquishArea(name)) continue;
    textio::Write(include.output, "AREADEF ");
    textio::WriteLine(include.output, tail);
    ++areaDefKept;
  }
  safe_edit::Commit(include,
                    BackupPathFor(include.target, safe_edit::DrawBackupSuffix()));
  textio::CheckIo();
}

bool FindSquishArea(std::string_view name) {
  return squishAreas.count(sys_utils::UpperCase(name)) > 0;
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
  orvKernel::FinishPlugin(orvKernel::kCompleted);
}

void ResetIncludePass() {
  squishConfig = textio::TextFile();
  include = safe_edit::Edit();
  areaDefTotal = 0;
  areaDefKept = 0;
  squishAreas.clear();
}

}  // namespace sweepo
