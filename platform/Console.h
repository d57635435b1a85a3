// The console services of the packer: a screen buffer written cell by cell,
// key input, the window title, and plain output lines for when standard
// output or input is not a console (a pipe, a file).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// One character cell: an 8-bit character in a 16-bit slot and its colour.
struct ConsoleCell {
  uint16_t Char = 0;
  uint16_t Attr = 0;
};

struct ConsoleRect {
  int16_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

class ConsoleScreen {
 public:
  ConsoleScreen();
  // Restores what Setup changed.
  ~ConsoleScreen();
  ConsoleScreen(const ConsoleScreen&) = delete;
  ConsoleScreen& operator=(const ConsoleScreen&) = delete;

  // Both standard output and standard input are a console.
  bool IsConsole() const { return isConsole_; }
  // Shrinks the buffer to the visible window (no scroll-back while the
  // program draws) and hides the cursor; width and height of the buffer.
  // False when this is no console or the buffer cannot be read.
  bool Setup(int16_t& width, int16_t& height);
  // Pushes `rect` of a width x height cell grid to the same place on screen.
  bool Write(const ConsoleCell* cells, int16_t width, int16_t height, const ConsoleRect& rect);
  // Reads every pending input event; true when any of them is a key going
  // down (the release of the key that started the program does not count).
  bool KeyPressed();
  // Buffer size (and so the scroll-back), cursor visibility and position as
  // before Setup, the cursor below the drawn screen. Safe to call twice.
  void Restore();
  void SetTitle(const std::string& title);

 private:
  bool isConsole_ = false;
  bool changed_ = false;
  intptr_t output_ = 0, input_ = 0;
  int16_t savedWidth_ = 0, savedHeight_ = 0, height_ = 0;
  uint32_t savedCursorSize_ = 0;
  bool savedCursorVisible_ = true;
};

// A line on standard output or standard error, flushed at once.
void WriteOutputLine(const std::string& text);
void WriteErrorLine(const std::string& text);
// A line that may name files outside the code page: a console shows it as
// it is; a file or pipe gets it in the code page, or in UTF-8 when the code
// page cannot hold it.
void WriteErrorLine(const std::u16string& text);
// The system's text for the last error of the calling thread.
std::string SystemErrorText();
// Removes and dispatches every pending message of the thread's queue.
void PumpMessages();

}  // namespace platform
