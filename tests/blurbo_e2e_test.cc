// blurbo run for real in a scratch node: what it prints, the configuration
// it writes, the backup it keeps and what it leaves when a step fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/sys_utils.h"
#include "tests/e2e.h"

namespace {

using Tree = std::map<std::string, std::string>;

const char kList[] =
    "NET.TALK    General talk\r\nLOCAL.CHAT  Local chat\r\nnet.test\r\n";
const std::regex kBackupName(
    "squish\\.cfg\\.areas[1234567890_abcdefghijklmnopstuvwxyz]?\\.bak");

std::string Flag(bool set) { return set ? "TRUE" : "FALSE"; }

// A node with the list, the configuration and the parameters for it.
void Prepare(const e2e::Scratch& node, const std::string& config,
             bool check1 = false, bool check2 = false) {
  node.Write("blurbor.dsc", kList);
  node.Write("squish.cfg", config);
  node.Write("Blurbor.dat",
             e2e::Params({{"SquishPath", node.WinPath("squish.cfg")},
                          {"Check1", Flag(check1)},
                          {"Check2", Flag(check2)}}));
}

std::string Console(const std::vector<std::string>& tags) {
  std::string out = e2e::BannerLine("Blurbosmith v1.0 for Orvane") + "\r\n" +
                    "reading descriptions...\r\n";
  for (const std::string& tag : tags) out += "Echo:" + tag + "\r\n";
  return out;
}

std::vector<std::string> Backups(const e2e::Scratch& node) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : node.Tree())
    if (std::regex_match(name, kBackupName)) names.push_back(name);
  return names;
}

// A successful run: the written file, one backup with the old bytes, no
// temporary file, marker "00" and exit code 100.
void ExpectDone(const e2e::Scratch& node, const e2e::Result& r,
                const std::string& old, const std::string& written,
                const std::vector<std::string>& tags) {
  EXPECT_EQ(100, r.exitCode);
  EXPECT_EQ(Console(tags), r.out);
  EXPECT_EQ("00", node.Read("Blurbor.End"));
  EXPECT_EQ(written, node.Read("squish.cfg"));
  std::vector<std::string> backups = Backups(node);
  ASSERT_EQ(1u, backups.size());
  EXPECT_EQ(old, node.Read(backups[0]));
  EXPECT_FALSE(node.Has("squish_.cfg.tmp"));
  EXPECT_EQ(5u, node.Tree().size());  // parameters, list, config, backup, marker
}

TEST(BlurboRun, TypicalLines) {
  struct Row { std::string line; bool check1; bool check2; std::string tag;
               std::string written; };
  const Row kRows[] = {
      {"EchoArea   NET.TALK   D:\\Msg\\Talk   -$   1:2/3", false, false,
       "NET.TALK",
       "EchoArea NET.TALK D:\\Msg\\Talk -$  -$n\"General talk\" 1:2/3"},
      {"EchoArea NET.TALK D:\\Msg\\Talk -$ -$n\"Old text\" 1:2/3", true, false,
       "NET.TALK",
       "EchoArea NET.TALK D:\\Msg\\Talk -$  -$n\"General talk\"  1:2/3"},
      {"EchoArea LOCAL.CHAT D:\\Msg\\Chat -b Squish -a 1:2/3", false, false,
       "LOCAL.CHAT",
       "EchoArea LOCAL.CHAT D:\\Msg\\Chat  -d \"Local chat\" -b Squish -a 1:2/3"},
      {"EchoArea LOCAL.CHAT D:\\Msg\\Chat -b Squish -d \"Old text\" -a 1:2/3",
       true, false, "LOCAL.CHAT",
       "EchoArea LOCAL.CHAT D:\\Msg\\Chat  -d \"Local chat\" -b Squish  -a 1:2/3"},
      {"EchoArea NET.OTHER D:\\Msg\\Other -$ 1:2/3", false, true, "NET.OTHER",
       "EchoArea NET.OTHER D:\\Msg\\Other -$  -$n\"NET.OTHER\" 1:2/3"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line);
    e2e::Scratch node;
    const std::string old = row.line + "\n";
    Prepare(node, old, row.check1, row.check2);
    e2e::Result r = node.Run("blurbo");
    ExpectDone(node, r, old, e2e::AsWritten(old, row.written + "\r\n"),
               {row.tag});
  }
}

