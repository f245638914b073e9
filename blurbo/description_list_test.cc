// The description list: how it is read and what a tag finds in it.
#include "blurbo/description_list.h"

#include <gtest/gtest.h>

#include "kernel/orvKernel.h"
#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using Entries = std::vector<std::string>;

const std::string kLong = "LONG " + std::string(300, 'x');

TEST(FindDescription, FirstEntryOfTheTagDecides) {
  blurbo::ResetDescriptionList({
      "NET.TALK    General talk",
      "LOCAL.CHAT  Local chat",
      "net.test",
      "NET.TEST    Never consulted",
      "NET.TALK    Never used",
      "\xE0\xE1 National tag",
      "  INDENTED  Indented text",
      "",
      "TABS\t\tTabbed text \t ",
      kLong,
  });
  struct Row { std::string tag; std::string description; };
  const Row kRows[] = {
      {"NET.TALK", "General talk"},       // blanks after the tag are not kept
      {"net.talk", "General talk"},       // a-z folded, first of two entries
      {"LOCAL.CHAT", "Local chat"},
      {"NET.TEST", ""},                   // a tag alone gives none; the later
      {"net.test", ""},                   //   entry with text is not consulted
      {"\xE0\xE1", "National tag"},       // other bytes match exactly...
      {"\xC0\xC1", ""},                   // ...and are never folded
      {"INDENTED", "Indented text"},      // taken after the tag where it stands
      {"TABS", "Tabbed text"},            // tabs at either end go
      {"LONG", std::string(254, 'x')},    // 255 after the tag, blank included
      {"NET", ""},                        // a prefix of a tag is no match
      {"NET.TALK.X", ""},                 // nor is a longer tag
      {"", ""},                           // an empty tag, though an empty line is listed
      {"UNKNOWN", ""},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.tag);
    EXPECT_EQ(row.description, blurbo::FindDescription(row.tag));
  }
}

TEST(FindDescription, EmptyListGivesNothing) {
  blurbo::ResetDescriptionList();
  EXPECT_EQ("", blurbo::FindDescription("NET.TALK"));
  EXPECT_EQ("", blurbo::FindDescription(""));
}

class ReadDescriptionListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakefs::Reset();
    textio::ClearFailure();
    blurbo::ResetDescriptionList();
  }
};

TEST_F(ReadDescriptionListTest, OneEntryPerLineExactlyAsRead) {
  struct Row { const char* name; std::string file; Entries entries; };
  const Row kRows[] = {
      {"empty file", "", {}},
      {"CR LF", "NET.TALK  General talk\r\nnet.test\r\n",
       {"NET.TALK  General talk", "net.test"}},
      {"LF, blanks kept", " A  x \n\nB\n", {" A  x ", "", "B"}},
      {"lone CR dropped", "A\rB\r\nC\n", {"AB", "C"}},
      {"no final line end", "A\nB", {"A", "B"}},
      {"Ctrl-Z ends it", "A\r\n\x1a" "B\r\n", {"A"}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    fakefs::SetFile("blurbor.dsc", row.file);
    blurbo::ReadDescriptionList();
    EXPECT_EQ(row.entries, blurbo::DescriptionList());
    EXPECT_EQ("reading descriptions...\r\n", fakefs::ConsoleOutput());
    EXPECT_EQ(0, textio::ReadAndClearFailure());
  }
}

TEST_F(ReadDescriptionListTest, FailedReadStaysPending) {
  fakefs::SetFile("blurbor.dsc", "NET.TALK General talk\r\n");
  fakefs::FailOn(fakefs::Op::kRead, "blurbor.dsc", 5);
  blurbo::ReadDescriptionList();  // returns: the end of the run reports it
  EXPECT_TRUE(textio::FailurePending());
}

TEST_F(ReadDescriptionListTest, MissingFileEndsTheRunWith05) {
  orvKernel::ResetPluginParams({}, "Blurbor");
  EXPECT_EXIT(
      {
        fakefs::ReportAtExit([] { return fakefs::MarkerReport("Blurbor.End"); });
        blurbo::ReadDescriptionList();
      },
      ::testing::ExitedWithCode(100), "marker 05");
}

}  // namespace
