// The description pass.
#include "blurbo/description_pass.h"

#include "blurbo/area_line.h"
#include "blurbo/description_list.h"
#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/platform.h"
#include "kernel/textio.h"

namespace blurbo {
namespace {

// Big nodes print thousands of "Echo:" lines, and one console write per
// line costs more than the whole copy; they go out in blocks instead.
constexpr std::size_t kConsoleBlock = 8 * 1024;

}  // namespace

std::string TempFileName(const std::string& squishPath) {
  return line_path::ExtractDir(squishPath) + "\\squish_.cfg.tmp";
}

std::string BackupName(const std::string& squishPath,
                       const std::string& suffix) {
  return line_path::ExtractDir(squishPath) + "\\squish.cfg.areas" + suffix +
         ".bak";
}

void RunDescriptionPass() {
  const orvKernel::Params& params = orvKernel::PluginParams();
  const std::string& squishPath = params.SquishPath;
  if (squishPath.empty()) orvKernel::FinishPlugin(orvKernel::kConfigurationNotOpened);
  textio::TextFile config;
  textio::OpenForReading(config, squishPath, textio::kUnchecked);
  if (textio::ReadAndClearFailure() != 0) orvKernel::FinishPlugin(orvKernel::kConfigurationNotOpened);

  const std::string tempName = TempFileName(squishPath);
  // Creating the temporary file would empty a configuration of that name.
  if (platform::SameName(tempName, squishPath)) orvKernel::FinishPlugin(orvKernel::kFileLeftAlone);
  textio::TextFile temp;
  textio::CreateForWriting(temp, tempName, textio::kUnchecked);
  if (textio::ReadAndClearFailure() != 0) orvKernel::FinishPlugin(orvKernel::kFileLeftAlone);
  const std::string backup =
      BackupName(squishPath, orvKernel::DrawBackupSuffix());

  ReadDescriptionList();

  std::string line;
  std::string echoes;
  while (!textio::AtEof(config, textio::kUnchecked)) {
    line = textio::ReadLine(config, textio::kUnchecked);
    line_path::CompactBlanks(line);
    AreaLine rewritten = RewriteAreaLine(line, params.Check1, params.Check2);
    if (rewritten.isArea) {
      echoes.append("Echo:").append(rewritten.tag).append("\r\n");
      if (echoes.size() >= kConsoleBlock) {
        textio::ConsoleWrite(echoes);
        echoes.clear();
      }
    }
    textio::WriteLine(temp, rewritten.line, textio::kUnchecked);
  }
  // Out before anything below can end the run, so no line is lost.
  if (!echoes.empty()) textio::ConsoleWrite(echoes);
  ResetDescriptionList();
  textio::Close(config, textio::kUnchecked);

  textio::Sync(temp, textio::kUnchecked);
  textio::Close(temp, textio::kUnchecked);
  // A temporary file whose reading or writing failed never takes the
  // configuration's place; the failure stays pending for the marker.
  if (textio::FailurePending()) return;
  textio::ReplaceWithBackup(squishPath, tempName, backup, textio::kUnchecked);
}

}  // namespace blurbo