// Show that each failure the run detects itself ends it with its code and
// leaves the configuration as it was.
TEST(BlurboRun, FailureCodesAndWhatTheyLeave) {
  const std::string cfg = "EchoArea NET.TALK D:\\Msg\\Talk -$ 1:2/3\r\n";
  const std::string banner =
      e2e::BannerLine("Blurbosmith v1.0 for Orvane") + "\r\n";
  struct Row {
    const char* name;
    std::function<void(const e2e::Scratch&)> setUp;
    const char* code;
    Tree extra;  // files besides the parameters, the list and the marker
  };
  const Row kRows[] = {
      {"01: no configuration",
       [](const e2e::Scratch& n) { Prepare(n, ""); ::unlink(n.Path("squish.cfg").c_str()); },
       "01", {}},
      {"01: no SquishPath",
       [&](const e2e::Scratch& n) {
         Prepare(n, cfg);
         n.Write("Blurbor.dat", e2e::Params({{"Check2", "TRUE"}}));
       },
       "01", {{"squish.cfg", cfg}}},
      {"04: a directory where the temporary file goes",
       [&](const e2e::Scratch& n) { Prepare(n, cfg); n.MakeDir("squish_.cfg.tmp"); },
       "04", {{"squish.cfg", cfg}, {"squish_.cfg.tmp", "<dir>"}}},
      {"04: the configuration has the temporary file's name",
       [&](const e2e::Scratch& n) {
         Prepare(n, "");
         ::unlink(n.Path("squish.cfg").c_str());
         n.Write("squish_.cfg.tmp", cfg);
         n.Write("Blurbor.dat",
                 e2e::Params({{"SquishPath", n.WinPath("squish_.cfg.tmp")}}));
       },
       "04", {{"squish_.cfg.tmp", cfg}}},
      {"05: no description list",
       [&](const e2e::Scratch& n) { Prepare(n, cfg); ::unlink(n.Path("blurbor.dsc").c_str()); },
       "05", {{"squish.cfg", cfg}, {"squish_.cfg.tmp", ""}}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    e2e::Scratch node;
    row.setUp(node);
    Tree expected = node.Tree();
    expected.erase("squish_.cfg.tmp");
    for (const auto& [name, bytes] : row.extra) expected[name] = bytes;
    expected["Blurbor.End"] = row.code;
    e2e::Result r = node.Run("blurbo");
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(banner, r.out);
    EXPECT_EQ(expected, node.Tree());
  }
}

TEST(BlurboRun, LongLinesKeepEveryByte) {
  std::string links;
  for (int n = 1; links.size() < 3000; ++n) links += " 2:5020/" + std::to_string(n);
  const std::string area = "EchoArea NET.TALK D:\\Msg\\Talk -$" + links;
  const std::string comment = ";" + links;
  e2e::Scratch node;
  const std::string old = area + "\n" + comment + "\n";
  Prepare(node, old);
  e2e::Result r = node.Run("blurbo");
  ExpectDone(node, r, old, e2e::AsWritten(old,
             "EchoArea NET.TALK D:\\Msg\\Talk -$  -$n\"General talk\"" + links +
                 "\r\n" + comment + "\r\n"),
             {"NET.TALK"});
}

// Show that a file comes back with the line ends of its first line (CR LF
// always from the Windows build), and that the text after an end-of-file
// Ctrl-Z, which the tosser does not read either, is kept as it stands.
TEST(BlurboRun, LineEnds) {
  struct Row { const char* name; std::string old, written, windows; };
  const Row kRows[] = {
      {"LF", "A  b\nC\n", "A b\nC\n", "A b\r\nC\r\n"},
      {"CR LF", "A  b\r\nC\r\n", "A b\r\nC\r\n", "A b\r\nC\r\n"},
      {"the first line decides", "A\r\nB\n", "A\r\nB\r\n", "A\r\nB\r\n"},
      {"lone CR dropped", "A\rB\nC\r\n", "AB\nC\n", "AB\r\nC\r\n"},
      {"no LF at all", "A  b", "A b\r\n", "A b\r\n"},
      {"Ctrl-Z where a line begins: the rest kept",
       "A  b\r\n\x1a" "B  c\r\nmore\x1a", "A b\r\n\x1a" "B  c\r\nmore\x1a",
       "A b\r\n\x1a" "B  c\r\nmore\x1a"},
      {"Ctrl-Z first", "\x1a" "B\n", "\x1a" "B\n", "\x1a" "B\n"},
      {"Ctrl-Z inside a line is a byte", "A\x1a" "B\n", "A\x1a" "B\n",
       "A\x1a" "B\r\n"},
      {"no final line end", "A\nB", "A\nB\n", "A\r\nB\r\n"},
      {"empty file", "", "", ""},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    e2e::Scratch node;
    Prepare(node, row.old);
    e2e::Result r = node.Run("blurbo");
    ExpectDone(node, r, row.old, e2e::KeepsLf() ? row.written : row.windows,
               {});
  }
}

// Show that a full disk never costs the configuration: with every write to
// the temporary file failing, the old file stays and no backup is made. A small file
// fails at its last flush (exit 101, empty marker); a large one fails while
// areas are still printed, which ends the run with the error exit.
TEST(BlurboRun, FullDiskLeavesTheConfiguration) {
  std::string small = "EchoArea NET.TALK D:\\Msg\\Talk -$ 1:2/3\r\n";
  std::string large;
  while (large.size() < 200 * 1024) large += small;
  struct Row { const char* name; std::string old; int exitCode; bool marker; };
  const Row kRows[] = {
      {"small", small, 101, true},
      {"large", large, e2e::DiskFullError(), false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    e2e::Scratch node;
    Prepare(node, row.old);
    Tree before = node.Tree();
    before["squish_.cfg.tmp"] = "";
    e2e::Result r = node.Run("blurbo", {.failWritesTo = "squish_.cfg.tmp"});
    if (row.marker) {
      EXPECT_EQ(row.exitCode, r.exitCode);
      before["Blurbor.End"] = "";
    } else {
      EXPECT_EQ(row.exitCode, r.exitCode);
      EXPECT_NE(std::string::npos,
                r.out.find("\r\nRuntime error " + std::to_string(row.exitCode)));
    }
    EXPECT_EQ(before, node.Tree());
  }
}

TEST(BlurboRun, TakenBackupNamesLeaveTheNewTextInTheTemporaryFile) {
  e2e::Scratch node;
  const std::string old = "EchoArea NET.TALK D:\\Msg\\Talk -$ 1:2/3\n";
  Prepare(node, old);
  const std::string alphabet = "1234567890_abcdefghijklmnopstuvwxyz";
  for (std::size_t i = 0; i <= alphabet.size(); ++i) {
    std::string suffix = i < alphabet.size() ? alphabet.substr(i, 1) : "";
    node.Write("squish.cfg.areas" + suffix + ".bak", "backup " + suffix);
  }
  Tree expected = node.Tree();
  expected["squish_.cfg.tmp"] = e2e::AsWritten(
      old, "EchoArea NET.TALK D:\\Msg\\Talk -$  -$n\"General talk\" 1:2/3\r\n");
  expected["Blurbor.End"] = "";
  e2e::Result r = node.Run("blurbo");
  EXPECT_EQ(101, r.exitCode);
  EXPECT_EQ(Console({"NET.TALK"}), r.out);
  EXPECT_EQ(expected, node.Tree());
}

std::vector<std::string> Lines(const std::string& text, const char* end) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  const std::size_t endSize = std::strlen(end);
  while (start < text.size()) {
    std::size_t stop = text.find(end, start);
    if (stop == std::string::npos) stop = text.size();
    lines.push_back(text.substr(start, stop - start));
    start = stop + endSize;
  }
  return lines;
}

bool IsAreaLine(const std::string& compacted) {
  return sys_utils::UpperCase(compacted.substr(0, 8)) == "ECHOAREA" &&
         sys_utils::UpperCase(line_path::FirstWord(compacted)) !=
             "ECHOAREADEFAULTS";
}

// Show, over real nodes' configurations, that every line is kept: other
// lines come out compacted and nothing more, and an area line at most
// gains one option in one place.
TEST(BlurboRun, RealConfigurationsKeepEveryLine) {
  const std::filesystem::path data = ORVANE_REALDATA_DIR;
  if (!std::filesystem::is_directory(data / "squish"))
    GTEST_SKIP() << "no real data at " << data;
  std::ifstream listFile(data / "echolist" / "vision3-fidonet.na",
                         std::ios::binary);
  std::stringstream list;
  list << listFile.rdbuf();
  for (const auto& entry : std::filesystem::directory_iterator(data / "squish")) {
    SCOPED_TRACE(entry.path().filename().string());
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string old = bytes.str();
    e2e::Scratch node;
    Prepare(node, old, false, true);
    node.Write("blurbor.dsc", list.str());
    e2e::Result r = node.Run("blurbo");
    ASSERT_EQ(100, r.exitCode);
    ASSERT_EQ("00", node.Read("Blurbor.End"));
    ASSERT_EQ(1u, Backups(node).size());
    EXPECT_EQ(old, node.Read(Backups(node)[0]));

    const std::vector<std::string> before = Lines(old, "\n");
    const std::string written = node.Read("squish.cfg");
    const std::string end = e2e::AsWritten(old, "\r\n");
    ASSERT_TRUE(written.empty() || written.ends_with(end));
    const std::vector<std::string> after = Lines(written, end.c_str());
    ASSERT_EQ(before.size(), after.size());
    std::size_t areas = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
      std::string compacted = before[i];
      line_path::CompactBlanks(compacted);
      if (IsAreaLine(compacted))
        ++areas;
      if (after[i] == compacted) continue;
      SCOPED_TRACE(before[i]);
      // Otherwise the compacted line with one option put in somewhere.
      if (after[i].size() <= compacted.size()) {
        ADD_FAILURE() << "line lost bytes: " << after[i];
        continue;
      }
      std::size_t head = 0;
      while (head < compacted.size() && compacted[head] == after[i][head]) ++head;
      std::size_t tail = 0;
      while (tail < compacted.size() - head &&
             compacted[compacted.size() - 1 - tail] ==
                 after[i][after[i].size() - 1 - tail])
        ++tail;
      EXPECT_EQ(compacted.size(), head + tail);
      const std::string option =
          after[i].substr(head, after[i].size() - compacted.size());
      EXPECT_TRUE(option.starts_with(" -$n\"") || option.starts_with(" -d \"") ||
                  option.starts_with("-$n\"") || option.starts_with("-d \""))
          << option;
    }
    const std::string echo = "\r\nEcho:";
    std::size_t printed = 0;
    for (std::size_t at = r.out.find(echo); at != std::string::npos;
         at = r.out.find(echo, at + 1))
      ++printed;
    EXPECT_EQ(areas, printed);
  }
}

}  // namespace
