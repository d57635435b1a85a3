// Run steps that start programs or look for CD-ROM drives, against a
// machine the test sets up through the host stand-ins.
#include "installer-library/QXI_Commands.h"

#include <gtest/gtest.h>

#include "platform/HostSystem.h"
#include "platform/Shell.h"
#include "platform/System.h"
#include "tests/installer-library/CommandRunFixture.h"

using namespace command_testing;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

namespace {

class HostRun : public CommandRun {
 protected:
  void SetUp() override {
    CommandRun::SetUp();
    platform::host::TakeShellProcessStarts();
    platform::host::SetShellProcessOutcome({});
  }
  void TearDown() override {
    platform::host::SetDrives({});
    ApplicationWindow = nullptr;
    ApplicationTerminating = false;
    CommandRun::TearDown();
  }
};

}  // namespace

TEST_F(HostRun, ExecuteWaitsForTheProgramUntilItEndsOrTheRunStops) {
  int owner = 0;
  ApplicationWindow = &owner;
  struct Case {
    platform::host::ShellProcessOutcome outcome;
    bool abort, terminating;
  };
  const Case cases[] = {
      {{true, true, 5}, false, false},       // ends after five looks
      {{true, true, 1 << 30}, true, false},  // never ends: the abort stops the wait
      {{true, true, 1 << 30}, false, true},  // nor does closing the program
      {{true, false, 0}, false, false},      // handed to a running program: nothing to wait for
      {{false, false, 0}, false, false},     // the shell failed: nothing happens
  };
  for (const Case& c : cases) {
    platform::host::SetShellProcessOutcome(c.outcome);
    AbortFlag = c.abort;
    ApplicationTerminating = c.terminating;
    RunLine(kExecute, {"$INSTDIR\\setup.exe", "-q $INSTDIR"});
    std::vector<platform::host::ShellProcessStart> starts = platform::host::TakeShellProcessStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].File, inst + "\\setup.exe");
    EXPECT_EQ(starts[0].Parameters, "-q " + inst);
    EXPECT_EQ(starts[0].Owner, &owner);
    EXPECT_EQ(starts[0].ShowCommand, 1);
    EXPECT_EQ(platform::host::OpenShellProcesses(), 0u);  // the handle was closed
  }
  RunLine(kExecute, {"readme.txt"});
  EXPECT_FALSE(platform::host::TakeShellProcessStarts().at(0).HasParameters);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HostRun, CdDrivePathsUseTheCdRomThatHoldsTheFile) {
  // Host drive roots may be any folder, so each "drive" is a folder here,
  // relative so that the drive list fits the system's buffer.
  for (const char* d : {"fixed", "cd1", "cd2"}) fs::create_directories(tmp.File(std::string(d) + "/data"));
  WriteFileText(tmp.File("fixed/data/a.bin"), "on the hard disk");
  WriteFileText(tmp.File("cd2/data/a.bin"), "on the second CD");
  auto root = [&](const char* d) { return tmp.Path() + "\\" + d + "\\"; };
  platform::host::SetDrives({{root("fixed"), platform::kDriveFixed},
                             {root("cd1"), platform::kDriveCDROM},
                             {root("cd2"), platform::kDriveCDROM}});
  CDDriveRoot = root("cd1");  // found at start-up: the first CD-ROM

  struct Case {
    std::string text, resolved;
  };
  const Case cases[] = {
      {"$CDDRIVE\\data\\a.bin", root("cd2") + "\\data\\a.bin"},
      {"$cddrive\\DATA\\none.bin", "$cddrive\\DATA\\none.bin"},  // later expanded to the first CD
      {"$CDDRIVE$INSTDIR\\a.bin", "$CDDRIVE$INSTDIR\\a.bin"},    // other variables are not expanded first
      {"C:\\data\\a.bin", "C:\\data\\a.bin"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveCDDrive(c.text), c.resolved) << c.text;

  CurrentLine = 3;
  RunLine(kIfFileExists, {"$CDDRIVE\\data\\a.bin", "5", "9"});
  EXPECT_EQ(CurrentLine, 5);
  RunLine(kCopyFile, {"$CDDRIVE\\data\\a.bin", "$INSTDIR\\a.bin"});
  EXPECT_EQ(testing_support::ReadFileBytes(InInst("a.bin")).size(), std::string("on the second CD").size());
  EXPECT_EQ(TakeStatusUpdate().StatusText, "Copying a.bin");
}

TEST_F(HostRun, RmdirRemovesOnlyAFullPathOutsideTheFoldersOfTheSystemAndItsUsers) {
  // Stand-ins of this machine's folders; two of them real, with another
  // name for each, as a short name or a junction gives on Windows.
  const std::string root = testing_support::DrivePath(tmp.Path());
  fs::create_directories(tmp.File("win/sys"));
  fs::create_directories(tmp.File("common"));
  std::error_code noLinks;
  fs::create_directory_symlink(fs::absolute(tmp.File("win")), tmp.File("winlink"), noLinks);
  fs::create_directory_symlink(fs::absolute(tmp.File("common")), tmp.File("COMMON~1"), noLinks);
  const std::vector<std::pair<int, std::string>> folders = {
      {platform::kShellWindows, "C:\\Windows\\"},
      {platform::kShellProgramFiles, "C:\\Program Files"},
      {42, "C:\\Program Files (x86)"},
      {35, "C:\\ProgramData"},
      {platform::kShellProfile, "C:\\users\\bob"},
      {platform::kShellDesktop, "C:\\users\\bob\\Desktop"},
      {platform::kShellPrograms, "C:\\users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
      {5, "C:\\users\\bob\\Documents"},
      {43, root + "\\common"},
  };
  for (const auto& [id, path] : folders) platform::host::SetShellFolder(id, path);
  const std::string kept = "a folder of the system or of its users";
  struct Case {
    std::string path, resolved, refusal;
  } cases[] = {
      {"C:\\Games\\Mod", "C:\\Games\\Mod", ""},
      {"c:/Games/./Mod/", "C:\\Games\\Mod", ""},
      {"C:\\x\\..\\Games\\Mod.\\..", "C:\\Games", ""},
      {"\\\\?\\C:\\Games\\Mod", "C:\\Games\\Mod", ""},
      {"\\\\?\\UNC\\Server\\Share\\Mods", "\\\\server\\share\\Mods", ""},
      {"C:\\Windows Games", "C:\\Windows Games", ""},
      {"Games\\Mod", "", "not a full path"},
      {"\\Games", "", "not a full path"},
      {"C:Games", "", "not a full path"},
      {"", "", "not a full path"},
      {"\\\\server", "", "not a full path"},
      {"C:", "", "a whole drive"},
      {"C:\\x\\..", "", "a whole drive"},
      {"C:\\..\\..\\", "", "a whole drive"},
      {"C:\\...", "", "a whole drive"},
      {"\\\\?\\C:\\", "", "a whole drive"},
      {"\\\\server\\share\\dir\\..", "", "a whole drive"},
      {"c:\\WINDOWS\\.", "", "the Windows folder"},
      {"C:\\Windows\\System32\\..", "", "the Windows folder"},
      {"C:\\windows\\sub", "", "inside the Windows folder"},
      {"C:\\Windows\\System32", "", "inside the Windows folder"},
      // other names of a drive, of the Windows folder, or of no folder at all
      {"\\\\localhost\\c$\\windows", "", "an administrative share"},
      {"\\\\?\\UNC\\127.0.0.1\\ADMIN$\\x", "", "an administrative share"},
      {"C:\\windows::$INDEX_ALLOCATION", "", "\"windows::$INDEX_ALLOCATION\" is no plain folder name"},
      {"C:\\Games\\Mod:stream", "", "\"Mod:stream\" is no plain folder name"},
      {"C:\\Games\\*", "", "\"*\" is no plain folder name"},
      {"C:\\Games\\NUL", "", "\"NUL\" is no plain folder name"},
      // the folders of the system and its users themselves, and what holds them
      {"C:\\Program Files\\Quexar\\..", "", kept},
      {"C:\\Program Files\\Quexar", "C:\\Program Files\\Quexar", ""},
      {"c:\\PROGRAM FILES (X86)\\", "", kept},
      {"C:\\ProgramData", "", kept},
      {"C:\\ProgramData\\Quexar", "C:\\ProgramData\\Quexar", ""},
      {"C:\\users", "", "it holds C:\\users\\bob\\Desktop"},
      {"C:\\users\\bob", "", kept},
      {"C:\\Users\\alice", "", "a user's profile"},
      {"C:\\Users\\Public\\Mod", "C:\\Users\\Public\\Mod", ""},
      {"C:\\users\\bob\\Desktop", "", kept},
      {"C:\\users\\bob\\Desktop\\My Mod", "C:\\users\\bob\\Desktop\\My Mod", ""},
      {"c:/users/bob/documents/", "", kept},
      {"C:\\users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", "",
       "it holds C:\\users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
  };
  for (const Case& c : cases) {
    std::string refusal;
    EXPECT_EQ(ResolveRemovableDir(c.path, refusal), c.resolved) << c.path;
    EXPECT_EQ(refusal, c.refusal) << c.path;
  }
  if (!noLinks) {
    platform::host::SetShellFolder(platform::kShellWindows, root + "\\win");
    std::string refusal;
    EXPECT_EQ(ResolveRemovableDir(root + "\\winlink\\sys", refusal), "");
    EXPECT_EQ(refusal, "inside the Windows folder");
    EXPECT_EQ(ResolveRemovableDir(root + "\\COMMON~1", refusal), "");
    EXPECT_EQ(refusal, kept);
    EXPECT_EQ(ResolveRemovableDir(root + "\\sub", refusal), root + "\\sub");
  }
  for (const auto& [id, path] : folders) platform::host::SetShellFolder(id, "");
  // A refused path ends the installation and removes nothing.
  fs::create_directories(InInst("keep"));
  RunLine(kRMDir, {"keep", "1"});
  ExpectFailure("Error: Unable to remove <keep>: not a full path");
  EXPECT_TRUE(fs::exists(InInst("keep")));
}
