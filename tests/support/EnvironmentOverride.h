// Windows builds only.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Sets an environment variable of this process, and so of the programs it
// starts, for one scope.
class EnvironmentOverride {
 public:
  EnvironmentOverride(const std::string& name, const std::string& value) : name_(name) {
    char old[4096];
    const DWORD n = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
    had_ = n > 0 && n < sizeof old;
    if (had_) saved_.assign(old, n);
    SetEnvironmentVariableA(name.c_str(), value.c_str());
  }
  ~EnvironmentOverride() { SetEnvironmentVariableA(name_.c_str(), had_ ? saved_.c_str() : nullptr); }
  EnvironmentOverride(const EnvironmentOverride&) = delete;
  EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

 private:
  std::string name_, saved_;
  bool had_ = false;
};

}  // namespace testing_support
