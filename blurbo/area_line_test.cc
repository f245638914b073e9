// The area line rewrite: which lines are area lines, and where a
// description option goes in or comes out, byte for byte.
#include "blurbo/area_line.h"

#include <gtest/gtest.h>

#include "blurbo/description_list.h"

namespace {

struct Row {
  std::string line;     // as the pass hands it over, compacted
  bool check1;          // replace a description the line has
  bool check2;          // the tag when the list gives none
  std::string written;  // the line to write
};

class RewriteAreaLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    blurbo::ResetDescriptionList({"NET.TALK    General talk",
                                  "LOCAL.CHAT  Local chat", "net.test",
                                  "QUOTE.ME Say \"hi\""});
  }
  static void Expect(const Row& row) {
    SCOPED_TRACE(row.line);
    blurbo::AreaLine got =
        blurbo::RewriteAreaLine(row.line, row.check1, row.check2);
    EXPECT_TRUE(got.isArea);
    EXPECT_EQ(row.written, got.line);
  }
};

TEST_F(RewriteAreaLineTest, TypicalLines) {
  const Row kRows[] = {
      // 1. -$n style, no description yet
      {"EchoArea NET.TALK D:\\Msg\\Talk -$ 1:2/3", false, false,
       "EchoArea NET.TALK D:\\Msg\\Talk -$  -$n\"General talk\" 1:2/3"},
      // 2. -$n style, a description there, replaced
      {"EchoArea NET.TALK D:\\Msg\\Talk -$ -$n\"Old text\" 1:2/3", true, false,
       "EchoArea NET.TALK D:\\Msg\\Talk -$  -$n\"General talk\"  1:2/3"},
      {"EchoArea NET.TALK D:\\Msg\\Talk -$ -$n\"Old text\" 1:2/3", false, true,
       "EchoArea NET.TALK D:\\Msg\\Talk -$ -$n\"Old text\" 1:2/3"},
      // 3. -d style, no description yet
      {"EchoArea LOCAL.CHAT D:\\Msg\\Chat -b Squish -a 1:2/3", false, false,
       "EchoArea LOCAL.CHAT D:\\Msg\\Chat  -d \"Local chat\" -b Squish -a 1:2/3"},
      // 4. -d style, a description there, replaced in front of the options
      {"EchoArea LOCAL.CHAT D:\\Msg\\Chat -b Squish -d \"Old text\" -a 1:2/3",
       true, false,
       "EchoArea LOCAL.CHAT D:\\Msg\\Chat  -d \"Local chat\" -b Squish  -a 1:2/3"},
      {"EchoArea LOCAL.CHAT D:\\Msg\\Chat -b Squish -d \"Old text\" -a 1:2/3",
       false, true,
       "EchoArea LOCAL.CHAT D:\\Msg\\Chat -b Squish -d \"Old text\" -a 1:2/3"},
      // 5. a tag the list does not know
      {"EchoArea NET.OTHER D:\\Msg\\Other -$ 1:2/3", false, true,
       "EchoArea NET.OTHER D:\\Msg\\Other -$  -$n\"NET.OTHER\" 1:2/3"},
      {"EchoArea NET.OTHER D:\\Msg\\Other -$ 1:2/3", true, false,
       "EchoArea NET.OTHER D:\\Msg\\Other -$ 1:2/3"},
  };
  for (const Row& row : kRows) Expect(row);
}

