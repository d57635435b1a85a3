// The packer's screen: an off-screen grid of character cells with a dirty
// rectangle, pushed to the console in one call per flush. Without a console
// (output or input redirected) it runs in plain mode: each text written
// becomes a line on standard output and nothing waits for a key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Console.h"

using platform::ConsoleCell;
using platform::ConsoleRect;

class TConsole {
 public:
  // A console on the process's screen (plain mode when there is none): the
  // buffer is fitted to the window, the cursor hidden and the wait box shown.
  explicit TConsole(platform::ConsoleScreen& screen);
  // A grid of the given size that is never pushed anywhere.
  TConsole(int16_t width, int16_t height);

  bool Plain() const { return plain_; }
  int16_t Width() const { return width_; }
  int16_t Height() const { return height_; }

  // Writes text at (x, y), cut at the right edge; a position outside the
  // grid writes nothing. In plain mode, prints the text as a line.
  void WriteText(const std::string& text, int x, uint16_t attr, int y);
  // Blanks (character 0, attribute 0) a row inside the grid.
  void ClearLine(int row);
  void MarkDirty(int x, int y, int rows, int columns);
  ConsoleCell& CellAt(int x, int y) { return cells_[static_cast<size_t>(x + y * width_)]; }
  // Pushes the dirty part (all: the whole grid) to the console, always up
  // to its right edge, then starts a new dirty rectangle.
  void Flush(bool all = false);

  // The framed " PLEASE WAIT... " box in the middle of the grid.
  void DrawWaitBox();
  // Where the blinking "PRESS ANY KEY" prompt goes.
  int PromptColumn() const { return width_ / 2 - 6; }
  int PromptRow() const { return height_ - 2; }

  // Reads all pending input; true when a key went down. Never in plain mode.
  bool KeyPressed() { return !plain_ && screen_ && screen_->KeyPressed(); }
  void SetTitle(const std::string& title) {
    if (screen_) screen_->SetTitle(title);
  }

  const ConsoleRect& DirtyRect() const { return dirtyRect_; }
  bool Dirty() const { return dirty_; }

 private:
  static void SetCell(ConsoleCell& cell, char c, uint16_t attr);
  void ResetDirty();

  platform::ConsoleScreen* screen_ = nullptr;
  bool plain_ = false;
  int16_t width_ = 0, height_ = 0;
  std::vector<ConsoleCell> cells_;
  ConsoleRect dirtyRect_;
  bool dirty_ = false;
};
