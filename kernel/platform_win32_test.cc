// The Windows platform layer on its own system (Wine in CI), in a scratch
// directory under the user's temporary folder.
#include "kernel/platform.h"

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <thread>

namespace {

// True when a file or directory stands under the name.
bool Stands(const std::string& path) {
  platform::FileInfo info;
  return platform::InspectPath(path, &info) == 0;
}

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
  static std::set<std::string> Names() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("."))
      names.insert(entry.path().filename().string());
    return names;
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
  EXPECT_TRUE(Stands(name));
  EXPECT_EQ("", ReadWhole(name));
  EXPECT_EQ(0, platform::Move(name, "\xE9.cfg"));
  EXPECT_TRUE(Stands("\xE9.cfg"));
  EXPECT_FALSE(Stands(name));
}

// Show that what cannot be opened fails with the system's number and
// leaves no handle behind; reading takes only regular files, and refuses a
// device or a pipe at once instead of waiting on its first read.
TEST_F(WinTempDir, OpenFailures) {
  ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
  const std::string pipe = "\\\\.\\pipe\\orvane-unit-" +
                           std::to_string(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND,
                                   PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, server);
  struct Row {
    std::string path;
    bool forWriting;
    int error;
  };
  const Row kRows[] = {
      {"missing.cfg", false, ERROR_FILE_NOT_FOUND},
      {"nodir\\missing.cfg", false, ERROR_PATH_NOT_FOUND},
      {"nodir\\new.cfg", true, ERROR_PATH_NOT_FOUND},
      {"sub", false, ERROR_ACCESS_DENIED},  // a directory is no text file
      {"sub", true, ERROR_ACCESS_DENIED},
      {"NUL", false, ERROR_ACCESS_DENIED},  // a device, in every directory
      {pipe, false, ERROR_ACCESS_DENIED},   // its reader would wait
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path + (row.forWriting ? " write" : " read"));
    platform::Handle h = 0;
    int error = row.forWriting ? platform::OpenWrite(row.path, &h)
                               : platform::OpenRead(row.path, &h);
    EXPECT_EQ(row.error, error);
    EXPECT_EQ(platform::kNoHandle, h);
  }
  CloseHandle(server);
}

// Show that a name holding a NUL reaches no file: the system would read it
// only up to the NUL, as the file "a" that stands beside.
TEST_F(WinTempDir, NamesWithNulAreRefused) {
  Put("a", "A");
  const std::string cut("a\0x", 3);
  const std::string newCut("b\0x", 3);
  platform::Handle h = platform::kNoHandle;
  platform::FileInfo info;
  std::string target;
  struct Row {
    const char* call;
    std::function<int()> run;
  };
  const Row kRows[] = {
      {"OpenRead", [&] { return platform::OpenRead(cut, &h); }},
      {"OpenWrite", [&] { return platform::OpenWrite(cut, &h); }},
      {"CreateExclusive",
       [&] { return platform::CreateExclusive(newCut, &h); }},
      {"InspectPath", [&] { return platform::InspectPath(cut, &info); }},
      {"ResolveLinks", [&] { return platform::ResolveLinks(cut, &target); }},
      {"CheckWritable", [&] { return platform::CheckWritable(cut); }},
      {"LockDirectoryOf",
       [&] { return platform::LockDirectoryOf(cut, 0, &h); }},
      {"Delete", [&] { return platform::Delete(cut); }},
      {"Move from", [&] { return platform::Move(cut, "c"); }},
      {"Move to", [&] { return platform::Move("a", newCut); }},
      {"Link from", [&] { return platform::Link(cut, "c"); }},
      {"Link to", [&] { return platform::Link("a", newCut); }},
      {"Replace from", [&] { return platform::Replace(cut, "c"); }},
      {"Replace to", [&] { return platform::Replace("a", newCut); }},
      {"SyncDirectoryOf", [&] { return platform::SyncDirectoryOf(cut); }},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.call);
    EXPECT_EQ(ERROR_INVALID_NAME, row.run());
    EXPECT_EQ(platform::kNoHandle, h);
    EXPECT_EQ(std::set<std::string>{"a"}, Names());
    EXPECT_EQ("A", Get("a"));
  }
  EXPECT_FALSE(Stands(cut));
  std::vector<std::string> names;
  EXPECT_EQ(ERROR_INVALID_NAME, platform::ListDirectory(cut, &names));
}

