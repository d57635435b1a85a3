// Run steps that reach the shell, under Windows itself: shortcuts and
// started programs.
#include "installer-library/QXI_Commands.h"

#include <gtest/gtest.h>

#include "tests/installer-library/CommandRunFixture.h"
#include "tests/installer-library/ShellLinks_win32.h"

using namespace command_testing;
using testing_support::DrivePath;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

TEST_F(CommandRun, ShortcutsTakeTheirIconFromTheTargetUnlessGivenOne) {
  ComScope com;
  StartMenuProgramsDir = DrivePath(tmp.File("menu")) + "\\";
  fs::create_directory(tmp.File("menu"));
  WriteFileText(InInst("game.exe"), "MZ");
  WriteFileText(InInst("mod.ico"), "icon");
  RunLine(kCreateShortCut, {"$SMPROGRAMS\\Mod\\Play.lnk", "$INSTDIR\\game.exe", "mod $LANGUAGESELECTION"});
  RunLine(kCreateShortCut, {"$SMPROGRAMS\\Mod\\Icon.lnk", "$INSTDIR\\game.exe", "", "$INSTDIR\\mod.ico"});

  LinkFields play = ReadLink(StartMenuProgramsDir + "Mod\\Play.lnk");
  EXPECT_EQ(_stricmp(play.path.c_str(), (inst + "\\game.exe").c_str()), 0) << play.path;
  EXPECT_EQ(play.arguments, "mod English");
  EXPECT_EQ(play.iconPath, "");
  LinkFields icon = ReadLink(StartMenuProgramsDir + "Mod\\Icon.lnk");
  EXPECT_EQ(_stricmp(icon.iconPath.c_str(), (inst + "\\mod.ico").c_str()), 0) << icon.iconPath;

  // The folder values end in a backslash, which stays after the variable.
  EXPECT_EQ(UninstallList.Files(),
            (std::vector<std::string>{"$SMPROGRAMS\\Mod\\Play.lnk", "$SMPROGRAMS\\Mod\\Icon.lnk"}));
  EXPECT_EQ(UninstallList.Dirs(), std::vector<std::string>{"$SMPROGRAMS\\Mod\\"});

  // A link that cannot be saved (a file stands where its folder should be)
  // is not logged, and ends the installation.
  WriteFileText(InInst("blocker"), "a file");
  RunLine(kCreateShortCut, {"$INSTDIR\\blocker\\Play.lnk", "$INSTDIR\\game.exe", ""});
  ExpectFailure("Error: Unable to create the shortcut <" + inst + "\\blocker\\Play.lnk>");
  EXPECT_EQ(UninstallList.Files().size(), 2u);
}

TEST_F(CommandRun, ExecuteReturnsOnceTheStartedProgramHasEnded) {
  // The program writes its file as its last act, so the file is complete
  // exactly when the wait is over.
  RunLine(kExecute, {"cmd.exe", "/c echo started>\"$INSTDIR\\a.txt\"&echo done>>\"$INSTDIR\\a.txt\""});
  ASSERT_TRUE(fs::exists(InInst("a.txt")));
  std::vector<uint8_t> b = testing_support::ReadFileBytes(InInst("a.txt"));
  EXPECT_EQ(std::string(b.begin(), b.end()), "started\r\ndone\r\n");
  // The code the system uses for "still active" ends the wait too.
  RunLine(kExecute, {"cmd.exe", "/c exit 259"});
}
