// More controls of the windowing layer: tabbed sheets, an editable drop-down
// list, a two-column key/value grid with in-place editing of the values,
// flat tool buttons with hints, and a window's menu bar. Windows only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gui/Controls.h"

namespace gui {

// Sheets under a row of tabs. A sheet whose tab is hidden can still be shown
// through SetActivePage.
class PageControl : public Container {
 public:
  explicit PageControl(Container* parent);
  ~PageControl() override;

  // A new last sheet; the control owns it.
  Panel* AddSheet(const std::u16string& caption);
  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  Panel* Sheet(int index) const;
  void SetTabVisible(int index, bool visible);
  bool TabVisible(int index) const;
  void SetActivePage(int index);
  int ActivePage() const { return active_; }
  void SetBounds(int left, int top, int width, int height) override;

  // The user picked another tab.
  std::function<void()> OnChange;

 private:
  class Tabs;
  struct SheetEntry {
    std::u16string Caption;
    std::unique_ptr<Panel> Sheet;
    bool TabVisible = true;
  };
  void RebuildTabs();
  void PlaceSheets();
  void TabPicked(int tab);

  std::unique_ptr<Tabs> tabs_;
  std::vector<SheetEntry> sheets_;
  int active_ = -1;
};

// A drop-down list whose text can also be typed.
class ComboBox : public WinControl {
 public:
  explicit ComboBox(Container* parent);
  void SetItems(const std::vector<std::u16string>& items);
  // Selects an item (its text becomes the box's text); -1 selects none.
  void SetItemIndex(int index);
  int ItemIndex() const;
  bool OnCommand(unsigned code) override;
  // The text changed, typed or picked.
  std::function<void()> OnChange;
};

// Rows of a key and a value under two column titles; the user edits a value
// in place by clicking it (Enter or leaving the cell keeps the text, Escape
// drops it). Keys are fixed.
class ValueListEditor : public Container {
 public:
  using Row = std::pair<std::u16string, std::u16string>;

  explicit ValueListEditor(Container* parent);
  ~ValueListEditor() override;

  void SetTitles(const std::u16string& keyTitle, const std::u16string& valueTitle);
  void SetRows(const std::vector<Row>& rows);
  // The rows as shown, an edit in progress included.
  std::vector<Row> Rows() const;
  // Opens the value of a row for editing, as a click on it does.
  void EditValue(int row);
  bool Editing() const { return editRow_ >= 0; }
  // Closes the editor, keeping or dropping its text.
  void EndEdit(bool keep);
  void SetBounds(int left, int top, int width, int height) override;

  // A value was changed by the user.
  std::function<void(int row)> OnValueChanged;

 private:
  class List;
  class CellEdit;
  void PlaceColumns();

  std::unique_ptr<List> list_;
  std::unique_ptr<CellEdit> edit_;
  int editRow_ = -1;
};

// A flat push button that shows a hint while the mouse rests on it.
class ToolButton : public Button {
 public:
  explicit ToolButton(Container* parent);
  ~ToolButton() override;
  void SetHint(const std::u16string& hint);

 private:
  void* tip_ = nullptr;
  std::u16string hint_;
};

// The menu bar of a window: drop-down menus of items. The window keeps its
// client size when the bar is attached.
class MenuBar {
 public:
  explicit MenuBar(Window& window);
  ~MenuBar();
  MenuBar(const MenuBar&) = delete;
  MenuBar& operator=(const MenuBar&) = delete;

  // A new drop-down menu; its index for AddItem and AddSeparator.
  int AddMenu(const std::u16string& caption);
  // An item of a drop-down menu; its command id.
  unsigned AddItem(int menu, const std::u16string& caption, std::function<void()> onClick);
  void AddSeparator(int menu);
  // Runs the item of that id, as choosing it does.
  void Choose(unsigned id);

 private:
  Window& window_;
  void* bar_;
  std::vector<void*> menus_;
  std::map<unsigned, std::function<void()>> items_;
  unsigned nextId_ = 100;
};

}  // namespace gui
