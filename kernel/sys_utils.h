// Text helpers with exact rules for blanks and letter case, and the file
// move that never replaces an existing file.
//
// A blank is any byte of code 32 or below, compared as unsigned.
#ifndef ORVANE_KERNEL_SYS_UTILS_H
#define ORVANE_KERNEL_SYS_UTILS_H

#include <string>
#include <string_view>

namespace sys_utils {

// True for a byte of code 32 or below.
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// A copy with a-z turned into A-Z; every other byte unchanged.
std::string UpperCase(std::string_view text);

// The text without blanks at either end; empty when it is all blanks.
std::string Trim(std::string_view text);

// The text from its first non-blank to its end; empty when all blanks.
std::string TrimLeft(std::string_view text);

// Moves an existing file to a new path: true on success, false when the
// source is missing, the target exists (never replaced) or the system
// refuses. Leaves the failure slot alone.
bool MoveFileTo(const std::string& existing, const std::string& target);

}  // namespace sys_utils

#endif  // ORVANE_KERNEL_SYS_UTILS_H
