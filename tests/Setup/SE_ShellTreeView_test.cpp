#include "Setup/SE_ShellTreeView.h"

#include <gtest/gtest.h>

#include "tests/Setup/RecordingCanvas.h"

namespace {

// The colours an item ends with, from the tree's own colours for it.
std::pair<TColor, TColor> ItemColors(const TSE_ShellTreeView& tree, bool selected) {
  RecordingCanvas canvas;
  canvas.font.Color = selected ? gui::clHighlightText : gui::clWindowText;
  canvas.brush.Color = selected ? gui::clHighlight : gui::clWindow;
  tree.ApplyItemColors(selected, canvas);
  return {canvas.font.Color, canvas.brush.Color};
}

}  // namespace

TEST(ShellTreeViewTest, NewTreeDrawsWithTheDefaultColours) {
  TSE_ShellTreeView tree(nullptr);
  EXPECT_EQ(tree.CustomOptions(), 0);
  EXPECT_EQ(ItemColors(tree, true), std::make_pair(gui::clHighlightText, gui::clHighlight));
  EXPECT_EQ(ItemColors(tree, false), std::make_pair(gui::clWindowText, gui::clWindow));
}

TEST(ShellTreeViewTest, EachColourTakesEffectOnlyOnceSet) {
  struct Case {
    const char* what;
    void (TSE_ShellTreeView::*set)(TColor);
    TCustomOptionsSet option;
    std::pair<TColor, TColor> selected, other;
  };
  const Case cases[] = {
      {"selected text",
       &TSE_ShellTreeView::SetCustomSelFontCol,
       stvSelFontCol,
       {0x0000FF, gui::clHighlight},
       {gui::clWindowText, gui::clWindow}},
      {"other text",
       &TSE_ShellTreeView::SetCustomFontCol,
       stvFontCol,
       {gui::clHighlightText, gui::clHighlight},
       {0x0000FF, gui::clWindow}},
      {"selected background",
       &TSE_ShellTreeView::SetCustomSelCol,
       stvSelCol,
       {gui::clHighlightText, 0x0000FF},
       {gui::clWindowText, gui::clWindow}},
  };
  for (const Case& c : cases) {
    TSE_ShellTreeView tree(nullptr);
    (tree.*c.set)(0x0000FF);
    EXPECT_EQ(tree.CustomOptions(), c.option) << c.what;
    EXPECT_EQ(ItemColors(tree, true), c.selected) << c.what;
    EXPECT_EQ(ItemColors(tree, false), c.other) << c.what;
  }
}

TEST(ShellTreeViewTest, SettingTheSameColourStillTurnsItsOptionOn) {
  TSE_ShellTreeView tree(nullptr);
  tree.SetCustomFontCol(tree.CustomFontCol());
  EXPECT_EQ(tree.CustomOptions(), stvFontCol);
  tree.SetCustomSelCol(0x00FF00);
  tree.SetCustomSelFontCol(0xFF0000);
  EXPECT_EQ(tree.CustomOptions(), stvSelFontCol | stvFontCol | stvSelCol);
  // Only writing the set whole turns options off; the colours stay stored.
  tree.SetCustomOptions(stvSelCol);
  EXPECT_EQ(ItemColors(tree, true), std::make_pair(gui::clHighlightText, TColor{0x00FF00}));
  EXPECT_EQ(tree.CustomSelFontCol(), 0xFF0000);
}

TEST(ShellTreeViewTest, SelectionReportedByTheTreeRunsTheChangeEvent) {
  CountingView view;
  TSE_ShellTreeView tree(nullptr);
  tree.SetView(&view);
  int changes = 0;
  tree.OnChange = [&] { ++changes; };
  tree.SetPath("C:\\Games\\");
  EXPECT_EQ(view.Count(TChange::Text), 1) << "the view is asked to select it";
  EXPECT_EQ(changes, 0);
  tree.SelectionChanged("C:\\Games");
  EXPECT_EQ(tree.Path(), "C:\\Games");
  EXPECT_EQ(changes, 1);
}
