#include "platform/gui/ControlWindows_win32.h"

namespace gui {

namespace {

// A control inside root that the user can work with the keyboard: shown and
// enabled, and no mere holder of other controls.
bool CanTakeFocus(HWND root, HWND hwnd) {
  return hwnd && IsChild(root, hwnd) && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
         !dynamic_cast<Container*>(ControlOf(hwnd));
}

// Focuses a control as Tab does: an edit's text is selected whole.
void FocusAsTabDoes(HWND hwnd) {
  SetFocus(hwnd);
  if (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(hwnd, EM_SETSEL, 0, -1);
}

// A push button of ours (no radio button or check box).
bool IsPushButton(HWND hwnd) {
  LONG_PTR type = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
  return dynamic_cast<Button*>(ControlOf(hwnd)) && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

// For each child window: a push button of ours is drawn as the default one
// when it is `shown`, as an ordinary one otherwise.
BOOL CALLBACK DrawAsDefaultOrNot(HWND hwnd, LPARAM shown) {
  if (!IsPushButton(hwnd)) return TRUE;
  LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  LONG_PTR type = hwnd == reinterpret_cast<HWND>(shown) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  if ((style & BS_TYPEMASK) != type) SendMessageW(hwnd, BM_SETSTYLE, (style & ~BS_TYPEMASK & 0xFFFF) | type, TRUE);
  return TRUE;
}

// Presses the button of that window handle, if it is one of ours.
void Press(void* button) {
  if (auto* b = dynamic_cast<Button*>(ControlOf(H(button)))) b->Click();
}

}  // namespace

void DispatchMessageOfQueue(void* message) {
  auto* msg = static_cast<MSG*>(message);
  Window* window = RootWindowOf(msg->hwnd);
  const bool key = msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
  if (!window || !key || !IsDialogMessageW(H(window->Handle()), msg)) {
    TranslateMessage(msg);
    DispatchMessageW(msg);
  }
  // The key or click may have moved the focus, or closed the window.
  if ((window = RootWindowOf(msg->hwnd))) window->ShowDefaultButton();
}

Window::Window(const std::u16string& caption, int clientWidth, int clientHeight, WindowKind kind) : Container(nullptr) {
  DWORD style =
      kind == WindowKind::Tool ? WS_CAPTION | WS_POPUP : WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_OVERLAPPED;
  DWORD exStyle = kind == WindowKind::Tool ? WS_EX_TOOLWINDOW : 0;
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  bounds_ = Rect{(GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0};
  bounds_.Right = bounds_.Left + width;
  bounds_.Bottom = bounds_.Top + height;
  visible_ = false;
  CreateContainer(style, exStyle, caption);
  if (!g_mainWindow) g_mainWindow = H(handle_);
}

Window::~Window() = default;

void Window::Show() {
  visible_ = true;
  ShowWindow(H(handle_), SW_SHOW);
  UpdateWindow(H(handle_));
  KeepFocus();
}

void Window::SetDefaultButton(Button* button) {
  if ((button ? button->Handle() : nullptr) == defaultButton_) return;
  defaultButton_ = button ? button->Handle() : nullptr;
  shownFocus_ = nullptr;
  KeepFocus();
  ShowDefaultButton();
}

void Window::ShowDefaultButton() {
  HWND root = H(handle_);
  if (!root || !defaultButton_) return;
  HWND focus = GetFocus();
  if (focus == shownFocus_) return;  // a window may hold thousands of controls
  shownFocus_ = focus;
  HWND shown = focus && IsChild(root, focus) && IsPushButton(focus) ? focus : H(defaultButton_);
  EnumChildWindows(root, DrawAsDefaultOrNot, reinterpret_cast<LPARAM>(shown));
}

void Window::SetCancelButton(Button* button) { cancelButton_ = button ? button->Handle() : nullptr; }

void Window::KeepFocus() {
  HWND root = H(handle_);
  if (!root || GetActiveWindow() != root) return;
  HWND focus = GetFocus();
  if (CanTakeFocus(root, focus)) return;
  HWND target = H(defaultButton_);
  if (!CanTakeFocus(root, target)) target = GetNextDlgTabItem(root, nullptr, FALSE);
  if (CanTakeFocus(root, target))
    ::SetFocus(target);
  else if (focus != root)
    ::SetFocus(root);  // the keys still reach the window's buttons
}

intptr_t Window::HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = H(handle_);
  switch (message) {
    case DM_GETDEFID:
      if (HWND button = H(defaultButton_); button && IsChild(hwnd, button))
        return MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID);
      return 0;
    case WM_NEXTDLGCTL: {
      HWND focus = GetFocus();
      HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                   : GetNextDlgTabItem(hwnd, IsChild(hwnd, focus) ? focus : nullptr, wParam != 0);
      if (CanTakeFocus(hwnd, target)) FocusAsTabDoes(target);
      return 0;
    }
    case WM_COMMAND:
      // Enter or Esc where no control of that id answers.
      if (lParam == 0 && HIWORD(wParam) == 0 && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        Press(LOWORD(wParam) == IDOK ? defaultButton_ : cancelButton_);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      // As a dialog does: the focus leaves with the window and comes back
      // to the same control (not to the window itself, as it would by
      // default).
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        lastFocus_ = CanTakeFocus(hwnd, focus) ? focus : nullptr;
      } else if (!HIWORD(wParam)) {
        if (CanTakeFocus(hwnd, H(lastFocus_)))
          ::SetFocus(H(lastFocus_));
        else
          KeepFocus();
      }
      return 0;
  }
  return Container::HandleMessage(message, wParam, lParam);
}

void Window::Close() {
  if (handle_) SendMessageW(H(handle_), WM_CLOSE, 0, 0);
}

bool Window::OnClose() {
  if (OnCloseQuery && !OnCloseQuery()) return false;
  if (OnClosed) OnClosed();
  return true;
}

}  // namespace gui
