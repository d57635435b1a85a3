// A fresh folder for one test's files, removed afterwards. Paths are relative
// to the test's working directory, so they mean the same natively and under
// Wine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Path of a file inside the folder; forward slashes work on both sides.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The absolute path of a file or folder below the working directory as the
// system writes paths: a drive letter and backslashes ("Z:\work\...\tmp3").
// The host build reads any drive letter as its root, as Wine's Z: does.
std::string DrivePath(const std::string& relative);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data);
void WriteFileText(const std::string& path, const std::string& text);

}  // namespace testing_support
