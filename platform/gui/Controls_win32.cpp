#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "platform/gui/ControlWindows_win32.h"

namespace gui {

namespace {

// Pixels per inch of the screen, asked once: fonts are made for every text
// drawn and measured.
int ScreenPixelsPerInch() {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    int value = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return value;
  }();
  return dpi;
}

std::mutex LiveControlsLock;
std::unordered_map<HWND, WinControl*>& LiveControls() {
  static std::unordered_map<HWND, WinControl*> controls;
  return controls;
}

}  // namespace

HFONT CreateFontFor(const Font& font) {
  int height = -MulDiv(font.Size, ScreenPixelsPerInch(), 72);
  return CreateFontA(height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     font.Name.c_str());
}

void AddControlOf(HWND hwnd, WinControl* control) {
  std::lock_guard<std::mutex> hold(LiveControlsLock);
  LiveControls()[hwnd] = control;
}

void RemoveControlOf(HWND hwnd, const WinControl* control) {
  std::lock_guard<std::mutex> hold(LiveControlsLock);
  auto at = LiveControls().find(hwnd);
  if (at != LiveControls().end() && at->second == control) LiveControls().erase(at);
}

WinControl* ControlOf(HWND hwnd) {
  if (!hwnd) return nullptr;
  std::lock_guard<std::mutex> hold(LiveControlsLock);
  auto at = LiveControls().find(hwnd);
  return at == LiveControls().end() ? nullptr : at->second;
}

Window* RootWindowOf(HWND hwnd) {
  return hwnd ? dynamic_cast<Window*>(ControlOf(GetAncestor(hwnd, GA_ROOT))) : nullptr;
}

// ---------------------------------------------------------------- control

Control::Control(Container* parent) : parent_(parent) {
  if (parent_) {
    font_ = parent_->GetFont();
    parent_->Add(this);
  }
}

Control::~Control() {
  if (parent_) parent_->Remove(this);
}

void Control::SetBounds(int left, int top, int width, int height) {
  bounds_ = Rect{left, top, left + width, top + height};
}
void Control::SetVisible(bool visible) { visible_ = visible; }
void Control::SetEnabled(bool enabled) { enabled_ = enabled; }
void Control::SetFont(const Font& font) { font_ = font; }
void Control::SetColor(TColor color) { color_ = color; }

// ---------------------------------------------------------------- windowless

GraphicControl::GraphicControl(Container* parent) : Control(parent) {
  if (parent_) parent_->AddGraphic(this);
}

GraphicControl::~GraphicControl() {
  if (parent_) Invalidate();
}

void GraphicControl::SetBounds(int left, int top, int width, int height) {
  Rect old = bounds_;
  Control::SetBounds(left, top, width, height);
  if (old == bounds_) return;
  InvalidateArea(old);
  Invalidate();
}

void GraphicControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = true;  // so that the area is invalidated either way
  Invalidate();
  visible_ = visible;
}

void GraphicControl::SetFont(const Font& font) {
  if (font == font_) return;
  Control::SetFont(font);
  Invalidate();
}

void GraphicControl::SetColor(TColor color) {
  if (color == color_) return;
  Control::SetColor(color);
  Invalidate();
}

void GraphicControl::BringToFront() {
  if (!parent_) return;
  auto& list = parent_->Graphics();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.push_back(this);
  Invalidate();
}

void GraphicControl::SendToBack() {
  if (!parent_) return;
  auto& list = parent_->Graphics();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.insert(list.begin(), this);
  Invalidate();
}

void GraphicControl::Invalidate() { InvalidateArea(bounds_); }

// A window that is not shown is painted whole when it is: a layout of
// thousands of controls, built before its window shows, asks the system
// nothing.
void GraphicControl::InvalidateArea(const Rect& area) {
  if (!parent_ || !parent_->Handle() || !visible_ || !IsWindowVisible(H(parent_->Handle()))) return;
  RECT rc{area.Left, area.Top, area.Right, area.Bottom};
  InvalidateRect(H(parent_->Handle()), &rc, FALSE);
}

void GraphicControl::Repaint() {
  Invalidate();
  if (parent_ && parent_->Handle()) UpdateWindow(H(parent_->Handle()));
}

// ---------------------------------------------------------------- windowed

WinControl::~WinControl() {
  if (handle_) {
    RemoveControlOf(H(handle_), this);
    DestroyWindow(H(handle_));
  }
  if (fontHandle_) DeleteObject(fontHandle_);
  if (brush_) DeleteObject(brush_);
}

