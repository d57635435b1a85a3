// Host builds only: points the system's temporary folder (as the host
// stand-in reads it, from TMPDIR) somewhere else for the life of the object.
#pragma once

#include <cstdlib>
#include <string>

namespace testing_support {

class TempFolderOverride {
 public:
  explicit TempFolderOverride(const std::string& hostPath) {
    const char* old = std::getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) saved_ = old;
    setenv("TMPDIR", hostPath.c_str(), 1);
  }
  ~TempFolderOverride() {
    if (had_)
      setenv("TMPDIR", saved_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  TempFolderOverride(const TempFolderOverride&) = delete;
  TempFolderOverride& operator=(const TempFolderOverride&) = delete;

 private:
  bool had_ = false;
  std::string saved_;
};

}  // namespace testing_support
