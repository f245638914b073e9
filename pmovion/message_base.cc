// Squish message bases and the new names of their files.
#include "pmovion/message_base.h"

#include <cstring>
#include <set>

#include "kernel/platform.h"
#include "kernel/sys_utils.h"
#include "kernel/textio.h"

namespace message_base {
namespace {

const char* const kDevices[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3",   "COM4",
    "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2",   "LPT3",
    "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};

const Listing& ListingOf(Directories& directories, const std::string& dir) {
  auto [it, added] = directories.try_emplace(dir);
  if (!added) return it->second;
  Listing& listing = it->second;
  std::vector<std::string> names;
  listing.error = platform::ListDirectory(dir, &names);
  // A directory that is not there holds no base yet.
  if (platform::IsMissing(listing.error)) listing.error = 0;
  for (std::string& name : names)
    listing.names[FoldedName(name)].push_back(std::move(name));
  return listing;
}

// The names under which the file `leaf` + `extension` stands, in any case.
const std::vector<std::string>* NamesOf(const Listing& listing,
                                        const std::string& leaf,
                                        const char* extension) {
  auto it = listing.names.find(FoldedName(leaf + extension));
  return it == listing.names.end() ? nullptr : &it->second;
}

}  // namespace

const char* const kExtensions[4] = {".sqd", ".sqi", ".sql", ".sqp"};

std::string FoldedName(const std::string& path) {
  std::string folded = path;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '/') c = '\\';
  }
  return folded;
}

bool IsSafeBaseName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c < 32 || c == 127 || std::strchr("\\/:*?\"<>|", c) != nullptr)
      return false;
  // Windows takes a device name for the device, whatever follows its dot.
  const std::string stem = FoldedName(name.substr(0, name.find('.')));
  for (const char* device : kDevices)
    if (stem == device) return false;
  return true;
}

std::string DirectoryPart(const std::string& base) {
  std::size_t slash = base.find_last_of("\\/");
  if (slash != std::string::npos) return base.substr(0, slash + 1);
  const bool drive = base.size() >= 2 && base[1] == ':' &&
                     ((base[0] >= 'A' && base[0] <= 'Z') ||
                      (base[0] >= 'a' && base[0] <= 'z'));
  return drive ? base.substr(0, 2) : std::string();
}

Found PlanBaseMove(Directories& directories, const std::string& oldBase,
                   const std::string& newBase, BaseMove* move) {
  *move = BaseMove{oldBase, newBase, {}};
  const std::string oldDir = DirectoryPart(oldBase);
  const std::string newDir = DirectoryPart(newBase);
  const Listing& from = ListingOf(directories, oldDir);
  const Listing& to = ListingOf(directories, newDir);
  // A directory that cannot be read may hold the base, or a file in the
  // way: taking either for absent would orphan the mail.
  if (from.error != 0 || to.error != 0) return Found::kUnsearchable;
  const std::string oldLeaf = oldBase.substr(oldDir.size());
  const std::string newLeaf = newBase.substr(newDir.size());
  for (const char* extension : kExtensions)
    if (NamesOf(to, newLeaf, extension) != nullptr) return Found::kTargetTaken;
  for (const char* extension : kExtensions) {
    const std::vector<std::string>* names = NamesOf(from, oldLeaf, extension);
    if (names == nullptr) continue;
    if (names->size() > 1) return Found::kCaseClash;
    const std::string& name = names->front();
    move->files.push_back(
        {oldDir + name, newBase + name.substr(name.size() - 4), false});
  }
  return Found::kReady;
}

Renamed RenameMessageBase(BaseMove& move) {
  for (std::size_t i = 0; i < move.files.size(); ++i) {
    FileMove& file = move.files[i];
    int error = platform::Link(file.from, file.to);
    file.linked = error == 0;
    // FAT, many network shares and protected links give no second name;
    // there the file moves, and a crash is mended by the next run.
    if (error != 0 && error != platform::NameTakenError())
      error = platform::Move(file.from, file.to);
    if (error == 0) continue;
    BaseMove done{move.oldBase, move.newBase,
                  {move.files.begin(), move.files.begin() + i}};
    return TakeBack(done) ? Renamed::kNotRenamed : Renamed::kSplit;
  }
  return Renamed::kRenamed;
}

bool TakeBack(const BaseMove& move) {
  bool whole = true;
  for (auto it = move.files.rbegin(); it != move.files.rend(); ++it) {
    const int error = it->linked ? platform::Delete(it->to)
                                 : platform::Move(it->to, it->from);
    if (error == 0 || (it->linked && platform::IsMissing(error))) continue;
    textio::Fail(error, it->linked ? "remove" : "move back", it->to);
    whole = false;
  }
  return whole;
}

bool DropOldNames(const BaseMove& move) {
  bool dropped = true;
  for (const FileMove& file : move.files) {
    if (!file.linked) continue;
    const int error = platform::Delete(file.from);
    if (error == 0 || platform::IsMissing(error)) continue;
    textio::Fail(error, "remove", file.from);
    dropped = false;
  }
  return dropped;
}

int SyncDirectories(const std::vector<BaseMove>& moves) {
  std::set<std::string> done;
  int first = 0;
  for (const BaseMove& move : moves) {
    for (const FileMove& file : move.files) {
      for (const std::string* path : {&file.from, &file.to}) {
        if (!done.insert(DirectoryPart(*path)).second) continue;
        const int error = platform::SyncDirectoryOf(*path);
        if (first == 0) first = error;
      }
    }
  }
  return first;
}

}  // namespace message_base
