// Movionsmith run for real in a scratch node: the configuration it leaves,
// the lines it prints, the marker, the exit code and where every message
// base file ends up.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <set>

#include "tests/e2e.h"

namespace {

using Tree = std::map<std::string, std::string>;
using Params = std::vector<std::pair<std::string, std::string>>;

const char* const kExts[] = {".sqd", ".sqi", ".sql", ".sqp"};
const std::string kStart = e2e::BannerLine("Movionsmith v1.1 for Orvane") + "\r\n";
const std::string kPause =
    "-------------------\r\n\r\nPress Enter to Continue...\r\n";

// Every '%' in the text becomes the scratch directory as a Windows path.
std::string Fill(const e2e::Scratch& node, const std::string& text) {
  std::string out;
  for (char c : text) out += c == '%' ? node.WinPath() : std::string(1, c);
  return out;
}

// Writes the four files of a base (by their last letters: "dilp" for all),
// each holding its own name, and adds them to `tree`.
void MakeBase(const e2e::Scratch& node, const std::string& base,
              const std::string& which, Tree* tree = nullptr) {
  for (const char* ext : kExts) {
    if (which.find(ext[3]) == std::string::npos) continue;
    node.Write(base + ext, base + ext);
    if (tree != nullptr) (*tree)[base + ext] = base + ext;
  }
}

// Moves the expected base files of `from` in `tree` to the name `to`.
void Moved(Tree& tree, const std::string& from, const std::string& to) {
  for (const char* ext : kExts) {
    auto it = tree.find(from + ext);
    if (it == tree.end()) continue;
    tree[to + ext] = it->second;
    tree.erase(it);
  }
}

// The files left behind, the randomly named backup as "squish.cfg.?.bak".
Tree Left(const e2e::Scratch& node) {
  static const std::regex kBackup("(.*/)?squish\\.cfg\\.[0-9_a-ps-z]?\\.bak");
  Tree out;
  for (const auto& [name, bytes] : node.Tree()) {
    std::smatch m;
    if (std::regex_match(name, m, kBackup))
      out[m[1].str() + "squish.cfg.?.bak"] = bytes;
    else
      out[name] = bytes;
  }
  return out;
}

// A node with its configuration at squish.cfg in the scratch directory.
struct Node {
  e2e::Scratch dir;
  Tree expected;  // what the run should leave behind

