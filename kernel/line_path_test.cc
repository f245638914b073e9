#include "kernel/line_path.h"

#include <gtest/gtest.h>

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
    line_path::CompactBlanks(line);
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
    EXPECT_EQ(row.out, line_path::FirstWord(row.in));
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
      {"\\\\srv\\share\\f", "\\\\srv\\share"},
      {"/srv/fido/squish.cfg", "/srv/fido"}, // '/' separates too
      {"C:/squish.cfg", "C:\\"},
      {"D:\\fido/golded\\golded.inc", "D:\\fido/golded"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(row.dir, line_path::ExtractDir(row.path));
  }
}

TEST(SiblingPath, FilesBesideAPath) {
  struct Row { const char* path; const char* sibling; };
  const Row kRows[] = {
      {"C:\\NODE\\squish.cfg", "C:\\NODE\\x.tmp"},
      {"C:\\squish.cfg", "C:\\\\x.tmp"},      // plain joining doubles it
      {"\\squish.cfg", "\\x.tmp"},            // the root stays the root
      {"/srv/fido/squish.cfg", "/srv/fido\\x.tmp"},
      {"squish.cfg", "x.tmp"},                // the current directory
      {"", "x.tmp"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(row.sibling, line_path::SiblingPath(row.path, "x.tmp"));
  }
}

}  // namespace
