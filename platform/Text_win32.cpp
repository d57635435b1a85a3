#include "platform/Text.h"

#include <windows.h>

namespace platform {

std::string AnsiLowerCase(std::string text) {
  if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace platform
