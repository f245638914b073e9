// Show that a Movionsmith run killed, or failing, at any system call never
// costs a message base once the next run has done its recovery: every base
// file stands once, under the path the configuration names for its area,
// and the configuration is the one an uninterrupted run writes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "tests/e2e.h"

namespace {

using Tree = std::map<std::string, std::string>;
using Params = std::vector<std::pair<std::string, std::string>>;
using Problems = std::vector<std::string>;

const char* const kExts[] = {".sqd", ".sqi", ".sql", ".sqp"};

// The calls through which a run reaches files and descriptors; strace
// counts `when=` per call name, so each name is swept on its own.
const char kFileCalls[] =
    "openat,open,read,write,close,fsync,fdatasync,link,linkat,rename,"
    "renameat,renameat2,unlink,unlinkat,newfstatat,fstat,lstat,stat,statx,"
    "getdents64,flock,getrandom,mkdir,fchown,fchmod,ftruncate,lseek";

// An area line of the node and where a completed run leaves its base.
struct Area {
  std::string keyword;
  std::string tag;
  std::string base;     // its files at the start, relative to the node
  std::string renamed;  // its base after a completed run; empty: kept
};

// Auto-created areas, a NetArea and hand-named areas, which are renamed
// only with Check3.
std::vector<Area> NodeAreas(bool check3) {
  std::vector<Area> areas;
  for (int n = 1; n <= 6; ++n) {
    const std::string i = std::to_string(n);
    areas.push_back({"EchoArea", "FIDO.A" + i, "Mail/AUTO000" + i,
                     "Mail/FIDO_A" + i});
  }
  areas.push_back({"NetArea", "NETMAIL", "Mail/netmail", ""});
  areas.push_back({"EchoArea", "LOCAL.HAND", "Mail/handname",
                   check3 ? "Mail/LOCAL_HAND" : ""});
  areas.push_back({"EchoArea", "LOCAL.TALK", "Mail/talk",
                   check3 ? "Mail/LOCAL_TALK" : ""});
  return areas;
}

// One sweep: the node, and whether its system gives a file a second name.
struct Variant {
  const char* what;
  bool check3;
  bool noHardLinks;  // every link call refused, as on FAT or a share
};

// What a faulty run meets at one call.
struct Fault {
  std::string call;
  int k;              // the occurrence, as strace's `when` counts it
  std::string error;  // the error the call fails with; empty: a kill there
};

// The strace options that trace `calls`, refuse every link where the
// variant says so and inject `fault`. strace keeps one trace set, the last
// given, and injects only into traced calls. Its seccomp filter stops the
// program at those calls alone, which makes a run of a sanitizer build
// twice as fast, but drops a signal injected at such a stop.
std::vector<std::string> Strace(const Variant& variant, std::string calls,
                                const Fault* fault = nullptr) {
  std::vector<std::string> options;
  if (fault == nullptr || !fault->error.empty())
    options.push_back("--seccomp-bpf");
  if (variant.noHardLinks) {
    calls += calls.empty() ? "link,linkat" : ",link,linkat";
    options.insert(options.end(), {"-e", "inject=link,linkat:error=EPERM"});
  }
  if (fault != nullptr)
    options.insert(options.end(),
                   {"-e", "inject=" + fault->call + ":" +
                              (fault->error.empty() ? "signal=KILL"
                                                    : "error=" + fault->error) +
                              ":when=" + std::to_string(fault->k)});
  options.insert(options.end(), {"-e", "trace=" + calls});
  return options;
}

std::string ReplaceAll(std::string text, const std::string& from,
                       const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos;
       at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// The configuration and base files at the start; each file holds its own
// name, so that its bytes tell where it came from.
void MakeNode(const e2e::Scratch& node, const Variant& variant) {
  Params params = {{"SquishPath", node.WinPath("squish.cfg")},
                   {"Check1", "TRUE"},
                   {"Edit1", "_"}};
  if (variant.check3) params.push_back({"Check3", "TRUE"});
  node.Write("Movionr.dat", e2e::Params(params));
  node.MakeDir("Mail");
  std::string config = "  ; areas of the node  \r\n";
  for (const Area& area : NodeAreas(variant.check3)) {
    config += area.keyword + "  " + area.tag + "\t" + node.WinPath(area.base) +
              " -$ 1:2/3\r\n";
    for (const char* ext : kExts) node.Write(area.base + ext, area.base + ext);
  }
  node.Write("squish.cfg", config);
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  return {std::istream_iterator<std::string>(in),
          std::istream_iterator<std::string>()};
}

bool SameKeyword(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The base the configuration names for the area, relative to the node;
// empty when no line or more than one names the area.
std::string ConfiguredBase(const e2e::Scratch& node, const std::string& config,
                           const Area& area) {
  std::string base;
  int lines = 0;
  std::istringstream in(config);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> words = Words(line);
    if (words.size() < 3 || !SameKeyword(words[0], area.keyword) ||
        words[1] != area.tag)
      continue;
    ++lines;
    const std::string root = node.WinPath() + "\\";
    base = words[2].compare(0, root.size(), root) == 0
               ? ReplaceAll(words[2].substr(root.size()), "\\", "/")
               : words[2];
  }
  return lines == 1 ? base : std::string();
}

// Where the bytes of a base file stand in `tree`, for the report.
std::string WhereIs(const Tree& tree, const std::string& bytes) {
  std::string names;
  for (const auto& [name, held] : tree)
    if (held == bytes) names += (names.empty() ? "" : ", ") + name;
  return names.empty() ? "nowhere" : "at " + names;
}

// Every area's four files, with their own bytes, at the base the standing
// configuration names: the tosser finds every message of the node.
void CheckReachable(const e2e::Scratch& node, const Variant& variant,
                    const Tree& tree, Problems& problems) {
  const std::string config = node.Read("squish.cfg");
  for (const Area& area : NodeAreas(variant.check3)) {
    const std::string base = ConfiguredBase(node, config, area);
    if (base.empty()) {
      problems.push_back("lost: no single line names " + area.tag);
      continue;
    }
    for (const char* ext : kExts) {
      auto it = tree.find(base + ext);
      if (it != tree.end() && it->second == area.base + ext) continue;
      problems.push_back("lost: squish.cfg names " + base + " for " +
                         area.tag + ", but " + area.base + ext + " is " +
                         WhereIs(tree, area.base + ext));
      break;
    }
  }
}

// Everything a completed run leaves: each base reachable once, under its
// new name, with no second name beside it, and the configuration
// `expected` that an uninterrupted run writes.
void CheckComplete(const e2e::Scratch& node, const Variant& variant,
                   const std::string& expected, const e2e::Result& run,
                   Problems& problems) {
  const Tree tree = node.Tree();
  CheckReachable(node, variant, tree, problems);
  const std::string config = node.Read("squish.cfg");
  std::set<std::string> bases;
  for (const Area& area : NodeAreas(variant.check3)) {
    const std::string configured = ConfiguredBase(node, config, area);
    for (const char* ext : kExts) bases.insert(configured + ext);
    if (!area.renamed.empty() && configured == area.base)
      problems.push_back("not renamed: " + area.tag + " kept " + area.base);
  }
  for (const auto& [name, bytes] : tree)
    if (name.rfind("Mail/", 0) == 0 && bases.count(name) == 0)
      problems.push_back("second name: " + name + " holds " + bytes);
  if (config != expected)
    problems.push_back("squish.cfg differs from an uninterrupted run's");
  for (const char* name : {"pmovion.jnl", "squish_.cfg.tmp"})
    if (tree.count(name) != 0)
      problems.push_back(std::string("left over: ") + name);
  if (run.exitCode != 100 || node.Read("Movionr.End") != "00")
    problems.push_back("recovery run exited " + std::to_string(run.exitCode) +
                       " with marker \"" + node.Read("Movionr.End") + "\"");
}

// The occurrences of one call name to sweep, numbered as strace's `when`
// counts them: every call of that name since the program started.
struct Occurrences {
  int first = 1;
  int last = 0;
};

// The call a line of a trace written by strace -f -qq shows; empty for
// the rest of a call that another process interrupted, or no call.
std::string CallName(const std::string& line) {
  std::size_t start = line.find_first_not_of("0123456789 ");
  std::size_t open = line.find('(', start);
  if (start == std::string::npos || open == std::string::npos ||
      line.compare(start, 4, "<...") == 0)
    return {};
  return line.substr(start, open - start);
}

// The occurrences of each call in a trace, from the run's first touch of
// its parameter file or marker on. Before that the loader and the runtime
// start the program, and a kill or a failure there ends a run that has
// changed nothing.
std::map<std::string, Occurrences> CountCalls(const std::string& trace) {
  std::map<std::string, Occurrences> calls;
  bool started = false;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    const std::string name = CallName(line);
    if (name.empty()) continue;
    Occurrences& call = calls[name];
    ++call.last;
    if (!started && line.find("Movionr") != std::string::npos) {
      started = true;
      for (auto& [other, before] : calls) before.first = before.last + 1;
      call.first = call.last;
    }
  }
  return calls;
}

// Whether the trace shows the call failing by injection: each run makes
// the same calls up to the fault, so one that does not come means the
// counting is off and the point was never tried.
bool Injected(const std::string& trace, const std::string& call) {
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);)
    if (CallName(line) == call &&
        line.find("(INJECTED)") != std::string::npos)
      return true;
  return false;
}

