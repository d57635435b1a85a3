// The container file: header, description, chain table, root table and
// blocks. The tree and the side file are in VFS_UnitTree.cpp.
#include "Global/VFS_Unit.h"

#include <algorithm>
#include <cstring>

#include "Global/DosDate.h"
#include "platform/ByteOrder.h"

using platform::SeekOrigin;

namespace {

// A size already checked against the file, as a memory size; a 32-bit
// program cannot hold every table a large file could describe.
size_t MemorySize(uint64_t size) {
  if (size > SIZE_MAX / 2) throw EVFSError("The container is too large to be read");
  return static_cast<size_t>(size);
}

}  // namespace

// --- directory entries ---------------------------------------------------

void TVFSDirEntry::WriteTo(Bytes& out) const {
  size_t n = std::min(Name.size(), kVFSNameSize);
  out.insert(out.end(), Name.begin(), Name.begin() + static_cast<std::ptrdiff_t>(n));
  out.insert(out.end(), kVFSNameSize - n + 3, 0);
  PutU32(out, Attributes);
  PutU32(out, Date);
  PutU32(out, FirstBlock);
  PutU32(out, StoredSize);
  PutU32(out, OriginalSize);
}

TVFSDirEntry TVFSDirEntry::ReadFrom(const uint8_t* p) {
  TVFSDirEntry e;
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(p, 0, kVFSNameSize));
  e.Name.assign(reinterpret_cast<const char*>(p), end ? static_cast<size_t>(end - p) : kVFSNameSize);
  e.Attributes = GetU32(p + 68);
  e.Date = GetU32(p + 72);
  e.FirstBlock = GetU32(p + 76);
  e.StoredSize = GetU32(p + 80);
  e.OriginalSize = GetU32(p + 84);
  return e;
}

// --- entry buffer --------------------------------------------------------

uint32_t TVFSFileBuffer::Read(void* destination, uint32_t count) {
  uint32_t n = std::min(count, Size() - position_);
  if (n) std::memcpy(destination, data_.data() + position_, n);
  position_ += n;
  return n;
}

uint32_t TVFSFileBuffer::ReadUInt32() {
  uint8_t b[4] = {0, 0, 0, 0};
  Read(b, 4);
  return GetU32(b);
}

int32_t TVFSFileBuffer::ReadInt32() { return static_cast<int32_t>(ReadUInt32()); }

std::string TVFSFileBuffer::ReadString(uint32_t count) {
  std::string s(std::min(count, Size() - position_), '\0');
  Read(s.data(), static_cast<uint32_t>(s.size()));
  return s;
}

// --- the container -------------------------------------------------------

TVFSFile::TVFSFile() : tree_(std::make_unique<TVFSTree>(*this)), hashFile_(std::make_unique<TVFSHashFile>(*this)) {}

TVFSFile::~TVFSFile() = default;

void TVFSFile::Damaged(const std::string& what) const {
  throw EVFSError("The container " + path_ + " is damaged: " + what);
}

void TVFSFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (Io().Seek(static_cast<int64_t>(offset), SeekOrigin::Begin) < 0 || Io().Read(buffer, size) != size)
    throw EVFSError("Unable to read the container " + path_);
}

void TVFSFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (trial_) return;
  if (!update_) BeginUpdate();
  if (Io().Seek(static_cast<int64_t>(offset), SeekOrigin::Begin) < 0 || !Io().Write(data, size))
    throw EVFSError("Unable to write the container " + path_);
}

// A kill or a power cut can cut a write anywhere, and an update writes all
// over the container (chains freed and taken again, tables, the header), so
// no order of writes in place keeps it whole. The copy costs a read and a
// write of the container, about what its checksum costs already.
void TVFSFile::BeginUpdate() {
  auto copy = std::make_unique<platform::FileReplacement>(path_);
  int64_t size = file_.Size();
  bool ok = copy->IsOpen() && size >= 0 && file_.Seek(0, SeekOrigin::Begin) == 0;
  Bytes piece(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(size, 0), kVFSCopyPiece)));
  for (int64_t done = 0; ok && done < size;) {
    size_t n = static_cast<size_t>(std::min<int64_t>(size - done, kVFSCopyPiece));
    ok = file_.Read(piece.data(), n) == n && copy->Stream().Write(piece.data(), n);
    done += static_cast<int64_t>(n);
  }
  if (!ok) throw EVFSError("Unable to write a copy of the container " + path_ + " beside it");
  update_ = std::move(copy);
}

