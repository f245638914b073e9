// The area line rewrite.
#include "blurbo/area_line.h"

#include <algorithm>

#include "blurbo/description_list.h"
#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/sys_utils.h"

namespace blurbo {
namespace {

constexpr std::size_t kNone = std::string::npos;
constexpr std::size_t kTagLimit = 255;
// The "-d" option goes in front of the first option after the tag; the
// search for it starts at the line's eleventh character, past the keyword.
constexpr std::size_t kOptionSearchStart = 10;

enum class Style {
  kDollarN,  // Squish's own -$n"..."
  kDashD,    // fidoconfig's -d "...", on lines with -a or -b
};

bool IsAreaLine(const std::string& line) {
  if (line.size() < 8 || sys_utils::UpperCase(line.substr(0, 8)) != "ECHOAREA")
    return false;
  // fidoconfig's defaults for the echo areas that follow, not an area: a
  // description there would become every area's default.
  return sys_utils::UpperCase(line_path::FirstWord(line)) != "ECHOAREADEFAULTS";
}

std::size_t WordEnd(const std::string& line, std::size_t from) {
  while (from < line.size() && !sys_utils::IsBlank(line[from])) ++from;
  return from;
}

// Takes the old option that starts at `p` out of the line, value included;
// the blanks on either side of it stay.
void RemoveOption(std::string& line, std::size_t p, Style style) {
  if (p + 3 < line.size() && line[p + 3] == '"') {
    std::size_t close = line.find('"', p + 4);
    // Without a closing quote only the option and its opening quote go:
    // the old text stays rather than the rest of the line going with it.
    line.erase(p, close == kNone ? 4 : close - p + 1);
    return;
  }
  if (style == Style::kDollarN) {
    line.erase(p, WordEnd(line, p) - p);
    return;
  }
  // An unquoted -d value is the one word after "-d ", which would be left
  // behind as a stray word; a next word that is an option is no value.
  std::size_t value = p + 3;
  if (value < line.size() && line[value] != '-') {
    line.erase(p, WordEnd(line, value) - p);
    return;
  }
  line.erase(p, 2);
}

// The first "-$" that begins a word: a "-$" inside a path is no flag.
std::size_t FindSquishFlag(const std::string& line) {
  for (std::size_t q = line.find("-$"); q != kNone; q = line.find("-$", q + 1))
    if (q == 0 || sys_utils::IsBlank(line[q - 1])) return q;
  return kNone;
}

// Where a new -$n option goes: after the blank that ends the first "-$"
// word, so that a flag such as -$m100 stays whole. A line without "-$" is a
// *.MSG area, which -$n would turn into a Squish one: it gets no option,
// unless one was just taken out, and then the new one takes its place.
std::size_t DollarNPlace(const std::string& line, std::size_t removedAt) {
  std::size_t q = FindSquishFlag(line);
  if (q == kNone) return removedAt;
  return std::min(WordEnd(line, q) + 1, line.size());
}

// Where a new -d option goes: in front of the line's first option. A line
// with no option there keeps its words and gets the option at the end,
// which fidoconfig reads the same, or where an old one was taken out.
std::size_t DashDPlace(const std::string& line, std::size_t removedAt) {
  for (std::size_t i = kOptionSearchStart; i + 1 < line.size(); ++i)
    if (sys_utils::IsBlank(line[i]) && line[i + 1] == '-') return i + 1;
  return removedAt != kNone ? removedAt : line.size();
}

std::string AreaTag(const std::string& line) {
  std::size_t keyword = line_path::FirstWord(line).size();
  if (keyword >= line.size()) return {};
  return line_path::FirstWord(line.substr(keyword, kTagLimit));
}

}  // namespace

AreaLine RewriteAreaLine(const std::string& line, bool replace,
                         bool tagAsDescription) {
  AreaLine out{false, {}, line};
  if (!IsAreaLine(line)) return out;
  out.isArea = true;
  out.tag = AreaTag(line);

  const std::string upper = sys_utils::UpperCase(line);
  const Style style =
      upper.find("-A ") != kNone || upper.find("-B ") != kNone
          ? Style::kDashD
          : Style::kDollarN;
  const std::size_t old = upper.find(style == Style::kDashD ? "-D " : "-$N");
  std::string description = FindDescription(out.tag);
  if (old != kNone && (description.empty() || !replace)) return out;
  // The tag stands in only where the line has no description at all.
  if (description.empty()) {
    if (!tagAsDescription || out.tag.empty()) return out;
    description = out.tag;
  }

  std::string text = line;
  if (old != kNone) RemoveOption(text, old, style);
  const std::size_t at = style == Style::kDashD ? DashDPlace(text, old)
                                                : DollarNPlace(text, old);
  if (at == kNone) return out;
  const std::string option = style == Style::kDashD
                                 ? " -d \"" + description + "\" "
                                 : " -$n\"" + description + "\" ";
  out.line = text.substr(0, at) + option + text.substr(at);
  return out;
}

}  // namespace blurbo
