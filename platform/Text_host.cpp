// Host stand-in: the system code page is Windows-1252.
#include "platform/Text.h"

#include <algorithm>
#include <iterator>

namespace platform {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five bytes the code page leaves
// undefined map to the control characters of the same value, as Windows
// maps them.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

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

std::u16string AnsiToWide(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    out.push_back(c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : static_cast<char16_t>(c));
  }
  return out;
}

std::string WideToAnsi(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t w : text) {
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) {
      out.push_back(static_cast<char>(w));
      continue;
    }
    const char16_t* hit = std::find(std::begin(kHigh), std::end(kHigh), w);
    out.push_back(hit == std::end(kHigh) ? '?' : static_cast<char>(0x80 + (hit - kHigh)));
  }
  return out;
}

}  // namespace platform
