// The text rules of the rename pass: which lines are echo areas, what they
// hold, and which new base path a selected area gets.
#include "pmovion/rename_pass.h"

#include <gtest/gtest.h>

#include "kernel/orvKernel.h"

namespace {

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

TEST(LastPos, LastOccurrenceFromOne) {
  struct Row {
    const char* pattern;
    const char* text;
    int pos;
  };
  const Row kRows[] = {
      {"\\", "c:\\msgbase\\ltest", 11},
      {"\\", "\\x", 1},
      {"\\", "x\\", 2},
      {"\\", "ltest", 0},
      {"\\", "", 0},
      {"ab", "abxab", 4},
      {"ab", "a", 0},       // pattern longer than the text
      {"AB", "abxab", 0},   // letter case counts
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(row.pos, rename_pass::LastPos(row.pattern, row.text));
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
      {true, "D:\\Mail\\AUTO0007", "D:\\Mail\\local.test"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    orvKernel::ResetPluginParams({.Check3 = row.check3});
    EXPECT_EQ(row.newPath, rename_pass::NewBasePath(
                               {.tag = "local.test", .path = row.path}));
  }
}

}  // namespace
