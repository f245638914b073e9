#include "kernel/cfgfile.h"

#include <gtest/gtest.h>

#include "kernel/textio.h"
#include "tests/temp_dir.h"

namespace {

TEST(ParseInteger, WholeTextInOneOfTheForms) {
  struct Row { const char* text; bool valid; std::int32_t value; };
  const Row kRows[] = {
      {"42", true, 42},
      {"+7", true, 7},
      {"$1F", true, 31},
      {"0x1f", true, 31},
      {"x1F", true, 31},
      {"X1f", true, 31},
      {"0X1F", true, 31},
      {"-0", true, 0},
      {"007", true, 7},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},
      {"+2147483647", true, 2147483647},
      {"$FFFFFFFF", true, -1},                // top bit set reads negative
      {"$80000000", true, INT32_MIN},
      {"$000000000000001", true, 1},          // leading zeros are not significant
      {"$7fffFFFF", true, 2147483647},
      {"0", true, 0},
      {"2147483648", false, 0},               // past the unsigned decimal range
      {"+2147483648", false, 0},
      {"-2147483649", false, 0},
      {"$100000000", false, 0},               // nine significant digits
      {"-$1", false, 0},                      // no sign before a prefix
      {"+0x1", false, 0},
      {"12a", false, 0},                      // trailing character
      {"1 ", false, 0},
      {"", false, 0},
      {"-", false, 0},                        // lone sign
      {"$", false, 0},                        // lone prefix
      {"0x", false, 0},
      {"$G", false, 0},
      {"99999999999999999999999999", false, 0},
      {"1.5", false, 0},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.text);
    std::int32_t value = 12345;
    EXPECT_EQ(row.valid, cfgfile::ParseInteger(row.text, &value));
    EXPECT_EQ(row.valid ? row.value : 12345, value);
  }
}

class KeywordFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    textio::ClearFailure();
    cfgfile::ResetKeywordFile();
  }
  void TearDown() override { cfgfile::ResetKeywordFile(); }
  ScopedTempDir dir_;
};

TEST_F(KeywordFileTest, MatchingRuleOfLinesAndValues) {
  const std::string value300 = std::string(250, 'v') + "     " + std::string(45, 'w');
  ScopedTempDir::Write(
      "k.dat",
      "  edit1 = value  \r\n"        // the blank is the separator, = starts the value
      "Edit1=later line loses\r\n"
      "Edit2\r\n"                    // as long as the key: no match
      "Edit2=\r\n"                   // key and separator: empty value
      "Edit3=" + value300 + "\r\n"
      "Edit40x\n"                    // a longer word matches: 0 is the separator
      "Radio=$1F\n"
      "Last=no line end");
  ASSERT_TRUE(cfgfile::OpenKeywordFile("k.dat"));
  EXPECT_EQ("= value", cfgfile::ReadKeyString("Edit1"));
  EXPECT_EQ("", cfgfile::ReadKeyString("Edit2"));
  EXPECT_EQ(std::string(250, 'v'), cfgfile::ReadKeyString("Edit3"));  // cut, then trimmed
  EXPECT_EQ("x", cfgfile::ReadKeyString("Edit4"));
  EXPECT_EQ(31, cfgfile::ReadKeyInteger("Radio"));
  EXPECT_EQ(31, cfgfile::ReadKeyInteger("radio"));  // lookups repeat, any case
  EXPECT_EQ(0, cfgfile::ReadKeyInteger("Edit1"));
  EXPECT_EQ("no line end", cfgfile::ReadKeyString("Last"));
  EXPECT_EQ("", cfgfile::ReadKeyString("Missing"));
  cfgfile::CloseKeywordFile();
  EXPECT_EQ(0, textio::ReadAndClearFailure());
}

TEST_F(KeywordFileTest, LongLinesCrossTheBuffer) {
  std::string filler(10000, 'f');
  ScopedTempDir::Write("k.dat", "Pad=" + filler + "\nEdit1=found\n");
  ASSERT_TRUE(cfgfile::OpenKeywordFile("k.dat"));
  EXPECT_EQ("found", cfgfile::ReadKeyString("Edit1"));
  EXPECT_EQ(std::string(255, 'f'), cfgfile::ReadKeyString("Pad"));
}

TEST_F(KeywordFileTest, OpenDeletesTheStaleTemporaryEitherWay) {
  ScopedTempDir::Write("!_config_$_tmporary.tmp", "x");
  EXPECT_FALSE(cfgfile::OpenKeywordFile("missing.dat"));
  EXPECT_FALSE(ScopedTempDir::Has("!_config_$_tmporary.tmp"));
  EXPECT_EQ(0, textio::ReadAndClearFailure());  // neither failure stays pending
  EXPECT_EQ("", cfgfile::ReadKeyString("Edit1"));
  EXPECT_EQ(0, cfgfile::ReadKeyInteger("Radio"));

  ScopedTempDir::Write("!_config_$_tmporary.tmp", "x");
  ScopedTempDir::Write("k.dat", "Edit1=a\n");
  EXPECT_TRUE(cfgfile::OpenKeywordFile("k.dat"));
  EXPECT_FALSE(ScopedTempDir::Has("!_config_$_tmporary.tmp"));
}

TEST_F(KeywordFileTest, SecondOpenReplacesTheFirst) {
  ScopedTempDir::Write("a.dat", "Edit1=first\n");
  ScopedTempDir::Write("b.dat", "Edit1=second\n");
  ASSERT_TRUE(cfgfile::OpenKeywordFile("a.dat"));
  EXPECT_EQ("first", cfgfile::ReadKeyString("Edit1"));
  ASSERT_TRUE(cfgfile::OpenKeywordFile("b.dat"));
  EXPECT_EQ("second", cfgfile::ReadKeyString("Edit1"));
}

TEST_F(KeywordFileTest, CtrlZAtALineStartEndsTheFile) {
  ScopedTempDir::Write("k.dat", "Edit1=a\x1a" "b\n\x1a" "Edit2=hidden\n");
  ASSERT_TRUE(cfgfile::OpenKeywordFile("k.dat"));
  EXPECT_EQ("a\x1a" "b", cfgfile::ReadKeyString("Edit1"));  // inside a line it is a byte
  EXPECT_EQ("", cfgfile::ReadKeyString("Edit2"));
}

}  // namespace
