// Starting the finaliser, seen through the host's record of shell starts
// (a Windows build would really start it).
#include <gtest/gtest.h>

#include <filesystem>

#include "Setup/SE_Uninstall.h"
#include "installer-library/SE_Global.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/HostSystem.h"
#include "platform/Program.h"
#include "platform/TempPath.h"
#include "tests/Setup/RuntimeFixture.h"
#include "tests/support/TempFolderOverride.h"

TEST_F(RuntimeTest, TheFinaliserIsWrittenToTheTemporaryFolderAndStartedWithTheOwnPath) {
  const std::string finaliser = platform::TempPath() + "FINALISE.exe";
  struct Case {
    const char* name;
    std::vector<ArchiveItem> items;
    bool started;
  } cases[] = {
      {"carried", {{"Pages.txt", 0, "x"}, {"finalise.exe", 0, "MZ finaliser"}}, true},
      {"not carried", {{"Pages.txt", 0, "x"}}, false},
      {"in another group", {{"FINALISE.EXE", 1, "MZ finaliser"}}, false},
  };
  for (const Case& c : cases) {
    platform::RemoveFile(finaliser);
    OpenArchive(WriteArchiveFile(std::string(c.name) + ".exe", c.items));
    RunFinaliser();
    std::vector<platform::host::ShellProcessStart> starts = platform::host::TakeShellProcessStarts();
    ASSERT_EQ(starts.size(), c.started ? 1u : 0u) << c.name;
    EXPECT_EQ(platform::FileExists(finaliser), c.started) << c.name;
    if (!c.started) continue;
    EXPECT_EQ(starts[0].File, finaliser);
    EXPECT_EQ(starts[0].Parameters, "\"" + platform::ProgramFile() + "\"");
    EXPECT_TRUE(starts[0].HasParameters);
    EXPECT_EQ(starts[0].Owner, nullptr);
    EXPECT_EQ(platform::host::OpenShellProcesses(), 0u) << "not waited for";
    Bytes written = ReadWholeFile(finaliser);
    EXPECT_EQ(std::string(written.begin(), written.end()), "MZ finaliser");
  }
  platform::RemoveFile(finaliser);
}

TEST_F(RuntimeTest, AFinaliserThatCannotBeWrittenIsNotStarted) {
  // The name is taken by a folder, as by a file still in use: whatever is
  // there must not be started in the new one's place.
  platform::MakeDir(dir.File("FINALISE.exe"));
  testing_support::TempFolderOverride temp(std::filesystem::absolute(dir.Path()).string());
  OpenArchive(WriteArchiveFile("uninstaller.exe", {{"FINALISE.EXE", 0, "MZ finaliser"}}));
  RunFinaliser();
  EXPECT_TRUE(platform::host::TakeShellProcessStarts().empty());
}
