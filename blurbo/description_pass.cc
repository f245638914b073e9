// The description pass.
#include "blurbo/description_pass.h"

#include "blurbo/area_line.h"
#include "blurbo/description_list.h"
#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/safe_edit.h"
#include "kernel/textio.h"

namespace blurbo {
namespace {

// Big nodes print thousands of "Echo:" lines, and one console write per
// line costs more than the whole copy; they go out in blocks instead.
constexpr std::size_t kConsoleBlock = 8 * 1024;

}  // namespace

std::string BackupName(const std::string& squishPath,
                       const std::string& suffix) {
  return line_path::SiblingPath(squishPath,
                                "squish.cfg.areas" + suffix + ".bak");
}

void RunDescriptionPass() {
  const orvKernel::Params& params = orvKernel::PluginParams();
  safe_edit::Edit edit;
  safe_edit::FinishUnlessReady(safe_edit::Open(edit, params.SquishPath),
                               orvKernel::kConfigurationNotOpened);
  safe_edit::FinishUnlessReady(
      safe_edit::CreateTemporary(edit, kTempFileName),
      orvKernel::kFileLeftAlone);
  const std::string backup =
      BackupName(edit.target, safe_edit::DrawBackupSuffix());

  ReadDescriptionList();

  std::string line;
  std::string echoes;
  while (!textio::AtEof(edit.input, textio::kUnchecked)) {
    line = textio::ReadLine(edit.input, textio::kUnchecked);
    line_path::CompactBlanks(line);
    AreaLine rewritten = RewriteAreaLine(line, params.Check1, params.Check2);
    if (rewritten.isArea) {
      echoes.append("Echo:").append(rewritten.tag).append("\r\n");
      if (echoes.size() >= kConsoleBlock) {
        textio::ConsoleWrite(echoes);
        echoes.clear();
      }
    }
    textio::WriteLine(edit.output, rewritten.line, textio::kUnchecked);
  }
  // Out before anything below can end the run, so no line is lost.
  if (!echoes.empty()) textio::ConsoleWrite(echoes);
  ResetDescriptionList();
  safe_edit::Commit(edit, backup);
}

}  // namespace blurbo
