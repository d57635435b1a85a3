#include "installer-library/QXI_RegRoot.h"

#include <gtest/gtest.h>

namespace {

TEST(RegRoot, ShortNamesGiveTheirCodeAndEverythingElseGivesZero) {
  struct Case {
    const char* name;
    uint8_t code;
  };
  const Case cases[] = {
      {"HKLM", 0},
      {"hklm", 0},
      {"HKCU", 1},
      {"hkCu", 1},
      {"HKCR", 2},
      {"hkcr", 2},
      {"HKU", 3},
      {"hku", 3},
      {"HKCC", 4},
      {"Hkcc", 4},
      // Long names, near misses and padding are not short names.
      {"HKEY_CURRENT_USER", 0},
      {"HKEY_USERS", 0},
      {"", 0},
      {"HKC", 0},
      {"HKCUX", 0},
      {" HKCU", 0},
      {"HKCU ", 0},
      {"HK CU", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(RegRootFromName(c.name), c.code) << '"' << c.name << '"';
}

TEST(RegRoot, CodesGiveTheirLongName) {
  const char* names[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS",
                         "HKEY_CURRENT_CONFIG"};
  for (uint8_t code = 0; code < 5; ++code) EXPECT_EQ(RegRootToName(code), names[code]);
  for (uint8_t code : {5, 7, 128, 255}) EXPECT_EQ(RegRootToName(code), "!ERROR!") << int(code);
}

}  // namespace
