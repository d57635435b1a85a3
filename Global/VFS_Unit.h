// Virtual-file containers: one file that holds a small file system of the
// game's own. A header with an MD5 over the rest, a description, a table that
// links equal-sized blocks into chains, a root directory table with a fixed
// number of slots, then the blocks. Every file and directory owns one chain;
// a directory's data is the table of its children. The container never grows:
// adding works inside the block and slot counts fixed in its header.
//
// Changes are made as they come (chains, blocks, directory tables, root
// entries), but in a copy beside the container: Save brings the used-block
// count and the checksum up to date in the copy, then the copy and a new
// ".ht" side file replace the container and its side file as a pair. A run
// that ends any other way, killed or not, leaves the pair as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Global/ZCodec.h"
#include "platform/File.h"
#include "platform/FileReplacement.h"
#include "platform/MD5.h"

constexpr size_t kVFSHeaderSize = 44;      // up to and including the MD5
constexpr uint32_t kVFSMinDescSize = 256;  // the fixed description text
constexpr size_t kVFSChainEntrySize = 8;
constexpr size_t kVFSDirEntrySize = 88;
constexpr size_t kVFSNameSize = 65;  // no terminator at full length
constexpr size_t kVFSHashRecordSize = 21;
constexpr uint32_t kVFSAttrFile = 1;
constexpr uint32_t kVFSAttrDirectory = 2;
constexpr uint32_t kVFSAttrCompressed = 8;
constexpr int32_t kVFSChainEnd = -1;        // next field of a chain's last block
constexpr uint32_t kVFSPieceInput = 50000;  // input bytes per compressed piece
constexpr size_t kVFSHashPiece = 262144;    // bytes read per checksum step
constexpr size_t kVFSCopyPiece = 1 << 20;   // bytes per step of the copy an update is made in
// Paths inside a container that no real game tree comes near; a longer one
// marks a damaged container (and bounds what a hostile nesting can cost).
constexpr size_t kMaxVFSPath = 4096;

// A container operation that cannot be carried out: damaged or unreadable
// container, no room left, a path that cannot be stored, a failed write.
// Nothing is changed when an add is refused for room or path.
class EVFSError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TVFSHeader {
  uint32_t Id = 0;  // not checked, written back as read
  uint32_t BlockSize = 0;
  uint32_t BlockCount = 0;
  uint32_t EntryCount = 0;  // root table slots
  uint32_t Reserved[3] = {0, 0, 0};
  uint8_t MD5[platform::kMD5Size] = {};
  uint32_t DescSize = kVFSMinDescSize;
  std::string Description = std::string(kVFSMinDescSize, '\0');  // NUL bytes kept
  Bytes DescExtra;                                               // DescSize - 256 bytes
  uint32_t UsedBlocks = 0;
};

struct TVFSChainEntry {
  uint32_t Used = 0;  // 1 while the block belongs to a chain
  int32_t Next = 0;   // 1-based next block, kVFSChainEnd, or 0 on a free block

  bool Free() const { return Next == 0; }
};

// One directory entry, as in the root table and in directories' data.
struct TVFSDirEntry {
  std::string Name;  // at most kVFSNameSize bytes; empty marks a free root slot
  uint32_t Attributes = 0;
  uint32_t Date = 0;        // MS-DOS date-time, always at midnight
  uint32_t FirstBlock = 0;  // 1-based
  uint32_t StoredSize = 0;
  uint32_t OriginalSize = 0;  // length before compression; 0 when raw

  // All bits of the mask set.
  bool Has(uint32_t mask) const { return (Attributes & mask) == mask; }
  bool IsFile() const { return Has(kVFSAttrFile); }
  bool IsDirectory() const { return Has(kVFSAttrDirectory); }

  // kVFSDirEntrySize bytes: name NUL-padded (cut to 65), 3 zero bytes, then
  // the five fields.
  void WriteTo(Bytes& out) const;
  static TVFSDirEntry ReadFrom(const uint8_t* p);
};

