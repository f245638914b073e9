// The text rules of the rename pass: which lines are echo areas, what they
// hold, and which new base path a selected area gets.
#include "pmovion/rename_pass.h"

#include <gtest/gtest.h>

#include <functional>

#include "kernel/orvKernel.h"
#include "kernel/safe_edit.h"
#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using fakefs::Op;
using rename_pass::AreaLine;

TEST(ParseAreaLine, FieldsOfACompactedLine) {
  const std::string longLinks = " -$" + std::string(1100, '1');
  struct Row {
    std::string line;
    bool area;
    std::string tag;
    std::string path;
    std::string remainder;
  };
  const Row kRows[] = {
      {"EchoArea FIDO.SUPPORT\tD:\\Mail\\AUTO0007 -$ 1:100/1", true,
       "FIDO.SUPPORT", "D:\\Mail\\AUTO0007", " -$ 1:100/1"},
      {"echoarea t p\t-0", true, "t", "p", "\t-0"},   // any case, tab kept
      {"EchoArea t p", true, "t", "p", ""},            // ends with its path
      // A longer keyword: the remainder still starts right after the path.
      {"EchoAreaX t p -x", true, "t", "p", " -x"},
      {"ECHOAREAS tag base -y", true, "tag", "base", " -y"},
      {"EchoArea t p" + longLinks, true, "t", "p", longLinks},  // kept whole
      // The 255-character field starts with the blank before the word.
      {"EchoArea " + std::string(254, 'T') + " p", true,
       std::string(254, 'T'), "p", ""},
      {"EchoAreaDefaults -dupeCheck move -b Jam", false, "", "", ""},
      {"ECHOAREADEFAULTS a b", false, "", "", ""},
      {";EchoArea t p", false, "", "", ""},             // a comment
      {"NetArea NETMAIL d:\\mail\\net", false, "", "", ""},
      {"EchoArea tag", false, "", "", ""},              // no path
      {"EchoArea", false, "", "", ""},                  // no tag either
      {"EchoAre t p", false, "", "", ""},
      // Words the 255-character fields would cut are not taken apart.
      {"EchoArea " + std::string(255, 'T') + " p", false, "", "", ""},
      {"EchoArea t " + std::string(255, 'P') + " -0", false, "", "", ""},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line.substr(0, 60));
    AreaLine area;
    ASSERT_EQ(row.area, rename_pass::ParseAreaLine(row.line, &area));
    if (!row.area) continue;
    EXPECT_EQ(row.tag, area.tag);
    EXPECT_EQ(row.path, area.path);
    EXPECT_EQ(row.remainder, area.remainder);
  }
}

TEST(TagToBaseName, DotsReplacedOnlyByOneCharacter) {
  struct Row {
    bool check1;
    const char* edit1;
    const char* name;
  };
  const Row kRows[] = {
      {true, "_", "FIDO_SUPPORT_RU"},
      {true, "-", "FIDO-SUPPORT-RU"},
      {true, "", "FIDO.SUPPORT.RU"},     // no character to put in
      {true, "__", "FIDO.SUPPORT.RU"},   // longer than one character
      {false, "_", "FIDO.SUPPORT.RU"},   // Check1 clear
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.check1 ? "set " : "clear ") + row.edit1);
    orvKernel::ResetPluginParams({.Edit1 = row.edit1, .Check1 = row.check1});
    EXPECT_EQ(row.name, rename_pass::TagToBaseName("FIDO.SUPPORT.RU"));
  }
}

