#include <windows.h>

#include "platform/gui/Color.h"

namespace gui {

uint32_t ColorToRGB(TColor color) {
  if (IsSystemColor(color)) return GetSysColor(color & 0xFF) & 0xFFFFFF;
  return static_cast<uint32_t>(color) & 0xFFFFFF;
}

}  // namespace gui
