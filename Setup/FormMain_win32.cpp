#include "Setup/FormMain_win32.h"

#include <windows.h>

#include "Setup/SE_ShellTreeView.h"
#include "installer-library/SE_Global.h"
#include "platform/gui/Application.h"

// A button of the window, kept in step with its model; a click goes back
// into the model.
class TFrmMainWindow::TButtonView : public TControlView {
 public:
  TButtonView(TFrmMainWindow& owner, TTntButton& model, gui::Button& button)
      : owner_(owner), model_(model), button_(button) {
    model_.SetView(this);
    button_.OnClick = [this] { model_.Click(); };
    for (TChange change : {TChange::Bounds, TChange::Text, TChange::Visible, TChange::Enabled}) Changed(model_, change);
  }
  ~TButtonView() override { model_.SetView(nullptr); }

  void Changed(TControl&, TChange change) override {
    switch (change) {
      case TChange::Bounds:
        button_.SetBounds(model_.Left(), model_.Top(), model_.Width(), model_.Height());
        break;
      case TChange::Text:
        button_.SetText(model_.Caption());
        break;
      case TChange::Visible:
        button_.SetVisible(model_.Visible());
        owner_.ChooseDefaultButton();
        break;
      case TChange::Enabled:
        button_.SetEnabled(model_.Enabled());
        break;
      default:
        break;
    }
  }

 private:
  TFrmMainWindow& owner_;
  TTntButton& model_;
  gui::Button& button_;
};

// The screen's folder tree, item by item.
class TFrmMainWindow::TTreeItems : public TFolderTreeItems {
 public:
  explicit TTreeItems(gui::ShellTreeView& tree) : tree_(tree) {}
  std::vector<Item> Items() const override {
    std::vector<Item> items;
    for (gui::ShellTreeView::Item item : tree_.Items()) items.push_back(item);
    return items;
  }
  std::string ItemPath(Item item) const override { return tree_.ItemPath(Mutable(item)); }
  Item ParentOf(Item item) const override { return tree_.ParentOf(Mutable(item)); }
  Item FirstChildOf(Item item) const override { return tree_.FirstChildOf(Mutable(item)); }
  void Expand(Item item) override { tree_.Expand(Mutable(item)); }
  void Select(Item item) override { tree_.Select(Mutable(item)); }
  void BeginUpdate() override { tree_.BeginUpdate(); }
  void EndUpdate() override { tree_.EndUpdate(); }

 private:
  static gui::ShellTreeView::Item Mutable(Item item) { return const_cast<void*>(item); }
  gui::ShellTreeView& tree_;
};

TFrmMainWindow::TFrmMainWindow() {
  page_.SetBounds(0, 0, 578, 375);
  page_.SetBevel(gui::BevelKind::None);
  page_.SetColor(gui::clWhite);
  bevel_.SetBounds(0, 375, 578, 3);
  bevel_.SetShape(gui::BevelShape::TopLine);
  form_ = std::make_unique<TFrmMain>(*this);
  layoutView_ = std::make_unique<TLayoutView>(form_->Panel1, page_);
  // Esc presses Cancel, which asks first; Enter the default button
  // (ChooseDefaultButton).
  window_.SetCancelButton(&cancel_);
  buttonViews_.push_back(std::make_unique<TButtonView>(*this, form_->BackButton, back_));
  buttonViews_.push_back(std::make_unique<TButtonView>(*this, form_->NextButton, next_));
  buttonViews_.push_back(std::make_unique<TButtonView>(*this, form_->CancelButton, cancel_));
  buttonViews_.push_back(std::make_unique<TButtonView>(*this, form_->LanguageButton, language_));
  window_.OnCloseQuery = [this] { return form_->FormCloseQuery(); };
  window_.OnClosed = [this] { form_->FormClose(); };
  // The owner of what the script starts through the shell.
  ApplicationWindow = window_.Handle();
}

TFrmMainWindow::~TFrmMainWindow() {
  // The views let go of the models first, then the wizard goes with its
  // models (and stops its thread).
  trees_.clear();
  buttonViews_.clear();
  layoutView_.reset();
  form_.reset();
  ApplicationWindow = nullptr;
}

// Enter presses Next; once Next is hidden (the finish page), the button
// that reads Finish.
void TFrmMainWindow::ChooseDefaultButton() {
  window_.SetDefaultButton(form_->NextButton.Visible() ? &next_ : &cancel_);
}

void TFrmMainWindow::SetTitle(const std::u16string& title, const std::u16string& caption) {
  gui::SetApplicationTitle(title);
  window_.SetText(caption);
}

void TFrmMainWindow::ProcessMessages() { gui::ProcessMessages(); }

void TFrmMainWindow::CloseWindow() { window_.Close(); }

void TFrmMainWindow::EndProcess(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

int TFrmMainWindow::PopupMenu(const std::vector<std::u16string>& captions, const std::vector<bool>& checked, int x,
                              int y) {
  std::vector<gui::MenuItem> items;
  for (size_t i = 0; i < captions.size(); ++i)
    items.push_back({captions[i], static_cast<int>(i), i < checked.size() && checked[i]});
  return gui::PopupMenu(window_.Handle(), items, x, y);
}

gui::Rect TFrmMainWindow::WindowBounds() const {
  RECT r{};
  GetWindowRect(static_cast<HWND>(window_.Handle()), &r);
  return {r.left, r.top, r.right, r.bottom};
}

int TFrmMainWindow::ClientWidth() const {
  RECT r{};
  GetClientRect(static_cast<HWND>(window_.Handle()), &r);
  return r.right;
}

int TFrmMainWindow::ClientHeight() const {
  RECT r{};
  GetClientRect(static_cast<HWND>(window_.Handle()), &r);
  return r.bottom;
}

TFolderTreeItems* TFrmMainWindow::FolderTreeItems(TSE_ShellTreeView& tree) {
  auto found = trees_.find(&tree);
  if (found != trees_.end()) return found->second.get();
  auto* view = dynamic_cast<gui::ShellTreeView*>(layoutView_->WidgetOf(tree));
  if (!view) return nullptr;
  return (trees_[&tree] = std::make_unique<TTreeItems>(*view)).get();
}
