#include "compiler/FormMain.h"

#include <algorithm>
#include <utility>

#include "Global/QXI_PakFile.h"
#include "compiler/QXI_CompilerUtils.h"
#include "compiler/QXI_GenerateModCode.h"
#include "compiler/TCompiler.h"
#include "diagnostics/SCrashEnding.h"
#include "installer-library/QXI_Commands.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/FileReplacement.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

namespace {

constexpr const char* kProjectFilter = "TRVX Setup(*.TRVX)|*.trvx";
constexpr const char* kProjectExt = "trvx";
constexpr const char* kModIniFilter = "QX Mod INI (*.INI)|*.ini";
constexpr const char* kSetupSection = "SETUP";
constexpr const char* kModSection = "Main";

// The mod settings the window knows, with their defaults, in grid order.
// "Mod Dir" takes the name of the file it was read from instead.
struct TModSetting {
  const char* Key;
  const char* Default;
};
constexpr TModSetting kModSettings[] = {
    {"Mod", "MyMod"},          {"Mod Dir", "MyMod"},   {"Mod_Ver", "1.0"},    {"Mod_Music", "Menu"},
    {"Mod_Ver_Align", "0"},    {"Req_Ver", "1.10"},    {"Multi_Name", ""},    {"CreditsChange1", "340"},
    {"CreditsChange2", "360"}, {"CreditsDark1", "50"}, {"CreditsDark2", "0"},
};

bool SameKey(const std::string& a, const std::string& b) {
  return platform::AnsiLowerCase(a) == platform::AnsiLowerCase(b);
}

// A name that stays inside the folder it is put in: not empty, no folder
// part, not made of dots alone.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/") == std::string::npos &&
         name.find_first_not_of('.') != std::string::npos;
}

}  // namespace

std::vector<uint32_t> XPGradientColumns(int width) {
  std::vector<uint32_t> columns;
  if (width <= 0) return columns;
  // Single precision, the fraction of each product dropped.
  float step[3];
  for (int c = 0; c < 3; ++c)
    step[c] = static_cast<float>(kGradientFrom[c] - kGradientTo[c]) / static_cast<float>(width);
  for (int x = 0; x < width; ++x) {
    uint32_t colour = 0;
    for (int c = 0; c < 3; ++c) {
      int value = kGradientFrom[c] - static_cast<int>(static_cast<float>(static_cast<float>(x) * step[c]));
      colour |= static_cast<uint32_t>(value) << (8 * c);
    }
    columns.push_back(colour);
  }
  return columns;
}

TFrmMain::TFrmMain(TCompiler& compiler, TFrmMainView& view) : compiler_(compiler), view_(view) {
  for (const TModSetting& s : kModSettings) ModInfo.push_back({s.Key, s.Default});
}

TFrmMain::~TFrmMain() {
  Worker.reset();
  if (compiler_.Commands == &Commands) compiler_.Commands = nullptr;
  compiler_.LogCallback = nullptr;
  compiler_.StatusCallback = nullptr;
}

void TFrmMain::FormCreate(const std::vector<std::string>& parameters) {
  Caption = kWindowCaption;
  RegisterCommands(Commands);
  compiler_.Commands = &Commands;
  sourceBaseDir_.clear();
  if (!parameters.empty() && platform::AnsiLowerCase(parameters[0]) == "-debug") DebugMode = true;
  compiler_.LogCallback = [this](const std::string& text) { CompiledInformation.push_back(text); };
  compiler_.StatusCallback = [this](const std::string& text) {
    LabelCompile = text;
    view_.StatusChanged();
  };
  ActivePage = TMainPage::SetupInfoTab;
  GenerateInstLayoutCombo();
  GenerateUninstLayoutCombo();
  ReplaceWorker();
}

void TFrmMain::FillLayoutCombo(TLayoutCombo& combo, const std::string& folder) {
  combo.Items.clear();
  std::vector<platform::DirEntry> entries;
  // Plain files are listed as well as folders.
  if (platform::ListDirectory(folder, entries))
    for (const platform::DirEntry& e : entries) combo.Items.push_back(e.Name);
  if (!combo.Items.empty())
    SetComboText(combo, combo.Items[0]);
  else
    combo.ItemIndex = -1;
}

void TFrmMain::SetComboText(TLayoutCombo& combo, const std::string& text) {
  combo.Text = text;
  auto it = std::find(combo.Items.begin(), combo.Items.end(), text);
  combo.ItemIndex = it == combo.Items.end() ? -1 : static_cast<int>(it - combo.Items.begin());
}

