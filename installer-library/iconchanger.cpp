#include "installer-library/iconchanger.h"

#include <algorithm>
#include <cstring>
#include <functional>

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

// The program headers this reads: the DOS header's pointer to the PE
// header, and in that the section count, the optional header's size and,
// behind it, the section table.
constexpr size_t kPEPointer = 0x3C;
constexpr size_t kPEHeaderSize = 24;
constexpr size_t kSectionSize = 40;
constexpr size_t kMaxSections = 96;

bool ReadAt(File& file, int64_t at, void* buffer, size_t n) {
  return file.Seek(at, SeekOrigin::Begin) == at && file.Read(buffer, n) == n;
}

// Where the raw data of the program's sections end; 0 for a file that is
// no program.
int64_t SectionsEnd(File& file) {
  uint8_t word[4], pe[kPEHeaderSize];
  if (!ReadAt(file, kPEPointer, word, 4)) return 0;
  const int64_t peAt = GetU32(word);
  if (!ReadAt(file, peAt, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0) return 0;
  const size_t count = GetU16(pe + 6);
  if (count > kMaxSections) return 0;
  Bytes table(kSectionSize * count);
  if (!ReadAt(file, peAt + static_cast<int64_t>(kPEHeaderSize) + GetU16(pe + 20), table.data(), table.size())) return 0;
  int64_t end = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* section = table.data() + kSectionSize * i;
    const uint32_t rawSize = GetU32(section + 16);
    if (rawSize > 0) end = std::max<int64_t>(end, int64_t{GetU32(section + 20)} + rawSize);
  }
  return end;
}

}  // namespace

Bytes DataAppendedToProgram(const std::string& exePath) {
  File file;
  if (!file.Open(exePath, OpenMode::Read)) return {};
  const int64_t size = file.Size(), end = SectionsEnd(file);
  if (end <= 0 || end >= size) return {};
  Bytes appended(static_cast<size_t>(size - end));
  if (!ReadAt(file, end, appended.data(), appended.size())) return {};
  return appended;
}

bool KeepDataAppendedToProgram(const std::string& exePath, const Bytes& appended) {
  if (appended.empty()) return true;
  File file;
  if (!file.Open(exePath, OpenMode::ReadWrite)) return false;
  const int64_t size = file.Size();
  if (size < 0) return false;
  if (size >= static_cast<int64_t>(appended.size())) {
    Bytes tail(appended.size());
    if (!ReadAt(file, size - static_cast<int64_t>(tail.size()), tail.data(), tail.size())) return false;
    if (tail == appended) return true;
  }
  return file.Seek(0, SeekOrigin::End) == size && file.Write(appended.data(), appended.size());
}

namespace {

// The first image of an icon file of `size` bytes read through `readAt`,
// which is asked only for bytes inside the file and tells whether it read
// them all.
bool ParseFirstIconImage(int64_t size, const std::function<bool(int64_t at, void* buffer, size_t n)>& readAt,
                         Bytes& image) {
  image.clear();
  uint8_t head[kHeaderSize + kDirEntrySize];
  if (size < static_cast<int64_t>(sizeof head) || !readAt(0, head, sizeof head)) return false;
  uint16_t count = GetU16(head + 4);
  if (GetU16(head) != 0 || GetU16(head + 2) != kTypeIcon || count == 0) return false;
  // The whole directory must be there, and the first image after it.
  int64_t dirEnd = static_cast<int64_t>(kHeaderSize + kDirEntrySize * count);
  uint32_t length = GetU32(head + kHeaderSize + 8);
  uint32_t offset = GetU32(head + kHeaderSize + 12);
  if (dirEnd > size || length == 0 || offset < dirEnd || static_cast<int64_t>(offset) + length > size) return false;
  Bytes data(length);
  if (!readAt(offset, data.data(), length)) return false;
  if (!LooksLikeIconImage(data)) return false;
  image = std::move(data);
  return true;
}

}  // namespace

bool ReadFirstIconImage(const std::string& iconPath, Bytes& image) {
  image.clear();
  File file;
  if (!file.Open(iconPath, OpenMode::Read)) return false;
  return ParseFirstIconImage(
      file.Size(), [&file](int64_t at, void* buffer, size_t n) { return ReadAt(file, at, buffer, n); }, image);
}

bool FirstIconImage(const Bytes& iconFile, Bytes& image) {
  return ParseFirstIconImage(
      static_cast<int64_t>(iconFile.size()),
      [&iconFile](int64_t at, void* buffer, size_t n) {
        // The caller has checked that the bytes lie inside the file.
        std::memcpy(buffer, iconFile.data() + at, n);
        return true;
      },
      image);
}
