// The wizard window of Setup, for installers and uninstallers alike, as a
// model of what it shows and does: the pages of the layout, the Back, Next,
// Cancel and language buttons, the actions of Next per page type (the
// install-directory page, the space check, the installation run on the
// setup thread, the uninstall run, the finish page), the language menu and
// the closing rules. A view puts it on the screen (TWizardHost); the
// program body drives it, or in a silent run calls Next in a loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Setup/SE_Controls.h"
#include "Setup/SE_Parser.h"
#include "Setup/SE_Uninstall.h"

class TGradGauge;
class TSE_ShellTreeView;

// The folder tree on the screen, item by item, for walking it open.
class TFolderTreeItems {
 public:
  using Item = const void*;
  virtual ~TFolderTreeItems() = default;
  // Every item created so far: an item, the items below it, its next sibling.
  virtual std::vector<Item> Items() const = 0;
  // The item's folder; empty when it has none in the file system.
  virtual std::string ItemPath(Item item) const = 0;
  virtual Item ParentOf(Item item) const = 0;
  virtual Item FirstChildOf(Item item) const = 0;
  virtual void Expand(Item item) = 0;
  virtual void Select(Item item) = 0;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
};

// What the wizard needs of the screen and the process.
class TWizardHost {
 public:
  virtual ~TWizardHost() = default;
  // The program's title (task bar, boxes) and the window's caption.
  virtual void SetTitle(const std::u16string& title, const std::u16string& caption) = 0;
  // Handles the messages waiting now.
  virtual void ProcessMessages() = 0;
  // Closes the window through FormCloseQuery and FormClose.
  virtual void CloseWindow() = 0;
  // Ends the process; does not return.
  virtual void EndProcess(int exitCode) = 0;
  // The language menu at a screen position: the chosen item's index, or -1.
  virtual int PopupMenu(const std::vector<std::u16string>& captions, const std::vector<bool>& checked, int x,
                        int y) = 0;
  // The window's outer bounds and its client size, for placing the menu.
  virtual gui::Rect WindowBounds() const = 0;
  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  // The screen's folder tree of a layout tree, or null when it has none.
  virtual TFolderTreeItems* FolderTreeItems(TSE_ShellTreeView& tree) = 0;
};

// Exit codes of Setup: a run that was done, everything that failed (a
// start-up error, an aborted or broken installation, an uninstallation
// that left something, a silent run whose pages have no end), and a wizard
// closed by the user before its work was done.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitCancelled = 2;

class TFrmMain {
 public:
  // The window's own controls (the page panel and the buttons) and
  // FormCreate: the page set and the idle setup thread.
  explicit TFrmMain(TWizardHost& host);
  ~TFrmMain();
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;

  // --- the window's components ---
  TPanel Panel1{nullptr};
  TTntButton BackButton{nullptr};
  TTntButton NextButton{nullptr};
  TTntButton CancelButton{nullptr};
  TTntButton LanguageButton{nullptr};
  struct TLanguageItem {
    std::u16string Caption;
    int Tag = 0;
    bool Checked = false;
  };
  std::vector<TLanguageItem> LanguagePopupMenu;

  // --- own fields ---
  bool InstallDirShown = false;
  bool Working = false;

  // --- published methods ---
  void FormCreate();
  void SetPagesUp();
  void NextButtonClick();
  void BackButtonClick();
  void CancelButtonClick();
  bool FormCloseQuery();
  void FormClose();
  void LanguageButtonClick();
  void English1Click(int tag);
  void SetupLanguages();
  void SetupCheckedLanguage();
  void InstallDir_Edit_Change();
  void ShellTreeViewChange();
  void SetWorkingState(bool working);

  // The silent run's step: Next, unless the work is done and the page it
  // moved on to is a finish page (which is acted on, whatever pages follow
  // it), or the pages can lead nowhere (the last page is current and is no
  // finish page), in which case the run is ended with the outcome of its
  // work. Does not return once the process ends.
  void SilentNext();

  // The type of the current page; none without pages.
  int CurrentPageType() const;
  // The controls the wizard binds by name (null when the layout has none).
  TTntLabel* PatchingStatusLabel() const { return patchingStatusLabel_; }
  TGradGauge* PatchingProgressBar() const { return patchingProgressBar_; }
  TTntLabel* FinishTextLabel() const { return finishTextLabel_; }
  TTntEdit* InstallDirEdit() const { return installDirEdit_; }
  TSE_ShellTreeView* InstallDirTree() const { return installDirTree_; }
  TTntLabel* SpaceAvailableLabel() const { return spaceAvailableLabel_; }
  // The exit code this process has earned so far: failed once the work of
  // the installation or uninstallation failed, cancelled once the window
  // was closed before its work was done and before a finish page.
  int ExitCode() const { return failed_ ? kExitFailed : cancelled_ ? kExitCancelled : kExitDone; }

  void NavigateTreeToPath(const std::string& path, bool expand);
  TFolderTreeItems::Item FindTreeNodeByPath(const std::string& path);

 private:
  class TPageDisplay;
  void BindNamedControls();
  void SetButtonCaptions();
  void RunInstallation();
  void RunUninstallPage();
  void ApplyStatusUpdate(TRunDisplay& display);
  void FinishSilentRun(const std::string& failure);
  // Next arriving at a finish page.
  void ActOnFinishPage();
  // Marks the run failed; the text that says no work was done.
  std::string NothingDoneText();
  // The free-space text (string 7) in the label named for it.
  void ShowSpaceText();
  // Not for an uninstallation that left something: the uninstaller stays
  // for the next try.
  void StartFinaliserOnce();
  bool DriveRefused(const std::string& path) const;

  TWizardHost& host_;
  TTntLabel* patchingStatusLabel_ = nullptr;
  TGradGauge* patchingProgressBar_ = nullptr;
  TTntLabel* finishTextLabel_ = nullptr;
  TTntEdit* installDirEdit_ = nullptr;
  TSE_ShellTreeView* installDirTree_ = nullptr;
  TTntLabel* spaceAvailableLabel_ = nullptr;
  bool treeNavigating_ = false;
  bool finaliserStarted_ = false;
  bool workDone_ = false;
  bool spaceTextShown_ = false;
  bool failed_ = false;
  bool cancelled_ = false;
  std::string uninstallFailure_;  // what the uninstall run could not remove
};

// The page set of the wizard, created with it.
extern std::unique_ptr<TSEPageControl> WizardPages;
// Archive entries outside group 0: the files an installation writes.
extern int32_t FileCount;

// The text up to, not including, the last backslash; empty without one.
std::string ParentDir(const std::string& path);
// Cuts the text up to and including the first backslash off path and
// returns it; empty (and path unchanged) without one.
std::string PopFirstDir(std::string& path);