TEST_F(RewriteAreaLineTest, DecisionTable) {
  const Row kRows[] = {
      // an empty description counts as none; the tag as the line spells it
      {"EchoArea Net.Test D:\\T -$ 1:2/3", false, true,
       "EchoArea Net.Test D:\\T -$  -$n\"Net.Test\" 1:2/3"},
      {"EchoArea Net.Test D:\\T -$ 1:2/3", false, false,
       "EchoArea Net.Test D:\\T -$ 1:2/3"},
      // a line with an option never takes the tag, whatever the flags
      {"EchoArea NET.OTHER D:\\T -$ -$n\"Mine\" 1:2/3", true, true,
       "EchoArea NET.OTHER D:\\T -$ -$n\"Mine\" 1:2/3"},
      // the same description is still taken out and put in again
      {"EchoArea NET.TALK D:\\T -$ -$n\"General talk\" 1:2/3", true, false,
       "EchoArea NET.TALK D:\\T -$  -$n\"General talk\"  1:2/3"},
      // -$N in capitals is the same option
      {"EchoArea NET.TALK D:\\T -$ -$N\"Old\" 1:2/3", true, false,
       "EchoArea NET.TALK D:\\T -$  -$n\"General talk\"  1:2/3"},
      // an unquoted value goes with its option
      {"EchoArea NET.TALK D:\\T -$ -$nOld 1:2/3", true, false,
       "EchoArea NET.TALK D:\\T -$  -$n\"General talk\"  1:2/3"},
      // no closing quote: only the option and its quote go, the text stays
      {"EchoArea NET.TALK D:\\T -$ -$n\"Old text 1:2/3", true, false,
       "EchoArea NET.TALK D:\\T -$  -$n\"General talk\" Old text 1:2/3"},
      // a line that ends with -$ ends with the blank after the new option
      {"ECHOAREA NET.TALK D:\\T -$", false, false,
       "ECHOAREA NET.TALK D:\\T -$ -$n\"General talk\" "},
      // a quote in the description is written as it stands
      {"EchoArea QUOTE.ME D:\\T -$ 1:2/3", false, false,
       "EchoArea QUOTE.ME D:\\T -$  -$n\"Say \"hi\"\" 1:2/3"},
      // a tab after -d hides the option, so a second one goes in
      {"EchoArea LOCAL.CHAT D:\\T -b Squish -d\t\"Old\" -a 1:2/3", true, false,
       "EchoArea LOCAL.CHAT D:\\T  -d \"Local chat\" -b Squish -d\t\"Old\" -a 1:2/3"},
      // -a and -b make the -d style in any case, also inside a path
      {"EchoArea NET.TALK D:\\T-A -$ 1:2/3", false, false,
       "EchoArea NET.TALK D:\\T-A  -d \"General talk\" -$ 1:2/3"},
      // an unquoted -d value is taken out with its option...
      {"EchoArea LOCAL.CHAT D:\\T -b Squish -d Old -a 1:2/3", true, false,
       "EchoArea LOCAL.CHAT D:\\T  -d \"Local chat\" -b Squish  -a 1:2/3"},
      // ...but an option after "-d " is no value and stays
      {"EchoArea LOCAL.CHAT D:\\T -b Squish -D -a 1:2/3", true, false,
       "EchoArea LOCAL.CHAT D:\\T  -d \"Local chat\" -b Squish  -a 1:2/3"},
      // a -d line with no option after the tag gets it at the end
      {"EchoArea LOCAL.CHAT D:\\T-a 1:2/3", false, false,
       "EchoArea LOCAL.CHAT D:\\T-a 1:2/3 -d \"Local chat\" "},
  };
  for (const Row& row : kRows) Expect(row);
}

