// Case rules and conversions of 8-bit text in the system code page.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The locale's ANSI lower-casing (letters of the system code page, not only
// A-Z), as used for file and entry names.
std::string AnsiLowerCase(std::string text);

// Equality that ignores the case of the letters A-Z only, whatever the code
// page: the rule of names inside the game's containers.
inline bool SameTextAZ(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + ('a' - 'A'));
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + ('a' - 'A'));
    if (x != y) return false;
  }
  return true;
}

// The letters A-Z lower-cased, everything else kept: the key under which
// SameTextAZ finds a name.
inline std::string LowerAZ(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return text;
}

// 8-bit text of the system code page to 16-bit text, and back. A character
// the code page cannot show becomes '?' on the way back, never a look-alike
// of the code page: a path so converted names no other file.
std::u16string AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::u16string& text);
// The same way back, but only when the code page holds every character
// exactly (the text comes back the same); false otherwise.
bool WideToAnsiExact(const std::u16string& text, std::string& out);

}  // namespace platform
