// The line and path helpers that every pass over a configuration uses: the
// exact rules for compacting blanks, taking a line's first word and cutting
// a path into its directory.
#ifndef ORVANE_KERNEL_LINE_PATH_H
#define ORVANE_KERNEL_LINE_PATH_H

#include <string>

namespace line_path {

// Trims the line, then shrinks every run of TABs and spaces inside it to the
// run's last character.
void CompactBlanks(std::string& line);

// The trimmed text up to its first blank; empty for an all-blank text.
std::string FirstWord(const std::string& text);

// True for the two directory separators, backslash and slash.
inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Everything before the path's last separator (backslash or slash), with a
// backslash added when that is two characters (C: becomes C:\); empty when
// the path has no separator or starts with its only one.
std::string ExtractDir(const std::string& path);

// The file `name` in the directory of `path`: ExtractDir(path), a
// backslash and the name, joined as they stand (C:\ gives C:\\name); just
// the name, in the current directory, when the path has no separator.
std::string SiblingPath(const std::string& path, const std::string& name);

}  // namespace line_path

#endif  // ORVANE_KERNEL_LINE_PATH_H