// What one uninterrupted run gives the sweep: the calls it makes and the
// configuration it writes, with the node's directory as '%'.
struct CleanRun {
  std::map<std::string, Occurrences> calls;
  std::string config;
};

CleanRun TraceCleanRun(const Variant& variant) {
  e2e::Scratch node;
  e2e::Scratch traces;
  MakeNode(node, variant);
  std::vector<std::string> strace = Strace(variant, kFileCalls);
  strace.insert(strace.end(), {"-o", traces.Path("trace")});
  e2e::Result r = node.Run("pmovion", {.strace = strace});
  CleanRun clean = {CountCalls(traces.Read("trace")), node.Read("squish.cfg")};
  Problems problems;
  CheckComplete(node, variant, clean.config, r, problems);
  for (const std::string& problem : problems)
    ADD_FAILURE() << "the uninterrupted run: " << problem;
  clean.config = ReplaceAll(clean.config, node.WinPath(), "%");
  return clean;
}

// With hard links refused every link call fails already, and strace takes
// one injection per call name; a kill before a refused link leaves the
// disk as a kill at the call after it does.
bool Swept(const Variant& variant, const std::string& call) {
  return !variant.noHardLinks || (call != "link" && call != "linkat");
}

// Runs pmovion on a fresh node with the fault, checks the node after a
// failure, then runs it again and checks what the recovery left. The
// faulty run's trace goes to "fault" in `traces`.
Problems FaultThenRecover(const Variant& variant, const CleanRun& clean,
                          const Fault& fault, const e2e::Scratch& traces) {
  e2e::Scratch node;
  MakeNode(node, variant);
  const std::string original = node.Read("squish.cfg");
  std::vector<std::string> strace = Strace(variant, fault.call, &fault);
  strace.insert(strace.end(), {"-o", traces.Path("fault")});
  e2e::Result first = node.Run("pmovion", {.strace = strace});
  Problems problems;
  if (fault.error.empty() && first.exitCode != -1)
    problems.push_back("not killed: the run exited " +
                       std::to_string(first.exitCode));
  if (!fault.error.empty() && !Injected(traces.Read("fault"), fault.call))
    problems.push_back("no error injected");
  if (!fault.error.empty()) {
    Problems failed;
    CheckReachable(node, variant, node.Tree(), failed);
    if (node.Read("Movionr.End") == "00" && node.Read("squish.cfg") == original)
      failed.push_back("marker 00, but squish.cfg was not replaced");
    for (const std::string& problem : failed)
      problems.push_back("after the failed run, " + problem);
  }
  // Without hard links the recovery run finds none either.
  e2e::Result second = node.Run(
      "pmovion", {.strace = variant.noHardLinks ? Strace(variant, "")
                                                : std::vector<std::string>()});
  CheckComplete(node, variant, ReplaceAll(clean.config, "%", node.WinPath()),
                second, problems);
  return problems;
}

