// The include cleaning pass of Sweeposmith.
#include "sweepo/include_pass.h"

#include <cstring>

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

// Every configuration line is tested for an area keyword once for every
// AREADEF line, so the test compares eight bytes at a time. The keywords
// are letters only, and for a letter clearing bit 5 of a byte folds a-z
// onto A-Z and nothing else.
std::uint64_t Load8(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// The first eight bytes of the text, padded with zeros.
std::uint64_t Head8(std::string_view text) {
  if (text.size() >= 8) return Load8(text.data());
  char bytes[8] = {};
  std::memcpy(bytes, text.data(), text.size());
  return Load8(bytes);
}

constexpr std::size_t kShortestKeyword = 7;
const std::uint64_t kFold7 = Head8("\xdf\xdf\xdf\xdf\xdf\xdf\xdf");
const std::uint64_t kFold8 = Head8("\xdf\xdf\xdf\xdf\xdf\xdf\xdf\xdf");
const std::uint64_t kNetArea = Head8("NETAREA");
const std::uint64_t kBadArea = Head8("BADAREA");
const std::uint64_t kEchoArea = Head8("ECHOAREA");
const std::uint64_t kDupeArea = Head8("DUPEAREA");
const std::uint64_t kNetmailI = Head8("NETMAILI");   // NETMAILINBOUND 1-8
const std::uint64_t kLInbound = Head8("LINBOUND");   // NETMAILINBOUND 7-14
const std::uint64_t kNetmailO = Head8("NETMAILO");   // NETMAILOUTBOUND 1-8
const std::uint64_t kOutbound = Head8("OUTBOUND");   // NETMAILOUTBOUND 8-15

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
  if (line.size() < kShortestKeyword) return false;
  const std::uint64_t head = Head8(line);
  if ((head & kFold7) == kNetArea || (head & kFold7) == kBadArea) return true;
  if (line.size() < 8) return false;
  const std::uint64_t head8 = head & kFold8;
  if (head8 == kEchoArea || head8 == kDupeArea) return true;
  if (head8 == kNetmailI)
    return line.size() >= 14 && (Load8(line.data() + 6) & kFold8) == kLInbound;
  if (head8 == kNetmailO)
    return line.size() >= 15 && (Load8(line.data() + 7) & kFold8) == kOutbound;
  return false;
}

bool AreaLineNames(std::string_view line, std::string_view name) {
  if (!IsAreaLine(line)) return false;
  // The keyword's letters are no blanks, so the first word runs on past
  // them at least.
  std::size_t start = SkipBlanks(line, SkipWord(line, kShortestKeyword));
  if (line.size() - start < name.size()) return false;
  std::size_t end = start + name.size();
  if (end < line.size() && !sys_utils::IsBlank(line[end])) return false;
  // Area tags tend to share their beginnings (FIDO.AREA.1, FIDO.AREA.2),
  // so the comparison starts from the end, where they differ.
  for (std::size_t i = name.size(); i-- > 0;)
    if (Fold(line[start + i]) != Fold(name[i])) return false;
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
}

void CleanIncludeFile() {
  safe_edit::FinishUnlessReady(
      safe_edit::CreateTemporary(include, kTempFileName, textio::kChecked),
      orvKernel::kFileLeftAlone);
  while (!textio::AtEof(include.input)) {
    // The line stays in the include file's buffer while the configuration
    // is searched, since only the include file's next read moves it.
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
  textio::ReopenAtStart(squishConfig);
  while (!textio::AtEof(squishConfig)) {
    std::string_view line = textio::ReadLine(squishConfig);
    if (AreaLineNames(line, name)) return true;
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
  orvKernel::FinishPlugin(orvKernel::kCompleted);
}

void ResetIncludePass() {
  squishConfig = textio::TextFile();
  include = safe_edit::Edit();
  areaDefTotal = 0;
  areaDefKept = 0;
}

}  // namespace sweepo
