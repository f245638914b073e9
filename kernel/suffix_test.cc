// The backup suffix draw, over the in-memory platform.
#include <gtest/gtest.h>

#include "kernel/orvKernel.h"
#include "kernel/safe_edit.h"
#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

TEST(DrawBackupSuffix, LeavesAPendingFailureToTheCaller) {
  fakefs::Reset();
  textio::ClearFailure();
  fakefs::SetDraws({0, 35});
  textio::Fail(5, "read", "C:\\NODE\\squish.cfg");
  EXPECT_EQ("1", safe_edit::DrawBackupSuffix());
  EXPECT_EQ("", safe_edit::DrawBackupSuffix());  // position 36: no character
  EXPECT_TRUE(textio::FailurePending());         // still there for exit 101
}

TEST(DrawBackupSuffix, NoEntropyEndsWithTheErrorExit) {
  fakefs::Reset();
  textio::ClearFailure();
  fakefs::FailOn(fakefs::Op::kRandom, "", 38);
  EXPECT_EXIT(safe_edit::DrawBackupSuffix(), ::testing::ExitedWithCode(38), "");
}

}  // namespace
