#include <algorithm>

#include "platform/gui/Application.h"
#include "platform/gui/ControlWindows_win32.h"

namespace gui {

HWND g_mainWindow = nullptr;

namespace {

const wchar_t kContainerClass[] = L"ModkitContainer";

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

// The off-screen surface that a paint is composed on, kept from one paint
// to the next by each thread: making one for every paint cost more than
// the paint itself, and a page whose status line and bar are drawn thirty
// times a second spent most of its drawing there. It grows to the largest
// window painted and lives as long as the thread (the system frees it with
// the process). A paint within a paint makes one of its own.
struct PaintSurface {
  HDC memory = nullptr;
  HBITMAP bitmap = nullptr;
  int width = 0, height = 0;
  int saved = 0;
  bool busy = false;
};
thread_local PaintSurface t_surface;

// A memory DC holding a surface of at least width by height, compatible
// with dc, to be given back by ReleaseSurface.
HDC AcquireSurface(HDC dc, int width, int height) {
  PaintSurface& s = t_surface;
  if (s.busy) {
    HDC memory = CreateCompatibleDC(dc);
    SelectObject(memory, CreateCompatibleBitmap(dc, width, height));
    return memory;
  }
  if (!s.memory) s.memory = CreateCompatibleDC(dc);
  if (width > s.width || height > s.height) {
    s.width = std::max(width, s.width);
    s.height = std::max(height, s.height);
    HBITMAP grown = CreateCompatibleBitmap(dc, s.width, s.height);
    SelectObject(s.memory, grown);
    if (s.bitmap) DeleteObject(s.bitmap);
    s.bitmap = grown;
  }
  s.busy = true;
  s.saved = SaveDC(s.memory);
  return s.memory;
}

void ReleaseSurface(HDC memory) {
  if (memory == t_surface.memory) {
    // What a paint left selected or set goes with it.
    RestoreDC(memory, t_surface.saved);
    t_surface.busy = false;
    return;
  }
  HGDIOBJ own = GetCurrentObject(memory, OBJ_BITMAP);
  DeleteDC(memory);
  DeleteObject(own);
}

}  // namespace

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
  HDC memory = AcquireSurface(dc, width, height);
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
  ReleaseSurface(memory);
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

void Panel::SetCaption(const std::u16string& caption) {
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
    Rect area = client;
    canvas.TextRectW(caption_, area, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  }
}

}  // namespace gui
