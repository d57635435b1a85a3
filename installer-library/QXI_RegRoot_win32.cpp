#include "installer-library/QXI_RegRoot_win32.h"

#include "installer-library/QXI_RegRoot.h"

HKEY RegRootToHKey(uint8_t code) {
  // In code order, matching the names of QXI_RegRoot.
  static const HKEY kKeys[kRegRootCount] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS,
                                            HKEY_CURRENT_CONFIG};
  return code < kRegRootCount ? kKeys[code] : HKEY(0);
}
