#include "Setup/SE_Startup.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>

#include "Setup/SE_ErrorReport.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_FD.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/File.h"
#include "platform/FileName.h"
#include "platform/MessageBox.h"
#include "platform/Program.h"
#include "platform/System.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

bool Silent = false;
std::u16string IdDir;
uint16_t SystemLangId = 0;

namespace {

constexpr char kLanguagePrefix[] = "language-";  // lower-cased
constexpr size_t kLanguagePrefixLength = sizeof kLanguagePrefix - 1;

// The archive lives as long as the program.
std::unique_ptr<TPak> setupArchive;
// The file it was read from: an uninstaller's own program.
std::string setupArchiveFile;

bool Fail(const std::string& text, const std::string& caption) {
  platform::ShowMessageBox(text, caption, platform::kMbOk);
  return false;
}

// Steps of the verification bar within one entry that is read in pieces.
constexpr int32_t kPieceSteps = 1000;

std::string Status(int32_t done, size_t count) {
  return "Status: " + std::to_string(done) + " out of " + std::to_string(count) + " files verifyed";
}

// The group-0 item as a block; empty when it is missing or damaged.
Bytes Group0Item(const std::string& name) {
  uint32_t size = 0;
  return SetupArchive->FindFile(name, 0, size);
}

// The install folder a source names, through the one check; false after the
// box that shows it as given and why it cannot be used.
bool TakeInstallFolder(const std::u16string& given, const char* source, std::string& folder) {
  const std::string fault = InstallFolderFault(given, folder);
  if (fault.empty()) return true;
  platform::ShowMessageBoxW(u"Error: The install folder " + platform::AnsiToWide(source) + u" cannot be used: " +
                                given + u"\r" + platform::AnsiToWide("It " + fault + "."),
                            u"Setup Error", platform::kMbOk);
  return false;
}

bool LoadInstallerScript() {
  Bytes lines = Group0Item("CompiledLines");
  if (lines.empty() || !CompLines.LoadFromBuffer(lines.data(), lines.size()))
    return Fail("Error: Compiled Lines Missing. Setup is corrupt", "Verification Error");
  RegisterCommands(CommandList);
  GroupKinds = BuildGroupKinds();
  return true;
}

void LoadLanguages() {
  for (size_t i = 0; i < SetupArchive->Entries.size(); ++i) {
    const TPakFile& entry = SetupArchive->Entries[i];
    std::string name = platform::AnsiLowerCase(entry.Name);
    if (entry.Group != 0 || name.compare(0, kLanguagePrefixLength, kLanguagePrefix) != 0) continue;
    Bytes data = SetupArchive->GetData(static_cast<int>(i));
    Languages.AddFromBuffer(data.data(), data.size());
  }
  Languages.Current = Languages.FindByLangId(SystemLangId);
  if (Languages.Current < 0) Languages.Current = 0;
}

}  // namespace

void ReadSwitches(const std::vector<std::u16string>& params) {
  for (size_t i = 0; i < params.size(); ++i) {
    std::string arg = platform::AnsiLowerCase(platform::WideToAnsi(params[i]));
    if (arg == "-silent") Silent = true;
    if (arg == "-id") IdDir = i + 1 < params.size() ? params[i + 1] : u"";
  }
  // Mod managers and scripts install with both; a person who starts the
  // installer gives at most one of them.
  platform::SetPersonWatching(!Silent || IdDir.empty());
}

std::string ArchiveFileName(const std::vector<std::string>& params, const std::string& programFile) {
  return !params.empty() && platform::FileExists(params[0]) ? params[0] : programFile;
}

bool OpenSetupArchive(const std::string& fileName) {
  if (fileName.empty()) {
    platform::ShowMessageBoxW(u"Error: Setup cannot open its own file: " + platform::ProgramFileWide() + u"\rIt " +
                                  platform::AnsiToWide(platform::kNoNarrowPath) + u".",
                              u"Error", platform::kMbOk);
    return false;
  }
  setupArchiveFile = fileName;
  setupArchive = std::make_unique<TPak>(fileName, false, false);
  SetupArchive = setupArchive.get();
  SetupArchive->OnReport = [](const std::string& text) { platform::ShowMessageBox(text, "Error", platform::kMbOk); };
  if (std::memcmp(SetupArchive->Magic, "QXPF", 4) != 0)
    return Fail("Invalid Setup Header. No Contents or Corrupted Contents.", "Error");
  return true;
}

