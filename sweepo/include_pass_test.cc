// The include cleaning pass: its line rules as plain text, and the pass
// itself over the in-memory platform, where every file it leaves is seen.
#include "sweepo/include_pass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "kernel/orvKernel.h"
#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using fakefs::Op;

TEST(IsAreaLine, KeywordAtTheVeryStartInAnyCase) {
  struct Row { const char* line; bool area; };
  const Row kRows[] = {
      {"EchoArea FIDO C:\\F", true},
      {"ECHOAREA FIDO", true},
      {"echoarea fido", true},
      {"NetArea NETMAIL C:\\N", true},
      {"badarea BAD C:\\B", true},
      {"DupeArea DUPES C:\\D", true},
      {"NetMailInbound IN C:\\I", true},
      {"NETMAILOUTBOUND OUT C:\\O", true},
      {"EchoAreas FIDO", true},              // a longer first word counts
      {"EchoAreaDefaults -b Jam", true},
      {"ECHOAREA", true},                    // nothing after the keyword
      {"NETAREA", true},
      {"ECHOARE", false},                    // shorter than its keyword
      {"NETMAILINBOUN X", false},
      {"NetmailArea NETMAIL C:\\N", false},  // not one of the six
      {"LocalArea LOCAL C:\\L", false},
      {" EchoArea FIDO", false},             // indented by a blank
      {"\tEchoArea FIDO", false},            // or by a tab
      {";EchoArea FIDO", false},             // commented out
      {"", false},
      {"\xc5\x43HOAREA X", false},           // only a-z fold
      {"NetArea", true},                      // seven bytes exactly
      {"NetAreA\x80", true},
      {"NETMAILINBOUND", true},
      {"NETMAILINBOUNX Y", false},
      {"NETMAILOUTBOUN", false},
      {"NETMAILOUTBOUNDS x", true},
      {"NETMAILIOUTBOUND x", false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(row.area, sweepo::IsAreaLine(row.line));
  }
}

TEST(AreaLineNames, SecondWordWithAToZFolded) {
  struct Row { const char* line; const char* name; bool names; };
  const Row kRows[] = {
      {"EchoArea FIDO.Sysop C:\\F -$", "FIDO.SYSOP", true},
      {"EchoArea\t\t Local.Talk\tC:\\T", "LOCAL.TALK", true},  // tabs separate too
      {"EchoAreaX TAG C:\\X", "TAG", true},          // after the whole first word
      {"EchoArea \x01TAG\x7f x", "TAG\x7f", true},   // control bytes are blanks, DEL is not
      {"EchoArea \x01TAG\x7f x", "TAG", false},
      {"EchoArea TAG", "TAG", true},                  // the name ends the line
      {"EchoArea TAGS x", "TAG", false},              // a longer name
      {"EchoArea TA", "TAG", false},                  // a shorter one
      {"EchoArea TAG x", "TAGS", false},
      {"EchoArea X.TAG x", "TAG", false},             // the same ending
      {"EchoArea", "", true},                         // nothing after the keyword
      {"EchoArea   ", "", true},
      {"EchoArea TAG", "", false},
      {"EchoArea \"Q\" x", "\"Q\"", true},            // quotes are plain bytes
      {"EchoArea CAF\xc9 x", "CAF\xe9", false},        // 8-bit letters must match exactly
      {"EchoArea [ x", "{", false},                   // 0x5b and 0x7b are no letters
      {"EchoArea FIDO TAG", "TAG", false},            // only the second word counts
      {" EchoArea TAG x", "TAG", false},              // no area line at all
      {";EchoArea TAG x", "TAG", false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.line) + " / " + row.name);
    EXPECT_EQ(row.names, sweepo::AreaLineNames(row.line, row.name));
  }
}

TEST(AreaDefLine, KeywordTailAndName) {
  struct Row { const char* trimmed; bool areaDef; const char* tail; const char* name; };
  const Row kRows[] = {
      {"AREADEF NETMAIL Netmail 0 Net", true, "NETMAIL Netmail 0 Net", "NETMAIL"},
      {"AreaDef  fido.sysop Sysop", true, " fido.sysop Sysop", "FIDO.SYSOP"},  // extra blank stays
      {"AREADEF\tLOCAL.TALK Talk", true, "LOCAL.TALK Talk", "LOCAL.TALK"},    // tab as eighth character
      {"areadef x", true, "x", "X"},
      {"AREADEFS TAG y", true, " TAG y", "TAG"},  // any eighth character is dropped
      {"AREADEFTAG y", true, "AG y", "AG"},
      {"AREADEF", true, "", ""},                  // nothing after the keyword
      {"AREADEFX", true, "", ""},
      {"AREADEF  ", true, " ", ""},               // not trimmed: a tail of blanks has no word
      {"AREADE", false, "", ""},
      {"AREASEP ! Echomail 0 Echo", false, "", ""},
      {";AREADEF X", false, "", ""},
      {"// AREADEF X", false, "", ""},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.trimmed);
    EXPECT_EQ(row.areaDef, sweepo::IsAreaDefLine(row.trimmed));
    if (!row.areaDef) continue;
    EXPECT_EQ(row.tail, sweepo::AreaDefTail(row.trimmed));
    EXPECT_EQ(row.name, sweepo::AreaDefName(sweepo::AreaDefTail(row.trimmed)));
  }
}

