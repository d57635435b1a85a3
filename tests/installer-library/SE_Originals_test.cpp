#include "installer-library/SE_Originals.h"

#include <gtest/gtest.h>

#include "tests/installer-library/GlobalsFixture.h"

class Originals : public InstallerGlobals {};

// Where a file's original is kept spells its path as the log holds it, so
// the uninstaller finds its way back from the kept copy alone.
TEST_F(Originals, AKeptCopyLeadsBackToItsFile) {
  SetupInfoFile.InstallDir = "C:\\Games\\Mod\\";
  SetupInfoFile.UninstallPrefix = "Cool_";
  ProgramFilesDir = "C:\\Program Files\\";
  struct Case {
    std::string file, kept;  // kept empty: no place for it
  } cases[] = {
      {"C:\\Games\\Mod\\readme.txt", "C:\\Games\\Mod\\Cool_originals\\INSTDIR\\readme.txt"},
      {"C:\\Games\\Mod\\data\\a b.ini", "C:\\Games\\Mod\\Cool_originals\\INSTDIR\\data\\a b.ini"},
      {"C:\\Program Files\\Other\\x.dll", "C:\\Games\\Mod\\Cool_originals\\PROGRAMFILES\\Other\\x.dll"},
      {"D:\\x.dll", "C:\\Games\\Mod\\Cool_originals\\D\\x.dll"},
      {"\\\\server\\share\\x.dll", ""},
      {"relative\\x.dll", ""},
      {"D:\\", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeptPathOf(c.file), c.kept) << c.file;
    if (!c.kept.empty()) {
      EXPECT_EQ(OriginalOfKept(c.kept), c.file) << c.kept;
    }
  }
  for (const char* notKept : {"C:\\Games\\Mod\\readme.txt", "C:\\Games\\Mod\\Cool_originals\\INSTDIR",
                              "C:\\Games\\Mod\\Cool_originals\\1\\x.dll", "C:\\Games\\Mod\\originals\\D\\x.dll"})
    EXPECT_EQ(OriginalOfKept(notKept), "") << notKept;
}
