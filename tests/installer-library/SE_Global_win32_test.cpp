// The installer globals against the Windows services themselves.
#include "installer-library/SE_Global.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <filesystem>

#include "platform/ByteOrder.h"
#include "platform/System.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/installer-library/ShellLinks_win32.h"
#include "tests/support/TempDir.h"

using testing_support::DrivePath;
using testing_support::TempDir;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

namespace {

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }
std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// The show command as stored in the link file's header (Wine's reader does
// not give it back).
uint32_t StoredShowCommand(const std::string& path) {
  std::vector<uint8_t> b = testing_support::ReadFileBytes(path);
  return b.size() >= 0x40 ? GetU32(b.data() + 0x3C) : 0;
}

}  // namespace

class WindowsMachine : public InstallerGlobals {};

TEST_F(WindowsMachine, SpecialFoldersExistAndEndInABackslash) {
  for (const std::string& dir :
       {GetProgramFilesDir(nullptr), GetStartMenuProgramsDir(nullptr), GetDesktopDir(nullptr), GetAppDataDir()}) {
    ASSERT_GE(dir.size(), 4u) << dir;
    EXPECT_EQ(dir[1], ':') << dir;
    EXPECT_EQ(dir.back(), '\\') << dir;
  }
  std::string appData = GetAppDataDir();
  EXPECT_EQ(Narrow(CollapsePathVars(Wide(appData + "Mod\\cfg.ini"))), "$APPDATA\\Mod\\cfg.ini");
  EXPECT_EQ(Narrow(ExpandPathVars(u"$APPDATA\\Mod\\cfg.ini")), appData + "Mod\\cfg.ini");
}

TEST_F(WindowsMachine, TheEnvironmentTableHoldsTheProcessVariables) {
  LoadEnvironment();
  bool hasPath = false;
  for (const TSysVar& v : EnvironmentTable) {
    EXPECT_FALSE(v.Name.empty());
    hasPath = hasPath || _stricmp(v.Name.c_str(), "PATH") == 0;
  }
  EXPECT_TRUE(hasPath);
  char path[32767];
  DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(Narrow(ExpandPathVars(u"%path%")), Narrow(ExpandPathVars(Wide(std::string(path, n)))));
}

TEST_F(WindowsMachine, FindCDDriveGivesACdRomRootOrNothing) {
  std::string root = FindCDDrive();
  if (!root.empty()) {
    EXPECT_EQ(root.size(), 3u);
    EXPECT_EQ(GetDriveTypeA(root.c_str()), static_cast<UINT>(DRIVE_CDROM));
  }
}

TEST_F(WindowsMachine, ShellLinks) {
  ComScope com;
  TempDir tmp;
  std::string base = DrivePath(tmp.Path());
  fs::create_directories(tmp.File("game"));
  WriteFileText(tmp.File("game/game.exe"), "MZ");
  WriteFileText(tmp.File("icon.ico"), "icon");
  std::string target = base + "\\game\\game.exe";

  ASSERT_TRUE(CreateShortcut(base + "\\links\\sub\\Play.lnk", target, "-window"));
  EXPECT_EQ(UninstallList.Dirs(), (std::vector<std::string>{base + "\\links\\", base + "\\links\\sub\\"}));
  LinkFields f = ReadLink(base + "\\links\\sub\\Play.lnk");
  EXPECT_EQ(_stricmp(f.path.c_str(), target.c_str()), 0) << f.path;
  EXPECT_EQ(f.arguments, "-window");
  EXPECT_EQ(_stricmp(f.workingDir.c_str(), (base + "\\game\\").c_str()), 0) << f.workingDir;
  EXPECT_EQ(StoredShowCommand(tmp.File("links/sub/Play.lnk")), static_cast<uint32_t>(SW_SHOWNORMAL));
  EXPECT_EQ(f.iconPath, "");  // the icon is the target's: no explicit location

  ASSERT_TRUE(CreateShortcutWithIcon(base + "\\links\\Icon.lnk", target, "", base + "\\icon.ico"));
  f = ReadLink(base + "\\links\\Icon.lnk");
  EXPECT_EQ(_stricmp(f.iconPath.c_str(), (base + "\\icon.ico").c_str()), 0) << f.iconPath;
  EXPECT_EQ(f.iconIndex, 0);

  ASSERT_TRUE(CreateShellLink(base + "\\Max.lnk", target, "a b", base, SW_SHOWMAXIMIZED, target, 3));
  f = ReadLink(base + "\\Max.lnk");
  EXPECT_EQ(StoredShowCommand(tmp.File("Max.lnk")), static_cast<uint32_t>(SW_SHOWMAXIMIZED));
  EXPECT_EQ(f.arguments, "a b");
  EXPECT_EQ(f.iconPath, "");  // same text as the target: the index is not set either
}

TEST(RemoveDirTreeOnWindows, ALockedFileEndsTheWalk) {
  TempDir tmp;
  fs::create_directories(tmp.File("tree/busy"));
  WriteFileText(tmp.File("tree/busy/locked.txt"), "x");
  WriteFileText(tmp.File("tree/goes.txt"), "x");
  HANDLE h = CreateFileA((tmp.Path() + "\\tree\\busy\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(RemoveDirTree(tmp.Path() + "\\tree"));
  EXPECT_FALSE(fs::exists(tmp.File("tree/goes.txt")));
  EXPECT_TRUE(fs::exists(tmp.File("tree/busy/locked.txt")));
  CloseHandle(h);
  EXPECT_TRUE(RemoveDirTree(tmp.Path() + "\\tree"));
}
