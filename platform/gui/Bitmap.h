// An off-screen picture of 32-bit pixels, kept in memory so that pictures
// can be decoded, rendered and composed by portable code and handed to the
// screen whole.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace gui {

// A picture that cannot be decoded or a size that cannot be held.
class EPictureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Bitmap {
 public:
  // Larger pictures are refused rather than allocated: sizes come from
  // layout files and picture headers, which may be damaged or hostile.
  static constexpr int kMaxSide = 8192;
  static constexpr int64_t kMaxPixels = int64_t{1} << 25;  // 128 MiB of pixels

  Bitmap() = default;
  Bitmap(int width, int height) { SetSize(width, height); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }

  // New size with every pixel black; negative sides count as 0.
  // EPictureError with SizeFault's text when the size cannot be held.
  void SetSize(int width, int height);
  // Why a picture of that size cannot be held, a side above kMaxSide or the
  // whole above kMaxPixels ("Picture too large: W x H"); empty when it can.
  static std::string SizeFault(int width, int height);

  // Colours as $00BBGGRR; outside the picture reading gives 0 and writing
  // does nothing.
  uint32_t Pixel(int x, int y) const;
  void SetPixel(int x, int y, uint32_t rgb);
  // Fills x in [left, right), y in [top, bottom), clipped to the picture.
  void FillRect(int left, int top, int right, int bottom, uint32_t rgb);
  // Copies the whole source with its top-left corner at (x, y), clipped.
  void Draw(const Bitmap& source, int x, int y);

  // Rows top to bottom, each pixel 0x00RRGGBB (blue in the lowest byte), as
  // a top-down 32-bit device-independent bitmap lays them out.
  const uint32_t* Bits() const { return pixels_.data(); }
  uint32_t* Bits() { return pixels_.data(); }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

// Between $00BBGGRR and the stored 0x00RRGGBB order.
constexpr uint32_t SwapRedBlue(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

}  // namespace gui
