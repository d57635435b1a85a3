#include "compiler/FormMain_win32.h"

#include <windows.h>
#include <richedit.h>

#include "compiler/FormSelectDir_win32.h"
#include "platform/Text.h"
#include "platform/WidePath.h"
#include "platform/gui/FileDialog.h"

namespace {

constexpr int kWidth = 720, kHeight = 540, kBarHeight = 50, kDividerHeight = 24;
constexpr int kPageTop = kBarHeight, kPageHeight = kHeight - 2 * kBarHeight;
constexpr int kColumn1 = 8, kColumn2 = 364, kColumnWidth = 344;
enum TSheet { kSetupInfoTab, kTabSheet1, kTabSheet2, kTabSheet3 };

HWND H(void* h) { return static_cast<HWND>(h); }

void SetId(const gui::WinControl& control, int id) { SetWindowLongPtrW(H(control.Handle()), GWLP_ID, id); }

std::u16string Wide(const std::string& text) { return platform::AnsiToWide(text); }
std::string Ansi(const std::u16string& text) { return platform::WideToAnsi(text); }

std::u16string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r" : "") + lines[i];
  return Wide(text);
}

void SetTextIfChanged(gui::WinControl& control, const std::string& text) {
  std::u16string wide = Wide(text);
  if (control.Text() != wide) control.SetText(wide);
}

int SheetIndex(TMainPage page) {
  switch (page) {
    case TMainPage::TabSheet1:
      return kTabSheet1;
    case TMainPage::TabSheet2:
      return kTabSheet2;
    default:
      return kSetupInfoTab;
  }
}

TMainPage PageOf(int sheet) {
  return sheet == kTabSheet1   ? TMainPage::TabSheet1
         : sheet == kTabSheet2 ? TMainPage::TabSheet2
                               : TMainPage::SetupInfoTab;
}

}  // namespace

TFrmMainWindow::TFrmMainWindow(TCompiler& compiler, const std::vector<std::string>& parameters)
    : model_(compiler, *this) {
  CreateControls();
  model_.FormCreate(parameters);
  Push();
}

TFrmMainWindow::~TFrmMainWindow() {
  ErrorFlashTimer.reset();
  ErrorTimerStop.reset();
  menu_.reset();
}

void TFrmMainWindow::Show() { window_->Show(); }

