// The predefined key of a stored registry root code (Windows builds only).
#pragma once

#include <windows.h>

#include <cstdint>

namespace platform {

// HKEY_LOCAL_MACHINE for 0 up to HKEY_CURRENT_CONFIG for 4; no key (0) for
// any other code.
HKEY RootKeyOf(uint8_t code);

}  // namespace platform
