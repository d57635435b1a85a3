// The compiler window of Torvane as data and actions: the setup names, the
// mod's settings grid, the layouts, the generated script, the compiler's log
// and the error display, with what Load, Save, Import, Browse and Compile do
// to them. The Win32 view shows this state and forwards the user's actions;
// dialogs, message boxes and the immediate repaint of the status label are
// reached through TFrmMainView.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "compiler/QXI_CompilerThread.h"
#include "installer-library/QXI_CommandList.h"
#include "platform/Text.h"

class TCompiler;

// What the window's actions need from the screen while they run.
class TFrmMainView {
 public:
  virtual ~TFrmMainView() = default;
  // The open or save dialog with that filter ("Text|*.ext"); false when
  // cancelled, else fileName holds the chosen file.
  virtual bool OpenDialog(const std::string& filter, std::string& fileName) = 0;
  virtual bool SaveDialog(const std::string& filter, const std::string& defaultExt, std::string& fileName) = 0;
  // A message box without owner, with an OK button.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // The same for a text that names a file by characters the code page may
  // not have.
  virtual void ShowWideMessage(const std::u16string& text, const std::string& caption) {
    ShowMessage(platform::WideToAnsi(text), caption);
  }
  // The folder picker; false when closed without choosing.
  virtual bool SelectDirectory(std::string& path) = 0;
  // The status label changed during a compile or build: show it now.
  virtual void StatusChanged() = 0;
};

struct TModInfoRow {
  std::string Key;
  std::string Value;

  bool operator==(const TModInfoRow&) const = default;
};

// An editable combo box: its list and its text.
struct TLayoutCombo {
  std::vector<std::string> Items;
  int ItemIndex = -1;
  std::string Text;
};

enum class TMainPage { SetupInfoTab, TabSheet1, TabSheet2 };
enum class TFocus { Unchanged, CompiledInformation, SourceFile };

constexpr const char* kWindowCaption = " Torvane v1.0";
constexpr const char* kApplicationTitle = "Setup Compiler";
// The gradient's colours at its left edge and where its right edge tends to.
constexpr uint8_t kGradientFrom[3] = {153, 198, 241}, kGradientTo[3] = {51, 105, 193};

// One colour per column of a gradient image `width` pixels wide, as
// 0x00BBGGRR.
std::vector<uint32_t> XPGradientColumns(int width);

class TFrmMain {
 public:
  // The window driving `compiler`, whose ProgramDir holds the folders
  // beside the program (layouts, languages, the temporary settings folder).
  TFrmMain(TCompiler& compiler, TFrmMainView& view);
  ~TFrmMain();
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;

  // --- actions ---
  // Start-up: registers the commands, reads "-debug" from the program's
  // parameters (without the program itself), hooks the compiler's log and
  // status and fills the layout lists.
  void FormCreate(const std::vector<std::string>& parameters);
  void Load1Click();
  void Save1Click();
  void Compile1Click();
  void Button4Click();
  void Button6Click();
  void HasUninstallCheckClick();
  void HasShortcutsCheckClick();
  void ErrorFlashTimerTimer();
  void ErrorTimerStopTimer();
  void test1Click();
  void GenerateInstLayoutCombo();
  void GenerateUninstLayoutCombo();

  // --- the project and mod settings files ---
  // The grid value of the key from section "Main" of the file, or the
  // default when the file has none; a new key becomes a new last row.
  void GetModInfoFromIni(const std::string& ini, const std::string& key, const std::string& fallback);
  // Writes the grid value of the key to section "Main" unless it is empty.
  bool SetModInfoFromIni(const std::string& ini, const std::string& key);
  // Every "Main" key of the file, then the known keys with their defaults;
  // "Mod Dir" becomes the name of the file last chosen to open.
  void ReadActualINI(const std::string& ini);
  // Every non-empty row, in grid order; false when a write failed.
  bool BuildActualINI(const std::string& ini);
  // Writes the mod's settings file into the temporary folder; false when it
  // cannot be written.
  bool BuildINI();
  // Takes that file away again, with the temporary folder once it is empty.
  void RemoveTempIni();

  // The grid's value of a key, empty when the grid has no such row.
  std::string ModInfoValue(const std::string& key) const;
  void SetModInfoValue(const std::string& key, const std::string& value);
  // The temporary mod settings file a compile writes and removes again.
  const std::string& ProgramDir() const;
  std::string TempIniDir() const;
  std::string TempIniFile() const;
  // The generated script's lines, as the compiler reads them.
  std::vector<std::string> SourceLines() const;

  // --- window state ---
  std::string Caption = kWindowCaption;
  TMainPage ActivePage = TMainPage::SetupInfoTab;
  std::string SetupShortName = "MySetup";
  std::string SetupName = "MySetup v1.0";
  std::string SetupExeName = "mysetup.exe";
  std::string ModFilesDir;
  // The folder as typed, when the code page can carry it neither as it is
  // nor by its short form (ModFilesDir then has a '?' for each character it
  // lacks); else empty.
  std::u16string ModFilesDirTyped;
  std::vector<TModInfoRow> ModInfo;
  TLayoutCombo InstLayout, UninstLayout;
  bool HasUninstallCheck = true;
  bool HasShortcutsCheck = true;

  std::string SourceFile;  // the generated script, lines ended by "\r"
  int32_t SourceSelStart = 0, SourceSelLength = 0;
  bool SourceTabVisible = false;  // the script's sheet, once there is something to see on it
  // Where an action wants the focus; the view moves it there when that
  // control is showing, then sets this back to Unchanged.
  TFocus ActiveControl = TFocus::Unchanged;
  std::vector<std::string> CompiledInformation;  // the compiler's log
  std::vector<std::string> CompiledVer;          // the compiled-line listing
  bool CompiledVerVisible = false;
  bool DividerPanelVisible = false;

  std::u16string ErrorStringLabel = u"Error: None";
  std::string ErrorLineNumberLabel = "Line Num: None";
  bool ErrorLabelsVisible = false;
  bool ErrorPanelVisible = true;
  bool ErrorPanelRed = false;  // else the button-face colour
  bool Image1Visible = true;
  bool ErrorFlashTimerEnabled = false;
  bool ErrorTimerStopEnabled = false;

  std::string LabelCompile;
  bool LabelCompileVisible = false;

  bool DebugMode = false;
  std::string OpenDialogFileName;  // the file last chosen in the open dialog

  TCommandList Commands;
  std::unique_ptr<TCompilerThread> Worker;

 private:
  void FillLayoutCombo(TLayoutCombo& combo, const std::string& folder);
  static void SetComboText(TLayoutCombo& combo, const std::string& text);
  void ReplaceWorker();
  void ShowListing(const std::vector<std::string>& lines);
  // The error panel flashing with the text and line of an error.
  void ShowError(const std::u16string& text, const std::string& line);
  void ShowCompileError();

  TCompiler& compiler_;
  TFrmMainView& view_;
  std::string sourceBaseDir_;  // always empty: the script names absolute folders
};
