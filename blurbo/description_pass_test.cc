// The description pass over the in-memory platform: the names it builds,
// and what stays on disk when a step of it fails.
#include "blurbo/description_pass.h"

#include <gtest/gtest.h>

#include "blurbo/description_list.h"
#include "kernel/orvKernel.h"
#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using fakefs::Op;
using Journal = std::vector<std::string>;

TEST(DescriptionPassNames, BackupBesideTheConfiguration) {
  struct Row { const char* path; const char* backup; };
  const Row kRows[] = {
      {"C:\\NODE\\squish.cfg", "C:\\NODE\\squish.cfg.areas7.bak"},
      // a drive's root keeps its separator, so plain joining doubles it
      {"C:\\squish.cfg", "C:\\\\squish.cfg.areas7.bak"},
      // no directory at all: the current directory
      {"squish.cfg", "squish.cfg.areas7.bak"},
      // the backup is named so whatever the configuration is called
      {"D:\\FIDO\\tosser.cfg", "D:\\FIDO\\squish.cfg.areas7.bak"},
      {"/etc/fido/squish.cfg", "/etc/fido\\squish.cfg.areas7.bak"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(row.backup, blurbo::BackupName(row.path, "7"));
  }
}

const std::string kConfig = "C:\\NODE\\squish.cfg";
const std::string kTemp = "C:\\NODE\\squish_.cfg.tmp";
const std::string kOld =
    "EchoArea  NET.TALK  D:\\Msg\\Talk  -$  1:2/3\n;\tnote\n";
const std::string kNew =
    "EchoArea NET.TALK D:\\Msg\\Talk -$  -$n\"General talk\" 1:2/3\r\n"
    ";\tnote\r\n";

class DescriptionPassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakefs::Reset();
    textio::ClearFailure();
    blurbo::ResetDescriptionList();
    orvKernel::Params params;
    params.SquishPath = kConfig;
    orvKernel::ResetPluginParams(params, "Blurbor");
    fakefs::SetFile(kConfig, kOld);
    fakefs::SetFile("blurbor.dsc", "NET.TALK General talk\r\n");
  }
};

TEST_F(DescriptionPassTest, NewFileTakesThePlaceTheOldOneKeepsABackup) {
  struct Row { std::uint32_t draw; std::string backup; };
  const Row kRows[] = {
      {0, "C:\\NODE\\squish.cfg.areas1.bak"},   // the first of the alphabet
      {34, "C:\\NODE\\squish.cfg.areasz.bak"},  // its last
      {35, "C:\\NODE\\squish.cfg.areas.bak"},   // past its end: no character
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.backup);
    SetUp();
    fakefs::SetDraws({row.draw});
    blurbo::RunDescriptionPass();
    EXPECT_EQ(0, textio::ReadAndClearFailure());
    EXPECT_EQ(kNew, fakefs::FileContents(kConfig));
    EXPECT_EQ(kOld, fakefs::FileContents(row.backup));
    EXPECT_FALSE(fakefs::HasFile(kTemp));
    EXPECT_EQ((Journal{"create " + kTemp, "link " + kConfig + " -> " + row.backup,
                       "replace " + kTemp + " -> " + kConfig}),
              fakefs::Journal());
    EXPECT_EQ("reading descriptions...\r\nEcho:NET.TALK\r\n",
              fakefs::ConsoleOutput());
    EXPECT_TRUE(blurbo::DescriptionList().empty());  // released
  }
}

TEST_F(DescriptionPassTest, EveryAreaIsPrintedInFileOrder) {
  std::string config;
  std::string console = "reading descriptions...\r\n";
  for (int i = 0; i < 3000; ++i) {  // several console blocks' worth
    std::string tag = "AREA." + std::to_string(i);
    config += "EchoArea " + tag + " D:\\Msg\\A -$\r\n;\r\n";
    console += "Echo:" + tag + "\r\n";
  }
  fakefs::SetFile(kConfig, config);
  blurbo::RunDescriptionPass();
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ(console, fakefs::ConsoleOutput());
}

// Show that a temporary file whose reading or writing failed never takes
// the configuration's place: the old file stays, the new text stays in the
// temporary file, and the failure is left for the end of the run.
TEST_F(DescriptionPassTest, FailedStepLeavesTheConfigurationInPlace) {
  struct Row { const char* name; Op op; std::string path; };
  const Row kRows[] = {
      {"read of the configuration", Op::kRead, kConfig},
      {"close of the configuration", Op::kClose, kConfig},
      {"write of the temporary file", Op::kWrite, kTemp},
      {"flush of the temporary file", Op::kSync, kTemp},
      {"close of the temporary file", Op::kClose, kTemp},
      {"replacement", Op::kReplace, kTemp},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    fakefs::FailOn(row.op, row.path, 5);
    blurbo::RunDescriptionPass();
    EXPECT_TRUE(textio::FailurePending());
    EXPECT_EQ(kOld, fakefs::FileContents(kConfig));
    EXPECT_TRUE(fakefs::HasFile(kTemp));
    EXPECT_EQ(3u, fakefs::Files().size());  // configuration, temp, list
  }
}

// Show that a failure still pending when the next "Echo:" line is printed
// ends the run there with the error exit, before any rename.
TEST_F(DescriptionPassTest, PendingFailureMetByTheConsoleEndsTheRun) {
  fakefs::FailOn(Op::kRead, "blurbor.dsc", 5);
  EXPECT_EXIT(blurbo::RunDescriptionPass(), ::testing::ExitedWithCode(5),
              "");
}

TEST_F(DescriptionPassTest, TakenBackupNameChangesNothing) {
  fakefs::SetDraws({6});
  const std::string backup = "C:\\NODE\\squish.cfg.areas7.bak";
  fakefs::SetFile(backup, "an earlier backup");
  blurbo::RunDescriptionPass();
  EXPECT_TRUE(textio::FailurePending());
  EXPECT_EQ(kOld, fakefs::FileContents(kConfig));
  EXPECT_EQ(kNew, fakefs::FileContents(kTemp));
  EXPECT_EQ("an earlier backup", fakefs::FileContents(backup));
}

TEST_F(DescriptionPassTest, WithoutHardLinksACopyGivesTheSameEnd) {
  fakefs::SetLinksUnsupported(true);
  fakefs::SetDraws({6});
  blurbo::RunDescriptionPass();
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ(kNew, fakefs::FileContents(kConfig));
  EXPECT_EQ(kOld, fakefs::FileContents("C:\\NODE\\squish.cfg.areas7.bak"));
  EXPECT_FALSE(fakefs::HasFile(kTemp));
}

}  // namespace
