#include "Setup/FormMain.h"

#include <chrono>
#include <exception>
#include <thread>

#include "Setup/Ggauge.h"
#include "Setup/SE_Ending.h"
#include "Setup/SE_ErrorReport.h"
#include "Setup/SE_RedrawPace.h"
#include "Setup/SE_SetupThread.h"
#include "Setup/SE_ShellTreeView.h"
#include "Setup/SE_Startup.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/MessageBox.h"
#include "platform/System.h"
#include "platform/Text.h"
#include "platform/WidePath.h"

using platform::AnsiToWide;
using platform::WideToAnsi;

std::unique_ptr<TSEPageControl> WizardPages;
int32_t FileCount = 0;

namespace {

// Language strings of the window.
constexpr uint16_t kSpaceText = 7, kBackCaption = 12, kNextCaption = 13, kCancelCaption = 14, kFailureText = 23,
                   kUninstallerTitle = 26, kCloseQuestion = 27, kCloseCaption = 28;

// Drive types that cannot take an installation.
bool IsRefusedDriveType(unsigned type) {
  return type == platform::kDriveUnknown || type == platform::kDriveNoRoot || type == platform::kDriveCDROM ||
         type == platform::kDriveRamDisk;
}

// Ignores what a control does when it fails: the display of a run must not
// break the run.
template <class Fn>
void Quietly(Fn fn) {
  try {
    fn();
  } catch (...) {
  }
}

}  // namespace

// The status label and gauge of the working page.
class TFrmMain::TPageDisplay : public TRunDisplay {
 public:
  explicit TPageDisplay(const TFrmMain& form) : form_(form) {}
  void SetStatus(const std::u16string& text) override {
    if (TTntLabel* label = form_.patchingStatusLabel_) {
      label->SetCaption(text);
      if (label->Parent()) label->Parent()->Repaint();
    }
  }
  void SetMaximum(int32_t maximum) override {
    if (form_.patchingProgressBar_) form_.patchingProgressBar_->SetMax(maximum);
  }
  void SetProgress(int32_t position) override {
    if (TGradGauge* gauge = form_.patchingProgressBar_) {
      gauge->SetProgress(position);
      gauge->Repaint();
    }
  }

 private:
  const TFrmMain& form_;
};

TFrmMain::TFrmMain(TWizardHost& host) : host_(host) {
  Panel1.SetBevel(false);
  Panel1.SetColor(gui::clWhite);
  Panel1.SetBounds(0, 0, 578, 375);
  BackButton.SetBounds(344, 384, 73, 25);
  BackButton.SetCaption(u"< Back");
  NextButton.SetBounds(416, 384, 73, 25);
  NextButton.SetCaption(u"Next >");
  CancelButton.SetBounds(496, 384, 75, 25);
  CancelButton.SetCaption(u"Cancel");
  LanguageButton.SetBounds(8, 384, 89, 25);
  LanguageButton.SetCaption(u"English");
  LanguagePopupMenu = {{u"English", 0, true}};
  BackButton.OnClick = [this] { BackButtonClick(); };
  NextButton.OnClick = [this] { NextButtonClick(); };
  CancelButton.OnClick = [this] { CancelButtonClick(); };
  LanguageButton.OnClick = [this] { LanguageButtonClick(); };
  FormCreate();
}

TFrmMain::~TFrmMain() {
  // The page controls go before the panel that names them.
  WizardPages.reset();
  ::PatchingStatusLabel = ::PatchingProgressBar = ::FinishTextLabel = nullptr;
  SetupThread.reset();
}

void TFrmMain::FormCreate() {
  InstallDirShown = false;
  WizardPages = std::make_unique<TSEPageControl>(&BackButton, &Panel1, &LanguageButton, &CancelButton, &NextButton);
  SetupThread = std::make_unique<TSetupThread>();
}

int TFrmMain::CurrentPageType() const {
  if (!WizardPages || WizardPages->Current < 0 ||
      static_cast<size_t>(WizardPages->Current) >= WizardPages->Pages.size())
    return -1;
  return WizardPages->Pages[static_cast<size_t>(WizardPages->Current)]->PageType;
}

// ------------------------------------------------------------------ set-up