bool VerifySetupArchive(TVerifyView* view, int64_t& spaceOutsideGroup0, std::chrono::milliseconds redrawInterval) {
  spaceOutsideGroup0 = 0;
  const std::vector<TPakFile>& entries = SetupArchive->Entries;
  try {
    if (view) view->Show(Status(0, entries.size()), 0, static_cast<int32_t>(entries.size()));
    TRedrawPace pace(redrawInterval);
    for (size_t i = 0; i < entries.size(); ++i) {
      const TPakFile& entry = entries[i];
      // A large entry is read in pieces; the window answers and its bar
      // moves after each, so a multi-gigabyte entry does not freeze it.
      TPak::PieceFn onPiece;
      if (view) {
        onPiece = [view, i, &entries, &pace, done = uint64_t{0}, length = uint64_t{entry.OriginalSize}](
                      const uint8_t*, size_t n) mutable {
          done += n;
          if (!pace.Due()) return true;
          const int32_t count = static_cast<int32_t>(entries.size());
          view->Show(Status(static_cast<int32_t>(i), entries.size()),
                     static_cast<int32_t>(i * kPieceSteps + done * kPieceSteps / length), count * kPieceSteps);
          view->ProcessMessages();
          return true;
        };
      }
      if (entry.OriginalSize > 0 && !SetupArchive->VerifyEntry(static_cast<int>(i), onPiece))
        return Fail(
            "Error: Verification Failed. Setup is corrupt.\rID: " + std::to_string(i) + " Filename: " + entry.Name,
            "Verification Error");
      if (entry.Group != 0) spaceOutsideGroup0 += entry.OriginalSize;
      if (view && (i + 1 == entries.size() || pace.Due())) {
        view->Show(Status(static_cast<int32_t>(i + 1), entries.size()), static_cast<int32_t>(i + 1),
                   static_cast<int32_t>(entries.size()));
        view->ProcessMessages();
      }
    }
  } catch (...) {
    ReportUnexpectedError(ExceptionText(std::current_exception()), "Verification Stage");
    return false;
  }
  return true;
}

bool StartUp(const std::string& archiveFile, TVerifyView* view, std::chrono::milliseconds settle) {
  int64_t space = 0;
  if (view) view->Show("Loading Header", 0, 100);
  if (!OpenSetupArchive(archiveFile) || !VerifySetupArchive(view, space)) return false;
  std::this_thread::sleep_for(settle);
  if (view) view->Close();
  return LoadSetup(space);
}

bool LoadSetup(int64_t spaceOutsideGroup0) {
  CDDriveRoot = FindCDDrive();
  SpaceRequired = spaceOutsideGroup0;
  SpaceRequiredText = FormatByteSize(SpaceRequired);

  Bytes info = Group0Item("SetupInfo");
  if (info.empty() || !SetupInfoFile.LoadFromBuffer(info.data(), info.size()))
    return Fail("Error: Setup Information Missing. Setup is corrupt", "Verification Error");
  const bool uninstaller = SetupInfoFile.IsUninstaller == 1;
  // Install folders may name these.
  ProgramFilesDir = GetProgramFilesDir(nullptr);
  StartMenuProgramsDir = GetStartMenuProgramsDir(nullptr);
  DesktopDir = GetDesktopDir(nullptr);
  std::string folder;  // the install folder, when the run names one
  if (!IdDir.empty() && !TakeInstallFolder(IdDir, "named by -id", folder)) return false;
  if (uninstaller) {
    // The log lies in the install folder, which "-id" names when given.
    // An installation moved since has it beside the uninstaller, which
    // then stands for the install folder.
    const std::string& prefix = SetupInfoFile.UninstallPrefix;
    std::string dir = folder, own = FolderOfPath(setupArchiveFile);
    while (!own.empty() && own.back() == '\\') own.pop_back();
    if (dir.empty()) InstallFolderFault(platform::AnsiToWide(SetupInfoFile.InstallDir), dir);
    if (IdDir.empty() && (dir.empty() || !platform::FileExists(TUninstallList::LogPath(dir, prefix))) &&
        InstallFolderFault(platform::AnsiToWide(own), own).empty() &&
        platform::FileExists(TUninstallList::LogPath(own, prefix)))
      dir = own;
    if (dir.empty() || !platform::FileExists(TUninstallList::LogPath(dir, prefix)))
      return Fail("Error: install log is missing", "Setup Error");
    SetupInfoFile.InstallDir = dir;
    // A log that does not load whole would remove part of the installation
    // and then report success: nothing is removed, the log stays.
    if (!UninstallList.LoadFromFile(dir, prefix))
      return Fail("Error: The install log is damaged: " + TUninstallList::LogPath(dir, prefix) + "\r" +
                      UninstallList.LoadError(),
                  "Setup Error");
    SpaceRequired = 0;
  } else {
    if (!LoadInstallerScript()) return false;
    SpaceRequired = SpaceOfGroups(SetupArchive->Entries, GroupKinds);
  }
  SpaceRequiredText = FormatByteSize(SpaceRequired);
  LoadLanguages();

  if (!uninstaller && IdDir.empty()) {
    const std::u16string found = HasInstallDirRegKeys() ? ReadInstallDirFromRegistry() : u"";
    if (found.empty() && SetupInfoFile.InstallDir.empty())
      return Fail("Error: Registry Key Not Found. Please Install Software", "Error");
    if (found.empty() ? !TakeInstallFolder(platform::AnsiToWide(SetupInfoFile.InstallDir), "of this setup", folder)
                      : !TakeInstallFolder(found, "named in the registry", folder))
      return false;
  }
  if (!folder.empty()) SetupInfoFile.InstallDir = folder;
  if (!IdDir.empty() || !uninstaller) NoteSpaceAvailable();
  return true;
}