void TVFSFile::Open(const std::string& path, bool fullTree, const ProgressFn& progress) {
  Close();
  path_ = path;
  fullTree_ = fullTree;
  if (progress) progress(0, 100);
  if (!trial_ && !platform::FileReplacement::FinishPair(path, HashFileName(path)))
    throw EVFSError("Unable to finish the earlier update of the container " + path);
  if (!file_.Open(path, trial_ ? platform::OpenMode::Read : platform::OpenMode::ReadWriteShared))
    throw EVFSError("Unable to open the container " + path);
  try {
    int64_t fileSize = file_.Size();
    if (fileSize < static_cast<int64_t>(kVFSHeaderSize + 4 + kVFSMinDescSize + 4)) Damaged("too short");
    uint64_t size = static_cast<uint64_t>(fileSize);

    uint8_t head[kVFSHeaderSize + 4];
    ReadAt(0, head, sizeof head);
    TVFSHeader& h = Header;
    h.Id = GetU32(head);
    h.BlockSize = GetU32(head + 4);
    h.BlockCount = GetU32(head + 8);
    h.EntryCount = GetU32(head + 12);
    for (int i = 0; i < 3; ++i) h.Reserved[i] = GetU32(head + 16 + 4 * i);
    std::memcpy(h.MD5, head + 28, sizeof h.MD5);
    h.DescSize = GetU32(head + 44);
    // Every size is checked against the file before anything is allocated
    // from it, so a damaged header costs nothing.
    if (h.DescSize < kVFSMinDescSize) Damaged("description size below 256");
    ChainTableStart = 52 + uint64_t{h.DescSize};
    RootTableStart = ChainTableStart + uint64_t{h.BlockCount} * kVFSChainEntrySize;
    DataStart = RootTableStart + uint64_t{h.EntryCount} * kVFSDirEntrySize;
    if (h.BlockCount > 0 && h.BlockSize == 0) Damaged("block size 0");
    // Block numbers and root slots are signed 32-bit in memory and on disk.
    if (h.BlockCount > INT32_MAX || h.EntryCount > INT32_MAX) Damaged("table sizes out of range");
    if (DataStart > size || uint64_t{h.BlockCount} * h.BlockSize > size - DataStart)
      Damaged("shorter than its tables and blocks");

    Bytes desc(MemorySize(uint64_t{h.DescSize} + 4));
    ReadAt(kVFSHeaderSize + 4, desc.data(), desc.size());
    h.Description.assign(reinterpret_cast<const char*>(desc.data()), kVFSMinDescSize);
    h.DescExtra.assign(desc.begin() + kVFSMinDescSize, desc.end() - 4);
    h.UsedBlocks = GetU32(desc.data() + h.DescSize);

    uint64_t total = uint64_t{h.BlockCount} + h.EntryCount;
    if (progress) progress(0, total);

    Bytes table(MemorySize(uint64_t{h.BlockCount} * kVFSChainEntrySize));
    ReadAt(ChainTableStart, table.data(), table.size());
    Chain.resize(h.BlockCount);
    freeBlocks_ = 0;
    for (uint32_t i = 0; i < h.BlockCount; ++i) {
      Chain[i].Used = GetU32(&table[i * kVFSChainEntrySize]);
      Chain[i].Next = static_cast<int32_t>(GetU32(&table[i * kVFSChainEntrySize + 4]));
      if (Chain[i].Free()) ++freeBlocks_;
      if (progress) progress(i, total);
    }

    table.assign(MemorySize(uint64_t{h.EntryCount} * kVFSDirEntrySize), 0);
    ReadAt(RootTableStart, table.data(), table.size());
    RootTable.resize(h.EntryCount);
    claimed_.assign(h.BlockCount, false);
    for (uint32_t c = 0; c < h.EntryCount; ++c) {
      RootTable[c] = TVFSDirEntry::ReadFrom(&table[c * kVFSDirEntrySize]);
      if (!RootTable[c].Name.empty()) {
        ClaimChain(RootTable[c]);
        tree_->AddNode(RootTable[c], -1, static_cast<int32_t>(c));
      }
      if (progress) progress(uint64_t{h.BlockCount} + c, total);
    }

    if (fullTree)
      tree_->LoadChildren(0);
    else
      hashFile_->Load();
    claimed_ = {};
  } catch (...) {
    Close();
    throw;
  }
}

