// Message bases over the in-memory platform: which files a base has in any
// letter case, which tags make safe names, and how the files take their new
// names and give them back, each step made to fail in turn.
#include "pmovion/message_base.h"

#include <gtest/gtest.h>

#include "kernel/textio.h"
#include "tests/fake_platform.h"

namespace {

using fakefs::Op;
using message_base::Found;
using message_base::Renamed;

const char* const kExts[] = {".sqd", ".sqi", ".sql", ".sqp"};
const std::string kOld = "C:\\MAIL\\AUTO0001";
const std::string kNew = "C:\\MAIL\\FIDO_SUPPORT";

TEST(IsSafeBaseName, OnlyPlainNamesInTheirDirectory) {
  struct Row {
    const char* name;
    bool safe;
  };
  const Row kRows[] = {
      {"FIDO.SUPPORT", true},
      {"su.general_", true},
      {"\x80\xE9.ru", true},         // the code page's own letters
      {"...", true},                 // only "." and ".." name directories
      {"..", false},
      {".", false},
      {"..\\..\\elsewhere\\STOLEN", false},
      {"a/b", false},
      {"C:STOLEN", false},           // a drive
      {"a\tb", false},               // control bytes
      {"a\x7F", false},
      {"a*b", false}, {"a?b", false}, {"a\"b", false}, {"a<b", false},
      {"a>b", false}, {"a|b", false},
      {"CON", false}, {"nul", false}, {"Aux", false}, {"PRN", false},
      {"COM1", false}, {"com9", false}, {"LPT1", false}, {"lpt9", false},
      {"CON.SUPPORT", false},        // Windows ignores what follows the dot
      {"CONIN$", false},
      {"COM10", true},               // no device of that number
      {"CONSOLE", true},
      {"NUL_AREA", true},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.safe, message_base::IsSafeBaseName(row.name));
  }
}

TEST(FoldedName, LetterCaseAndSeparatorsAlike) {
  EXPECT_EQ(message_base::FoldedName("c:/mail/Fido.Sqd"),
            message_base::FoldedName("C:\\MAIL\\FIDO.SQD"));
  EXPECT_NE(message_base::FoldedName("\xE4.sqd"),
            message_base::FoldedName("\xC4.sqd"));  // only ASCII folds
}

TEST(DirectoryPart, UpToTheLastSeparatorOrTheDrive) {
  struct Row {
    const char* base;
    const char* dir;
  };
  const Row kRows[] = {
      {"C:\\MAIL\\AUTO0001", "C:\\MAIL\\"},
      {"mail/AUTO0001", "mail/"},
      {"C:AUTO0001", "C:"},
      {"AUTO0001", ""},
      {"\\AUTO0001", "\\"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.base);
    EXPECT_EQ(row.dir, message_base::DirectoryPart(row.base));
  }
}

class MessageBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakefs::Reset();
    textio::ClearFailure();
  }
  // What stands under the directory, name by name.
  std::map<std::string, std::string> Standing() {
    std::map<std::string, std::string> out;
    for (const auto& [path, bytes] : fakefs::Files())
      if (path.rfind("C:\\MAIL\\", 0) == 0) out[path.substr(8)] = bytes;
    return out;
  }
  message_base::Directories directories;
};

