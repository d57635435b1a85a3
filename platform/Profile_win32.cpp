// Settings files through the Windows profile API.
#include "platform/Profile.h"

#include <windows.h>

namespace platform {
namespace {

// The API resolves a relative name against the Windows folder; callers mean
// the current folder.
std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : path;
}

// One GetPrivateProfileStringA call with a buffer grown until the answer
// fits: the API cuts what does not fit and says so only through the count,
// which is the size minus 1 for a value and minus 2 for a name list.
std::string Query(const char* section, const char* key, const char* fallback, const std::string& file) {
  const DWORD reserve = key ? 1 : 2;
  for (DWORD size = 1024;; size *= 2) {
    std::string buffer(size, '\0');
    DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file.c_str());
    if (n + reserve < size || size >= (1u << 24)) return buffer.substr(0, n);
  }
}

std::vector<std::string> NameList(const std::string& zeroSeparated) {
  std::vector<std::string> names;
  for (size_t start = 0; start < zeroSeparated.size();) {
    size_t end = zeroSeparated.find('\0', start);
    if (end == std::string::npos) end = zeroSeparated.size();
    if (end == start) break;
    names.push_back(zeroSeparated.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

}  // namespace

std::vector<std::string> ProfileFile::Sections() const {
  return NameList(Query(nullptr, nullptr, "", FullPath(path_)));
}

std::vector<std::string> ProfileFile::Keys(const std::string& section) const {
  return NameList(Query(section.c_str(), nullptr, "", FullPath(path_)));
}

bool ProfileFile::Read(const std::string& section, const std::string& key, std::string& value) const {
  // An empty value and a missing key read the same, so the key list decides.
  std::string file = FullPath(path_);
  for (const std::string& name : NameList(Query(section.c_str(), nullptr, "", file))) {
    if (lstrcmpiA(name.c_str(), key.c_str()) == 0) {
      value = Query(section.c_str(), key.c_str(), "", file);
      return true;
    }
  }
  return false;
}

bool ProfileFile::Write(const std::string& section, const std::string& key, const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), FullPath(path_).c_str()) != 0;
}

}  // namespace platform
