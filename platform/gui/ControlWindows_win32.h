// What the Win32 files of the controls share (Controls.h and the headers
// beside it are made of them): our handles as the system's, fonts, the
// table of our control windows and the main window. Windows only, and for
// platform/gui alone.
#pragma once

#include <windows.h>

#include <string>

#include "platform/gui/Controls.h"

namespace gui {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Unicode text is UTF-16 on Windows");

inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline HWND H(void* h) { return static_cast<HWND>(h); }
inline HDC D(void* h) { return static_cast<HDC>(h); }

// A GDI font of the font at the screen's resolution; the caller deletes it.
HFONT CreateFontFor(const Font& font);

// Selects a GDI object for one drawing call and puts the old one back.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object, bool own) : dc_(dc), object_(object), own_(own), old_(SelectObject(dc, object)) {}
  ~Selected() {
    SelectObject(dc_, old_);
    if (own_) DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  bool own_;
  HGDIOBJ old_;
};

// A 32-bit top-down device-independent bitmap of that size, as Bitmap lays
// out its pixels.
BITMAPINFO TopDownInfo(int width, int height);

// The windows of our controls. The message loops ask for the control of
// every window that gets a message, windows of the system's own among them
// (message boxes, an input method's), whose user data is not ours to read
// as a pointer.
void AddControlOf(HWND hwnd, WinControl* control);
// Only its own entry: a child window goes with its parent's, and its handle
// may name a newer window by the time the control itself is deleted.
void RemoveControlOf(HWND hwnd, const WinControl* control);
// The control of a window, or null when it is none of ours.
WinControl* ControlOf(HWND hwnd);
// The window of ours that a window belongs to, or null.
Window* RootWindowOf(HWND hwnd);

// The first Window created: its end ends the message loop.
extern HWND g_mainWindow;

}  // namespace gui