void TFrmMain::GenerateInstLayoutCombo() { FillLayoutCombo(InstLayout, ProgramDir() + "\\layout\\install\\"); }

void TFrmMain::GenerateUninstLayoutCombo() { FillLayoutCombo(UninstLayout, ProgramDir() + "\\layout\\uninstall\\"); }

std::string TFrmMain::ModInfoValue(const std::string& key) const {
  for (const TModInfoRow& row : ModInfo)
    if (SameKey(row.Key, key)) return row.Value;
  return {};
}

void TFrmMain::SetModInfoValue(const std::string& key, const std::string& value) {
  for (TModInfoRow& row : ModInfo)
    if (SameKey(row.Key, key)) {
      row.Value = value;
      return;
    }
  ModInfo.push_back({key, value});
}

void TFrmMain::GetModInfoFromIni(const std::string& ini, const std::string& key, const std::string& fallback) {
  std::string value = fallback;
  platform::ProfileFile(ini).Read(kModSection, key, value);
  SetModInfoValue(key, value);
}

bool TFrmMain::SetModInfoFromIni(const std::string& ini, const std::string& key) {
  std::string value = ModInfoValue(key);
  return value.empty() || platform::ProfileFile(ini).Write(kModSection, key, value);
}

void TFrmMain::ReadActualINI(const std::string& ini) {
  platform::ProfileFile file(ini);
  for (const std::string& section : file.Sections())
    if (platform::AnsiLowerCase(section) == "main")
      for (const std::string& key : file.Keys(section)) GetModInfoFromIni(ini, key, "");
  for (const TModSetting& s : kModSettings) {
    if (std::string(s.Key) == "Mod Dir")
      SetModInfoValue(s.Key, FileNameWithoutExt(OpenDialogFileName));
    else
      GetModInfoFromIni(ini, s.Key, s.Default);
  }
}

bool TFrmMain::BuildActualINI(const std::string& ini) {
  bool written = true;
  for (const TModInfoRow& row : ModInfo) written = SetModInfoFromIni(ini, row.Key) && written;
  return written;
}

void TFrmMain::Load1Click() {
  std::string path;
  if (!view_.OpenDialog(kProjectFilter, path)) return;
  OpenDialogFileName = path;
  platform::ProfileFile project(path);
  auto read = [&](const char* key, const char* fallback, std::string& field) {
    field = fallback;
    project.Read(kSetupSection, key, field);
  };
  read("SetupShortName", "MySetup", SetupShortName);
  read("SetupName", "MySetup v1.0", SetupName);
  read("SetupExeName", "mysetup.exe", SetupExeName);
  read("ModFilesDir", "", ModFilesDir);
  std::string layout;
  read("InstLayout", "QX1", layout);
  SetComboText(InstLayout, layout);
  read("UninstLayout", "QX1", layout);
  SetComboText(UninstLayout, layout);
  ReadActualINI(path);
  Caption = std::string(kWindowCaption) + " - " + ExtractFileName(path);
}

void TFrmMain::Save1Click() {
  std::string path;
  if (!view_.SaveDialog(kProjectFilter, kProjectExt, path)) return;
  if (FileNameWithoutExt(path) == ExtractFileName(path)) path += std::string(".") + kProjectExt;
  // The project is written from scratch beside the old one and only then
  // takes its name, so a failed save leaves the previous project whole.
  platform::FileReplacement file(path);
  // The profile writer opens the file by its name.
  file.Stream().Close();
  platform::ProfileFile project(file.Path());
  bool written = file.IsOpen() && project.Write(kSetupSection, "SetupShortName", SetupShortName) &&
                 project.Write(kSetupSection, "SetupName", SetupName) &&
                 project.Write(kSetupSection, "SetupExeName", SetupExeName) &&
                 project.Write(kSetupSection, "ModFilesDir", ModFilesDir) &&
                 project.Write(kSetupSection, "InstLayout", InstLayout.Text) &&
                 project.Write(kSetupSection, "UninstLayout", UninstLayout.Text) && BuildActualINI(file.Path()) &&
                 file.Commit();
  if (!written) {
    file.Abandon();
    view_.ShowMessage("Error: The project could not be saved as " + path, "Save error");
    return;
  }
  Caption = std::string(kWindowCaption) + " - " + ExtractFileName(path);
}

