// Squish message bases and the record of their moves.
#include "pmovion/message_base.h"

#include <set>

#include "kernel/line_path.h"
#include "kernel/orvKernel.h"
#include "kernel/platform.h"
#include "kernel/sys_utils.h"
#include "kernel/textio.h"

namespace message_base {

const char* const kExtensions[4] = {".sqd", ".sqi", ".sql", ".sqp"};

bool AnyFileExists(const std::string& base) {
  for (const char* extension : kExtensions)
    if (platform::Exists(base + extension)) return true;
  return false;
}

int RenameMessageBase(const std::string& oldBase, const std::string& newBase,
                      MoveRecord& record) {
  const std::size_t first = record.size();
  int missing = 0;
  for (const char* extension : kExtensions) {
    std::string from = oldBase + extension;
    std::string to = newBase + extension;
    if (sys_utils::MoveFileTo(from, to)) {
      record.push_back({from, to});
      continue;
    }
    // A base that has not been created yet, or lacks one of its files, is
    // renamed all the same; any other refusal would split the base between
    // two names, so what moved goes back.
    if (!platform::Exists(from)) {
      ++missing;
      continue;
    }
    UndoMoves(record, first);
    return kNotRenamed;
  }
  return missing;
}

void UndoMoves(MoveRecord& record, std::size_t first) {
  for (std::size_t i = record.size(); i > first; --i) {
    const Move& move = record[i - 1];
    int error = platform::Move(move.to, move.from);
    if (error != 0) {
      textio::Fail(error, "move back", move.to);
      continue;
    }
    record.erase(record.begin() + static_cast<std::ptrdiff_t>(i - 1));
  }
}

void SyncDirectories(const MoveRecord& record) {
  std::set<std::string> done;
  for (const Move& move : record) {
    for (const std::string* path : {&move.from, &move.to}) {
      if (!done.insert(line_path::ExtractDir(*path)).second) continue;
      textio::Fail(platform::SyncDirectoryOf(*path), "sync directory of",
                   *path);
    }
  }
}

}  // namespace message_base
