// The real platform layer, in a scratch directory.
#include "kernel/platform.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "tests/temp_dir.h"

namespace {

std::string WinForm(const std::string& posix, bool withDrive) {
  std::string path = posix;
  for (char& c : path)
    if (c == '/') c = '\\';
  return withDrive ? "C:" + path : path;
}

TEST(Platform, WindowsPathsNameTheSameFiles) {
  ScopedTempDir dir;
  ScopedTempDir::Write("cfg", "bytes");
  for (bool withDrive : {false, true}) {
    SCOPED_TRACE(withDrive);
    platform::Handle h;
    ASSERT_EQ(0, platform::OpenRead(WinForm(dir.Dir() + "/cfg", withDrive), &h));
    char buffer[16];
    std::size_t got = 0;
    EXPECT_EQ(0, platform::Read(h, buffer, sizeof buffer, &got));
    EXPECT_EQ("bytes", std::string(buffer, got));
    EXPECT_EQ(0, platform::Read(h, buffer, sizeof buffer, &got));
    EXPECT_EQ(0u, got);
    EXPECT_EQ(0, platform::Close(h));
  }
  platform::FileInfo info;
  EXPECT_EQ(0, platform::InspectPath("c:cfg", &info));  // drive-relative: here
  platform::Handle h;
  EXPECT_NE(0, platform::OpenRead("C:\\no\\such\\file", &h));
  EXPECT_EQ(platform::kNoHandle, h);
}

TEST(Platform, OpenReadRefusesADirectory) {
  ScopedTempDir dir;
  platform::Handle h;
  EXPECT_NE(0, platform::OpenRead(dir.Dir(), &h));
  EXPECT_EQ(platform::kNoHandle, h);
}

TEST(Platform, MoveAndLinkNeverReplace) {
  ScopedTempDir dir;
  ScopedTempDir::Write("a", "A");
  ScopedTempDir::Write("b", "B");
  EXPECT_NE(0, platform::Move("a", "b"));
  EXPECT_NE(0, platform::Link("a", "b"));
  EXPECT_EQ("A", ScopedTempDir::Read("a"));
  EXPECT_EQ("B", ScopedTempDir::Read("b"));
  EXPECT_EQ(0, platform::Link("a", "c"));
  EXPECT_EQ("A", ScopedTempDir::Read("c"));
  EXPECT_EQ(0, platform::Replace("b", "a"));  // the one call that replaces
  EXPECT_EQ("B", ScopedTempDir::Read("a"));
  EXPECT_FALSE(ScopedTempDir::Has("b"));
  EXPECT_EQ(0, platform::Move("c", "d"));
  EXPECT_EQ("A", ScopedTempDir::Read("d"));
  EXPECT_NE(0, platform::Move("c", "e"));  // the source is gone
  EXPECT_EQ(0, platform::SyncDirectoryOf("d"));
  EXPECT_EQ(0, platform::Delete("d"));
  EXPECT_NE(0, platform::Delete("d"));
}

// Show that a directory is listed by its directory part as a base path
// writes it, names in their own letter case, and that a missing name is
// told from one that cannot be looked at.
TEST(Platform, ListDirectoryAndMissingNames) {
  ScopedTempDir dir;
  ScopedTempDir::Write("AUTO0001.SQD", "");
  ScopedTempDir::Write("auto0001.sqi", "");
  ASSERT_EQ(0, ::mkdir("Mail", 0700));
  ScopedTempDir::Write("Mail/x", "");
  struct Row {
    std::string dir;
    std::set<std::string> names;
  };
  const Row kRows[] = {
      {"", {"AUTO0001.SQD", "auto0001.sqi", "Mail"}},  // the current directory
      {"C:", {"AUTO0001.SQD", "auto0001.sqi", "Mail"}},
      {"Mail\\", {"x"}},
      {WinForm(dir.Dir() + "/Mail/", true), {"x"}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.dir);
    std::vector<std::string> names;
    ASSERT_EQ(0, platform::ListDirectory(row.dir, &names));
    EXPECT_EQ(row.names, std::set<std::string>(names.begin(), names.end()));
  }
  std::vector<std::string> names;
  EXPECT_TRUE(platform::IsMissing(platform::ListDirectory("none\\", &names)));
  platform::FileInfo info;
  EXPECT_TRUE(platform::IsMissing(platform::InspectPath("none\\x", &info)));
  EXPECT_TRUE(platform::IsMissing(platform::InspectPath("Mail\\x\\y", &info)));
  if (::geteuid() == 0) return;  // root searches any directory
  ASSERT_EQ(0, ::chmod("Mail", 0));
  const int listed = platform::ListDirectory("Mail\\", &names);
  const int looked = platform::InspectPath("Mail\\x", &info);
  ::chmod("Mail", 0700);
  EXPECT_EQ(EACCES, listed);
  EXPECT_EQ(EACCES, looked);
  EXPECT_FALSE(platform::IsMissing(looked));
}

TEST(Platform, OpenWriteCreatesOrEmpties) {
  ScopedTempDir dir;
  ScopedTempDir::Write("f", "old");
  platform::Handle h;
  ASSERT_EQ(0, platform::OpenWrite("f", &h));
  EXPECT_EQ(0, platform::Write(h, "n", 1));
  EXPECT_EQ(0, platform::Sync(h));
  EXPECT_EQ(0, platform::Close(h));
  EXPECT_EQ("n", ScopedTempDir::Read("f"));
}

TEST(Platform, RandomDrawsStayBelowTheBound) {
  bool seen[36] = {};
  for (int i = 0; i < 3000; ++i) {
    std::uint32_t v = 99;
    ASSERT_EQ(0, platform::RandomBelow(36, &v));
    ASSERT_LT(v, 36u);
    seen[v] = true;
  }
  for (bool s : seen) EXPECT_TRUE(s);
}

TEST(Platform, ExecutablePathIsAbsolute) {
  std::string path = platform::ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ('/', path[0]);
}

}  // namespace
