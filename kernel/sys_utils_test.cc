#include "kernel/sys_utils.h"

#include <gtest/gtest.h>

#include "tests/temp_dir.h"

namespace {

TEST(UpperCase, FoldsOnlyAsciiLetters) {
  struct Row { std::string in, out; };
  const Row kRows[] = {
      {"echoArea fido.sysop", "ECHOAREA FIDO.SYSOP"},
      {"", ""},
      {"09!@[`{~", "09!@[`{~"},                  // digits, punctuation, neighbours of a-z
      {"\xe0\xe9\x80\xff", "\xe0\xe9\x80\xff"},  // code 128 to 255 unchanged
      {std::string("a\0b", 3), std::string("A\0B", 3)},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(row.out, sys_utils::UpperCase(row.in));
  }
}

TEST(Trim, RemovesBlanksAtBothEndsOnly) {
  struct Row { std::string in, trim, trimLeft; };
  const Row kRows[] = {
      {"  a b  ", "a b", "a b  "},
      {" \t\r\n\v\x01 ", "", ""},                       // only blanks and controls
      {"line\r", "line", "line\r"},                      // a trailing CR goes
      {std::string("\0word", 5), "word", "word"},       // a leading NUL goes
      {"\t\tx ", "x", "x "},                             // TrimLeft keeps the right end
      {"\xa0x\xa0", "\xa0x\xa0", "\xa0x\xa0"},           // code 160 is no blank
      {"", "", ""},
      {" ! ", "!", "! "},                                // code 33 is no blank
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(row.trim, sys_utils::Trim(row.in));
    EXPECT_EQ(row.trimLeft, sys_utils::TrimLeft(row.in));
  }
}

TEST(MoveFileTo, NeverReplacesAndReportsMissingSource) {
  ScopedTempDir dir;
  ScopedTempDir::Write("a", "A");
  ScopedTempDir::Write("b", "B");
  EXPECT_FALSE(sys_utils::MoveFileTo("a", "b"));  // target exists
  EXPECT_EQ("A", ScopedTempDir::Read("a"));
  EXPECT_EQ("B", ScopedTempDir::Read("b"));
  EXPECT_FALSE(sys_utils::MoveFileTo("missing", "c"));
  EXPECT_FALSE(ScopedTempDir::Has("c"));
  EXPECT_TRUE(sys_utils::MoveFileTo("a", "c"));
  EXPECT_FALSE(ScopedTempDir::Has("a"));
  EXPECT_EQ("A", ScopedTempDir::Read("c"));
}

}  // namespace
