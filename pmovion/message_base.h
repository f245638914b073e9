// Squish message bases: the four files of an area's base moved from its
// old base path to its new one, and the record that lets a run take every
// move back.
#ifndef ORVANE_PMOVION_MESSAGE_BASE_H
#define ORVANE_PMOVION_MESSAGE_BASE_H

#include <cstddef>
#include <string>
#include <vector>

namespace message_base {

// One file moved by this run.
struct Move {
  std::string from;
  std::string to;
};

// The moves of this run, oldest first.
using MoveRecord = std::vector<Move>;

// What RenameMessageBase gives back when a move failed for another reason
// than a missing source file and the base was moved back whole.
constexpr int kNotRenamed = -1;

// The four extensions of a base, in the order they are moved.
extern const char* const kExtensions[4];

// True when one of the four files of the base exists.
bool AnyFileExists(const std::string& base);

// Moves oldBase + ".sqd", ".sqi", ".sql", ".sqp" to newBase with the same
// extension, in that order, appending each move made to `record`. Returns
// the number of the four moves that failed because the source file does not
// exist (0 to 4). When a move fails for any other reason, the moves of this
// base that succeeded are taken back and kNotRenamed is returned. Leaves
// the failure slot alone unless a move cannot be taken back (see UndoMoves).
int RenameMessageBase(const std::string& oldBase, const std::string& newBase,
                      MoveRecord& record);

// Moves the files of record[first...] back to their old names, newest first,
// and drops each move taken back. A file that cannot be moved back stays in
// the record and its failure is stored in the failure slot, unchecked.
void UndoMoves(MoveRecord& record, std::size_t first = 0);

// Makes the directory entries of every directory the record touched
// durable; failures are stored in the failure slot, unchecked.
void SyncDirectories(const MoveRecord& record);

}  // namespace message_base

#endif  // ORVANE_PMOVION_MESSAGE_BASE_H
