#include <algorithm>

#include "platform/gui/ControlWindows_win32.h"

namespace gui {

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
