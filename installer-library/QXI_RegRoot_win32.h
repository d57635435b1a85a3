// The predefined registry key of a stored root code (Windows builds only).
#pragma once

#include <windows.h>

#include <cstdint>

// HKEY_LOCAL_MACHINE for 0 up to HKEY_CURRENT_CONFIG for 4; no key (0) for
// any other code.
HKEY RegRootToHKey(uint8_t code);
