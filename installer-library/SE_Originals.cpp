#include "installer-library/SE_Originals.h"

#include "installer-library/QXI_FD.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The files the logs of this setup named as the run began, and the files
// its lines have been about to write since: the installation's own,
// however far ahead of its writes the run logs them.
TUninstallList& EarlierFiles() {
  static TUninstallList files;
  return files;
}
TUninstallList& FilesOfThisRun() {
  static TUninstallList files;
  return files;
}

}  // namespace

std::string OriginalsFolder() {
  return AddBackslash(SetupInfoFile.InstallDir) + SetupInfoFile.UninstallPrefix + "originals";
}

std::string KeptPathOf(const std::string& path) {
  const std::string logged = platform::WideToAnsi(CollapsePathVars(platform::AnsiToWide(path)));
  const size_t slash = logged.find('\\');
  if (slash == std::string::npos || slash + 1 == logged.size()) return {};
  std::string head;
  if (logged[0] == '$' && slash > 1)
    head = logged.substr(1, slash - 1);  // a known folder: its variable's name
  else if (slash == 2 && IsLetter(logged[0]) && logged[1] == ':')
    head = logged.substr(0, 1);  // a drive: its letter
  else
    return {};
  return OriginalsFolder() + "\\" + head + logged.substr(slash);
}

std::string OriginalOfKept(const std::string& keptPath) {
  const std::string folder = OriginalsFolder() + "\\";
  if (keptPath.size() <= folder.size() ||
      platform::AnsiLowerCase(keptPath.substr(0, folder.size())) != platform::AnsiLowerCase(folder))
    return {};
  const std::string spelled = keptPath.substr(folder.size());
  const size_t slash = spelled.find('\\');
  if (slash == std::string::npos || slash == 0 || slash + 1 == spelled.size()) return {};
  // One letter is a drive; a variable's name is longer.
  if (slash == 1) return IsLetter(spelled[0]) ? spelled.substr(0, 1) + ":" + spelled.substr(1) : std::string();
  return ExpandPath("$" + spelled);
}

void BeginKeepingOriginals() {
  EarlierFiles() = UninstallList;
  FilesOfThisRun().Clear();
}

bool KeepOriginal(const std::string& target, std::string& error) {
  // A file a log of this setup names is the installation's own (written by
  // a repair, an upgrade or an earlier line): only the player's is kept,
  // and only by a setup with an uninstaller, which can put it back.
  if (SetupInfoFile.HasUninstall != 1 || !platform::FileExists(target) || EarlierFiles().NamesFile(target) ||
      FilesOfThisRun().NamesFile(target))
    return true;
  FilesOfThisRun().AddFile(target);
  const std::string kept = KeptPathOf(target);
  if (kept.empty()) {
    error = "Cannot keep the existing file \"" + target + "\": the installation has no place for it";
    return false;
  }
  // A copy this installation kept before (a run that ended before it wrote
  // the file) is brought up to date; anything else of that name is not ours.
  if (!UninstallList.NamesFile(kept)) {
    if (platform::FileExists(kept) || platform::DirectoryExists(kept)) {
      error = "Cannot keep the existing file \"" + target + "\": \"" + kept + "\" is in the way";
      return false;
    }
    ForceDirectoriesLogged(FolderOfPath(kept));
    if (!UninstallList.AddFile(kept)) {
      error = "Cannot log \"" + kept + "\" for uninstall: the uninstall log is full";
      return false;
    }
    UninstallList.Checkpoint();
  }
  if (platform::CopyFileOver(target, kept)) return true;
  platform::RemoveFile(kept);
  error = "Cannot keep the existing file \"" + target + "\" as \"" + kept + "\"";
  return false;
}