TEST(NewBasePath, SelectionAndDirectoryPart) {
  struct Row {
    bool check3;
    const char* path;
    const char* newPath;  // empty: not selected
  };
  const Row kRows[] = {
      {false, "D:\\Mail\\AUTO0007", "D:\\Mail\\local.test"},
      {false, "D:\\Mail\\auto001c", "D:\\Mail\\local.test"},  // any case
      {false, "D:\\Mail\\AuTo0001", "D:\\Mail\\local.test"},
      // Four to eight characters: the whole path is the name.
      {false, "AUTO0001", "local.test"},
      {false, "AUTO", "local.test"},
      {false, "auto1", "local.test"},
      {false, "xAUTO001", ""},           // AUTO not where it must stand
      {false, "AUT", ""},
      {false, "D:\\AUTO\\mail0001", ""},
      {false, "c:\\msgbase\\ltest", ""},  // not auto-named, Check3 clear
      {true, "c:\\msgbase\\ltest", "c:\\msgbase\\local.test"},
      {true, "ltest", "local.test"},       // no backslash: the bare name
      {true, "\\ltest", "\\local.test"},
      {true, "mail/ltest", "mail/local.test"},  // '/' ends a directory too
      {true, "c:\\a/b\\ltest", "c:\\a/b\\local.test"},
      {true, "D:\\Mail\\AUTO0007", "D:\\Mail\\local.test"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    orvKernel::ResetPluginParams({.Check3 = row.check3});
    EXPECT_EQ(row.newPath, rename_pass::NewBasePath(
                               {.tag = "local.test", .path = row.path}));
  }
}

// The whole pass over the in-memory platform: the backup name, and every
// way the end of a run can fail after bases have moved.
const std::string kCfg = "C:\\NODE\\squish.cfg";
const std::string kTemp = "C:\\NODE\\squish_.cfg.tmp";
const std::string kBackup = "C:\\NODE\\squish.cfg.7.bak";
const std::string kJournal = "C:\\NODE\\pmovion.jnl";
const std::string kConfig =
    "EchoArea  FIDO.SUPPORT C:\\MAIL\\AUTO0001 -$\r\n"
    "EchoArea LOCAL.TEST   C:\\MAIL\\AUTO0002\r\n";
const char* const kExts[] = {".sqd", ".sqi", ".sql", ".sqp"};

class RunRenamePassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakefs::Reset();
    textio::ClearFailure();
    orvKernel::ResetPluginParams({.SquishPath = kCfg}, "Movionr");
    fakefs::SetDraws({6});  // position 7: suffix "7"
    fakefs::SetFile(kCfg, kConfig);
    for (const char* ext : kExts)
      fakefs::SetFile(std::string("C:\\MAIL\\AUTO0001") + ext, ext);
    fakefs::SetFile("C:\\MAIL\\AUTO0002.sqd", "local");
  }
  // Every message file stands at its old name, the configuration is the
  // old one and nothing else is left but the temporary file, and the
  // journal where the run could not be sure its undoing was durable.
  void ExpectNothingChanged(bool journalStays = false, bool tempStays = true) {
    EXPECT_EQ(kConfig, fakefs::FileContents(kCfg));
    for (const char* ext : kExts)
      EXPECT_EQ(ext, fakefs::FileContents(std::string("C:\\MAIL\\AUTO0001") + ext));
    EXPECT_EQ("local", fakefs::FileContents("C:\\MAIL\\AUTO0002.sqd"));
    EXPECT_FALSE(fakefs::HasFile(kBackup));
    EXPECT_EQ(journalStays, fakefs::HasFile(kJournal));
    EXPECT_EQ(tempStays, fakefs::HasFile(kTemp));
    // 5 base files and the configuration
    EXPECT_EQ(6u + journalStays + tempStays, fakefs::Files().size());
  }
};

TEST_F(RunRenamePassTest, RenamesAndKeepsTheBackup) {
  rename_pass::RunRenamePass();
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ("EchoArea FIDO.SUPPORT C:\\MAIL\\FIDO.SUPPORT -$\r\n"
            "EchoArea LOCAL.TEST C:\\MAIL\\LOCAL.TEST\r\n",
            fakefs::FileContents(kCfg));
  EXPECT_EQ(kConfig, fakefs::FileContents(kBackup));
  EXPECT_FALSE(fakefs::HasFile(kTemp));
  EXPECT_EQ("local", fakefs::FileContents("C:\\MAIL\\LOCAL.TEST.sqd"));
  EXPECT_EQ("C:\\MAIL\\AUTO0001 -> FIDO.SUPPORT :Renamed 4 files\r\n"
            "C:\\MAIL\\AUTO0002 -> LOCAL.TEST :Renamed 1 files\r\n",
            fakefs::ConsoleOutput());
}

