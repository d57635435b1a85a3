#include <algorithm>

#include "platform/gui/ControlWindows_win32.h"

namespace gui {

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

}  // namespace gui