std::vector<uint8_t> BuildGroupKinds() {
  std::vector<uint8_t> kinds{0};
  for (const TCompLine& line : CompLines.Lines) {
    TCommandClass* command = line.Id > 0 ? CommandList.Get(line.Id) : nullptr;
    int32_t kind = command ? command->FileKind() : 0;
    if (kind == 1) kinds.push_back(0);
    if (kind == 2) kinds.push_back(1);
  }
  return kinds;
}

int64_t SpaceOfGroups(const std::vector<TPakFile>& entries, const std::vector<uint8_t>& groupKinds) {
  int64_t space = 0;
  for (const TPakFile& entry : entries) {
    if (entry.Group == 0 || entry.Group >= groupKinds.size()) continue;
    bool update = groupKinds[entry.Group] == 1;
    space += update && entry.StoredSize != 0 ? entry.StoredSize : entry.OriginalSize;
  }
  return space;
}

void NoteSpaceAvailable() {
  const std::string& dir = SetupInfoFile.InstallDir;
  if (dir.empty()) return;
  char drive = static_cast<char>(dir[0] >= 'a' && dir[0] <= 'z' ? dir[0] - ('a' - 'A') : dir[0]);
  if (drive < 'A' || drive > 'Z') return;
  SpaceAvailable = platform::DriveFreeBytes(std::string(1, drive) + ":\\");
  SpaceAvailableText = FormatByteSize(SpaceAvailable);
}

bool HasInstallDirRegKeys() {
  for (const TREGKEY& slot : SetupInfoFile.InstallDirRegKey)
    if (!slot.Key.empty()) return true;
  return false;
}

std::u16string ReadInstallDirFromRegistry() {
  for (const TREGKEY& slot : SetupInfoFile.InstallDirRegKey) {
    if (slot.Key.empty()) continue;
    Registry.SetRoot(slot.HKEY);
    // Reading needs no write access, which a user without rights to the
    // machine's keys lacks.
    if (!Registry.OpenKeyReadOnly(slot.Path)) continue;
    std::u16string dir;
    Registry.ReadString(slot.Key, dir);
    Registry.CloseKey();
    if (!dir.empty()) return dir;
  }
  return {};
}

std::string InstallFolderFault(const std::u16string& given, std::string& folder) {
  folder.clear();
  std::u16string path = ExpandPathVars(given);
  std::replace(path.begin(), path.end(), u'/', u'\\');
  // "C:\Games\.\Mod\\" is "C:\Games\Mod\": the same folder, under the one
  // name that the uninstaller's check of logged paths takes.
  std::u16string normal;
  for (size_t start = 0; start <= path.size();) {
    const size_t end = std::min(path.find(u'\\', start), path.size());
    const std::u16string part = path.substr(start, end - start);
    if (start == 0 || (!part.empty() && part != u".")) normal += (start == 0 ? u"" : u"\\") + part;
    start = end + 1;
  }
  if (!path.empty() && (path.back() == u'\\' || normal.size() == 2)) normal += u'\\';
  const std::string narrow = platform::NarrowPath(normal);
  if (narrow.empty() && !normal.empty()) return platform::kNoNarrowPath;
  if (!platform::IsPlainAbsolutePath(AddBackslash(narrow) + "x")) return "is not the full path of a folder on a drive";
  // The uninstall log and the uninstaller are written there whatever the
  // script does; a folder without room for them would be made in part and
  // then fail with nothing to undo it.
  const size_t longest = std::max(TUninstallList::LogPath(narrow, SetupInfoFile.UninstallPrefix).size(),
                                  AddBackslash(narrow).size() + SetupInfoFile.UninstallExe.size());
  if (longest > platform::kMaxPath)
    return "is too long: with the installer's own files in it a path would pass the system's " +
           std::to_string(platform::kMaxPath) + " characters";
  folder = narrow;
  return {};
}
