// The configuration's replacement, run over the in-memory platform so that
// each of its steps can be made to fail.
#include <gtest/gtest.h>

#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using fakefs::Op;
using Journal = std::vector<std::string>;

const std::string kOriginal = "C:\\NODE\\squish.cfg";
const std::string kTemp = "C:\\NODE\\squish_.cfg.tmp";
const std::string kBackup = "C:\\NODE\\squish.cfg.7.bak";

class ReplaceWithBackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakefs::Reset();
    textio::ClearFailure();
    fakefs::SetFile(kOriginal, "old");
    fakefs::SetFile(kTemp, "new");
  }
  bool Run() {
    return textio::ReplaceWithBackup(kOriginal, kTemp, kBackup,
                                     textio::kUnchecked);
  }
  void ExpectUnchanged() {
    EXPECT_EQ("old", fakefs::FileContents(kOriginal));
    EXPECT_EQ("new", fakefs::FileContents(kTemp));
    EXPECT_FALSE(fakefs::HasFile(kBackup));
  }
};

TEST_F(ReplaceWithBackupTest, LinkThenAtomicReplace) {
  EXPECT_TRUE(Run());
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ("new", fakefs::FileContents(kOriginal));
  EXPECT_EQ("old", fakefs::FileContents(kBackup));
  EXPECT_FALSE(fakefs::HasFile(kTemp));
  EXPECT_EQ((Journal{"link " + kOriginal + " -> " + kBackup,
                     "replace " + kTemp + " -> " + kOriginal}),
            fakefs::Journal());
}

TEST_F(ReplaceWithBackupTest, TakenBackupNameChangesNothing) {
  fakefs::SetFile(kBackup, "older");
  EXPECT_FALSE(Run());
  EXPECT_NE(0, textio::ReadAndClearFailure());
  EXPECT_EQ("old", fakefs::FileContents(kOriginal));
  EXPECT_EQ("new", fakefs::FileContents(kTemp));
  EXPECT_EQ("older", fakefs::FileContents(kBackup));
}

TEST_F(ReplaceWithBackupTest, FailedReplaceTakesTheBackupNameBack) {
  fakefs::FailOn(Op::kReplace, kTemp, 5);
  EXPECT_FALSE(Run());
  EXPECT_NE(0, textio::ReadAndClearFailure());
  ExpectUnchanged();
}

TEST_F(ReplaceWithBackupTest, WithoutHardLinksTwoMoves) {
  fakefs::SetLinksUnsupported(true);
  EXPECT_TRUE(Run());
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ("new", fakefs::FileContents(kOriginal));
  EXPECT_EQ("old", fakefs::FileContents(kBackup));
  EXPECT_EQ((Journal{"move " + kOriginal + " -> " + kBackup,
                     "move " + kTemp + " -> " + kOriginal}),
            fakefs::Journal());
}

TEST_F(ReplaceWithBackupTest, WithoutHardLinksAFailedSecondMoveIsUndone) {
  fakefs::SetLinksUnsupported(true);
  fakefs::FailOn(Op::kMove, kTemp, 5);
  EXPECT_FALSE(Run());
  EXPECT_NE(0, textio::ReadAndClearFailure());
  ExpectUnchanged();
}

TEST_F(ReplaceWithBackupTest, WithoutHardLinksATakenBackupChangesNothing) {
  fakefs::SetLinksUnsupported(true);
  fakefs::SetFile(kBackup, "older");
  EXPECT_FALSE(Run());
  EXPECT_EQ("old", fakefs::FileContents(kOriginal));
  EXPECT_EQ("older", fakefs::FileContents(kBackup));
}

TEST_F(ReplaceWithBackupTest, DirectorySyncFailureIsReportedAfterTheReplace) {
  fakefs::FailOn(Op::kSyncDirectory, "", 5);
  EXPECT_TRUE(Run());  // the new file stands; durability is what failed
  EXPECT_NE(0, textio::ReadAndClearFailure());
  EXPECT_EQ("new", fakefs::FileContents(kOriginal));
}

TEST_F(ReplaceWithBackupTest, CheckedFailureEndsWithTheErrorExit) {
  fakefs::SetFile(kBackup, "older");
  EXPECT_EXIT(textio::ReplaceWithBackup(kOriginal, kTemp, kBackup),
              ::testing::ExitedWithCode(fakefs::kExists), "");
}

}  // namespace
