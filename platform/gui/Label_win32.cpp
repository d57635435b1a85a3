#include "platform/gui/ControlWindows_win32.h"

namespace gui {

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

}  // namespace gui
