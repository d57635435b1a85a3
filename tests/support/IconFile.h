// Icon files made in memory for tests: real bitmap images in a real icon
// file layout, so Windows accepts them as icons.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ByteOrder.h"

namespace testing_support {

// A square 32-bit bitmap icon image (header, colour rows, AND mask) filled
// with one colour, so images of one size still differ.
inline std::vector<uint8_t> MakeIconImage(uint8_t side, uint8_t shade) {
  std::vector<uint8_t> image;
  PutU32(image, 40);
  PutU32(image, side);
  PutU32(image, side * 2u);  // colour rows and mask rows
  PutU16(image, 1);          // planes
  PutU16(image, 32);         // bits per pixel
  for (int i = 0; i < 6; ++i) PutU32(image, 0);
  for (unsigned i = 0; i < side * side; ++i) image.insert(image.end(), {shade, uint8_t(255 - shade), 0x40, 0xFF});
  unsigned maskRow = (side + 31) / 32 * 4;
  image.insert(image.end(), maskRow * side, 0);
  return image;
}

// An icon file holding the images in order, each described by a directory
// entry and stored after the directory.
inline std::vector<uint8_t> MakeIconFile(const std::vector<std::vector<uint8_t>>& images) {
  std::vector<uint8_t> file;
  PutU16(file, 0);
  PutU16(file, 1);
  PutU16(file, static_cast<uint16_t>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (const auto& image : images) {
    uint32_t side = image.size() >= 8 ? GetU32(image.data() + 4) : 0;
    file.push_back(static_cast<uint8_t>(side));
    file.push_back(static_cast<uint8_t>(side));
    file.push_back(0);  // colour count
    file.push_back(0);
    PutU16(file, 1);
    PutU16(file, 32);
    PutU32(file, static_cast<uint32_t>(image.size()));
    PutU32(file, offset);
    offset += static_cast<uint32_t>(image.size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  return file;
}

}  // namespace testing_support
