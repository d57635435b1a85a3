#include <windows.h>
// (the shell and control headers build on windows.h)
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "platform/Text.h"
#include "platform/gui/Application.h"
#include "platform/gui/Controls.h"

namespace gui {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Unicode text is UTF-16 on Windows");

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
HWND H(void* h) { return static_cast<HWND>(h); }
HDC D(void* h) { return static_cast<HDC>(h); }

const wchar_t kContainerClass[] = L"ModkitContainer";

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

HFONT CreateFontFor(const Font& font) {
  int height = -MulDiv(font.Size, ScreenPixelsPerInch(), 72);
  return CreateFontA(height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     font.Name.c_str());
}

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

BITMAPINFO TopDownInfo(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<WinControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || self->Handle() != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
  // The handlers of the program's controls run from here; what they raise
  // must not unwind through the system's dispatch.
  try {
    return static_cast<Container*>(self)->HandleMessage(message, wParam, lParam);
  } catch (...) {
    HandleException(std::current_exception());
    return 0;
  }
}

void RegisterContainerClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = ContainerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
  wc.lpszClassName = kContainerClass;
  RegisterClassExW(&wc);
  done = true;
}

// The windows of our controls. The message loops ask for the control of
// every window that gets a message, windows of the system's own among them
// (message boxes, an input method's), whose user data is not ours to read
// as a pointer.
std::mutex LiveControlsLock;
std::unordered_map<HWND, WinControl*>& LiveControls() {
  static std::unordered_map<HWND, WinControl*> controls;
  return controls;
}

void AddControlOf(HWND hwnd, WinControl* control) {
  std::lock_guard<std::mutex> hold(LiveControlsLock);
  LiveControls()[hwnd] = control;
}

// Only its own entry: a child window goes with its parent's, and its handle
// may name a newer window by the time the control itself is deleted.
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

HWND g_mainWindow = nullptr;

// The window of ours that a window belongs to, or null.
Window* RootWindowOf(HWND hwnd) {
  return hwnd ? dynamic_cast<Window*>(ControlOf(GetAncestor(hwnd, GA_ROOT))) : nullptr;
}

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

// ---------------------------------------------------------------- canvas

void DcCanvas::MoveTo(int x, int y) { MoveToEx(D(dc_), x, y, nullptr); }

void DcCanvas::LineTo(int x, int y) {
  if (pen.Style == PenStyle::Clear) {
    MoveToEx(D(dc_), x, y, nullptr);
    return;
  }
  Selected p(D(dc_), CreatePen(PS_SOLID, pen.Width, ColorToRGB(pen.Color)), true);
  ::LineTo(D(dc_), x, y);
}

void DcCanvas::Rectangle(const Rect& r) {
  HGDIOBJ penObject =
      pen.Style == PenStyle::Clear ? GetStockObject(NULL_PEN) : CreatePen(PS_SOLID, pen.Width, ColorToRGB(pen.Color));
  HGDIOBJ brushObject =
      brush.Style == BrushStyle::Clear ? GetStockObject(NULL_BRUSH) : CreateSolidBrush(ColorToRGB(brush.Color));
  Selected p(D(dc_), penObject, pen.Style != PenStyle::Clear);
  Selected b(D(dc_), brushObject, brush.Style != BrushStyle::Clear);
  ::Rectangle(D(dc_), r.Left, r.Top, r.Right, r.Bottom);
}

void DcCanvas::FillRect(const Rect& r) {
  RECT rc{r.Left, r.Top, r.Right, r.Bottom};
  HBRUSH b = CreateSolidBrush(ColorToRGB(brush.Color));
  ::FillRect(D(dc_), &rc, b);
  DeleteObject(b);
}

void DcCanvas::StretchDraw(const Rect& r, const Bitmap& picture) {
  if (picture.Empty()) return;
  BITMAPINFO info = TopDownInfo(picture.Width(), picture.Height());
  SetStretchBltMode(D(dc_), COLORONCOLOR);
  StretchDIBits(D(dc_), r.Left, r.Top, r.Width(), r.Height(), 0, 0, picture.Width(), picture.Height(), picture.Bits(),
                &info, DIB_RGB_COLORS, SRCCOPY);
}

