// The plug-in run protocol: the parameter file, the completion marker and
// exit codes, and the fixed steps of every plug-in's main program.
#ifndef ORVANE_KERNEL_ORVKERNEL_H
#define ORVANE_KERNEL_ORVKERNEL_H

#include <cstdint>
#include <string>

namespace orvKernel {

// The result codes of the completion marker.
inline constexpr char kCompleted[] = "00";
// The Squish configuration cannot be opened for reading.
inline constexpr char kConfigurationNotOpened[] = "01";
// The parameter file cannot be opened.
inline constexpr char kParametersNotOpened[] = "03";
// The file to be edited is left alone before any change: its temporary
// file cannot be created, it cannot be kept as the node keeps it, another
// run holds it too long, or (sweepo) the include file cannot be opened.
inline constexpr char kFileLeftAlone[] = "04";
// The description list cannot be opened.
inline constexpr char kListNotOpened[] = "05";

// The parameter set, filled once from the parameter file.
struct Params {
  std::string Edit1;
  std::string Edit2;
  std::string Edit3;
  std::string Edit4;
  bool Check1 = false;
  bool Check2 = false;
  bool Check3 = false;
  bool Check4 = false;
  std::int16_t Radio = 0;
  std::string SquishPath;  // the Squish configuration file itself
};

// What tells one plug-in from another.
struct Plugin {
  const char* banner;  // "Blurbosmith v1.0 for Orvane"
  const char* stem;    // "Blurbor": Blurbor.dat and Blurbor.End
};

// The parameters as ReadPluginParams left them.
const Params& PluginParams();

// Sets the parameters (empty by default) and the plug-in's file name stem,
// for tests.
void ResetPluginParams(const Params& params = Params(),
                       const std::string& stem = std::string());

// The run's first steps: deletes the stale marker, prints the banner, ends
// with exit code 0 and the "Run Orvane, then" line unless the first argument
// is "Exec", and reads the parameter file (marker "03" when it is missing).
void StartPlugin(const Plugin& plugin, int argc, char** argv);

// Fills PluginParams from the plug-in's parameter file; does not return but
// through FinishPlugin("03") when the file cannot be opened.
void ReadPluginParams();

// The end-of-run pause: the hyphens, `summary` when it is not empty, an
// empty line, "Press Enter to Continue...", then one line of input.
void EndOfRunPause(const std::string& summary = std::string());

// Writes `code` into the completion marker and exits with 100; exits with
// 101, leaving the marker empty or absent, when it cannot be created or a
// failure is pending.
[[noreturn]] void FinishPlugin(const std::string& code);

}  // namespace orvKernel

#endif  // ORVANE_KERNEL_ORVKERNEL_H
