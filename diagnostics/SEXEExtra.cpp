#include "diagnostics/SEXEExtra.h"

#include <algorithm>
#include <cstring>

#include "Global/QXI_PakFile.h"
#include "platform/ByteOrder.h"

namespace {

constexpr char kIndexName[] = "EXEIND";

// Word 0 = 0, byte 2 = 1, ShortString "EXEIND" at 3, byte 10 = 0.
bool ValidTrailer(const uint8_t* t) {
  return GetU16(t) == 0 && t[2] == 1 && t[3] == 6 && std::memcmp(t + 4, kIndexName, 6) == 0 && t[10] == 0;
}

}  // namespace

bool TEXEExtraIndex::Read(platform::File& file, int64_t end) {
  valid_ = false;
  entries_.clear();
  if (end < static_cast<int64_t>(kEXEExtraTrailerSize) || end > file.Size()) return false;
  uint8_t trailer[kEXEExtraTrailerSize];
  if (file.Seek(end - static_cast<int64_t>(kEXEExtraTrailerSize), platform::SeekOrigin::Begin) < 0 ||
      file.Read(trailer, sizeof trailer) != sizeof trailer || !ValidTrailer(trailer))
    return false;
  // The count byte can say 255, one more than an index holds: such an index
  // was not written by anything that follows this layout.
  size_t count = trailer[11];
  if (count > kMaxEXEExtraEntries) return false;
  int64_t tableStart = end - static_cast<int64_t>(kEXEExtraTrailerSize + kEXEExtraEntrySize * count);
  if (tableStart < 0) return false;
  std::vector<uint8_t> table(kEXEExtraEntrySize * count);
  if (count > 0 &&
      (file.Seek(tableStart, platform::SeekOrigin::Begin) < 0 || file.Read(table.data(), table.size()) != table.size()))
    return false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = table.data() + kEXEExtraEntrySize * i;
    entries_.push_back({e[0], GetU32(e + 1), GetU32(e + 5)});
  }
  valid_ = true;
  return true;
}

TEXEExtraEntry TEXEExtraIndex::Find(uint8_t id) const {
  for (const TEXEExtraEntry& e : entries_)
    if (e.Id == id) return e;
  return TEXEExtraEntry{};
}

TEXEExtraEntry FindEXEExtra(uint8_t id, platform::File& file, int64_t end) {
  TEXEExtraIndex index;
  index.Read(file, end);
  return index.Find(id);
}

int64_t ProgramEnd(const std::string& path, int64_t fileSize) {
  // The archive reader checks that the archive's data begin at its start,
  // so a valid one's start is where the program's own bytes end.
  TPak archive(path, false, false);
  if (std::memcmp(archive.Magic, "QXPF", 4) != 0) return fileSize;
  return std::min<int64_t>(archive.Base, fileSize);
}