// Lines that a literal "first -$" insertion would break for the tosser.
TEST_F(RewriteAreaLineTest, SquishFlagWordsStayWhole) {
  const Row kRows[] = {
      // -$m100 stays one word; the option goes after it
      {"EchoArea NET.TALK D:\\T -$m100 1:2/3", false, false,
       "EchoArea NET.TALK D:\\T -$m100  -$n\"General talk\" 1:2/3"},
      {"EchoArea NET.TALK D:\\T -$m100", false, false,
       "EchoArea NET.TALK D:\\T -$m100 -$n\"General talk\" "},
      // a -$ inside a path is no flag
      {"EchoArea NET.TALK D:\\Msg-$\\Talk -$ 1:2/3", false, false,
       "EchoArea NET.TALK D:\\Msg-$\\Talk -$  -$n\"General talk\" 1:2/3"},
      // no -$: a *.MSG area, which -$n would turn into a Squish one
      {"EchoArea NET.TALK D:\\Msg\\Talk 1:2/3", true, true,
       "EchoArea NET.TALK D:\\Msg\\Talk 1:2/3"},
      {"EchoArea NET.OTHER D:\\Msg\\Talk -f 1:2/3", true, true,
       "EchoArea NET.OTHER D:\\Msg\\Talk -f 1:2/3"},
      {"EchoArea NET.TALK D:\\Msg-$\\Talk 1:2/3", false, false,
       "EchoArea NET.TALK D:\\Msg-$\\Talk 1:2/3"},
      // the only -$ was the old option: the new one takes its place
      {"EchoArea NET.TALK D:\\T -$n\"Old\" 1:2/3", true, false,
       "EchoArea NET.TALK D:\\T  -$n\"General talk\"  1:2/3"},
      {"EchoArea NET.TALK D:\\T -$nOld", true, false,
       "EchoArea NET.TALK D:\\T  -$n\"General talk\" "},
  };
  for (const Row& row : kRows) Expect(row);
}

// Links, paths and old descriptions longer than any buffer are kept whole.
TEST_F(RewriteAreaLineTest, LongLinesKeepEveryByte) {
  std::string links;
  for (int node = 1; links.size() < 3000; ++node)
    links += " 2:5020/" + std::to_string(node);
  const std::string oldText(1500, 'o');
  const std::string path = "D:\\" + std::string(1100, 'p');
  const Row kRows[] = {
      {"EchoArea NET.TALK D:\\T -$" + links, false, false,
       "EchoArea NET.TALK D:\\T -$  -$n\"General talk\"" + links},
      {"EchoArea NET.TALK D:\\T -$ -$n\"" + oldText + "\"" + links, true, false,
       "EchoArea NET.TALK D:\\T -$  -$n\"General talk\" " + links},
      {"EchoArea LOCAL.CHAT " + path + " -b Squish -a" + links, false, false,
       "EchoArea LOCAL.CHAT " + path + "  -d \"Local chat\" -b Squish -a" +
           links},
  };
  for (const Row& row : kRows) Expect(row);
}

TEST_F(RewriteAreaLineTest, WhatIsAnAreaLineAndItsTag) {
  struct Recognition { std::string line; bool isArea; std::string tag; };
  const Recognition kRows[] = {
      {"EchoArea NET.TALK D:\\T -$", true, "NET.TALK"},
      {"echoarea net.talk D:\\T -$", true, "net.talk"},
      {"EchoAreaX NET.TALK D:\\T", true, "NET.TALK"},  // longer first word
      {"EchoArea", true, ""},                          // no tag at all
      {"EchoArea\tNET.TALK", true, "NET.TALK"},
      {"EchoArea " + std::string(300, 't'), true, std::string(254, 't')},
      {"; EchoArea NET.TALK D:\\T -$", false, ""},
      {"NetArea NETMAIL D:\\T -$", false, ""},
      {"EchoAre", false, ""},
      {"", false, ""},
      // fidoconfig's defaults for the areas after it: never described
      {"EchoAreaDefaults -dupeCheck move -b Jam", false, ""},
      {"ECHOAREADEFAULTS -$ 1:2/3", false, ""},
  };
  for (const Recognition& row : kRows) {
    SCOPED_TRACE(row.line);
    blurbo::AreaLine got = blurbo::RewriteAreaLine(row.line, true, true);
    EXPECT_EQ(row.isArea, got.isArea);
    EXPECT_EQ(row.tag, got.tag);
    if (!row.isArea || row.tag.empty()) {
      EXPECT_EQ(row.line, got.line);
    }
  }
}

}  // namespace
