#include "installer-library/QXI_RegRoot_win32.h"

#include <gtest/gtest.h>

#include "installer-library/QXI_RegRoot.h"

namespace {

TEST(RegRootWin32, CodesGiveThePredefinedKeys) {
  EXPECT_EQ(RegRootToHKey(0), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RegRootToHKey(1), HKEY_CURRENT_USER);
  EXPECT_EQ(RegRootToHKey(2), HKEY_CLASSES_ROOT);
  EXPECT_EQ(RegRootToHKey(3), HKEY_USERS);
  EXPECT_EQ(RegRootToHKey(4), HKEY_CURRENT_CONFIG);
  for (uint8_t code : {5, 7, 255}) EXPECT_EQ(RegRootToHKey(code), HKEY(0)) << int(code);
  // A script's short name reaches the key it names.
  EXPECT_EQ(RegRootToHKey(RegRootFromName("hkcr")), HKEY_CLASSES_ROOT);
}

}  // namespace
