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
constexpr size_t kGroupEntrySize = 14;  // a directory entry with a resource number for the offset
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

// The images of an icon file of `size` bytes read through `readAt`, which is
// asked only for bytes inside the file and tells whether it read them all.
bool ParseIconFile(int64_t size, const std::function<bool(int64_t at, void* buffer, size_t n)>& readAt,
                   std::vector<TIconImage>& images, std::string& reason) {
  images.clear();
  auto refuse = [&](std::string text) {
    images.clear();
    reason = std::move(text);
    return false;
  };
  uint8_t head[kHeaderSize];
  if (size < static_cast<int64_t>(kHeaderSize))
    return refuse("The file of " + std::to_string(size) + " bytes is shorter than an icon file's header of 6 bytes");
  if (!readAt(0, head, sizeof head)) return refuse("The icon file's header cannot be read");
  if (GetU16(head) != 0 || GetU16(head + 2) != kTypeIcon)
    return refuse("The header's reserved and type fields read " + std::to_string(GetU16(head)) + " and " +
                  std::to_string(GetU16(head + 2)) + ", not 0 and 1 as in an icon file");
  const uint16_t count = GetU16(head + 4);
  if (count == 0) return refuse("The icon file holds no images");
  // The whole directory must be there, and every image after it, each in
  // bytes of its own: so all images together hold no more than the file.
  const int64_t dirEnd = static_cast<int64_t>(kHeaderSize + kDirEntrySize * count);
  if (dirEnd > size)
    return refuse("The directory of " + std::to_string(count) + " images ends at " + std::to_string(dirEnd) +
                  ", past the end of the file at " + std::to_string(size));
  Bytes directory(kDirEntrySize * count);
  if (!readAt(kHeaderSize, directory.data(), directory.size()))
    return refuse("The icon file's directory cannot be read");
  std::vector<std::pair<int64_t, int64_t>> spans;  // [offset, end) of each image
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* entry = directory.data() + kDirEntrySize * i;
    const uint32_t length = GetU32(entry + 8), offset = GetU32(entry + 12);
    const int64_t end = int64_t{offset} + length;
    const std::string image = "Image " + std::to_string(i + 1) + " of " + std::to_string(count) + " (" +
                              std::to_string(length) + " bytes at " + std::to_string(offset) + ")";
    if (length == 0) return refuse(image + " is empty");
    if (offset < dirEnd) return refuse(image + " begins inside the directory, which ends at " + std::to_string(dirEnd));
    if (end > size) return refuse(image + " runs past the end of the file at " + std::to_string(size));
    spans.emplace_back(offset, end);
  }
  std::sort(spans.begin(), spans.end());
  for (size_t i = 1; i < spans.size(); ++i)
    if (spans[i].first < spans[i - 1].second)
      return refuse("Two images share the bytes from " + std::to_string(spans[i].first) + " to " +
                    std::to_string(std::min(spans[i].second, spans[i - 1].second)));
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* entry = directory.data() + kDirEntrySize * i;
    const uint32_t length = GetU32(entry + 8), offset = GetU32(entry + 12);
    TIconImage image{entry[0], entry[1], entry[2], entry[3], GetU16(entry + 4), GetU16(entry + 6), Bytes(length)};
    const std::string which = "Image " + std::to_string(i + 1) + " of " + std::to_string(count);
    if (!readAt(offset, image.Data.data(), length)) return refuse(which + " cannot be read");
    if (!LooksLikeIconImage(image.Data)) return refuse(which + " is neither a bitmap nor a PNG image");
    images.push_back(std::move(image));
  }
  reason.clear();
  return true;
}

}  // namespace

bool ReadIconFile(const std::string& iconPath, std::vector<TIconImage>& images, std::string& reason) {
  images.clear();
  File file;
  if (!file.Open(iconPath, OpenMode::Read)) {
    reason = "The file cannot be opened";
    return false;
  }
  return ParseIconFile(
      file.Size(), [&file](int64_t at, void* buffer, size_t n) { return ReadAt(file, at, buffer, n); }, images, reason);
}

bool ReadIconData(const Bytes& iconFile, std::vector<TIconImage>& images, std::string& reason) {
  return ParseIconFile(
      static_cast<int64_t>(iconFile.size()),
      [&iconFile](int64_t at, void* buffer, size_t n) {
        if (at < 0 || static_cast<uint64_t>(at) > iconFile.size() || n > iconFile.size() - static_cast<size_t>(at))
          return false;
        std::memcpy(buffer, iconFile.data() + at, n);
        return true;
      },
      images, reason);
}

Bytes GroupIconResource(const std::vector<TIconImage>& images, const std::vector<uint16_t>& ids) {
  Bytes group;
  PutU16(group, 0);
  PutU16(group, kTypeIcon);
  const size_t count = std::min(images.size(), ids.size());
  PutU16(group, static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    const TIconImage& image = images[i];
    group.insert(group.end(), {image.Width, image.Height, image.ColorCount, image.Reserved});
    PutU16(group, image.Planes);
    PutU16(group, image.BitCount);
    PutU32(group, static_cast<uint32_t>(image.Data.size()));
    PutU16(group, ids[i]);
  }
  return group;
}

std::vector<uint16_t> GroupIconIds(const Bytes& group) {
  std::vector<uint16_t> ids;
  if (group.size() < kHeaderSize) return ids;
  const size_t count = GetU16(group.data() + 4);
  for (size_t i = 0; i < count && kHeaderSize + kGroupEntrySize * (i + 1) <= group.size(); ++i)
    ids.push_back(GetU16(group.data() + kHeaderSize + kGroupEntrySize * i + 12));
  return ids;
}