void TVFSFile::OpenTrial(const std::string& path) {
  trial_ = true;
  Open(path, true);
}

uint64_t TVFSFile::BlocksFor(uint64_t size) const {
  uint64_t bs = Header.BlockSize ? Header.BlockSize : 1;
  return size == 0 ? 1 : (size + bs - 1) / bs;
}

int32_t TVFSFile::NextBlock(uint32_t block) const {
  if (block < 1 || block > Chain.size() || Chain[block - 1].Free()) Damaged("a chain runs into a free block");
  int32_t next = Chain[block - 1].Next;
  if (next != kVFSChainEnd && (next < 1 || static_cast<uint32_t>(next) > Chain.size()))
    Damaged("a chain leaves the block table");
  return next;
}

void TVFSFile::ClaimChain(const TVFSDirEntry& entry) {
  uint64_t blocks = 0;
  int32_t block = static_cast<int32_t>(entry.FirstBlock);
  if (entry.FirstBlock < 1 || entry.FirstBlock > Chain.size()) Damaged(entry.Name + " has no valid first block");
  // Each step claims a block not claimed before, so the walk ends within
  // the table even on a looping chain.
  while (block != kVFSChainEnd) {
    uint32_t b = static_cast<uint32_t>(block);
    int32_t next = NextBlock(b);
    if (claimed_[b - 1]) Damaged(entry.Name + " shares blocks with another entry");
    claimed_[b - 1] = true;
    ++blocks;
    block = next;
  }
  if (blocks * Header.BlockSize < entry.StoredSize) Damaged(entry.Name + " has a chain too short for its data");
}

uint64_t TVFSFile::ChainLength(uint32_t firstBlock) const {
  uint64_t blocks = 0;
  for (int32_t b = static_cast<int32_t>(firstBlock); b != kVFSChainEnd; b = NextBlock(static_cast<uint32_t>(b)))
    if (++blocks > Chain.size()) Damaged("a chain loops");
  return blocks;
}

std::unique_ptr<TVFSFileBuffer> TVFSFile::ReadFileData(const TVFSDirEntry& entry) {
  if (entry.StoredSize == 0) return nullptr;
  if (entry.StoredSize > uint64_t{Header.BlockSize} * Header.BlockCount)
    Damaged(entry.Name + " is larger than the container");
  Bytes data(entry.StoredSize);
  uint64_t done = 0;
  int32_t block = static_cast<int32_t>(entry.FirstBlock);
  // Every block read adds at least one byte, so this ends.
  while (done < data.size() && block != kVFSChainEnd) {
    uint32_t b = static_cast<uint32_t>(block);
    int32_t next = NextBlock(b);
    size_t n = static_cast<size_t>(std::min<uint64_t>(data.size() - done, Header.BlockSize));
    ReadAt(DataStart + uint64_t{b - 1} * Header.BlockSize, data.data() + done, n);
    done += n;
    block = next;
  }
  if (done < data.size()) Damaged(entry.Name + " has a chain too short for its data");
  return std::make_unique<TVFSFileBuffer>(std::move(data));
}

int64_t TVFSFile::FindFreeBlock(bool skipFirst) {
  bool skipped = false;
  for (size_t i = freeHint_; i < Chain.size(); ++i) {
    if (!Chain[i].Free()) continue;
    if (!skipped) freeHint_ = i;
    if (!skipFirst || skipped) return static_cast<int64_t>(i);
    skipped = true;
  }
  return -1;
}

