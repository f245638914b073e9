// The journal of a rename run: the plan of its base moves, written beside
// the configuration before the first file takes a new name and removed
// after the last step, so that a run that finds one knows an earlier run
// was stopped half way, and how to mend what it left.
#ifndef ORVANE_PMOVION_JOURNAL_H
#define ORVANE_PMOVION_JOURNAL_H

#include <string>
#include <vector>

#include "pmovion/message_base.h"

namespace journal {

// The journal's name beside the configuration.
constexpr const char* kName = "pmovion.jnl";

// Writes the moves to a new journal at `path` and makes it durable, with
// its directory entry. 0 or the error number; a journal that could not be
// written whole is removed again.
int Write(const std::string& path,
          const std::vector<message_base::BaseMove>& moves);

// Removes the journal at `path` and makes that durable. 0 or the error
// number.
int Remove(const std::string& path);

// Mends what the run that left the journal at `path` was stopped in: for
// every planned file, the name that `named` (the configuration standing
// now) uses for its base is kept, with the file moved there when only the
// other name holds it, and the other name goes when it is a second link of
// the same file. Two names that hold different files are both kept. Then
// the journal is removed. 0 when there is no journal or all is mended; the
// error number otherwise, with the journal kept for the next run.
int Recover(const std::string& path, const message_base::NamedPaths& named);

}  // namespace journal

#endif  // ORVANE_PMOVION_JOURNAL_H
