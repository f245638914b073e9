#include "kernel/orvKernel.h"
#include "kernel/safe_edit.h"

#include <gtest/gtest.h>

#include <set>

#include "kernel/textio.h"
#include "tests/temp_dir.h"

namespace {

TEST(BackupSuffix, ThirtySixPositionsOverTheAlphabet) {
  EXPECT_EQ("1", safe_edit::BackupSuffixAt(1));
  EXPECT_EQ("0", safe_edit::BackupSuffixAt(10));
  EXPECT_EQ("_", safe_edit::BackupSuffixAt(11));
  EXPECT_EQ("a", safe_edit::BackupSuffixAt(12));
  EXPECT_EQ("p", safe_edit::BackupSuffixAt(27));
  EXPECT_EQ("s", safe_edit::BackupSuffixAt(28));  // no q, no r
  EXPECT_EQ("z", safe_edit::BackupSuffixAt(35));
  EXPECT_EQ("", safe_edit::BackupSuffixAt(36));   // past the alphabet
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) seen.insert(safe_edit::DrawBackupSuffix());
  EXPECT_EQ(36u, seen.size());  // every position, the empty one too, comes up
  EXPECT_EQ(0u, seen.count("q") + seen.count("r"));
}

class PluginParamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    textio::ClearFailure();
    orvKernel::ResetPluginParams({}, "Blurbor");
  }
  ScopedTempDir dir_;
};

TEST_F(PluginParamsTest, ReadsEveryKeyAndDefaultsTheRest) {
  ScopedTempDir::Write("Blurbor.dat",
                       "  edit1 = value one  \r\n"
                       "Edit2:\xe4two\n"
                       "Check1=TRUE\r\n"
                       "Check2=true\r\n"             // only upper-case TRUE sets
                       "Check3=  TRUE  \r\n"         // blanks around do not matter
                       "Radio=$12345\r\n"            // low 16 bits only
                       "SquishPath=C:\\NODE\\squish.cfg\r\n"
                       "Edit1=second line loses\r\n");
  orvKernel::ReadPluginParams();
  const orvKernel::Params& p = orvKernel::PluginParams();
  EXPECT_EQ("= value one", p.Edit1);
  EXPECT_EQ("\xe4two", p.Edit2);
  EXPECT_EQ("", p.Edit3);
  EXPECT_TRUE(p.Check1);
  EXPECT_FALSE(p.Check2);
  EXPECT_TRUE(p.Check3);
  EXPECT_FALSE(p.Check4);
  EXPECT_EQ(0x2345, p.Radio);
  EXPECT_EQ("C:\\NODE\\squish.cfg", p.SquishPath);
}

TEST_F(PluginParamsTest, RadioThatIsNoNumberGivesZero) {
  ScopedTempDir::Write("Blurbor.dat", "Radio=12a\r\n");
  orvKernel::ReadPluginParams();
  EXPECT_EQ(0, orvKernel::PluginParams().Radio);
}

TEST_F(PluginParamsTest, MissingParameterFileEndsWithMarker03) {
  EXPECT_EXIT(orvKernel::ReadPluginParams(), ::testing::ExitedWithCode(100), "");
  EXPECT_EQ("03", ScopedTempDir::Read("Blurbor.End"));
}

TEST_F(PluginParamsTest, FinishPluginWritesTheTwoBytes) {
  EXPECT_EXIT(orvKernel::FinishPlugin("00"), ::testing::ExitedWithCode(100), "");
  EXPECT_EQ("00", ScopedTempDir::Read("Blurbor.End"));
}

TEST_F(PluginParamsTest, FinishPluginWithAPendingFailureLeavesItEmpty) {
  textio::Fail(5, "close", "x");
  EXPECT_EXIT(orvKernel::FinishPlugin("00"), ::testing::ExitedWithCode(101), "");
  EXPECT_TRUE(ScopedTempDir::Has("Blurbor.End"));
  EXPECT_EQ("", ScopedTempDir::Read("Blurbor.End"));
}

TEST_F(PluginParamsTest, FinishPluginWithoutAMarkerExits101) {
  std::filesystem::create_directory("Blurbor.End");
  EXPECT_EXIT(orvKernel::FinishPlugin("00"), ::testing::ExitedWithCode(101), "");
}

}  // namespace
