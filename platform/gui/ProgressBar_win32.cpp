#include "platform/gui/ProgressBar.h"

#include <windows.h>
// (the control headers build on windows.h)
#include <commctrl.h>

namespace gui {

ProgressBar::ProgressBar(Container* parent) : WinControl(parent) {
  CreateHandle(reinterpret_cast<const char16_t*>(PROGRESS_CLASSW), PBS_SMOOTH, 0);
}

void ProgressBar::SetRange(int minimum, int maximum) {
  SendMessageW(static_cast<HWND>(handle_), PBM_SETRANGE32, minimum, maximum);
}

void ProgressBar::SetPosition(int position) { SendMessageW(static_cast<HWND>(handle_), PBM_SETPOS, position, 0); }

int ProgressBar::Position() const {
  return static_cast<int>(SendMessageW(static_cast<HWND>(handle_), PBM_GETPOS, 0, 0));
}

}  // namespace gui
