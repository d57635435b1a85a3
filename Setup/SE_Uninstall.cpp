#include "Setup/SE_Uninstall.h"

#include <algorithm>
#include <functional>

#include "Setup/SE_Ending.h"
#include "Setup/SE_Uninstaller.h"
#include "installer-library/QXI_Global.h"
#include "installer-library/QXI_RegRoot.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/SE_Originals.h"
#include "installer-library/SE_Uninstall_List.h"
#include "installer-library/STokens.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/FileName.h"
#include "platform/Program.h"
#include "platform/ShellProcess.h"
#include "platform/TempPath.h"
#include "platform/Text.h"

using platform::AnsiToWide;
using platform::WideToAnsi;

namespace {

constexpr uint16_t kRegistryPhaseName = 24;
constexpr uint16_t kDirectoryPhaseName = 25;

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

// A path as the uninstaller compares it: lower-cased, no backslash at the end.
std::string PathKey(const std::string& path) {
  std::string key = platform::AnsiLowerCase(path);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

// An installed file's read-only attribute (the player's, or its source's)
// does not keep it.
bool RemoveInstalledFile(const std::string& path) {
  platform::ClearReadOnly(path);
  return platform::RemoveFile(path);
}

// Puts the player's kept file back once the installed one is gone. A file
// that is there now (one the installation never wrote over, or one the
// player put back) is the player's newer one, and the copy goes. True when
// nothing of the copy is left.
bool PutBackOriginal(const std::string& kept, const std::string& original) {
  if (!platform::FileExists(kept)) return true;
  if (platform::FileExists(original)) return RemoveInstalledFile(kept);
  return platform::RenameFile(kept, original) || (platform::CopyFileOver(kept, original) && RemoveInstalledFile(kept));
}

}  // namespace

bool PercentAdvanced(int64_t done, int64_t total, int32_t last) { return total > 0 && done * 100 / total > last; }

bool DeleteRegEntry(const std::string& entry) {
  std::string fields[4], rest = entry;
  for (std::string& field : fields) {
    if (rest.empty()) break;
    SplitFirstToken(rest, field, rest);
  }
  Registry.SetRoot(RegRootFromName(fields[0]));
  bool gone;
  if (Registry.OpenKey(fields[1], false)) {
    Registry.DeleteValue(fields[2]);
    gone = !Registry.ValueExists(fields[2]);
  } else {
    // A key that cannot be opened for writing may still hold the value.
    gone = !Registry.OpenKeyReadOnly(fields[1]) || !Registry.ValueExists(fields[2]);
  }
  Registry.CloseKey();
  return gone;
}

std::string RunUninstall(TRunDisplay& display) {
  // Copies: what is left replaces the lists at the end.
  const std::vector<std::string> files = UninstallList.Files();
  const std::vector<std::string> dirs = UninstallList.Dirs();
  const std::vector<std::string> regEntries = UninstallList.RegEntries();
  const size_t total = files.size() + dirs.size() + regEntries.size();
  try {
    display.SetStatus(u"Status: 0 of " + Decimal(static_cast<int64_t>(total)) + u" items remaining");
    display.SetMaximum(static_cast<int32_t>(total));
    display.SetProgress(0);
  } catch (...) {
  }

  // A logged path reaches the file system only as a plain full path: a
  // damaged or foreign log must not name a device, a stream, a share or a
  // place above a folder through "..". What is skipped stays in the log, so
  // the run does not end as if all were gone.
  size_t skipped = 0;
  auto resolve = [&skipped](const std::string& logged, std::string& path) {
    path = WideToAnsi(ExpandPathVars(AnsiToWide(logged)));
    if (platform::IsPlainAbsolutePath(path)) return true;
    ++skipped;
    return false;
  };
  // What is still there afterwards, as the log holds it, and for the user.
  std::vector<std::string> leftFiles, keptDirs, leftRegEntries, named;
  // Left files and kept folders, by PathKey: a folder that holds one of
  // them stays in the log for the next run.
  std::vector<std::string> held;
  auto leave = [&](const std::string& logged, const std::string& path, bool name) {
    leftFiles.push_back(logged);
    if (name) named.push_back(path);
    held.push_back(PathKey(path));
  };
  // The mark beside the log goes with the log; kept originals go back once
  // every installed file is gone.
  const std::string mark = PathKey(TUninstallList::OwnerPath(SetupInfoFile.InstallDir, SetupInfoFile.UninstallPrefix));
  std::vector<std::pair<std::string, std::string>> kept;  // as logged, path
  RunPhase(display, u"", 0, files.size(), [&](size_t i) {
    std::string path;
    if (!resolve(files[i], path)) {
      leftFiles.push_back(files[i]);
      return;
    }
    if (PathKey(path) == mark) return;
    if (!OriginalOfKept(path).empty())
      kept.emplace_back(files[i], path);
    else if (platform::FileExists(path) && !RemoveInstalledFile(path))
      leave(files[i], path, true);
  });
  for (const auto& [logged, path] : kept) {
    // While the installed file stays, so does the player's, for the next run.
    const std::string original = OriginalOfKept(path);
    const bool installedStays = std::find(held.begin(), held.end(), PathKey(original)) != held.end();
    if (installedStays || !PutBackOriginal(path, original)) leave(logged, path, !installedStays);
  }
  const auto doneFiles = static_cast<int32_t>(files.size());
  RunPhase(display, Languages.GetString(kDirectoryPhaseName), doneFiles, dirs.size(), [&](size_t i) {
    // Innermost first; a folder that still holds anything stays.
    const std::string& logged = dirs[dirs.size() - 1 - i];
    std::string path;
    if (!resolve(logged, path)) {
      keptDirs.insert(keptDirs.begin(), logged);
      return;
    }
    if (!platform::DirectoryExists(path) || platform::RemoveEmptyDir(path)) return;
    // It stays in the log when it holds something that is to go, or when
    // it is empty and could not be removed (in use); one that holds only
    // what the player put there is the player's now.
    const std::string key = PathKey(path), inside = key + "\\";
    if (std::find(held.begin(), held.end(), key) != held.end()) return;
    // One that cannot be looked into may hold anything of the
    // installation's: it stays, as a file in use does.
    std::vector<platform::DirEntry> entries;
    const bool listed = platform::ListDirectory(AddBackslash(path), entries), empty = listed && entries.empty();
    if (listed && !empty &&
        std::none_of(held.begin(), held.end(), [&](const std::string& h) { return h.starts_with(inside); }))
      return;
    keptDirs.insert(keptDirs.begin(), logged);
    held.push_back(key);
    if (!listed || empty) named.push_back(path);
  });
  const auto doneDirs = doneFiles + static_cast<int32_t>(dirs.size());
  RunPhase(display, Languages.GetString(kRegistryPhaseName), doneDirs, regEntries.size(), [&](size_t i) {
    if (DeleteRegEntry(regEntries[i])) return;
    leftRegEntries.push_back(regEntries[i]);
    named.push_back(regEntries[i]);
  });
  if (skipped > 0) {
    try {
      display.SetStatus(u"Status: skipped " + Decimal(static_cast<int64_t>(skipped)) +
                        u" logged items that are no plain full paths");
    } catch (...) {
    }
  }

  return EndUninstallation({leftFiles, leftRegEntries, keptDirs, named, skipped});
}

namespace {

// Writes a program as a new file and opens it again, held (ReadDenyWrite):
// true when the held file has exactly the program's bytes.
bool WriteHeld(const std::string& path, const Bytes& program, platform::File& held) {
  {
    platform::File file;
    if (!file.Open(path, platform::OpenMode::CreateNew) || !file.Write(program.data(), program.size())) return false;
  }
  Bytes check(program.size());
  return held.Open(path, platform::OpenMode::ReadDenyWrite) && held.Size() == static_cast<int64_t>(check.size()) &&
         held.Read(check.data(), check.size()) == check.size() && check == program;
}

}  // namespace

void RunFinaliser() {
  uint32_t size = 0;
  Bytes program = SetupArchive ? SetupArchive->FindFile("FINALISE.EXE", 0, size) : Bytes();
  if (program.empty()) return;
  // The finaliser runs with this program's rights, so it never starts from
  // a name in the temporary folder, where any program of the user could
  // have put a file first or swap it before the start; nor may anything be
  // put beside it (a DLL of a name it loads). Its own folder, and the file
  // held unchangeable from the check of its bytes until it has started.
  const std::string folder = platform::MakePrivateTempFolder();
  if (folder.empty()) return;
  const std::string path = folder + "FINALISE.exe";
  platform::File held;
  bool started = false;
  if (WriteHeld(path, program, held)) {
    std::string argument = "\"";
    argument += platform::ProgramFile();
    argument += '"';
    constexpr int kNormalWindow = 1;
    uintptr_t process = 0;
    started = platform::StartShellProcess(path, &argument, nullptr, kNormalWindow, process);
    platform::CloseProcess(process);
  }
  held.Close();
  const std::string folderName = folder.substr(0, folder.size() - 1);
  if (started) {
    // Not waited for: the finaliser outlives this program, so its file and
    // folder can only go when Windows next starts.
    platform::RemoveAtRestart(path);
    platform::RemoveAtRestart(folderName);
  } else {
    platform::RemoveFile(path);
    platform::RemoveEmptyDir(folderName);
  }
}
