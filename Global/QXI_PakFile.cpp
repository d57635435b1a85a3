#include "Global/QXI_PakFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "Global/CRC.h"
#include "diagnostics/SHookQuiet.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"

using platform::File;
using platform::OpenMode;
using platform::SeekOrigin;

namespace {

constexpr char kMagic[4] = {'Q', 'X', 'P', 'F'};
constexpr size_t kMinTableEntry = 2 + 18;  // empty name + the five numbers

// Sequential reads of the entry table, never past its end.
class TableReader {
 public:
  TableReader(File& file, int64_t begin, int64_t end) : file_(file), pos_(begin), end_(end) {}

  bool Take(void* dst, size_t n) {
    auto* out = static_cast<uint8_t*>(dst);
    while (n > 0) {
      if (at_ == buf_.size() && !Refill()) return false;
      size_t k = std::min(n, buf_.size() - at_);
      std::memcpy(out, buf_.data() + at_, k);
      at_ += k;
      out += k;
      n -= k;
    }
    return true;
  }

  // The bytes not yet taken before the end.
  int64_t Left() const { return static_cast<int64_t>(buf_.size() - at_) + (end_ - pos_); }

 private:
  bool Refill() {
    if (pos_ >= end_) return false;
    size_t want = static_cast<size_t>(std::min<int64_t>(end_ - pos_, 1 << 16));
    buf_.resize(want);
    if (file_.Seek(pos_, SeekOrigin::Begin) != pos_ || file_.Read(buf_.data(), want) != want) return false;
    pos_ += static_cast<int64_t>(want);
    at_ = 0;
    return true;
  }

  File& file_;
  int64_t pos_, end_;
  Bytes buf_;
  size_t at_ = 0;
};

// Bytes an entry occupies in the file: the stream, or the raw contents.
uint32_t StoredLength(const TPakFile& e) { return e.StoredSize == 0 ? e.OriginalSize : e.StoredSize; }

// Why the entries' data cannot be the archive's own, or empty when they can:
// each entry's bytes lie between the archive's start and its table, the
// first block begins at that start (the writer appends from there), no two
// entries share a byte, an entry without data has no numbers either, and
// no compressed entry claims 70 MiB or more (the writer stores those raw,
// and inflating to such a claim is what a small hostile entry asks for).
std::string DataLayoutFault(const std::vector<TPakFile>& entries, uint32_t base, uint32_t tableOffset) {
  const std::string bounds = " (start " + std::to_string(base) + ", table at " + std::to_string(tableOffset) + ")";
  if (base > tableOffset) return "The archive's start lies behind its table" + bounds;
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (const TPakFile& e : entries) {
    if (e.StoredSize != 0 && e.OriginalSize >= kLargeEntrySize)
      return "The compressed entry \"" + e.Name + "\" claims " + std::to_string(e.OriginalSize) +
             " bytes; entries of " + std::to_string(kLargeEntrySize) + " bytes or more are stored raw";
    uint64_t length = StoredLength(e);
    if (length == 0) {
      if (e.Offset != 0 || e.Crc != 0) return "The empty entry \"" + e.Name + "\" has data numbers";
      continue;
    }
    if (e.Offset < base || e.Offset + length > tableOffset)
      return "The data of entry \"" + e.Name + "\" (" + std::to_string(length) + " bytes at " +
             std::to_string(e.Offset) + ") lie outside the archive" + bounds;
    ranges.emplace_back(e.Offset, e.Offset + length);
  }
  std::sort(ranges.begin(), ranges.end());
  if (!ranges.empty() && ranges.front().first != base)
    return "The archive's data begin at " + std::to_string(ranges.front().first) + ", not at its start" + bounds;
  for (size_t i = 1; i < ranges.size(); ++i)
    if (ranges[i].first < ranges[i - 1].second)
      return "The data of two entries overlap: one ends at " + std::to_string(ranges[i - 1].second) +
             ", the next begins at " + std::to_string(ranges[i].first);
  return {};
}

}  // namespace