void TFrmMain::SetPagesUp() {
  std::u16string title = SetupInfoFile.IsUninstaller == 1
                             ? AnsiToWide(SetupInfoFile.SetupShortName) + u" " + Languages.GetString(kUninstallerTitle)
                             : AnsiToWide(SetupInfoFile.SetupName);
  host_.SetTitle(title, u" " + title);

  WizardPages->LoadFromFile("Pages.txt");
  Panel1.SetColor(WizardPages->Colour);
  BindNamedControls();

  SetupInfoFile.InstallDir = WideToAnsi(ExpandPathVars(AnsiToWide(SetupInfoFile.InstallDir)));
  if (installDirTree_) {
    installDirTree_->OnChange = [this] { ShellTreeViewChange(); };
    // The tree takes a path only while it is shown; afterwards it goes back
    // to what its page says.
    bool visible = installDirTree_->Visible();
    installDirTree_->SetVisible(true);
    NavigateTreeToPath(SetupInfoFile.InstallDir, false);
    installDirTree_->SetVisible(visible);
  }
  if (installDirEdit_) {
    installDirEdit_->SetText(platform::WidePath(SetupInfoFile.InstallDir));
    installDirEdit_->OnChange = [this] { InstallDir_Edit_Change(); };
  }
  SetButtonCaptions();
  SetupLanguages();
}

void TFrmMain::SetButtonCaptions() {
  BackButton.SetCaption(Languages.GetString(kBackCaption));
  NextButton.SetCaption(Languages.GetString(kNextCaption));
  CancelButton.SetCaption(Languages.GetString(kCancelCaption));
}

void TFrmMain::BindNamedControls() {
  patchingStatusLabel_ = finishTextLabel_ = spaceAvailableLabel_ = nullptr;
  patchingProgressBar_ = nullptr;
  installDirEdit_ = nullptr;
  installDirTree_ = nullptr;
  // Every page in order, the last control of a name counting. A name on a
  // control of another kind binds nothing.
  for (const auto& page : WizardPages->Pages) {
    for (const auto& control : page->Controls) {
      std::string name = platform::AnsiLowerCase(control->Name());
      TControl* c = control.get();
      if (name == "patching_statuslabel") patchingStatusLabel_ = dynamic_cast<TTntLabel*>(c);
      if (name == "patching_progressbar") patchingProgressBar_ = dynamic_cast<TGradGauge*>(c);
      if (name == "finishtext") finishTextLabel_ = dynamic_cast<TTntLabel*>(c);
      if (name == "installdir_edit") installDirEdit_ = dynamic_cast<TTntEdit*>(c);
      if (name == "installdir_shelltreeview") installDirTree_ = dynamic_cast<TSE_ShellTreeView*>(c);
      if (name == "spaceavalible") spaceAvailableLabel_ = dynamic_cast<TTntLabel*>(c);
    }
  }
  ::PatchingStatusLabel = patchingStatusLabel_;
  ::PatchingProgressBar = patchingProgressBar_;
  ::FinishTextLabel = finishTextLabel_;
}

// ------------------------------------------------------------------ moving

void TFrmMain::NextButtonClick() {
  WizardPages->ShowPage(WizardPages->Current + 1);
  switch (CurrentPageType()) {
    case ptInstallDir:
      if (!InstallDirShown) {
        InstallDirShown = true;
        if (installDirEdit_) installDirEdit_->SetText(platform::WidePath(SetupInfoFile.InstallDir));
      }
      InstallDir_Edit_Change();
      break;
    case ptPatch:
      if (SpaceAvailable < SpaceRequired) NextButton.SetEnabled(false);
      ShowSpaceText();
      break;
    case ptPatching:
      RunInstallation();
      break;
    case ptFinish:
      ActOnFinishPage();
      break;
    case ptUninstall:
      RunUninstallPage();
      break;
    default:
      break;
  }
}

void TFrmMain::ActOnFinishPage() {
  // A silent run that never worked must not report success, nor remove
  // the uninstaller it has not used.
  if (Silent && !workDone_) FinishSilentRun(NothingDoneText());
  if (SetupInfoFile.IsUninstaller == 1) StartFinaliserOnce();
  if (Silent) FinishSilentRun(uninstallFailure_);
  host_.CloseWindow();
}

