// The compiler window on the screen: it shows the state of TFrmMain, hands
// the user's actions to it and answers its dialogs. Windows only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "compiler/FormMain.h"
#include "platform/gui/Application.h"
#include "platform/gui/CommonControls.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Edits.h"

class TFrmSelectDir;

// Control ids, so that a test driving the program from outside finds the
// controls of the window.
enum TFrmMainControlId : int {
  kIdSetupShortName = 101,
  kIdSetupName,
  kIdSetupExeName,
  kIdModFilesDir,
  kIdInstLayout,
  kIdUninstLayout,
  kIdHasUninstallCheck,
  kIdHasShortcutsCheck,
  kIdModInfo,
  kIdSourceFile,
  kIdCompiledVer,
  kIdCompiledInformation,
  kIdSpeedButton1,
  kIdSpeedButton2,
  kIdSpeedButton3,
  kIdButton4,
  kIdButton6,
};

class TFrmMainWindow : public TFrmMainView {
 public:
  // Creates the window (hidden) and runs the form's start-up with the
  // program's parameters.
  TFrmMainWindow(TCompiler& compiler, const std::vector<std::string>& parameters);
  ~TFrmMainWindow() override;

  void Show();
  // The folder picker Browse shows; until set, Browse does nothing.
  void SetSelectDir(TFrmSelectDir* form) { selectDir_ = form; }
  gui::Window& Form() { return *window_; }
  TFrmMain& Model() { return model_; }

  bool OpenDialog(const std::string& filter, std::string& fileName) override;
  bool SaveDialog(const std::string& filter, const std::string& defaultExt, std::string& fileName) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void ShowWideMessage(const std::u16string& text, const std::string& caption) override;
  bool SelectDirectory(std::string& path) override;
  void StatusChanged() override;

 private:
  void CreateControls();
  void CreateSetupInfoTab(gui::Panel* sheet);
  void CreateMenu();
  // Runs an action of the form between reading the controls into it and
  // showing its state again.
  template <typename Action>
  void Run(Action action);
  void Pull();
  void Push();
  void PushErrorPanel();
  void PlaceSourceSheet();
  void CreateXPGradient();

  TFrmMain model_;
  TFrmSelectDir* selectDir_ = nullptr;

  std::unique_ptr<gui::Window> window_;
  std::unique_ptr<gui::MenuBar> menu_;
  std::unique_ptr<gui::Panel> TopPanel, ErrorPanel, DividerPanel;
  std::unique_ptr<gui::Image> Image1, Image2, Image3;
  std::unique_ptr<gui::ToolButton> SpeedButton1, SpeedButton2, SpeedButton3;
  std::unique_ptr<gui::Label> ErrorStringLabel, ErrorLineNumberLabel, LabelCompile;
  std::unique_ptr<gui::PageControl> PageControl;
  std::vector<std::unique_ptr<gui::Label>> labels_;
  std::unique_ptr<gui::Edit> SetupShortName, SetupName, SetupExeName, ModFilesDir;
  std::unique_ptr<gui::Button> Button4, Button6;
  std::unique_ptr<gui::ValueListEditor> ModInfo;
  std::unique_ptr<gui::ComboBox> InstLayout, UninstLayout;
  std::unique_ptr<gui::CheckBox> HasUninstallCheck, HasShortcutsCheck;
  std::unique_ptr<gui::RichEdit> SourceFile, CompiledVer, CompiledInformation;
  std::unique_ptr<gui::Timer> ErrorFlashTimer, ErrorTimerStop;

  // What the controls show, to change only what changed.
  std::vector<std::string> shownLog_, shownListing_;
  std::string shownSource_;
};
