// The Windows platform layer on its own system (Wine in CI), in a scratch
// directory under the user's temporary folder.
#include "kernel/platform.h"

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "kernel/textio.h"

namespace {

// A fresh directory, made the working directory while the test runs.
class WinTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char base[MAX_PATH + 1];
    ASSERT_NE(0u, GetTempPathA(sizeof base, base));
    dir_ = std::string(base) + "orvane-unit-" +
           std::to_string(GetCurrentProcessId()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
    previous_ = std::filesystem::current_path();
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
    textio::ClearFailure();
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  static void Put(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
  }
  static std::string Get(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  static bool Has(const std::string& name) {
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::string dir_;
  std::filesystem::path previous_;
};

std::string ReadWhole(const std::string& path) {
  platform::Handle h;
  if (platform::OpenRead(path, &h) != 0) return "<cannot open>";
  std::string bytes;
  char buffer[7];  // small, so that a file takes several reads
  std::size_t got = 0;
  while (platform::Read(h, buffer, sizeof buffer, &got) == 0 && got > 0)
    bytes.append(buffer, got);
  platform::Close(h);
  return bytes;
}

// Show that files keep their bytes: no CR LF is added or taken, and Ctrl-Z
// is an ordinary byte to the layer.
TEST_F(WinTempDir, FilesKeepTheirBytes) {
  const std::string bytes("a\r\nb\nc\r\x1a\0\xff", 10);
  platform::Handle h;
  ASSERT_EQ(0, platform::OpenWrite("f.cfg", &h));
  EXPECT_EQ(0, platform::Write(h, bytes.data(), bytes.size()));
  EXPECT_EQ(0, platform::Sync(h));
  EXPECT_EQ(0, platform::Close(h));
  EXPECT_EQ(bytes, Get("f.cfg"));
  EXPECT_EQ(bytes, ReadWhole("f.cfg"));
  EXPECT_EQ(bytes, ReadWhole(dir_ + "\\f.cfg"));
  EXPECT_EQ(bytes, ReadWhole(dir_ + "/F.CFG"));  // the system's own rules

  ASSERT_EQ(0, platform::OpenWrite("f.cfg", &h));  // empties the old file
  EXPECT_EQ(0, platform::Close(h));
  EXPECT_EQ("", Get("f.cfg"));
}

// Show that paths go to the system as they stand: a name with a byte of
// the 8-bit code page is created and found again under the same bytes.
TEST_F(WinTempDir, HighBytesInNamesStandAsTheyAre) {
  const std::string name = "\xC4rea.cfg";
  platform::Handle h;
  ASSERT_EQ(0, platform::OpenWrite(name, &h));
  EXPECT_EQ(0, platform::Close(h));
  EXPECT_TRUE(platform::Exists(name));
  EXPECT_EQ("", ReadWhole(name));
  EXPECT_EQ(0, platform::Move(name, "\xE9.cfg"));
  EXPECT_TRUE(platform::Exists("\xE9.cfg"));
  EXPECT_FALSE(platform::Exists(name));
}

// Show that what cannot be opened fails with the system's number and
// leaves no handle behind.
TEST_F(WinTempDir, OpenFailures) {
  ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
  struct Row {
    const char* path;
    bool forWriting;
    int error;
  };
  const Row kRows[] = {
      {"missing.cfg", false, ERROR_FILE_NOT_FOUND},
      {"nodir\\missing.cfg", false, ERROR_PATH_NOT_FOUND},
      {"nodir\\new.cfg", true, ERROR_PATH_NOT_FOUND},
      {"sub", false, ERROR_ACCESS_DENIED},  // a directory is no text file
      {"sub", true, ERROR_ACCESS_DENIED},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.path) + (row.forWriting ? " write" : " read"));
    platform::Handle h = 0;
    int error = row.forWriting ? platform::OpenWrite(row.path, &h)
                               : platform::OpenRead(row.path, &h);
    EXPECT_EQ(row.error, error);
    EXPECT_EQ(platform::kNoHandle, h);
  }
}

// Show that a file another program is writing is not read, and nobody
// writes a file while a run reads it. Reading alongside and renaming the
// open file stay possible; replacing it does not, and a replacement tried
// too early changes nothing.
TEST_F(WinTempDir, SharingWithOtherPrograms) {
  Put("squish.cfg", "cfg");
  HANDLE other = CreateFileA("squish.cfg", GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  platform::Handle h;
  EXPECT_EQ(ERROR_SHARING_VIOLATION, platform::OpenRead("squish.cfg", &h));
  CloseHandle(other);

  ASSERT_EQ(0, platform::OpenRead("squish.cfg", &h));
  other = CreateFileA("squish.cfg", GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, other);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  EXPECT_EQ("cfg", Get("squish.cfg"));

  Put("squish_.cfg.tmp", "new");
  EXPECT_FALSE(textio::ReplaceWithBackup("squish.cfg", "squish_.cfg.tmp",
                                         "squish.cfg.a.bak",
                                         textio::kUnchecked));
  EXPECT_NE(0, textio::ReadAndClearFailure());
  EXPECT_EQ("cfg", Get("squish.cfg"));
  EXPECT_EQ("new", Get("squish_.cfg.tmp"));

  EXPECT_EQ(0, platform::Move("squish.cfg", "squish.old"));
  char buffer[8];
  std::size_t got = 0;
  EXPECT_EQ(0, platform::Read(h, buffer, sizeof buffer, &got));
  EXPECT_EQ("cfg", std::string(buffer, got));  // the open file reads on
  EXPECT_EQ(0, platform::Close(h));
  EXPECT_EQ("cfg", Get("squish.old"));
  // The extra name goes once the last handle is closed.
  EXPECT_FALSE(Has("squish.cfg.a.bak"));
}

// Show that a move and a link never replace an existing file, and that
// Replace is the one call that does.
TEST_F(WinTempDir, OnlyReplaceReplaces) {
  Put("a", "A");
  Put("b", "B");
  EXPECT_EQ(ERROR_ALREADY_EXISTS, platform::Move("a", "b"));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, platform::Move("a", "B"));  // case aside
  EXPECT_EQ(ERROR_ALREADY_EXISTS, platform::Link("a", "b"));
  EXPECT_FALSE(platform::LinksUnsupported(ERROR_ALREADY_EXISTS));
  EXPECT_EQ("A", Get("a"));
  EXPECT_EQ("B", Get("b"));

  EXPECT_EQ(0, platform::Link("a", "c"));
  EXPECT_EQ("A", Get("c"));
  EXPECT_EQ(0, platform::Replace("b", "a"));
  EXPECT_EQ("B", Get("a"));
  EXPECT_EQ("A", Get("c"));  // the second name keeps the old file
  EXPECT_FALSE(Has("b"));

  EXPECT_EQ(0, platform::Move("c", "d"));
  EXPECT_EQ("A", Get("d"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::Move("c", "e"));
  EXPECT_EQ(0, platform::SyncDirectoryOf("d"));
  EXPECT_EQ(0, platform::Delete("d"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::Delete("d"));
}

// Show that the errors of volumes without hard links, and only those,
// send the replacement to its two-move road.
TEST(WinPlatform, LinksUnsupported) {
  struct Row {
    int error;
    bool unsupported;
  };
  const Row kRows[] = {
      {ERROR_INVALID_FUNCTION, true},      // FAT, exFAT
      {ERROR_NOT_SUPPORTED, true},         // network shares
      {ERROR_CALL_NOT_IMPLEMENTED, true},  // no such call at all
      {ERROR_TOO_MANY_LINKS, true},        // the file's names are used up
      {ERROR_ALREADY_EXISTS, false},       // the backup name is taken
      {ERROR_ACCESS_DENIED, false},
      {ERROR_DISK_FULL, false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.error);
    EXPECT_EQ(row.unsupported, platform::LinksUnsupported(row.error));
  }
}

// Show that the replacement keeps the previous file under the backup name
// on the real system, and changes nothing when that name is taken.
TEST_F(WinTempDir, ReplaceWithBackupKeepsThePreviousFile) {
  Put("squish.cfg", "old\r\n");
  Put("squish_.cfg.tmp", "new\r\n");
  EXPECT_TRUE(textio::ReplaceWithBackup("squish.cfg", "squish_.cfg.tmp",
                                        "squish.cfg.a.bak"));
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  EXPECT_EQ("new\r\n", Get("squish.cfg"));
  EXPECT_EQ("old\r\n", Get("squish.cfg.a.bak"));
  EXPECT_FALSE(Has("squish_.cfg.tmp"));

  Put("squish_.cfg.tmp", "newer\r\n");
  EXPECT_FALSE(textio::ReplaceWithBackup("squish.cfg", "squish_.cfg.tmp",
                                         "SQUISH.CFG.A.BAK",
                                         textio::kUnchecked));
  EXPECT_NE(0, textio::ReadAndClearFailure());
  EXPECT_EQ("new\r\n", Get("squish.cfg"));
  EXPECT_EQ("old\r\n", Get("squish.cfg.a.bak"));
  EXPECT_EQ("newer\r\n", Get("squish_.cfg.tmp"));
}

TEST_F(WinTempDir, ExistsSeesFilesAndDirectories) {
  Put("f", "");
  ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
  struct Row {
    const char* path;
    bool exists;
  };
  const Row kRows[] = {
      {"f", true},
      {"F", true},  // the file system ignores letter case
      {"sub", true},
      {"missing", false},
      {"nodir\\missing", false},
      {"", false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(row.exists, platform::Exists(row.path));
  }
}

TEST(WinPlatform, SameNameAsTheFileSystemSeesIt) {
  struct Row {
    const char* a;
    const char* b;
    bool same;
  };
  const Row kRows[] = {
      {"C:\\FIDO\\squish.cfg", "c:\\fido\\SQUISH.CFG", true},  // ASCII case
      {"C:\\FIDO\\squish.cfg", "C:/FIDO/squish.cfg", true},    // both separators
      {"C:\\FIDO\\squish.cfg", "C:\\FIDO\\squish.cf", false},
      {"C:\\FIDO\\squish.cfg", "D:\\FIDO\\squish.cfg", false},
      {"\xC4.cfg", "\xE4.cfg", false},  // only ASCII letters fold
      {"", "", true},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.a) + " | " + row.b);
    EXPECT_EQ(row.same, platform::SameName(row.a, row.b));
    EXPECT_EQ(row.same, platform::SameName(row.b, row.a));
  }
}

// Show that an error's text fits inside the one line of the error exit.
TEST(WinPlatform, ErrorTextIsOneLine) {
  const int kErrors[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
                        ERROR_DISK_FULL, ERROR_SHARING_VIOLATION,
                        0x7FFF0000};  // no message for this one
  for (int error : kErrors) {
    SCOPED_TRACE(error);
    std::string text = platform::ErrorText(error);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(std::string::npos, text.find_first_of("\r\n"));
    EXPECT_NE(' ', text.back());
  }
}

TEST(WinPlatform, ExecutablePathIsTheFullPath) {
  std::string path = platform::ExecutablePath();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(":\\", path.substr(1, 2));
  const std::string name = "platform_win32_test.exe";
  ASSERT_GE(path.size(), name.size());
  EXPECT_EQ(name, path.substr(path.size() - name.size()));
}

TEST(WinPlatform, RandomDrawsStayBelowTheBound) {
  bool seen[36] = {};
  for (int i = 0; i < 3000; ++i) {
    std::uint32_t v = 99;
    ASSERT_EQ(0, platform::RandomBelow(36, &v));
    ASSERT_LT(v, 36u);
    seen[v] = true;
  }
  for (bool s : seen) EXPECT_TRUE(s);
  std::uint32_t v = 99;
  ASSERT_EQ(0, platform::RandomBelow(1, &v));
  EXPECT_EQ(0u, v);
}

}  // namespace