// A copy of one entry's stored bytes with a read position.
class TVFSFileBuffer {
 public:
  TVFSFileBuffer(const uint8_t* bytes, uint32_t size) : data_(bytes, bytes + size) {}
  explicit TVFSFileBuffer(Bytes bytes) : data_(std::move(bytes)) {}

  // Copies up to `count` bytes (what is left), advancing; 0 at the end.
  uint32_t Read(void* destination, uint32_t count);
  // Little-endian 4-byte reads; missing bytes read as 0.
  int32_t ReadInt32();
  uint32_t ReadUInt32();
  std::string ReadString(uint32_t count);

  uint32_t Size() const { return static_cast<uint32_t>(data_.size()); }
  uint32_t Position() const { return position_; }
  const Bytes& Data() const { return data_; }

 private:
  Bytes data_;
  uint32_t position_ = 0;
};

// One node of the tree: a file or directory of the container.
struct TTreeFileInfo {
  int32_t Index = -1;             // own slot; -1 marks a free slot
  std::string Path;               // parent's path, "\" and the name; the bare name at the root
  TVFSDirEntry* Entry = nullptr;  // the root table slot, or OwnEntry
  std::unique_ptr<TVFSDirEntry> OwnEntry;
  std::vector<int32_t> Children;  // node slots; -1 marks a free child slot
  int32_t Parent = -1;            // -1 for a root entry
  int32_t RootSlot = -1;          // slot in the root table; -1 below the root
};

// One line of the ".ht" side file.
struct TVFSHashRecord {
  uint32_t Hash = 0;
  uint32_t Attributes = 0;
  uint32_t StoredSize = 0;
  uint32_t OriginalSize = 0;
  uint32_t FirstBlock = 0;
  uint8_t Unique = 1;  // 0 when another file's path hashes alike
};

// The sdbm string hash of a path text, modulo 2^32.
uint32_t PathHash(const std::string& text);
// The side file of a container: its extension replaced by ".ht", or ".ht"
// appended when it has none.
std::string HashFileName(const std::string& containerPath);

class TVFSFile;

// The in-memory directory tree of an open container and the operations that
// change the container through it.
class TVFSTree {
 public:
  explicit TVFSTree(TVFSFile& file) : file_(file) {}

  // A new node for `entry` below `parent` (-1 at the root, where the entry
  // already sits in root table slot `rootSlot`); returns its slot.
  int32_t AddNode(const TVFSDirEntry& entry, int32_t parent, int32_t rootSlot);
  // Reads every directory's children from slot `first` on, breadth first.
  // Used while opening: each chain is checked before its data is read.
  void LoadChildren(int32_t first);
  int32_t FindByPath(const std::string& path) const;
  int32_t FindChild(const std::string& name, int32_t parent) const;
  uint32_t FileCount() const;
  void DeleteByPath(const std::string& path, bool defer);
  // Deletes the node and everything below it. With `defer`, a node below the
  // root leaves the rewrite of its parent's table to the caller. Like every
  // change, refused on a container opened without its whole tree.
  void DeleteNode(int32_t slot, bool defer);
  void FreeChain(int32_t slot);
  Bytes BuildChildTable(int32_t slot) const;
  // Writes the table of the directory that holds `slot`, climbing to the
  // root while a directory's own entry changes.
  void WriteParentTable(int32_t slot);
  void WriteRootEntry(int32_t slot);
  int32_t CreateNewFileDir(int32_t parent, const std::string& name, uint32_t attributes, bool write,
                           uint32_t firstBlock, uint32_t storedSize, uint32_t originalSize, uint32_t date);
  // The directory `name` below `parent`, created when missing. A file of that
  // name is never taken for the directory.
  int32_t FindOrCreateDir(int32_t parent, const std::string& name);
  // Pieces of up to 50,000 input bytes, each a u32 length and a zlib stream;
  // empty when the result would be longer than the input.
  static Bytes InternalCompressFile(const uint8_t* data, uint32_t size);
  // Stores a file's data in a new chain, compressed when that is not longer.
  void SetFileData(TVFSDirEntry& entry, const uint8_t* data, uint32_t size);
  // Adds or replaces the file at `path` (relative, "\" separated), creating
  // missing directories; returns its slot. Refused with EVFSError, before
  // anything is written, when the path cannot be stored or the container has
  // too few free blocks or root slots left.
  int32_t AddVFSFile(const std::string& path, const uint8_t* data, uint32_t size);
  // AddVFSFile with the data's stored form given: its compressed pieces, or
  // none to store it raw. A trial may give the size without the data.
  int32_t AddStoredFile(const std::string& path, const uint8_t* data, uint32_t size, const Bytes& packed);
  // Rebuilds the side file from the files of the tree, putting it in place
  // with the container (TVFSFile::CommitUpdate).
  void SaveHashTable();
  void Clear();