  Node(const std::string& config, Params params = {}) {
    params.push_back({"SquishPath", dir.WinPath("squish.cfg")});
    const std::string dat = e2e::Params(params);
    dir.Write("Movionr.dat", dat);
    dir.Write("squish.cfg", Fill(dir, config));
    expected["Movionr.dat"] = dat;
  }
  e2e::Result Run(const e2e::RunOptions& options = {}) {
    return dir.Run("pmovion", options);
  }
  // The run went through: the configuration was replaced and the old one
  // kept under the backup name.
  void ExpectReplaced(const std::string& newConfig) {
    expected["Movionr.End"] = "00";
    expected["squish.cfg.?.bak"] = dir.Read("squish.cfg");
    expected["squish.cfg"] = Fill(dir, newConfig);
  }
};

// Show the two typical runs byte for byte (an auto-created area with its
// dots replaced, and with Check3 a hand-named area): the line, the
// console line and the moved files.
TEST(Pmovion, TypicalAreas) {
  struct Row {
    const char* what;
    Params params;
    const char* line;
    const char* oldBase;  // relative to the node, '/' separated
    const char* newBase;
    const char* written;
    const char* console;
  };
  const Row kRows[] = {
      {"auto-named, dots replaced", {{"Check1", "TRUE"}, {"Edit1", "_"}},
       "EchoArea  FIDO.SUPPORT\t%\\Mail\\AUTO0007   -$ 1:100/1 1:100/2\r\n",
       "Mail/AUTO0007", "Mail/FIDO_SUPPORT",
       "EchoArea FIDO.SUPPORT %\\Mail\\FIDO_SUPPORT -$ 1:100/1 1:100/2\r\n",
       "%\\Mail\\AUTO0007 -> FIDO.SUPPORT :Renamed 4 files\r\n"},
      {"every area, dots kept", {{"Check3", "TRUE"}},
       "ECHOAREA local.test %\\msgbase\\ltest\r\n",
       "msgbase/ltest", "msgbase/local.test",
       "EchoArea local.test %\\msgbase\\local.test\r\n",
       "%\\msgbase\\ltest -> local.test :Renamed 4 files\r\n"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    Node node(row.line, row.params);
    const std::string dir = std::string(row.oldBase).substr(0, 4) == "Mail"
                                ? "Mail" : "msgbase";
    node.dir.MakeDir(dir);
    node.expected[dir] = "<dir>";
    MakeBase(node.dir, row.oldBase, "dilp", &node.expected);
    Moved(node.expected, row.oldBase, row.newBase);
    node.ExpectReplaced(row.written);
    e2e::Result r = node.Run();
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(kStart + Fill(node.dir, row.console), r.out);
    EXPECT_EQ(node.expected, Left(node.dir));
  }
}

// Show which areas are selected and which base name each one gets.
TEST(Pmovion, SelectionRule) {
  struct Row {
    const char* what;
    Params params;
    const char* path;     // as the line gives it
    const char* base;     // its files, relative to the node
    const char* newPath;  // empty: not selected
    const char* newBase;
  };
  const Row kRows[] = {
      {"lower case auto", {}, "%\\auto001c", "auto001c", "%\\local.test",
       "local.test"},
      {"mixed case auto", {}, "%\\AuTo0001", "AuTo0001", "%\\local.test",
       "local.test"},
      {"eight characters, no directory", {}, "AUTO0001", "AUTO0001",
       "local.test", "local.test"},
      {"four characters", {}, "AUTO", "AUTO", "local.test", "local.test"},
      {"five characters", {}, "auto5", "auto5", "local.test", "local.test"},
      {"auto in the wrong place", {}, "%\\xAUTO001", "xAUTO001", "", ""},
      {"not auto-named", {}, "%\\ltest", "ltest", "", ""},
      {"Check3, directory kept", {{"Check3", "TRUE"}}, "%\\ltest", "ltest",
       "%\\local.test", "local.test"},
      {"Check3, no backslash", {{"Check3", "TRUE"}}, "ltest", "ltest",
       "local.test", "local.test"},
      {"Check1 with one character", {{"Check1", "TRUE"}, {"Edit1", "-"}},
       "AUTO0001", "AUTO0001", "local-test", "local-test"},
      {"Check1 with an empty Edit1", {{"Check1", "TRUE"}}, "AUTO0001",
       "AUTO0001", "local.test", "local.test"},
      {"Check1 with a longer Edit1", {{"Check1", "TRUE"}, {"Edit1", "__"}},
       "AUTO0001", "AUTO0001", "local.test", "local.test"},
      {"Edit1 without Check1", {{"Edit1", "_"}}, "AUTO0001", "AUTO0001",
       "local.test", "local.test"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    const std::string line = std::string("echoArea local.test ") + row.path + " -0";
    Node node(line + "\r\n", row.params);
    MakeBase(node.dir, row.base, "dilp", &node.expected);
    std::string console;
    if (*row.newPath == '\0') {
      node.ExpectReplaced(line + "\r\n");
    } else {
      Moved(node.expected, row.base, row.newBase);
      node.ExpectReplaced(std::string("EchoArea local.test ") + row.newPath + " -0\r\n");
      console = std::string(row.path) + " -> local.test :Renamed 4 files\r\n";
    }
    e2e::Result r = node.Run();
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(kStart + Fill(node.dir, console), r.out);
    EXPECT_EQ(node.expected, Left(node.dir));
  }
}

// Show that a base path already in use is never given to a second area:
// that area keeps its old path and its files, and says so.
TEST(Pmovion, PathInUseIsNotRenamed) {
  struct Row {
    const char* what;
    const char* config;
    const char* present;  // "base:letters" of existing files, ';' between
    const char* written;
    const char* console;
    std::vector<std::pair<const char*, const char*>> moved;
  };
  const Row kRows[] = {
      {"two areas map to one name",
       "EchoArea a.b %\\AUTO0001\r\nEchoArea a_b %\\AUTO0002 -0\r\n",
       "AUTO0001:dilp;AUTO0002:dilp",
       "EchoArea a.b %\\a_b\r\nEchoArea a_b %\\AUTO0002 -0\r\n",
       "%\\AUTO0001 -> a.b :Renamed 4 files\r\n"
       "%\\AUTO0002 -> a_b :Not renamed\r\n",
       {{"AUTO0001", "a_b"}}},
      {"a target file exists",
       "EchoArea FOO %\\AUTO0001\r\n", "AUTO0001:dilp;FOO:i",
       "EchoArea FOO %\\AUTO0001\r\n",
       "%\\AUTO0001 -> FOO :Not renamed\r\n", {}},
      // The other area's base does not exist yet, but its line owns the path.
      {"a later line names the path",
       "EchoArea FOO %\\AUTO0001\r\nEchoArea BAR %\\FOO\r\n", "AUTO0001:dilp",
       "EchoArea FOO %\\AUTO0001\r\nEchoArea BAR %\\BAR\r\n",
       "%\\AUTO0001 -> FOO :Not renamed\r\n"
       "%\\FOO -> BAR :Renamed 0 files\r\n", {}},
      // Only where the new path equals the old one does an area own it.
      {"new path equals the old one",
       "echoarea  ltest %\\ltest -0\r\n", "ltest:dilp",
       "EchoArea ltest %\\ltest -0\r\n",
       "%\\ltest -> ltest :Renamed 0 files\r\n", {}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    Node node(row.config, {{"Check1", "TRUE"}, {"Edit1", "_"}, {"Check3", "TRUE"}});
    std::string present = row.present;
    for (std::size_t at = 0; at < present.size();) {
      std::size_t end = present.find(';', at);
      if (end == std::string::npos) end = present.size();
      std::string item = present.substr(at, end - at);
      std::size_t colon = item.find(':');
      MakeBase(node.dir, item.substr(0, colon), item.substr(colon + 1),
               &node.expected);
      at = end + 1;
    }
    for (const auto& [from, to] : row.moved) Moved(node.expected, from, to);
    node.ExpectReplaced(row.written);
    e2e::Result r = node.Run();
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(kStart + Fill(node.dir, row.console), r.out);
    EXPECT_EQ(node.expected, Left(node.dir));
  }
}

// Show the areas a run must not rename, whatever their tag or the state of
// their directory, and the bases it finds in any letter case: the line and
// the files stay as they were, or move whole.
TEST(Pmovion, UnsafeAndUnusualBases) {
  struct Row {
    const char* what;
    const char* tag;
    const char* path;               // as the line gives it
    std::vector<const char*> files;  // in Mail/
    const char* console;            // after "<path> -> <tag> :"
    const char* newPath;            // empty: the line stays
    std::vector<std::pair<const char*, const char*>> moved;  // in Mail/
    bool posixOnly = false;
  };
  const Row kRows[] = {
      {"a tag that climbs out", "..\\..\\elsewhere\\STOLEN",
       "%\\Mail\\AUTO0001", {"AUTO0001.sqd"}, "Not renamed", "", {}},
      {"a tag with a slash", "a/b", "%\\Mail\\AUTO0001", {"AUTO0001.sqd"},
       "Not renamed", "", {}},
      {"a tag with a drive colon", "C:X", "%\\Mail\\AUTO0001",
       {"AUTO0001.sqd"}, "Not renamed", "", {}},
      {"a tag that is a device", "CON", "%\\Mail\\AUTO0001",
       {"AUTO0001.sqd"}, "Not renamed", "", {}},
      {"a device with an extension", "nul.area", "%\\Mail\\AUTO0001",
       {"AUTO0001.sqd"}, "Not renamed", "", {}},
      {"a tag of two dots", "..", "%\\Mail\\AUTO0001", {"AUTO0001.sqd"},
       "Not renamed", "", {}},
      {"a forbidden character", "a*b", "%\\Mail\\AUTO0001",
       {"AUTO0001.sqd"}, "Not renamed", "", {}},
      // Copied from a DOS node: found, and each keeps its extension's case.
      {"base files in upper case", "FIDO", "%\\Mail\\AUTO0002",
       {"AUTO0002.SQD", "AUTO0002.SQI"}, "Renamed 2 files", "%\\Mail\\FIDO",
       {{"AUTO0002.SQD", "FIDO.SQD"}, {"AUTO0002.SQI", "FIDO.SQI"}}},
      {"a line in another case than its files", "FIDO", "%\\Mail\\auto0002",
       {"AUTO0002.sqd"}, "Renamed 1 files", "%\\Mail\\FIDO",
       {{"AUTO0002.sqd", "FIDO.sqd"}}},
      {"two files differ only in case", "FIDO", "%\\Mail\\AUTO0003",
       {"AUTO0003.sqd", "AUTO0003.SQD"}, "Not renamed", "", {}, true},
      {"a target in another case", "FIDO", "%\\Mail\\AUTO0004",
       {"AUTO0004.sqd", "fido.SQP"}, "Not renamed", "", {}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    if (row.posixOnly && e2e::UnderRunner()) continue;
    const std::string line =
        std::string("EchoArea ") + row.tag + " " + row.path + " -0";
    Node node(line + "\r\n");
    node.dir.MakeDir("Mail");
    node.expected["Mail"] = "<dir>";
    for (const char* file : row.files) {
      node.dir.Write(std::string("Mail/") + file, file);
      node.expected[std::string("Mail/") + file] = file;
    }
    for (const auto& [from, to] : row.moved) {
      node.expected.erase(std::string("Mail/") + from);
      node.expected[std::string("Mail/") + to] = from;
    }
    node.ExpectReplaced(*row.newPath == '\0'
                            ? line + "\r\n"
                            : std::string("EchoArea ") + row.tag + " " +
                                  row.newPath + " -0\r\n");
    e2e::Result r = node.Run();
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(kStart + Fill(node.dir, std::string(row.path) + " -> " + row.tag +
                                          " :" + row.console + "\r\n"),
              r.out);
    EXPECT_EQ(node.expected, Left(node.dir));
  }
}

// Show that two area lines sharing one base keep sharing it, and that a
// mail directory the run cannot search leaves its areas alone instead of
// taking their bases for absent.
TEST(Pmovion, SharedAndUnsearchableBases) {
  struct Row {
    const char* what;
    const char* config;
    const char* console;
    bool lockDirectory;
  };
  const Row kRows[] = {
      {"two lines with one AUTO path",
       "EchoArea FIDO %\\Mail\\AUTO0001\r\nEchoArea BAR %\\Mail\\auto0001 -0\r\n",
       "%\\Mail\\AUTO0001 -> FIDO :Not renamed\r\n"
       "%\\Mail\\auto0001 -> BAR :Not renamed\r\n", false},
      {"an unsearchable mail directory",
       "EchoArea FIDO %\\Mail\\AUTO0001\r\nEchoArea BAR %\\Mail\\AUTO0002\r\n",
       "%\\Mail\\AUTO0001 -> FIDO :Not renamed\r\n"
       "%\\Mail\\AUTO0002 -> BAR :Not renamed\r\n", true},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    // Root searches any directory, and Wine shows no POSIX modes.
    if (row.lockDirectory && (::geteuid() == 0 || e2e::UnderRunner())) continue;
    Node node(row.config);
    node.dir.MakeDir("Mail");
    node.expected["Mail"] = "<dir>";
    MakeBase(node.dir, "Mail/AUTO0001", "dilp", &node.expected);
    MakeBase(node.dir, "Mail/AUTO0002", "dilp", &node.expected);
    node.ExpectReplaced(row.config);
    if (row.lockDirectory) ::chmod(node.dir.Path("Mail").c_str(), 0);
    e2e::Result r = node.Run();
    if (row.lockDirectory) ::chmod(node.dir.Path("Mail").c_str(), 0700);
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(kStart + Fill(node.dir, row.console), r.out);
    EXPECT_EQ(node.expected, Left(node.dir));
  }
}

// Show that a base with some of its four files missing moves what it has
// and counts only that, and that a base not created yet still gives the
// area its new path.
TEST(Pmovion, PartialBases) {
  struct Row {
    const char* present;
    const char* count;
  };
  const Row kRows[] = {{"dp", "2"}, {"i", "1"}, {"", "0"}};
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.present);
    Node node("EchoArea FIDO %\\AUTO0001 -$\r\n");
    MakeBase(node.dir, "AUTO0001", row.present, &node.expected);
    Moved(node.expected, "AUTO0001", "FIDO");
    node.ExpectReplaced("EchoArea FIDO %\\FIDO -$\r\n");
    e2e::Result r = node.Run();
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(kStart + Fill(node.dir, "%\\AUTO0001 -> FIDO :Renamed ") +
                  row.count + " files\r\n",
              r.out);
    EXPECT_EQ(node.expected, Left(node.dir));
  }
}

// Show that lines that are no areas to rename are only compacted: nothing
// printed, nothing moved, even with Check3 set.
TEST(Pmovion, OtherLinesAreOnlyCompacted) {
  Node node(
      "  ; comment \t with  blanks  \r\n"
      "EchoAreaDefaults  -dupeCheck move -b Jam\n"
      "ECHOAREADEFAULTS %\\AUTO0001\r\n"
      "EchoArea\r\n"
      "EchoArea   TAGONLY   \r\n"
      ";EchoArea X %\\AUTO0001\r\n"
      "NetArea\tNETMAIL  %\\AUTO0001\r\n"
      "\r\n"
      "last line without end",
      {{"Check3", "TRUE"}});
  MakeBase(node.dir, "AUTO0001", "dilp", &node.expected);
  node.ExpectReplaced(
      "; comment with blanks\r\n"
      "EchoAreaDefaults -dupeCheck move -b Jam\r\n"
      "ECHOAREADEFAULTS %\\AUTO0001\r\n"
      "EchoArea\r\n"
      "EchoArea TAGONLY\r\n"
      ";EchoArea X %\\AUTO0001\r\n"
      "NetArea\tNETMAIL %\\AUTO0001\r\n"
      "\r\n"
      "last line without end\r\n");
  e2e::Result r = node.Run();
  EXPECT_EQ(100, r.exitCode);
  EXPECT_EQ(kStart, r.out);
  EXPECT_EQ(node.expected, Left(node.dir));
}

// Show that the options and links after the path are kept whole, however
// long the line, and on any keyword spelling that begins with ECHOAREA.
TEST(Pmovion, RemainderKeptWhole) {
  struct Row {
    const char* keyword;
    int links;
  };
  const Row kRows[] = {{"EchoArea", 30}, {"EchoArea", 150}, {"ECHOAREAS", 30}};
  for (const Row& row : kRows) {
    std::string links = " -$ -p2:5020/1";
    for (int i = 0; i < row.links; ++i) links += " 2:5020/" + std::to_string(1000 + i);
    SCOPED_TRACE(std::string(row.keyword) + " " + std::to_string(links.size()));
    Node node(std::string(row.keyword) + " SU.LONG %\\AUTO0001" + links + "\r\n");
    MakeBase(node.dir, "AUTO0001", "d", &node.expected);
    Moved(node.expected, "AUTO0001", "SU.LONG");
    node.ExpectReplaced("EchoArea SU.LONG %\\SU.LONG" + links + "\r\n");
    e2e::Result r = node.Run();
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(node.expected, Left(node.dir));
  }
}

// Show that a configuration that cannot be opened gives "01" and one whose
// temporary file cannot be created gives "04", with nothing changed.
TEST(Pmovion, OpeningFailuresGiveTheirCodes) {
  using Setup = std::function<void(const e2e::Scratch&)>;
  const Setup kNothing = [](const e2e::Scratch&) {};
  struct Row {
    const char* what;
    const char* squishPath;  // relative to the node; nullptr: no key
    Setup setup;
    const char* code;
  };
  const Row kRows[] = {
      {"no SquishPath", nullptr, kNothing, "01"},
      {"empty SquishPath", "", kNothing, "01"},
      {"configuration missing", "none.cfg", kNothing, "01"},
      {"configuration is a directory", "cfgdir",
       [](const e2e::Scratch& n) { n.MakeDir("cfgdir"); }, "01"},
      {"temporary name taken by a directory", "squish.cfg",
       [](const e2e::Scratch& n) { n.MakeDir("squish_.cfg.tmp"); }, "04"},
      // Creating the temporary file would empty the configuration itself.
      {"configuration named like the temporary file", "squish_.cfg.tmp",
       [](const e2e::Scratch& n) {
         n.Write("squish_.cfg.tmp", n.Read("squish.cfg"));
       }, "04"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    e2e::Scratch node;
    Params params = {{"Check2", "TRUE"}};
    if (row.squishPath != nullptr)
      params.push_back(
          {"SquishPath", *row.squishPath ? node.WinPath(row.squishPath) : ""});
    node.Write("Movionr.dat", e2e::Params(params));
    node.Write("squish.cfg", Fill(node, "EchoArea FIDO %\\AUTO0001\r\n"));
    MakeBase(node, "AUTO0001", "dilp");
    row.setup(node);
    Tree before = node.Tree();
    e2e::Result r = node.Run("pmovion");
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(kStart, r.out);  // no pause after a failure
    before["Movionr.End"] = row.code;
    EXPECT_EQ(before, node.Tree());
  }
}

// Show that a backup name is found before anything changes: the one free
// name is used, and with all 36 taken the run stops with the error exit.
TEST(Pmovion, BackupNames) {
  const char* const kSuffixes = "1234567890_abcdefghijklmnopstuvwxyz";
  for (bool allTaken : {false, true}) {
    SCOPED_TRACE(allTaken ? "all taken" : "one free");
    Node node("EchoArea FIDO %\\AUTO0001\r\n");
    MakeBase(node.dir, "AUTO0001", "dilp");
    for (const char* c = kSuffixes; *c; ++c)
      if (allTaken || *c != 'k')
        node.dir.Write(std::string("squish.cfg.") + *c + ".bak", "older");
    node.dir.Write("squish.cfg..bak", "older");
    Tree before = node.dir.Tree();
    e2e::Result r = node.Run();
    Tree after = node.dir.Tree();
    if (allTaken) {
      const std::string error =
          "Runtime error " + std::to_string(e2e::NameTakenError()) + ":";
      EXPECT_EQ(e2e::NameTakenError(), r.exitCode);
      EXPECT_EQ(kStart, r.out.substr(0, kStart.size()));
      EXPECT_EQ(error, r.out.substr(kStart.size(), error.size()));
      EXPECT_EQ(before, after);
      continue;
    }
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(before["squish.cfg"], after["squish.cfg.k.bak"]);
    EXPECT_EQ(Fill(node.dir, "EchoArea FIDO %\\FIDO\r\n"), after["squish.cfg"]);
    EXPECT_EQ("older", after["squish.cfg..bak"]);
    EXPECT_EQ("AUTO0001.sqd", after["FIDO.sqd"]);
  }
}

// Show the end-of-run pause with Check2 and standard input at its end.
TEST(Pmovion, PauseWithCheck2) {
  Node node("EchoArea FIDO %\\AUTO0001\r\n", {{"Check2", "TRUE"}});
  MakeBase(node.dir, "AUTO0001", "dilp", &node.expected);
  Moved(node.expected, "AUTO0001", "FIDO");
  node.ExpectReplaced("EchoArea FIDO %\\FIDO\r\n");
  e2e::Result r = node.Run();
  EXPECT_EQ(100, r.exitCode);
  EXPECT_EQ(kStart + Fill(node.dir, "%\\AUTO0001 -> FIDO :Renamed 4 files\r\n") +
                kPause,
            r.out);
  EXPECT_EQ(node.expected, Left(node.dir));
}

// Show that a temporary file that cannot be written leaves the failure
// pending: the configuration stays, every base moved goes back, and the
// run ends with an empty marker (exit 101) or, with the pause, with the
// error exit after its hyphens.
TEST(Pmovion, PendingFailureUndoesEverything) {
  for (bool check2 : {false, true}) {
    SCOPED_TRACE(check2 ? "Check2" : "no Check2");
    Node node("EchoArea FIDO %\\AUTO0001\r\nEchoArea BAR %\\AUTO0002\r\n",
              {{"Check2", check2 ? "TRUE" : ""}});
    MakeBase(node.dir, "AUTO0001", "dilp", &node.expected);
    MakeBase(node.dir, "AUTO0002", "sl", &node.expected);
    node.expected["squish_.cfg.tmp"] = "";
    node.expected["squish.cfg"] = node.dir.Read("squish.cfg");
    e2e::Result r = node.Run({.failWritesTo = "squish_.cfg.tmp"});
    const std::string lines = kStart + Fill(node.dir,
        "%\\AUTO0001 -> FIDO :Renamed 4 files\r\n"
        "%\\AUTO0002 -> BAR :Renamed 1 files\r\n");
    if (check2) {
      EXPECT_EQ(e2e::DiskFullError(), r.exitCode);
      const std::string head = lines + "-------------------\r\nRuntime error " +
                               std::to_string(e2e::DiskFullError()) + ":";
      EXPECT_EQ(head, r.out.substr(0, head.size()));
    } else {
      EXPECT_EQ(101, r.exitCode);
      EXPECT_EQ(lines, r.out);
      node.expected["Movionr.End"] = "";
    }
    EXPECT_EQ(node.expected, Left(node.dir));
  }
}

// Show on a real node's configuration (36 auto-created areas spread over
// three directories, the same AUTO number in each) that every auto area is
// renamed with its base, every line survives, and every message file is
// named by the configuration left behind.
TEST(Pmovion, RealConfiguration) {
  const std::string source =
      std::string(ORVANE_REALDATA_DIR) + "/squish/partoss-doc-squish.cfg";
  std::ifstream in(source, std::ios::binary);
  if (!in) GTEST_SKIP() << "no real data at " << source;
  std::string original((std::istreambuf_iterator<char>(in)),
                       std::istreambuf_iterator<char>());
  e2e::Scratch node;
  // Its paths lie on drive D:; here they lie inside the node.
  std::string config;
  const std::string kDrive = "d:\\tc\\";
  for (std::size_t at = 0;;) {
    std::size_t hit = original.find(kDrive, at);
    config += original.substr(at, hit - at);
    if (hit == std::string::npos) break;
    config += node.WinPath("tc") + "\\";
    at = hit + kDrive.size();
  }
  node.Write("squish.cfg", config);
  node.Write("Movionr.dat",
             e2e::Params({{"Check1", "TRUE"}, {"Edit1", "_"},
                          {"SquishPath", node.WinPath("squish.cfg")}}));
  node.MakeDir("tc");
  static const std::regex kAuto("\\\\tc\\\\(echo[12]?)\\\\(auto[0-9a-f]{4}) ");
  int autoAreas = 0;
  std::set<std::string> dirs;
  for (std::sregex_iterator it(config.begin(), config.end(), kAuto), end;
       it != end; ++it) {
    if (dirs.insert((*it)[1]).second) node.MakeDir("tc/" + (*it)[1].str());
    MakeBase(node, "tc/" + (*it)[1].str() + "/" + (*it)[2].str(), "dilp");
    ++autoAreas;
  }
  ASSERT_EQ(36, autoAreas);
  e2e::Result r = node.Run("pmovion");
  EXPECT_EQ(100, r.exitCode);
  EXPECT_EQ("00", node.Read("Movionr.End"));
  const std::string written = node.Read("squish.cfg");
  int renamed = 0;
  for (std::size_t at = 0; (at = r.out.find(":Renamed 4 files\r\n", at)) !=
                           std::string::npos; ++at)
    ++renamed;
  EXPECT_EQ(36, renamed);
  EXPECT_EQ(std::count(config.begin(), config.end(), '\n'),
            std::count(written.begin(), written.end(), '\n'));
  EXPECT_NE(std::string::npos,
            written.find(e2e::AsWritten(config,
                         "\r\nEchoArea SU.MAILER " + node.WinPath("tc") +
                         "\\echo1\\SU_MAILER -$ -$m100 -0 -$@ -$gZ "
                         "-p2:5030/177 .2 .11 51 251\r\n")));
  int files = 0;
  for (const auto& [name, bytes] : node.Tree()) {
    if (name.size() < 4 || name.compare(name.size() - 4, 3, ".sq") != 0)
      continue;
    ++files;
    std::string base = node.WinPath(name.substr(0, name.size() - 4));
    SCOPED_TRACE(base);
    EXPECT_NE(std::string::npos, written.find(" " + base + " "));
  }
  EXPECT_EQ(4 * 36, files);
  std::string backup;
  for (const auto& [name, bytes] : node.Tree())
    if (name.rfind("squish.cfg.", 0) == 0) backup = bytes;
  EXPECT_EQ(config, backup);
}

}  // namespace