bool WriteStrToFile(File& file, const std::string& text) {
  if (text.size() > kMaxStoredString) return false;
  Bytes out;
  out.reserve(2 + text.size());
  PutU16(out, static_cast<uint16_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
  return file.Write(out.data(), out.size());
}

bool ReadStrFromFile(File& file, std::string& text) {
  uint8_t len[2];
  text.clear();
  if (file.Read(len, 2) != 2) return false;
  text.resize(GetU16(len));
  size_t got = file.Read(text.data(), text.size());
  bool whole = got == text.size();
  text.resize(got);
  return whole;
}

namespace {

std::string CannotRead(const std::string& path) { return "Cannot read file \"" + path + "\""; }

// Opens a source file for packing; its size, or -1 with the reason naming
// the file.
int64_t OpenSource(File& file, const std::string& path, std::string& reason) {
  if (!file.Open(path, OpenMode::Read)) {
    reason = "Cannot open file \"" + path + "\"";
    return -1;
  }
  int64_t size = file.Size();
  if (size < 0) reason = CannotRead(path);
  return size;
}

}  // namespace

bool ReadWholeFile(const std::string& path, Bytes& data, std::string& reason) {
  data.clear();
  File file;
  int64_t size = OpenSource(file, path, reason);
  if (size < 0) return false;
  if (static_cast<uint64_t>(size) > SIZE_MAX) {
    reason = CannotRead(path);
    return false;
  }
  try {
    THookQuietScope quiet;  // no memory for the file is a refusal of it
    data.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    reason = "Not enough memory to read file \"" + path + "\" (" + std::to_string(size) + " bytes)";
    return false;
  }
  if (file.Read(data.data(), data.size()) != data.size()) {
    data.clear();
    reason = CannotRead(path);
    return false;
  }
  return true;
}

int64_t FileSeek64(File& file, SeekOrigin origin, int64_t distance) { return file.Seek(distance, origin); }

// ---------------------------------------------------------------------------

TPak::TPak(const std::string& fileName, bool append, bool createNew) {
  if (append) {
    if (file_.Open(fileName, OpenMode::ReadWrite)) Base = static_cast<uint32_t>(file_.Size());
  } else if (createNew) {
    file_.Open(fileName, OpenMode::Create);
  } else if (file_.Open(fileName, OpenMode::Read)) {
    ReadTable();
  }
  if (!file_.IsOpen()) lastError_ = "Cannot open archive \"" + fileName + "\"";
}

void TPak::ReadTable() {
  // A damaged archive reads as none; LastError says what was wrong.
  auto reject = [this](const std::string& why) {
    Entries.clear();
    std::memset(Magic, 0, sizeof Magic);
    Version = EntryCount = 0;
    Base = TableOffset = 0;
    lastError_ = why;
  };
  int64_t size = file_.Size();
  uint8_t t[kPakTrailerSize];
  if (size < static_cast<int64_t>(kPakTrailerSize))
    return reject("The file of " + std::to_string(size) + " bytes is shorter than the archive's trailer");
  if (file_.Seek(size - kPakTrailerSize, SeekOrigin::Begin) < 0 || file_.Read(t, sizeof t) != sizeof t)
    return reject("Cannot read the archive's trailer");
  if (std::memcmp(t, kMagic, 4) != 0) return reject("No archive at the end of the file");
  std::memcpy(Magic, t, 4);
  Version = GetU16(t + 4);
  EntryCount = GetU16(t + 6);
  Base = GetU32(t + 8);
  TableOffset = GetU32(t + 12);

  // The table must lie between its offset and the trailer and be able to
  // hold the count it claims; anything else is a damaged archive.
  int64_t tableEnd = size - static_cast<int64_t>(kPakTrailerSize);
  const std::string count = "table of " + std::to_string(EntryCount) + " entries";
  if (TableOffset > tableEnd)
    return reject("The entry table at " + std::to_string(TableOffset) + " lies behind the trailer at " +
                  std::to_string(tableEnd));
  if (static_cast<int64_t>(EntryCount * kMinTableEntry) > tableEnd - TableOffset)
    return reject("The " + count + " needs at least " + std::to_string(EntryCount * kMinTableEntry) +
                  " bytes, but only " + std::to_string(tableEnd - TableOffset) + " lie before the trailer");
  TableReader in(file_, TableOffset, tableEnd);
  Entries.resize(EntryCount);
  for (size_t i = 0; i < Entries.size(); ++i) {
    TPakFile& e = Entries[i];
    uint8_t len[2], nums[18];
    const std::string early = "The " + count + " runs into the trailer at entry " + std::to_string(i);
    if (!in.Take(len, 2)) return reject(early);
    e.Name.resize(GetU16(len));
    if (!in.Take(e.Name.data(), e.Name.size()) || !in.Take(nums, sizeof nums)) return reject(early);
    e.Crc = GetU32(nums);
    e.Offset = GetU32(nums + 4);
    e.StoredSize = GetU32(nums + 8);
    e.OriginalSize = GetU32(nums + 12);
    e.Group = GetU16(nums + 16);
  }
  // The writer puts the trailer straight after the table: a count that
  // leaves bytes over would silently drop the entries they describe.
  if (in.Left() != 0)
    return reject("The " + count + " ends " + std::to_string(in.Left()) + " bytes before the trailer");
  std::string fault = DataLayoutFault(Entries, Base, TableOffset);
  if (!fault.empty()) return reject(fault);
}

// --- writing ----------------------------------------------------------------

bool TPak::Fail(const std::string& text) {
  lastError_ = text;
  return false;
}

bool TPak::KnownIndex(int index) {
  return ValidIndex(index) ||
         Fail("No entry " + std::to_string(index) + " in a table of " + std::to_string(Entries.size()));
}

int TPak::AddEntry(const std::string& name, const std::string& sourcePath, uint16_t group) {
  if (Entries.size() >= kMaxPakEntries) {
    Fail("Too many entries for one archive (at most 65535): " + name);
    return -1;
  }
  if (name.size() > kMaxStoredString) {
    Fail("Entry name longer than 65535 bytes");
    return -1;
  }
  TPakFile e;
  e.Name = name;
  e.SourcePath = sourcePath;
  e.Group = group;
  Entries.push_back(std::move(e));
  return static_cast<int>(Entries.size() - 1);
}

bool TPak::Pack(TPakFile& entry, const uint8_t* data, size_t size, Bytes& stream) {
  entry.OriginalSize = static_cast<uint32_t>(size);
  stream.clear();
  if (size < kLargeEntrySize) {
    stream = ZCompressContents(data, size);
    if (stream.size() <= size) {
      entry.StoredSize = static_cast<uint32_t>(stream.size());
      entry.Crc = UpdateCRC32(0, stream.data(), stream.size());
      return true;
    }
    stream.clear();
  }
  entry.StoredSize = 0;
  entry.Crc = UpdateCRC32(0, data, size);
  return false;
}

Bytes TPak::PackBuffer(int index, const void* data, size_t size) {
  if (!ValidIndex(index)) return {};
  return PackEntry(Entries[index], data, size);
}

Bytes TPak::PackEntry(TPakFile& entry, const void* data, size_t size) {
  entry.OriginalSize = static_cast<uint32_t>(size);
  if (!data || size == 0 || size > kMaxPakFileSize) return {};
  auto* bytes = static_cast<const uint8_t*>(data);
  Bytes stream;
  if (Pack(entry, bytes, size, stream)) return stream;
  return Bytes(bytes, bytes + size);
}

namespace {

constexpr size_t kPackPiece = 256 << 10;

// Level-9 zlib stream of `size` bytes read from `file` in pieces: the same
// stream as ZCompress of the whole, since deflate does not depend on how its
// input is handed over. Empty, with `longer` set, once the stream grows past
// `size`: such contents are stored raw, so the rest need not be packed.
// Empty with the reason when the file cannot be read.
Bytes DeflatePieces(File& file, const std::string& path, size_t size, bool& longer, TZDeflater& deflater,
                    std::string& reason) {
  longer = false;
  z_stream& z = deflater.Reset();
  Bytes& piece = deflater.Piece;
  if (piece.size() < std::min(size, kPackPiece)) piece.resize(std::min(size, kPackPiece));
  // Grown as needed, never past size + 1: that much already means "longer".
  Bytes out(std::min<size_t>(size + 1, size / 4 + 65536));
  int rc = Z_OK;
  for (size_t left = size; rc != Z_STREAM_END && !longer;) {
    size_t n = std::min(left, piece.size());
    if (file.Read(piece.data(), n) != n) {
      reason = CannotRead(path);
      return {};
    }
    left -= n;
    z.next_in = piece.data();
    z.avail_in = static_cast<uInt>(n);
    do {
      if (z.total_out > size) {
        longer = true;
        break;
      }
      if (z.total_out == out.size()) out.resize(std::min(size + 1, out.size() * 2));
      z.next_out = out.data() + z.total_out;
      z.avail_out = static_cast<uInt>(out.size() - z.total_out);
      rc = deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    } while (z.avail_out == 0 && rc != Z_STREAM_END);
  }
  longer = longer || z.total_out > size;
  out.resize(longer ? 0 : z.total_out);
  out.shrink_to_fit();
  return out;
}

}  // namespace

Bytes TPak::PackEntryFile(TPakFile& entry, const std::string& path, bool& raw, uint64_t& blocks, std::string& reason,
                          TZDeflater* deflater) {
  raw = false;
  blocks = 0;
  reason.clear();
  File file;
  int64_t size = OpenSource(file, path, reason);
  if (size < 0) return {};
  entry.OriginalSize = static_cast<uint32_t>(size);
  if (size == 0) return {};
  if (size < kLargeEntrySize && UsesZBlocks(static_cast<uint64_t>(size))) {
    blocks = ZBlockCount(static_cast<uint64_t>(size));
    return {};
  }
  if (size < kLargeEntrySize) {
    std::unique_ptr<TZDeflater> own = deflater ? nullptr : std::make_unique<TZDeflater>();
    Bytes stream = DeflatePieces(file, path, static_cast<size_t>(size), raw, deflater ? *deflater : *own, reason);
    if (!reason.empty()) return {};
    if (!raw) {
      entry.StoredSize = static_cast<uint32_t>(stream.size());
      entry.Crc = UpdateCRC32(0, stream.data(), stream.size());
      return stream;
    }
  }
  raw = true;
  entry.StoredSize = 0;
  return {};
}

bool TPak::WriteEntryRaw(int index) {
  if (!ValidIndex(index)) return false;
  TPakFile& e = Entries[index];
  File source;
  std::string reason;
  int64_t size = OpenSource(source, e.SourcePath, reason);
  if (size < 0) return Fail(reason);
  if (size == 0) return true;  // nothing to store
  return AppendLargeSource(e, source, size);
}

bool TPak::WriteEntryBlocks(int index, uint32_t originalSize, uint64_t blocks,
                            const std::function<std::string(TZBlock& into)>& next) {
  if (!ValidIndex(index)) return false;
  TPakFile& e = Entries[index];
  int64_t end = EndWithRoomFor(0);
  if (end < 0) return false;
  uint64_t length = 0;
  uint32_t crc = 0;
  bool longer = false;
  // Once the stream, with the bytes still to follow, is longer than the
  // contents, the rest of it is not written: the contents go in raw.
  auto put = [&](const uint8_t* data, size_t size, size_t toFollow) {
    longer = longer || length + size + toFollow > originalSize;
    if (longer) return true;
    if (static_cast<uint64_t>(end) + length + size > kMaxPakFileSize) return Fail("The archive would pass 4 GiB");
    if (!file_.Write(data, size)) return Fail("Cannot write entry \"" + e.Name + "\" to the archive");
    crc = UpdateCRC32(crc, data, size);
    length += size;
    return true;
  };
  TZBlockJoin join;
  bool written = put(TZBlockJoin::kHeader, TZBlockJoin::kHeaderSize, TZBlockJoin::kTrailerSize);
  try {
    // Every block is taken, also those no longer written.
    TZBlock block;
    for (uint64_t k = 0; k < blocks; ++k) {
      if (std::string fault = next(block); !fault.empty()) {
        RestoreEnd(end);
        return Fail(fault);
      }
      join.Add(block);
      written = written && put(block.Data.data(), block.Data.size(), TZBlockJoin::kTrailerSize);
    }
  } catch (...) {
    RestoreEnd(end);
    throw;
  }
  uint8_t trailer[TZBlockJoin::kTrailerSize];
  join.Trailer(trailer);
  written = written && put(trailer, sizeof trailer, 0);
  if (!written || longer) RestoreEnd(end);
  if (!written) return false;
  if (longer) return WriteEntryRaw(index);
  e.Offset = static_cast<uint32_t>(end);
  e.StoredSize = static_cast<uint32_t>(length);
  e.OriginalSize = originalSize;
  e.Crc = crc;
  return true;
}

bool TPak::WriteStoredBlock(int index, const TPakFile& packed, const Bytes& block) {
  if (!ValidIndex(index)) return false;
  TPakFile& e = Entries[index];
  e.Crc = packed.Crc;
  e.StoredSize = packed.StoredSize;
  e.OriginalSize = packed.OriginalSize;
  if (block.empty()) return true;  // nothing to store
  return AppendStored(e, block.data(), block.size());
}

Bytes TPak::PackSourceFile(int index) {
  if (!ValidIndex(index)) return {};
  Bytes contents;
  std::string reason;
  if (!ReadWholeFile(Entries[index].SourcePath, contents, reason)) {
    Fail(reason);
    return {};
  }
  return PackBuffer(index, contents.data(), contents.size());
}

int64_t TPak::EndWithRoomFor(uint64_t more) {
  if (!file_.IsOpen()) {
    if (lastError_.empty()) Fail("The archive is not open");
    return -1;
  }
  int64_t end = file_.Seek(0, SeekOrigin::End);
  if (end < 0) {
    Fail("Cannot position in the archive");
    return -1;
  }
  if (static_cast<uint64_t>(end) + more > kMaxPakFileSize) {
    Fail("The archive would pass 4 GiB");
    return -1;
  }
  return end;
}

// Cuts off what a failed write left behind, so the file is as it was.
bool TPak::RestoreEnd(int64_t end) {
  if (file_.Seek(end, SeekOrigin::Begin) == end) file_.Truncate();
  return false;
}

bool TPak::AppendStored(TPakFile& entry, const uint8_t* data, size_t size) {
  int64_t end = EndWithRoomFor(size);
  if (end < 0) return false;
  if (!file_.Write(data, size)) {
    RestoreEnd(end);
    return Fail("Cannot write entry \"" + entry.Name + "\" to the archive");
  }
  entry.Offset = static_cast<uint32_t>(end);
  return true;
}

// A large source is copied in pieces, so it is never held in memory whole.
bool TPak::AppendLargeSource(TPakFile& entry, File& source, int64_t size) {
  int64_t end = EndWithRoomFor(static_cast<uint64_t>(size));
  if (end < 0) return false;
  Bytes piece(std::min<int64_t>(size, kLargeEntryPiece));
  uint32_t crc = 0;
  for (int64_t left = size; left > 0;) {
    size_t n = static_cast<size_t>(std::min<int64_t>(left, piece.size()));
    if (source.Read(piece.data(), n) != n) {
      RestoreEnd(end);
      return Fail(CannotRead(entry.SourcePath));
    }
    crc = UpdateCRC32(crc, piece.data(), n);
    if (!file_.Write(piece.data(), n)) {
      RestoreEnd(end);
      return Fail("Cannot write entry \"" + entry.Name + "\" to the archive");
    }
    left -= static_cast<int64_t>(n);
  }
  entry.Offset = static_cast<uint32_t>(end);
  entry.StoredSize = 0;
  entry.OriginalSize = static_cast<uint32_t>(size);
  entry.Crc = crc;
  return true;
}

bool TPak::WriteEntryFile(int index) {
  if (!ValidIndex(index)) return false;
  TPakFile& e = Entries[index];
  File source;
  std::string reason;
  int64_t size = OpenSource(source, e.SourcePath, reason);
  if (size < 0) return Fail(reason);
  if (size >= kLargeEntrySize) return AppendLargeSource(e, source, size);
  source.Close();
  Bytes contents;
  if (!ReadWholeFile(e.SourcePath, contents, reason)) return Fail(reason);
  return WriteEntryData(index, contents.data(), contents.size());
}

bool TPak::WriteEntryData(int index, const void* data, size_t size) {
  if (!ValidIndex(index)) return false;
  TPakFile& e = Entries[index];
  e.OriginalSize = static_cast<uint32_t>(size);
  if (!data || size == 0) return true;  // nothing to store
  if (size > kMaxPakFileSize) return Fail("The archive would pass 4 GiB");
  auto* bytes = static_cast<const uint8_t*>(data);
  Bytes stream;
  if (Pack(e, bytes, size, stream)) return AppendStored(e, stream.data(), stream.size());
  return AppendStored(e, bytes, size);
}

bool TPak::WriteTable() {
  Bytes table;
  for (const TPakFile& e : Entries) {
    PutU16(table, static_cast<uint16_t>(e.Name.size()));
    table.insert(table.end(), e.Name.begin(), e.Name.end());
    PutU32(table, e.Crc);
    PutU32(table, e.Offset);
    PutU32(table, e.StoredSize);
    PutU32(table, e.OriginalSize);
    PutU16(table, e.Group);
  }
  int64_t end = EndWithRoomFor(table.size() + kPakTrailerSize);
  if (end < 0) return false;
  std::memcpy(Magic, kMagic, 4);
  Version = 1;
  EntryCount = static_cast<uint16_t>(Entries.size());
  TableOffset = static_cast<uint32_t>(end);
  table.insert(table.end(), kMagic, kMagic + 4);
  PutU16(table, Version);
  PutU16(table, EntryCount);
  PutU32(table, Base);
  PutU32(table, TableOffset);
  if (!file_.Write(table.data(), table.size())) {
    RestoreEnd(end);
    return Fail("Cannot write the archive's entry table");
  }
  return true;
}

// --- reading ----------------------------------------------------------------

bool TPak::CanReadStored(int index) {
  if (!KnownIndex(index)) return false;
  const TPakFile& e = Entries[index];
  uint32_t k = StoredLength(e);
  int64_t size = file_.Size();
  if (k == 0) return Fail("The entry \"" + e.Name + "\" has no stored data");
  // Never allocate for bytes the file cannot hold.
  if (size < 0 || static_cast<int64_t>(e.Offset) + k > size)
    return Fail("The data of entry \"" + e.Name + "\" (" + std::to_string(k) + " bytes at " + std::to_string(e.Offset) +
                ") run past the end of the file at " + std::to_string(size));
  if (file_.Seek(e.Offset, SeekOrigin::Begin) != e.Offset)
    return Fail("Cannot position at the data of entry \"" + e.Name + "\"");
  return true;
}

bool TPak::Allocate(Bytes& block, size_t size, const TPakFile& e) {
  try {
    THookQuietScope quiet;  // no memory for the bytes is a refusal of them
    block.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return Fail("Not enough memory to read entry \"" + e.Name + "\" (" + std::to_string(size) + " bytes)");
  }
}

bool TPak::CheckStoredCrc(const TPakFile& e, uint32_t crc) {
  if (crc == e.Crc) return true;
  char text[64];
  std::snprintf(text, sizeof text, " (CRC-32 %08X, table says %08X)", static_cast<unsigned>(crc),
                static_cast<unsigned>(e.Crc));
  return Fail("The data of entry \"" + e.Name + "\" fail their checksum" + text);
}

Bytes TPak::ReadStored(int index) {
  if (!CanReadStored(index)) return {};
  const TPakFile& e = Entries[index];
  uint32_t k = StoredLength(e);
  Bytes block;
  // The file holds these bytes, but a 32-bit process may still have no room
  // for gigabytes of them.
  if (!Allocate(block, k, e)) return {};
  if (file_.Read(block.data(), k) != k) {
    Fail("Cannot read the data of entry \"" + e.Name + "\"");
    return {};
  }
  if (!CheckStoredCrc(e, UpdateCRC32(0, block.data(), k))) return {};
  return block;
}

bool TPak::ReadStoredInPieces(int index, const PieceFn& sink, size_t pieceSize) {
  if (pieceSize == 0) return Fail("Pieces of 0 bytes");
  if (!CanReadStored(index)) return false;
  const TPakFile& e = Entries[index];
  uint32_t k = StoredLength(e);
  Bytes piece;
  if (!Allocate(piece, std::min<size_t>(k, pieceSize), e)) return false;
  uint32_t crc = 0;
  for (uint32_t left = k; left > 0;) {
    size_t n = std::min<size_t>(left, piece.size());
    if (file_.Read(piece.data(), n) != n)
      return Fail("Cannot read the data of entry \"" + e.Name + "\" at " + std::to_string(k - left) + " of " +
                  std::to_string(k) + " bytes");
    crc = UpdateCRC32(crc, piece.data(), n);
    if (sink && !sink(piece.data(), n)) return Fail("Reading of entry \"" + e.Name + "\" stopped by its receiver");
    left -= static_cast<uint32_t>(n);
  }
  return CheckStoredCrc(e, crc);
}

Bytes TPak::GetData(int index) {
  if (!KnownIndex(index)) return {};
  if (Entries[index].OriginalSize == 0) return {};  // empty contents, not a fault
  Bytes stored = ReadStored(index);
  const TPakFile& e = Entries[index];
  if (stored.empty() || e.StoredSize == 0) return stored;
  Bytes contents;
  uint64_t length = 0;
  std::string reason;
  try {
    THookQuietScope quiet;  // no memory for the contents is a refusal of them
    // No stream the writer made holds 70 MiB or more, so inflating stops
    // there: a small hostile stream cannot keep the reader busy for minutes.
    if (!ZInflate(stored.data(), stored.size(), e.OriginalSize, contents, length, reason, kLargeEntrySize - 1)) {
      // The checksum only vouches for the bytes as written, not that they
      // are a stream: a damaged entry either way.
      Fail("The data of entry \"" + e.Name + "\" do not inflate: " + reason);
      return {};
    }
  } catch (const std::bad_alloc&) {
    Fail("Not enough memory to inflate entry \"" + e.Name + "\" (" + std::to_string(e.OriginalSize) + " bytes)");
    return {};
  }
  if (length >= kLargeEntrySize) {
    Fail("The data of entry \"" + e.Name + "\" inflate to more than " + std::to_string(kLargeEntrySize - 1) +
         " bytes, not " + std::to_string(e.OriginalSize));
    return {};
  }
  if (length != e.OriginalSize) {
    Fail("The data of entry \"" + e.Name + "\" inflate to " + std::to_string(length) + " bytes, not " +
         std::to_string(e.OriginalSize));
    // The user is shown this case by name, as the installer always did.
    if (OnReport)
      OnReport(e.Name + "\r\rError: DecompSize - " + std::to_string(length) + " OrigSize - " +
               std::to_string(e.OriginalSize));
    return {};
  }
  return contents;
}

bool TPak::VerifyEntry(int index, const PieceFn& onPiece) {
  if (!KnownIndex(index)) return false;
  // Large entries are stored raw: their checksum is checked piece by piece
  // instead of holding them whole.
  const TPakFile& e = Entries[index];
  if (e.StoredSize == 0 && e.OriginalSize >= kLargeEntrySize) return ReadStoredInPieces(index, onPiece);
  return !GetData(index).empty();
}

Bytes TPak::FindFile(const std::string& name, uint16_t group, uint32_t& size) {
  size = 0;
  std::string wanted = platform::AnsiLowerCase(name);
  for (size_t i = 0; i < Entries.size(); ++i) {
    const TPakFile& e = Entries[i];
    if (e.Group == group && platform::AnsiLowerCase(e.Name) == wanted) {
      size = e.OriginalSize;
      return GetData(static_cast<int>(i));
    }
  }
  return {};
}

Bytes TPak::FindFirst(uint16_t group, uint32_t& size, bool withData, std::string& name) {
  Cursor = 0;
  size = 0;
  return FindNext(group, size, withData, name);
}

Bytes TPak::FindNext(uint16_t group, uint32_t& size, bool withData, std::string& name) {
  size = 0;
  name.clear();
  int index;
  if (!FindNextIndex(group, index)) return {};
  size = Entries[index].OriginalSize;
  name = Entries[index].Name;
  return withData ? GetData(index) : Bytes{};
}

bool TPak::FindFirstIndex(uint16_t group, int& index) {
  Cursor = 0;
  return FindNextIndex(group, index);
}

bool TPak::FindNextIndex(uint16_t group, int& index) {
  index = 0;
  for (size_t i = Cursor; i < Entries.size(); ++i) {
    if (Entries[i].Group == group) {
      index = static_cast<int>(i);
      Cursor = static_cast<uint32_t>(i + 1);
      return true;
    }
  }
  return false;
}

void TPak::ForEachInGroup(uint16_t group, const std::function<void(int)>& proc) {
  if (!proc) return;
  int index;
  for (bool found = FindFirstIndex(group, index); found; found = FindNextIndex(group, index)) proc(index);
}

int TPak::CountGrouped() const {
  size_t n = std::min<size_t>(EntryCount, Entries.size());
  return static_cast<int>(
      std::count_if(Entries.begin(), Entries.begin() + n, [](const TPakFile& e) { return e.Group != 0; }));
}

int TPak::CountInGroup(uint16_t group) const {
  size_t n = std::min<size_t>(EntryCount, Entries.size());
  return static_cast<int>(
      std::count_if(Entries.begin(), Entries.begin() + n, [group](const TPakFile& e) { return e.Group == group; }));
}
