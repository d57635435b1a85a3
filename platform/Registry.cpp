#include "platform/Registry.h"

namespace platform {

std::string TrimKeyPath(const std::string& path) {
  size_t first = path.find_first_not_of('\\');
  if (first == std::string::npos) return "";
  return path.substr(first, path.find_last_not_of('\\') - first + 1);
}

void Registry::SetRoot(uint8_t rootCode) {
  CloseKey();
  root_ = rootCode;
}

bool Registry::OpenKey(const std::string& path, bool canCreate) { return Open(path, canCreate, false); }

bool Registry::OpenKeyReadOnly(const std::string& path) { return Open(path, false, true); }

}  // namespace platform
