// The same rules natively (the stand-in) and under Wine (the real registry).
#include "platform/Registry.h"

#include <gtest/gtest.h>

namespace {

constexpr uint8_t kHKCU = 1;
const std::string kBase = "Software\\ModKitTests\\Registry";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { reg.SetRoot(kHKCU); }
  void TearDown() override {
    reg.CloseKey();
    for (const char* k : {"\\A\\B\\C", "\\A\\B", "\\A", "\\Other", ""}) reg.DeleteKey(kBase + k);
  }
  platform::Registry reg;
};

}  // namespace

TEST(RegistryPaths, TrimKeyPath) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"", ""}, {"\\", ""}, {"\\\\a\\b\\", "a\\b"}, {"a", "a"}, {"\\a\\\\", "a"}};
  for (const Case& c : cases) EXPECT_EQ(platform::TrimKeyPath(c.in), c.out) << c.in;
}

TEST_F(RegistryTest, KeysAreCreatedOnlyWhenAsked) {
  EXPECT_FALSE(reg.OpenKey(kBase + "\\A\\B\\C", false));
  EXPECT_FALSE(reg.KeyOpen());
  ASSERT_TRUE(reg.OpenKey("\\" + kBase + "\\A\\B\\C\\", true));  // the keys above come along
  EXPECT_TRUE(reg.KeyOpen());
  reg.CloseKey();
  EXPECT_TRUE(reg.KeyExists(kBase + "\\a\\b"));  // names without regard to case
  EXPECT_TRUE(reg.OpenKey(kBase + "\\A\\b\\c", false));
  EXPECT_FALSE(reg.KeyExists(kBase + "\\Other"));
}

TEST_F(RegistryTest, StringValues) {
  ASSERT_TRUE(reg.OpenKey(kBase + "\\A", true));
  std::string v = "stale";
  EXPECT_FALSE(reg.ReadString("Missing", v));
  EXPECT_EQ(v, "");
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {{"InstallDir", "C:\\Games\\Quexar\\"}, {"", "default value"}, {"Empty", ""}, {"Hi", "caf\xE9"}};
  for (const Case& c : cases) ASSERT_TRUE(reg.WriteString(c.name, c.text)) << c.name;
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKeyReadOnly(kBase + "\\A"));
  for (const Case& c : cases) {
    EXPECT_TRUE(reg.ReadString(c.name, v)) << c.name;
    EXPECT_EQ(v, c.text) << c.name;
  }
  EXPECT_TRUE(reg.ReadString("installdir", v));
  EXPECT_EQ(v, "C:\\Games\\Quexar\\");
  reg.CloseKey();

  ASSERT_TRUE(reg.OpenKey(kBase + "\\A", false));
  EXPECT_TRUE(reg.WriteString("InstallDir", "D:\\"));  // overwrite
  EXPECT_TRUE(reg.DeleteValue("EMPTY"));
  EXPECT_FALSE(reg.DeleteValue("Empty"));  // already gone
  EXPECT_FALSE(reg.ReadString("Empty", v));
  EXPECT_TRUE(reg.ReadString("InstallDir", v));
  EXPECT_EQ(v, "D:\\");
  // A number is a value, but no string.
  EXPECT_TRUE(reg.WriteInteger("Count", 7));
  EXPECT_FALSE(reg.ReadString("Count", v));
  EXPECT_TRUE(reg.ValueExists("count"));
  EXPECT_FALSE(reg.ValueExists("Empty"));
}

TEST_F(RegistryTest, DeletingKeys) {
  ASSERT_TRUE(reg.OpenKey(kBase + "\\A\\B", true));
  reg.CloseKey();
  EXPECT_FALSE(reg.DeleteKey(kBase + "\\A"));  // it has a subkey
  EXPECT_TRUE(reg.DeleteKey(kBase + "\\A\\B"));
  EXPECT_FALSE(reg.KeyExists(kBase + "\\A\\B"));
  EXPECT_TRUE(reg.DeleteKey(kBase + "\\A"));
  EXPECT_FALSE(reg.DeleteKey(kBase + "\\A"));
  EXPECT_FALSE(reg.DeleteKey(""));  // never the root itself

  // Only a key without values and subkeys, when that is asked for.
  ASSERT_TRUE(reg.OpenKey(kBase + "\\A\\B", true));
  ASSERT_TRUE(reg.WriteString("", "a default value is a value too"));
  reg.CloseKey();
  EXPECT_FALSE(reg.DeleteEmptyKey(kBase + "\\A"));
  EXPECT_FALSE(reg.DeleteEmptyKey(kBase + "\\A\\B"));
  ASSERT_TRUE(reg.OpenKey(kBase + "\\A\\B", false));
  ASSERT_TRUE(reg.DeleteValue(""));
  reg.CloseKey();
  EXPECT_TRUE(reg.DeleteEmptyKey(kBase + "\\A\\B"));
  EXPECT_TRUE(reg.DeleteEmptyKey(kBase + "\\A"));
  EXPECT_FALSE(reg.DeleteEmptyKey(kBase + "\\A"));
}

TEST_F(RegistryTest, NoKeyNoRoot) {
  // Without an open key every value operation fails.
  std::string v;
  EXPECT_FALSE(reg.WriteString("x", "y"));
  EXPECT_FALSE(reg.ReadString("x", v));
  EXPECT_FALSE(reg.DeleteValue("x"));
  // A root code beyond the five known roots opens nothing.
  platform::Registry bad;
  bad.SetRoot(5);
  EXPECT_FALSE(bad.OpenKey(kBase, true));
  EXPECT_FALSE(bad.KeyExists("Software"));
}