TEST(IncludePaths, BackupBesideTheIncludeFile) {
  struct Row { const char* include; const char* backup; };
  const Row kRows[] = {
      {"C:\\GOLDED\\GOLDAREA.INC", "C:\\GOLDED\\goldarea.inc. 7.bak"},
      // a drive root keeps its backslash, so two stand in a row
      {"X:\\GOLDAREA.INC", "X:\\\\goldarea.inc. 7.bak"},
      // no directory at all: the current directory
      {"GOLDAREA.INC", "goldarea.inc. 7.bak"},
      // the include file's own name plays no part
      {"D:\\GED\\my.areas", "D:\\GED\\goldarea.inc. 7.bak"},
      {"/srv/golded/areas.inc", "/srv/golded\\goldarea.inc. 7.bak"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.include);
    EXPECT_EQ(row.backup, sweepo::BackupPathFor(row.include, "7"));
  }
  // The 36th position of the alphabet gives no character.
  EXPECT_EQ("C:\\G\\goldarea.inc. .bak", sweepo::BackupPathFor("C:\\G\\A", ""));
}

TEST(SummaryLine, DeletedOverTotal) {
  struct Row { std::uint16_t total, kept; const char* line; };
  const Row kRows[] = {
      {5, 3, "Deleted/Total: 2/5"},
      {0, 0, "Deleted/Total: 0/0"},
      {65535, 0, "Deleted/Total: 65535/65535"},
      {1, 3, "Deleted/Total: -2/1"},  // total wrapped past 65535, kept did not
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(row.line, sweepo::SummaryLine(row.total, row.kept));
  }
}

const std::string kSquish = "C:\\NODE\\squish.cfg";
const std::string kInclude = "C:\\GOLDED\\GOLDAREA.INC";
const std::string kTemp = "C:\\GOLDED\\golded.inc.tmp.x3";
const std::string kBackup = "C:\\GOLDED\\goldarea.inc. 7.bak";
const std::string kMarker = "Sweepor.End";

class IncludePassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakefs::Reset();
    textio::ClearFailure();
    sweepo::ResetIncludePass();
    orvKernel::Params params;
    params.Edit1 = kInclude;
    params.SquishPath = kSquish;
    orvKernel::ResetPluginParams(params, "Sweepor");
    fakefs::SetDraws({6});  // suffix "7"
  }
  void Disk(const std::string& squish, const std::string& include) {
    fakefs::SetFile(kSquish, squish);
    fakefs::SetFile(kInclude, include);
  }
  // Whether the include file holds `expected`, and whether a backup exists.
  static std::string IncludeState(const std::string& expected) {
    bool same = fakefs::FileContents(kInclude) == expected;
    bool backup = false;
    for (const auto& [path, bytes] : fakefs::Files())
      backup = backup || path.find(".bak") != std::string::npos;
    return std::string("include ") + (same ? "as expected" : "otherwise") +
           (backup ? ", backup made" : ", no backup");
  }
};

