// The wizard window on the screen: the window with its page panel, the
// separator and the four buttons, the layout's controls on the panel, and
// what the wizard asks of the screen and the process. Windows only.
#pragma once

#include <map>
#include <memory>

#include "Setup/FormMain.h"
#include "Setup/SE_LayoutView.h"
#include "platform/gui/Controls.h"
#include "platform/gui/ShellTree.h"

class TFrmMainWindow : public TWizardHost {
 public:
  // Creates the window (hidden) and the wizard with it.
  TFrmMainWindow();
  ~TFrmMainWindow() override;
  TFrmMainWindow(const TFrmMainWindow&) = delete;
  TFrmMainWindow& operator=(const TFrmMainWindow&) = delete;

  TFrmMain& Form() { return *form_; }
  gui::Window& Window() { return window_; }
  void Show() { window_.Show(); }

  void SetTitle(const std::u16string& title, const std::u16string& caption) override;
  void ProcessMessages() override;
  void CloseWindow() override;
  [[noreturn]] void EndProcess(int exitCode) override;
  int PopupMenu(const std::vector<std::u16string>& captions, const std::vector<bool>& checked, int x, int y) override;
  gui::Rect WindowBounds() const override;
  int ClientWidth() const override;
  int ClientHeight() const override;
  TFolderTreeItems* FolderTreeItems(TSE_ShellTreeView& tree) override;

 private:
  class TButtonView;
  class TTreeItems;
  void ChooseDefaultButton();

  gui::Window window_{u"Setup", 578, 413};
  gui::Panel page_{&window_};
  gui::Bevel bevel_{&window_};
  gui::Button back_{&window_}, next_{&window_}, cancel_{&window_}, language_{&window_};
  std::unique_ptr<TFrmMain> form_;
  std::unique_ptr<TLayoutView> layoutView_;
  std::vector<std::unique_ptr<TButtonView>> buttonViews_;
  std::map<const TSE_ShellTreeView*, std::unique_ptr<TTreeItems>> trees_;
};
