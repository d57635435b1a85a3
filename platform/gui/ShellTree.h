// A tree of the shell's folders (the desktop and everything below it, with
// the shell's names and small icons), filled as its items are expanded.
// Windows only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/gui/Controls.h"

namespace gui {

class ShellTreeView : public WinControl {
 public:
  using Item = void*;

  // What the custom item drawing receives: the item, its state, its text
  // rectangle and its whole row; the canvas comes with the colours the tree
  // would use for the item.
  struct ItemDraw {
    Item item = nullptr;
    bool selected = false;
    bool expanded = false;
    Rect textRect;
    Rect rowRect;
  };

  explicit ShellTreeView(Container* parent);
  ~ShellTreeView() override;

  // File system path of the selected folder; empty when it has none.
  std::string Path() const;
  // Selects the folder of the path, expanding its parents; false when the
  // shell does not know the path.
  bool SetPath(const std::string& path);

  // Every item created so far, in item-list order: an item, then the items
  // below it, then its next sibling.
  std::vector<Item> Items() const;
  std::string ItemPath(Item item) const;
  std::u16string ItemText(Item item) const;
  // The shell's identifier list of the item's folder (an absolute one).
  const void* ItemIdList(Item item) const;
  Item Selected() const;
  void Select(Item item);
  bool Expand(Item item);
  bool Expanded(Item item) const;
  Item ParentOf(Item item) const;
  Item FirstChildOf(Item item) const;
  // Suspends and resumes painting around many changes.
  void BeginUpdate();
  void EndUpdate();

  void SetColor(TColor color) override;
  void SetFontColor(TColor color);
  void SetShowSelectionAlways(bool on);

  std::function<void()> OnChange;
  // When set, items are drawn by this instead of the tree.
  std::function<void(DcCanvas& canvas, const ItemDraw& draw)> OnDrawItem;

  bool OnNotify(void* header, intptr_t& result) override;

 private:
  Item AddItem(Item parent, void* idList);
  void Populate(Item item);

  int updates_ = 0;
};

}  // namespace gui
