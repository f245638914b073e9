// The safe edit over the in-memory platform, so that each of its steps can
// be made to fail and every change it makes is in the journal.
#include "kernel/safe_edit.h"

#include <gtest/gtest.h>

#include <functional>

#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using fakefs::Op;
using Journal = std::vector<std::string>;

const std::string kOriginal = "C:\\NODE\\squish.cfg";
const std::string kTemp = "C:\\NODE\\squish_.cfg.tmp";
const std::string kBackup = "C:\\NODE\\squish.cfg.7.bak";

class SafeEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakefs::Reset();
    textio::ClearFailure();
    fakefs::SetFile(kOriginal, "old\r\n");
  }
  // Opens the original, creates the temporary file, copies the text over
  // with "new" for its line and commits.
  bool Run() {
    if (safe_edit::Open(edit_, kOriginal) != safe_edit::kReady) return false;
    if (safe_edit::CreateTemporary(edit_, "squish_.cfg.tmp") !=
        safe_edit::kReady)
      return false;
    while (!textio::AtEof(edit_.input, textio::kUnchecked)) {
      textio::ReadLine(edit_.input, textio::kUnchecked);
      textio::WriteLine(edit_.output, "new", textio::kUnchecked);
    }
    return safe_edit::Commit(edit_, kBackup);
  }
  void ExpectUnchanged() {
    EXPECT_EQ("old\r\n", fakefs::FileContents(kOriginal));
    EXPECT_FALSE(fakefs::HasFile(kBackup));
    EXPECT_FALSE(fakefs::LockHeld());
  }
  safe_edit::Edit edit_;
};

TEST_F(SafeEditTest, LinkThenAtomicReplace) {
  EXPECT_TRUE(Run());
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ("new\r\n", fakefs::FileContents(kOriginal));
  EXPECT_EQ("old\r\n", fakefs::FileContents(kBackup));
  EXPECT_FALSE(fakefs::HasFile(kTemp));
  EXPECT_FALSE(fakefs::LockHeld());
  EXPECT_EQ((Journal{"create " + kTemp, "link " + kOriginal + " -> " + kBackup,
                     "replace " + kTemp + " -> " + kOriginal}),
            fakefs::Journal());
}

// Show that a refused second name leaves a copy as the backup, and the
// original never leaves its name.
TEST_F(SafeEditTest, RefusedLinkKeepsACopy) {
  fakefs::SetLinksUnsupported(true);
  EXPECT_TRUE(Run());
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ("new\r\n", fakefs::FileContents(kOriginal));
  EXPECT_EQ("old\r\n", fakefs::FileContents(kBackup));
  EXPECT_EQ((Journal{"create " + kTemp, "create " + kBackup,
                     "replace " + kTemp + " -> " + kOriginal}),
            fakefs::Journal());
}

// Show that whatever step of the end fails, the original stays whole under
// its name with no backup beside it, and the failure is left pending.
TEST_F(SafeEditTest, FailedEndLeavesTheOriginal) {
  struct Row { const char* name; bool noLinks; Op op; std::string path; };
  const Row kRows[] = {
      {"read", false, Op::kRead, kOriginal},
      {"write", false, Op::kWrite, kTemp},
      {"flush", false, Op::kSync, kTemp},
      {"close of the temporary file", false, Op::kClose, kTemp},
      {"close of the original", false, Op::kClose, kOriginal},
      {"link", false, Op::kLink, ""},
      {"replace", false, Op::kReplace, kTemp},
      {"copy's create", true, Op::kOpenWrite, kBackup},
      {"copy's owner", true, Op::kKeepOwner, kBackup},
      {"copy's read", true, Op::kRead, kOriginal},
      {"copy's write", true, Op::kWrite, kBackup},
      {"copy's flush", true, Op::kSync, kBackup},
      {"replace after a copy", true, Op::kReplace, kTemp},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    edit_ = safe_edit::Edit();
    fakefs::SetLinksUnsupported(row.noLinks);
    // The link row fails with an error that is no taken name, so it, too,
    // falls back to the copy; the copy then fails on its own row only.
    fakefs::FailOn(row.op, row.path, 5, 1);
    if (row.op == Op::kLink) fakefs::FailOn(Op::kOpenWrite, kBackup, 5);
    EXPECT_FALSE(Run());
    EXPECT_NE(0, textio::ReadAndClearFailure());
    ExpectUnchanged();
  }
}

TEST_F(SafeEditTest, TakenBackupNameChangesNothing) {
  fakefs::SetFile(kBackup, "older");
  EXPECT_FALSE(Run());
  EXPECT_EQ(fakefs::kExists, textio::ReadAndClearFailure());
  EXPECT_EQ("old\r\n", fakefs::FileContents(kOriginal));
  EXPECT_EQ("new\r\n", fakefs::FileContents(kTemp));
  EXPECT_EQ("older", fakefs::FileContents(kBackup));
}

// Show that a file put under the temporary name behind the run's back never
// becomes the node's.
TEST_F(SafeEditTest, ForeignTemporaryFileNeverTakesThePlace) {
  ASSERT_EQ(safe_edit::kReady, safe_edit::Open(edit_, kOriginal));
  ASSERT_EQ(safe_edit::kReady,
            safe_edit::CreateTemporary(edit_, "squish_.cfg.tmp"));
  fakefs::SetFile(kTemp, "someone else's");
  EXPECT_FALSE(safe_edit::Commit(edit_, kBackup));
  EXPECT_NE(0, textio::ReadAndClearFailure());
  ExpectUnchanged();
}

