// System commands: files, folders, shortcuts, registry values, programs and
// the uninstall log of the machine being installed. What they create is
// logged so that the uninstaller can take it away again.
#include <chrono>
#include <thread>

#include "installer-library/QXI_CompLines.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_FD.h"
#include "installer-library/QXI_RegRoot.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/File.h"
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

}  // namespace

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
  std::string from = ExpandedParam(lineIndex, 0);
  // An existing file of the new name is kept: the rename then fails.
  if (platform::FileExists(from)) platform::RenameFile(from, ExpandedParam(lineIndex, 1));
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

void TWriteRegStrCommand::SFXProcess(int32_t lineIndex) {
  std::string root = RunParam(lineIndex, 0), key = RunParam(lineIndex, 1), name = RunParam(lineIndex, 2);
  Registry.SetRoot(RegRootFromName(root));
  // A key that cannot be opened skips the write; the entry is logged anyway.
  if (Registry.OpenKey(key, true)) WriteRegValue(name, ExpandedParam(lineIndex, 3));
  Registry.CloseKey();
  UninstallList.AddRegEntry(RegEntryText(root, key, name, RunParam(lineIndex, 3)));
}

void TWriteRegStr_URLCommand::SFXProcess(int32_t lineIndex) {
  const std::string protocol = RunParam(lineIndex, 0);
  const std::string icon = protocol + "\\DefaultIcon\\", command = protocol + "\\shell\\open\\command\\";
  Registry.SetRoot(kClassesRoot);
  Registry.OpenKey(protocol, true);
  WriteRegValue("", "URL:" + protocol + " Protocol");
  WriteRegValue("URL Protocol", "");
  Registry.OpenKey(icon, true);
  WriteRegValue("", ExpandedParam(lineIndex, 1));
  Registry.OpenKey(command, true);
  std::string handler = "\"";
  handler += ExpandedParam(lineIndex, 2);
  handler += '"';
  handler += QuotedExtraArgs(lineIndex);
  WriteRegValue("", handler);
  Registry.CloseKey();
  for (const auto& [key, name] : {std::pair{protocol, ""}, {protocol, "URL Protocol"}, {icon, ""}, {command, ""}})
    UninstallList.AddRegEntry(RegEntryText("HKCR", key, name, ""));
}

void TRMDirCommand::SFXProcess(int32_t lineIndex) {
  // The flag word is required but never changed the removal: the whole
  // tree goes, and scripts rely on that.
  RemoveDirTree(ExpandedParam(lineIndex, 0));
}

void TCreateDirectoryCommand::SFXProcess(int32_t lineIndex) {
  std::string dir = ExpandedParam(lineIndex, 0);
  ForceDirectoriesLogged(dir);
  UninstallList.AddDir(dir);
}

void TCreateShortCutCommand::SFXProcess(int32_t lineIndex) {
  std::string link = ExpandedParam(lineIndex, 0), target = ExpandedParam(lineIndex, 1);
  std::string arguments = ExpandedParam(lineIndex, 2);
  if (HasParams(CompLines, lineIndex, 4))
    CreateShortcutWithIcon(link, target, arguments, ExpandedParam(lineIndex, 3));
  else
    CreateShortcut(link, target, arguments);
  UninstallList.AddFile(link);
}

void TCopyFileCommand::SFXProcess(int32_t lineIndex) {
  std::string source = ExpandPath(ResolveCDDrive(RunParam(lineIndex, 0)));
  std::string destination = ExpandedParam(lineIndex, 1);
  ForceDirectoriesLogged(FolderOfPath(destination));
  std::u16string status = Languages.GetString(kCopyingString);
  SetStatusText(TLanguages::ReplaceText(status, u"<%FILENAME%>",
                                        platform::AnsiToWide(source.substr(FolderOfPath(source).size()))));
  const bool existed = platform::FileExists(destination);
  bool copied = platform::CopyFileOver(source, destination);
  // Logged also when nothing was copied, unless a file of the player's was
  // there already: the uninstaller would delete what this never wrote.
  if (copied || !existed) UninstallList.AddFile(destination);
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