  std::vector<TTreeFileInfo> Nodes;

 private:
  struct Target;
  Target SplitTarget(const std::string& path) const;
  void StoreFileData(TVFSDirEntry& entry, const uint8_t* data, uint32_t size, const Bytes& packed);
  void CheckRoom(const std::string& path, int32_t parent, size_t dirsToCreate, int32_t replaced,
                 uint32_t storedSize) const;
  uint64_t SubtreeBlocks(int32_t slot) const;
  size_t ChildCount(int32_t slot) const;
  void RequireWholeTree() const;

  TVFSFile& file_;
  size_t freeHint_ = 0;  // no free node slot below this one
};

// The records of a side file as loaded, for a container opened without the
// whole tree.
class TVFSHashFile {
 public:
  explicit TVFSHashFile(TVFSFile& file) : file_(file) {}

  // Reads the side file when it exists and is whole; otherwise there are no
  // records and nothing is loaded (a damaged side file is not an error: the
  // container can be used without it). Never throws, and allocates only
  // after checking that the file holds the records its count claims.
  void Load();
  // Writes back what was loaded (nothing when nothing was), putting it in
  // place with the container (TVFSFile::CommitUpdate).
  void Save();
  void Clear();
  bool Loaded() const { return loaded_; }

  std::vector<TVFSHashRecord> Records;

 private:
  TVFSFile& file_;
  bool loaded_ = false;
};

class TVFSFile {
 public:
  using ProgressFn = std::function<void(uint64_t position, uint64_t total)>;

  TVFSFile();
  ~TVFSFile();
  TVFSFile(const TVFSFile&) = delete;
  TVFSFile& operator=(const TVFSFile&) = delete;

