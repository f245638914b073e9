#include "kernel/textio.h"

#include <gtest/gtest.h>

#include <vector>

#include "kernel/sys_utils.h"
#include "tests/temp_dir.h"

namespace {

std::vector<std::string> ReadAllLines(const std::string& bytes,
                                      std::size_t bufferSize) {
  ScopedTempDir::Write("in.txt", bytes);
  textio::TextFile file(bufferSize);
  textio::OpenForReading(file, "in.txt");
  std::vector<std::string> lines;
  while (!textio::AtEof(file)) lines.emplace_back(textio::ReadLine(file));
  textio::Close(file);
  return lines;
}

TEST(ReadLine, TextRulesOfLineEnds) {
  ScopedTempDir dir;
  using Lines = std::vector<std::string>;
  struct Row { const char* what; std::string bytes; Lines lines; };
  const Row kRows[] = {
      {"LF", "a\nb\n", {"a", "b"}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"no final line end", "a\nb", {"a", "b"}},
      {"empty file", "", {}},
      {"empty lines", "\n\r\n\n", {"", "", ""}},
      {"lone CR dropped", "a\rb\nc\r", {"ab", "c"}},
      {"CR CR LF", "a\r\r\nb", {"a", "b"}},
      {"lone CR in a CR LF line", "a\rb\r\n\rc\r\n", {"ab", "c"}},
      {"Ctrl-Z at a line start ends the file", "a\n\x1a" "b\nc\n", {"a"}},
      {"Ctrl-Z as the first byte", "\x1a" "a\n", {}},
      {"Ctrl-Z inside a line is a byte", "a\x1a\nb\n", {"a\x1a", "b"}},
      {"NUL and high bytes", std::string("\0\xff\n", 3), {std::string("\0\xff", 2)}},
  };
  for (std::size_t bufferSize : {1u, 2u, 3u, 4096u}) {
    for (const Row& row : kRows) {
      SCOPED_TRACE(std::string(row.what) + " / buffer " + std::to_string(bufferSize));
      EXPECT_EQ(row.lines, ReadAllLines(row.bytes, bufferSize));
    }
  }
  EXPECT_EQ(0, textio::ReadAndClearFailure());
}

TEST(ReadLine, NoLimitOnLineLength) {
  ScopedTempDir dir;
  std::string longLine(200000, 'x');
  longLine[123456] = '\r';  // a lone CR far inside
  std::vector<std::string> lines = ReadAllLines(longLine + "\r\nend", 4096);
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(199999u, lines[0].size());
  EXPECT_EQ("end", lines[1]);
}

TEST(WriteLine, EveryLineEndsWithCrLf) {
  ScopedTempDir dir;
  textio::TextFile out(8);  // smaller than the text: writes pass the buffer
  textio::CreateForWriting(out, "out.txt");
  textio::WriteLine(out, "first line");
  textio::Write(out, "no end");
  textio::WriteLine(out, "");
  textio::Write(out, std::string_view());  // no bytes, and no address either
  textio::Sync(out);
  textio::Close(out);
  EXPECT_EQ("first line\r\nno end\r\n", ScopedTempDir::Read("out.txt"));

  ScopedTempDir::Write("old.txt", "old contents");
  textio::CreateForWriting(out, "old.txt");  // an existing file is emptied
  textio::Close(out);
  EXPECT_EQ("", ScopedTempDir::Read("old.txt"));
}

TEST(FailureSlot, StoresTheLatestFailureUntilTested) {
  ScopedTempDir dir;
  textio::ClearFailure();
  textio::TextFile file;
  textio::OpenForReading(file, "missing-1", textio::kUnchecked);
  textio::OpenForReading(file, "missing-2", textio::kUnchecked);
  EXPECT_TRUE(textio::FailurePending());
  ScopedTempDir::Write("present", "x");
  textio::OpenForReading(file, "present", textio::kUnchecked);  // success leaves the slot
  EXPECT_TRUE(textio::FailurePending());
  EXPECT_NE(0, textio::ReadAndClearFailure());  // the test reads and clears
  EXPECT_EQ(0, textio::ReadAndClearFailure());
  textio::Close(file);
  // The file move reports only through its result.
  EXPECT_FALSE(sys_utils::MoveFileTo("missing", "elsewhere"));
  EXPECT_FALSE(textio::FailurePending());
}

TEST(FailureSlot, CheckedOperationEndsWithTheErrorExit) {
  ScopedTempDir dir;
  textio::ClearFailure();
  textio::TextFile file;
  EXPECT_EXIT(textio::OpenForReading(file, "missing"), ::testing::ExitedWithCode(2), "");
  // A failure left pending by an unchecked operation meets the next check.
  EXPECT_EXIT(
      {
        textio::DeleteFile("missing", textio::kUnchecked);
        textio::ConsoleWrite("");
      },
      ::testing::ExitedWithCode(2), "");
}

TEST(ErrorExitCode, LowEightBitsButNeverTheHostsCodes) {
  struct Row { int error, code; };
  const Row kRows[] = {
      {2, 2}, {28, 28}, {255, 255}, {300, 44},
      {0, textio::kErrorExitFallback},
      {100, textio::kErrorExitFallback},
      {101, textio::kErrorExitFallback},
      {256, textio::kErrorExitFallback},   // low eight bits are 0
      {356, textio::kErrorExitFallback},   // low eight bits are 100
      {1, 1},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.error);
    EXPECT_EQ(row.code, textio::ErrorExitCode(row.error));
  }
}

}  // namespace