// Tries `error` (empty: a kill) at every swept occurrence of every call of
// the clean run, each on a fresh node, and gives the number of cases that
// broke what the node needs, each one reported.
int Sweep(const Variant& variant, const CleanRun& clean,
          const std::string& error, int* cases) {
  e2e::Scratch traces;
  int lost = 0;
  for (const auto& [call, occurrences] : clean.calls) {
    if (!Swept(variant, call)) continue;
    for (int k = occurrences.first; k <= occurrences.last; ++k) {
      ++*cases;
      Problems problems =
          FaultThenRecover(variant, clean, {call, k, error}, traces);
      if (problems.empty()) continue;
      ++lost;
      std::string said;
      for (std::size_t i = 0; i < problems.size() && i < 2; ++i)
        said += (i ? "; " : "") + problems[i];
      if (problems.size() > 2)
        said += "; and " + std::to_string(problems.size() - 2) + " more";
      ADD_FAILURE() << (error.empty() ? "kill" : error) << " at " << call
                    << " #" << k << ": " << said;
    }
  }
  return lost;
}

void ExpectNoKillLoses(const Variant& variant) {
  const CleanRun clean = TraceCleanRun(variant);
  if (::testing::Test::HasFailure()) return;
  int points = 0;
  const int lost = Sweep(variant, clean, "", &points);
  std::printf("pmovion kill sweep (%s): %d points, %d lost\n", variant.what,
              points, lost);
  EXPECT_EQ(0, lost);
}