TEST_F(RunRenamePassTest, TakenBackupNamesAreDrawnAgainAmongTheRest) {
  struct Row {
    std::vector<std::string> taken;  // suffixes of existing backups
    std::vector<std::uint32_t> draws;
    std::string suffix;
  };
  const Row kRows[] = {
      {{}, {6}, "7"},
      {{"7"}, {6, 6}, "8"},            // position 7 is gone from the draw
      {{"7", "8"}, {6, 6, 6}, "9"},
      {{}, {35}, ""},                  // position 36 has no character
      {{""}, {35, 34}, "z"},           // 35 positions left after it
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE("suffix '" + row.suffix + "'");
    SetUp();
    for (const std::string& taken : row.taken)
      fakefs::SetFile("C:\\NODE\\squish.cfg." + taken + ".bak", "older");
    fakefs::SetDraws(row.draws);
    rename_pass::RunRenamePass();
    EXPECT_EQ(0, textio::ReadAndClearFailure());
    EXPECT_EQ(kConfig,
              fakefs::FileContents("C:\\NODE\\squish.cfg." + row.suffix + ".bak"));
    for (const std::string& taken : row.taken)
      EXPECT_EQ("older", fakefs::FileContents("C:\\NODE\\squish.cfg." + taken + ".bak"));
  }
}

TEST_F(RunRenamePassTest, EveryBackupNameTakenIsTheErrorExit) {
  for (int position = 1; position <= 36; ++position)
    fakefs::SetFile("C:\\NODE\\squish.cfg." +
                        safe_edit::BackupSuffixAt(position) + ".bak", "");
  EXPECT_EXIT(rename_pass::RunRenamePass(), ::testing::ExitedWithCode(17), "");
}

TEST_F(RunRenamePassTest, FailureAtTheEndPutsEveryBaseBack) {
  struct Row {
    const char* what;
    std::function<void()> inject;
    bool journalStays = false;
    bool tempStays = true;
  };
  const Row kRows[] = {
      // The names the configuration uses are not known: the run stops
      // before it makes anything.
      {"reading the configuration",
       [] { fakefs::FailOn(Op::kRead, kCfg, 5, 1); }, false, false},
      {"writing the temporary file",
       [] { fakefs::FailOn(Op::kWrite, kTemp, 28); }},
      {"flushing the temporary file",
       [] { fakefs::FailOn(Op::kSync, kTemp, 5); }},
      {"closing the temporary file",
       [] { fakefs::FailOn(Op::kClose, kTemp, 5); }},
      {"the console", [] { fakefs::FailOn(Op::kConsoleWrite, "", 28, 1); }},
      // The undoing may not be durable either: the journal stays for the
      // next run to check.
      {"syncing a moved base's directory",
       [] { fakefs::FailOn(Op::kSyncDirectory, "C:\\MAIL\\AUTO0001.sqd", 5); },
       true},
      {"writing the journal",
       [] { fakefs::FailOn(Op::kWrite, kJournal, 28); }},
      {"backup name taken at the end",
       [] { fakefs::FailOn(Op::kLink, kCfg, fakefs::kExists); }},
      {"the atomic replace",
       [] { fakefs::FailOn(Op::kReplace, kTemp, 5); }},
      {"no hard links, the backup copy",
       [] {
         fakefs::SetLinksUnsupported(true);
         fakefs::FailOn(Op::kWrite, kBackup, 28);
       }},
      {"no hard links, the replace after the copy",
       [] {
         fakefs::SetLinksUnsupported(true);
         fakefs::FailOn(Op::kReplace, kTemp, 5);
       }},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    SetUp();
    row.inject();
    rename_pass::RunRenamePass();
    EXPECT_TRUE(textio::FailurePending());
    textio::ClearFailure();
    ExpectNothingChanged(row.journalStays, row.tempStays);
    EXPECT_FALSE(fakefs::LockHeld());
  }
}

