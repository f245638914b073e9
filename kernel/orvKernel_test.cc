#include "kernel/orvKernel.h"

#include <gtest/gtest.h>

#include <set>

#include "kernel/textio.h"
#include "tests/temp_dir.h"

namespace {

TEST(CompactBlanks, RunsShrinkToTheirLastCharacter) {
  struct Row { std::string in, out; };
  const Row kRows[] = {
      {"  word \t\t word  ", "word word"},        // the run ends in a space
      {"  word \t\t\tword  ", "word\tword"},      // the run ends in a TAB
      {"a \t b", "a b"},
      {"a \tb", "a\tb"},                          // a space then a TAB leaves the TAB
      {"a\tb", "a\tb"},                           // a run of one stays
      {" \t \t ", ""},                            // only blanks
      {"", ""},
      {"a \v b", "a \v b"},                       // a vertical tab parts two runs
      {"\r\na  b\r\n", "a b"},                    // other blanks only go at the ends
      {"x   ", "x"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.in);
    std::string line = row.in;
    orvKernel::CompactBlanks(line);
    EXPECT_EQ(row.out, line);
  }
}

TEST(FirstWord, LeadingCharactersUpToTheFirstBlank) {
  struct Row { std::string in, out; };
  const Row kRows[] = {
      {"  EchoArea\tNET.TALK x", "EchoArea"},
      {"single", "single"},
      {"", ""},
      {" \t ", ""},
      {"a\x01z", "a"},                 // any control character ends a word
      {"\xe4\xf6 x", "\xe4\xf6"},       // high bytes are word characters
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(row.out, orvKernel::FirstWord(row.in));
  }
}

TEST(ExtractDir, DirectoryPartOfAPath) {
  struct Row { const char* path; const char* dir; };
  const Row kRows[] = {
      {"C:\\NODE\\squish.cfg", "C:\\NODE"},  // no separator at the end
      {"C:\\squish.cfg", "C:\\"},            // a drive keeps its root separator
      {"squish.cfg", ""},                    // no directory at all
      {"\\squish.cfg", ""},                  // its only backslash comes first
      {"C:\\NODE\\", "C:\\NODE"},
      {"ab\\x", "ab\\"},                     // any two characters get the backslash
      {"C:/NODE/squish.cfg", ""},            // '/' is an ordinary character here
      {"\\\\srv\\share\\f", "\\\\srv\\share"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(row.dir, orvKernel::ExtractDir(row.path));
  }
}

TEST(BackupSuffix, ThirtySixPositionsOverTheAlphabet) {
  EXPECT_EQ("1", orvKernel::BackupSuffixAt(1));
  EXPECT_EQ("0", orvKernel::BackupSuffixAt(10));
  EXPECT_EQ("_", orvKernel::BackupSuffixAt(11));
  EXPECT_EQ("a", orvKernel::BackupSuffixAt(12));
  EXPECT_EQ("p", orvKernel::BackupSuffixAt(27));
  EXPECT_EQ("s", orvKernel::BackupSuffixAt(28));  // no q, no r
  EXPECT_EQ("z", orvKernel::BackupSuffixAt(35));
  EXPECT_EQ("", orvKernel::BackupSuffixAt(36));   // past the alphabet
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) seen.insert(orvKernel::DrawBackupSuffix());
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
