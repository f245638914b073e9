// The in-memory platform of the unit tests.
#include "tests/fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/platform.h"

namespace fakefs {
namespace {

struct Failure {
  Op op;
  std::string path;
  int error;
  int times;  // 0: every time
};

struct OpenFile {
  std::string path;
  std::size_t offset = 0;
  bool writing = false;
};

std::map<std::string, std::string> files;         // the "disk"
std::map<std::string, std::uint64_t> ids;         // the file under each name
std::uint64_t nextId = 1;                         // ids hand out from here
bool keepsLf = false;                             // KeepsLfLineEnds
int locks = 0;                                    // locks held
std::map<platform::Handle, OpenFile> openFiles;   // by handle
platform::Handle nextHandle = 3;                  // handles hand out from here
std::vector<Failure> failures;                    // calls to fail
std::vector<std::string> journal;                 // changes, in order
std::string console;                              // standard output
std::vector<std::uint32_t> draws;                 // random draws to give
std::size_t nextDraw = 0;                         // the next of them
bool linksUnsupported = false;                    // Link reports no links
std::function<std::string()> atExitReport;        // what a death test's child tells

int Injected(Op op, const std::string& path) {
  for (Failure& f : failures) {
    if (f.op != op || (!f.path.empty() && f.path != path)) continue;
    int error = f.error;
    if (f.times > 0 && --f.times == 0) f.op = static_cast<Op>(-1);
    return error;
  }
  return 0;
}

void Describe(const std::string& path, platform::FileInfo* info) {
  std::uint64_t id = ids[path];
  info->device = 1;
  info->file = id;
  info->links = 0;
  for (const auto& [name, other] : ids)
    if (other == id && files.count(name) != 0) ++info->links;
}

// Gives `to` the file under `from`, contents and identity.
void Carry(const std::string& from, const std::string& to) {
  files[to] = files[from];
  ids[to] = ids[from];
  files.erase(from);
  ids.erase(from);
}

std::string PathOf(platform::Handle handle) {
  auto it = openFiles.find(handle);
  return it == openFiles.end() ? std::string() : it->second.path;
}

}  // namespace

void Reset() {
  files.clear();
  ids.clear();
  keepsLf = false;
  locks = 0;
  openFiles.clear();
  failures.clear();
  journal.clear();
  console.clear();
  draws.clear();
  nextDraw = 0;
  linksUnsupported = false;
}

void SetFile(const std::string& path, const std::string& contents) {
  files[path] = contents;
  ids[path] = nextId++;
}

void AddLink(const std::string& existing, const std::string& link) {
  files[link] = files[existing];
  ids[link] = ids[existing];
}

void SetKeepsLfLineEnds(bool keeps) { keepsLf = keeps; }

bool LockHeld() { return locks > 0; }

bool HasFile(const std::string& path) { return files.count(path) != 0; }

std::string FileContents(const std::string& path) {
  auto it = files.find(path);
  return it == files.end() ? std::string() : it->second;
}

const std::map<std::string, std::string>& Files() { return files; }

void FailOn(Op op, const std::string& path, int error, int times) {
  failures.push_back({op, path, error, times});
}

void SetLinksUnsupported(bool unsupported) { linksUnsupported = unsupported; }

const std::vector<std::string>& Journal() { return journal; }

const std::string& ConsoleOutput() { return console; }

void ReportAtExit(std::function<std::string()> report) {
  atExitReport = std::move(report);
  std::atexit([] { std::fputs(atExitReport().c_str(), stderr); });
}

std::string MarkerReport(const std::string& marker) {
  return HasFile(marker) ? "marker " + FileContents(marker) : "no marker";
}

void SetDraws(const std::vector<std::uint32_t>& values) {
  draws = values;
  nextDraw = 0;
}

}  // namespace fakefs

