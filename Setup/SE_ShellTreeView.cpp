#include "Setup/SE_ShellTreeView.h"

TSE_ShellTreeView::TSE_ShellTreeView(TPanel* parent) : TControl(parent) {
  color_ = gui::clWindow;
  SetBounds(0, 0, 121, 97);
}

void TSE_ShellTreeView::SetCustomOptions(TCustomOptionsSet options) {
  Update(customOptions_, options, TChange::Invalidate);
}

void TSE_ShellTreeView::SetCustomSelFontCol(TColor color) {
  customSelFontCol_ = color;
  customOptions_ |= stvSelFontCol;
  Notify(TChange::Invalidate);
}

void TSE_ShellTreeView::SetCustomFontCol(TColor color) {
  customFontCol_ = color;
  customOptions_ |= stvFontCol;
  Notify(TChange::Invalidate);
}

void TSE_ShellTreeView::SetCustomSelCol(TColor color) {
  customSelCol_ = color;
  customOptions_ |= stvSelCol;
  Notify(TChange::Invalidate);
}

void TSE_ShellTreeView::ApplyItemColors(bool selected, gui::Canvas& canvas) const {
  if (selected) {
    if (customOptions_ & stvSelFontCol) canvas.font.Color = customSelFontCol_;
    if (customOptions_ & stvSelCol) canvas.brush.Color = customSelCol_;
  } else if (customOptions_ & stvFontCol) {
    canvas.font.Color = customFontCol_;
  }
}

void TSE_ShellTreeView::SetBorder(bool on) { Update(border_, on, TChange::Style); }

void TSE_ShellTreeView::SetHideSelection(bool on) { Update(hideSelection_, on, TChange::Style); }

void TSE_ShellTreeView::SetDoubleBuffered(bool on) { Update(doubleBuffered_, on, TChange::Style); }

void TSE_ShellTreeView::SetPath(const std::string& path) {
  path_ = path;
  Notify(TChange::Text);
}

void TSE_ShellTreeView::SelectionChanged(const std::string& path) {
  path_ = path;
  if (OnChange) OnChange();
}
