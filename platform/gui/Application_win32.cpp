#include <windows.h>
// (the shell and control headers build on windows.h)
#include <commctrl.h>
#include <objbase.h>

#include <map>

#include "platform/Libraries_win32.h"
#include "platform/gui/Application.h"
#include "platform/gui/CommonControlsLibrary_win32.h"
#include "platform/gui/ControlWindows_win32.h"

namespace gui {

namespace {

// Timer ids of the system, to the timers they belong to (GUI thread only).
std::map<uintptr_t, Timer*>& Timers() {
  static std::map<uintptr_t, Timer*> timers;
  return timers;
}

std::function<void(std::exception_ptr)>& ExceptionHandler() {
  static std::function<void(std::exception_ptr)> handler;
  return handler;
}

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  try {
    auto found = Timers().find(id);
    if (found != Timers().end() && found->second->OnTimer) found->second->OnTimer();
  } catch (...) {
    HandleException(std::current_exception());
  }
}

}  // namespace

void SetExceptionHandler(std::function<void(std::exception_ptr)> handler) { ExceptionHandler() = std::move(handler); }

void HandleException(std::exception_ptr error) {
  if (ExceptionHandler()) return ExceptionHandler()(error);
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    platform::ShowMessageBox(e.what(), "Error", platform::kMbOk | platform::kMbIconError);
  } catch (...) {
    platform::ShowMessageBox("Unknown Error", "Error", platform::kMbOk | platform::kMbIconError);
  }
}

void InitApplication() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  if (CommonControls().InitCommonControlsEx) CommonControls().InitCommonControlsEx(&controls);
  platform::LoadSystemLibrary(L"riched20.dll");  // the rich edit's window class
  CoInitialize(nullptr);
}

void RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageOfQueue(&msg);
}

void ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // keep it for the loop
      return;
    }
    DispatchMessageOfQueue(&msg);
  }
}

void TerminateApplication() { PostQuitMessage(0); }

namespace {
std::u16string& Title() {
  static std::u16string title;
  return title;
}
}  // namespace

void SetApplicationTitle(const std::u16string& title) { Title() = title; }
const std::u16string& ApplicationTitle() { return Title(); }

Timer::~Timer() { SetEnabled(false); }

void Timer::SetEnabled(bool enabled) {
  if (enabled == Enabled()) return;
  if (enabled) {
    id_ = SetTimer(nullptr, 0, interval_, TimerProc);
    if (id_) Timers()[id_] = this;
  } else {
    KillTimer(nullptr, id_);
    Timers().erase(id_);
    id_ = 0;
  }
}

void Timer::SetInterval(unsigned intervalMs) {
  interval_ = intervalMs;
  if (Enabled()) {
    SetEnabled(false);
    SetEnabled(true);
  }
}

int PopupMenu(void* ownerWindow, const std::vector<MenuItem>& items, int screenX, int screenY) {
  HMENU menu = CreatePopupMenu();
  for (size_t i = 0; i < items.size(); ++i)
    AppendMenuW(menu, MF_STRING | (items[i].Checked ? MF_CHECKED : 0), i + 1, W(items[i].Caption));
  int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, screenX, screenY, 0,
                              static_cast<HWND>(ownerWindow), nullptr);
  DestroyMenu(menu);
  return chosen - 1;
}

}  // namespace gui
