#include "platform/gui/Bitmap.h"

#include <algorithm>
#include <string>

namespace gui {

std::string Bitmap::SizeFault(int width, int height) {
  if (width <= kMaxSide && height <= kMaxSide && int64_t{width} * height <= kMaxPixels) return {};
  return "Picture too large: " + std::to_string(width) + " x " + std::to_string(height);
}

void Bitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (std::string fault = SizeFault(width, height); !fault.empty()) throw EPictureError(fault);
  pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  width_ = width;
  height_ = height;
}

uint32_t Bitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return SwapRedBlue(pixels_[static_cast<size_t>(y) * width_ + x]);
}

void Bitmap::SetPixel(int x, int y, uint32_t rgb) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<size_t>(y) * width_ + x] = SwapRedBlue(rgb & 0xFFFFFF);
}

void Bitmap::FillRect(int left, int top, int right, int bottom, uint32_t rgb) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  uint32_t value = SwapRedBlue(rgb & 0xFFFFFF);
  for (int y = top; y < bottom; ++y)
    std::fill_n(pixels_.begin() + static_cast<ptrdiff_t>(y) * width_ + left, std::max(right - left, 0), value);
}

void Bitmap::Draw(const Bitmap& source, int x, int y) {
  int fromX = std::max(0, -x), fromY = std::max(0, -y);
  int toX = std::min(source.width_, width_ - x), toY = std::min(source.height_, height_ - y);
  if (fromX >= toX) return;
  for (int row = fromY; row < toY; ++row) {
    const uint32_t* src = source.pixels_.data() + static_cast<size_t>(row) * source.width_;
    std::copy(src + fromX, src + toX, pixels_.begin() + static_cast<ptrdiff_t>(row + y) * width_ + (x + fromX));
  }
}

}  // namespace gui