void DcCanvas::TextRect(const std::string& text, const Rect& r, unsigned format) {
  UINT flags = DT_NOPREFIX;
  if (format & kTextSingleLine) flags |= DT_SINGLELINE;
  if (format & kTextCenter) flags |= DT_CENTER;
  if (format & kTextVCenter) flags |= DT_VCENTER;
  RECT rc{r.Left, r.Top, r.Right, r.Bottom};
  Selected f(D(dc_), CreateFontFor(font), true);
  int oldMode = SetBkMode(D(dc_), TRANSPARENT);
  COLORREF oldColor = ::SetTextColor(D(dc_), ColorToRGB(font.Color));
  ::DrawTextA(D(dc_), text.c_str(), static_cast<int>(text.size()), &rc, flags);
  ::SetTextColor(D(dc_), oldColor);
  SetBkMode(D(dc_), oldMode);
}

void DcCanvas::TextRectW(const std::u16string& text, Rect& r, unsigned format) {
  RECT rc{r.Left, r.Top, r.Right, r.Bottom};
  Selected f(D(dc_), CreateFontFor(font), true);
  int oldMode = SetBkMode(D(dc_), TRANSPARENT);
  COLORREF oldColor = ::SetTextColor(D(dc_), ColorToRGB(font.Color));
  ::DrawTextW(D(dc_), W(text), static_cast<int>(text.size()), &rc, format);
  ::SetTextColor(D(dc_), oldColor);
  SetBkMode(D(dc_), oldMode);
  r = Rect{rc.left, rc.top, rc.right, rc.bottom};
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

// ---------------------------------------------------------------- container

Container::~Container() {
  for (Control* child : children_) child->Detach();
  if (handle_) {
    // Destroyed here, while this is still a container: its window
    // procedure must not reach a half-destroyed object.
    SetWindowLongPtrW(H(handle_), GWLP_USERDATA, 0);
    RemoveControlOf(H(handle_), this);
    if (H(handle_) == g_mainWindow) g_mainWindow = nullptr;
    DestroyWindow(H(handle_));
    handle_ = nullptr;
  }
}

void Container::Add(Control* child) { children_.push_back(child); }

void Container::AddGraphic(GraphicControl* child) { graphics_.push_back(child); }

void Container::Remove(Control* child) {
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
  graphics_.erase(std::remove(graphics_.begin(), graphics_.end(), child), graphics_.end());
}

void Container::CreateContainer(unsigned long style, unsigned long exStyle, const std::u16string& caption) {
  RegisterContainerClass();
  // Tab goes on into the controls of a panel.
  if (parent_) exStyle |= WS_EX_CONTROLPARENT;
  CreateHandle(reinterpret_cast<const char16_t*>(kContainerClass), style | WS_CLIPCHILDREN, exStyle);
  SetText(caption);
}

void Container::SetColor(TColor color) {
  Control::SetColor(color);
  if (brush_) DeleteObject(brush_);
  brush_ = color == clNone ? nullptr : CreateSolidBrush(ColorToRGB(color));
  if (handle_) InvalidateRect(H(handle_), nullptr, FALSE);
}

void Container::PaintBackground(DcCanvas& canvas, const Rect& client) {
  canvas.brush.Color = color_ == clNone ? clBtnFace : color_;
  canvas.FillRect(client);
}

void Container::PaintAll() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(H(handle_), &ps);
  RECT client;
  GetClientRect(H(handle_), &client);
  int width = std::max<int>(client.right, 1), height = std::max<int>(client.bottom, 1);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP surface = CreateCompatibleBitmap(dc, width, height);
  HGDIOBJ old = SelectObject(memory, surface);
  DcCanvas canvas(memory);
  PaintBackground(canvas, Rect{0, 0, width, height});
  for (GraphicControl* graphic : graphics_) {
    if (!graphic->Visible()) continue;
    const Rect& b = graphic->Bounds();
    RECT area{b.Left, b.Top, b.Right, b.Bottom}, hit;
    if (!IntersectRect(&hit, &area, &ps.rcPaint)) continue;
    int saved = SaveDC(memory);
    IntersectClipRect(memory, b.Left, b.Top, b.Right, b.Bottom);
    SetViewportOrgEx(memory, b.Left, b.Top, nullptr);
    DcCanvas controlCanvas(memory);
    controlCanvas.font = graphic->GetFont();
    graphic->Paint(controlCanvas);
    RestoreDC(memory, saved);
  }
  BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left, ps.rcPaint.bottom - ps.rcPaint.top,
         memory, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(surface);
  DeleteDC(memory);
  EndPaint(H(handle_), &ps);
}

