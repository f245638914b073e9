// The end-to-end runner.
#include "tests/e2e.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

namespace e2e {
namespace {

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void RemoveTree(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    if (DIR* d = ::opendir(path.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") RemoveTree(path + "/" + name);
      }
      ::closedir(d);
    }
    ::rmdir(path.c_str());
    return;
  }
  ::unlink(path.c_str());
}

void Walk(const std::string& root, const std::string& rel,
          std::map<std::string, std::string>& out) {
  DIR* d = ::opendir((root + "/" + rel).c_str());
  if (d == nullptr) return;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == ".." || name == "orvane.lck") continue;
    std::string child = rel.empty() ? name : rel + "/" + name;
    struct stat st;
    if (::lstat((root + "/" + child).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      out[child] = "<dir>";
      Walk(root, child, out);
    } else if (S_ISLNK(st.st_mode)) {
      out[child] = "<link>";
    } else {
      out[child] = ReadAll(root + "/" + child);
    }
  }
  ::closedir(d);
}

}  // namespace

Scratch::Scratch() {
  char pattern[] = "/tmp/orvane-e2e-XXXXXX";
  if (::mkdtemp(pattern) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
}

Scratch::~Scratch() { RemoveTree(dir_); }

std::string Scratch::Path(const std::string& name) const {
  return name.empty() ? dir_ : dir_ + "/" + name;
}

std::string Scratch::WinPath(const std::string& name) const {
  std::string path = Path(name);
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

void Scratch::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string Scratch::Read(const std::string& name) const {
  return ReadAll(Path(name));
}

bool Scratch::Has(const std::string& name) const {
  struct stat st;
  return ::lstat(Path(name).c_str(), &st) == 0;
}

void Scratch::MakeDir(const std::string& name) const {
  ::mkdir(Path(name).c_str(), 0777);
}

std::map<std::string, std::string> Scratch::Tree() const {
  std::map<std::string, std::string> out;
  Walk(dir_, "", out);
  return out;
}

Result Scratch::Run(const std::string& program,
                    const RunOptions& options) const {
  std::vector<std::string> traced = options.strace;
  if (!options.failWritesTo.empty()) {
    const std::string writes = "write,pwrite64,writev,pwritev";
    traced.insert(traced.end(), {"-P", Path(options.failWritesTo), "-e",
                                 "trace=" + writes, "-e",
                                 "inject=" + writes + ":error=ENOSPC"});
  }
  std::vector<std::string> command;
  if (!traced.empty()) {
    command = {"/usr/bin/strace", "-f", "-qq", "-o", "/dev/null"};
    command.insert(command.end(), traced.begin(), traced.end());
  }
  for (const std::string& c : Command(program)) command.push_back(c);
  for (const std::string& a : options.args) command.push_back(a);
  std::string captured = dir_ + ".stdout";
  std::string input = dir_ + ".stdin";
  if (!options.stdinText.empty()) {
    std::ofstream in(input, std::ios::binary);
    in << options.stdinText;
  }
  std::string outPath = options.stdoutPath.empty() ? captured : options.stdoutPath;

  pid_t pid = ::fork();
  if (pid == 0) {
    int in = ::open(options.stdinText.empty() ? "/dev/null" : input.c_str(),
                    O_RDONLY);
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || out < 0 || ::chdir(dir_.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    if (options.umask >= 0) ::umask(static_cast<mode_t>(options.umask));
    if (options.gid >= 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(options.gid) != 0))
      ::_exit(127);
    if (options.uid >= 0 && ::setuid(options.uid) != 0) ::_exit(127);
    // A run that blocks (on a FIFO, say) must fail its test, not hang it.
    ::alarm(120);
    // The leak checker of a sanitizer build stops itself under ptrace,
    // which strace is.
    if (!traced.empty()) ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    std::vector<char*> argv;
    for (std::string& a : command) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  Result result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = options.stdoutPath.empty() ? ReadAll(captured) : std::string();
  ::unlink(captured.c_str());
  ::unlink(input.c_str());
  return result;
}

std::string Params(
    const std::vector<std::pair<std::string, std::string>>& kv) {
  std::string text;
  for (const auto& [key, value] : kv) text += key + "=" + value + "\r\n";
  return text;
}

std::vector<std::string> Command(const std::string& program) {
  std::vector<std::string> command;
  std::string runner = Env("ORVANE_RUNNER", "");
  if (!runner.empty()) command.push_back(runner);
  command.push_back(Env("ORVANE_BIN_DIR", ORVANE_DEFAULT_BIN_DIR) + "/" +
                    program + Env("ORVANE_EXE_SUFFIX", ""));
  return command;
}

bool UnderRunner() { return !Env("ORVANE_RUNNER", "").empty(); }

int DiskFullError() { return UnderRunner() ? 112 : ENOSPC; }

int NameTakenError() { return UnderRunner() ? 183 : EEXIST; }

bool KeepsLf() { return !UnderRunner(); }

std::string AsWritten(const std::string& old, const std::string& crlf) {
  std::size_t lf = old.find('\n');
  if (!KeepsLf() || lf == std::string::npos || (lf > 0 && old[lf - 1] == '\r'))
    return crlf;
  std::string text;
  for (std::size_t i = 0; i < crlf.size(); ++i)
    if (!(crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n'))
      text += crlf[i];
  return text;
}

std::string BannerLine(const std::string& banner) { return banner + "\r\r\n"; }

}  // namespace e2e
