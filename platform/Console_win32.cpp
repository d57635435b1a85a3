// The console services on the Windows console API.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/Console.h"
#include "platform/Text.h"

namespace platform {
namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

ConsoleScreen::ConsoleScreen() {
  output_ = reinterpret_cast<intptr_t>(GetStdHandle(STD_OUTPUT_HANDLE));
  input_ = reinterpret_cast<intptr_t>(GetStdHandle(STD_INPUT_HANDLE));
  CONSOLE_SCREEN_BUFFER_INFO info;
  DWORD mode;
  isConsole_ = GetConsoleScreenBufferInfo(H(output_), &info) && GetConsoleMode(H(input_), &mode);
}

ConsoleScreen::~ConsoleScreen() { Restore(); }

bool ConsoleScreen::Setup(int16_t& width, int16_t& height) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!isConsole_ || !GetConsoleScreenBufferInfo(H(output_), &info)) return false;
  savedWidth_ = info.dwSize.X;
  savedHeight_ = info.dwSize.Y;
  CONSOLE_CURSOR_INFO cursor;
  if (GetConsoleCursorInfo(H(output_), &cursor)) {
    savedCursorSize_ = cursor.dwSize;
    savedCursorVisible_ = cursor.bVisible;
  }
  changed_ = true;
  COORD window = {static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1),
                  static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1)};
  SetConsoleScreenBufferSize(H(output_), window);
  if (!GetConsoleScreenBufferInfo(H(output_), &info)) return false;
  cursor.dwSize = savedCursorSize_ ? savedCursorSize_ : 25;
  cursor.bVisible = FALSE;
  SetConsoleCursorInfo(H(output_), &cursor);
  width = info.dwSize.X;
  height = height_ = info.dwSize.Y;
  return true;
}

bool ConsoleScreen::Write(const ConsoleCell* cells, int16_t width, int16_t height, const ConsoleRect& rect) {
  std::vector<CHAR_INFO> buffer(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (size_t i = 0; i < buffer.size(); ++i) {
    buffer[i].Char.AsciiChar = static_cast<CHAR>(cells[i].Char);
    buffer[i].Attributes = cells[i].Attr;
  }
  SMALL_RECT region = {rect.Left, rect.Top, rect.Right, rect.Bottom};
  return WriteConsoleOutputA(H(output_), buffer.data(), COORD{width, height}, COORD{rect.Left, rect.Top}, &region);
}

bool ConsoleScreen::KeyPressed() {
  DWORD pending = 0;
  if (!isConsole_ || !GetNumberOfConsoleInputEvents(H(input_), &pending) || pending == 0) return false;
  std::vector<INPUT_RECORD> events(pending);
  DWORD read = 0;
  if (!ReadConsoleInputA(H(input_), events.data(), pending, &read)) return false;
  for (DWORD i = 0; i < read; ++i)
    if (events[i].EventType == KEY_EVENT && events[i].Event.KeyEvent.bKeyDown) return true;
  return false;
}

void ConsoleScreen::Restore() {
  if (!changed_) return;
  changed_ = false;
  SetConsoleScreenBufferSize(H(output_), COORD{savedWidth_, savedHeight_});
  CONSOLE_CURSOR_INFO cursor = {savedCursorSize_ ? savedCursorSize_ : 25, savedCursorVisible_};
  SetConsoleCursorInfo(H(output_), &cursor);
  SetConsoleCursorPosition(H(output_), COORD{0, static_cast<SHORT>(height_ > 0 ? height_ - 1 : 0)});
}

void ConsoleScreen::SetTitle(const std::string& title) { SetConsoleTitleA(title.c_str()); }

void WriteErrorLine(const std::u16string& text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(error, &mode)) {
    std::fflush(stderr);
    const std::u16string line = text + u"\n";
    WriteConsoleW(error, reinterpret_cast<const wchar_t*>(line.c_str()), static_cast<DWORD>(line.size()), &written,
                  nullptr);
    return;
  }
  std::string narrow;
  if (!WideToAnsiExact(text, narrow)) {
    auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    narrow.assign(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr)),
                  '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, narrow.data(), static_cast<int>(narrow.size()), nullptr, nullptr);
  }
  WriteErrorLine(narrow);
}

std::string SystemErrorText() {
  char text[512] = {0};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, text,
                 sizeof text, nullptr);
  return text;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace platform