intptr_t Container::HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = H(handle_);
  switch (message) {
    case WM_COMMAND:
      if (lParam == 0 && HIWORD(wParam) == 0) OnMenuCommand(LOWORD(wParam));
      if (WinControl* child = ControlOf(reinterpret_cast<HWND>(lParam))) child->OnCommand(HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      intptr_t result = 0;
      if (WinControl* child = ControlOf(header->hwndFrom)) child->OnNotify(header, result);
      return result;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (WinControl* child = ControlOf(reinterpret_cast<HWND>(lParam))) {
        if (intptr_t brush = child->OnCtlColor(reinterpret_cast<HDC>(wParam))) return brush;
      }
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      PaintAll();
      return 0;
    case WM_NEXTDLGCTL:
    case DM_GETDEFID:
      // A multi-line or rich edit asks its parent for the dialog's next
      // control and default button; the window answers.
      if (parent_) return SendMessageW(GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
      break;
    case WM_CLOSE:
      // A panel is closed by a multi-line or rich edit's Esc, as a dialog
      // would be: for the window, that is its cancel button.
      if (parent_) {
        SendMessageW(GetAncestor(hwnd, GA_ROOT), WM_COMMAND, IDCANCEL, 0);
        return 0;
      }
      if (OnClose()) DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      if (hwnd == g_mainWindow) {
        g_mainWindow = nullptr;
        PostQuitMessage(0);
      }
      break;
    case WM_NCDESTROY:
      // The children's windows went with this one.
      for (Control* child : children_) child->Detach();
      children_.clear();
      graphics_.clear();
      RemoveControlOf(hwnd, this);
      handle_ = nullptr;
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------------- panel

Panel::Panel(Container* parent) : Container(parent) {
  color_ = clBtnFace;
  CreateContainer(0, 0, u"");
}

void Panel::SetCaption(const std::string& caption) {
  caption_ = caption;
  Invalidate();
}

void Panel::SetBevel(BevelKind bevel) {
  bevel_ = bevel;
  Invalidate();
}

void Panel::PaintBackground(DcCanvas& canvas, const Rect& client) {
  Container::PaintBackground(canvas, client);
  if (bevel_ != BevelKind::None) {
    RECT rc{client.Left, client.Top, client.Right, client.Bottom};
    DrawEdge(D(canvas.Dc()), &rc, bevel_ == BevelKind::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
  }
  if (!caption_.empty()) {
    canvas.font = font_;
    canvas.TextRect(caption_, client, kTextSingleLine | kTextCenter | kTextVCenter);
  }
}

// ---------------------------------------------------------------- window

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

// ---------------------------------------------------------------- buttons

Button::Button(Container* parent) : WinControl(parent) { CreateHandle(u"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0); }

bool Button::OnCommand(unsigned code) {
  if (code != BN_CLICKED) return false;
  Click();
  return true;
}

void Button::Click() {
  // Keys reach buttons the mouse cannot: Enter a hidden default button, a
  // click sent to a disabled one.
  if (!visible_ || !enabled_) return;
  if (OnClick) OnClick();
}

RadioButton::RadioButton(Container* parent) : WinControl(parent) {
  CreateHandle(u"BUTTON", BS_RADIOBUTTON | WS_TABSTOP, 0);
}

bool RadioButton::Checked() const { return handle_ && SendMessageW(H(handle_), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void RadioButton::SetChecked(bool checked) {
  if (handle_) SendMessageW(H(handle_), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool RadioButton::OnCommand(unsigned code) {
  if (code != BN_CLICKED) return false;
  SetChecked(true);
  if (OnClick) OnClick();
  return true;
}

intptr_t RadioButton::OnCtlColor(void* dc) {
  SetBkMode(D(dc), TRANSPARENT);
  return WinControl::OnCtlColor(dc);
}

CheckBox::CheckBox(Container* parent) : WinControl(parent) { CreateHandle(u"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0); }

bool CheckBox::Checked() const { return handle_ && SendMessageW(H(handle_), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void CheckBox::SetChecked(bool checked) {
  if (handle_) SendMessageW(H(handle_), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CheckBox::OnCommand(unsigned code) {
  if (code != BN_CLICKED) return false;
  if (OnClick) OnClick();
  return true;
}

intptr_t CheckBox::OnCtlColor(void* dc) {
  SetBkMode(D(dc), TRANSPARENT);
  return WinControl::OnCtlColor(dc);
}

// ---------------------------------------------------------------- edits

Edit::Edit(Container* parent) : WinControl(parent) {
  color_ = clWindow;
  CreateHandle(u"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
}

bool Edit::OnCommand(unsigned code) {
  if (code != EN_CHANGE) return false;
  if (OnChange) OnChange();
  return true;
}

int Edit::FittingHeight() {
  HDC dc = GetDC(H(handle_));
  HGDIOBJ old = SelectObject(dc, fontHandle_);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(H(handle_), dc);
  bool border = GetWindowLongPtrW(H(handle_), GWL_EXSTYLE) & WS_EX_CLIENTEDGE;
  return metrics.tmHeight + (border ? GetSystemMetrics(SM_CYEDGE) * 2 + 4 : 2);
}

namespace {
// The edit controls break lines only at CR LF.
std::u16string WithCrLf(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r') {
      out += u"\r\n";
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}
}  // namespace

Memo::Memo(Container* parent) : WinControl(parent) {
  color_ = clWindow;
  CreateHandle(u"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP, WS_EX_CLIENTEDGE);
}

void Memo::SetLines(const std::u16string& text) { SetText(WithCrLf(text)); }

bool Memo::OnCommand(unsigned code) {
  if (code != EN_CHANGE) return false;
  if (OnChange) OnChange();
  return true;
}

namespace {
struct StreamSource {
  const std::string* bytes;
  size_t at;
};

DWORD CALLBACK StreamOut(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) {
  auto* s = reinterpret_cast<StreamSource*>(cookie);
  size_t n = std::min(static_cast<size_t>(std::max<LONG>(wanted, 0)), s->bytes->size() - s->at);
  std::copy_n(s->bytes->data() + s->at, n, buffer);
  s->at += n;
  *got = static_cast<LONG>(n);
  return 0;
}
}  // namespace

RichEdit::RichEdit(Container* parent) : WinControl(parent) {
  color_ = clWindow;
  CreateHandle(u"RichEdit20W",
               ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP |
                   ES_DISABLENOSCROLL,
               WS_EX_CLIENTEDGE);
  // The control's own limit (32,767 characters) would cut a long licence
  // when it is streamed in.
  if (handle_) SendMessageW(H(handle_), EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
}

void RichEdit::SetColor(TColor color) {
  Control::SetColor(color);
  if (handle_) SendMessageW(H(handle_), EM_SETBKGNDCOLOR, 0, ColorToRGB(color == clNone ? clWindow : color));
}

// The font goes in as a character format, never as WM_SETFONT: the control
// applies that to all of its text, a rich text's own formatting included.
void RichEdit::SetFont(const Font& font) {
  Control::SetFont(font);
  if (!handle_) return;
  ApplyCharFormat(false);
  if (!rich_) ApplyCharFormat(true);
}

void RichEdit::ApplyCharFormat(bool allText) {
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_BOLD;
  format.yHeight = font_.Size * 20;  // twips
  format.crTextColor = ColorToRGB(font_.Color);
  format.dwEffects = font_.Bold ? CFE_BOLD : 0;
  std::u16string face = platform::AnsiToWide(font_.Name).substr(0, LF_FACESIZE - 1);
  std::copy(face.begin(), face.end(), format.szFaceName);
  SendMessageW(H(handle_), EM_SETCHARFORMAT, allText ? SCF_ALL : SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

void RichEdit::LoadContent(const std::string& bytes) {
  if (!handle_) return;
  rich_ = bytes.rfind("{\\rtf", 0) == 0;
  // Plain text takes the default format as it comes in; a rich text takes
  // it where it names no font of its own.
  ApplyCharFormat(false);
  StreamSource source{&bytes, 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = StreamOut;
  SendMessageW(H(handle_), EM_STREAMIN, rich_ ? SF_RTF : SF_TEXT, reinterpret_cast<LPARAM>(&stream));
}

void RichEdit::SetLines(const std::u16string& text) {
  rich_ = false;
  SetText(WithCrLf(text));
}

// ---------------------------------------------------------------- label

void Label::SetBounds(int left, int top, int width, int height) {
  GraphicControl::SetBounds(left, top, width, height);
  if (wordWrap_) Fit();
}

void Label::SetCaption(const std::u16string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Fit();
  Invalidate();
}

void Label::SetAutoSize(bool on) {
  if (on == autoSize_) return;
  autoSize_ = on;
  Fit();
}

void Label::SetWordWrap(bool on) {
  if (on == wordWrap_) return;
  wordWrap_ = on;
  Fit();
  Invalidate();
}

void Label::SetTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  Invalidate();
}

void Label::SetFont(const Font& font) {
  if (font == font_) return;
  GraphicControl::SetFont(font);
  Fit();
}

// A wrapping label keeps the width it has and takes the height of its text
// wrapped within it, so that the order in which its width and its text
// arrive does not matter.
void Label::Fit() {
  if (!autoSize_) return;
  // One device context and the font last measured serve every label: a
  // layout may hold thousands of them, mostly in one font.
  static HDC dc = CreateCompatibleDC(nullptr);
  static Font measured;
  static HFONT font = nullptr;
  if (!font || !(measured == font_)) {
    if (font) DeleteObject(font);
    font = CreateFontFor(font_);
    measured = font_;
  }
  RECT r{0, 0, wordWrap_ ? bounds_.Width() : 0, 0};
  HGDIOBJ old = SelectObject(dc, font);
  const std::u16string& text = caption_.empty() ? u" " : caption_;
  DrawTextW(dc, W(text), static_cast<int>(text.size()), &r,
            DT_CALCRECT | DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0));
  SelectObject(dc, old);
  GraphicControl::SetBounds(bounds_.Left, bounds_.Top, wordWrap_ ? bounds_.Width() : r.right - r.left,
                            r.bottom - r.top);
}

void Label::Paint(DcCanvas& canvas) {
  Rect r{0, 0, bounds_.Width(), bounds_.Height()};
  if (!transparent_) {
    canvas.brush.Color = color_ == clNone ? (parent_ ? parent_->Color() : clBtnFace) : color_;
    if (canvas.brush.Color != clNone) canvas.FillRect(r);
  }
  if (!enabled_) canvas.font.Color = clBtnShadow;
  canvas.TextRectW(caption_, r, DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0));
}

// ---------------------------------------------------------------- bevel

void Bevel::SetShape(BevelShape shape) {
  shape_ = shape;
  Invalidate();
}

void Bevel::Paint(DcCanvas& canvas) {
  RECT rc{0, 0, bounds_.Width(), bounds_.Height()};
  if (shape_ == BevelShape::TopLine) rc.bottom = std::min<LONG>(rc.bottom, 2);
  DrawEdge(D(canvas.Dc()), &rc, BDR_SUNKENOUTER, shape_ == BevelShape::TopLine ? BF_TOP | BF_BOTTOM : BF_RECT);
}

// ---------------------------------------------------------------- image

void Image::SetPicture(const Bitmap& picture) {
  picture_ = picture;
  Invalidate();
}
void Image::SetStretch(bool on) {
  stretch_ = on;
  Invalidate();
}
void Image::SetCenter(bool on) {
  center_ = on;
  Invalidate();
}
void Image::SetTransparent(bool on) {
  transparent_ = on;
  Invalidate();
}

void Image::Paint(DcCanvas& canvas) {
  if (picture_.Empty()) return;
  Rect r{0, 0, picture_.Width(), picture_.Height()};
  if (stretch_) {
    r = Rect{0, 0, bounds_.Width(), bounds_.Height()};
  } else if (center_) {
    int x = (bounds_.Width() - picture_.Width()) / 2, y = (bounds_.Height() - picture_.Height()) / 2;
    r = Rect{x, y, x + picture_.Width(), y + picture_.Height()};
  }
  if (!transparent_) {
    canvas.StretchDraw(r, picture_);
    return;
  }
  // Transparent: blend through a device-dependent copy with a colour key.
  HDC dc = D(canvas.Dc());
  BITMAPINFO info = TopDownInfo(picture_.Width(), picture_.Height());
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section) return;
  std::copy_n(picture_.Bits(), static_cast<size_t>(picture_.Width()) * picture_.Height(), static_cast<uint32_t*>(bits));
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, section);
  GdiTransparentBlt(dc, r.Left, r.Top, r.Width(), r.Height(), memory, 0, 0, picture_.Width(), picture_.Height(),
                    picture_.Pixel(0, picture_.Height() - 1));
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(section);
}

// ---------------------------------------------------------------- capture

Bitmap CaptureClient(const WinControl& control) {
  HWND hwnd = H(control.Handle());
  RECT client{};
  if (!hwnd || !GetClientRect(hwnd, &client)) return {};
  Bitmap shot(client.right, client.bottom);
  if (shot.Empty()) return shot;
  HDC dc = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(dc);
  BITMAPINFO info = TopDownInfo(shot.Width(), shot.Height());
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, section);
  BitBlt(memory, 0, 0, shot.Width(), shot.Height(), dc, 0, 0, SRCCOPY);
  GdiFlush();
  std::copy_n(static_cast<const uint32_t*>(bits), static_cast<size_t>(shot.Width()) * shot.Height(), shot.Bits());
  for (size_t i = 0; i < static_cast<size_t>(shot.Width()) * shot.Height(); ++i) shot.Bits()[i] &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteObject(section);
  DeleteDC(memory);
  ReleaseDC(hwnd, dc);
  return shot;
}

}  // namespace gui
