#include "Setup/SE_Uninstaller.h"

#include <algorithm>
#include <cstring>

#include "Global/QXI_PakFile.h"
#include "Setup/SE_Startup.h"
#include "installer-library/QXI_FD.h"
#include "installer-library/SE_Global.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/FileReplacement.h"
#include "platform/MessageBox.h"
#include "platform/Program.h"
#include "platform/Text.h"

namespace {

constexpr char kUninstallListKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr uint8_t kLocalMachine = 0;
// Item names compared lower-cased: the uninstall items and the icon among them.
constexpr char kUninstallItemPrefix[] = "uninstall_";
constexpr size_t kUninstallItemPrefixLength = sizeof kUninstallItemPrefix - 1;
constexpr char kUninstallIcon[] = "uninstall_icon.ico";

std::string LowerName(const TPakFile& entry) { return platform::AnsiLowerCase(entry.Name); }

// The program file's bytes that precede its own archive. Cutting at the
// archive's own start (not at the start of the archive Setup happens to
// read, which may be another file) keeps the uninstaller a whole program.
bool ReadProgramStub(const std::string& programFile, Bytes& stub) {
  TPak program(programFile, false, false);
  if (!program.IsOpen()) return false;
  platform::File& file = program.Handle();
  int64_t size = file.Size();
  if (size <= 0) return false;
  int64_t length = std::min(ArchiveStart(program, size), size);
  stub.resize(static_cast<size_t>(length));
  return file.Seek(0, platform::SeekOrigin::Begin) == 0 && file.Read(stub.data(), stub.size()) == stub.size();
}

// Gives the new program the uninstall icon; a program that keeps the
// installer's icon still works, so a failure here is not one of the build.
void ApplyUninstallIcon(const std::string& exePath) {
  for (size_t i = 0; i < SetupArchive->Entries.size(); ++i) {
    const TPakFile& entry = SetupArchive->Entries[i];
    if (entry.Group != 0 || LowerName(entry) != kUninstallIcon) continue;
    // From memory: a file of a fixed name in the temporary folder would
    // overwrite a user's own and collide with another run.
    Bytes icon = SetupArchive->GetData(static_cast<int>(i));
    if (UninstallerIconWriter) UninstallerIconWriter(icon, exePath);
  }
}

bool AppendUninstallArchive(const std::string& exePath) {
  TPak archive(exePath, true, false);
  if (!archive.IsOpen()) return false;
  for (size_t i = 0; i < SetupArchive->Entries.size(); ++i) {
    const TPakFile& entry = SetupArchive->Entries[i];
    const std::string name = UninstallerItemName(entry);
    if (name.empty()) continue;
    Bytes data = SetupArchive->GetData(static_cast<int>(i));
    if (data.empty() && entry.OriginalSize > 0) return false;  // damaged since it was verified
    int index = archive.AddEntry(name, "", 0);
    if (index < 0 || !archive.WriteEntryData(index, data.data(), data.size())) return false;
  }
  TSetupInfoFile info = SetupInfoFile;
  info.IsUninstaller = 1;
  Bytes stored;
  if (!info.Store(stored)) return false;
  int index = archive.AddEntry("SetupInfo", "", 0);
  return index >= 0 && archive.WriteEntryData(index, stored.data(), stored.size()) && archive.WriteTable();
}

}  // namespace

std::string UninstallKeyPath() { return kUninstallListKey + SetupInfoFile.SetupShortName; }

std::string UninstallerPath() { return AddBackslash(SetupInfoFile.InstallDir) + SetupInfoFile.UninstallExe; }

namespace {

// The uninstall entry's "DisplayName" and "UninstallString" (without its
// quotes), as far as it has them.
void ReadUninstallEntry(bool& named, std::string& name, bool& hasCommand, std::string& command) {
  Registry.SetRoot(kLocalMachine);
  named = Registry.OpenKeyReadOnly(UninstallKeyPath()) && Registry.ReadString("DisplayName", name);
  hasCommand = Registry.ReadString("UninstallString", command);
  Registry.CloseKey();
  if (command.size() >= 2 && command.front() == '"' && command.back() == '"')
    command = command.substr(1, command.size() - 2);
}

bool NamesProgram(const std::string& command, const std::string& program) {
  return platform::AnsiLowerCase(command) == platform::AnsiLowerCase(program) || platform::SameFile(command, program);
}

}  // namespace

