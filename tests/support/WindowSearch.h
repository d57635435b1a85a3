// Finding windows the way a user's eye does, for tests that drive windows
// from outside (Windows builds only): a top-level window by process, class
// and title, a child by its control id or class, and a window's text.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace testing_support {

namespace window_search {

struct Search {
  DWORD process = 0;
  const wchar_t* className = nullptr;
  const wchar_t* title = nullptr;
  int id = 0;
  HWND found = nullptr;
};

inline bool HasClass(HWND hwnd, const wchar_t* className) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return !className || lstrcmpiW(name, className) == 0;
}

inline BOOL CALLBACK TopLevel(HWND hwnd, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  wchar_t text[256] = {};
  GetWindowTextW(hwnd, text, 256);
  if (owner != s->process || !IsWindowVisible(hwnd) || lstrcmpW(text, s->title) != 0 || !HasClass(hwnd, s->className))
    return TRUE;
  s->found = hwnd;
  return FALSE;
}

inline BOOL CALLBACK ChildById(HWND hwnd, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  if (GetWindowLongPtrW(hwnd, GWLP_ID) != s->id) return TRUE;
  s->found = hwnd;
  return FALSE;
}

inline BOOL CALLBACK ChildByClass(HWND hwnd, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  if (!HasClass(hwnd, s->className)) return TRUE;
  s->found = hwnd;
  return FALSE;
}

inline BOOL CALLBACK ShownChildByClass(HWND hwnd, LPARAM p) {
  return IsWindowVisible(hwnd) ? ChildByClass(hwnd, p) : TRUE;
}

}  // namespace window_search

// A visible top-level window of the process with that title (and class,
// unless null).
inline HWND FindProcessWindow(DWORD process, const wchar_t* className, const wchar_t* title) {
  window_search::Search s{process, className, title, 0, nullptr};
  EnumWindows(window_search::TopLevel, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The first window below `top`, at any depth, with that control id or class.
inline HWND FindChildById(HWND top, int id) {
  window_search::Search s{0, nullptr, nullptr, id, nullptr};
  EnumChildWindows(top, window_search::ChildById, reinterpret_cast<LPARAM>(&s));
  return s.found;
}
inline HWND FindChildByClass(HWND top, const wchar_t* className) {
  window_search::Search s{0, className, nullptr, 0, nullptr};
  EnumChildWindows(top, window_search::ChildByClass, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The first shown window below `top` with that class.
inline HWND FindShownChildByClass(HWND top, const wchar_t* className) {
  window_search::Search s{0, className, nullptr, 0, nullptr};
  EnumChildWindows(top, window_search::ShownChildByClass, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The window's text, also across processes.
inline std::string WindowText(HWND hwnd) {
  // Whole, however long: a build log of thousands of files ends past any
  // fixed buffer.
  std::string text(static_cast<size_t>(std::max<LRESULT>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0), 0)) + 1, '\0');
  LRESULT n = SendMessageA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return text;
}

}  // namespace testing_support
