#include "Setup/SE_Ending.h"

#include <atomic>
#include <exception>

#include "Setup/SE_ErrorReport.h"
#include "Setup/SE_SetupThread.h"
#include "Setup/SE_Startup.h"
#include "Setup/SE_Uninstaller.h"
#include "diagnostics/SHookQuiet.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_FD.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "installer-library/SE_VFS.h"
#include "platform/MessageBox.h"

namespace {

// Files named in the outcome of an uninstall run; the rest are counted.
constexpr size_t kNamedLeftovers = 10;

// What the box says about what stayed: the first few items, then how many
// more, and what to do.
std::string LeftoversText(const std::vector<std::string>& left) {
  std::string text = "Error: These installed items could not be removed; they may be in use:";
  for (size_t i = 0; i < left.size() && i < kNamedLeftovers; ++i) text += "\r" + left[i];
  if (left.size() > kNamedLeftovers) text += "\r... and " + std::to_string(left.size() - kNamedLeftovers) + " more";
  return text + "\rClose the programs that use them and run the uninstaller again.";
}

}  // namespace

std::string RunAndFinishInstallation(const std::function<void()>& lines) {
  UninstallList.AddDir(SetupInfoFile.InstallDir);
  // The log is kept saved only while this run logs.
  struct TKeepUntilEnd {
    ~TKeepUntilEnd() { UninstallList.KeepSaved("", ""); }
  } keepUntilEnd;
  {
    // A fault that no catch sees (a processor exception, a throw on another
    // path) still leaves the log and the uninstaller for what was done up
    // to there: the crash backstop runs this before its report.
    TCrashEnding crash("Setup Thread", [] { FinishInstallation(); });
    try {
      BeginInstallation();
      lines();
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
  return FinishInstallation();
}

void BeginInstallation() {
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

std::string FinishEndedRun() {
  std::string failure = FinishInstallation();
  std::string text = "Error: The installation stopped before it was finished";
  if (!failure.empty()) text += "\r" + failure;
  return text;
}

TInstallationWatch::TInstallationWatch() : ending_("", [] { StopInstallationForError(); }) {}

void StopInstallationForError() {
  if (SetupThread) SetupThread->StopRun();
}

std::string EndUninstallation(const TLeftovers& left) {
  const std::string& dir = SetupInfoFile.InstallDir;
  const std::string& prefix = SetupInfoFile.UninstallPrefix;
  if (left.Files.empty() && left.Dirs.empty() && left.RegEntries.empty()) {
    UnregisterUninstaller();
    TUninstallList::RemoveFile(dir, prefix);
    return {};
  }
  // The next run finds exactly what is left, with the entry and the
  // uninstaller that start it.
  std::string text = LeftoversText(left.Named);
  UninstallList.Assign(left.Files, left.RegEntries, left.Dirs);
  if (!UninstallList.SaveToFile(dir, prefix)) text += "\rThe install log could not be written: " + TUninstallList::LogPath(dir, prefix);
  return text;
}
