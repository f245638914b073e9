// Sweeposmith run end to end in a scratch node: what it prints, which
// marker and exit code it leaves, and every file left in the node.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/e2e.h"

namespace {

const char kBanner[] = "Sweeposmith Plug v1.1 for Orvane";
const char kPause[] =
    "-------------------\r\n%s\r\n\r\nPress Enter to Continue...\r\n";
const char kBackupAlphabet[] = "1234567890_abcdefghijklmnopstuvwxyz";

std::string Pause(const std::string& summary) {
  std::string text = kPause;
  return text.replace(text.find("%s"), 2, summary);
}

// "goldarea.inc. " with its blank, one character of the alphabet or none,
// ".bak".
bool IsBackupName(const std::string& name) {
  const std::string head = "goldarea.inc. ", tail = ".bak";
  if (name.size() < head.size() + tail.size() ||
      name.compare(0, head.size(), head) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  std::string suffix =
      name.substr(head.size(), name.size() - head.size() - tail.size());
  return suffix.empty() ||
         (suffix.size() == 1 &&
          std::string(kBackupAlphabet).find(suffix[0]) != std::string::npos);
}

// The backups in the node, by name.
std::map<std::string, std::string> Backups(const e2e::Scratch& node) {
  std::map<std::string, std::string> out;
  for (const auto& [name, bytes] : node.Tree())
    if (IsBackupName(name)) out[name] = bytes;
  return out;
}

// Every file except the backups, whose names are drawn.
std::map<std::string, std::string> WithoutBackups(const e2e::Scratch& node) {
  std::map<std::string, std::string> out = node.Tree();
  std::erase_if(out, [](const auto& kv) { return IsBackupName(kv.first); });
  return out;
}

std::string Join(const std::vector<std::string>& lines, const char* end) {
  std::string out;
  for (const std::string& line : lines) out += line + end;
  return out;
}

// The error exit: a "Runtime error" line with the number that is also the
// exit code.
void ExpectErrorExit(const e2e::Result& r, int code) {
  EXPECT_NE(0, r.exitCode);
  EXPECT_NE(100, r.exitCode);
  EXPECT_NE(101, r.exitCode);
  EXPECT_EQ(code, r.exitCode);
  EXPECT_NE(std::string::npos,
            r.out.find("\r\nRuntime error " + std::to_string(code)));
}

// A node with the configuration and the include file in place, and the
// parameter file naming them.
void SetUpNode(const e2e::Scratch& node, const std::string& squish,
               const std::string& include, bool check1) {
  node.Write("squish.cfg", squish);
  node.Write("GOLDAREA.INC", include);
  std::vector<std::pair<std::string, std::string>> params = {
      {"SquishPath", node.WinPath("squish.cfg")},
      {"Edit1", node.WinPath("GOLDAREA.INC")}};
  if (check1) params.push_back({"Check1", "TRUE"});
  node.Write("Sweepor.dat", e2e::Params(params));
}

// A small node: six configuration lines, seven include lines.
const std::vector<std::string> kExampleSquish = {
    "; areas of this node",
    "NetArea NETMAIL C:\\MAIL\\NETMAIL",
    "EchoArea FIDO.SYSOP C:\\MAIL\\SYSOP -$",
    "EchoArea Local.Talk C:\\MAIL\\TALK -$",
    ";EchoArea OLD.AREA C:\\MAIL\\OLD -$",
    "   EchoArea NEW.AREA C:\\MAIL\\NEW -$",
};

struct ExampleRow {
  const char* include;  // the include file's line
  const char* console;  // the "Processing" line it gives, or nothing
  const char* written;  // its line in the cleaned file, or nullptr
};
const ExampleRow kExample[] = {
    {"; GoldED areas", "", "; GoldED areas"},
    {"AREADEF NETMAIL Netmail 0 Net Squish C:\\MAIL\\NETMAIL",
     "Processing NETMAIL",
     "AREADEF NETMAIL Netmail 0 Net Squish C:\\MAIL\\NETMAIL"},
    // indented, mixed case, two blanks after the keyword: found, one kept
    {"  AreaDef  fido.sysop Sysop 0 Echo Squish C:\\MAIL\\SYSOP",
     "Processing FIDO.SYSOP",
     "AREADEF  fido.sysop Sysop 0 Echo Squish C:\\MAIL\\SYSOP"},
    // only a commented-out area line names it
    {"AREADEF OLD.AREA Old 0 Echo Squish C:\\MAIL\\OLD", "Processing OLD.AREA",
     nullptr},
    // only an indented area line names it
    {"AREADEF NEW.AREA New 0 Echo Squish C:\\MAIL\\NEW", "Processing NEW.AREA",
     nullptr},
    // the tab becomes one blank, the trailing blanks go
    {"AREADEF\tLOCAL.TALK Talk 0 Echo Squish C:\\MAIL\\TALK  ",
     "Processing LOCAL.TALK",
     "AREADEF LOCAL.TALK Talk 0 Echo Squish C:\\MAIL\\TALK"},
    {"AREASEP ! Echomail 0 Echo", "", "AREASEP ! Echomail 0 Echo"},
};

// Show that the small node comes out byte for byte, with and without
// the summary, and that the previous file is kept under a backup name
// with its blank while the temporary file is gone.
TEST(Sweepo, SmallNode) {
  std::vector<std::string> include, written;
  std::string processing;
  for (const ExampleRow& row : kExample) {
    include.push_back(row.include);
    if (*row.console) processing += std::string(row.console) + "\r\n";
    if (row.written != nullptr) written.push_back(row.written);
  }
  const std::string squish = Join(kExampleSquish, "\r\n");
  const std::string oldInclude = Join(include, "\r\n");
  for (bool check1 : {true, false}) {
    SCOPED_TRACE(check1 ? "Check1 set" : "Check1 clear");
    e2e::Scratch node;
    SetUpNode(node, squish, oldInclude, check1);
    const std::string params = node.Read("Sweepor.dat");
    e2e::Result r = node.Run("sweepo");
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(e2e::BannerLine(kBanner) + processing +
                  (check1 ? Pause("Deleted/Total: 2/5") : ""),
              r.out);
    const std::map<std::string, std::string> kLeft = {
        {"GOLDAREA.INC", Join(written, "\r\n")},
        {"Sweepor.End", "00"},
        {"Sweepor.dat", params},
        {"squish.cfg", squish}};
    EXPECT_EQ(kLeft, WithoutBackups(node));
    std::map<std::string, std::string> backups = Backups(node);
    ASSERT_EQ(1u, backups.size());
    EXPECT_EQ(oldInclude, backups.begin()->second);
  }
}

// Show that an empty include file gives an empty one and an empty backup,
// and that an empty configuration drops every AREADEF line and keeps the
// other lines trimmed; the last line gets its line end.
TEST(Sweepo, EmptyFiles) {
  struct Row {
    const char* what;
    std::string squish, include, cleaned, processing, summary;
  };
  const Row kRows[] = {
      {"empty include file", "EchoArea A C:\\A\n", "", "", "",
       "Deleted/Total: 0/0"},
      {"empty configuration", "", "AREADEF A x\n\t; keep me \nAREADEF B y",
       "; keep me\r\n", "Processing A\r\nProcessing B\r\n",
       "Deleted/Total: 2/2"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    e2e::Scratch node;
    SetUpNode(node, row.squish, row.include, true);
    e2e::Result r = node.Run("sweepo");
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(e2e::BannerLine(kBanner) + row.processing + Pause(row.summary),
              r.out);
    EXPECT_EQ(e2e::AsWritten(row.include, row.cleaned),
              node.Read("GOLDAREA.INC"));
    EXPECT_EQ("00", node.Read("Sweepor.End"));
    std::map<std::string, std::string> backups = Backups(node);
    ASSERT_EQ(1u, backups.size());
    EXPECT_EQ(row.include, backups.begin()->second);
    EXPECT_FALSE(node.Has("golded.inc.tmp.x3"));
  }
}

// Show that a run that cannot start its work ends with its code and
// touches nothing: no temporary file, no backup, the files as they were.
TEST(Sweepo, FailureCodesTouchNothing) {
  struct Row {
    const char* what;
    const char* squishName;   // "" leaves SquishPath empty
    const char* includeName;  // "" leaves Edit1 empty
    const char* marker;
  };
  const Row kRows[] = {
      {"configuration missing", "nosuch.cfg", "GOLDAREA.INC", "01"},
      {"SquishPath empty", "", "GOLDAREA.INC", "01"},
      {"SquishPath names the temporary file", "golded.inc.tmp.x3",
       "GOLDAREA.INC", "01"},
      {"include file missing", "squish.cfg", "NOSUCH.INC", "04"},
      {"Edit1 empty", "squish.cfg", "", "04"},
      {"Edit1 names the temporary file", "squish.cfg", "golded.inc.tmp.x3",
       "04"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    e2e::Scratch node;
    node.Write("squish.cfg", "EchoArea A C:\\A\n");
    node.Write("GOLDAREA.INC", "AREADEF A x\nAREADEF B y\n");
    node.Write("golded.inc.tmp.x3", "EchoArea A C:\\A\nAREADEF B y\n");
    std::vector<std::pair<std::string, std::string>> params = {
        {"Check1", "TRUE"}};
    if (*row.squishName) params.push_back({"SquishPath", node.WinPath(row.squishName)});
    if (*row.includeName) params.push_back({"Edit1", node.WinPath(row.includeName)});
    node.Write("Sweepor.dat", e2e::Params(params));
    std::map<std::string, std::string> before = node.Tree();
    e2e::Result r = node.Run("sweepo");
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(e2e::BannerLine(kBanner), r.out);
    before["Sweepor.End"] = row.marker;
    EXPECT_EQ(before, node.Tree());
  }
}

// Show that when every backup name is taken the run ends with the error
// exit: the include file and the backups stay, the complete cleaned copy
// is left in the temporary file, and no marker is written.
TEST(Sweepo, TakenBackupNameChangesNothing) {
  e2e::Scratch node;
  SetUpNode(node, "EchoArea A C:\\A\n", "AREADEF A x\nAREADEF B y\n", false);
  std::string alphabet = kBackupAlphabet;
  for (std::size_t i = 0; i <= alphabet.size(); ++i)
    node.Write("goldarea.inc. " + alphabet.substr(i, 1) + ".bak", "older");
  std::map<std::string, std::string> before = node.Tree();
  ASSERT_EQ(36u, Backups(node).size());
  e2e::Result r = node.Run("sweepo");
  ExpectErrorExit(r, e2e::NameTakenError());
  before["golded.inc.tmp.x3"] = e2e::AsWritten("\n", "AREADEF A x\r\n");
  EXPECT_EQ(before, node.Tree());
}

// Show that a temporary file that cannot be written (a full disk) ends the
// run with the error exit and the include file as it was.
TEST(Sweepo, FailingWriteLeavesTheIncludeFile) {
  e2e::Scratch node;
  SetUpNode(node, "EchoArea A C:\\A\n", "AREADEF A x\nAREADEF B y\n", true);
  std::map<std::string, std::string> before = node.Tree();
  before["golded.inc.tmp.x3"] = "";
  e2e::Result r = node.Run("sweepo", {.failWritesTo = "golded.inc.tmp.x3"});
  ExpectErrorExit(r, e2e::DiskFullError());
  EXPECT_EQ(e2e::BannerLine(kBanner) + "Processing A\r\nProcessing B\r\n",
            r.out.substr(0, r.out.find("Runtime error")));
  EXPECT_EQ(before, node.Tree());  // no marker, no backup
}

// --- The real GoldED files against the real Squish configurations. ---

std::string RealData() { return ORVANE_REALDATA_DIR; }

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(dir + "/" + e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Lines split at LF, CR LF taken off whole; the real files have neither
// lone CRs nor Ctrl-Z bytes.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool Blank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string Stripped(const std::string& s) {
  auto first = std::find_if_not(s.begin(), s.end(), Blank);
  auto last = std::find_if_not(s.rbegin(), s.rend(), Blank).base();
  return first < last ? std::string(first, last) : std::string();
}

// The second word of each area line, upper-cased: a table built in one
// reading, where the plug-in searches the file anew for every name.
std::set<std::string> DefinedAreas(const std::string& squish) {
  static const char* const kKeywords[] = {"ECHOAREA", "NETAREA", "BADAREA",
      "DUPEAREA", "NETMAILINBOUND", "NETMAILOUTBOUND"};
  std::set<std::string> areas;
  for (const std::string& line : Lines(squish)) {
    std::string upper = Upper(line);
    if (std::none_of(std::begin(kKeywords), std::end(kKeywords),
                     [&](const char* k) { return upper.rfind(k, 0) == 0; }))
      continue;
    auto word = std::find_if(upper.begin(), upper.end(), Blank);
    auto start = std::find_if_not(word, upper.end(), Blank);
    areas.insert(std::string(start, std::find_if(start, upper.end(), Blank)));
  }
  return areas;
}

struct Expected {
  std::string cleaned, processing;
  int total = 0, kept = 0;
};

Expected ExpectedRun(const std::string& squish, const std::string& include) {
  std::set<std::string> areas = DefinedAreas(squish);
  Expected e;
  for (const std::string& raw : Lines(include)) {
    std::string line = Stripped(raw);
    if (Upper(line.substr(0, 7)) != "AREADEF") {
      e.cleaned += line + "\r\n";
      continue;
    }
    std::string tail = line.size() > 8 ? line.substr(8) : "";
    std::string name = Stripped(tail);
    name = Upper(name.substr(0, std::find_if(name.begin(), name.end(), Blank) -
                                    name.begin()));
    e.processing += "Processing " + name + "\r\n";
    ++e.total;
    if (areas.count(name) == 0) continue;
    ++e.kept;
    e.cleaned += "AREADEF " + tail + "\r\n";
  }
  return e;
}

// Show that every real include file comes out as an independent reading
// of the real configurations says: the kept AREADEF lines exactly those
// whose areas are defined, every other line trimmed.
TEST(Sweepo, RealGoldedFilesAgainstRealConfigurations) {
  std::vector<std::string> golded = FilesIn(RealData() + "/golded");
  std::vector<std::string> squish = FilesIn(RealData() + "/squish");
  if (golded.empty() || squish.empty())
    GTEST_SKIP() << "no real data in " << RealData();
  for (const std::string& includePath : golded) {
    for (const std::string& squishPath : squish) {
      SCOPED_TRACE(includePath + " against " + squishPath);
      const std::string include = ReadFile(includePath);
      const std::string config = ReadFile(squishPath);
      Expected e = ExpectedRun(config, include);
      e2e::Scratch node;
      SetUpNode(node, config, include, true);
      e2e::Result r = node.Run("sweepo");
      EXPECT_EQ(100, r.exitCode);
      EXPECT_EQ(e2e::BannerLine(kBanner) + e.processing +
                    Pause("Deleted/Total: " + std::to_string(e.total - e.kept) +
                          "/" + std::to_string(e.total)),
                r.out);
      EXPECT_EQ(e2e::AsWritten(include, e.cleaned), node.Read("GOLDAREA.INC"));
      EXPECT_EQ(config, node.Read("squish.cfg"));
      std::map<std::string, std::string> backups = Backups(node);
      ASSERT_EQ(1u, backups.size());
      EXPECT_EQ(include, backups.begin()->second);
    }
  }
}

// Show two outcomes read off the files by hand: the point's netmail and
// dupes areas are the only ones the Maximus configuration defines, and
// "NetmailArea" is no area keyword.
TEST(Sweepo, RealPointAreasByHand) {
  struct Row { const char* squish; const char* summary; const char* kept; };
  const Row kRows[] = {
      {"maximusng-squish.cfg", "Deleted/Total: 3/5", "NETMAIL DUPES"},
      {"mithgol-fidoconfig-areas.cfg", "Deleted/Total: 5/5", ""},
  };
  const std::string include =
      ReadFile(RealData() + "/golded/djv98-fidoip-golded.cfg");
  if (include.empty()) GTEST_SKIP() << "no real data in " << RealData();
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.squish);
    e2e::Scratch node;
    SetUpNode(node, ReadFile(RealData() + "/squish/" + row.squish), include,
              true);
    e2e::Result r = node.Run("sweepo");
    EXPECT_NE(std::string::npos, r.out.find(row.summary));
    std::string kept;
    for (const std::string& line : Lines(node.Read("GOLDAREA.INC")))
      if (line.rfind("AREADEF ", 0) == 0)
        kept += (kept.empty() ? "" : " ") + Upper(line.substr(8, line.find(' ', 8) - 8));
    EXPECT_EQ(row.kept, kept);
  }
}

}  // namespace
