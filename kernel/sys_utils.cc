// Text helpers and the file move.
#include "sys_utils.h"

#include "platform.h"

namespace sys_utils {

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

std::string Trim(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  if (first == text.size()) return {};
  std::size_t last = text.size();
  while (IsBlank(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

std::string TrimLeft(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  return std::string(text.substr(first));
}

bool MoveFileTo(const std::string& existing, const std::string& target) {
  return platform::Move(existing, target) == 0;
}

}  // namespace sys_utils