void ExpectNoErrorLoses(const Variant& variant) {
  const CleanRun clean = TraceCleanRun(variant);
  if (::testing::Test::HasFailure()) return;
  int cases = 0;
  int lost = 0;
  for (const char* error : {"ENOSPC", "EIO", "EACCES"})
    lost += Sweep(variant, clean, error, &cases);
  std::printf("pmovion error sweep (%s): %d cases, %d lost\n", variant.what,
              cases, lost);
  EXPECT_EQ(0, lost);
}

const Variant kAutoAreas = {"Check1", false, false};
const Variant kHandNamedAreas = {"Check3", true, false};
const Variant kNoHardLinks = {"no hard links", true, true};

// Each sweep is a test of its own, so that ctest runs them side by side.
class PmovionCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    if (e2e::UnderRunner() || ::access("/usr/bin/strace", X_OK) != 0)
      GTEST_SKIP() << "needs strace and the native build";
  }
};

// Show that a run killed at any call, with auto-created areas to rename
// and hand-named ones to keep, leaves what the next run recovers from.
TEST_F(PmovionCrash, KillWithAutoAreas) { ExpectNoKillLoses(kAutoAreas); }

// Show the same with the hand-named areas renamed too.
TEST_F(PmovionCrash, KillWithHandNamedAreas) {
  ExpectNoKillLoses(kHandNamedAreas);
}

// Show the same where the system gives a file no second name, so that
// both runs move the bases.
TEST_F(PmovionCrash, KillWithoutHardLinks) {
  ExpectNoKillLoses(kNoHardLinks);
}

// Show that a call failing with a full disk, an I/O error or a refusal
// leaves every base where the standing configuration names it, and what
// the next run completes.
TEST_F(PmovionCrash, ErrorWithHandNamedAreas) {
  ExpectNoErrorLoses(kHandNamedAreas);
}

// Show the same where the system gives a file no second name.
TEST_F(PmovionCrash, ErrorWithoutHardLinks) {
  ExpectNoErrorLoses(kNoHardLinks);
}

}  // namespace
