#include "Setup/Ggauge.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Set by a change of Min, Max or Autocaption so that the next SetProgress
// renews caption and picture although the position is the same. One flag
// for all gauges: every call comes from the GUI thread, and the flag is
// cleared within the call that set it.
bool g_forceRefresh = false;

// A resized bitmap settles before the gradient is rendered into it.
void PauseAfterResize() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

// (progress - min) * 100 / (max - min) in exact integers, rounded to the
// nearest with halves to the even neighbour.
int Percentage(int32_t progress, int32_t min, int32_t max) {
  int64_t num = (static_cast<int64_t>(progress) - min) * 100;
  int64_t den = static_cast<int64_t>(max) - min;
  int64_t q = num / den, r = num % den;
  if (2 * r > den || (2 * r == den && (q & 1))) ++q;
  return static_cast<int>(q);
}

}  // namespace

TGradGauge::TGradGauge(TPanel* parent) : TControl(parent) {
  SetBounds(0, 0, 200, 40);
  ResizeBitmap();
  UpdateAutoCaption();
}

// The gradient is stretched into the bar, so a gauge larger than any screen
// keeps a bitmap of at most this side.
constexpr int kMaxGradientSide = 4096;

bool TGradGauge::BitmapFits() const {
  int w = std::clamp(width_, 0, kMaxGradientSide);
  int h = std::clamp(height_ - 5, 0, kMaxGradientSide);
  return bitmap_.Width() == w && bitmap_.Height() == h;
}

void TGradGauge::ResizeBitmap() {
  bitmap_.SetSize(std::clamp(width_, 0, kMaxGradientSide), std::clamp(height_ - 5, 0, kMaxGradientSide));
  PauseAfterResize();
  RenderGradient(color1_, color2_, bitmap_);
}

void TGradGauge::RenderGradient(TColor color1, TColor color2, gui::Bitmap& bitmap) {
  uint32_t c1 = gui::ColorToRGB(color1), c2 = gui::ColorToRGB(color2);
  int r1 = gui::RedOf(c1), g1 = gui::GreenOf(c1), b1 = gui::BlueOf(c1);
  int dr = gui::RedOf(c2) - r1, dg = gui::GreenOf(c2) - g1, db = gui::BlueOf(c2) - b1;
  int h = bitmap.Height();
  for (int y = 0; y < h; ++y) {
    // Integer division truncates towards zero, as dropping the fraction of
    // (y / h) * difference does, without rounding error.
    int r = r1 + y * dr / h, g = g1 + y * dg / h, b = b1 + y * db / h;
    bitmap.FillRect(0, y, bitmap.Width(), y + 1, gui::ColorToRGB(gui::RGBColor(r & 255, g & 255, b & 255)));
  }
}

void TGradGauge::SetBackcolor(TColor color) { Update(backcolor_, color, TChange::Invalidate); }

void TGradGauge::SetBorderColor(TColor color) { Update(borderColor_, color, TChange::Invalidate); }

void TGradGauge::SetBorderStyle(TggBorderStyle style) { Update(borderStyle_, style, TChange::Invalidate); }

void TGradGauge::SetColor1(TColor color) {
  if (color == color1_) return;
  color1_ = color;
  RenderGradient(color1_, color2_, bitmap_);
  Notify(TChange::Invalidate);
}

void TGradGauge::SetColor2(TColor color) {
  if (color == color2_) return;
  color2_ = color;
  RenderGradient(color1_, color2_, bitmap_);
  Notify(TChange::Invalidate);
}

void TGradGauge::SetCaption(const std::string& caption) { Update(caption_, caption, TChange::Paint); }

void TGradGauge::SetMin(int32_t value) {
  if (value == min_ || value >= max_) return;
  min_ = value;
  if (progress_ < min_) progress_ = min_;
  if (autocaption_) ForceRefresh();
  Notify(TChange::Invalidate);
}

void TGradGauge::SetMax(int32_t value) {
  if (value == max_ || value <= min_) return;
  max_ = value;
  if (progress_ > max_) progress_ = max_;
  if (autocaption_) ForceRefresh();
  Notify(TChange::Invalidate);
}

void TGradGauge::SetProgress(int32_t value) {
  value = std::max(std::min(value, max_), min_);
  if (value == progress_ && !g_forceRefresh) return;
  progress_ = value;
  UpdateAutoCaption();
  g_forceRefresh = false;
  Notify(TChange::Paint);
}

void TGradGauge::SetAutocaption(bool on) {
  if (on == autocaption_) return;
  autocaption_ = on;
  if (on) ForceRefresh();
  Notify(TChange::Invalidate);
}

void TGradGauge::ForceRefresh() {
  g_forceRefresh = true;
  SetProgress(progress_);
}

void TGradGauge::UpdateAutoCaption() {
  if (!autocaption_) return;
  if (max_ <= 0) {
    caption_ = "0%";
    return;
  }
  // The whole percent reached, computed exactly: 7 of 7 reads 100%.
  int64_t done = (static_cast<int64_t>(progress_) - min_) * 100 / (static_cast<int64_t>(max_) - min_);
  caption_ = std::to_string(done) + "%";
}

void TGradGauge::Paint(gui::Canvas& canvas) {
  if (!visible_) return;
  if (!BitmapFits()) ResizeBitmap();
  const int w = width_, h = height_;
  canvas.pen = gui::Pen{gui::clBlack, 1, gui::PenStyle::Solid};
  canvas.brush.Style = gui::BrushStyle::Clear;
  auto line = [&](TColor color, int x, int y) {
    canvas.pen.Color = color;
    canvas.LineTo(x, y);
  };
  switch (borderStyle_) {
    case ggSolid:
      canvas.pen.Color = borderColor_;
      canvas.Rectangle(gui::Rect{1, 1, w, h});
      break;
    case ggRaised:
    case ggLowered: {
      TColor first = borderStyle_ == ggRaised ? gui::clWhite : borderColor_;
      TColor second = borderStyle_ == ggRaised ? borderColor_ : gui::clWhite;
      canvas.MoveTo(1, h);
      line(first, 1, 1);
      line(first, w - 1, 1);
      line(second, w - 1, h - 1);
      line(second, 0, h - 1);
      break;
    }
  }
  int p = Percentage(progress_, min_, max_);
  int filled = (w - 3) * p / 100;
  if (filled > 0) {
    gui::Rect bar{2, 2, filled + 2, h - 1};
    if (color1_ == color2_) {
      canvas.brush = gui::Brush{color1_, gui::BrushStyle::Solid};
      canvas.FillRect(bar);
    } else {
      canvas.StretchDraw(bar, bitmap_);
    }
  }
  if (p < 100) {
    canvas.brush = gui::Brush{backcolor_, gui::BrushStyle::Solid};
    canvas.pen = gui::Pen{canvas.pen.Color, 1, gui::PenStyle::Clear};
    canvas.Rectangle(gui::Rect{std::max(filled, 0) + 2, 2, w, h});
  }
  canvas.brush.Style = gui::BrushStyle::Clear;
  canvas.font = font_;
  canvas.TextRect(caption_, gui::Rect{0, 0, w, h}, gui::kTextSingleLine | gui::kTextVCenter | gui::kTextCenter);
}
