#include <windows.h>

#include "platform/TempPath.h"

namespace platform {

std::string TempPath() {
  char buffer[MAX_PATH + 1] = "";
  DWORD n = GetTempPathA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

}  // namespace platform
