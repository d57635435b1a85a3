#include "Setup/SE_SetupThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>

#include "Setup/SE_Ending.h"
#include "Setup/SE_Startup.h"
#include "Setup/SE_Uninstaller.h"
#include "diagnostics/SHookQuiet.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "installer-library/SE_VFS.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/MD5.h"
#include "tests/Global/VFSImage.h"
#include "tests/Setup/RuntimeFixture.h"
#include "tests/support/Eventually.h"

namespace {

using namespace std::chrono_literals;

class SetupThreadTest : public RuntimeTest {
 protected:
  // Raises the running flag as the patching page does and waits for it to
  // fall; false when it did not fall within the time.
  static bool RunOnce(TSetupThread& thread, std::chrono::milliseconds limit = 10s) {
    CurrentLine = -1;
    thread.Running = true;
    auto end = std::chrono::steady_clock::now() + limit;
    while (thread.Running)
      if (std::chrono::steady_clock::now() > end) return false;
    return true;
  }

  std::string LogFile() const { return TUninstallList::LogPath(installDir, SetupInfoFile.UninstallPrefix); }
};

}  // namespace

TEST_F(SetupThreadTest, TheInterpreterFollowsJumpsAndAborts) {
  const int32_t step = AddCommand();
  // Jumps to its parameter the first time each of its lines runs.
  std::vector<int32_t> jumped;
  const int32_t jump = AddCommand([&](int32_t line) {
    if (std::find(jumped.begin(), jumped.end(), line) != jumped.end()) return;
    jumped.push_back(line);
    CurrentLine = LineFromStr(CompLines.Lines[static_cast<size_t>(line)].Params.at(0));
  });
  const int32_t abort = AddCommand([](int32_t) { AbortFlag = true; });
  const TCompLine label = Cmd(0, {"there"}), placeholder = Cmd(-1), unknown = Cmd(99);
  auto jumpTo = [&](const std::string& target) { return Cmd(jump, {target}); };
  struct Case {
    const char* name;
    std::vector<TCompLine> lines;
    std::vector<int32_t> ran;
    int32_t currentLine;  // after the run
    bool aborted;
  } cases[] = {
      {"no lines", {}, {}, -1, false},
      {"labels, placeholders and unknown ids are stepped over",
       {Cmd(step), label, placeholder, unknown, Cmd(step)},
       {0, 4},
       5,
       false},
      {"a jump lands after its target", {Cmd(step), jumpTo("3"), Cmd(step), label, Cmd(step)}, {0, 1, 4}, 5, false},
      {"a jump to the last line ends the run", {Cmd(step), jumpTo("3"), Cmd(step), Cmd(step)}, {0, 1}, 4, false},
      {"a jump below the first line goes on at the first", {jumpTo("-9"), Cmd(step)}, {0, 0, 1}, 2, false},
      {"a jump to the largest index ends without wrapping", {jumpTo("2147483647"), Cmd(step)}, {0}, 2147483647, false},
      {"an abort stops after its own step", {Cmd(step), Cmd(abort), Cmd(step)}, {0, 1}, 1, true},
      {"an abort on the last line", {Cmd(step), Cmd(abort)}, {0, 1}, 1, true},
  };
  for (const Case& c : cases) {
    CompLines = Script(c.lines);
    ran.clear();
    jumped.clear();
    CurrentLine = -1;
    AbortFlag = false;
    RunCompiledLines();
    EXPECT_EQ(ran, c.ran) << c.name;
    EXPECT_EQ(CurrentLine, c.currentLine) << c.name;
    EXPECT_EQ(AbortFlag, c.aborted) << c.name;
  }
}