void WinControl::CreateHandle(const char16_t* className, unsigned long style, unsigned long exStyle) {
  HWND parent = parent_ ? H(parent_->Handle()) : nullptr;
  if (parent) style |= WS_CHILD | WS_CLIPSIBLINGS;
  if (visible_) style |= WS_VISIBLE;
  // Each child has an id of its own, as in a dialog: the keyboard's default
  // button is found by it. The ids stay clear of IDOK and IDCANCEL, which
  // the dialog keys send when a window has no such button.
  static uint16_t nextId = 1000;
  HMENU id = parent ? reinterpret_cast<HMENU>(static_cast<uintptr_t>(nextId)) : nullptr;
  if (parent) nextId = nextId == 0xFFFF ? 1000 : nextId + 1;
  handle_ = CreateWindowExW(exStyle, W(className), L"", style, bounds_.Left, bounds_.Top, bounds_.Width(),
                            bounds_.Height(), parent, id, GetModuleHandleW(nullptr), static_cast<WinControl*>(this));
  if (!handle_) return;
  SetWindowLongPtrW(H(handle_), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<WinControl*>(this)));
  AddControlOf(H(handle_), this);
  ApplyFont();
}

void WinControl::Detach() {
  // The parent's window takes this one with it.
  if (handle_) RemoveControlOf(H(handle_), this);
  handle_ = nullptr;
  Control::Detach();
}

void WinControl::ApplyFont() {
  HFONT font = CreateFontFor(font_);
  SendMessageW(H(handle_), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (fontHandle_) DeleteObject(fontHandle_);
  fontHandle_ = font;
}

void WinControl::SetBounds(int left, int top, int width, int height) {
  Control::SetBounds(left, top, width, height);
  if (handle_) MoveWindow(H(handle_), left, top, width, height, TRUE);
}

void WinControl::SetVisible(bool visible) {
  Control::SetVisible(visible);
  if (!handle_) return;
  ShowWindow(H(handle_), visible ? SW_SHOWNA : SW_HIDE);
  if (Window* window = parent_ ? RootWindowOf(H(handle_)) : nullptr) window->KeepFocus();
}

void WinControl::SetEnabled(bool enabled) {
  Control::SetEnabled(enabled);
  if (!handle_) return;
  EnableWindow(H(handle_), enabled);
  if (Window* window = parent_ ? RootWindowOf(H(handle_)) : nullptr) window->KeepFocus();
}

void WinControl::SetFont(const Font& font) {
  Control::SetFont(font);
  if (handle_) ApplyFont();
}

void WinControl::SetColor(TColor color) {
  Control::SetColor(color);
  if (brush_) DeleteObject(brush_);
  brush_ = color == clNone ? nullptr : CreateSolidBrush(ColorToRGB(color));
  Invalidate();
}

void WinControl::SetTextColor(TColor color) {
  textColor_ = color;
  Invalidate();
}

intptr_t WinControl::OnCtlColor(void* dc) {
  if (textColor_ != clNone) ::SetTextColor(D(dc), ColorToRGB(textColor_));
  if (!brush_) return 0;
  SetBkColor(D(dc), ColorToRGB(color_));
  return reinterpret_cast<intptr_t>(brush_);
}

void WinControl::SetBorder(bool on) {
  if (!handle_) return;
  LONG_PTR ex = GetWindowLongPtrW(H(handle_), GWL_EXSTYLE);
  ex = on ? (ex | WS_EX_CLIENTEDGE) : (ex & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE));
  SetWindowLongPtrW(H(handle_), GWL_EXSTYLE, ex);
  SetWindowPos(H(handle_), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void WinControl::BringToFront() {
  if (handle_) SetWindowPos(H(handle_), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void WinControl::SendToBack() {
  if (handle_) SetWindowPos(H(handle_), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void WinControl::Invalidate() {
  if (handle_) InvalidateRect(H(handle_), nullptr, TRUE);
}

void WinControl::Repaint() {
  if (handle_) RedrawWindow(H(handle_), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void WinControl::SetFocus() {
  if (handle_) ::SetFocus(H(handle_));
}

void WinControl::SetText(const std::u16string& text) {
  if (handle_) SetWindowTextW(H(handle_), W(text));
}

std::u16string WinControl::Text() const {
  if (!handle_) return {};
  int length = GetWindowTextLengthW(H(handle_));
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  int got = GetWindowTextW(H(handle_), reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

}  // namespace gui
