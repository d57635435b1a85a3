#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "Setup/SE_SetupThread.h"
#include "Setup/SE_Uninstaller.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/File.h"
#include "tests/Setup/RuntimeFixture.h"

// A thread the system ends in the middle of a step (as Wine ends one whose
// fault handler faults again) never lowers its running flag: the window's
// wait notices, and the run ends as failed with the log and the uninstaller
// for what was done.
TEST_F(RuntimeTest, ARunWhoseThreadEndsUnderwayEndsAsFailedWithItsLog) {
  SetupInfoFile.HasUninstall = 1;
  SetupInfoFile.UninstallExe = "Uninstall.exe";
  OpenArchive(WriteArchiveFile("setup.exe", {{"UNINSTALL_Pages.txt", 0, "[pages]"}}, "MZ program"));
  const int32_t die = AddCommand([&](int32_t) {
    UninstallList.AddFile(installDir + "\\done before.txt");
    ExitThread(0);
  });
  CompLines = Script({Cmd(die), Cmd(AddCommand())});
  TSetupThread thread;
  CurrentLine = -1;
  thread.Running = true;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (thread.Running && std::chrono::steady_clock::now() < end) thread.EndRunOfEndedThread();
  EXPECT_FALSE(thread.Running);
  EXPECT_EQ(ran, std::vector<int32_t>{0});
  EXPECT_EQ(thread.FinishError(), "Error: The installation stopped before it was finished");
  TUninstallList log;
  EXPECT_TRUE(log.LoadFromFile(installDir, SetupInfoFile.UninstallPrefix));
  EXPECT_EQ(log.Files(), (std::vector<std::string>{"$INSTDIR\\install.owner", "$INSTDIR\\done before.txt"}));
  EXPECT_TRUE(platform::FileExists(UninstallerPath()));
}
