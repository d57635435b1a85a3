// A picture as a 32-bit BMP file, so that a test can leave a screenshot of
// what it showed for a person to look at.
#pragma once

#include <cstdint>
#include <vector>

namespace testing_support {

// Pixels top to bottom, each 0x00RRGGBB.
inline std::vector<uint8_t> BmpFile(int width, int height, const uint32_t* pixels) {
  std::vector<uint8_t> out;
  auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  const uint32_t imageSize = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4;
  put(0x4D42, 2);
  put(14 + 40 + imageSize, 4);
  put(0, 4);
  put(14 + 40, 4);
  put(40, 4);
  put(static_cast<uint32_t>(width), 4);
  put(static_cast<uint32_t>(-height), 4);  // top-down rows
  put(1, 2);
  put(32, 2);
  put(0, 4);
  put(imageSize, 4);
  put(2835, 4);
  put(2835, 4);
  put(0, 4);
  put(0, 4);
  for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height); ++i) put(pixels[i], 4);
  return out;
}

}  // namespace testing_support
