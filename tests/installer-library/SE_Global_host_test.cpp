// The installer globals against a machine the test sets up through the
// host stand-ins: shell folders, drives, the environment.
#include "installer-library/SE_Global.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>

#include "platform/HostSystem.h"
#include "platform/Shell.h"
#include "platform/System.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/TempDir.h"

using testing_support::TempDir;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

namespace {

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

class HostMachine : public InstallerGlobals {
 protected:
  void TearDown() override {
    for (int id :
         {platform::kShellDesktop, platform::kShellPrograms, platform::kShellAppData, platform::kShellProgramFiles})
      platform::host::SetShellFolder(id, "");
    platform::host::SetDrives({});
    InstallerGlobals::TearDown();
  }
};

}  // namespace

TEST_F(HostMachine, SpecialFoldersEndInABackslashOrAreEmpty) {
  EXPECT_EQ(GetProgramFilesDir(nullptr), "");  // never "\", which would be a drive root
  EXPECT_EQ(GetStartMenuProgramsDir(nullptr), "");
  EXPECT_EQ(GetDesktopDir(nullptr), "");
  EXPECT_EQ(GetAppDataDir(), "");
  platform::host::SetShellFolder(platform::kShellProgramFiles, "C:\\Program Files");
  platform::host::SetShellFolder(platform::kShellPrograms, "C:\\Start\\Programs\\");
  platform::host::SetShellFolder(platform::kShellDesktop, "C:\\Users\\me\\Desktop");
  platform::host::SetShellFolder(platform::kShellAppData, "C:\\Users\\me\\AppData\\Roaming");
  EXPECT_EQ(GetProgramFilesDir(nullptr), "C:\\Program Files\\");
  EXPECT_EQ(GetStartMenuProgramsDir(nullptr), "C:\\Start\\Programs\\");
  EXPECT_EQ(GetDesktopDir(nullptr), "C:\\Users\\me\\Desktop\\");
  EXPECT_EQ(GetAppDataDir(), "C:\\Users\\me\\AppData\\Roaming\\");
}

TEST_F(HostMachine, AppDataIsAskedAtEveryUse) {
  platform::host::SetShellFolder(platform::kShellAppData, "C:\\Users\\me\\AppData\\Roaming");
  EXPECT_EQ(Narrow(ExpandPathVars(u"$APPDATA\\Mod\\cfg.ini")), "C:\\Users\\me\\AppData\\Roaming\\Mod\\cfg.ini");
  EXPECT_EQ(Narrow(CollapsePathVars(u"C:\\Users\\me\\AppData\\Roaming\\Mod\\cfg.ini")), "$APPDATA\\Mod\\cfg.ini");
  platform::host::SetShellFolder(platform::kShellAppData, "D:\\Roaming");
  EXPECT_EQ(Narrow(ExpandPathVars(u"$APPDATA\\x")), "D:\\Roaming\\x");
  platform::host::SetShellFolder(platform::kShellAppData, "");
  EXPECT_EQ(Narrow(CollapsePathVars(u"D:\\Roaming\\x")), "D:\\Roaming\\x");
}

TEST_F(HostMachine, FindCDDrive) {
  using Drives = std::vector<std::pair<std::string, unsigned>>;
  struct Case {
    Drives drives;
    const char* root;
  } cases[] = {
      {{}, ""},
      {{{"C:\\", platform::kDriveFixed}}, ""},
      {{{"C:\\", platform::kDriveFixed}, {"E:\\", platform::kDriveCDROM}, {"F:\\", platform::kDriveCDROM}}, "E:\\"},
      {{{"D:\\", platform::kDriveCDROM}}, "D:\\"},
  };
  for (const Case& c : cases) {
    platform::host::SetDrives(c.drives);
    EXPECT_EQ(FindCDDrive(), c.root);
  }
  // a list longer than the 129 characters asked for
  Drives many;
  for (int i = 0; i < 40; ++i) many.push_back({"Q" + std::to_string(i) + ":\\", platform::kDriveCDROM});
  platform::host::SetDrives(many);
  try {
    FindCDDrive();
    ADD_FAILURE() << "no error raised";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), platform::SystemErrorText(14));
  }
}

TEST_F(HostMachine, TheEnvironmentIsTheProcesssOwn) {
  ASSERT_EQ(setenv("MODKIT_TEST_VAR", "C:\\value", 1), 0);
  LoadEnvironment();
  unsetenv("MODKIT_TEST_VAR");
  EXPECT_EQ(Narrow(ExpandPathVars(u"%modkit_test_var%\\x")), "C:\\value\\x");
  for (const TSysVar& v : EnvironmentTable) EXPECT_FALSE(v.Name.empty());
}

TEST_F(HostMachine, ShellLinksNeedWindows) {
  EXPECT_THROW(CreateShortcut("Z:\\tmp\\x.lnk", "Z:\\tmp\\x.exe", ""), std::runtime_error);
}

TEST(RemoveDirTreeOnHost, AnEntryThatCannotBeDeletedEndsTheWalk) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
  TempDir tmp;
  fs::create_directories(tmp.File("tree/locked"));
  WriteFileText(tmp.File("tree/locked/stays.txt"), "x");
  WriteFileText(tmp.File("tree/goes.txt"), "x");
  fs::permissions(tmp.File("tree/locked"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(RemoveDirTree(tmp.Path() + "\\tree"));
  EXPECT_FALSE(fs::exists(tmp.File("tree/goes.txt")));
  EXPECT_TRUE(fs::exists(tmp.File("tree/locked/stays.txt")));
  fs::permissions(tmp.File("tree/locked"), fs::perms::owner_all);
}