bool OwnsUninstallEntry() {
  Registry.SetRoot(kLocalMachine);
  if (!Registry.KeyExists(UninstallKeyPath())) return true;
  bool named, hasCommand;
  std::string name, command;
  ReadUninstallEntry(named, name, hasCommand, command);
  if (!named || name != SetupInfoFile.SetupShortName) return false;
  if (!hasCommand || NamesProgram(command, UninstallerPath())) return true;
  // An uninstaller of this setup's name that is gone: the entry of an
  // earlier installation, moved or deleted since.
  const std::string lowered = platform::AnsiLowerCase(command);
  const std::string exe = platform::AnsiLowerCase(SetupInfoFile.UninstallExe);
  return lowered.size() > exe.size() && lowered.ends_with(exe) && lowered[lowered.size() - exe.size() - 1] == '\\' &&
         !platform::FileExists(command);
}

bool UninstallEntryNames(const std::string& uninstaller) {
  if (SetupInfoFile.SetupShortName.empty()) return false;
  bool named, hasCommand;
  std::string name, command;
  ReadUninstallEntry(named, name, hasCommand, command);
  return named && name == SetupInfoFile.SetupShortName && hasCommand && NamesProgram(command, uninstaller);
}

bool RegisterUninstaller() {
  // Without a short name the key would be the list of installed programs
  // itself.
  if (SetupInfoFile.SetupShortName.empty() || !OwnsUninstallEntry()) return false;
  const std::string key = UninstallKeyPath();
  Registry.SetRoot(kLocalMachine);
  const bool existed = Registry.KeyExists(key);
  // Quoted: the system splits an unquoted command at its first blank and
  // would start "C:\Program" of "C:\Program Files\...".
  std::string command = "\"";
  command += UninstallerPath();
  command += '"';
  bool written = Registry.OpenKey(key, true) && Registry.WriteString("DisplayName", SetupInfoFile.SetupShortName) &&
                 Registry.WriteString("UninstallString", command);
  // Half an entry is worse than none: the list would offer a program that
  // cannot be started.
  if (!written && Registry.KeyOpen()) {
    Registry.DeleteValue("DisplayName");
    Registry.DeleteValue("UninstallString");
  }
  Registry.CloseKey();
  if (!written && !existed) Registry.DeleteKey(key);
  return written;
}

void UnregisterUninstaller() {
  if (SetupInfoFile.SetupShortName.empty() || !OwnsUninstallEntry()) return;
  Registry.SetRoot(kLocalMachine);
  if (!Registry.OpenKey(UninstallKeyPath(), false)) return;
  Registry.DeleteValue("DisplayName");
  Registry.DeleteValue("UninstallString");
  Registry.CloseKey();
  Registry.DeleteEmptyKey(UninstallKeyPath());
}

int64_t ArchiveStart(const TPak& archive, int64_t fileSize) {
  if (std::memcmp(archive.Magic, "QXPF", 4) != 0) return fileSize;
  int64_t start = archive.TableOffset;
  for (const TPakFile& entry : archive.Entries) {
    uint32_t stored = entry.StoredSize == 0 ? entry.OriginalSize : entry.StoredSize;
    if (stored > 0) start = std::min<int64_t>(start, entry.Offset);
  }
  return start;
}

std::string CreateUninstaller() {
  // The file first: the entry must never name a program that is not there.
  std::string failure = WriteUninstaller(platform::ProgramFile());
  if (!failure.empty() || !platform::FileExists(UninstallerPath()) || SetupInfoFile.SetupShortName.empty())
    return failure;
  if (OwnsUninstallEntry())
    RegisterUninstaller();
  else if (!Silent)
    platform::ShowMessageBox("The list of installed programs already holds an entry \"" + SetupInfoFile.SetupShortName +
                                 "\" that this installation did not write; it was left as it is, and this "
                                 "installation is not listed there.\rTo remove this installation, run " +
                                 UninstallerPath(),
                             "Information", platform::kMbOk);
  return failure;
}

std::string UninstallerItemName(const TPakFile& entry) {
  const std::string name = LowerName(entry);
  if (entry.Group != 0 || name.compare(0, kUninstallItemPrefixLength, kUninstallItemPrefix) != 0 ||
      name == kUninstallIcon)
    return {};
  return entry.Name.substr(kUninstallItemPrefixLength);
}

std::string WriteUninstaller(const std::string& programFile) {
  if (!SetupArchive || SetupArchive->Entries.empty()) return {};
  const std::string target = UninstallerPath();
  const std::string failure = "Error: The uninstaller could not be written: " + target;
  // Built aside, so that a failure leaves any older uninstaller as it was
  // and no half-written program behind.
  ForceDirectoriesLogged(SetupInfoFile.InstallDir);
  platform::FileReplacement program(target);
  Bytes stub;
  if (!program.IsOpen() || !ReadProgramStub(programFile, stub) || !program.Stream().Write(stub.data(), stub.size()))
    return failure;
  // The icon and the archive are written by name.
  program.Stream().Close();
  ApplyUninstallIcon(program.Path());
  if (AppendUninstallArchive(program.Path()) && program.Commit()) return {};
  return failure;
}
