#include "installer-library/SE_Global.h"

#include <cmath>
#include <stdexcept>

#include "installer-library/QXI_FD.h"
#include "installer-library/SIntegerText.h"
#include "installer-library/S_DecimalSeperator.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Shell.h"
#include "platform/System.h"
#include "platform/Text.h"

using platform::AnsiToWide;

// --- globals --------------------------------------------------------------------
// Everything in this file is constructed in the order written, before the
// program body runs: first the plain values, then, from the environment
// table to the status lock, the installer globals in their creation order.

std::string ProgramFilesDir;
std::string StartMenuProgramsDir;
std::string DesktopDir;
std::string CDDriveRoot;
std::string LanguageSelection = "English";
int64_t SpaceRequired = 0;
int64_t SpaceAvailable = 0;
std::string SpaceRequiredText;
std::string SpaceAvailableText;
std::vector<uint8_t> GroupKinds;
TPak* SetupArchive = nullptr;
std::atomic<int32_t> CurrentLine{0};
std::atomic<bool> AbortFlag{false};
int32_t ProgressCount = 0;
std::atomic<void*> ApplicationWindow{nullptr};
std::atomic<bool> ApplicationTerminating{false};

std::vector<TSysVar> EnvironmentTable = ParseEnvironmentBlock(platform::EnvironmentBlock());
std::atomic<void*> PatchingStatusLabel{nullptr};
std::atomic<void*> PatchingProgressBar{nullptr};
std::atomic<void*> FinishTextLabel{nullptr};
platform::Registry Registry;
TSetupInfoFile SetupInfoFile;
TCompLines CompLines;
TCommandList CommandList;
TLanguages Languages;
TLanguageStrings LanguageStrings = [] {
  TLanguageStrings table;
  table.Add("<%SETUPTITLE%>", &SetupInfoFile.SetupName);
  table.Add("<%SETUPSHORTTITLE%>", &SetupInfoFile.SetupShortName);
  table.Add("<%CHANGELOG%>", &SetupInfoFile.Changelog);
  table.Add("<%SPACEREQ%>", &SpaceRequiredText);
  table.Add("<%SPACEAVA%>", &SpaceAvailableText);
  return table;
}();
platform::CriticalSection StatusLock;

namespace {

// The hand-off's pending values; touched only under StatusLock.
std::string PendingStatusText;
bool StatusTextChanged = false;
int32_t PendingProgress = 0;
bool ProgressChanged = false;
std::u16string PendingFailureText;
bool FailureTextChanged = false;
bool FailureRepaint = false;

class TStatusGuard {
 public:
  TStatusGuard() { EnterStatusLock(); }
  ~TStatusGuard() { LeaveStatusLock(); }
  TStatusGuard(const TStatusGuard&) = delete;
  TStatusGuard& operator=(const TStatusGuard&) = delete;
};

std::u16string Replace(const std::u16string& text, const std::u16string& pattern, const std::string& value) {
  return TLanguages::ReplaceText(text, pattern, AnsiToWide(value));
}

// A folder that ends in a backslash leaves it after its variable, so the log
// reads "$INSTDIR\file" and expands to the same path whether or not the
// folder of a later run ends in a backslash (repeated ones become one).
std::u16string Collapse(const std::u16string& text, const std::string& folder, const std::u16string& variable) {
  if (folder.empty() || folder.back() != '\\') return TLanguages::ReplaceText(text, AnsiToWide(folder), variable);
  // A path joined as folder + "\" + name has its separator doubled here.
  const std::u16string one = variable + u"\\", two = one + u"\\";
  std::u16string r = TLanguages::ReplaceText(text, AnsiToWide(folder), one);
  while (r.find(two) != std::u16string::npos) r = TLanguages::ReplaceText(r, two, one);
  return r;
}

}  // namespace

// --- path variables -----------------------------------------------------------------

std::u16string ExpandPathVars(const std::u16string& text) {
  std::u16string r = text;
  r = Replace(r, u"$INSTDIR", SetupInfoFile.InstallDir);
  r = Replace(r, u"$INSTALLDIR", SetupInfoFile.InstallDir);
  r = Replace(r, u"$SMPROGRAMS", StartMenuProgramsDir);
  r = Replace(r, u"$PROGRAMFILES", ProgramFilesDir);
  r = Replace(r, u"$APPDATA", GetAppDataDir());
  r = Replace(r, u"$DESKTOP", DesktopDir);
  r = Replace(r, u"$CDDRIVE", CDDriveRoot);
  r = Replace(r, u"$LANGUAGESELECTION", LanguageSelection);
  ExpandEnvVars(r);
  // The folder values end in a backslash and the names after them start
  // with one; repeated replacement turns every run into a single one.
  return TLanguages::ReplaceText(r, u"\\\\", u"\\");
}

