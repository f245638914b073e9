// Mending from the journal of a stopped run, over the in-memory platform:
// whichever configuration stands, each base ends up under the name it uses,
// and nothing that may be mail is ever removed.
#include "pmovion/journal.h"

#include <gtest/gtest.h>

#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using fakefs::Op;

const std::string kJournal = "C:\\NODE\\pmovion.jnl";
const std::string kOld = "C:\\MAIL\\AUTO0001.sqd";
const std::string kNew = "C:\\MAIL\\FIDO.sqd";

std::string JournalText() {
  return "Movionsmith journal 1\r\n"
         "base\tC:\\MAIL\\AUTO0001\tC:\\MAIL\\FIDO\r\n"
         "file\t" + kOld + "\t" + kNew + "\r\n"
         "end\r\n";
}

// The base paths a configuration names, folded as the pass folds them.
message_base::NamedPaths Naming(const std::string& base) {
  message_base::NamedPaths named;
  if (!base.empty()) named[message_base::FoldedName(base)] = 1;
  named[message_base::FoldedName("C:\\MAIL\\OTHER")] = 1;
  return named;
}

TEST(Recover, EachBaseEndsUnderTheNameInUse) {
  enum Standing { kOldOnly, kNewOnly, kLinked, kTwoFiles };
  struct Row {
    const char* what;
    Standing standing;  // what the stopped run left
    const char* named;  // the base path the configuration names
    std::map<std::string, std::string> left;
  };
  const Row kRows[] = {
      {"linked, old configuration", kLinked, "C:\\MAIL\\AUTO0001",
       {{kOld, "mail"}}},
      {"linked, new configuration", kLinked, "c:\\mail\\fido",  // any case
       {{kNew, "mail"}}},
      {"moved, old configuration", kNewOnly, "C:\\MAIL\\AUTO0001",
       {{kOld, "mail"}}},
      {"not yet moved, new configuration", kOldOnly, "C:\\MAIL\\FIDO",
       {{kNew, "mail"}}},
      {"already in place", kNewOnly, "C:\\MAIL\\FIDO", {{kNew, "mail"}}},
      // The tosser made a fresh base after the crash: the sysop merges.
      {"two different files", kTwoFiles, "C:\\MAIL\\FIDO",
       {{kOld, "fresh"}, {kNew, "mail"}}},
      // A configuration edited by hand since: nothing says where it belongs.
      {"neither named", kLinked, "", {{kOld, "mail"}, {kNew, "mail"}}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    fakefs::Reset();
    textio::ClearFailure();
    fakefs::SetFile(kJournal, JournalText());
    if (row.standing == kNewOnly) {
      fakefs::SetFile(kNew, "mail");
    } else {
      fakefs::SetFile(kOld, row.standing == kTwoFiles ? "fresh" : "mail");
    }
    if (row.standing == kLinked) fakefs::AddLink(kOld, kNew);
    if (row.standing == kTwoFiles) fakefs::SetFile(kNew, "mail");
    EXPECT_EQ(0, journal::Recover(kJournal, Naming(row.named)));
    EXPECT_EQ(row.left, fakefs::Files());  // the journal gone too
    EXPECT_EQ(0, textio::ReadAndClearFailure());
  }
}

TEST(Recover, WhatIsNotAWholeJournal) {
  struct Row {
    const char* what;
    std::string text;
    std::function<void()> inject;
    bool journalStays;
    bool failed;
  };
  const Row kRows[] = {
      // Stopped while writing its journal, the run had changed nothing.
      {"cut short", JournalText().substr(0, 40), [] {}, false, false},
      {"empty", "", [] {}, false, false},
      {"not ours", "a sysop's notes\r\nend\r\n", [] {}, true, true},
      {"a name cannot be looked at", JournalText(),
       [] { fakefs::FailOn(Op::kInspect, kNew, 13); }, true, true},
      {"the journal cannot be read", JournalText(),
       [] { fakefs::FailOn(Op::kRead, kJournal, 5); }, true, true},
      {"the journal cannot be removed", JournalText(),
       [] { fakefs::FailOn(Op::kDelete, kJournal, 5); }, true, true},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    fakefs::Reset();
    fakefs::SetFile(kJournal, row.text);
    fakefs::SetFile(kOld, "mail");
    fakefs::AddLink(kOld, kNew);
    row.inject();
    EXPECT_EQ(row.failed,
              journal::Recover(kJournal, Naming("C:\\MAIL\\AUTO0001")) != 0);
    EXPECT_EQ(row.journalStays, fakefs::HasFile(kJournal));
    EXPECT_EQ("mail", fakefs::FileContents(kOld));
  }
  fakefs::Reset();
  EXPECT_EQ(0, journal::Recover(kJournal, {}));  // no journal, nothing to do
}

TEST(JournalWrite, WholeOrNotAtAll) {
  const std::vector<message_base::BaseMove> moves = {
      {"C:\\MAIL\\AUTO0001", "C:\\MAIL\\FIDO", {{kOld, kNew, false}}}};
  fakefs::Reset();
  ASSERT_EQ(0, journal::Write(kJournal, moves));
  EXPECT_EQ(JournalText(), fakefs::FileContents(kJournal));
  fakefs::Reset();
  fakefs::FailOn(Op::kSync, kJournal, 5);
  EXPECT_EQ(5, journal::Write(kJournal, moves));
  EXPECT_FALSE(fakefs::HasFile(kJournal));
}

}  // namespace