void TFrmMainWindow::CreateControls() {
  window_ = std::make_unique<gui::Window>(Wide(kWindowCaption), kWidth, kHeight);
  CreateMenu();

  TopPanel = std::make_unique<gui::Panel>(window_.get());
  TopPanel->SetBevel(gui::BevelKind::None);
  TopPanel->SetBounds(0, 0, kWidth, kBarHeight);
  Image3 = std::make_unique<gui::Image>(TopPanel.get());
  Image3->SetBounds(0, 0, kWidth, kBarHeight);
  Image3->SetStretch(true);
  const std::pair<std::unique_ptr<gui::ToolButton>*, const char16_t*> tools[] = {
      {&SpeedButton1, u"Open"}, {&SpeedButton2, u"Save"}, {&SpeedButton3, u"Compile"}};
  int x = 8, id = kIdSpeedButton1;
  for (auto& [button, hint] : tools) {
    *button = std::make_unique<gui::ToolButton>(TopPanel.get());
    (*button)->SetBounds(x, 10, 64, 30);
    (*button)->SetText(hint);
    (*button)->SetHint(hint);
    SetId(**button, id++);
    x += 68;
  }
  SpeedButton1->OnClick = [this] { Run([this] { model_.Load1Click(); }); };
  SpeedButton2->OnClick = [this] { Run([this] { model_.Save1Click(); }); };
  SpeedButton3->OnClick = [this] { Run([this] { model_.Compile1Click(); }); };

  ErrorPanel = std::make_unique<gui::Panel>(window_.get());
  ErrorPanel->SetBevel(gui::BevelKind::None);
  ErrorPanel->SetBounds(0, kHeight - kBarHeight, kWidth, kBarHeight);
  Image1 = std::make_unique<gui::Image>(ErrorPanel.get());
  Image1->SetBounds(0, 0, kWidth, kBarHeight);
  Image1->SetStretch(true);
  gui::Font bold;
  bold.Bold = true;
  ErrorStringLabel = std::make_unique<gui::Label>(ErrorPanel.get());
  ErrorStringLabel->SetBounds(8, 8, 0, 0);
  ErrorLineNumberLabel = std::make_unique<gui::Label>(ErrorPanel.get());
  ErrorLineNumberLabel->SetBounds(8, 27, 0, 0);
  LabelCompile = std::make_unique<gui::Label>(ErrorPanel.get());
  LabelCompile->SetBounds(kWidth - 8, 18, 0, 0);
  for (gui::Label* label : {ErrorStringLabel.get(), ErrorLineNumberLabel.get(), LabelCompile.get()}) {
    label->SetFont(bold);
    label->SetTransparent(true);
  }

  PageControl = std::make_unique<gui::PageControl>(window_.get());
  PageControl->SetBounds(0, kPageTop, kWidth, kPageHeight);
  gui::Panel* setupInfo = PageControl->AddSheet(u"Setup Info");
  gui::Panel* source = PageControl->AddSheet(u"Source");
  gui::Panel* compileInfo = PageControl->AddSheet(u"Compile Information");
  PageControl->AddSheet(u"");
  PageControl->SetTabVisible(kTabSheet1, false);
  PageControl->SetTabVisible(kTabSheet3, false);
  PageControl->OnChange = [this] { model_.ActivePage = PageOf(PageControl->ActivePage()); };
  CreateSetupInfoTab(setupInfo);

  gui::Font fixed;
  fixed.Name = "Courier New";
  fixed.Size = 9;
  SourceFile = std::make_unique<gui::RichEdit>(source);
  SourceFile->SetFont(fixed);
  SendMessageW(H(SourceFile->Handle()), EM_HIDESELECTION, FALSE, 0);
  SetId(*SourceFile, kIdSourceFile);
  DividerPanel = std::make_unique<gui::Panel>(source);
  DividerPanel->SetBevel(gui::BevelKind::None);
  Image2 = std::make_unique<gui::Image>(DividerPanel.get());
  Image2->SetStretch(true);
  CompiledVer = std::make_unique<gui::RichEdit>(source);
  CompiledVer->SetFont(fixed);
  SetId(*CompiledVer, kIdCompiledVer);
  PlaceSourceSheet();

  CompiledInformation = std::make_unique<gui::RichEdit>(compileInfo);
  const gui::Rect& area = compileInfo->Bounds();
  CompiledInformation->SetBounds(4, 4, area.Width() - 8, area.Height() - 8);
  SendMessageW(H(CompiledInformation->Handle()), EM_SETREADONLY, TRUE, 0);
  // Long lines wrap: a refusal names a file by its full path before it says
  // what is wrong with it.
  SendMessageW(H(CompiledInformation->Handle()), EM_SETTARGETDEVICE, 0, 0);
  SetId(*CompiledInformation, kIdCompiledInformation);

  ErrorFlashTimer = std::make_unique<gui::Timer>(350);
  ErrorFlashTimer->OnTimer = [this] {
    model_.ErrorFlashTimerTimer();
    PushErrorPanel();
  };
  ErrorTimerStop = std::make_unique<gui::Timer>(2500);
  ErrorTimerStop->OnTimer = [this] {
    model_.ErrorTimerStopTimer();
    PushErrorPanel();
  };

  // The window is not resized, so its one resize is this one.
  CreateXPGradient();
}

