#include "installer-library/iconchanger.h"

#include <cstring>

#include "platform/ByteOrder.h"
#include "platform/File.h"

using platform::File;
using platform::OpenMode;
using platform::SeekOrigin;

namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kDirEntrySize = 16;
constexpr uint16_t kTypeIcon = 1;

// The image data must start the way Windows expects an icon image to: a PNG
// signature, or a bitmap information header of a known size with one plane.
bool LooksLikeIconImage(const Bytes& image) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (image.size() >= sizeof kPng && std::memcmp(image.data(), kPng, sizeof kPng) == 0) return true;
  if (image.size() < 12) return false;
  uint32_t headerSize = GetU32(image.data());
  if (headerSize == 12) return GetU16(image.data() + 8) == 1;  // core header
  bool known = headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124;
  return known && headerSize <= image.size() && GetU16(image.data() + 12) == 1;
}

}  // namespace

bool ReadFirstIconImage(const std::string& iconPath, Bytes& image) {
  image.clear();
  File file;
  if (!file.Open(iconPath, OpenMode::Read)) return false;
  int64_t size = file.Size();
  uint8_t head[kHeaderSize + kDirEntrySize];
  if (size < static_cast<int64_t>(sizeof head) || file.Read(head, sizeof head) != sizeof head) return false;
  uint16_t count = GetU16(head + 4);
  if (GetU16(head) != 0 || GetU16(head + 2) != kTypeIcon || count == 0) return false;
  // The whole directory must be there, and the first image after it.
  int64_t dirEnd = static_cast<int64_t>(kHeaderSize + kDirEntrySize * count);
  uint32_t length = GetU32(head + kHeaderSize + 8);
  uint32_t offset = GetU32(head + kHeaderSize + 12);
  if (dirEnd > size || length == 0 || offset < dirEnd || static_cast<int64_t>(offset) + length > size) return false;
  Bytes data(length);
  if (file.Seek(offset, SeekOrigin::Begin) != offset || file.Read(data.data(), length) != length) return false;
  if (!LooksLikeIconImage(data)) return false;
  image = std::move(data);
  return true;
}
