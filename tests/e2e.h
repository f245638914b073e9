// The end-to-end runner: starts a real plug-in program in a scratch
// directory of its own and gives back what it printed and its exit code.
//
// The program is found as $ORVANE_BIN_DIR/<name>$ORVANE_EXE_SUFFIX and
// started through $ORVANE_RUNNER when that is set (for instance wine), so
// the same cases run against the native and the Windows build.
#ifndef ORVANE_TESTS_E2E_H
#define ORVANE_TESTS_E2E_H

#include <map>
#include <string>
#include <vector>

namespace e2e {

struct Result {
  std::string out;  // every byte of standard output
  int exitCode;     // the exit status, or -1 when killed by a signal
};

struct RunOptions {
  std::vector<std::string> args = {"Exec"};  // after the program's name
  std::string stdoutPath;  // empty: captured; else the file stdout goes to
  std::string stdinText;   // standard input; empty: /dev/null
  // A name in the scratch directory whose every write fails with ENOSPC, as
  // on a full disk; strace injects the failure, natively and under Wine.
  std::string failWritesTo;
  // Options for strace, which then starts the program (-f and -qq given).
  std::vector<std::string> strace;
  int uid = -1;    // the user the program runs as, groups dropped; -1: ours
  int gid = -1;    // its group
  int umask = -1;  // its file mode creation mask; -1: ours
};

// A scratch directory under /tmp, made fresh and removed at the end.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  // The POSIX path of the directory, or of a name inside it.
  const std::string& Dir() const { return dir_; }
  std::string Path(const std::string& name) const;

  // The same place as a drive-less Windows path ("\tmp\...\name"), as a
  // parameter file names it; it names the same file natively and under Wine.
  std::string WinPath(const std::string& name = "") const;

  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  bool Has(const std::string& name) const;
  void MakeDir(const std::string& name) const;

  // Every file and directory below the scratch directory with its bytes
  // ("<dir>" for a directory, "<link>" for a symbolic link), by name
  // relative to it. The Windows build's lock file "orvane.lck", which
  // stays where a run has locked, is left out.
  std::map<std::string, std::string> Tree() const;

  // Starts the plug-in with this directory as its working directory.
  Result Run(const std::string& program, const RunOptions& options = {}) const;

 private:
  std::string dir_;
};

// A parameter file of "key=value" lines, each ending with CR LF.
std::string Params(const std::vector<std::pair<std::string, std::string>>& kv);

// The command that starts `program`: the runner, if any, then its path.
std::vector<std::string> Command(const std::string& program);

// True when the suite runs the Windows build through a runner (Wine).
bool UnderRunner();

// The error number, and so the exit code, of a write to a full device as
// the program under test reports it: ENOSPC natively, ERROR_DISK_FULL (112)
// for the Windows build.
int DiskFullError();

// The error number of a move or link onto an existing name: EEXIST
// natively, ERROR_ALREADY_EXISTS under the runner.
int NameTakenError();

// True when the program under test writes an LF file back with LF line
// ends: natively, not for the Windows build.
bool KeepsLf();

// A file's new text as a run writes it, given with CR LF line ends: with LF
// ends instead where the program keeps them and the old text's first line
// ended in LF alone.
std::string AsWritten(const std::string& old, const std::string& crlf);

// The banner line as a plug-in prints it: text, CR, CR LF.
std::string BannerLine(const std::string& banner);

}  // namespace e2e

#endif  // ORVANE_TESTS_E2E_H