TEST_F(MessageBaseTest, PlanFindsTheFilesInAnyCase) {
  struct Row {
    const char* what;
    std::vector<const char*> files;  // in C:\MAIL
    Found found;
    std::vector<std::pair<std::string, std::string>> moves;  // leaf names
  };
  const Row kRows[] = {
      {"the four files", {"AUTO0001.sqd", "AUTO0001.sqi", "AUTO0001.sql",
                          "AUTO0001.sqp"},
       Found::kReady,
       {{"AUTO0001.sqd", "FIDO_SUPPORT.sqd"}, {"AUTO0001.sqi", "FIDO_SUPPORT.sqi"},
        {"AUTO0001.sql", "FIDO_SUPPORT.sql"}, {"AUTO0001.sqp", "FIDO_SUPPORT.sqp"}}},
      {"a base not created yet", {}, Found::kReady, {}},
      // Copied from DOS: each file keeps the case of its extension.
      {"names in upper case", {"AUTO0001.SQD", "auto0001.Sqi"}, Found::kReady,
       {{"AUTO0001.SQD", "FIDO_SUPPORT.SQD"}, {"auto0001.Sqi", "FIDO_SUPPORT.Sqi"}}},
      {"other files stay out", {"AUTO0001.sqd", "AUTO0001.bak", "AUTO00011.sqd"},
       Found::kReady, {{"AUTO0001.sqd", "FIDO_SUPPORT.sqd"}}},
      {"two files differ only in case", {"AUTO0001.sqd", "AUTO0001.SQD"},
       Found::kCaseClash, {}},
      {"a target file stands", {"AUTO0001.sqd", "FIDO_SUPPORT.sqp"},
       Found::kTargetTaken, {}},
      {"a target in another case", {"AUTO0001.sqd", "fido_support.SQI"},
       Found::kTargetTaken, {}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    SetUp();
    directories.clear();
    for (const char* file : row.files)
      fakefs::SetFile(std::string("C:\\MAIL\\") + file, file);
    message_base::BaseMove move;
    ASSERT_EQ(row.found,
              message_base::PlanBaseMove(directories, kOld, kNew, &move));
    std::vector<std::pair<std::string, std::string>> moves;
    for (const message_base::FileMove& file : move.files)
      moves.push_back({file.from.substr(8), file.to.substr(8)});
    if (row.found == Found::kReady) {
      EXPECT_EQ(row.moves, moves);
    }
    EXPECT_TRUE(fakefs::Journal().empty());  // nothing touched
  }
}

TEST_F(MessageBaseTest, UnreadableDirectoryIsNoEmptyOne) {
  fakefs::SetFile(kOld + ".sqd", "mail");
  fakefs::FailOn(Op::kList, "C:\\MAIL\\", 13);
  message_base::BaseMove move;
  EXPECT_EQ(Found::kUnsearchable,
            message_base::PlanBaseMove(directories, kOld, kNew, &move));
  // A directory that is not there holds no base: the area only gets its path.
  EXPECT_EQ(Found::kReady, message_base::PlanBaseMove(
                               directories, "D:\\NONE\\AUTO0001",
                               "D:\\NONE\\FIDO", &move));
  EXPECT_TRUE(move.files.empty());
}

// A base with all four files, planned.
message_base::BaseMove FourFiles() {
  for (const char* ext : kExts) fakefs::SetFile(kOld + ext, ext);
  message_base::Directories directories;
  message_base::BaseMove move;
  EXPECT_EQ(Found::kReady,
            message_base::PlanBaseMove(directories, kOld, kNew, &move));
  return move;
}

TEST_F(MessageBaseTest, NewNamesAreSecondLinksUntilTheOldGo) {
  message_base::BaseMove move = FourFiles();
  ASSERT_EQ(Renamed::kRenamed, message_base::RenameMessageBase(move));
  for (const char* ext : kExts) {
    EXPECT_EQ(ext, fakefs::FileContents(kOld + ext));
    EXPECT_EQ(ext, fakefs::FileContents(kNew + ext));
  }
  EXPECT_TRUE(message_base::DropOldNames(move));
  EXPECT_EQ((std::map<std::string, std::string>{{"FIDO_SUPPORT.sqd", ".sqd"},
                                                {"FIDO_SUPPORT.sqi", ".sqi"},
                                                {"FIDO_SUPPORT.sql", ".sql"},
                                                {"FIDO_SUPPORT.sqp", ".sqp"}}),
            Standing());
  EXPECT_EQ(0, textio::ReadAndClearFailure());
}

TEST_F(MessageBaseTest, TakingBackRestoresEveryWay) {
  struct Row {
    const char* what;
    bool links;
  };
  for (const Row& row : {Row{"second links", true}, Row{"moves", false}}) {
    SCOPED_TRACE(row.what);
    SetUp();
    fakefs::SetLinksUnsupported(!row.links);
    message_base::BaseMove move = FourFiles();
    const auto before = Standing();
    ASSERT_EQ(Renamed::kRenamed, message_base::RenameMessageBase(move));
    if (!row.links) {
      EXPECT_FALSE(fakefs::HasFile(kOld + ".sqd"));
    }
    EXPECT_TRUE(message_base::TakeBack(move));
    EXPECT_EQ(before, Standing());
    EXPECT_EQ(0, textio::ReadAndClearFailure());
  }
}

TEST_F(MessageBaseTest, RefusedNameLeavesTheBaseWhole) {
  struct Row {
    const char* what;
    std::function<void()> inject;
    Renamed renamed;
  };
  const Row kRows[] = {
      // The tosser made the file since the plan: the name is not taken over.
      {"a target appeared",
       [] { fakefs::SetFile(kNew + ".sql", "new mail"); }, Renamed::kNotRenamed},
      {"link and move refused",
       [] {
         fakefs::FailOn(Op::kLink, kOld + ".sql", 5);
         fakefs::FailOn(Op::kMove, kOld + ".sql", 5);
       },
       Renamed::kNotRenamed},
      {"moved, then refused",
       [] {
         fakefs::SetLinksUnsupported(true);
         fakefs::FailOn(Op::kMove, kOld + ".sql", 13);
       },
       Renamed::kNotRenamed},
      // A moved file that cannot return splits the base: the caller hears.
      {"and cannot go back",
       [] {
         fakefs::SetLinksUnsupported(true);
         fakefs::FailOn(Op::kMove, kOld + ".sql", 13);
         fakefs::FailOn(Op::kMove, kNew + ".sqi", 5);
       },
       Renamed::kSplit},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    SetUp();
    message_base::BaseMove move = FourFiles();
    auto before = Standing();
    row.inject();
    if (fakefs::HasFile(kNew + ".sql")) before["FIDO_SUPPORT.sql"] = "new mail";
    EXPECT_EQ(row.renamed, message_base::RenameMessageBase(move));
    if (row.renamed == Renamed::kSplit) {
      EXPECT_EQ(5, textio::ReadAndClearFailure());
      EXPECT_EQ(".sqi", fakefs::FileContents(kNew + ".sqi"));
      continue;
    }
    EXPECT_EQ(before, Standing());
    EXPECT_EQ(0, textio::ReadAndClearFailure());
  }
}

TEST_F(MessageBaseTest, FailuresToSettleAreReported) {
  message_base::BaseMove move = FourFiles();
  ASSERT_EQ(Renamed::kRenamed, message_base::RenameMessageBase(move));
  fakefs::FailOn(Op::kDelete, kOld + ".sqi", 5, 1);
  EXPECT_FALSE(message_base::DropOldNames(move));
  EXPECT_EQ(5, textio::ReadAndClearFailure());
  EXPECT_TRUE(fakefs::HasFile(kOld + ".sqi"));   // a second name, harmless
  EXPECT_FALSE(fakefs::HasFile(kOld + ".sqd"));  // the others still went
  fakefs::FailOn(Op::kSyncDirectory, "", 5);
  EXPECT_EQ(5, message_base::SyncDirectories({move}));
}

}  // namespace