// Show that an exclusive creation never touches a file, a directory or any
// name of another letter case that stands, and makes a new file otherwise.
TEST_F(WinTempDir, CreateExclusiveMakesOnlyNewFiles) {
  Put("taken", "old");
  ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
  struct Row {
    const char* path;
    int error;
  };
  const Row kRows[] = {
      {"taken", ERROR_FILE_EXISTS},
      {"TAKEN", ERROR_FILE_EXISTS},  // the file system ignores letter case
      {"sub", ERROR_FILE_EXISTS},
      {"nodir\\new", ERROR_PATH_NOT_FOUND},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    platform::Handle h = 0;
    EXPECT_EQ(row.error, platform::CreateExclusive(row.path, &h));
    EXPECT_EQ(platform::kNoHandle, h);
  }
  EXPECT_EQ("old", Get("taken"));

  platform::Handle h;
  ASSERT_EQ(0, platform::CreateExclusive("new", &h));
  EXPECT_EQ(0, platform::Write(h, "new\r\n", 5));
  EXPECT_EQ(0, platform::Close(h));
  EXPECT_EQ("new\r\n", Get("new"));
}

// Show that a file's identity is the same by handle and by any of its
// names, differs between files, and counts the names a hard link adds;
// a name is described while the file is open, under any sharing.
TEST_F(WinTempDir, InspectTellsFilesApart) {
  Put("a", "A");
  Put("b", "B");
  ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
  ASSERT_TRUE(CreateHardLinkA("a.bak", "a", nullptr));
  platform::Handle h;
  ASSERT_EQ(0, platform::OpenRead("a", &h));
  HANDLE other = CreateFileA("b", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);

  platform::FileInfo opened;
  platform::FileInfo named;
  platform::FileInfo link;
  platform::FileInfo another;
  platform::FileInfo directory;
  ASSERT_EQ(0, platform::Inspect(h, &opened));
  ASSERT_EQ(0, platform::InspectPath("a", &named));
  ASSERT_EQ(0, platform::InspectPath("a.bak", &link));
  ASSERT_EQ(0, platform::InspectPath("b", &another));
  EXPECT_EQ(0, platform::InspectPath("sub", &directory));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::InspectPath("missing", &named));
  CloseHandle(other);
  EXPECT_EQ(0, platform::Close(h));

  EXPECT_TRUE(platform::SameFile(opened, named));
  EXPECT_TRUE(platform::SameFile(opened, link));
  EXPECT_FALSE(platform::SameFile(opened, another));
  EXPECT_FALSE(platform::SameFile(opened, directory));
  EXPECT_EQ(2u, opened.links);
  EXPECT_EQ(2u, link.links);
  EXPECT_EQ(1u, another.links);
}

// Show that a name that is no link resolves to itself, as written.
TEST_F(WinTempDir, ResolveLinksKeepsPlainNames) {
  Put("squish.cfg", "");
  ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
  struct Row {
    std::string path;
    int error;
  };
  const Row kRows[] = {
      {"squish.cfg", 0},
      {"SQUISH.CFG", 0},  // not put into the file system's letter case
      {dir_ + "/squish.cfg", 0},
      {"sub", 0},
      {"missing.cfg", ERROR_FILE_NOT_FOUND},
      {"nodir\\squish.cfg", ERROR_PATH_NOT_FOUND},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    std::string target = "unchanged";
    EXPECT_EQ(row.error, platform::ResolveLinks(row.path, &target));
    EXPECT_EQ(row.error == 0 ? row.path : "unchanged", target);
  }
}

// Show that a file may be written unless it carries the read-only
// attribute, even while the run itself holds it open for reading.
TEST_F(WinTempDir, CheckWritable) {
  Put("plain", "");
  Put("open", "");
  Put("readonly", "");
  ASSERT_TRUE(SetFileAttributesA("readonly", FILE_ATTRIBUTE_READONLY));
  platform::Handle h;
  ASSERT_EQ(0, platform::OpenRead("open", &h));
  struct Row {
    const char* path;
    int error;
  };
  const Row kRows[] = {
      {"plain", 0},
      {"open", 0},  // the run's own handle lets nobody else write
      {"readonly", ERROR_ACCESS_DENIED},
      {"missing", ERROR_FILE_NOT_FOUND},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(row.error, platform::CheckWritable(row.path));
  }
  EXPECT_EQ(0, platform::Close(h));
  SetFileAttributesA("readonly", FILE_ATTRIBUTE_NORMAL);
}

