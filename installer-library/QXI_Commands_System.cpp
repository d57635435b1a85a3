// System commands: files, folders, shortcuts, registry values, programs and
// the uninstall log of the machine being installed. What they create is
// logged so that the uninstaller can take it away again.
#include <chrono>
#include <thread>
#include <vector>

#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_FD.h"
#include "installer-library/QXI_RegRoot.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Originals.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/FileName.h"
#include "platform/Shell.h"
#include "platform/ShellProcess.h"
#include "platform/Text.h"

namespace {

constexpr int kShowNormal = 1;
constexpr uint8_t kClassesRoot = 2;
constexpr uint16_t kCopyingString = 17;

// Writes a string value of the open key. A value that cannot be written
// (also when the key did not open) raises, as the registry class does.
void WriteRegValue(const std::string& name, const std::string& text) {
  bool written = Registry.WriteString(name, text);
  if (!written) {
    Registry.CloseKey();
    throw ERegistryWrite("Failed to set data for '" + name + "'");
  }
}

// A key that cannot be opened is skipped; the player sees which one.
void ReportUnopenedKey(const std::string& root, const std::string& key) {
  SetStatusText(platform::AnsiToWide("Unable to open the registry key " + root + "\\" + key + ", skipped"));
}

// An absolute path as its root ("C:" or "\\server\share", upper-cased
// drive letter) and its folder names, "." and ".." resolved the way the
// system resolves them; false for a path that is relative to the current
// folder or drive.
bool SplitAbsolutePath(std::string path, std::string& root, std::vector<std::string>& names) {
  for (char& c : path)
    if (c == '/') c = '\\';
  // "\\?\" and "\\.\" only switch the system's parsing off.
  if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\\\.\\", 0) == 0) {
    path.erase(0, 4);
    if (platform::AnsiLowerCase(path.substr(0, 4)) == "unc\\") path.replace(0, 4, "\\\\");
  }
  size_t pos;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (path.size() >= 2 && letter(path[0]) && path[1] == ':') {
    if (path.size() > 2 && path[2] != '\\') return false;  // "C:x" is relative to drive C's current folder
    root = std::string(1, static_cast<char>(path[0] & ~0x20)) + ":";
    pos = 2;
  } else if (path.rfind("\\\\", 0) == 0) {
    size_t server = path.find('\\', 2);
    if (server == std::string::npos || server == 2) return false;
    size_t share = path.find('\\', server + 1);
    if (share == std::string::npos) share = path.size();
    if (share == server + 1) return false;
    root = platform::AnsiLowerCase(path.substr(0, share));
    pos = share;
  } else {
    return false;
  }
  names.clear();
  while (pos < path.size()) {
    size_t end = path.find('\\', pos);
    if (end == std::string::npos) end = path.size();
    std::string name = path.substr(pos, end - pos);
    pos = end + 1;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    // The system drops trailing dots and blanks of a name: "x." is "x",
    // and "..." names the folder itself.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (!name.empty()) names.push_back(name);
  }
  return true;
}

std::string JoinPath(const std::string& root, const std::vector<std::string>& names) {
  std::string path = root;
  for (const std::string& name : names) path += "\\" + name;
  return path;
}

// A folder as the rmdir guard compares it: its resolved path, the same
// lower-cased with a final separator (so that a prefix is a folder that
// holds it), and the paths of the folders that hold it, nearest first.
struct GuardedFolder {
  std::string path, key;
  std::vector<std::string> holders;
};

bool ResolveFolder(const std::string& path, GuardedFolder& out) {
  std::string root;
  std::vector<std::string> names;
  if (!SplitAbsolutePath(path, root, names) || names.empty()) return false;
  out.path = JoinPath(root, names);
  out.key = platform::AnsiLowerCase(out.path) + "\\";
  out.holders.clear();
  while (names.size() > 1) {
    names.pop_back();
    out.holders.push_back(JoinPath(root, names));
  }
  return true;
}

enum class Place { Apart, Same, Below };

// Where folder a lies against folder b: by their text, and when `identity`
// also by the file system's identity of a and of the folders that hold it,
// which sees through short names, junctions and shares of local folders.
Place PlaceOf(const GuardedFolder& a, const GuardedFolder& b, bool identity) {
  if (a.key == b.key) return Place::Same;
  if (a.key.rfind(b.key, 0) == 0) return Place::Below;
  if (!identity) return Place::Apart;
  if (platform::SameFile(a.path, b.path)) return Place::Same;
  for (const std::string& holder : a.holders)
    if (platform::SameFile(holder, b.path)) return Place::Below;
  return Place::Apart;
}

