// The GUI program's frame on the Win32 API: start-up of the control
// libraries, the message loop, message boxes, timers and pop-up menus.
// Windows only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gui {

// Loads the common controls and the rich edit library and initialises COM
// for the shell on this thread. Call once before creating windows.
void InitApplication();
// Runs the message loop until the main window has closed.
void RunMessageLoop();
// Handles every message waiting now, then returns.
void ProcessMessages();
// Asks the message loop to end.
void TerminateApplication();
// The title shown for the program (taskbar, message boxes without caption).
void SetApplicationTitle(const std::u16string& title);

// Message box buttons and icons, and the answers, with the system's values.
enum : unsigned {
  kMbOk = 0x0,
  kMbYesNo = 0x4,
  kMbOkCancel = 0x1,
  kMbRetryCancel = 0x5,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdRetry = 4, kIdYes = 6, kIdNo = 7 };

// Message boxes without an owner window: 8-bit text in the system code page,
// or Unicode text.
int MessageBoxAnsi(const std::string& text, const std::string& caption, unsigned flags);
int MessageBoxWide(const std::u16string& text, const std::u16string& caption, unsigned flags);

// A repeating timer on the GUI thread; disabled until enabled.
class Timer {
 public:
  explicit Timer(unsigned intervalMs) : interval_(intervalMs) {}
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  void SetEnabled(bool enabled);
  bool Enabled() const { return id_ != 0; }
  void SetInterval(unsigned intervalMs);

  std::function<void()> OnTimer;

 private:
  unsigned interval_;
  uintptr_t id_ = 0;
};

struct MenuItem {
  std::u16string Caption;
  int Tag = 0;
  bool Checked = false;
};

// Shows a pop-up menu at a screen position over the given window and waits
// for the choice: the index of the chosen item, or -1.
int PopupMenu(void* ownerWindow, const std::vector<MenuItem>& items, int screenX, int screenY);

}  // namespace gui