void TFrmMainWindow::CreateSetupInfoTab(gui::Panel* sheet) {
  auto label = [&](int x, int y, const char16_t* caption) {
    labels_.push_back(std::make_unique<gui::Label>(sheet));
    labels_.back()->SetBounds(x, y, 0, 0);
    labels_.back()->SetCaption(caption);
  };
  auto edit = [&](std::unique_ptr<gui::Edit>& control, int x, int y, int width, int id) {
    control = std::make_unique<gui::Edit>(sheet);
    control->SetBounds(x, y, width, 21);
    SetId(*control, id);
  };
  label(kColumn1, 8, u"Setup Shortname(Shown inside and on the uninstall registary)");
  edit(SetupShortName, kColumn1, 24, kColumnWidth, kIdSetupShortName);
  label(kColumn2, 8, u"Setup Name (Shown as the windows caption)");
  edit(SetupName, kColumn2, 24, kColumnWidth, kIdSetupName);
  label(kColumn1, 54, u"Setup EXE Name");
  edit(SetupExeName, kColumn1, 70, kColumnWidth, kIdSetupExeName);
  label(kColumn2, 54, u"Directory with mod files");
  edit(ModFilesDir, kColumn2, 70, kColumnWidth - 80, kIdModFilesDir);
  Button4 = std::make_unique<gui::Button>(sheet);
  Button4->SetBounds(kColumn2 + kColumnWidth - 74, 69, 74, 23);
  Button4->SetText(u"Browse");
  Button4->OnClick = [this] { Run([this] { model_.Button4Click(); }); };
  SetId(*Button4, kIdButton4);

  label(kColumn1, 102, u"Mod's Ini");
  ModInfo = std::make_unique<gui::ValueListEditor>(sheet);
  ModInfo->SetBounds(kColumn1, 118, 440, 240);
  ModInfo->SetTitles(u"Property", u"Value");
  SetId(*ModInfo, kIdModInfo);
  Button6 = std::make_unique<gui::Button>(sheet);
  Button6->SetBounds(kColumn1, 366, 90, 25);
  Button6->SetText(u"Import INI");
  Button6->OnClick = [this] { Run([this] { model_.Button6Click(); }); };
  SetId(*Button6, kIdButton6);

  const int right = kColumn1 + 460;
  label(right, 118, u"Install Layout");
  InstLayout = std::make_unique<gui::ComboBox>(sheet);
  InstLayout->SetBounds(right, 134, 220, 200);
  SetId(*InstLayout, kIdInstLayout);
  label(right, 168, u"Uninstall Layout");
  UninstLayout = std::make_unique<gui::ComboBox>(sheet);
  UninstLayout->SetBounds(right, 184, 220, 200);
  SetId(*UninstLayout, kIdUninstLayout);
  HasUninstallCheck = std::make_unique<gui::CheckBox>(sheet);
  HasUninstallCheck->SetBounds(right, 222, 220, 20);
  HasUninstallCheck->SetText(u"Has Uninstall");
  HasUninstallCheck->OnClick = [this] { Run([this] { model_.HasUninstallCheckClick(); }); };
  SetId(*HasUninstallCheck, kIdHasUninstallCheck);
  HasShortcutsCheck = std::make_unique<gui::CheckBox>(sheet);
  HasShortcutsCheck->SetBounds(right, 246, 220, 20);
  HasShortcutsCheck->SetText(u"Has Shortcuts");
  HasShortcutsCheck->OnClick = [this] { Run([this] { model_.HasShortcutsCheckClick(); }); };
  SetId(*HasShortcutsCheck, kIdHasShortcutsCheck);
}

void TFrmMainWindow::CreateMenu() {
  menu_ = std::make_unique<gui::MenuBar>(*window_);
  int file = menu_->AddMenu(u"File");
  menu_->AddItem(file, u"Load", [this] { Run([this] { model_.Load1Click(); }); });
  menu_->AddItem(file, u"Save", [this] { Run([this] { model_.Save1Click(); }); });
  menu_->AddSeparator(file);
  menu_->AddItem(file, u"Compile", [this] { Run([this] { model_.Compile1Click(); }); });
  menu_->AddSeparator(file);
  menu_->AddItem(file, u"Exit", [this] { window_->Close(); });
}

template <typename Action>
void TFrmMainWindow::Run(Action action) {
  Pull();
  action();
  Push();
}