void TFrmMain::BackButtonClick() { WizardPages->ShowPage(WizardPages->Current - 1); }

void TFrmMain::CancelButtonClick() { host_.CloseWindow(); }

void TFrmMain::SilentNext() {
  // The uninstall page moves on by itself; a finish page it moved on to is
  // reached, as Next reaches one.
  if (workDone_ && CurrentPageType() == ptFinish) {
    ActOnFinishPage();
    return;
  }
  const bool lastPage = WizardPages->Current + 1 >= static_cast<int32_t>(WizardPages->Pages.size());
  // Next on the last page repeats its action; only a finish page ends there.
  if (lastPage && CurrentPageType() != ptFinish) {
    if (!workDone_) FinishSilentRun(NothingDoneText());
    host_.EndProcess(ExitCode());
    return;
  }
  NextButtonClick();
}

void TFrmMain::SetWorkingState(bool working) { Working = working; }

void TFrmMain::ShowSpaceText() {
  if (!spaceAvailableLabel_) return;
  spaceTextShown_ = true;
  std::u16string text = Languages.ReplaceLangTags(u"<LANG" + AnsiToWide(std::to_string(kSpaceText)) + u">");
  text = ApplyLanguageStrings(TLanguages::ReplaceText(text, u"<BR>", u"\r"));
  spaceAvailableLabel_->SetCaption(text);
}

std::string TFrmMain::NothingDoneText() {
  failed_ = true;
  return SetupInfoFile.IsUninstaller == 1 ? "Nothing was removed: the uninstaller's pages hold no uninstall page."
                                          : "Nothing was installed: the setup's pages hold no installation page.";
}

// ------------------------------------------------------------------ the runs

