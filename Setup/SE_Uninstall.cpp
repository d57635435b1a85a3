#include "Setup/SE_Uninstall.h"

#include <functional>

#include "Setup/SE_Uninstaller.h"
#include "installer-library/QXI_Global.h"
#include "installer-library/QXI_RegRoot.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/SE_Uninstall_List.h"
#include "installer-library/STokens.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Program.h"
#include "platform/ShellProcess.h"
#include "platform/TempPath.h"
#include "platform/Text.h"

using platform::AnsiToWide;
using platform::WideToAnsi;

namespace {

constexpr uint16_t kRegistryPhaseName = 24;
constexpr uint16_t kDirectoryPhaseName = 25;
constexpr uint8_t kLocalMachine = 0;
// Files named in the outcome of a run; the rest are counted.
constexpr size_t kNamedLeftovers = 10;

std::u16string Decimal(int64_t n) { return AnsiToWide(std::to_string(n)); }

// One phase of the run: count items 1..total, showing progress whenever a
// new whole percent is reached, and do each item's work after its update.
void RunPhase(TRunDisplay& display, const std::u16string& name, int32_t gaugeBase, size_t total,
              const std::function<void(size_t index)>& work) {
  int32_t last = 0;
  for (size_t k = 1; k <= total; ++k) {
    if (PercentAdvanced(static_cast<int64_t>(k), static_cast<int64_t>(total), last)) {
      // The display is decoration: a control that fails to update must
      // not leave the uninstallation half done.
      try {
        display.SetStatus(FormatProgressText(name, static_cast<int64_t>(k), static_cast<int64_t>(total)));
        display.SetProgress(gaugeBase + static_cast<int32_t>(k));
      } catch (...) {
      }
      last = static_cast<int32_t>(static_cast<int64_t>(k) * 100 / static_cast<int64_t>(total));
    }
    work(k - 1);
  }
}

std::string LeftoversText(const std::vector<std::string>& left) {
  if (left.empty()) return {};
  std::string text = "Error: These installed files could not be removed; they may be in use:";
  for (size_t i = 0; i < left.size() && i < kNamedLeftovers; ++i) text += "\r" + left[i];
  if (left.size() > kNamedLeftovers) text += "\r... and " + std::to_string(left.size() - kNamedLeftovers) + " more";
  return text;
}

}  // namespace

bool PercentAdvanced(int64_t done, int64_t total, int32_t last) { return total > 0 && done * 100 / total > last; }

void DeleteRegEntry(const std::string& entry) {
  std::string fields[4], rest = entry;
  for (std::string& field : fields) {
    if (rest.empty()) break;
    SplitFirstToken(rest, field, rest);
  }
  Registry.SetRoot(RegRootFromName(fields[0]));
  if (!Registry.OpenKey(fields[1], false)) return;
  Registry.DeleteValue(fields[2]);
  Registry.CloseKey();
}

std::string RunUninstall(TRunDisplay& display) {
  const std::vector<std::string>& files = UninstallList.Files();
  const std::vector<std::string>& dirs = UninstallList.Dirs();
  const std::vector<std::string>& regEntries = UninstallList.RegEntries();
  const size_t total = files.size() + dirs.size() + regEntries.size();
  try {
    display.SetStatus(u"Status: 0 of " + Decimal(static_cast<int64_t>(total)) + u" items remaining");
    display.SetMaximum(static_cast<int32_t>(total));
    display.SetProgress(0);
  } catch (...) {
  }

  // A file that is there and stays there is the user's to know about: the
  // run goes on, but does not end as if all was removed.
  std::vector<std::string> left;
  RunPhase(display, u"", 0, files.size(), [&](size_t i) {
    std::string path = WideToAnsi(ExpandPathVars(AnsiToWide(files[i])));
    if (platform::FileExists(path) && !platform::RemoveFile(path)) left.push_back(path);
  });
  const auto doneFiles = static_cast<int32_t>(files.size());
  RunPhase(display, Languages.GetString(kDirectoryPhaseName), doneFiles, dirs.size(), [&](size_t i) {
    // Innermost first; a folder that still holds anything stays.
    const std::string& dir = dirs[dirs.size() - 1 - i];
    if (platform::DirectoryExists(dir)) platform::RemoveEmptyDir(dir);
  });
  const auto doneDirs = doneFiles + static_cast<int32_t>(dirs.size());
  RunPhase(display, Languages.GetString(kRegistryPhaseName), doneDirs, regEntries.size(),
           [&](size_t i) { DeleteRegEntry(regEntries[i]); });

  if (!SetupInfoFile.SetupShortName.empty()) {
    Registry.SetRoot(kLocalMachine);
    if (Registry.OpenKey(UninstallKeyPath(), false)) {
      Registry.DeleteValue("DisplayName");
      Registry.DeleteValue("UninstallString");
      Registry.CloseKey();
      Registry.DeleteKey(UninstallKeyPath());
    }
  }
  platform::RemoveFile(TUninstallList::LogPath(SetupInfoFile.InstallDir, SetupInfoFile.UninstallPrefix));
  return LeftoversText(left);
}

void RunFinaliser() {
  uint32_t size = 0;
  Bytes program = SetupArchive ? SetupArchive->FindFile("FINALISE.EXE", 0, size) : Bytes();
  if (program.empty()) return;
  std::string path = platform::TempPath() + "FINALISE.exe";
  // An older finaliser left in the temporary folder is never started in
  // place of this one.
  if (!WriteBufferToFile(path, program.data(), program.size())) return;
  std::string argument = "\"";
  argument += platform::ProgramFile();
  argument += '"';
  // Started, not waited for: the finaliser outlives this program.
  constexpr int kNormalWindow = 1;
  uintptr_t process = 0;
  if (platform::StartShellProcess(path, &argument, nullptr, kNormalWindow, process)) platform::CloseProcess(process);
}