void TVFSFile::SetChainEntry(uint32_t block, TVFSChainEntry entry) {
  TVFSChainEntry& slot = Chain[block - 1];
  if (slot.Free() && !entry.Free()) --freeBlocks_;
  if (!slot.Free() && entry.Free()) {
    ++freeBlocks_;
    freeHint_ = std::min<size_t>(freeHint_, block - 1);
  }
  Bytes raw;
  PutU32(raw, entry.Used);
  PutU32(raw, static_cast<uint32_t>(entry.Next));
  WriteAt(ChainTableStart + uint64_t{block - 1} * kVFSChainEntrySize, raw.data(), raw.size());
  slot = entry;
}

// Writes `size` bytes (at most one block) into the block, zeros after them
// (zeros only without data).
void TVFSFile::WriteBlock(uint32_t block, const uint8_t* data, uint64_t size) {
  blockBuffer_.assign(Header.BlockSize, 0);
  if (size && data) std::memcpy(blockBuffer_.data(), data, static_cast<size_t>(size));
  WriteAt(DataStart + uint64_t{block - 1} * Header.BlockSize, blockBuffer_.data(), blockBuffer_.size());
}

void TVFSFile::WriteFile(TVFSDirEntry& entry, const uint8_t* data, uint32_t size) {
  if (size == 0 && data) throw EVFSError("WriteFile: Error Buffer is Assigned but size is 0");
  // Refused before anything is written: a chain must never end in a free
  // block or run past the table for want of room. A trial takes the blocks
  // it lacks past the end, which counts what is missing at the worst point.
  uint64_t needed = BlocksFor(size);
  if (needed > freeBlocks_ && !trial_) throw EVFSError("Not enough free blocks in the container " + path_);
  if (needed > freeBlocks_) {
    Chain.resize(Chain.size() + static_cast<size_t>(needed - freeBlocks_));
    freeBlocks_ = static_cast<uint32_t>(needed);
  }
  entry.FirstBlock = static_cast<uint32_t>(FindFreeBlock(false) + 1);
  entry.StoredSize = size;
  entry.Date = TodayDosDate();
  uint64_t written = 0;
  uint32_t block = entry.FirstBlock;
  do {
    // The current block is still free here, so the second free block is
    // the one after it.
    int32_t next = written + Header.BlockSize < size ? static_cast<int32_t>(FindFreeBlock(true) + 1) : kVFSChainEnd;
    SetChainEntry(block, {1, next});
    WriteBlock(block, data ? data + written : nullptr, std::min<uint64_t>(Header.BlockSize, size - written));
    ++Header.UsedBlocks;
    written += Header.BlockSize;
    block = static_cast<uint32_t>(next);
  } while (written < size);
}

void TVFSFile::RewriteFileData(TVFSDirEntry& entry, const uint8_t* data, uint32_t size) {
  if (size != entry.StoredSize) throw EVFSError("RewriteFileData: size differs from the stored size");
  entry.Date = TodayDosDate();
  uint64_t written = 0;
  int32_t block = static_cast<int32_t>(entry.FirstBlock);
  do {
    if (block == kVFSChainEnd) Damaged(entry.Name + " has a chain too short for its data");
    int32_t next = NextBlock(static_cast<uint32_t>(block));
    WriteBlock(static_cast<uint32_t>(block), data ? data + written : nullptr,
               std::min<uint64_t>(Header.BlockSize, size - written));
    written += Header.BlockSize;
    block = next;
  } while (written < size);
}

void TVFSFile::FreeChain(const TVFSDirEntry& entry) {
  // The length first: a damaged chain is refused before any block is freed.
  uint64_t blocks = ChainLength(entry.FirstBlock);
  uint32_t block = entry.FirstBlock;
  for (uint64_t i = 0; i < blocks; ++i) {
    int32_t next = Chain[block - 1].Next;
    SetChainEntry(block, {0, 0});
    --Header.UsedBlocks;
    block = static_cast<uint32_t>(next);
  }
}

void TVFSFile::WriteRootSlot(uint32_t slot) {
  Bytes raw;
  RootTable[slot].WriteTo(raw);
  WriteAt(RootTableStart + uint64_t{slot} * kVFSDirEntrySize, raw.data(), raw.size());
}

