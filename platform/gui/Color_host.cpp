// Host stand-in: system colours resolve to the classic default scheme.
#include <array>
#include <cstddef>

#include "platform/gui/Color.h"

namespace gui {

uint32_t ColorToRGB(TColor color) {
  static constexpr std::array<uint32_t, 31> kScheme = {
      0xC8C8C8, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000, 0x000000, 0xFFFFFF, 0xC8D0D4,
      0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040,
      0xC8D0D4, 0x000000, 0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xFF9933, 0xC8D0D4};
  if (IsSystemColor(color)) {
    std::size_t index = static_cast<std::size_t>(color & 0xFF);
    return index < kScheme.size() ? kScheme[index] : 0;
  }
  return static_cast<uint32_t>(color) & 0xFFFFFF;
}

}  // namespace gui
