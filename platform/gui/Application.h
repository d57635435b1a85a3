// The GUI program's frame on the Win32 API: start-up of the control
// libraries, the message loop, message boxes, timers and pop-up menus.
// Windows only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

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
// The program's title, for windows that show it (the start-up window).
void SetApplicationTitle(const std::u16string& title);
const std::u16string& ApplicationTitle();

// Message boxes without an owner window (platform/MessageBox.h), under the
// names the windows use.
using platform::kIdCancel;
using platform::kIdNo;
using platform::kIdOk;
using platform::kIdRetry;
using platform::kIdYes;
using platform::kMbIconError;
using platform::kMbIconInformation;
using platform::kMbIconQuestion;
using platform::kMbIconWarning;
using platform::kMbOk;
using platform::kMbOkCancel;
using platform::kMbRetryCancel;
using platform::kMbYesNo;
inline int MessageBoxAnsi(const std::string& text, const std::string& caption, unsigned flags) {
  return platform::ShowMessageBox(text, caption, flags);
}
inline int MessageBoxWide(const std::u16string& text, const std::u16string& caption, unsigned flags) {
  return platform::ShowMessageBoxW(text, caption, flags);
}

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
