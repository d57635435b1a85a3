#include "platform/Text.h"

#include <windows.h>

namespace platform {

std::string AnsiLowerCase(std::string text) {
  if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// wchar_t is 16 bits wide on Windows, so the two string types share a layout.
std::u16string AnsiToWide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(n > 0 ? n : 0, u'\0');
  if (n > 0) {
    auto* wide = reinterpret_cast<wchar_t*>(out.data());
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide, n);
  }
  return out;
}

// Without the best-fit mapping the system would otherwise use: it turns
// characters the code page lacks into look-alikes ("\u0141ukasz" into
// "Lukasz"), which name another folder.
std::string WideToAnsi(const std::u16string& text) {
  if (text.empty()) return {};
  auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace platform
