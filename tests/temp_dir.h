// A fresh directory for one test, made the working directory while the test
// runs and removed afterwards.
#ifndef ORVANE_TESTS_TEMP_DIR_H
#define ORVANE_TESTS_TEMP_DIR_H

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ScopedTempDir {
 public:
  ScopedTempDir() : previous_(std::filesystem::current_path()) {
    char pattern[] = "/tmp/orvane-unit-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    dir_ = pattern;
    std::filesystem::current_path(dir_);
  }
  ~ScopedTempDir() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& Dir() const { return dir_; }

  static void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
  }
  static std::string Read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  static bool Has(const std::string& name) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(name, ignored));
  }

 private:
  std::filesystem::path previous_;
  std::string dir_;
};

#endif  // ORVANE_TESTS_TEMP_DIR_H