// Why rmdir may not take the folder, or empty: it may not be the Windows
// folder, lie in it or hold it, nor be or hold a folder in which the system
// or its users keep their things, nor be a user's profile.
std::string ProtectedFolderFault(const GuardedFolder& target) {
  // Identity is asked of an existing folder only: nothing else is removed.
  const bool exists = platform::DirectoryExists(target.path);
  GuardedFolder windows;
  if (ResolveFolder(platform::GetFolderPathById(platform::kShellWindows), windows)) {
    Place place = PlaceOf(target, windows, exists);
    if (place == Place::Below) return "inside the Windows folder";
    if (place == Place::Same || PlaceOf(windows, target, exists) != Place::Apart) return "the Windows folder";
  }
  std::vector<GuardedFolder> kept;
  for (int id : platform::kShellSystemAndUserFolders) {
    GuardedFolder folder;
    if (ResolveFolder(platform::GetFolderPathById(id), folder)) kept.push_back(std::move(folder));
  }
  for (const GuardedFolder& folder : kept)
    if (PlaceOf(folder, target, exists) == Place::Same) return "a folder of the system or of its users";
  for (const GuardedFolder& folder : kept)
    if (PlaceOf(folder, target, exists) == Place::Below) return "it holds " + folder.path;
  // Every folder in the one that holds the profiles is a user's profile.
  GuardedFolder profile, profiles, parent;
  if (ResolveFolder(platform::GetFolderPathById(platform::kShellProfile), profile) && !profile.holders.empty() &&
      !target.holders.empty() && ResolveFolder(profile.holders.front(), profiles) &&
      ResolveFolder(target.holders.front(), parent) && PlaceOf(parent, profiles, exists) == Place::Same)
    return "a user's profile";
  return {};
}

}  // namespace

std::string ResolveRemovableDir(const std::string& path, std::string& refusal) {
  std::string root;
  std::vector<std::string> names;
  if (!SplitAbsolutePath(path, root, names)) {
    refusal = "not a full path";
    return {};
  }
  if (names.empty()) {
    refusal = "a whole drive";
    return {};
  }
  // "\\server\c$", "\\localhost\admin$": another name of a whole drive
  // or of the Windows folder.
  if (root.size() > 2 && root.back() == '$') {
    refusal = "an administrative share";
    return {};
  }
  // A stream ("::$INDEX_ALLOCATION"), a device or a wildcard is no folder
  // of its own.
  for (const std::string& name : names) {
    if (!platform::IsPlainFileName(name)) {
      refusal = "\"" + name + "\" is no plain folder name";
      return {};
    }
  }
  GuardedFolder target;
  ResolveFolder(JoinPath(root, names), target);
  refusal = ProtectedFolderFault(target);
  return refusal.empty() ? target.path : std::string();
}

std::string QuotedExtraArgs(int32_t lineIndex) {
  std::string args;
  for (int32_t i = 3; i < RunParamCount(lineIndex); ++i) args += " \"" + RunParam(lineIndex, i) + "\"";
  return args;
}

void TDeleteCommand::SFXProcess(int32_t lineIndex) {
  std::string path = ExpandedParam(lineIndex, 0);
  if (platform::FileExists(path)) platform::RemoveFile(path);
}

void TRenameCommand::SFXProcess(int32_t lineIndex) {
  std::string from = ExpandedParam(lineIndex, 0), to = ExpandedParam(lineIndex, 1);
  // An existing file of the new name is kept: the rename then fails. A file
  // the installation put there stays the uninstaller's under its new name.
  if (platform::FileExists(from) && platform::RenameFile(from, to)) UninstallList.RenameFile(from, to);
}

void TExecuteCommand::SFXProcess(int32_t lineIndex) {
  std::string program = ExpandedParam(lineIndex, 0);
  bool hasArguments = RunParamCount(lineIndex) > 1;
  std::string arguments = hasArguments ? ExpandedParam(lineIndex, 1) : std::string();
  uintptr_t process = 0;
  if (!platform::StartShellProcess(program, hasArguments ? &arguments : nullptr, ApplicationWindow.load(), kShowNormal,
                                   process))
    return;
  // Waits for the program to end; an abort or the program closing ends the
  // wait early. A document handed to a program already running gives no
  // process to wait for.
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!platform::ProcessActive(process) || AbortFlag) break;
  } while (!ApplicationTerminating);
  platform::CloseProcess(process);
}

void TWriteRegStrCommand::CompilerProcess(TCompileContext& compiler, int32_t lineIndex) {
  if (CheckParams(compiler, lineIndex, 4)) CheckRegRoot(compiler, lineIndex, 0);
}

void TWriteRegStrCommand::SFXProcess(int32_t lineIndex) {
  std::string root = RunParam(lineIndex, 0), key = RunParam(lineIndex, 1), name = RunParam(lineIndex, 2);
  Registry.SetRoot(RegRootFromName(root));
  // A key that cannot be opened skips the write, and nothing is logged: the
  // uninstaller would delete a value of the same name this never wrote.
  bool opened = Registry.OpenKey(key, true);
  if (opened) WriteRegValue(name, ExpandedParam(lineIndex, 3));
  Registry.CloseKey();
  if (opened)
    UninstallList.AddRegEntry(RegEntryText(root, key, name, RunParam(lineIndex, 3)));
  else
    ReportUnopenedKey(root, key);
}