// Show that a second run in the same directory waits for the lock up to
// its limit, however it names the directory, while other directories stay
// free; and that it gets the lock once the first lets go of it.
TEST_F(WinTempDir, LockDirectoryOfSerializesRunsInOneDirectory) {
  ASSERT_TRUE(CreateDirectoryA("one", nullptr));
  ASSERT_TRUE(CreateDirectoryA("two", nullptr));
  platform::Handle first;
  ASSERT_EQ(0, platform::LockDirectoryOf("one\\squish.cfg", 1, &first));
  EXPECT_TRUE(Has("one\\orvane.lck"));
  struct Row {
    std::string path;
    int seconds;
  };
  const Row kRows[] = {
      {"one\\squish.cfg", 0},
      {"one/areas.bbs", 1},  // another file, the other separator
      {dir_ + "\\ONE\\squish.cfg", 0},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.path);
    platform::Handle h = 0;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(platform::LockBusyError(),
              platform::LockDirectoryOf(row.path, row.seconds, &h));
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 1000u * row.seconds);
    EXPECT_LT(waited, 1000u * row.seconds + 1000);
    EXPECT_EQ(platform::kNoHandle, h);
  }

  platform::Handle second;
  EXPECT_EQ(0, platform::LockDirectoryOf("two\\squish.cfg", 0, &second));
  platform::Handle here;
  EXPECT_EQ(0, platform::LockDirectoryOf("squish.cfg", 0, &here));
  EXPECT_TRUE(Has("orvane.lck"));  // no directory part: the current one
  EXPECT_EQ(0, platform::Unlock(second));
  EXPECT_EQ(0, platform::Unlock(here));

  // A run that is still waiting takes the lock as soon as it is free.
  std::thread release([first] {
    Sleep(300);
    platform::Unlock(first);
  });
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(0, platform::LockDirectoryOf("one\\squish.cfg", 10, &first));
  EXPECT_LT(GetTickCount64() - start, 2000u);
  release.join();
  // Closing the handle lets go of the lock as well.
  EXPECT_EQ(0, platform::Close(first));
  EXPECT_EQ(0, platform::LockDirectoryOf("one\\squish.cfg", 0, &first));
  EXPECT_EQ(0, platform::Unlock(first));

  platform::Handle none = 0;
  EXPECT_EQ(ERROR_PATH_NOT_FOUND,
            platform::LockDirectoryOf("nodir\\squish.cfg", 0, &none));
  EXPECT_EQ(platform::kNoHandle, none);
}

// Show that a run left waiting for the lock ends with a number that the
// host does not read as one of its own codes.
TEST(WinPlatform, LockBusyErrorIsNoHostCode) {
  const int low = platform::LockBusyError() & 0xFF;
  EXPECT_NE(0, low);
  EXPECT_NE(100, low);
  EXPECT_NE(101, low);
}

// Show that the C runtime's standard streams carry their bytes unchanged
// once the process is prepared.
TEST(WinPlatform, PrepareProcessSetsBinaryStreams) {
  platform::PrepareProcess();
  EXPECT_EQ(_O_BINARY, _setmode(0, _O_BINARY));
  EXPECT_EQ(_O_BINARY, _setmode(1, _O_BINARY));
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
  EXPECT_EQ(0, platform::Link("squish.cfg", "squish.cfg.a.bak"));
  EXPECT_NE(0, platform::Replace("squish_.cfg.tmp", "squish.cfg"));
  EXPECT_EQ(0, platform::Delete("squish.cfg.a.bak"));
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
  EXPECT_EQ(ERROR_ALREADY_EXISTS, platform::Link("a", "B"));
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

// Show that a name is looked at in any letter case, that only a name
// that is not there counts as missing, and that a directory is listed by
// its directory part with every name in its own case.
TEST_F(WinTempDir, NamesLookedAtAndListed) {
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
    platform::FileInfo info;
    const int error = platform::InspectPath(row.path, &info);
    EXPECT_EQ(row.exists, error == 0);
    EXPECT_EQ(!row.exists, platform::IsMissing(error));
  }
  Put("sub\\AUTO0001.SQD", "");
  std::vector<std::string> names;
  ASSERT_EQ(0, platform::ListDirectory("", &names));
  EXPECT_EQ((std::set<std::string>{"f", "sub"}),
            std::set<std::string>(names.begin(), names.end()));
  ASSERT_EQ(0, platform::ListDirectory("sub\\", &names));
  EXPECT_EQ(std::vector<std::string>{"AUTO0001.SQD"}, names);
  EXPECT_TRUE(platform::IsMissing(platform::ListDirectory("none\\", &names)));
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
