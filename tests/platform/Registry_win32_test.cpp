// The registry view the programs see in both builds: the 32-bit one, in
// which the 32-bit game keeps its values (this build is a 64-bit program).
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Registry.h"

namespace {

constexpr uint8_t kHKLM = 0;
const std::string kGameKey = "Software\\ModKitTests\\View";

bool ExistsIn(REGSAM view, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

TEST(RegistryView, EveryAccessIsInTheViewOfThe32BitGame) {
  // The game, a 32-bit program, wrote its install path.
  HKEY game = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGameKey.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr,
                            &game, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(game, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("D:\\Quexar"), sizeof "D:\\Quexar");
  RegCloseKey(game);

  platform::Registry reg;
  reg.SetRoot(kHKLM);
  std::string path;
  EXPECT_TRUE(reg.KeyExists(kGameKey));
  EXPECT_TRUE(reg.OpenKeyReadOnly(kGameKey) && reg.ReadString("Path", path));
  EXPECT_EQ(path, "D:\\Quexar");
  EXPECT_TRUE(reg.OpenKey(kGameKey, false) && reg.WriteString("Mod", "on"));
  ASSERT_TRUE(reg.OpenKey(kGameKey + "\\Mod", true));
  reg.CloseKey();
  EXPECT_TRUE(ExistsIn(KEY_WOW64_32KEY, kGameKey + "\\Mod"));
  EXPECT_FALSE(ExistsIn(KEY_WOW64_64KEY, kGameKey)) << "nothing in the 64-bit view";
  EXPECT_TRUE(reg.DeleteKey(kGameKey + "\\Mod"));
  EXPECT_FALSE(ExistsIn(KEY_WOW64_32KEY, kGameKey + "\\Mod"));

  EXPECT_TRUE(reg.DeleteKey(kGameKey));
  reg.DeleteKey("Software\\ModKitTests");
  EXPECT_FALSE(ExistsIn(KEY_WOW64_32KEY, kGameKey));
}
