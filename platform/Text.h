// Case rules and conversions of 8-bit text in the system code page.
#pragma once

#include <string>

namespace platform {

// The locale's ANSI lower-casing (letters of the system code page, not only
// A-Z), as used for file and entry names.
std::string AnsiLowerCase(std::string text);

// 8-bit text of the system code page to 16-bit text, and back. A character
// the code page cannot show becomes '?' on the way back.
std::u16string AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::u16string& text);

}  // namespace platform
