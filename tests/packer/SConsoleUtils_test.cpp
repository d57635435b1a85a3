#include "packer/SConsoleUtils.h"

#include <gtest/gtest.h>

namespace {

std::string Row(TConsole& c, int y) {
  std::string s;
  for (int x = 0; x < c.Width(); ++x) s.push_back(static_cast<char>(c.CellAt(x, y).Char));
  return s;
}

void ExpectRect(const TConsole& c, int left, int top, int right, int bottom) {
  EXPECT_EQ(c.DirtyRect().Left, left);
  EXPECT_EQ(c.DirtyRect().Top, top);
  EXPECT_EQ(c.DirtyRect().Right, right);
  EXPECT_EQ(c.DirtyRect().Bottom, bottom);
}

}  // namespace

TEST(ConsoleGrid, WriteTextClipsAtEdges) {
  struct Case {
    const char* what;
    int x, y;
    std::string text;
    std::string row;  // the row of a 10-wide grid afterwards
    bool dirty;
  } cases[] = {
      {"inside", 2, 1, "abc", std::string("\0\0abc\0\0\0\0\0", 10), true},
      {"cut at the right edge", 7, 1, "abcdef", std::string("\0\0\0\0\0\0\0abc", 10), true},
      {"exactly to the edge", 6, 1, "abcd", std::string("\0\0\0\0\0\0abcd", 10), true},
      {"left of the grid", -1, 1, "abc", std::string(10, '\0'), false},
      {"right of the grid", 10, 1, "abc", std::string(10, '\0'), false},
      {"above the grid", 0, -1, "abc", std::string(10, '\0'), false},
      {"below the grid", 0, 3, "abc", std::string(10, '\0'), false},
  };
  for (const Case& c : cases) {
    TConsole grid(10, 3);
    grid.Flush();
    grid.WriteText(c.text, c.x, 7, c.y);
    EXPECT_EQ(Row(grid, 1), c.row) << c.what;
    EXPECT_EQ(grid.Dirty(), c.dirty) << c.what;
  }
}

TEST(ConsoleGrid, BlanksAndZerosCarryNoAttribute) {
  TConsole grid(6, 1);
  grid.WriteText(std::string("a b\0c", 5), 0, 0x1E, 0);
  uint16_t want[] = {0x1E, 0, 0x1E, 0, 0x1E, 0};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(grid.CellAt(x, 0).Attr, want[x]) << x;
  // Characters above 127 (the frame) keep their byte value.
  grid.WriteText("\xC9", 5, 7, 0);
  EXPECT_EQ(grid.CellAt(5, 0).Char, 0xC9);
}

TEST(ConsoleGrid, DirtyRectangleGrowsAndResetsOnFlush) {
  TConsole grid(80, 25);
  ExpectRect(grid, 0, 0, 79, 24);  // a new grid is dirty all over
  grid.Flush();
  EXPECT_FALSE(grid.Dirty());
  ExpectRect(grid, 79, 24, 0, 0);  // ready to be set from scratch

  grid.WriteText("abcd", 10, 7, 5);
  ExpectRect(grid, 10, 5, 13, 5);
  grid.WriteText("x", 3, 7, 9);
  ExpectRect(grid, 3, 5, 13, 9);
  grid.ClearLine(2);
  ExpectRect(grid, 0, 2, 79, 9);
  grid.Flush();
  ExpectRect(grid, 79, 24, 0, 0);

  // Out-of-range rows are ignored: nothing becomes dirty.
  grid.ClearLine(-1);
  grid.ClearLine(25);
  EXPECT_FALSE(grid.Dirty());
  grid.Flush(true);
  EXPECT_FALSE(grid.Dirty());
}

TEST(ConsoleGrid, ClearLineZeroesTheRow) {
  TConsole grid(5, 2);
  grid.WriteText("hello", 0, 7, 1);
  grid.ClearLine(1);
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(grid.CellAt(x, 1).Char, 0);
    EXPECT_EQ(grid.CellAt(x, 1).Attr, 0);
  }
}

TEST(ConsoleGrid, WaitBoxAndPromptPositions) {
  struct Case {
    int16_t width, height;
    int boxX, boxRow, promptX, promptRow;
  } cases[] = {
      {80, 25, 31, 11, 34, 23},
      {120, 30, 51, 13, 54, 28},
      {19, 4, 0, 0, 3, 2},
  };
  for (const Case& c : cases) {
    TConsole grid(c.width, c.height);
    grid.DrawWaitBox();
    EXPECT_EQ(grid.CellAt(c.boxX, c.boxRow).Char, 0xC9) << c.width;
    EXPECT_EQ(grid.CellAt(c.boxX + 17, c.boxRow).Char, 0xBB) << c.width;
    EXPECT_EQ(grid.CellAt(c.boxX, c.boxRow + 1).Char, 0xBA) << c.width;
    EXPECT_EQ(grid.CellAt(c.boxX + 2, c.boxRow + 1).Char, 'P') << c.width;
    EXPECT_EQ(grid.CellAt(c.boxX + 1, c.boxRow + 2).Char, 0xCD) << c.width;
    EXPECT_EQ(grid.CellAt(c.boxX + 17, c.boxRow + 2).Char, 0xBC) << c.width;
    EXPECT_EQ(grid.PromptColumn(), c.promptX);
    EXPECT_EQ(grid.PromptRow(), c.promptRow);
  }
  // Narrower than the box: it would start left of the grid, so nothing is
  // drawn and nothing spills into other rows.
  TConsole narrow(10, 5);
  narrow.Flush();
  narrow.DrawWaitBox();
  EXPECT_FALSE(narrow.Dirty());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(narrow.CellAt(x, y).Char, 0) << x << "," << y;
}
