// What the three plug-ins do to a node's files where the world is not a
// scratch directory: symbolic links, modes and owners, planted links,
// hostile paths, devices, refused links and runs that start together.
// Each case runs the real programs; what a run should write is what the
// same program writes over a plain copy of the same file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <regex>
#include <thread>

#include "tests/e2e.h"

namespace {

using Tree = std::map<std::string, std::string>;

// One plug-in as these cases drive it: the file it edits and the files
// the run needs besides.
struct Plugin {
  const char* program;
  const char* stem;        // Blurbor: Blurbor.dat, Blurbor.End
  const char* key;         // the parameter that names the edited file
  const char* temp;        // its temporary file's name
  const char* backup;      // a pattern of its backup names
  const char* badCode;     // the code for an edited file that cannot be opened
};

const Plugin kPlugins[] = {
    {"blurbo", "Blurbor", "SquishPath", "squish_.cfg.tmp",
     "squish\\.cfg\\.areas[0-9_a-ps-z]?\\.bak", "01"},
    {"pmovion", "Movionr", "SquishPath", "squish_.cfg.tmp",
     "squish\\.cfg\\.[0-9_a-ps-z]?\\.bak", "01"},
    {"sweepo", "Sweepor", "Edit1", "golded.inc.tmp.x3",
     "goldarea\\.inc\\. [0-9_a-ps-z]?\\.bak", "04"},
};

// A file that every plug-in changes: it trims, compacts or drops lines.
const char kOld[] =
    "  ; node areas  \r\nEchoArea  NET.TALK  \\msg\\talk  -$\r\n"
    "AREADEF  NET.TALK  Talk 0 Echo Squish \\msg\\talk\r\nAREADEF OLD x\r\n";

// Writes the parameter file naming `winPath` as the edited file, and what
// else the plug-in reads: blurbo's list, sweepo's Squish configuration.
void Prepare(const e2e::Scratch& node, const Plugin& plugin,
             const std::string& winPath) {
  std::vector<std::pair<std::string, std::string>> params = {
      {plugin.key, winPath}};
  if (std::string(plugin.key) == "Edit1") {
    node.Write("tosser.cfg", "EchoArea NET.TALK \\msg\\talk\r\n");
    params.push_back({"SquishPath", node.WinPath("tosser.cfg")});
  }
  node.Write(std::string(plugin.stem) + ".dat", e2e::Params(params));
  node.Write("blurbor.dsc", "NET.TALK General talk\r\n");
}

// What the plug-in makes of `old` in a plain file of a node of its own.
std::string PlainResult(const Plugin& plugin, const std::string& old) {
  e2e::Scratch node;
  node.Write("edited", old);
  Prepare(node, plugin, node.WinPath("edited"));
  e2e::Result r = node.Run(plugin.program);
  EXPECT_EQ(100, r.exitCode);
  EXPECT_EQ("00", node.Read(std::string(plugin.stem) + ".End"));
  return node.Read("edited");
}

// The names in `tree` that are the plug-in's backups in directory `dir`.
std::vector<std::string> Backups(const Plugin& plugin, const Tree& tree,
                                 const std::string& dir = "") {
  const std::regex pattern((dir.empty() ? "" : dir + "/") + plugin.backup);
  std::vector<std::string> names;
  for (const auto& [name, bytes] : tree)
    if (std::regex_match(name, pattern)) names.push_back(name);
  return names;
}

struct stat Stat(const std::string& path) {
  struct stat st = {};
  EXPECT_EQ(0, ::lstat(path.c_str(), &st)) << path;
  return st;
}

// Lets another user into the node: the scratch directory is the
// working directory and the directory of the edited file.
void OpenToEveryone(const e2e::Scratch& node) {
  ASSERT_EQ(0, ::chmod(node.Dir().c_str(), 0777));
}

bool IsRoot() { return ::geteuid() == 0; }

constexpr int kNobody = 65534;

// Show that a configuration kept as a symbolic link stays one: the file
// it names gets the new text, with the backup and the temporary file
// beside that file, and the link is untouched.
TEST(Safety, SymbolicLinkStaysALink) {
  if (e2e::UnderRunner()) GTEST_SKIP() << "Wine shows no symbolic links";
  for (const Plugin& plugin : kPlugins) {
    SCOPED_TRACE(plugin.program);
    e2e::Scratch node;
    node.MakeDir("etc");
    node.MakeDir("srv");
    node.Write("srv/real.cfg", kOld);
    ASSERT_EQ(0, ::symlink("../srv/real.cfg", node.Path("etc/edited").c_str()));
    Prepare(node, plugin, node.WinPath("etc/edited"));
    e2e::Result r = node.Run(plugin.program);
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ("00", node.Read(std::string(plugin.stem) + ".End"));
    char target[64] = {};
    ASSERT_GT(::readlink(node.Path("etc/edited").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ("../srv/real.cfg", target);
    EXPECT_EQ(PlainResult(plugin, kOld), node.Read("srv/real.cfg"));
    Tree tree = node.Tree();
    std::vector<std::string> backups = Backups(plugin, tree, "srv");
    ASSERT_EQ(1u, backups.size());
    EXPECT_EQ(kOld, tree[backups[0]]);
    EXPECT_TRUE(Backups(plugin, tree, "etc").empty());
    EXPECT_EQ(0u, tree.count("srv/" + std::string(plugin.temp)) +
                      tree.count("etc/" + std::string(plugin.temp)));
  }
}

// Show that the new file has the old one's mode, owner and group, also
// under a tight umask, and that the temporary file is never more open
// than the original.
TEST(Safety, ModeAndOwnerAreKept) {
  if (e2e::UnderRunner()) GTEST_SKIP() << "Wine keeps no POSIX owners";
  if (!IsRoot()) GTEST_SKIP() << "giving files to other users needs root";
  struct Row { mode_t mode; uid_t owner; gid_t group; int umask; };
  const Row kRows[] = {
      {0600, 1234, 1234, -1},    // private to another user
      {0640, 0, 1234, -1},       // readable by a group
      {02664, 1234, 1234, -1},   // set-group-id directory style
      {0644, 0, 0, 077},         // the runner's umask plays no part
  };
  for (const Plugin& plugin : kPlugins) {
    for (const Row& row : kRows) {
      SCOPED_TRACE(std::string(plugin.program) + " mode " +
                   std::to_string(row.mode));
      e2e::Scratch node;
      node.Write("edited", kOld);
      ASSERT_EQ(0, ::chown(node.Path("edited").c_str(), row.owner, row.group));
      ASSERT_EQ(0, ::chmod(node.Path("edited").c_str(), row.mode));
      Prepare(node, plugin, node.WinPath("edited"));
      e2e::Result r = node.Run(plugin.program, {.umask = row.umask});
      EXPECT_EQ(100, r.exitCode);
      EXPECT_EQ(PlainResult(plugin, kOld), node.Read("edited"));
      struct stat st = Stat(node.Path("edited"));
      EXPECT_EQ(row.mode, st.st_mode & 07777);
      EXPECT_EQ(row.owner, st.st_uid);
      EXPECT_EQ(row.group, st.st_gid);
    }
  }
}

// Show the files a run must not replace: it ends with "04" before any
// change, and every file stays as it was.
TEST(Safety, FilesLeftAlone) {
  if (e2e::UnderRunner()) GTEST_SKIP() << "Wine keeps no POSIX modes or links";
  if (!IsRoot()) GTEST_SKIP() << "the cases need files of other users";
  struct Row {
    const char* name;
    std::function<void(const e2e::Scratch&)> setUp;
    int uid;  // the runner; -1: root
  };
  const Row kRows[] = {
      {"read-only, run by root",
       [](const e2e::Scratch& n) { ::chmod(n.Path("edited").c_str(), 0444); }, -1},
      {"not writable by the runner",
       [](const e2e::Scratch& n) { ::chmod(n.Path("edited").c_str(), 0644); },
       kNobody},
      {"owner cannot be given back",
       [](const e2e::Scratch& n) { ::chmod(n.Path("edited").c_str(), 0666); },
       kNobody},
      {"a second name that is no backup",
       [](const e2e::Scratch& n) {
         ::link(n.Path("edited").c_str(), n.Path("copy.cfg").c_str());
       },
       -1},
  };
  for (const Plugin& plugin : kPlugins) {
    for (const Row& row : kRows) {
      SCOPED_TRACE(std::string(plugin.program) + ": " + row.name);
      e2e::Scratch node;
      OpenToEveryone(node);
      node.Write("edited", kOld);
      Prepare(node, plugin, node.WinPath("edited"));
      row.setUp(node);
      Tree before = node.Tree();
      e2e::Result r = node.Run(plugin.program, {.uid = row.uid, .gid = row.uid});
      EXPECT_EQ(100, r.exitCode);
      before[std::string(plugin.stem) + ".End"] = "04";
      EXPECT_EQ(before, node.Tree());
    }
  }
}

// Show that backups of the plug-ins do not count as other names: a run
// killed between keeping its backup and the replace leaves the file with
// two names, and the next run goes through.
TEST(Safety, BackupNamesAreNoOtherNames) {
  for (const Plugin& plugin : kPlugins) {
    SCOPED_TRACE(plugin.program);
    e2e::Scratch node;
    node.Write("edited", kOld);
    // Another plug-in's names: a name the run itself may draw would be a
    // taken backup name, which is another case.
    for (const char* name :
         {"squish.cfg.areas7.bak", "squish.cfg.7.bak", "goldarea.inc. 7.bak"}) {
      if (std::regex_match(name, std::regex(plugin.backup))) continue;
      ASSERT_EQ(0, ::link(node.Path("edited").c_str(), node.Path(name).c_str()));
    }
    Prepare(node, plugin, node.WinPath("edited"));
    e2e::Result r = node.Run(plugin.program);
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ("00", node.Read(std::string(plugin.stem) + ".End"));
    EXPECT_EQ(PlainResult(plugin, kOld), node.Read("edited"));
  }
}

// Show that where the system refuses the backup a second name (protected
// links, FAT, a share) the backup is a copy with the original's bytes and
// mode, and the file is replaced all the same.
TEST(Safety, RefusedLinkGivesACopiedBackup) {
  if (e2e::UnderRunner()) GTEST_SKIP() << "strace cannot reach Wine's link call";
  for (const Plugin& plugin : kPlugins) {
    SCOPED_TRACE(plugin.program);
    e2e::Scratch node;
    node.Write("edited", kOld);
    ASSERT_EQ(0, ::chmod(node.Path("edited").c_str(), 0640));
    const ino_t original = Stat(node.Path("edited")).st_ino;
    Prepare(node, plugin, node.WinPath("edited"));
    e2e::Result r = node.Run(
        plugin.program, {.strace = {"-e", "trace=link,linkat", "-e",
                                    "inject=link,linkat:error=EPERM"}});
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ("00", node.Read(std::string(plugin.stem) + ".End"));
    EXPECT_EQ(PlainResult(plugin, kOld), node.Read("edited"));
    std::vector<std::string> backups = Backups(plugin, node.Tree());
    ASSERT_EQ(1u, backups.size());
    EXPECT_EQ(kOld, node.Read(backups[0]));
    struct stat st = Stat(node.Path(backups[0]));
    EXPECT_NE(original, st.st_ino);  // a copy, not the old file itself
    EXPECT_EQ(0640u, st.st_mode & 07777);
  }
}

// Show that a link planted at the temporary name is removed, never
// written through: the file it points at stays, and the run completes.
TEST(Safety, PlantedLinkAtTheTemporaryNameIsNotFollowed) {
  if (e2e::UnderRunner()) GTEST_SKIP() << "Wine shows no symbolic links";
  for (const Plugin& plugin : kPlugins) {
    SCOPED_TRACE(plugin.program);
    e2e::Scratch node;
    e2e::Scratch elsewhere;
    elsewhere.Write("victim", "precious");
    node.Write("edited", kOld);
    ASSERT_EQ(0, ::symlink(elsewhere.Path("victim").c_str(),
                           node.Path(plugin.temp).c_str()));
    Prepare(node, plugin, node.WinPath("edited"));
    e2e::Result r = node.Run(plugin.program);
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ("00", node.Read(std::string(plugin.stem) + ".End"));
    EXPECT_EQ("precious", elsewhere.Read("victim"));
    EXPECT_EQ(PlainResult(plugin, kOld), node.Read("edited"));
    EXPECT_FALSE(node.Has(plugin.temp));
  }
}

// Show that a path parameter cut short by a NUL byte names no file: the
// run ends as for a file that cannot be opened, and nothing is emptied.
TEST(Safety, NulByteInAPathNamesNoFile) {
  for (const Plugin& plugin : kPlugins) {
    for (const std::string& tail : {std::string("\0", 1) + "\\x",
                                   std::string("\0", 1) + "x"}) {
      SCOPED_TRACE(plugin.program);
      e2e::Scratch node;
      node.Write("edited", kOld);
      Prepare(node, plugin, node.WinPath("edited") + tail);
      Tree before = node.Tree();
      e2e::Result r = node.Run(plugin.program);
      EXPECT_EQ(100, r.exitCode);
      before[std::string(plugin.stem) + ".End"] = plugin.badCode;
      EXPECT_EQ(before, node.Tree());
    }
  }
}

// Show that a path written with '/' (as Linux nodes write them), or a bare
// file name, keeps the temporary file and the backup beside the file.
TEST(Safety, SlashesAndBareNames) {
  for (const Plugin& plugin : kPlugins) {
    for (bool bare : {false, true}) {
      SCOPED_TRACE(std::string(plugin.program) + (bare ? " bare" : " slashes"));
      e2e::Scratch node;
      node.Write("edited", kOld);
      Prepare(node, plugin, bare ? "edited" : node.Path("edited"));
      e2e::Result r = node.Run(plugin.program);
      EXPECT_EQ(100, r.exitCode);
      EXPECT_EQ("00", node.Read(std::string(plugin.stem) + ".End"));
      EXPECT_EQ(PlainResult(plugin, kOld), node.Read("edited"));
      Tree tree = node.Tree();
      std::vector<std::string> backups = Backups(plugin, tree);
      ASSERT_EQ(1u, backups.size());
      EXPECT_EQ(kOld, tree[backups[0]]);
    }
  }
}

// Show that a device, a FIFO or a directory is refused at once with the
// code of a file that cannot be opened, as the edited file and as the
// parameter file.
TEST(Safety, OnlyRegularFilesAreRead) {
  for (const Plugin& plugin : kPlugins) {
    SCOPED_TRACE(plugin.program);
    struct Row { const char* name; bool asParameters; const char* code; };
    const Row kRows[] = {
        {"/dev/zero", false, plugin.badCode},
        {"fifo", false, plugin.badCode},
        {"dir", false, plugin.badCode},
        {"fifo", true, "03"},
    };
    for (const Row& row : kRows) {
      SCOPED_TRACE(row.name);
      e2e::Scratch node;
      ASSERT_EQ(0, ::mkfifo(node.Path("fifo").c_str(), 0644));
      node.MakeDir("dir");
      const std::string path = row.name[0] == '/' ? row.name : node.Path(row.name);
      Prepare(node, plugin, path);
      if (row.asParameters) {
        std::string dat = node.Path(std::string(plugin.stem) + ".dat");
        ASSERT_EQ(0, ::unlink(dat.c_str()));
        ASSERT_EQ(0, ::mkfifo(dat.c_str(), 0644));
      }
      auto start = std::chrono::steady_clock::now();
      e2e::Result r = node.Run(plugin.program);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
      EXPECT_EQ(100, r.exitCode);
      EXPECT_EQ(row.code, node.Read(std::string(plugin.stem) + ".End"));
    }
  }
}

// Show that the text after an end-of-file Ctrl-Z, which the tosser and the
// reader do not read either, comes back unchanged after the last line.
TEST(Safety, TextAfterCtrlZIsKept) {
  const std::string tail = "\x1a" "EchoArea  HIDDEN  \\msg\\auto0001\r\n\x1a";
  for (const Plugin& plugin : kPlugins) {
    SCOPED_TRACE(plugin.program);
    e2e::Scratch node;
    node.Write("edited", kOld + tail);
    Prepare(node, plugin, node.WinPath("edited"));
    e2e::Result r = node.Run(plugin.program);
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(PlainResult(plugin, kOld) + tail, node.Read("edited"));
  }
}

// Holds the lock a run takes on a directory, as a run that takes long.
class DirectoryLock {
 public:
  explicit DirectoryLock(const std::string& dir)
      : fd_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY)) {
    EXPECT_EQ(0, ::flock(fd_, LOCK_EX));
  }
  ~DirectoryLock() { ::close(fd_); }

 private:
  int fd_;
};

// Show that a run that waits for another more than 30 seconds ends before
// any change, with "04".
TEST(Safety, LongWaitForAnotherRunEndsWith04) {
  if (e2e::UnderRunner()) GTEST_SKIP() << "the Windows build locks a file instead";
  const Plugin& plugin = kPlugins[0];
  e2e::Scratch node;
  node.Write("edited", kOld);
  Prepare(node, plugin, node.WinPath("edited"));
  Tree before = node.Tree();
  DirectoryLock held(node.Dir());
  auto start = std::chrono::steady_clock::now();
  e2e::Result r = node.Run(plugin.program);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(100, r.exitCode);
  before["Blurbor.End"] = "04";
  EXPECT_EQ(before, node.Tree());
}

// Starts the program in its own working directory and returns at once.
pid_t Start(const e2e::Scratch& work, const std::string& program) {
  std::vector<std::string> command = e2e::Command(program);
  command.push_back("Exec");
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_RDWR);
    if (null < 0 || ::chdir(work.Dir().c_str()) != 0) ::_exit(127);
    ::dup2(null, 0);
    ::dup2(null, 1);
    std::vector<char*> argv;
    for (std::string& a : command) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A configuration large enough that two runs overlap: areas whose bases
// pmovion renames, lines blurbo describes and sweepo keeps or drops.
std::string BigNode(const e2e::Scratch& node, int areas) {
  std::string text;
  for (int i = 0; i < areas; ++i) {
    std::string tag = "AREA." + std::to_string(i);
    char autoName[16];
    std::snprintf(autoName, sizeof autoName, "AUTO%04X", i);
    text += "EchoArea  " + tag + "  " + node.WinPath(autoName) +
            "  -$ 2:5020/1\r\nAREADEF " + tag + " x 0 Echo Squish\r\n";
  }
  return text;
}

// Whether a run went through, and otherwise that it ended the way a run
// ends whose drawn backup name an earlier run took (one draw in 36 for
// blurbo and sweepo, which draw once), before any change.
bool Completed(const Plugin& plugin, const e2e::Scratch& work, int exitCode) {
  const std::string marker = work.Read(std::string(plugin.stem) + ".End");
  if (exitCode == 100 && marker == "00") return true;
  const int taken = std::string(plugin.program) == "sweepo"
                        ? e2e::NameTakenError() : 101;
  EXPECT_EQ(taken, exitCode) << plugin.program << " marker " << marker;
  return false;
}

// Show that two runs started together on one file, or on two files of one
// directory that share the temporary name, give the result of one run
// after the other, never a mix: each file is what the runs give serially,
// in one order or the other, or what one gives alone when the other found
// its backup name taken.
TEST(Safety, RunsStartedTogetherActOneAfterTheOther) {
  struct Pair { int first, second; bool oneFile; int areas; };
  const Pair kPairs[] = {
      {0, 0, true, 3000},   // two blurbo on one configuration
      {0, 1, true, 1000},   // blurbo and pmovion on one configuration
      {2, 2, true, 3000},   // two sweepo on one include file
      {0, 0, false, 3000},  // two blurbo on two files of one directory
  };
  for (const Pair& pair : kPairs) {
    const Plugin& a = kPlugins[pair.first];
    const Plugin& b = kPlugins[pair.second];
    for (int trial = 0; trial < 3; ++trial) {
      SCOPED_TRACE(std::string(a.program) + " with " + b.program +
                   (pair.oneFile ? " on one file" : " on two files") +
                   ", trial " + std::to_string(trial));
      e2e::Scratch node;
      e2e::Scratch workA;
      e2e::Scratch workB;
      const std::string old = BigNode(node, pair.areas);
      node.Write("one.cfg", old);
      node.Write("two.cfg", old);
      Prepare(workA, a, node.WinPath("one.cfg"));
      Prepare(workB, b, node.WinPath(pair.oneFile ? "one.cfg" : "two.cfg"));
      pid_t pa = Start(workA, a.program);
      pid_t pb = Start(workB, b.program);
      const int exitA = Wait(pa);
      const int exitB = Wait(pb);
      const bool doneA = Completed(a, workA, exitA);
      const bool doneB = Completed(b, workB, exitB);
      if (!pair.oneFile) {
        // The backup name does not depend on the file's own name, so the
        // two runs may draw the same one here too.
        EXPECT_TRUE(node.Read("one.cfg") == (doneA ? PlainResult(a, old) : old));
        EXPECT_TRUE(node.Read("two.cfg") == (doneB ? PlainResult(b, old) : old));
        continue;
      }
      std::vector<std::string> serial;
      if (doneA && doneB) {
        serial = {PlainResult(b, PlainResult(a, old)),
                  PlainResult(a, PlainResult(b, old))};
      } else {
        serial = {doneA ? PlainResult(a, old) : doneB ? PlainResult(b, old) : old};
      }
      const std::string got = node.Read("one.cfg");
      EXPECT_NE(serial.end(), std::find(serial.begin(), serial.end(), got))
          << "no serial result: " << got.size() << " bytes";
    }
  }
}

}  // namespace
