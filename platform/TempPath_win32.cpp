#include <windows.h>

#include "platform/TempPath.h"
#include "platform/WidePath.h"

namespace platform {

// Asked in 16-bit text: under a profile named outside the code page, the
// 8-bit call would give a look-alike folder of another name.
std::string TempPath() {
  wchar_t buffer[MAX_PATH + 1] = L"";
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  return n > 0 && n <= MAX_PATH ? NarrowPath(std::u16string(reinterpret_cast<const char16_t*>(buffer), n))
                                : std::string();
}

}  // namespace platform
