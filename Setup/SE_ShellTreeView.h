// The install-directory page's folder tree: the shell's folder tree (drawn
// by the view) with three optional colours. A colour takes effect only once
// it has been set, which CustomOptions records, so a layout that sets none
// keeps the tree's default look.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Setup/SE_Controls.h"
#include "platform/gui/Canvas.h"

enum TCustomOption : uint8_t { stvSelFontCol = 1, stvFontCol = 2, stvSelCol = 4 };
using TCustomOptionsSet = uint8_t;

class TSE_ShellTreeView : public TControl {
 public:
  explicit TSE_ShellTreeView(TPanel* parent);
  const char* ClassName() const override { return "TSE_ShellTreeView"; }

  TCustomOptionsSet CustomOptions() const { return customOptions_; }
  void SetCustomOptions(TCustomOptionsSet options);
  // Each writer stores the colour and turns its option on, even when the
  // colour is the same; nothing but SetCustomOptions turns one off.
  TColor CustomSelFontCol() const { return customSelFontCol_; }
  void SetCustomSelFontCol(TColor color);
  TColor CustomFontCol() const { return customFontCol_; }
  void SetCustomFontCol(TColor color);
  TColor CustomSelCol() const { return customSelCol_; }
  void SetCustomSelCol(TColor color);

  // The colours of one item being drawn: the canvas comes with the tree's
  // own colours for the item; those whose option is on are replaced.
  void ApplyItemColors(bool selected, gui::Canvas& canvas) const;

  bool Border() const { return border_; }
  void SetBorder(bool on);
  // Whether the selection stays visible while the tree has no focus.
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool on);
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool on);

  // The selected folder, as the tree last reported it.
  const std::string& Path() const { return path_; }
  // Asks the tree to select the folder of the path.
  void SetPath(const std::string& path);
  // The tree reports a new selection (the view calls it); runs OnChange.
  void SelectionChanged(const std::string& path);
  std::function<void()> OnChange;

 private:
  TCustomOptionsSet customOptions_ = 0;
  TColor customSelFontCol_ = gui::clHighlightText;
  TColor customFontCol_ = gui::clWindowText;
  TColor customSelCol_ = gui::clHighlight;
  bool border_ = true;
  bool hideSelection_ = true;
  bool doubleBuffered_ = false;
  std::string path_;
};