TEST_F(SetupThreadTest, FinishingStepsRunAfterTheLastLineAndAfterAnAbort) {
  const int32_t step = AddCommand();
  const int32_t abort = AddCommand([](int32_t) { AbortFlag = true; });
  OpenArchive(
      WriteArchiveFile("setup.exe", {{"UNINSTALL_Pages.txt", 0, "[pages]"}, {"SetupInfo", 0, "x"}}, "MZ program"));
  SetupInfoFile.UninstallExe = "Uninstall.exe";
  struct Case {
    const char* name;
    std::vector<TCompLine> lines;
    uint8_t hasUninstall;
  } cases[] = {
      {"complete, with uninstaller", {Cmd(step), Cmd(step)}, 1},
      {"aborted at once, with uninstaller", {Cmd(abort), Cmd(step)}, 1},
      {"no lines, with uninstaller", {}, 1},
      {"complete, without uninstaller", {Cmd(step)}, 0},
      {"aborted, without uninstaller", {Cmd(abort)}, 0},
  };
  TSetupThread thread;
  for (const Case& c : cases) {
    platform::RemoveFile(LogFile());
    platform::RemoveFile(UninstallerPath());
    platform::RemoveEmptyDir(installDir);
    AbortFlag = false;
    CompLines = Script(c.lines);
    SetupInfoFile.HasUninstall = c.hasUninstall;
    ASSERT_TRUE(RunOnce(thread)) << c.name;
    EXPECT_TRUE(platform::DirectoryExists(installDir)) << c.name;
    EXPECT_EQ(platform::FileExists(LogFile()), c.hasUninstall == 1) << c.name;
    EXPECT_EQ(platform::FileExists(UninstallerPath()), c.hasUninstall == 1) << c.name;
    EXPECT_EQ(thread.FinishError(), "") << c.name;
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(SetupThreadTest, AContainerKeptOpenByTheLastUpdateIsSavedAndClosedWhenTheScriptEnds) {
  // The container's checksum covers everything after its first 44 bytes
  // and sits at byte 28; the one written by the layout is made up.
  auto checksumValid = [](const Bytes& file) {
    platform::MD5Hash md5;
    md5.Update(file.data() + 44, file.size() - 44);
    uint8_t digest[16];
    md5.Finish(digest);
    return std::equal(digest, digest + 16, file.begin() + 28);
  };
  OpenArchive(WriteArchiveFile("setup.exe", {{"data\\a.dat", 1, "contents"}}));
  const int32_t keepOpen = AddCommand([](int32_t) { UpdateGameVFS(1, "c.vfs", false); });
  const int32_t step = AddCommand();
  const int32_t abort = AddCommand([](int32_t) { AbortFlag = true; });
  const int32_t raise = AddCommand([](int32_t) { throw std::runtime_error("broken"); });
  struct Case {
    const char* name;
    std::vector<TCompLine> lines;
  } cases[] = {
      {"the last line keeps it open", {Cmd(step), Cmd(keepOpen)}},
      {"a later line aborts the script", {Cmd(keepOpen), Cmd(abort), Cmd(step)}},
      {"a later line raises", {Cmd(keepOpen), Cmd(raise), Cmd(step)}},
  };
  platform::MakeDir(installDir);
  vfs_test::Layout layout;
  layout.blockSize = 512;
  layout.blockCount = 64;
  for (const Case& c : cases) {
    testing_support::WriteFileBytes(dir.File("Game/c.vfs"), layout.Build());
    platform::RemoveFile(installDir + "\\c.ht");
    AbortFlag = false;
    CompLines = Script(c.lines);
    {
      // A raising run ends the thread in the error report, not the flag.
      TSetupThread thread;
      CurrentLine = -1;
      const int reported = errorCount;
      thread.Running = true;
      EXPECT_TRUE(testing_support::Eventually([&] { return !thread.Running || errorCount > reported; })) << c.name;
    }
    EXPECT_FALSE(GameVFS) << c.name;
    EXPECT_TRUE(checksumValid(testing_support::ReadFileBytes(dir.File("Game/c.vfs")))) << c.name;
    EXPECT_TRUE(platform::FileExists(installDir + "\\c.ht")) << c.name;
  }
  EXPECT_EQ(errors, (std::vector<ReportedError>{{"broken", "Setup Thread"}}));
}

TEST_F(SetupThreadTest, TheLogIsSavedBeforeTheUninstallerIsBuilt) {
  SetupInfoFile.HasUninstall = 1;
  SetupInfoFile.UninstallExe = "Uninstall.exe";
  SetupInfoFile.UninstallPrefix = "cool_";
  UninstallList.AddFile(installDir + "\\data\\a.dat");
  // No archive: the log is written, the uninstaller has nothing to carry.
  EXPECT_EQ(FinishInstallation(), "");
  TUninstallList loaded;
  ASSERT_TRUE(loaded.LoadFromFile(installDir, "cool_"));
  EXPECT_EQ(loaded.Files(), UninstallList.Files());
  // The install folder was made and logged by the finishing steps.
  EXPECT_TRUE(platform::DirectoryExists(installDir));
}

TEST_F(SetupThreadTest, AFailedFinishIsReported) {
  SetupInfoFile.HasUninstall = 1;
  SetupInfoFile.UninstallExe = "Uninstall.exe";
  // The install folder is a file: neither the log nor the uninstaller fit.
  // Nothing could remove the installation: the player is told, and it ends
  // as failed.
  testing_support::WriteFileText(dir.File("Game"), "in the way");
  EXPECT_EQ(FinishInstallation(), "");
  EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"Error: The uninstall log could not be written: " + LogFile(),
                                              "Setup Error", platform::kMbOk}}));
  EXPECT_TRUE(AbortFlag);
  EXPECT_FALSE(platform::FileExists(UninstallerPath()));
}