// The journal holds the plan before the first base file takes a new name,
// the new names are second links until the configuration stands, and the
// old names go only after it; at the end the journal goes.
TEST_F(RunRenamePassTest, StepsComeInTheirSafeOrder) {
  rename_pass::RunRenamePass();
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  std::vector<std::string> steps;
  for (const std::string& entry : fakefs::Journal())
    if (entry.find("AUTO0001.sqd") != std::string::npos ||
        entry.find("pmovion.jnl") != std::string::npos ||
        entry.rfind("replace", 0) == 0)
      steps.push_back(entry);
  EXPECT_EQ((std::vector<std::string>{
                "create " + kJournal,
                "link C:\\MAIL\\AUTO0001.sqd -> C:\\MAIL\\FIDO.SUPPORT.sqd",
                "replace " + kTemp + " -> " + kCfg,
                "delete C:\\MAIL\\AUTO0001.sqd",
                "delete " + kJournal}),
            steps);
  EXPECT_FALSE(fakefs::HasFile(kJournal));
  EXPECT_FALSE(fakefs::LockHeld());
}

TEST_F(RunRenamePassTest, UndoGoesNewestFirst) {
  fakefs::FailOn(Op::kReplace, kTemp, 5);
  rename_pass::RunRenamePass();
  std::vector<std::string> undo;
  for (const std::string& entry : fakefs::Journal())
    if (entry.rfind("delete C:\\MAIL\\", 0) == 0) undo.push_back(entry);
  EXPECT_EQ((std::vector<std::string>{
                "delete C:\\MAIL\\LOCAL.TEST.sqd",
                "delete C:\\MAIL\\FIDO.SUPPORT.sqp",
                "delete C:\\MAIL\\FIDO.SUPPORT.sql",
                "delete C:\\MAIL\\FIDO.SUPPORT.sqi",
                "delete C:\\MAIL\\FIDO.SUPPORT.sqd"}),
            undo);
}

// A run stopped after its links but before the replace left the journal:
// the next run removes the new names first, then renames as if afresh.
TEST_F(RunRenamePassTest, JournalOfAStoppedRunIsMendedFirst) {
  for (const char* ext : kExts)
    fakefs::AddLink(std::string("C:\\MAIL\\AUTO0001") + ext,
                    std::string("C:\\MAIL\\FIDO.SUPPORT") + ext);
  std::string journal = "Movionsmith journal 1\r\nbase\tC:\\MAIL\\AUTO0001\tC:\\MAIL\\FIDO.SUPPORT\r\n";
  for (const char* ext : kExts)
    journal += std::string("file\tC:\\MAIL\\AUTO0001") + ext +
               "\tC:\\MAIL\\FIDO.SUPPORT" + ext + "\r\n";
  fakefs::SetFile(kJournal, journal + "end\r\n");
  rename_pass::RunRenamePass();
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ("C:\\MAIL\\AUTO0001 -> FIDO.SUPPORT :Renamed 4 files\r\n"
            "C:\\MAIL\\AUTO0002 -> LOCAL.TEST :Renamed 1 files\r\n",
            fakefs::ConsoleOutput());
  EXPECT_FALSE(fakefs::HasFile(kJournal));
  EXPECT_FALSE(fakefs::HasFile("C:\\MAIL\\AUTO0001.sqd"));
  EXPECT_EQ(".sqd", fakefs::FileContents("C:\\MAIL\\FIDO.SUPPORT.sqd"));
}

