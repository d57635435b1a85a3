#include "installer-library/QXI_RegRoot_win32.h"

#include "installer-library/QXI_RegRoot.h"
#include "platform/Registry_win32.h"

HKEY RegRootToHKey(uint8_t code) { return platform::RootKeyOf(code); }
