// The plug-in run protocol.
#include "orvKernel.h"

#include <cstring>

#include "cfgfile.h"
#include "platform.h"
#include "textio.h"

namespace orvKernel {
namespace {

Params params;             // the parameter set of this run
std::string stem;          // the running plug-in's file name stem

}  // namespace

const Params& PluginParams() { return params; }

void ResetPluginParams(const Params& values, const std::string& pluginStem) {
  params = values;
  stem = pluginStem;
}

void StartPlugin(const Plugin& plugin, int argc, char** argv) {
  platform::PrepareProcess();
  stem = plugin.stem;
  // A marker found after the run must come from this run; that there was
  // none to delete is the usual case and no failure.
  textio::DeleteFile(stem + ".End", textio::kUnchecked);
  textio::ClearFailure();
  textio::ConsoleLine(std::string(plugin.banner) + "\r");
  const char* argument = argc > 1 && argv[1] != nullptr ? argv[1] : "";
  if (std::strcmp(argument, "Exec") != 0) {
    textio::ConsoleLine("Run Orvane, then " + platform::ExecutablePath() +
                        " !!!");
    platform::Exit(0);
  }
  ReadPluginParams();
}

void ReadPluginParams() {
  if (!cfgfile::OpenKeywordFile(stem + ".dat")) FinishPlugin(kParametersNotOpened);
  params.Edit1 = cfgfile::ReadKeyString("Edit1");
  params.Edit2 = cfgfile::ReadKeyString("Edit2");
  params.Edit3 = cfgfile::ReadKeyString("Edit3");
  params.Edit4 = cfgfile::ReadKeyString("Edit4");
  params.Radio = static_cast<std::int16_t>(
      static_cast<std::uint16_t>(cfgfile::ReadKeyInteger("Radio")));
  params.Check1 = cfgfile::ReadKeyString("Check1") == "TRUE";
  params.Check2 = cfgfile::ReadKeyString("Check2") == "TRUE";
  params.Check3 = cfgfile::ReadKeyString("Check3") == "TRUE";
  params.Check4 = cfgfile::ReadKeyString("Check4") == "TRUE";
  params.SquishPath = cfgfile::ReadKeyString("SquishPath");
  cfgfile::CloseKeywordFile();
}

void EndOfRunPause(const std::string& summary) {
  textio::ConsoleLine("-------------------");
  if (!summary.empty()) textio::ConsoleLine(summary);
  textio::ConsoleLine("");
  textio::ConsoleLine("Press Enter to Continue...");
  textio::ReadInputLine();
}

void FinishPlugin(const std::string& code) {
  textio::TextFile marker(16);
  textio::CreateForWriting(marker, stem + ".End", textio::kUnchecked);
  if (textio::ReadAndClearFailure() != 0) platform::Exit(101);
  textio::Write(marker, code);
  textio::Close(marker);
  platform::Exit(100);
}

}  // namespace orvKernel
