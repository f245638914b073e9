// The real platform layer, in a scratch directory.
#include "kernel/platform.h"

#include <gtest/gtest.h>

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
  EXPECT_TRUE(platform::Exists("c:cfg"));  // drive-relative: the working directory
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