namespace platform {

using namespace fakefs;

int OpenRead(const std::string& path, Handle* handle) {
  *handle = kNoHandle;
  if (int error = Injected(Op::kOpenRead, path)) return error;
  if (!HasFile(path)) return kNoEntry;
  *handle = nextHandle++;
  openFiles[*handle] = {path, 0, false};
  return 0;
}

int OpenWrite(const std::string& path, Handle* handle) {
  *handle = kNoHandle;
  if (int error = Injected(Op::kOpenWrite, path)) return error;
  if (!HasFile(path)) ids[path] = nextId++;
  files[path].clear();
  journal.push_back("create " + path);
  *handle = nextHandle++;
  openFiles[*handle] = {path, 0, true};
  return 0;
}

int Read(Handle handle, char* buffer, std::size_t capacity, std::size_t* got) {
  *got = 0;
  auto it = openFiles.find(handle);
  if (it == openFiles.end()) return 9;
  if (int error = Injected(Op::kRead, it->second.path)) return error;
  const std::string& data = files[it->second.path];
  std::size_t n = std::min(capacity, data.size() - std::min(data.size(), it->second.offset));
  std::memcpy(buffer, data.data() + it->second.offset, n);
  it->second.offset += n;
  *got = n;
  return 0;
}

int Write(Handle handle, const char* data, std::size_t size) {
  auto it = openFiles.find(handle);
  if (it == openFiles.end()) return 9;
  if (int error = Injected(Op::kWrite, it->second.path)) return error;
  files[it->second.path].append(data, size);
  return 0;
}

int Sync(Handle handle) { return Injected(Op::kSync, PathOf(handle)); }

int Close(Handle handle) {
  std::string path = PathOf(handle);
  openFiles.erase(handle);
  return Injected(Op::kClose, path);
}

int CreateExclusive(const std::string& path, Handle* handle) {
  *handle = kNoHandle;
  if (HasFile(path)) return kExists;
  return OpenWrite(path, handle);
}

int KeepOwnerAndMode(Handle handle, const FileInfo&) {
  return Injected(Op::kKeepOwner, PathOf(handle));
}

int Inspect(Handle handle, FileInfo* info) {
  std::string path = PathOf(handle);
  if (int error = Injected(Op::kInspect, path)) return error;
  Describe(path, info);
  return 0;
}

int InspectPath(const std::string& path, FileInfo* info) {
  if (int error = Injected(Op::kInspect, path)) return error;
  if (!HasFile(path)) return kNoEntry;
  Describe(path, info);
  return 0;
}

int ResolveLinks(const std::string& path, std::string* target) {
  if (!HasFile(path)) return kNoEntry;
  *target = path;
  return 0;
}

int CheckWritable(const std::string& path) {
  return Injected(Op::kCheckWritable, path);
}

int LockDirectoryOf(const std::string& path, int, Handle* lock) {
  *lock = kNoHandle;
  if (int error = Injected(Op::kLock, path)) return error;
  ++locks;
  *lock = nextHandle++;
  return 0;
}

int Unlock(Handle) {
  --locks;
  return 0;
}

int LockBusyError() { return kLockBusy; }

bool KeepsLfLineEnds() { return keepsLf; }

void PrepareProcess() {}

int Delete(const std::string& path) {
  if (int error = Injected(Op::kDelete, path)) return error;
  ids.erase(path);
  if (files.erase(path) == 0) return kNoEntry;
  journal.push_back("delete " + path);
  return 0;
}

int Move(const std::string& from, const std::string& to) {
  if (int error = Injected(Op::kMove, from)) return error;
  if (!HasFile(from)) return kNoEntry;
  if (HasFile(to)) return kExists;
  Carry(from, to);
  journal.push_back("move " + from + " -> " + to);
  return 0;
}

int Link(const std::string& existing, const std::string& link) {
  if (linksUnsupported) return kLinkUnsupported;
  if (int error = Injected(Op::kLink, existing)) return error;
  if (!HasFile(existing)) return kNoEntry;
  if (HasFile(link)) return kExists;
  AddLink(existing, link);
  journal.push_back("link " + existing + " -> " + link);
  return 0;
}

int NameTakenError() { return kExists; }

int Replace(const std::string& from, const std::string& to) {
  if (int error = Injected(Op::kReplace, from)) return error;
  if (!HasFile(from)) return kNoEntry;
  Carry(from, to);
  journal.push_back("replace " + from + " -> " + to);
  return 0;
}

int SyncDirectoryOf(const std::string& path) {
  return Injected(Op::kSyncDirectory, path);
}

bool IsMissing(int error) { return error == kNoEntry; }

int ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  if (int error = Injected(Op::kList, dir)) return error;
  for (const auto& [path, bytes] : files) {
    if (path.compare(0, dir.size(), dir) != 0) continue;
    std::string name = path.substr(dir.size());
    if (name.find_first_of("\\/") == std::string::npos) names->push_back(name);
  }
  return 0;
}

int ConsoleWrite(const char* data, std::size_t size) {
  if (int error = Injected(Op::kConsoleWrite, "")) return error;
  console.append(data, size);
  return 0;
}

int ReadInputLine() { return Injected(Op::kReadInput, ""); }

std::string ExecutablePath() { return "C:\\ORVANE\\PLUGIN.EXE"; }

int RandomBelow(std::uint32_t bound, std::uint32_t* value) {
  if (int error = Injected(Op::kRandom, "")) return error;
  std::uint32_t draw = nextDraw < draws.size() ? draws[nextDraw++] : 0;
  *value = draw % bound;
  return 0;
}

std::string ErrorText(int error) { return "error " + std::to_string(error); }

void Exit(int code) { std::exit(code); }

}  // namespace platform