void TFrmMainWindow::Pull() {
  ModInfo->EndEdit(true);
  model_.SetupShortName = Ansi(SetupShortName->Text());
  model_.SetupName = Ansi(SetupName->Text());
  model_.SetupExeName = Ansi(SetupExeName->Text());
  const std::u16string modFilesDir = ModFilesDir->Text();
  model_.ModFilesDir = platform::NarrowPathOrMarked(modFilesDir);
  model_.ModFilesDirTyped = platform::NarrowPath(modFilesDir).empty() ? modFilesDir : u"";
  std::vector<gui::ValueListEditor::Row> rows = ModInfo->Rows();
  for (size_t i = 0; i < rows.size() && i < model_.ModInfo.size(); ++i) model_.ModInfo[i].Value = Ansi(rows[i].second);
  model_.InstLayout.Text = Ansi(InstLayout->Text());
  model_.InstLayout.ItemIndex = InstLayout->ItemIndex();
  model_.UninstLayout.Text = Ansi(UninstLayout->Text());
  model_.UninstLayout.ItemIndex = UninstLayout->ItemIndex();
  model_.HasUninstallCheck = HasUninstallCheck->Checked();
  model_.HasShortcutsCheck = HasShortcutsCheck->Checked();
  model_.ActivePage = PageOf(PageControl->ActivePage());
}

