#include "platform/Program.h"

#include <windows.h>

namespace platform {

std::u16string ProgramFileWide() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);  // the path was cut: ask again with room
  }
}

}  // namespace platform