void TFrmMain::Button6Click() {
  std::string path;
  if (!view_.OpenDialog(kModIniFilter, path)) return;
  OpenDialogFileName = path;
  ReadActualINI(path);
  SetupName = ModInfoValue("Mod") + " v" + ModInfoValue("Mod_Ver");
  SetupShortName = ModInfoValue("Mod");
  SetupExeName =
      SpacesToUnderscore(ModInfoValue("Mod Dir")) + "_" + SpacesToUnderscore(ModInfoValue("Mod_Ver")) + ".exe";
}

void TFrmMain::Button4Click() {
  std::string path;
  if (view_.SelectDirectory(path)) ModFilesDir = path;
}

void TFrmMain::HasUninstallCheckClick() { HasUninstallOption = HasUninstallCheck; }

void TFrmMain::HasShortcutsCheckClick() { HasShortcutsOption = HasShortcutsCheck; }

const std::string& TFrmMain::ProgramDir() const { return compiler_.ProgramDir; }

std::string TFrmMain::TempIniDir() const { return ProgramDir() + "\\initempdir\\"; }

std::string TFrmMain::TempIniFile() const {
  return TempIniDir() + StripInvalidNameChars(ModInfoValue("Mod Dir")) + ".ini";
}

bool TFrmMain::BuildINI() {
  platform::MakeDir(TempIniDir());
  platform::RemoveFile(TempIniFile());
  return BuildActualINI(TempIniFile());
}

std::vector<std::string> TFrmMain::SourceLines() const {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = SourceFile.find('\r', start)) != std::string::npos; start = end + 1)
    lines.push_back(SourceFile.substr(start, end - start));
  if (start < SourceFile.size()) lines.push_back(SourceFile.substr(start));
  return lines;
}

void TFrmMain::ReplaceWorker() {
  Worker.reset();
  Worker = std::make_unique<TCompilerThread>(
      compiler_, [this](const std::string& text, const std::string& caption) { view_.ShowMessage(text, caption); });
}

void TFrmMain::Compile1Click() {
  if (ModFilesDir.empty()) {
    view_.ShowMessage("Error: You need to specify where your mod`s files are stored", "Compile error");
    return;
  }
  // These fields go into the script between double quotes as typed, and
  // the script cannot quote a double quote: it would vanish unnoticed. The
  // executable name and "Mod Dir" are cleaned of it like of any character a
  // file name cannot hold.
  const std::pair<const char*, const std::string*> quotedFields[] = {
      {"Setup Name", &SetupName},
      {"Setup Shortname", &SetupShortName},
      {"Directory with mod files", &ModFilesDir},
      {"Install Layout", &InstLayout.Text},
      {"Uninstall Layout", &UninstLayout.Text},
  };
  for (const auto& [label, text] : quotedFields)
    if (text->find('"') != std::string::npos) {
      view_.ShowMessage(std::string("Error: \"") + label + "\" cannot hold a double quote (\")", "Compile error");
      return;
    }
  // An installer without the mod's files, or a settings file written
  // outside the temporary folder, is never what the author asked for.
  if (!ModFilesDirTyped.empty()) {
    view_.ShowWideMessage(u"Error: The folder with your mod's files cannot be used: " + ModFilesDirTyped + u"\rIt " +
                              platform::AnsiToWide(platform::kNoNarrowPath) + u".",
                          "Compile error");
    return;
  }
  if (!platform::DirectoryExists(ModFilesDir)) {
    view_.ShowMessage("Error: The folder with your mod's files does not exist: " + ModFilesDir, "Compile error");
    return;
  }
  if (!IsPlainName(StripInvalidNameChars(ModInfoValue("Mod Dir")))) {
    view_.ShowMessage("Error: \"Mod Dir\" must be a plain folder name", "Compile error");
    return;
  }
  ReplaceWorker();
  platform::MakeDir(ProgramDir() + "\\compiled\\");

  TModCodeInputs in;
  in.SetupName = SetupName;
  in.SetupShortName = SetupShortName;
  in.SetupExeName = SetupExeName;
  in.PrefixName = SetupShortName;
  in.InstallPages = "Install\\" + InstLayout.Text;
  in.UninstallPages = "Uninstall\\" + UninstLayout.Text;
  in.ModDir = ModInfoValue("Mod Dir");
  in.ModFilesDir = ModFilesDir;
  in.ModIniFile = TempIniFile();
  in.ProgramDir = ProgramDir();
  SourceFile = GenerateModCode(in);

  // The settings file goes again however the run ends; a crash's report
  // runs this first.
  TCrashEnding ending("Compile", [this] { RemoveTempIni(); });
  if (!BuildINI()) {
    view_.ShowMessage("Error: The mod's settings file could not be written to " + TempIniFile(), "Compile error");
  } else {
    ActivePage = TMainPage::TabSheet2;
    CompiledInformation.clear();
    CompiledVer.clear();
    CompiledVerVisible = false;
    DividerPanelVisible = false;
    ErrorStringLabel = u"Error: None";
    ErrorLineNumberLabel = "Line Num: None";
    // The flashing of an earlier error may have ended on red.
    ErrorFlashTimerEnabled = ErrorTimerStopEnabled = ErrorPanelRed = false;
    Image1Visible = true;
    ActiveControl = TFocus::CompiledInformation;

    compiler_.SetupInfo = TSetupInfoFile{};
    compiler_.SetupInfo.UninstallExe = "Uninstall.exe";
    compiler_.SetupInfo.UninstallPrefix.clear();

    LabelCompile.clear();
    LabelCompileVisible = true;
    compiler_.Compile(SourceLines(), sourceBaseDir_);
    LabelCompileVisible = false;

    if (!compiler_.Error.Text.empty()) {
      ShowCompileError();
    } else {
      LabelCompile.clear();
      LabelCompileVisible = true;
      const bool built = compiler_.BuildSetup();
      LabelCompileVisible = false;
      // The log, ending in the error, stays in view; the panel says it too.
      if (!built) ShowError(platform::AnsiToWide(compiler_.BuildError), "None");
      if (DebugMode) ShowListing(compiler_.CompiledListing());
    }
  }
  RemoveTempIni();
  ReplaceWorker();
}