TEST_F(SetupThreadTest, StopEndsAnIdleThreadPromptlyAndARunFirst) {
  {
    TSetupThread idle;
    std::this_thread::sleep_for(5ms);
    auto start = std::chrono::steady_clock::now();
    idle.Stop();
    idle.WaitFor();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  }
  // A step that waits until the test lets it go, after the stop request.
  std::mutex m;
  std::condition_variable cv;
  bool entered = false, release = false;
  const int32_t wait = AddCommand([&](int32_t) {
    std::unique_lock<std::mutex> lock(m);
    entered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  });
  const int32_t step = AddCommand();
  CompLines = Script({Cmd(wait), Cmd(step)});
  TSetupThread thread;
  CurrentLine = -1;
  thread.Running = true;
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return entered; });
  }
  thread.Stop();
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  thread.WaitFor();
  EXPECT_EQ(ran, (std::vector<int32_t>{0, 1}));
  EXPECT_FALSE(thread.Running);
  EXPECT_TRUE(platform::DirectoryExists(installDir));
}

TEST_F(SetupThreadTest, AnExceptionInAStepIsReportedAfterTheLogAndTheUninstallerAreWritten) {
  SetupInfoFile.HasUninstall = 1;
  SetupInfoFile.UninstallExe = "Uninstall.exe";
  OpenArchive(WriteArchiveFile("setup.exe", {{"UNINSTALL_Pages.txt", 0, "[pages]"}, {"UNINSTALL_ICON.ICO", 0, "icon"}},
                               "MZ program"));
  // What the finishing steps throw on the way must not replace the trace of
  // the error the report names.
  bool quiet = false;
  const TIconWriter savedWriter = UninstallerIconWriter;
  UninstallerIconWriter = [&quiet](const Bytes&, const std::string&) { return quiet = HookQuietOnThisThread(); };
  struct Case {
    const char* name;
    std::function<void()> raise;
    const char* text;
  } cases[] = {
      {"a standard exception", [] { throw std::runtime_error("Access violation"); }, "Access violation"},
      {"anything else", [] { throw 42; }, "Unknown Error"},
  };
  for (const Case& c : cases) {
    platform::RemoveFile(LogFile());
    platform::RemoveFile(UninstallerPath());
    UninstallList.Clear();
    CommandList = TCommandList();
    errors.clear();
    errorCount = 0;
    ran.clear();
    quiet = false;
    const int32_t fail = AddCommand([&](int32_t) {
      UninstallList.AddFile(installDir + "\\done before.txt");
      c.raise();
    });
    const int32_t step = AddCommand();
    CompLines = Script({Cmd(fail), Cmd(step)});
    {
      TSetupThread thread;
      CurrentLine = -1;
      thread.Running = true;
      auto end = std::chrono::steady_clock::now() + 10s;
      while (errorCount == 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(errors, (std::vector<ReportedError>{{c.text, "Setup Thread"}})) << c.name;
    EXPECT_EQ(ran, (std::vector<int32_t>{0})) << c.name;
    // What the run did before the error stays removable.
    TUninstallList log;
    EXPECT_TRUE(log.LoadFromFile(installDir, SetupInfoFile.UninstallPrefix)) << c.name;
    EXPECT_EQ(log.Files(), (std::vector<std::string>{"$INSTDIR\\install.owner", "$INSTDIR\\done before.txt"}))
        << c.name;
    EXPECT_TRUE(platform::FileExists(UninstallerPath())) << c.name;
    EXPECT_TRUE(quiet) << c.name << ": the exception hook is quiet while they run";
  }
  UninstallerIconWriter = savedWriter;
}

TEST_F(SetupThreadTest, OnlyALogOfThisSetupIsTakenOverAndAnotherStaysAsItWas) {
  SetupInfoFile.HasUninstall = 1;
  struct Case {
    const char* name;
    const char* mark;  // whose the mark beside the log says it is; null: no mark
    bool entry;        // this setup's uninstall entry names the uninstaller there
    bool silent;
    bool ours;
  } cases[] = {
      {"another setup's log", "Other Mod", false, false, false},
      {"another setup's log, in a silent run", "Other Mod", false, true, false},
      {"a log without a mark that no entry of this setup names", nullptr, false, false, false},
      {"this setup's log", kShortName, false, false, true},
      {"this setup's log of an earlier version, named by its entry", nullptr, true, false, true},
  };
  const std::string own = std::string(kShortName) + "_";
  TUninstallList earlier;
  earlier.AddFile(installDir + "\\theirs.txt");
  for (const Case& c : cases) {
    for (const std::string& prefix : {std::string(), own}) {
      platform::RemoveFile(TUninstallList::LogPath(installDir, prefix));
      platform::RemoveFile(TUninstallList::OwnerPath(installDir, prefix));
    }
    platform::MakeDir(installDir);
    ASSERT_TRUE(earlier.SaveToFile(installDir, ""));
    if (c.mark) testing_support::WriteFileText(dir.File("Game/install.owner"), c.mark);
    const Bytes other = testing_support::ReadFileBytes(dir.File("Game/install.log"));
    SetupInfoFile.UninstallPrefix.clear();
    SetupInfoFile.UninstallExe = "Uninstall.exe";
    RemoveUninstallKey();
    if (c.entry) {
      ASSERT_TRUE(RegisterUninstaller());
    }
    Silent = c.silent;
    boxes.clear();
    UninstallList.Clear();

    BeginInstallation();
    UninstallList.KeepSaved("", "");
    Silent = false;
    EXPECT_EQ(UninstallList.NamesFile(installDir + "\\theirs.txt"), c.ours) << c.name;
    const std::string names = c.ours ? "" : own;
    EXPECT_EQ(SetupInfoFile.UninstallPrefix, names) << c.name;
    EXPECT_EQ(SetupInfoFile.UninstallExe, names + "Uninstall.exe") << c.name;
    TUninstallList saved;
    EXPECT_TRUE(saved.LoadFromFile(installDir, names)) << c.name << ": its own log, saved";
    EXPECT_TRUE(saved.NamesFile(TUninstallList::OwnerPath(installDir, names))) << c.name << ": with its mark";
    EXPECT_EQ(ReadText(TUninstallList::OwnerPath(installDir, names)), kShortName) << c.name;
    if (c.ours) {
      EXPECT_TRUE(boxes.empty()) << c.name;
      continue;
    }
    EXPECT_EQ(testing_support::ReadFileBytes(dir.File("Game/install.log")), other)
        << c.name << ": the other log as it was";
    EXPECT_EQ(platform::FileExists(TUninstallList::OwnerPath(installDir, "")), c.mark != nullptr) << c.name;
    const std::vector<RecordedBox> told = {{"The install folder holds the uninstall log of another installation: " +
                                                TUninstallList::LogPath(installDir, "") +
                                                "\rIt was left as it is. This installation keeps its own log, " +
                                                installDir + "\\" + own + "install.log, and its own uninstaller, " +
                                                installDir + "\\" + own + "Uninstall.exe.",
                                            "Information", platform::kMbOk}};
    EXPECT_EQ(boxes, c.silent ? std::vector<RecordedBox>{} : told) << c.name;
  }
}