void TFrmMain::RunInstallation() {
  TInstallationWatch watch;
  try {
    for (const auto& page : WizardPages->Pages) {
      if (page->PageType != ptLanguageSelection) continue;
      for (const auto& control : page->Controls) {
        if (platform::AnsiLowerCase(control->ClassName()) != "ttntradiobutton") continue;
        auto* radio = static_cast<TTntRadioButton*>(control.get());
        if (!radio->Checked()) continue;
        LanguageSelection = WideToAnsi(radio->Caption());
        break;
      }
    }
    SetWorkingState(true);
    FileCount = SetupArchive ? SetupArchive->CountGrouped() : 0;
    TPageDisplay display(*this);
    Quietly([&] { display.SetStatus(u"Status: 0 of " + AnsiToWide(std::to_string(FileCount)) + u" files extracted"); });
    Quietly([&] {
      display.SetProgress(0);
      display.SetMaximum(FileCount);
    });
    CurrentLine = -1;
    SetupThread->Running = true;
    TRedrawPace pace;
    while (SetupThread->Running) {
      SetupThread->EndRunOfEndedThread();
      host_.ProcessMessages();
      if (!Silent && pace.Due()) ApplyStatusUpdate(display);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // What the thread published last, after the loop's last look.
    if (!Silent) ApplyStatusUpdate(display);
    WizardPages->ShowPage(WizardPages->Current + 1);
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    StopInstallationForError();
    ReportUnexpectedError(ExceptionText(error), "");
    return;
  }
  SetWorkingState(false);
  workDone_ = true;
  const std::string& finishError = SetupThread->FinishError();
  failed_ = AbortFlag || !finishError.empty();
  if (Silent) {
    std::string failure = !finishError.empty() ? finishError
                          : AbortFlag          ? WideToAnsi(Languages.GetString(kFailureText))
                                               : "";
    FinishSilentRun(failure);
  }
  if (!finishError.empty()) platform::ShowMessageBox(finishError, "Setup Error", platform::kMbOk);
}

void TFrmMain::ApplyStatusUpdate(TRunDisplay& display) {
  TStatusUpdate update = TakeStatusUpdate();
  if (update.StatusText) Quietly([&] { display.SetStatus(AnsiToWide(*update.StatusText)); });
  if (update.Progress) Quietly([&] { display.SetProgress(*update.Progress); });
  if (update.FailureText && finishTextLabel_) {
    Quietly([&] {
      finishTextLabel_->SetCaption(*update.FailureText);
      if (update.RepaintFailure && finishTextLabel_->Parent()) finishTextLabel_->Parent()->Repaint();
    });
  }
}

void TFrmMain::RunUninstallPage() {
  SetWorkingState(true);
  FileCount = static_cast<int32_t>(UninstallList.Files().size() + UninstallList.Dirs().size() +
                                   UninstallList.RegEntries().size());
  TPageDisplay display(*this);
  uninstallFailure_ = RunUninstall(display);
  SetWorkingState(false);
  workDone_ = true;
  failed_ = !uninstallFailure_.empty();
  WizardPages->ShowPage(WizardPages->Current + 1);
  // A silent run reports it where it ends, on the finish page.
  if (failed_ && !Silent) platform::ShowMessageBox(uninstallFailure_, "Setup Error", platform::kMbOk);
}

// A silent run ends here with what went wrong, or "Completed" unless the
// command line named the install folder. A run that nobody watches gets the
// failure on its error stream (platform/MessageBox.h), and no box waits.
void TFrmMain::FinishSilentRun(const std::string& failure) {
  if (!failure.empty())
    platform::ShowMessageBox(failure, "Error", platform::kMbOk);
  else if (IdDir.empty())
    platform::ShowMessageBox("Completed", "Information", platform::kMbOk);
  host_.EndProcess(ExitCode());
}

void TFrmMain::StartFinaliserOnce() {
  if (finaliserStarted_ || failed_) return;
  finaliserStarted_ = true;
  RunFinaliser();
}

// ------------------------------------------------------------------ closing

bool TFrmMain::FormCloseQuery() {
  if (Working) return false;
  if (CurrentPageType() == ptFinish) return true;
  return platform::ShowMessageBoxW(Languages.GetString(kCloseQuestion), Languages.GetString(kCloseCaption),
                                   platform::kMbYesNo) != platform::kIdNo;
}

void TFrmMain::FormClose() {
  if (!workDone_ && CurrentPageType() != ptFinish) cancelled_ = true;
  if (SetupThread) {
    SetupThread->Stop();
    SetupThread->WaitFor();
    SetupThread.reset();
  }
  if (CurrentPageType() == ptFinish && SetupInfoFile.IsUninstaller == 1) StartFinaliserOnce();
}

// ------------------------------------------------------------------ languages

void TFrmMain::SetupLanguages() {
  const bool known = Languages.Current >= 0 && static_cast<size_t>(Languages.Current) < Languages.Items.size();
  LanguageButton.SetCaption(known ? Languages.Items[static_cast<size_t>(Languages.Current)].Name : u"");
  if (Languages.Items.size() < 2) LanguageButton.SetVisible(false);
  LanguagePopupMenu.clear();
  for (size_t i = 0; i < Languages.Items.size(); ++i)
    LanguagePopupMenu.push_back(
        {Languages.Items[i].Name, static_cast<int>(i), static_cast<int32_t>(i) == Languages.Current});
}

void TFrmMain::SetupCheckedLanguage() {
  for (TLanguageItem& item : LanguagePopupMenu) item.Checked = item.Tag == Languages.Current;
}

void TFrmMain::LanguageButtonClick() {
  gui::Rect window = host_.WindowBounds();
  int x = window.Left + window.Width() - host_.ClientWidth() - 4 + LanguageButton.Left();
  int y = window.Top + window.Height() - host_.ClientHeight() - 4 + LanguageButton.Top() + LanguageButton.Height();
  std::vector<std::u16string> captions;
  std::vector<bool> checked;
  for (const TLanguageItem& item : LanguagePopupMenu) {
    captions.push_back(item.Caption);
    checked.push_back(item.Checked);
  }
  int chosen = host_.PopupMenu(captions, checked, x, y);
  if (chosen >= 0 && static_cast<size_t>(chosen) < LanguagePopupMenu.size())
    English1Click(LanguagePopupMenu[chosen].Tag);
}

void TFrmMain::English1Click(int tag) {
  if (tag < 0 || static_cast<size_t>(tag) >= Languages.Items.size()) return;
  Languages.Current = tag;
  LanguageButton.SetCaption(Languages.Items[static_cast<size_t>(tag)].Name);
  SetupCheckedLanguage();
  SetButtonCaptions();
  // Showing the page again sets its captions, but would also enable Next
  // past a refused folder or too little space; what the checks decided
  // stays, and so does the free-space text, in the new language.
  const bool nextEnabled = NextButton.Enabled();
  WizardPages->ShowPage(WizardPages->Current);
  WizardPages->Retranslate();
  NextButton.SetEnabled(nextEnabled);
  if (spaceTextShown_) ShowSpaceText();
}

// ------------------------------------------------------------------ install directory

bool TFrmMain::DriveRefused(const std::string& path) const {
  return IsRefusedDriveType(platform::DriveType(path.substr(0, 3)));
}

void TFrmMain::InstallDir_Edit_Change() {
  if (!installDirEdit_) return;
  // The typed folder goes through the one check of every install folder; one
  // it refuses cannot be taken, as a refused drive cannot.
  std::string folder;
  const bool refused = !InstallFolderFault(installDirEdit_->Text(), folder).empty();
  if (CurrentPageType() == ptInstallDir) {
    if (refused || DriveRefused(folder)) {
      NextButton.SetEnabled(false);
      return;
    }
    NextButton.SetEnabled(true);
    if (InstallDirShown) SetupInfoFile.InstallDir = AddBackslash(folder);
    NoteSpaceAvailable();
  }
  if (installDirTree_ && !treeNavigating_ && !refused) NavigateTreeToPath(folder, true);
}

void TFrmMain::ShellTreeViewChange() {
  // Only the user's own pick counts: the tree following a typed folder
  // selects the nearest folder that exists, which must not replace a new
  // folder's name in the edit.
  if (treeNavigating_) return;
  if (!installDirEdit_ || !installDirTree_ || CurrentPageType() != ptInstallDir) return;
  const std::string& path = installDirTree_->Path();
  if (DriveRefused(path)) return;
  installDirEdit_->SetText(platform::WidePath(path));
}

void TFrmMain::NavigateTreeToPath(const std::string& path, bool expand) {
  if (!installDirTree_) return;
  struct TNavigating {
    bool& flag;
    explicit TNavigating(bool& f) : flag(f) { flag = true; }
    ~TNavigating() { flag = false; }
  } navigating(treeNavigating_);

  std::string dir = path;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  while (!platform::DirectoryExists(dir) && dir.size() >= 3) dir = ParentDir(dir);
  if (!platform::DirectoryExists(dir)) return;
  installDirTree_->SetPath(AddBackslash(dir));
  if (!expand) return;
  TFolderTreeItems* tree = host_.FolderTreeItems(*installDirTree_);
  if (!tree) return;
  tree->BeginUpdate();
  std::vector<TFolderTreeItems::Item> items = tree->Items();
  if (items.size() > 2) tree->Expand(items[2]);
  std::string prefix, rest = path;
  for (std::string piece = PopFirstDir(rest); !piece.empty(); piece = PopFirstDir(rest)) {
    prefix += piece;
    TFolderTreeItems::Item item = FindTreeNodeByPath(prefix);
    if (!item) break;
    TFolderTreeItems::Item parent = tree->ParentOf(item);
    if (parent && tree->FirstChildOf(parent) == item) break;
    tree->Expand(item);
  }
  TFolderTreeItems::Item target = FindTreeNodeByPath(path);
  if (target && platform::DirectoryExists(path)) tree->Select(target);
  tree->EndUpdate();
}

TFolderTreeItems::Item TFrmMain::FindTreeNodeByPath(const std::string& path) {
  TFolderTreeItems* tree = installDirTree_ ? host_.FolderTreeItems(*installDirTree_) : nullptr;
  if (!tree) return nullptr;
  const std::string wanted = platform::AnsiLowerCase(AddBackslash(path));
  for (TFolderTreeItems::Item item : tree->Items())
    if (platform::AnsiLowerCase(AddBackslash(tree->ItemPath(item))) == wanted) return item;
  return nullptr;
}

// ------------------------------------------------------------------ paths

std::string ParentDir(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string PopFirstDir(std::string& path) {
  size_t slash = path.find('\\');
  if (slash == std::string::npos) return {};
  std::string first = path.substr(0, slash + 1);
  path.erase(0, slash + 1);
  return first;
}
