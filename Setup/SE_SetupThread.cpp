#include "Setup/SE_SetupThread.h"

#include <atomic>
#include <chrono>
#include <exception>

#include "Setup/SE_ErrorReport.h"
#include "Setup/SE_Startup.h"
#include "Setup/SE_Uninstaller.h"
#include "diagnostics/SCrashEnding.h"
#include "diagnostics/SHookQuiet.h"
#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_FD.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "installer-library/SE_VFS.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"

std::unique_ptr<TSetupThread> SetupThread;

TSetupThread::TSetupThread() : thread_([this] { Execute(); }) {}

TSetupThread::~TSetupThread() {
  Stop();
  WaitFor();
}

void TSetupThread::Stop() { StopRequested = true; }

void TSetupThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TSetupThread::Execute() {
  try {
    do {
      if (Running) Run();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (!StopRequested);
  } catch (...) {
    ReportUnexpectedError(ExceptionText(std::current_exception()), "Setup Thread");
  }
}

void TSetupThread::Run() {
  {
    platform::ComScope com;  // shell links need COM on this thread
    // The log is kept saved only while this run logs.
    struct TKeepUntilEnd {
      ~TKeepUntilEnd() { UninstallList.KeepSaved("", ""); }
    } keepUntilEnd;
    {
      // A fault that no catch sees (a processor exception, a throw on
      // another path) still leaves the log and the uninstaller for what was
      // done up to there: the crash backstop runs this before its report.
      TCrashEnding crash("Setup Thread", [] { FinishInstallation(); });
      try {
        BeginInstallationLog();
        RunCompiledLines();
      } catch (...) {
        // The report ends the process; what the lines did so far must stay
        // removable, so the log and the uninstaller are written first. Their
        // own failure is left out, and whatever they throw on the way is not
        // traced: the error that stopped the run is the one the report names,
        // with its trace.
        {
          THookQuietScope quiet;
          FinishInstallation();
        }
        throw;
      }
    }
    finishError_ = FinishInstallation();
  }
  Running = false;
}

void TSetupThread::EndRunOfEndedThread() {
  if (!Running || !platform::ThreadEnded(thread_)) return;
  std::string failure = FinishInstallation();
  finishError_ = "Error: The installation stopped before it was finished";
  if (!failure.empty()) finishError_ += "\r" + failure;
  Running = false;
}

void TSetupThread::StopRun() {
  AbortFlag = true;
  while (Running) {
    EndRunOfEndedThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void RunCompiledLines() {
  const int64_t last = static_cast<int64_t>(CompLines.Lines.size()) - 1;
  if (last < 0) return;
  do {
    // A jump may have put any value here; below the first line the next
    // line to run is the first, and nothing wraps past the largest index.
    int64_t line = static_cast<int64_t>(CurrentLine) + 1;
    if (line < 0) line = 0;
    if (line > last) {
      CurrentLine = static_cast<int32_t>(last + 1);
      break;
    }
    CurrentLine = static_cast<int32_t>(line);
    const TCompLine& compiled = CompLines.Lines[static_cast<size_t>(line)];
    // Labels (0), placeholders (-1) and ids nobody registered are stepped
    // over.
    if (TCommandClass* command = compiled.Id > 0 ? CommandList.Get(compiled.Id) : nullptr) {
      command->SFXProcess(compiled.Line);
      // What a line of packed files put there is in the saved log before
      // the next line starts.
      if (command->FileKind() != 0) UninstallList.Checkpoint();
    }
  } while (CurrentLine <= last && !AbortFlag);
}

void BeginInstallationLog() {
  if (SetupInfoFile.HasUninstall != 1) return;
  const std::string& dir = SetupInfoFile.InstallDir;
  const std::string& prefix = SetupInfoFile.UninstallPrefix;
  // Entries that a damaged log holds beyond its damage are lost to every
  // program; what it holds whole is kept, and the player is told.
  if (!UninstallList.MergeFromFile(dir, prefix) && !Silent)
    platform::ShowMessageBox(
        "The uninstall log of an earlier installation is damaged: " + TUninstallList::LogPath(dir, prefix) + "\r" +
            UninstallList.LoadError() + "\rWhat it lists from there on will not be removed by the uninstaller.",
        "Setup Warning", platform::kMbOk);
  UninstallList.KeepSaved(dir, prefix);
  // The log's own folder, made and logged; then the log is saved there.
  ForceDirectoriesLogged(dir);
  UninstallList.Checkpoint();
}

std::string FinishInstallation() {
  // A crash inside these steps must not start them a second time from the
  // crash backstop: the half-done first pass is what the report is about.
  static std::atomic<bool> finishing{false};
  if (finishing.exchange(true)) return "Error: the installation is already being finished";
  struct TClear {
    ~TClear() { finishing = false; }
  } clear;
  // Each step is tried whatever the one before did: an uninstaller is
  // still worth having when the container could not be saved. The first
  // failure is the one reported.
  std::string failure;
  auto step = [&failure](const auto& work) {
    std::string text;
    try {
      text = work();
    } catch (...) {
      text = ExceptionText(std::current_exception());
    }
    if (failure.empty()) failure = text;
  };
  // A container the last update kept open for a later line would otherwise
  // stay open with its old checksum and side file, which the game rejects.
  step([] {
    CloseGameVFS();
    return std::string();
  });
  step([] {
    ForceDirectoriesLogged(SetupInfoFile.InstallDir);
    return std::string();
  });
  if (SetupInfoFile.HasUninstall != 1) return failure;
  bool logSaved = false;
  step([&logSaved] {
    logSaved = UninstallList.SaveToFile(SetupInfoFile.InstallDir, SetupInfoFile.UninstallPrefix);
    // Without its log the installation cannot be removed: the player is
    // told at once, even in a silent run, and the run ends as failed.
    if (!logSaved)
      FailInstallation("Error: The uninstall log could not be written: " +
                           TUninstallList::LogPath(SetupInfoFile.InstallDir, SetupInfoFile.UninstallPrefix),
                       "Setup Error");
    return std::string();
  });
  // An uninstaller without its log would find nothing to remove.
  if (logSaved) step([] { return CreateUninstaller(); });
  return failure;
}
