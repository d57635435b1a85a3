// The console services' check for a console. (Wine's console without a
// display answers no screen-buffer calls, so drawing is tested through the
// portable grid and the program's plain mode.)
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Console.h"

TEST(ConsoleServices, RedirectedOutputIsNoConsole) {
  HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE file = CreateFileA("redirected.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  SetStdHandle(STD_OUTPUT_HANDLE, file);
  {
    platform::ConsoleScreen screen;
    EXPECT_FALSE(screen.IsConsole());
    int16_t w, h;
    EXPECT_FALSE(screen.Setup(w, h));
    EXPECT_FALSE(screen.KeyPressed());
    screen.Restore();  // nothing was changed, nothing to undo
  }
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  CloseHandle(file);
  DeleteFileA("redirected.txt");
}
