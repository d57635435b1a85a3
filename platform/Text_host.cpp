// Host stand-in: the system code page is Windows-1252.
#include "platform/Text.h"

namespace platform {

std::string AnsiLowerCase(std::string text) {
  for (char& ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
      c += 0x20;
    else if (c == 0x8A || c == 0x8C || c == 0x8E)  // S, OE, Z with caron/ligature
      c += 0x10;
    else if (c == 0x9F)  // Y with diaeresis
      c = 0xFF;
    ch = static_cast<char>(c);
  }
  return text;
}

}  // namespace platform
