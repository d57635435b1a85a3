#include "platform/Profile.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

using platform::ProfileFile;
using testing_support::TempDir;

namespace {

std::string ReadText(const std::string& path) {
  std::vector<uint8_t> bytes = testing_support::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(Profile, WritesANewFileSectionBySectionWithCrLf) {
  TempDir dir;
  ProfileFile ini(dir.File("p.ini"));
  ASSERT_TRUE(ini.Write("SETUP", "SetupShortName", "MySetup"));
  ASSERT_TRUE(ini.Write("SETUP", "SetupName", "MySetup v1.0"));
  ASSERT_TRUE(ini.Write("Main", "Mod", "MyMod"));
  ASSERT_TRUE(ini.Write("main", "Mod Dir", "  My Mod  "));  // trimmed, joins [Main]
  ASSERT_TRUE(ini.Write("setup", "ModFilesDir", "C:\\m"));  // after the section's last key
  ASSERT_TRUE(ini.Write("Main", "MOD", "Other"));           // in place, name kept as stored
  ASSERT_TRUE(ini.Write("Main", "Empty", ""));
  EXPECT_EQ(ReadText(ini.Path()),
            "[SETUP]\r\nSetupShortName=MySetup\r\nSetupName=MySetup v1.0\r\nModFilesDir=C:\\m\r\n"
            "[Main]\r\nMod=Other\r\nMod Dir=My Mod\r\nEmpty=\r\n");
}

TEST(Profile, ReadsValuesCaseInsensitivelyFromTheFirstSection) {
  TempDir dir;
  testing_support::WriteFileText(dir.File("r.ini"),
                                 "top=before any section\n"
                                 "  [ Main ]  \n"
                                 "; note=comment\n"
                                 "bare line\n"
                                 "  Key  =  spaced value  \n"
                                 "dq=\"quoted\"\n"
                                 "sq='single'\n"
                                 "half=\"open\n"
                                 "mixed=\"x'\n"
                                 "empty=\n"
                                 "dup=first\n"
                                 "dup=second\n"
                                 "\n"
                                 "[MAIN]\n"
                                 "later=in the second section\r\n"
                                 "[Other]\r\n"
                                 "x=1\r\n");
  ProfileFile ini(dir.File("r.ini"));
  struct Case {
    const char *section, *key;
    bool found;
    std::string value;
  };
  const Case cases[] = {
      {"main", "key", true, "spaced value"},
      {"MAIN", "KEY", true, "spaced value"},
      {"Main", "dq", true, "quoted"},
      {"Main", "sq", true, "single"},
      {"Main", "half", true, "\"open"},
      {"Main", "mixed", true, "\"x'"},
      {"Main", "empty", true, ""},
      {"Main", "dup", true, "first"},
      {"Main", "bare line", false, "untouched"},
      {"Main", "later", false, "untouched"},  // only the first [Main] counts
      {"Main", "top", false, "untouched"},
      {"Other", "x", true, "1"},
      {"Missing", "x", false, "untouched"},
  };
  for (const Case& c : cases) {
    std::string value = "untouched";
    EXPECT_EQ(ini.Read(c.section, c.key, value), c.found) << c.section << "/" << c.key;
    EXPECT_EQ(value, c.value) << c.section << "/" << c.key;
  }
  EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Main", "MAIN", "Other"}));
  EXPECT_EQ(ini.Keys("main"), (std::vector<std::string>{"Key", "dq", "sq", "half", "mixed", "empty", "dup", "dup"}));
  EXPECT_TRUE(ini.Keys("Missing").empty());
}

TEST(Profile, UpdatingAHandWrittenFileKeepsItsLinesAndDropsBlankOnes) {
  TempDir dir;
  testing_support::WriteFileText(dir.File("h.ini"),
                                 "[Main]\n; comment=1\nnoeq\n  k1 =  v1  \nk1=second\n\n[Main]\nk2=v2\n[Other]\nk3=v3");
  ProfileFile ini(dir.File("h.ini"));
  ASSERT_TRUE(ini.Write("main", "k2", "new"));
  ASSERT_TRUE(ini.Write("New", "n", "1"));
  EXPECT_EQ(ReadText(ini.Path()),
            "[Main]\r\n; comment=1\r\nnoeq\r\nk1=v1\r\nk1=second\r\nk2=new\r\n[Main]\r\nk2=v2\r\n"
            "[Other]\r\nk3=v3\r\n[New]\r\nn=1\r\n");
}

TEST(Profile, MissingFilesReadAsEmptyAndUnwritableOnesFail) {
  TempDir dir;
  ProfileFile missing(dir.File("none.ini"));
  std::string value = "untouched";
  EXPECT_TRUE(missing.Sections().empty());
  EXPECT_TRUE(missing.Keys("Main").empty());
  EXPECT_FALSE(missing.Read("Main", "Mod", value));
  EXPECT_EQ(value, "untouched");

  ProfileFile nowhere(dir.File("no such folder/p.ini"));
  EXPECT_FALSE(nowhere.Write("Main", "Mod", "x"));
}
