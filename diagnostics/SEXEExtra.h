// Blocks of data appended to a program file are found through a small index
// at the end of the program: a 12-byte trailer ("EXEIND") preceded by up to
// 254 entries of 9 bytes, each naming a block by id and giving the file
// position of that block's own trailer. Nothing here writes the index: a
// post-build step may append it (scripts/make-exemap).
//
// The end of the program is the end of its file, or, for an installer (a
// base program with its installer archive appended), where that archive
// begins: the blocks the base program carries stay in front of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"

constexpr size_t kEXEExtraTrailerSize = 12;
constexpr size_t kEXEExtraEntrySize = 9;
constexpr size_t kMaxEXEExtraEntries = 254;
constexpr uint8_t kEXEMapBlockId = 1;
constexpr uint8_t kNoEXEExtra = 255;

struct TEXEExtraEntry {
  uint8_t Id = kNoEXEExtra;
  uint32_t Offset = 0;    // file position of the block's trailer
  uint32_t Reserved = 0;  // not used by the reader

  bool operator==(const TEXEExtraEntry&) const = default;
};

// The index of one program file.
class TEXEExtraIndex {
 public:
  // Reads the trailer from the 12 bytes in front of `end` (the end of the
  // program in `file`) and, when it is valid, the entries in front of it. A
  // file without a valid index, or whose index announces more entries than
  // the file holds in front of the trailer or than an index can hold, has no
  // entries: false.
  bool Read(platform::File& file, int64_t end);
  bool Read(platform::File& file) { return Read(file, file.Size()); }
  bool IsValid() const { return valid_; }
  // The first entry with `id`; id 255 and zeros when there is none.
  TEXEExtraEntry Find(uint8_t id) const;
  const std::vector<TEXEExtraEntry>& Entries() const { return entries_; }

 private:
  bool valid_ = false;
  std::vector<TEXEExtraEntry> entries_;
};

// The index of `file` (whose program ends at `end`) read afresh on each call,
// so a lookup always uses the index of the file it is about.
TEXEExtraEntry FindEXEExtra(uint8_t id, platform::File& file, int64_t end);
inline TEXEExtraEntry FindEXEExtra(uint8_t id, platform::File& file) { return FindEXEExtra(id, file, file.Size()); }

// Where the program in the file at `path` (of `fileSize` bytes) ends: in
// front of a valid installer archive at the end of the file, else at the
// end of the file.
int64_t ProgramEnd(const std::string& path, int64_t fileSize);
