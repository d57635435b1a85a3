#include "Setup/SE_Ending.h"

#include <algorithm>
#include <atomic>
#include <exception>

#include "Global/QXI_PakFile.h"
#include "Setup/SE_ErrorReport.h"
#include "Setup/SE_SetupThread.h"
#include "Setup/SE_Startup.h"
#include "Setup/SE_Uninstaller.h"
#include "diagnostics/SHookQuiet.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_FD.h"
#include "installer-library/QXI_Global.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Originals.h"
#include "installer-library/SE_Uninstall_List.h"
#include "installer-library/SE_VFS.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/FileName.h"
#include "platform/MessageBox.h"
#include "platform/Program.h"
#include "platform/Text.h"

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

// Whether the log in the install folder under these names is this setup's
// to take over: there is none, or its mark names this setup, or (the log
// of an earlier version, which wrote no mark) this setup's uninstall entry
// names the uninstaller beside it. Setups without a short name cannot be
// told apart.
bool LogIsOurs(const std::string& dir, const std::string& prefix, const std::string& exe) {
  const std::string& name = SetupInfoFile.SetupShortName;
  if (name.empty() || !platform::FileExists(TUninstallList::LogPath(dir, prefix))) return true;
  const std::string mark = TUninstallList::OwnerPath(dir, prefix);
  if (!platform::FileExists(mark)) return UninstallEntryNames(AddBackslash(dir) + exe);
  // A mark that cannot be read names no setup for sure: the log stays alone.
  Bytes owner;
  std::string reason;
  return ReadWholeFile(mark, owner, reason) && std::string(owner.begin(), owner.end()) == name;
}

// Another setup's log (two setups without a prefix in one folder) is left
// as it is: this installation takes a log and an uninstaller named after
// its own short name, and says so unless the run is silent.
void TakeNamesOfItsOwn() {
  const std::string& dir = SetupInfoFile.InstallDir;
  if (LogIsOurs(dir, SetupInfoFile.UninstallPrefix, SetupInfoFile.UninstallExe)) return;
  const std::string other = TUninstallList::LogPath(dir, SetupInfoFile.UninstallPrefix);
  // The builder takes only a short name that is a file name.
  const std::string own = SetupInfoFile.SetupShortName + "_";
  SetupInfoFile.UninstallPrefix = own + SetupInfoFile.UninstallPrefix;
  SetupInfoFile.UninstallExe = own + SetupInfoFile.UninstallExe;
  if (!Silent)
    platform::ShowMessageBox("The install folder holds the uninstall log of another installation: " + other +
                                 "\rIt was left as it is. This installation keeps its own log, " +
                                 TUninstallList::LogPath(dir, SetupInfoFile.UninstallPrefix) +
                                 ", and its own uninstaller, " + UninstallerPath() + ".",
                             "Information", platform::kMbOk);
}

// The folders the installation made around the uninstaller: it cannot
// remove them while it runs inside. Windows removes them when it next
// starts, innermost first, once the finaliser has deleted the uninstaller;
// one that holds anything then stays.
void RemoveUninstallersFoldersAtRestart() {
  auto key = [](std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
  };
  const std::string own = platform::AnsiLowerCase(key(FolderOfPath(platform::ProgramFile())));
  std::vector<std::string> folders;
  for (const std::string& logged : UninstallList.Dirs()) {
    const std::string path = key(ExpandPath(logged)), lowered = platform::AnsiLowerCase(path);
    if (platform::IsPlainAbsolutePath(path) && (own == lowered || own.starts_with(lowered + "\\")) &&
        std::none_of(folders.begin(), folders.end(),
                     [&](const std::string& f) { return platform::AnsiLowerCase(f) == lowered; }))
      folders.push_back(path);
  }
  std::sort(folders.begin(), folders.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& folder : folders)
    if (platform::DirectoryExists(folder)) platform::RemoveAtRestart(folder);
}

}  // namespace

std::string RunAndFinishInstallation(const std::function<void()>& lines) {
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
  TakeNamesOfItsOwn();
  const std::string& dir = SetupInfoFile.InstallDir;
  const std::string& prefix = SetupInfoFile.UninstallPrefix;
  // Entries that a damaged log holds beyond its damage are lost to every
  // program; what it holds whole is kept, and the player is told.
  if (!UninstallList.MergeFromFile(dir, prefix) && !Silent)
    platform::ShowMessageBox(
        "The uninstall log of an earlier installation is damaged: " + TUninstallList::LogPath(dir, prefix) + "\r" +
            UninstallList.LoadError() + "\rWhat it lists from there on will not be removed by the uninstaller.",
        "Setup Warning", platform::kMbOk);
  BeginKeepingOriginals();
  // The log's own folder, made and logged, and the mark that tells a later
  // run whose log it is; then the log is saved there, and kept saved.
  ForceDirectoriesLogged(dir);
  const std::string mark = TUninstallList::OwnerPath(dir, prefix);
  const std::string& owner = SetupInfoFile.SetupShortName;
  if (WriteBufferToFile(mark, owner.data(), owner.size())) UninstallList.AddFile(mark);
  UninstallList.KeepSaved(dir, prefix);
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
    RemoveUninstallersFoldersAtRestart();
    UnregisterUninstaller();
    TUninstallList::RemoveFile(dir, prefix);
    return {};
  }
  // The next run finds exactly what is left, with the entry and the
  // uninstaller that start it.
  std::string text = left.Named.empty() ? "" : LeftoversText(left.Named);
  if (left.Skipped > 0)
    text += (text.empty() ? "Error: " : "\r") + std::to_string(left.Skipped) +
            " logged items are no plain full paths; they were left alone and stay in the install log.";
  UninstallList.Assign(left.Files, left.RegEntries, left.Dirs);
  if (!UninstallList.SaveToFile(dir, prefix))
    text += "\rThe install log could not be written: " + TUninstallList::LogPath(dir, prefix);
  return text;
}
