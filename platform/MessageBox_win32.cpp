#include <windows.h>

#include "platform/MessageBoxSystem.h"

namespace platform {

int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

int SystemMessageBoxW(const std::u16string& text, const std::u16string& caption, unsigned flags) {
  return MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()),
                     reinterpret_cast<const wchar_t*>(caption.c_str()), flags);
}

void SystemPersonWatching(bool watching) {
  // A drive without its disk fails the call instead of asking for one.
  const UINT mode = GetErrorMode();
  SetErrorMode(watching ? mode & ~SEM_FAILCRITICALERRORS : mode | SEM_FAILCRITICALERRORS);
}

}  // namespace platform
