// The area rename pass of Movionsmith: echo areas get message base paths
// named after their tags, their base files take the new names along, and
// the Squish configuration is replaced, all or nothing.
#ifndef ORVANE_PMOVION_RENAME_PASS_H
#define ORVANE_PMOVION_RENAME_PASS_H

#include <string>

namespace rename_pass {

// The fields of a compacted echo area line.
struct AreaLine {
  std::string tag;
  std::string path;       // the message base path, without extension
  std::string remainder;  // everything after the path, its leading blank too
};

// True when the compacted line names an echo area: its first eight
// characters read "ECHOAREA" in any case, its first word is not
// "EchoAreaDefaults", it has a tag and a path, and neither of them runs past
// 255 characters; `area` then holds its fields.
bool ParseAreaLine(const std::string& line, AreaLine* area);

// The base name for an area tag: with Check1 set and Edit1 exactly one
// character, every "." of the tag replaced by it; otherwise the tag.
std::string TagToBaseName(const std::string& tag);

// The new base path of a selected area: the directory part of its path
// followed by TagToBaseName(tag). Empty when the area is not selected (its
// path is not auto-named and Check3 is clear).
std::string NewBasePath(const AreaLine& area);

// Runs the whole pass over the configuration named by SquishPath. First
// mends what a stopped earlier run left (its journal). Ends the run through
// FinishPlugin("01") when the configuration cannot be opened (or SquishPath
// is empty) and FinishPlugin("04") when the temporary file cannot be
// created; the error exit when every backup name is taken. Any other
// failure is left pending: then the configuration stays and every base is
// back under its old name, unless the failure came after the configuration
// took its new place (making a directory durable, removing an old name),
// when the bases keep the names it gives them.
void RunRenamePass();

}  // namespace rename_pass

#endif  // ORVANE_PMOVION_RENAME_PASS_H
