// Moving a message base's four files, over the in-memory platform so that a
// move can be made to fail for each of its reasons.
#include "pmovion/message_base.h"

#include <gtest/gtest.h>

#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using fakefs::Op;
using Journal = std::vector<std::string>;

const char* const kExts[] = {".sqd", ".sqi", ".sql", ".sqp"};
const std::string kOld = "C:\\MAIL\\AUTO0001";
const std::string kNew = "C:\\MAIL\\FIDO_SUPPORT";

class RenameMessageBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakefs::Reset();
    textio::ClearFailure();
  }
  void Present(const std::string& base, const std::string& exts) {
    for (const char* ext : kExts)
      if (exts.find(ext[3]) != std::string::npos)
        fakefs::SetFile(base + ext, base + ext);
  }
  // Which of the four files stand under the base: "dilp" for all.
  std::string Standing(const std::string& base) {
    std::string found;
    for (const char* ext : kExts)
      if (fakefs::HasFile(base + ext)) found += ext[3];
    return found;
  }
  message_base::MoveRecord record;
};

TEST_F(RenameMessageBaseTest, MovesWhatIsThereAndCountsWhatIsMissing) {
  struct Row {
    const char* present;  // files of the old base, by their last letter
    int missing;
  };
  const Row kRows[] = {
      {"dilp", 0},
      {"dp", 2},   // a partial base moves what it has
      {"", 4},     // a base not created yet
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.present);
    SetUp();
    record.clear();
    Present(kOld, row.present);
    EXPECT_EQ(row.missing,
              message_base::RenameMessageBase(kOld, kNew, record));
    EXPECT_EQ("", Standing(kOld));
    EXPECT_EQ(row.present, Standing(kNew));
    EXPECT_EQ(4u - row.missing, record.size());
    EXPECT_EQ(0, textio::ReadAndClearFailure());
  }
}

TEST_F(RenameMessageBaseTest, MovesInExtensionOrder) {
  Present(kOld, "dilp");
  message_base::RenameMessageBase(kOld, kNew, record);
  Journal expected;
  for (const char* ext : kExts)
    expected.push_back("move " + kOld + ext + " -> " + kNew + ext);
  EXPECT_EQ(expected, fakefs::Journal());
  // The contents travel with the names.
  EXPECT_EQ(kOld + ".sql", fakefs::FileContents(kNew + ".sql"));
}

TEST_F(RenameMessageBaseTest, OtherFailureTakesTheBaseBackWhole) {
  Present(kOld, "dilp");
  fakefs::FailOn(Op::kMove, kOld + ".sql", 13);
  EXPECT_EQ(message_base::kNotRenamed,
            message_base::RenameMessageBase(kOld, kNew, record));
  EXPECT_EQ("dilp", Standing(kOld));
  EXPECT_EQ("", Standing(kNew));
  EXPECT_TRUE(record.empty());
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ((Journal{"move " + kOld + ".sqd -> " + kNew + ".sqd",
                     "move " + kOld + ".sqi -> " + kNew + ".sqi",
                     "move " + kNew + ".sqi -> " + kOld + ".sqi",
                     "move " + kNew + ".sqd -> " + kOld + ".sqd"}),
            fakefs::Journal());
}

TEST_F(RenameMessageBaseTest, ExistingTargetIsNeverReplaced) {
  Present(kOld, "dilp");
  fakefs::SetFile(kNew + ".sqi", "other area");
  EXPECT_EQ(message_base::kNotRenamed,
            message_base::RenameMessageBase(kOld, kNew, record));
  EXPECT_EQ("dilp", Standing(kOld));
  EXPECT_EQ("other area", fakefs::FileContents(kNew + ".sqi"));
  EXPECT_EQ("i", Standing(kNew));
}

TEST_F(RenameMessageBaseTest, EarlierBasesStayInTheRecord) {
  record.push_back({"C:\\MAIL\\A.sqd", "C:\\MAIL\\B.sqd"});
  Present(kOld, "d");
  fakefs::FailOn(Op::kMove, kOld + ".sqd", 13);
  EXPECT_EQ(message_base::kNotRenamed,
            message_base::RenameMessageBase(kOld, kNew, record));
  ASSERT_EQ(1u, record.size());
  EXPECT_EQ("C:\\MAIL\\B.sqd", record[0].to);
}

TEST_F(RenameMessageBaseTest, UndoGoesNewestFirst) {
  Present(kOld, "dilp");
  message_base::RenameMessageBase(kOld, kNew, record);
  fakefs::Reset();
  Present(kNew, "dilp");
  message_base::UndoMoves(record);
  EXPECT_TRUE(record.empty());
  EXPECT_EQ((Journal{"move " + kNew + ".sqp -> " + kOld + ".sqp",
                     "move " + kNew + ".sql -> " + kOld + ".sql",
                     "move " + kNew + ".sqi -> " + kOld + ".sqi",
                     "move " + kNew + ".sqd -> " + kOld + ".sqd"}),
            fakefs::Journal());
}

// A file that cannot go back is a failure the run must report, and it
// stays in the record so that a later undo tries it again.
TEST_F(RenameMessageBaseTest, FileThatCannotGoBackStaysRecorded) {
  Present(kOld, "dilp");
  message_base::RenameMessageBase(kOld, kNew, record);
  fakefs::FailOn(Op::kMove, kNew + ".sqi", 5, 1);
  message_base::UndoMoves(record);
  ASSERT_EQ(1u, record.size());
  EXPECT_EQ(kNew + ".sqi", record[0].to);
  EXPECT_NE(0, textio::ReadAndClearFailure());
  EXPECT_EQ("dlp", Standing(kOld));
  message_base::UndoMoves(record);
  EXPECT_TRUE(record.empty());
  EXPECT_EQ("dilp", Standing(kOld));
}

}  // namespace