std::string ExpandPath(const std::string& text) { return platform::WideToAnsi(ExpandPathVars(AnsiToWide(text))); }

std::u16string CollapsePathVars(const std::u16string& text) {
  std::u16string r = text;
  r = Collapse(r, SetupInfoFile.InstallDir, u"$INSTDIR");
  r = Collapse(r, StartMenuProgramsDir, u"$SMPROGRAMS");
  r = Collapse(r, ProgramFilesDir, u"$PROGRAMFILES");
  r = Collapse(r, GetAppDataDir(), u"$APPDATA");
  r = Collapse(r, DesktopDir, u"$DESKTOP");
  ExpandEnvVars(r);
  return r;
}

void ExpandEnvVars(std::u16string& text) {
  if (text.find(u'%') == std::u16string::npos) return;
  for (const TSysVar& v : EnvironmentTable) {
    std::u16string pattern = u"%";
    pattern += AnsiToWide(v.Name);
    pattern += u'%';
    text = Replace(text, pattern, v.Value);
  }
}

void LoadEnvironment() { EnvironmentTable = ParseEnvironmentBlock(platform::EnvironmentBlock()); }

std::vector<TSysVar> ParseEnvironmentBlock(const std::string& block) {
  std::vector<TSysVar> table;
  for (size_t at = 0; at < block.size();) {
    size_t end = block.find('\0', at);
    if (end == std::string::npos) end = block.size();
    if (end == at) break;  // the empty string that ends the block
    TSysVar v;
    SplitEnvEntry(block.substr(at, end - at), v.Name, v.Value);
    if (!v.Name.empty()) table.push_back(v);
    at = end + 1;
  }
  return table;
}

void SplitEnvEntry(const std::string& entry, std::string& name, std::string& value) {
  size_t eq = entry.find('=');
  name = eq == std::string::npos ? "" : entry.substr(0, eq);
  value = eq == std::string::npos ? "" : entry.substr(eq + 1);
}

void SplitNameValue(const std::string& text, std::string& name, std::string& value) {
  size_t eq = text.find('=');
  name = eq == std::string::npos ? "" : text.substr(0, eq);
  value = eq == std::string::npos ? text : text.substr(eq + 1);
}

std::string AddBackslash(const std::string& text) { return text.empty() || text.back() == '\\' ? text : text + "\\"; }

// --- folders and drives ---------------------------------------------------------------

std::string GetSpecialFolder(void* owner, int folderId) { return platform::GetItemIdFolder(owner, folderId); }

std::string GetProgramFilesDir(void* owner) {
  return AddBackslash(GetSpecialFolder(owner, platform::kShellProgramFiles));
}

std::string GetStartMenuProgramsDir(void* owner) {
  return AddBackslash(GetSpecialFolder(owner, platform::kShellPrograms));
}

std::string GetDesktopDir(void* owner) { return AddBackslash(GetSpecialFolder(owner, platform::kShellDesktop)); }

std::string GetShellFolderPath(int folderId) { return platform::GetFolderPathById(folderId); }

std::string GetAppDataDir() { return AddBackslash(GetShellFolderPath(platform::kShellAppData)); }

std::vector<std::string> CDDriveRoots() {
  constexpr uint32_t kCapacity = 129;
  constexpr uint32_t kNotEnoughStorage = 14;
  std::string roots;
  uint32_t n = platform::LogicalDriveStrings(kCapacity, roots);
  if (n == 0) return {};
  if (n > kCapacity) throw std::runtime_error(platform::SystemErrorText(kNotEnoughStorage));
  std::vector<std::string> found;
  for (size_t at = 0; at < roots.size();) {
    size_t end = roots.find('\0', at);
    if (end == std::string::npos) end = roots.size();
    std::string root = roots.substr(at, end - at);
    if (!root.empty() && platform::DriveType(root) == platform::kDriveCDROM) found.push_back(root);
    at = end + 1;
  }
  return found;
}

std::string FindCDDrive() {
  std::vector<std::string> roots = CDDriveRoots();
  return roots.empty() ? std::string() : roots.front();
}

std::string ResolveCDDrive(const std::string& text) {
  if (platform::AnsiLowerCase(text).find("$cddrive") == std::string::npos) return text;
  for (const std::string& root : CDDriveRoots()) {
    std::string candidate = platform::WideToAnsi(Replace(AnsiToWide(text), u"$CDDRIVE", root));
    if (platform::FileExists(candidate)) return candidate;
  }
  return text;
}

// --- texts and numbers ------------------------------------------------------------------