void TFrmMainWindow::Push() {
  SetTextIfChanged(*window_, model_.Caption);
  SetTextIfChanged(*SetupShortName, model_.SetupShortName);
  SetTextIfChanged(*SetupName, model_.SetupName);
  SetTextIfChanged(*SetupExeName, model_.SetupExeName);
  // The folder stays as typed (its long names) unless the action changed it.
  if (platform::NarrowPathOrMarked(ModFilesDir->Text()) != model_.ModFilesDir)
    ModFilesDir->SetText(platform::WidePath(model_.ModFilesDir));
  std::vector<gui::ValueListEditor::Row> rows;
  for (const TModInfoRow& row : model_.ModInfo) rows.emplace_back(Wide(row.Key), Wide(row.Value));
  if (ModInfo->Rows() != rows) ModInfo->SetRows(rows);
  for (auto [combo, model] :
       {std::pair{InstLayout.get(), &model_.InstLayout}, std::pair{UninstLayout.get(), &model_.UninstLayout}}) {
    std::vector<std::u16string> items;
    for (const std::string& item : model->Items) items.push_back(Wide(item));
    combo->SetItems(items);
    if (model->ItemIndex >= 0) combo->SetItemIndex(model->ItemIndex);
    SetTextIfChanged(*combo, model->Text);
  }
  HasUninstallCheck->SetChecked(model_.HasUninstallCheck);
  HasShortcutsCheck->SetChecked(model_.HasShortcutsCheck);

  if (model_.SourceFile != shownSource_) {
    shownSource_ = model_.SourceFile;
    SourceFile->SetText(Wide(model_.SourceFile));
  }
  CHARRANGE selection{model_.SourceSelStart, model_.SourceSelStart + model_.SourceSelLength};
  SendMessageW(H(SourceFile->Handle()), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  SendMessageW(H(SourceFile->Handle()), EM_SCROLLCARET, 0, 0);
  if (model_.CompiledInformation != shownLog_) {
    shownLog_ = model_.CompiledInformation;
    CompiledInformation->SetText(JoinLines(shownLog_));
    // A build's log ends in its result, "Finished" or the error: the caret
    // goes to the start of the last line, which scrolls it into view from
    // its beginning.
    HWND log = H(CompiledInformation->Handle());
    const LRESULT lines = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
    const LONG last = static_cast<LONG>(SendMessageW(log, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0));
    CHARRANGE caret{last, last};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
  }
  if (model_.CompiledVer != shownListing_) {
    shownListing_ = model_.CompiledVer;
    CompiledVer->SetText(JoinLines(shownListing_));
  }
  PlaceSourceSheet();

  PageControl->SetTabVisible(kTabSheet1, model_.SourceTabVisible);
  if (PageControl->ActivePage() != SheetIndex(model_.ActivePage))
    PageControl->SetActivePage(SheetIndex(model_.ActivePage));

  ErrorStringLabel->SetCaption(model_.ErrorStringLabel);
  ErrorLineNumberLabel->SetCaption(Wide(model_.ErrorLineNumberLabel));
  ErrorStringLabel->SetVisible(model_.ErrorLabelsVisible);
  ErrorLineNumberLabel->SetVisible(model_.ErrorLabelsVisible);
  StatusChanged();
  PushErrorPanel();

  // The focus goes where the action wanted it, when that control is showing.
  if (model_.ActiveControl == TFocus::SourceFile && model_.ActivePage == TMainPage::TabSheet1) SourceFile->SetFocus();
  if (model_.ActiveControl == TFocus::CompiledInformation && model_.ActivePage == TMainPage::TabSheet2)
    CompiledInformation->SetFocus();
  model_.ActiveControl = TFocus::Unchanged;
}

void TFrmMainWindow::PushErrorPanel() {
  ErrorPanel->SetVisible(model_.ErrorPanelVisible);
  ErrorPanel->SetColor(model_.ErrorPanelRed ? gui::clRed : gui::clBtnFace);
  Image1->SetVisible(model_.Image1Visible);
  ErrorFlashTimer->SetEnabled(model_.ErrorFlashTimerEnabled);
  ErrorTimerStop->SetEnabled(model_.ErrorTimerStopEnabled);
}

// The script fills its sheet; with the listing shown, the two share it
// around the divider.
void TFrmMainWindow::PlaceSourceSheet() {
  const gui::Rect& area = PageControl->Sheet(kTabSheet1)->Bounds();
  int width = area.Width() - 8, height = area.Height() - 8;
  DividerPanel->SetVisible(model_.DividerPanelVisible);
  CompiledVer->SetVisible(model_.CompiledVerVisible);
  if (!model_.CompiledVerVisible) {
    SourceFile->SetBounds(4, 4, width, height);
    return;
  }
  int half = (height - kDividerHeight) / 2;
  SourceFile->SetBounds(4, 4, width, half);
  DividerPanel->SetBounds(4, 4 + half, width, kDividerHeight);
  Image2->SetBounds(0, 0, width, kDividerHeight);
  CompiledVer->SetBounds(4, 4 + half + kDividerHeight, width, height - half - kDividerHeight);
}

void TFrmMainWindow::CreateXPGradient() {
  int width = Image1->Bounds().Width();
  gui::Bitmap picture(width, Image1->Bounds().Height());
  std::vector<uint32_t> columns = XPGradientColumns(width);
  for (int x = 0; x < width; ++x) picture.FillRect(x, 0, x + 1, picture.Height(), columns[static_cast<size_t>(x)]);
  Image1->SetPicture(picture);
  Image2->SetPicture(picture);
  Image3->SetPicture(picture);
}

bool TFrmMainWindow::OpenDialog(const std::string& filter, std::string& fileName) {
  return gui::OpenFileDialog(window_->Handle(), filter, fileName);
}

bool TFrmMainWindow::SaveDialog(const std::string& filter, const std::string& defaultExt, std::string& fileName) {
  return gui::SaveFileDialog(window_->Handle(), filter, defaultExt, fileName);
}

void TFrmMainWindow::ShowMessage(const std::string& text, const std::string& caption) {
  gui::MessageBoxAnsi(text, caption, gui::kMbOk);
}

void TFrmMainWindow::ShowWideMessage(const std::u16string& text, const std::string& caption) {
  gui::MessageBoxWide(text, Wide(caption), gui::kMbOk);
}

bool TFrmMainWindow::SelectDirectory(std::string& path) { return selectDir_ && selectDir_->ShowModal(*window_, path); }

void TFrmMainWindow::StatusChanged() {
  LabelCompile->SetCaption(Wide(model_.LabelCompile));
  const gui::Rect& b = LabelCompile->Bounds();
  LabelCompile->SetBounds(kWidth - 8 - b.Width(), b.Top, b.Width(), b.Height());
  LabelCompile->SetVisible(model_.LabelCompileVisible);
  LabelCompile->Repaint();
}
