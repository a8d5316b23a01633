// A fresh temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "modcarta-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    path_ = made ? made : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Host path without a trailing separator.
  const std::string& path() const { return path_; }
  // Host path of a name inside the directory.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // The directory as a system path ending in "\" (as ZEDROOT, ZEDTMP are given).
  std::string SystemDir() const { return path_ + "\\"; }

 private:
  std::string path_;
};

}  // namespace testing_support
