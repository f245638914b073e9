// The description list.
#include "blurbo/description_list.h"

#include <unordered_map>

#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/sys_utils.h"
#include "kernel/textio.h"

namespace blurbo {
namespace {

std::vector<std::string> entries;                      // the list, in file order
std::unordered_map<std::string, std::size_t> byTag;    // upper-cased tag -> first entry

const char kListName[] = "blurbor.dsc";
constexpr std::size_t kDescriptionLimit = 255;

std::size_t LeadingBlanks(const std::string& entry) {
  std::size_t first = 0;
  while (first < entry.size() && sys_utils::IsBlank(entry[first])) ++first;
  return first;
}

// Lists carry thousands of entries and a node thousands of areas, so each
// tag's first entry is found once here instead of by a scan per area.
void BuildIndex() {
  byTag.clear();
  byTag.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i)
    byTag.emplace(sys_utils::UpperCase(line_path::FirstWord(entries[i])), i);
}

}  // namespace

const std::vector<std::string>& DescriptionList() { return entries; }

void ReadDescriptionList() {
  textio::TextFile file;
  textio::OpenForReading(file, kListName, textio::kUnchecked);
  if (textio::ReadAndClearFailure() != 0) orvKernel::FinishPlugin(orvKernel::kListNotOpened);
  textio::ConsoleLine("reading descriptions...");

  // Counted first, so the list is sized once to its final length.
  std::size_t count = 0;
  while (!textio::AtEof(file, textio::kUnchecked)) {
    textio::ReadLine(file, textio::kUnchecked);
    ++count;
  }
  std::vector<std::string> read(count);
  textio::ReopenAtStart(file, textio::kUnchecked);
  for (std::string& entry : read) {
    if (textio::AtEof(file, textio::kUnchecked)) break;
    entry = textio::ReadLine(file, textio::kUnchecked);
  }
  textio::Close(file, textio::kUnchecked);
  ResetDescriptionList(std::move(read));
}

void ResetDescriptionList(std::vector<std::string> values) {
  entries = std::move(values);
  BuildIndex();
}

std::string FindDescription(const std::string& tag) {
  auto it = byTag.find(sys_utils::UpperCase(tag));
  if (it == byTag.end()) return {};
  const std::string& entry = entries[it->second];
  // An indented entry has its description after the tag where the tag
  // stands, not a tag's length from the line's first column.
  std::size_t start = LeadingBlanks(entry) + it->first.size();
  if (start >= entry.size()) return {};
  return sys_utils::Trim(
      std::string_view(entry).substr(start, kDescriptionLimit));
}

}  // namespace blurbo
