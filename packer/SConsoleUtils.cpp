#include "packer/SConsoleUtils.h"

#include <algorithm>

TConsole::TConsole(platform::ConsoleScreen& screen) : screen_(&screen) {
  plain_ = !screen.Setup(width_, height_) || width_ <= 0 || height_ <= 0;
  if (plain_) {
    width_ = height_ = 0;
    return;
  }
  cells_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), ConsoleCell());
  dirtyRect_ = {0, 0, static_cast<int16_t>(width_ - 1), static_cast<int16_t>(height_ - 1)};
  dirty_ = true;
  DrawWaitBox();
  Flush(true);
}

TConsole::TConsole(int16_t width, int16_t height)
    : width_(std::max<int16_t>(width, 0)), height_(std::max<int16_t>(height, 0)) {
  cells_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), ConsoleCell());
  dirtyRect_ = {0, 0, static_cast<int16_t>(width_ - 1), static_cast<int16_t>(height_ - 1)};
  dirty_ = true;
}

void TConsole::SetCell(ConsoleCell& cell, char c, uint16_t attr) {
  cell.Char = static_cast<uint8_t>(c);
  cell.Attr = c != '\0' && c != ' ' ? attr : 0;
}

void TConsole::WriteText(const std::string& text, int x, uint16_t attr, int y) {
  if (plain_) {
    platform::WriteOutputLine(text);
    return;
  }
  if (x < 0 || x >= width_ || y < 0 || y >= height_) return;
  size_t length = std::min<size_t>(text.size(), static_cast<size_t>(width_ - x));
  for (size_t i = 0; i < length; ++i) SetCell(CellAt(x + static_cast<int>(i), y), text[i], attr);
  MarkDirty(x, y, 1, static_cast<int>(length));
}

void TConsole::ClearLine(int row) {
  if (plain_ || row < 0 || row >= height_) return;
  std::fill_n(cells_.begin() + row * width_, width_, ConsoleCell());
  MarkDirty(0, row, 1, width_);
}

void TConsole::MarkDirty(int x, int y, int rows, int columns) {
  dirtyRect_.Left = static_cast<int16_t>(std::min<int>(dirtyRect_.Left, x));
  dirtyRect_.Right = static_cast<int16_t>(std::max<int>(dirtyRect_.Right, x + columns - 1));
  dirtyRect_.Top = static_cast<int16_t>(std::min<int>(dirtyRect_.Top, y));
  dirtyRect_.Bottom = static_cast<int16_t>(std::max<int>(dirtyRect_.Bottom, y + rows - 1));
  dirty_ = true;
}

void TConsole::Flush(bool all) {
  if (plain_) return;
  if (all)
    dirtyRect_ = {0, 0, static_cast<int16_t>(width_ - 1), static_cast<int16_t>(height_ - 1)};
  else if (!dirty_)
    return;
  dirtyRect_.Right = static_cast<int16_t>(width_ - 1);
  if (screen_ && !screen_->Write(cells_.data(), width_, height_, dirtyRect_))
    platform::WriteOutputLine(platform::SystemErrorText());
  ResetDirty();
}

void TConsole::ResetDirty() {
  dirtyRect_ = {static_cast<int16_t>(width_ - 1), static_cast<int16_t>(height_ - 1), 0, 0};
  dirty_ = false;
}

void TConsole::DrawWaitBox() {
  const std::string bar(16, '\xCD');
  int x = width_ / 2 - 9, m = (height_ - 1) / 2;
  WriteText("\xC9" + bar + "\xBB", x, 7, m - 1);
  WriteText("\xBA PLEASE WAIT... \xBA", x, 7, m);
  WriteText("\xC8" + bar + "\xBC", x, 7, m + 1);
}
