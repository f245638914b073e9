// The description list: the echo-area descriptions of "blurbor.dsc", one
// entry per line, tag first, held in memory for the length of a run.
#ifndef ORVANE_BLURBO_DESCRIPTION_LIST_H
#define ORVANE_BLURBO_DESCRIPTION_LIST_H

#include <string>
#include <vector>

namespace blurbo {

// The entries of the loaded list, one per line of the file, in file order,
// exactly as read.
const std::vector<std::string>& DescriptionList();

// Loads "blurbor.dsc" from the working directory and prints "reading
// descriptions..."; does not return but through FinishPlugin("05") when the
// file cannot be opened. A failed read leaves its failure pending.
void ReadDescriptionList();

// Replaces the list by these entries (none by default): releases the list
// at the end of a pass, and sets one up for tests.
void ResetDescriptionList(std::vector<std::string> entries = {});

// The description the list gives the tag: the rest of the first entry whose
// first word equals the tag, a-z folded, at most 255 characters after the
// tag, trimmed. Empty when no entry matches or the first match has no text.
std::string FindDescription(const std::string& tag);

}  // namespace blurbo

#endif  // ORVANE_BLURBO_DESCRIPTION_LIST_H
