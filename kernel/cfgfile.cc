// The keyword file reader.
#include "cfgfile.h"

#include "sys_utils.h"
#include "textio.h"

namespace cfgfile {
namespace {

constexpr std::size_t kKeywordBufferSize = 4096;
constexpr std::size_t kMaxValue = 255;
const std::string kStaleTemporary = "!_config_$_tmporary.tmp";

textio::TextFile keywordFile(kKeywordBufferSize);  // the open keyword file
bool isOpen = false;                               // a keyword file is open

int DigitValue(char c, int base) {
  int value = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : 99;
  return value < base ? value : -1;
}

// Reads digits[from..] as one number of the base; false when there are no
// digits, a stray character, or more than `maxSignificant` digits after the
// leading zeros, or when the value passes `limit`.
bool ParseDigits(const std::string& text, std::size_t from, int base,
                 std::size_t maxSignificant, std::uint64_t limit,
                 std::uint64_t* value) {
  if (from >= text.size()) return false;
  std::uint64_t result = 0;
  std::size_t significant = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    int digit = DigitValue(text[i], base);
    if (digit < 0) return false;
    if (result != 0 || digit != 0) ++significant;
    if (significant > maxSignificant) return false;
    result = result * static_cast<std::uint64_t>(base) +
             static_cast<std::uint64_t>(digit);
    if (result > limit) return false;
  }
  *value = result;
  return true;
}

}  // namespace

bool OpenKeywordFile(const std::string& path) {
  CloseKeywordFile();
  isOpen = false;
  textio::OpenForReading(keywordFile, path, textio::kUnchecked);
  bool opened = textio::ReadAndClearFailure() == 0;
  isOpen = opened;
  textio::DeleteFile(kStaleTemporary, textio::kUnchecked);
  textio::ClearFailure();
  return opened;
}

void CloseKeywordFile() {
  if (!isOpen) return;
  isOpen = false;
  textio::Close(keywordFile);
}

std::string ReadKeyString(const std::string& key) {
  if (!isOpen) return {};
  const std::string upperKey = sys_utils::UpperCase(key);
  textio::ReopenAtStart(keywordFile);
  while (!textio::AtEof(keywordFile)) {
    std::string line = sys_utils::Trim(textio::ReadLine(keywordFile));
    if (line.size() <= key.size()) continue;
    if (sys_utils::UpperCase(line.substr(0, key.size())) != upperKey) continue;
    // The one character after the key is the separator, whatever it is.
    return sys_utils::Trim(line.substr(key.size() + 1, kMaxValue));
  }
  return {};
}

std::int32_t ReadKeyInteger(const std::string& key) {
  std::int32_t value = 0;
  return ParseInteger(ReadKeyString(key), &value) ? value : 0;
}

bool ParseInteger(const std::string& text, std::int32_t* value) {
  constexpr std::uint64_t kMaxPositive = 2147483647u;
  std::uint64_t magnitude = 0;
  if (text.empty()) return false;
  if (text[0] == '-' || text[0] == '+') {
    bool negative = text[0] == '-';
    if (!ParseDigits(text, 1, 10, SIZE_MAX,
                     negative ? kMaxPositive + 1 : kMaxPositive, &magnitude))
      return false;
    *value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                      : static_cast<std::int32_t>(magnitude);
    return true;
  }
  std::size_t hexStart = 0;
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X')
    hexStart = 1;
  else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    hexStart = 2;
  if (hexStart != 0) {
    if (!ParseDigits(text, hexStart, 16, 8, UINT32_MAX, &magnitude)) return false;
    *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    return true;
  }
  if (!ParseDigits(text, 0, 10, SIZE_MAX, kMaxPositive, &magnitude)) return false;
  *value = static_cast<std::int32_t>(magnitude);
  return true;
}

void ResetKeywordFile() {
  if (keywordFile.handle != platform::kNoHandle)
    platform::Close(keywordFile.handle);
  isOpen = false;
  keywordFile = textio::TextFile(kKeywordBufferSize);
}

}  // namespace cfgfile