void TFrmMain::RemoveTempIni() {
  platform::RemoveFile(TempIniFile());
  platform::RemoveEmptyDir(TempIniDir());
}

void TFrmMain::ShowError(const std::u16string& text, const std::string& line) {
  ErrorPanelVisible = true;
  ErrorLabelsVisible = true;
  ErrorStringLabel = u"Error: " + text;
  ErrorLineNumberLabel = "Line Num: " + line;
  ErrorTimerStopEnabled = true;
  ErrorFlashTimerEnabled = true;
}

void TFrmMain::ShowCompileError() {
  const TCompilerError& error = compiler_.Error;
  ShowError(error.Wide.empty() ? platform::AnsiToWide(error.Text) : error.Wide, std::to_string(error.Line));
  ActivePage = TMainPage::SetupInfoTab;

  // Select the failing line of the script and make its sheet reachable.
  std::vector<std::string> lines = SourceLines();
  size_t line = std::min(static_cast<size_t>(std::max(compiler_.Error.Line, 0)), lines.size());
  size_t start = 0;
  for (size_t i = 0; i < line; ++i) start += lines[i].size() + 1;
  SourceSelStart = static_cast<int32_t>(start);
  SourceSelLength = line < lines.size() ? static_cast<int32_t>(lines[line].size()) : 0;
  SourceTabVisible = true;
  ActiveControl = TFocus::SourceFile;
}

void TFrmMain::ShowListing(const std::vector<std::string>& lines) {
  CompiledVer = lines;
  CompiledVerVisible = true;
  DividerPanelVisible = true;
  SourceTabVisible = true;
}

void TFrmMain::ErrorFlashTimerTimer() {
  ErrorPanelRed = !ErrorPanelRed;
  Image1Visible = !ErrorPanelRed;
}

void TFrmMain::ErrorTimerStopTimer() {
  ErrorFlashTimerEnabled = false;
  ErrorTimerStopEnabled = false;
}

void TFrmMain::test1Click() {
  std::string file;
  if (!view_.OpenDialog("EXE|*.EXE", file)) return;
  // A file without an installer archive reads as one without entries.
  OpenDialogFileName = file;
  TPak pak(file, false, false);
  // A damaged script entry is shown as such, as Setup would show it.
  pak.OnReport = [this](const std::string& text) { view_.ShowMessage(text, "Error"); };
  uint32_t size = 0;
  Bytes stored = pak.FindFile("CompiledLines", 0, size);
  std::string reason;
  if (!stored.empty() && compiler_.CompLines.LoadFromBuffer(stored.data(), stored.size(), reason)) {
    ShowListing(compiler_.CompiledListing());
  } else {
    // The readers' reasons, when they refused something, say why.
    std::vector<std::string> listing{"No compiled script found in " + file};
    for (const std::string& why : {pak.LastError(), reason})
      if (!why.empty()) listing.push_back(why);
    ShowListing(listing);
  }
}