  // Opens the container read-write (shared). With `fullTree` every directory
  // is loaded, else the side file. What an update cut short between putting
  // the container and its side file in place left is finished first (see
  // CommitUpdate). EVFSError when the file cannot be opened
  // or is not a whole, consistent container, its text naming the container
  // and what did not fit; the object is then closed. Every table size taken
  // from the header is checked against the file before it is allocated,
  // and nothing outside the file is read.
  void Open(const std::string& path, bool fullTree, const ProgressFn& progress = nullptr);
  // Opens the container with its whole tree for a trial of changes: they
  // are made in memory only and nothing is written, and where the real
  // container would run out of free blocks the block table grows past its
  // end instead, so that BlocksShort tells how many more the changes need.
  void OpenTrial(const std::string& path);
  // Blocks a trial took past the end of the block table; 0 when the
  // changes fit (and always outside a trial).
  uint64_t BlocksShort() const { return Chain.size() > Header.BlockCount ? Chain.size() - Header.BlockCount : 0; }
  bool Trial() const { return trial_; }
  // The entry's stored bytes (nothing decompressed); none when it has none.
  // EVFSError (the container damaged) when the entry claims more than the
  // container holds or its chain ends before its data; never allocates
  // beyond the container's own size.
  std::unique_ptr<TVFSFileBuffer> ReadFileData(const TVFSDirEntry& entry);
  // 0-based index of the first free block, or of the second with
  // `skipFirst`; -1 when there is none.
  int64_t FindFreeBlock(bool skipFirst);
  // A new chain of the lowest free blocks holding the data (one block of
  // zeros for size 0); sets the entry's first block, stored size and date.
  void WriteFile(TVFSDirEntry& entry, const uint8_t* data, uint32_t size);
  // Writes over the entry's chain; `size` is its stored size.
  void RewriteFileData(TVFSDirEntry& entry, const uint8_t* data, uint32_t size);
  // Marks the entry's chain free; the blocks keep their contents.
  void FreeChain(const TVFSDirEntry& entry);
  // Brings the used-block count and the checksum up to date and puts the
  // changed container in place with its side file. EVFSError when that
  // fails: the container and its side file are then as they were (or the
  // pair is completed by the next Open) and this object is closed.
  void Save(bool zeroChecksum);
  void ComputeMD5();
  // Closes the container; changes made since the last Save are dropped
  // with the copy they were made in.
  void Close();
  // Makes the copy beside the container that changes go to until Save; the
  // first change makes it otherwise. EVFSError when it cannot be written
  // (a disk without room for it), before anything else is.
  void BeginUpdate();
  // Puts the copy the changes were made in in the container's place, with
  // a side file of `sideFile` (none at all when it is empty) or, without
  // it, the side file as it is. The side file is on disk before the
  // container is replaced and takes its place right after, so that a kill
  // in between leaves only the side file's aside file, which the next Open
  // puts in place.
  void CommitUpdate(const std::vector<TVFSHashRecord>* sideFile);

  // Writes root table slot `slot` as it is in memory.
  void WriteRootSlot(uint32_t slot);
  uint32_t FreeBlocks() const { return freeBlocks_; }
  // Blocks a chain of `size` bytes takes (at least one).
  uint64_t BlocksFor(uint64_t size) const;
  uint64_t ChainLength(uint32_t firstBlock) const;
  // Marks the entry's chain as owned while the container is opened; a chain
  // that leaves the table, runs into a free block, meets a block owned
  // before or is too short for its data makes the container damaged.
  void ClaimChain(const TVFSDirEntry& entry);

  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& Path() const { return path_; }
  bool FullTree() const { return fullTree_; }
  TVFSTree& Tree() { return *tree_; }
  TVFSHashFile& HashFile() { return *hashFile_; }
  [[noreturn]] void Damaged(const std::string& what) const;

  TVFSHeader Header;
  std::vector<TVFSDirEntry> RootTable;
  std::vector<TVFSChainEntry> Chain;
  uint64_t ChainTableStart = 0;  // H
  uint64_t RootTableStart = 0;
  uint64_t DataStart = 0;  // D

 private:
  // The copy changes go to once there is one, else the container.
  platform::File& Io() { return update_ ? update_->Stream() : file_; }
  void ReadAt(uint64_t offset, void* buffer, size_t size);
  void WriteAt(uint64_t offset, const void* data, size_t size);
  void SetChainEntry(uint32_t block, TVFSChainEntry entry);
  // The block after `block` in its chain, or kVFSChainEnd.
  int32_t NextBlock(uint32_t block) const;
  void WriteBlock(uint32_t block, const uint8_t* data, uint64_t size);

  platform::File file_;
  std::unique_ptr<platform::FileReplacement> update_;  // from the first change to Save
  std::string path_;
  bool fullTree_ = false;
  bool trial_ = false;
  uint32_t freeBlocks_ = 0;
  size_t freeHint_ = 0;        // no free block below this index
  std::vector<bool> claimed_;  // blocks seen in chains while opening
  Bytes blockBuffer_;
  std::unique_ptr<TVFSTree> tree_;
  std::unique_ptr<TVFSHashFile> hashFile_;
};
