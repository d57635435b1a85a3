#include "platform/Program.h"

#include <windows.h>

namespace platform {

std::string ProgramFile() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);  // the path was cut: ask again with room
  }
}

}  // namespace platform
