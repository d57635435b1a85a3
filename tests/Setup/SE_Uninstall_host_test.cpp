// Starting the finaliser, seen through the host's record of shell starts
// (a Windows build would really start it).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "Setup/SE_Uninstall.h"
#include "installer-library/SE_Global.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/HostSystem.h"
#include "platform/Program.h"
#include "platform/TempPath.h"
#include "tests/Setup/RuntimeFixture.h"
#include "tests/support/TempFolderOverride.h"

// Each run makes a folder of its own in the temporary folder and starts the
// finaliser from there; a file of the fixed name in the temporary folder
// itself, the user's own, is never touched.
TEST_F(RuntimeTest, TheFinaliserIsStartedFromAFolderOfItsOwnWithTheOwnPath) {
  testing_support::TempFolderOverride temp(std::filesystem::absolute(dir.File("temp")).string());
  platform::MakeDir(dir.File("temp"));
  const std::string usersOwn = platform::TempPath() + "FINALISE.exe";
  WriteText(usersOwn, "the user's own");
  struct Case {
    const char* name;
    std::vector<ArchiveItem> items;
    bool started;
  } cases[] = {
      {"carried", {{"Pages.txt", 0, "x"}, {"finalise.exe", 0, "MZ finaliser"}}, true},
      {"carried again", {{"FINALISE.EXE", 0, "MZ finaliser"}}, true},
      {"not carried", {{"Pages.txt", 0, "x"}}, false},
      {"in another group", {{"FINALISE.EXE", 1, "MZ finaliser"}}, false},
  };
  std::set<std::string> folders;
  for (const Case& c : cases) {
    OpenArchive(WriteArchiveFile(std::string(c.name) + ".exe", c.items));
    RunFinaliser();
    std::vector<platform::host::ShellProcessStart> starts = platform::host::TakeShellProcessStarts();
    ASSERT_EQ(starts.size(), c.started ? 1u : 0u) << c.name;
    if (!c.started) continue;
    const std::string& file = starts[0].File;
    const std::string folder = file.substr(0, file.rfind('\\') + 1);
    EXPECT_EQ(file.substr(folder.size()), "FINALISE.exe");
    EXPECT_EQ(folder.rfind(platform::TempPath(), 0), 0u) << file;
    EXPECT_EQ(folder.find('\\', platform::TempPath().size()), folder.size() - 1) << "directly in it: " << file;
    EXPECT_TRUE(folders.insert(folder).second) << "a new folder each time: " << file;
    EXPECT_EQ(starts[0].Parameters, "\"" + platform::ProgramFile() + "\"");
    EXPECT_TRUE(starts[0].HasParameters);
    EXPECT_EQ(starts[0].Owner, nullptr);
    EXPECT_EQ(platform::host::OpenShellProcesses(), 0u) << "not waited for";
    EXPECT_EQ(ReadText(file), "MZ finaliser");
  }
  EXPECT_EQ(ReadText(usersOwn), "the user's own");
}

TEST_F(RuntimeTest, AFinaliserThatCannotBeWrittenIsNotStarted) {
  // No temporary folder to make a folder in.
  testing_support::TempFolderOverride temp(std::filesystem::absolute(dir.File("missing")).string());
  OpenArchive(WriteArchiveFile("uninstaller.exe", {{"FINALISE.EXE", 0, "MZ finaliser"}}));
  RunFinaliser();
  EXPECT_TRUE(platform::host::TakeShellProcessStarts().empty());
}
