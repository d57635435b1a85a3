// Case rules of 8-bit text in the system code page.
#pragma once

#include <string>

namespace platform {

// The locale's ANSI lower-casing (letters of the system code page, not only
// A-Z), as used for file and entry names.
std::string AnsiLowerCase(std::string text);

}  // namespace platform