void TVFSFile::ComputeMD5() {
  int64_t end = Io().Size();
  if (end < static_cast<int64_t>(kVFSHeaderSize)) throw EVFSError("Unable to read the container " + path_);
  platform::MD5Hash hash;
  // Without a provider the previous checksum stays, as read by Open.
  if (!hash.Ready()) return;
  Bytes piece(static_cast<size_t>(std::min<int64_t>(end - static_cast<int64_t>(kVFSHeaderSize), kVFSHashPiece)));
  for (int64_t pos = kVFSHeaderSize; pos < end;) {
    size_t n = static_cast<size_t>(std::min<int64_t>(end - pos, kVFSHashPiece));
    ReadAt(static_cast<uint64_t>(pos), piece.data(), n);
    if (!hash.Update(piece.data(), n)) throw EVFSError("MD5 Error");
    pos += static_cast<int64_t>(n);
  }
  uint8_t digest[platform::kMD5Size];
  if (hash.Finish(digest)) std::memcpy(Header.MD5, digest, sizeof digest);
}

void TVFSFile::Save(bool zeroChecksum) {
  TVFSHeader& h = Header;
  // The description part: its size, the text (zeros past its end), the
  // extra bytes, the used-block count.
  Bytes out;
  PutU32(out, h.DescSize);
  std::string text = h.Description;
  text.resize(kVFSMinDescSize, '\0');
  out.insert(out.end(), text.begin(), text.end());
  Bytes extra = h.DescExtra;
  extra.resize(h.DescSize - kVFSMinDescSize, 0);
  out.insert(out.end(), extra.begin(), extra.end());
  PutU32(out, h.UsedBlocks);
  WriteAt(kVFSHeaderSize, out.data(), out.size());

  if (zeroChecksum)
    std::memset(h.MD5, 0, sizeof h.MD5);
  else
    ComputeMD5();

  Bytes head;
  PutU32(head, h.Id);
  PutU32(head, h.BlockSize);
  PutU32(head, h.BlockCount);
  PutU32(head, h.EntryCount);
  for (uint32_t r : h.Reserved) PutU32(head, r);
  head.insert(head.end(), h.MD5, h.MD5 + sizeof h.MD5);
  WriteAt(0, head.data(), head.size());

  if (fullTree_)
    tree_->SaveHashTable();
  else
    hashFile_->Save();
}

namespace {

Bytes SideFileBytes(const std::vector<TVFSHashRecord>& records) {
  Bytes out;
  out.reserve(4 + records.size() * kVFSHashRecordSize);
  PutU32(out, static_cast<uint32_t>(records.size()));
  for (const TVFSHashRecord& r : records) {
    PutU32(out, r.Hash);
    PutU32(out, r.Attributes);
    PutU32(out, r.StoredSize);
    PutU32(out, r.OriginalSize);
    PutU32(out, r.FirstBlock);
    out.push_back(r.Unique);
  }
  return out;
}

}  // namespace

void TVFSFile::CommitUpdate(const std::vector<TVFSHashRecord>* sideFile) {
  if (trial_) return;
  if (!update_) BeginUpdate();
  const std::string side = HashFileName(path_);
  // Nothing of ours may hold the container when it is replaced.
  file_.Close();
  bool done;
  if (sideFile && !sideFile->empty()) {
    Bytes out = SideFileBytes(*sideFile);
    platform::FileReplacement table(side);
    done = table.IsOpen() && table.Stream().Write(out.data(), out.size()) && update_->CommitPair(table);
  } else {
    // A container without files has no side file. Should the run end
    // between the two steps, the old one stays beside the new container;
    // an update always leaves a file in it, so only a container that had
    // none and gained none gets here.
    done = update_->Commit() && (!sideFile || !platform::FileExists(side) || platform::RemoveFile(side));
  }
  update_.reset();
  if (!done) {
    Close();
    throw EVFSError("Unable to replace the container " + path_ + " and its hash file " + side);
  }
  if (!file_.Open(path_, platform::OpenMode::ReadWriteShared)) {
    Close();
    throw EVFSError("Unable to open the container " + path_);
  }
}

void TVFSFile::Close() {
  update_.reset();
  tree_->Clear();
  hashFile_->Clear();
  RootTable.clear();
  Chain.clear();
  claimed_.clear();
  blockBuffer_ = {};
  freeBlocks_ = 0;
  freeHint_ = 0;
  file_.Close();
}
