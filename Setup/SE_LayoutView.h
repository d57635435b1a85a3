// The layout's controls on the screen (Windows only): one window or
// windowless control per model on the page panel's window, created as the
// layout creates the model and kept in step with it; what the user does
// (typing, clicking, picking a folder) goes back into the model.
#pragma once

#include <map>
#include <memory>
#include <set>

#include "Setup/SE_Controls.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Edits.h"
#include "platform/gui/ShellTree.h"

class TSE_ShellTreeView;

class TLayoutView : public TControlView {
 public:
  // Attaches to the page panel: its colour, and every control created on it
  // from now on.
  TLayoutView(TPanel& page, gui::Container& pageWindow);
  ~TLayoutView() override;
  TLayoutView(const TLayoutView&) = delete;
  TLayoutView& operator=(const TLayoutView&) = delete;

  void Changed(TControl& control, TChange change) override;
  // The screen control of a model, or null.
  gui::Control* WidgetOf(const TControl& control) const;

 private:
  void Create(TControl& control);
  void Apply(TControl& control, gui::Control& widget, TChange change);

  TPanel& page_;
  gui::Container& pageWindow_;
  std::map<const TControl*, std::unique_ptr<gui::Control>> widgets_;
  // Controls whose layout block is still being read: their font and their
  // content wait for its end, so that a long text is laid out once.
  std::set<const TControl*> loading_;
};

// The folder tree's own item drawing: the item's colours from the model,
// its text, the shell's small icon of its folder, and the focus frame on
// the selected item while the tree has the focus.
void DrawShellTreeItem(const TSE_ShellTreeView& tree, gui::ShellTreeView& view, gui::DcCanvas& canvas,
                       const void* item);
// The shell's icon of a folder by its identifier list; the caller destroys
// it. Null when the shell has none.
void* GetShellIcon(const void* idList, bool large, bool open);