// Mending that fails ends the run before anything else, journal kept.
TEST_F(RunRenamePassTest, FailedMendingChangesNothingMore) {
  fakefs::SetFile(kJournal, "Movionsmith journal 1\r\nbase\tC:\\MAIL\\AUTO0001\t"
                            "C:\\MAIL\\X\r\nfile\tC:\\MAIL\\AUTO0001.sqd\t"
                            "C:\\MAIL\\X.sqd\r\nend\r\n");
  fakefs::SetFile("C:\\MAIL\\X.sqd", "moved");
  fakefs::FailOn(Op::kDelete, "C:\\MAIL\\X.sqd", 5);
  fakefs::AddLink("C:\\MAIL\\AUTO0001.sqd", "C:\\MAIL\\X.sqd");
  rename_pass::RunRenamePass();
  EXPECT_EQ(5, textio::ReadAndClearFailure());
  EXPECT_TRUE(fakefs::HasFile(kJournal));
  EXPECT_EQ(kConfig, fakefs::FileContents(kCfg));
  EXPECT_FALSE(fakefs::HasFile(kTemp));
  EXPECT_EQ("", fakefs::ConsoleOutput());
  EXPECT_FALSE(fakefs::LockHeld());
}

// The configuration took its new place; a directory that could not be made
// durable afterwards is reported, but undoing the moves now would leave the
// new configuration naming bases that are gone.
TEST_F(RunRenamePassTest, DurabilityFailureAfterTheReplaceKeepsTheMoves) {
  fakefs::FailOn(Op::kSyncDirectory, kCfg, 5);
  rename_pass::RunRenamePass();
  EXPECT_NE(0, textio::ReadAndClearFailure());
  EXPECT_EQ(kConfig, fakefs::FileContents(kBackup));
  EXPECT_TRUE(fakefs::HasFile("C:\\MAIL\\FIDO.SUPPORT.sqd"));
  EXPECT_TRUE(fakefs::HasFile("C:\\MAIL\\LOCAL.TEST.sqd"));
}

TEST_F(RunRenamePassTest, FailedMoveLeavesThatAreaOnItsOldBase) {
  fakefs::FailOn(Op::kLink, "C:\\MAIL\\AUTO0001.sql", 13);
  fakefs::FailOn(Op::kMove, "C:\\MAIL\\AUTO0001.sql", 13);
  rename_pass::RunRenamePass();
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ("EchoArea FIDO.SUPPORT C:\\MAIL\\AUTO0001 -$\r\n"
            "EchoArea LOCAL.TEST C:\\MAIL\\LOCAL.TEST\r\n",
            fakefs::FileContents(kCfg));
  for (const char* ext : kExts)
    EXPECT_EQ(ext, fakefs::FileContents(std::string("C:\\MAIL\\AUTO0001") + ext));
  EXPECT_EQ("C:\\MAIL\\AUTO0001 -> FIDO.SUPPORT :Not renamed\r\n"
            "C:\\MAIL\\AUTO0002 -> LOCAL.TEST :Renamed 1 files\r\n",
            fakefs::ConsoleOutput());
}

TEST_F(RunRenamePassTest, OpeningFailuresEndWithTheirCodes) {
  struct Row {
    const char* what;
    std::string squishPath;
    std::function<void()> inject;
    const char* code;
  };
  const Row kRows[] = {
      {"empty SquishPath", "", [] {}, "01"},
      {"configuration missing", "C:\\NODE\\none.cfg", [] {}, "01"},
      {"configuration unreadable", kCfg,
       [] { fakefs::FailOn(Op::kOpenRead, kCfg, 13); }, "01"},
      {"temporary file not creatable", kCfg,
       [] { fakefs::FailOn(Op::kOpenWrite, kTemp, 21); }, "04"},
      // Making it anew would remove the very file being read.
      {"configuration named like the temporary file", kTemp,
       [] { fakefs::SetFile(kTemp, kConfig); }, "04"},
      {"configuration left alone", kCfg,
       [] { fakefs::FailOn(Op::kCheckWritable, kCfg, 13); }, "04"},
      {"another run holds the lock too long", kCfg,
       [] { fakefs::FailOn(Op::kLock, "", fakefs::kLockBusy); }, "04"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    SetUp();
    orvKernel::ResetPluginParams({.SquishPath = row.squishPath}, "Movionr");
    row.inject();
    EXPECT_EXIT(
        {
          fakefs::ReportAtExit([] { return fakefs::MarkerReport("Movionr.End"); });
          rename_pass::RunRenamePass();
        },
        ::testing::ExitedWithCode(100), std::string("marker ") + row.code);
  }
}

}  // namespace