void TWriteRegStr_URLCommand::SFXProcess(int32_t lineIndex) {
  const std::string protocol = RunParam(lineIndex, 0);
  const std::string icon = protocol + "\\DefaultIcon\\", command = protocol + "\\shell\\open\\command\\";
  std::string handler = "\"";
  handler += ExpandedParam(lineIndex, 2);
  handler += '"';
  handler += QuotedExtraArgs(lineIndex);
  const struct {
    const std::string& key;
    const char* name;
    std::string text;
  } values[] = {{protocol, "", "URL:" + protocol + " Protocol"},
                {protocol, "URL Protocol", ""},
                {icon, "", ExpandedParam(lineIndex, 1)},
                {command, "", handler}};
  Registry.SetRoot(kClassesRoot);
  const std::string* openKey = nullptr;
  bool opened = false;
  for (const auto& value : values) {
    if (openKey != &value.key) {
      openKey = &value.key;
      opened = Registry.OpenKey(value.key, true);
      if (!opened) ReportUnopenedKey("HKCR", value.key);
    }
    if (!opened) continue;
    // Each value is logged as soon as it is written, so that a later
    // failure still leaves it to the uninstaller.
    WriteRegValue(value.name, value.text);
    UninstallList.AddRegEntry(RegEntryText("HKCR", value.key, value.name, ""));
  }
  Registry.CloseKey();
}

void TRMDirCommand::SFXProcess(int32_t lineIndex) {
  // The flag word is required but never changed the removal: the whole
  // tree goes, and scripts rely on that.
  std::string path = ExpandedParam(lineIndex, 0), refusal;
  std::string resolved = ResolveRemovableDir(path, refusal);
  if (resolved.empty())
    FailInstallation("Error: Unable to remove <" + path + ">: " + refusal);
  else
    RemoveDirTree(resolved);
}

void TCreateDirectoryCommand::SFXProcess(int32_t lineIndex) {
  std::string dir = ExpandedParam(lineIndex, 0);
  ForceDirectoriesLogged(dir);
  UninstallList.AddDir(dir);
}

void TCreateShortCutCommand::SFXProcess(int32_t lineIndex) {
  std::string link = ExpandedParam(lineIndex, 0), target = ExpandedParam(lineIndex, 1);
  std::string arguments = ExpandedParam(lineIndex, 2);
  bool saved;
  if (HasParams(CompLines, lineIndex, 4))
    saved = CreateShortcutWithIcon(link, target, arguments, ExpandedParam(lineIndex, 3));
  else
    saved = CreateShortcut(link, target, arguments);
  // Only a link that was saved is logged; one that could not be leaves the
  // installation incomplete, as a file that cannot be copied does.
  if (saved)
    UninstallList.AddFile(link);
  else
    FailInstallation("Error: Unable to create the shortcut <" + link + ">");
}

void TCopyFileCommand::SFXProcess(int32_t lineIndex) {
  std::string source = ExpandPath(ResolveCDDrive(RunParam(lineIndex, 0)));
  std::string destination = ExpandedParam(lineIndex, 1);
  ForceDirectoriesLogged(FolderOfPath(destination));
  std::u16string status = Languages.GetString(kCopyingString);
  SetStatusText(TLanguages::ReplaceText(status, u"<%FILENAME%>",
                                        platform::AnsiToWide(source.substr(FolderOfPath(source).size()))));
  const bool existed = platform::FileExists(destination);
  std::string keepError;
  if (platform::FileExists(source) && !KeepOriginal(destination, keepError)) {
    FailInstallation(keepError);
    return;
  }
  bool copied = platform::CopyFileOver(source, destination);
  // Logged when this wrote it: a missing source writes nothing, and a file
  // of the player's that was there already is not the uninstaller's to
  // delete (a copy it wrote over was kept); a failed copy that left a new
  // file behind is logged.
  if (copied || (!existed && platform::FileExists(destination))) UninstallList.AddFile(destination);
  // A missing source copies nothing, as scripts expect; a file that is
  // there but cannot be copied leaves the installation incomplete.
  if (!copied && platform::FileExists(source))
    FailInstallation("Error: Unable to copy <" + source + "> to <" + destination + ">");
}

void TUninstallLogLoadCommand::SFXProcess(int32_t lineIndex) {
  std::string prefix = RunParamCount(lineIndex) >= 2 ? RunParam(lineIndex, 1) : std::string();
  UninstallList.LoadFromFile(ExpandedParam(lineIndex, 0), prefix);
}

void TUninstallLogSaveCommand::SFXProcess(int32_t lineIndex) {
  std::string dir = ExpandedParam(lineIndex, 0);
  std::string prefix = RunParamCount(lineIndex) >= 2 ? RunParam(lineIndex, 1) : std::string();
  if (!UninstallList.SaveToFile(dir, prefix))
    FailInstallation("Error: Unable to write <" + TUninstallList::LogPath(dir, prefix) + ">");
}