TEST_F(SafeEditTest, DirectorySyncFailureIsReportedAfterTheReplace) {
  fakefs::FailOn(Op::kSyncDirectory, "", 5);
  EXPECT_TRUE(Run());  // the new file stands; durability is what failed
  EXPECT_NE(0, textio::ReadAndClearFailure());
  EXPECT_EQ("new\r\n", fakefs::FileContents(kOriginal));
}

// Show what opening gives for the files a run must not or cannot edit.
TEST_F(SafeEditTest, OpenOutcomes) {
  struct Row {
    const char* name;
    std::function<void()> setUp;
    safe_edit::Outcome outcome;
  };
  const Row kRows[] = {
      {"a plain file", [] {}, safe_edit::kReady},
      {"missing", [] { fakefs::Reset(); }, safe_edit::kNotOpened},
      {"unreadable", [] { fakefs::FailOn(Op::kOpenRead, kOriginal, 13); },
       safe_edit::kNotOpened},
      {"locked by another run too long",
       [] { fakefs::FailOn(Op::kLock, "", fakefs::kLockBusy); },
       safe_edit::kLeftAlone},
      {"not writable", [] { fakefs::FailOn(Op::kCheckWritable, kOriginal, 13); },
       safe_edit::kLeftAlone},
      {"a second name elsewhere",
       [] { fakefs::AddLink(kOriginal, "C:\\OTHER\\squish.cfg"); },
       safe_edit::kLeftAlone},
      {"a second name that is no backup",
       [] { fakefs::AddLink(kOriginal, "C:\\NODE\\copy.cfg"); },
       safe_edit::kLeftAlone},
      // A run killed between its backup and its replace leaves these.
      {"second names that are backups",
       [] {
         fakefs::AddLink(kOriginal, "C:\\NODE\\squish.cfg.areasz.bak");
         fakefs::AddLink(kOriginal, "C:\\NODE\\squish.cfg..bak");
         fakefs::AddLink(kOriginal, "C:\\NODE\\goldarea.inc. 1.bak");
       },
       safe_edit::kReady},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    row.setUp();
    safe_edit::Edit edit;
    EXPECT_EQ(row.outcome, safe_edit::Open(edit, kOriginal));
    EXPECT_EQ(row.outcome == safe_edit::kReady, fakefs::LockHeld());
    EXPECT_EQ(row.outcome != safe_edit::kReady,
              textio::ReadAndClearFailure() != 0);
  }
}

// Show what creating the temporary file gives, and that a refusal leaves
// no file of its own behind.
TEST_F(SafeEditTest, CreateTemporaryOutcomes) {
  struct Row {
    const char* name;
    std::function<void()> setUp;
    const char* tempName;
    safe_edit::Outcome outcome;
    bool tempLeft;
  };
  const Row kRows[] = {
      {"a stale temporary file is replaced",
       [] { fakefs::SetFile(kTemp, "stale"); }, "squish_.cfg.tmp",
       safe_edit::kReady, true},
      {"the name cannot be created",
       [] { fakefs::FailOn(Op::kOpenWrite, kTemp, 13); }, "squish_.cfg.tmp",
       safe_edit::kNotOpened, false},
      {"the owner cannot be given back",
       [] { fakefs::FailOn(Op::kKeepOwner, kTemp, 1); }, "squish_.cfg.tmp",
       safe_edit::kLeftAlone, false},
      {"the temporary name is the file's own", [] {}, "squish.cfg",
       safe_edit::kLeftAlone, true},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    row.setUp();
    safe_edit::Edit edit;
    ASSERT_EQ(safe_edit::kReady, safe_edit::Open(edit, kOriginal));
    EXPECT_EQ(row.outcome, safe_edit::CreateTemporary(edit, row.tempName));
    EXPECT_EQ("old\r\n", fakefs::FileContents(kOriginal));
    EXPECT_EQ(row.tempLeft, fakefs::HasFile(edit.tempPath));
    EXPECT_EQ(row.outcome == safe_edit::kReady, fakefs::LockHeld());
    if (row.outcome == safe_edit::kReady) {
      EXPECT_EQ("", fakefs::FileContents(kTemp));
      EXPECT_EQ(0, textio::ReadAndClearFailure());
    } else {
      EXPECT_NE(0, textio::ReadAndClearFailure());
    }
  }
}

// Show that the new file takes the line ends of the old one's first line
// where the platform keeps them, and that text after an end-of-file Ctrl-Z
// comes along unchanged.
TEST_F(SafeEditTest, LineEndsAndTheTailAfterCtrlZ) {
  struct Row { const char* name; bool keepsLf; std::string old, written; };
  const Row kRows[] = {
      {"LF kept", true, "a\nb\r\n", "new\nnew\n"},
      {"CR LF kept", true, "a\r\nb\n", "new\r\nnew\r\n"},
      {"no LF at all", true, "a", "new\r\n"},
      {"an empty first line", true, "\nb\n", "new\nnew\n"},
      {"Windows writes CR LF", false, "a\nb\n", "new\r\nnew\r\n"},
      {"the tail after Ctrl-Z", false, "a\r\n\x1a tail\r\n\x1a",
       "new\r\n\x1a tail\r\n\x1a"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    edit_ = safe_edit::Edit();
    fakefs::SetKeepsLfLineEnds(row.keepsLf);
    fakefs::SetFile(kOriginal, row.old);
    EXPECT_TRUE(Run());
    EXPECT_EQ(row.written, fakefs::FileContents(kOriginal));
    EXPECT_EQ(row.old, fakefs::FileContents(kBackup));
  }
}

}  // namespace