std::string FormatByteSize(int64_t bytes) {
  static const char* const kUnits[] = {"Bytes", "KB", "MB", "GB"};
  int k = 0;
  while (k < 3 && bytes >= int64_t{1} << (10 * (k + 1))) ++k;
  return FloatToStrFixed(std::ldexp(static_cast<double>(bytes), -10 * k), 7, 2) + " " + kUnits[k];
}

int32_t LineFromStr(const std::string& text) {
  int32_t value;
  return TryStrToInt32(text, value) ? value : -1;
}

std::u16string FormatProgressText(const std::u16string& name, int64_t number, int64_t total) {
  constexpr uint16_t kProgressLine = 19;
  std::u16string text = TLanguages::ReplaceText(Languages.GetString(kProgressLine), u"<%QXPNAME%>", name);
  text = TLanguages::ReplaceText(text, u"<%FNUM%>", AnsiToWide(std::to_string(number)));
  return TLanguages::ReplaceText(text, u"<%FTOTAL%>", AnsiToWide(std::to_string(total)));
}

// --- files ---------------------------------------------------------------------------------

bool IsDriveRoot(const std::string& path) {
  std::string p = path;
  while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  return p.empty() || (p.size() == 2 && p[1] == ':');
}

bool RemoveDirTree(const std::string& dir) {
  // Emptying a whole drive is never what a script means; an empty folder
  // variable is the usual way to get here.
  if (IsDriveRoot(dir)) return false;
  if (platform::RemoveLink(dir)) return true;
  if (!platform::DirectoryExists(dir)) return false;
  // Each folder is listed once; after its subfolders have been dealt with
  // it is removed if it can be and dropped either way, so an entry that
  // cannot be deleted ends the walk instead of repeating it forever.
  struct TPending {
    std::string Path;
    bool Listed;
  };
  std::vector<TPending> stack{{dir, false}};
  while (!stack.empty()) {
    if (stack.back().Listed) {
      platform::RemoveEmptyDir(stack.back().Path);
      stack.pop_back();
      continue;
    }
    stack.back().Listed = true;
    std::string base = AddBackslash(stack.back().Path);
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory(base, entries);
    for (const platform::DirEntry& e : entries) {
      if (e.IsLink)
        platform::RemoveLink(base + e.Name);
      else if (e.IsDirectory)
        stack.push_back({base + e.Name, false});
      else
        platform::RemoveFile(base + e.Name);
    }
  }
  return !platform::DirectoryExists(dir);
}

bool CreateShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                     const std::string& workingDir, int showCommand, const std::string& iconPath, uint8_t iconIndex) {
  ForceDirectoriesLogged(FolderOfPath(linkPath));
  const std::string* icon = iconPath != target ? &iconPath : nullptr;
  return platform::SaveShellLink(linkPath, target, arguments, workingDir, showCommand, icon, iconIndex);
}

bool CreateShortcut(const std::string& linkPath, const std::string& target, const std::string& arguments) {
  return CreateShortcutWithIcon(linkPath, target, arguments, target);
}

bool CreateShortcutWithIcon(const std::string& linkPath, const std::string& target, const std::string& arguments,
                            const std::string& iconPath) {
  constexpr int kNormalWindow = 1;
  return CreateShellLink(linkPath, target, arguments, FolderOfPath(target), kNormalWindow, iconPath, 0);
}

// --- status hand-off ----------------------------------------------------------------------

void EnterStatusLock() { StatusLock.Enter(); }

void LeaveStatusLock() { StatusLock.Leave(); }

void SetStatusText(const std::u16string& text) {
  if (!PatchingStatusLabel.load()) return;
  std::string converted = platform::WideToAnsi(text);
  TStatusGuard guard;
  PendingStatusText = std::move(converted);
  StatusTextChanged = true;
}

void StepProgress(bool publish) {
  if (!PatchingProgressBar.load()) return;
  ++ProgressCount;
  if (!publish) return;
  TStatusGuard guard;
  PendingProgress = ProgressCount;
  ProgressChanged = true;
}

void SetFailureText(const std::u16string& text, bool repaint) {
  if (!FinishTextLabel.load()) return;
  TStatusGuard guard;
  PendingFailureText = text;
  FailureTextChanged = true;
  FailureRepaint = FailureRepaint || repaint;
}

TStatusUpdate TakeStatusUpdate() {
  TStatusUpdate update;
  TStatusGuard guard;
  if (StatusTextChanged) update.StatusText = PendingStatusText;
  if (ProgressChanged) update.Progress = PendingProgress;
  if (FailureTextChanged) {
    update.FailureText = PendingFailureText;
    update.RepaintFailure = FailureRepaint;
  }
  StatusTextChanged = ProgressChanged = FailureTextChanged = FailureRepaint = false;
  return update;
}