// Show what the pass writes and prints for small include files, and that
// the previous file goes to the backup and the temporary file goes away.
TEST_F(IncludePassTest, CleansTheIncludeFile) {
  struct Row {
    const char* what;
    std::string squish, include, cleaned, console;
    std::uint16_t total, kept;
  };
  const Row kRows[] = {
      {"duplicates are searched and kept each",
       "EchoArea FIDO C:\\F\n", "AREADEF FIDO a\nAREADEF fido b\n",
       "AREADEF FIDO a\r\nAREADEF fido b\r\n",
       "Processing FIDO\r\nProcessing FIDO\r\n", 2, 2},
      {"an empty configuration drops every AREADEF line, the rest stays trimmed",
       "", "  ; head  \nAREADEF A x\n \t \n\nAREASEP ! y",
       "; head\r\n\r\n\r\nAREASEP ! y\r\n", "Processing A\r\n", 1, 0},
      {"lines that are no area lines never match",
       "; EchoArea A\n EchoArea A\n\tEchoArea A\nNetmailArea A x\n",
       "AREADEF A x\n", "", "Processing A\r\n", 1, 0},
      {"a bare AREADEF stays beside a bare area line, with its blank",
       "EchoArea B x\nEchoArea\n", "AREADEF\n\tAreaDef \n",
       "AREADEF \r\nAREADEF \r\n", "Processing \r\nProcessing \r\n", 2, 2},
      {"a bare AREADEF goes without one",
       "EchoArea B x\n", "AREADEF\n", "", "Processing \r\n", 1, 0},
      {"names fold a-z and nothing else",
       "EchoArea FIDO.Sysop x\nEchoArea CAF\xc9 y\n",
       "AreaDef fido.sysop S\nAREADEF caf\xe9 T\n", "AREADEF fido.sysop S\r\n",
       "Processing FIDO.SYSOP\r\nProcessing CAF\xe9\r\n", 2, 1},
      {"CR LF lines, and AREADEFS keeps its tail after the eighth character",
       "EchoArea A x\r\n", "AREADEFS A y\r\n", "AREADEF  A y\r\n",
       "Processing A\r\n", 1, 1},
      {"an empty include file stays empty",
       "EchoArea A x\n", "", "", "", 0, 0},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    SetUp();
    Disk(row.squish, row.include);
    sweepo::OpenInputs();
    sweepo::CleanIncludeFile();
    EXPECT_EQ(0, textio::ReadAndClearFailure());
    EXPECT_EQ(row.console, fakefs::ConsoleOutput());
    EXPECT_EQ(row.total, sweepo::AreaDefTotal());
    EXPECT_EQ(row.kept, sweepo::AreaDefKept());
    const std::map<std::string, std::string> kLeft = {
        {kBackup, row.include}, {kInclude, row.cleaned}, {kSquish, row.squish}};
    EXPECT_EQ(kLeft, fakefs::Files());
    // The backup is a second name of the old file, and the cleaned copy
    // replaces it in one step: no moment without an include file.
    const std::vector<std::string> kJournal = {
        "create " + kTemp, "link " + kInclude + " -> " + kBackup,
        "replace " + kTemp + " -> " + kInclude};
    EXPECT_EQ(kJournal, fakefs::Journal());
  }
}

// Show that past 65535 AREADEF lines both counters wrap on their own.
TEST_F(IncludePassTest, CountersWrapAt65536) {
  std::string include = "AREADEF A 1\nAREADEF A 2\n";
  for (int i = 0; i < 65535; ++i) include += "AREADEF B\n";
  Disk("EchoArea A x\n", include);
  sweepo::OpenInputs();
  sweepo::CleanIncludeFile();
  EXPECT_EQ(1, sweepo::AreaDefTotal());
  EXPECT_EQ(2, sweepo::AreaDefKept());
  EXPECT_EQ("AREADEF A 1\r\nAREADEF A 2\r\n", fakefs::FileContents(kInclude));
}

// Show that a temporary file that cannot be made durable never takes the
// include file's place.
TEST_F(IncludePassTest, FailedSyncLeavesTheIncludeFile) {
  Disk("EchoArea A x\n", "AREADEF A x\n");
  sweepo::OpenInputs();
  fakefs::FailOn(Op::kSync, kTemp, 5);
  EXPECT_EXIT(
      {
        fakefs::ReportAtExit([] { return IncludeState("AREADEF A x\n"); });
        sweepo::CleanIncludeFile();
      },
      ::testing::ExitedWithCode(5), "include as expected, no backup");
}

// Show that a configuration that cannot be read ends the run before the
// first "Processing" line, with the include file as it was.
TEST_F(IncludePassTest, FailedReadLeavesTheIncludeFile) {
  Disk("EchoArea A x\n", "AREADEF A x\nAREADEF B x\n");
  fakefs::FailOn(Op::kRead, kSquish, 5);
  EXPECT_EXIT(
      {
        fakefs::ReportAtExit([] {
          return IncludeState("AREADEF A x\nAREADEF B x\n") + ", console [" +
                 fakefs::ConsoleOutput() + "]";
        });
        sweepo::OpenInputs();
        sweepo::CleanIncludeFile();
      },
      ::testing::ExitedWithCode(5), "include as expected, no backup, console \\[Runtime error 5");
}

// Show that the close of the configuration at the end is left unchecked:
// the pending failure leaves the marker empty and the exit code 101, after
// the include file was cleaned.
TEST_F(IncludePassTest, FailedFinalCloseGivesAnEmptyMarkerAnd101) {
  Disk("EchoArea A x\n", "AREADEF A x\nAREADEF B x\n");
  fakefs::FailOn(Op::kClose, kSquish, 5);
  EXPECT_EXIT(
      {
        fakefs::ReportAtExit([] {
          return "marker [" +
                 (fakefs::HasFile(kMarker) ? fakefs::FileContents(kMarker)
                                           : std::string("none")) +
                 "], " + IncludeState("AREADEF A x\r\n");
        });
        sweepo::RunSweep();
      },
      ::testing::ExitedWithCode(101), "marker \\[\\], include as expected, backup made");
}

}  // namespace
