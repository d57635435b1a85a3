#include "platform/Dialog.h"

#include <windows.h>

namespace platform {

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

}  // namespace platform
