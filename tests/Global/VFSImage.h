// Test side of the container format: building container files by hand, and
// an independent decoder that checks a container's consistency (chains,
// tables, used-block count) and gives back every entry with its data.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Global/ZCodec.h"
#include "platform/ByteOrder.h"
#include "platform/File.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

namespace vfs_test {

using testing_support::Random;
using testing_support::Text;

struct ChainCell {
  uint32_t used = 0;
  int32_t next = 0;
};

inline Bytes RawEntry(const std::string& name, uint32_t attributes, uint32_t first, uint32_t stored,
                      uint32_t original = 0, uint32_t date = 0x58210000) {
  Bytes e(name.begin(), name.begin() + std::min<size_t>(name.size(), 65));
  e.resize(68, 0);
  PutU32(e, attributes);
  PutU32(e, date);
  PutU32(e, first);
  PutU32(e, stored);
  PutU32(e, original);
  return e;
}

// A container laid out field by field; blocks and slots not given are free
// and zero.
struct Layout {
  uint32_t id = 0x21534656;
  uint32_t blockSize = 64;
  uint32_t blockCount = 32;
  uint32_t entryCount = 8;
  uint32_t reserved[3] = {0x11111111, 0x22222222, 0x33333333};
  uint8_t md5[16] = {0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5};
  std::string description = std::string("Test container\0\x01\x02 tail", 23);
  Bytes extra;  // DescSize = 256 + its size, unless descSize is set
  uint32_t descSize = 0;
  uint32_t usedBlocks = 0;
  std::map<uint32_t, ChainCell> chain;  // 1-based block -> cell
  std::map<uint32_t, Bytes> root;       // slot -> raw 88-byte entry
  std::map<uint32_t, Bytes> blocks;     // 1-based block -> content

  // Puts `data` into the given blocks as one chain.
  void Put(const std::vector<uint32_t>& chainBlocks, const Bytes& data) {
    for (size_t i = 0; i < chainBlocks.size(); ++i) {
      int32_t next = i + 1 < chainBlocks.size() ? static_cast<int32_t>(chainBlocks[i + 1]) : -1;
      chain[chainBlocks[i]] = {1, next};
      size_t from = std::min(data.size(), i * blockSize);
      size_t to = std::min(data.size(), from + blockSize);
      blocks[chainBlocks[i]] =
          Bytes(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(to));
      ++usedBlocks;
    }
  }

  Bytes Build() const {
    Bytes out;
    PutU32(out, id);
    PutU32(out, blockSize);
    PutU32(out, blockCount);
    PutU32(out, entryCount);
    for (uint32_t r : reserved) PutU32(out, r);
    out.insert(out.end(), md5, md5 + 16);
    PutU32(out, descSize ? descSize : 256 + static_cast<uint32_t>(extra.size()));
    Bytes desc(description.begin(), description.end());
    desc.resize(256, 0);
    out.insert(out.end(), desc.begin(), desc.end());
    out.insert(out.end(), extra.begin(), extra.end());
    PutU32(out, usedBlocks);
    for (uint32_t b = 1; b <= blockCount; ++b) {
      auto it = chain.find(b);
      ChainCell c = it == chain.end() ? ChainCell{} : it->second;
      PutU32(out, c.used);
      PutU32(out, static_cast<uint32_t>(c.next));
    }
    for (uint32_t s = 0; s < entryCount; ++s) {
      auto it = root.find(s);
      Bytes e = it == root.end() ? Bytes(88, 0) : it->second;
      out.insert(out.end(), e.begin(), e.end());
    }
    for (uint32_t b = 1; b <= blockCount; ++b) {
      auto it = blocks.find(b);
      Bytes block = it == blocks.end() ? Bytes{} : it->second;
      block.resize(blockSize, 0);
      out.insert(out.end(), block.begin(), block.end());
    }
    return out;
  }
};

struct Entry {
  std::string path;  // "\" separated
  uint32_t attributes = 0, date = 0, first = 0, stored = 0, original = 0;
  std::vector<uint32_t> blocks;  // the chain
  Bytes data;                    // stored bytes
};

// Everything a container holds, decoded without the code under test.
struct Decoded {
  uint32_t blockSize = 0, blockCount = 0, entryCount = 0, descSize = 0, usedBlocks = 0;
  size_t chainStart = 0, rootStart = 0, dataStart = 0;
  std::vector<ChainCell> chain;
  std::vector<std::string> rootNames;  // per slot, "" when free
  std::vector<Entry> entries;          // root slots in order, then breadth first
  std::map<std::string, size_t> byPath;

  const Entry* Find(const std::string& path) const {
    auto it = byPath.find(path);
    return it == byPath.end() ? nullptr : &entries[it->second];
  }
  size_t FreeBlocks() const {
    size_t n = 0;
    for (const ChainCell& c : chain) n += c.next == 0;
    return n;
  }
};

// Decodes and checks: every entry's chain lies in the table, ends in -1,
// shares no block and covers exactly the blocks its data needs; the rest of
// a last block is zero; every used block belongs to an entry; the header's
// used-block count matches (unless the container was not saved).
inline Decoded Decode(const Bytes& file, bool expectSavedCount = true) {
  Decoded d;
  d.blockSize = GetU32(&file[4]);
  d.blockCount = GetU32(&file[8]);
  d.entryCount = GetU32(&file[12]);
  d.descSize = GetU32(&file[44]);
  d.usedBlocks = GetU32(&file[48 + d.descSize]);
  d.chainStart = 52 + d.descSize;
  d.rootStart = d.chainStart + 8 * d.blockCount;
  d.dataStart = d.rootStart + 88 * d.entryCount;
  EXPECT_EQ(file.size(), d.dataStart + size_t{d.blockSize} * d.blockCount) << "container size changed";
  for (uint32_t i = 0; i < d.blockCount; ++i)
    d.chain.push_back(
        {GetU32(&file[d.chainStart + 8 * i]), static_cast<int32_t>(GetU32(&file[d.chainStart + 8 * i + 4]))});

  std::vector<bool> owned(d.blockCount, false);
  auto readEntry = [&](const uint8_t* p, const std::string& parentPath) {
    Entry e;
    std::string name(reinterpret_cast<const char*>(p), 65);
    name = name.substr(0, name.find('\0'));
    e.path = parentPath.empty() ? name : parentPath + "\\" + name;
    EXPECT_EQ(p[65] | p[66] | p[67], 0) << e.path << ": padding";
    e.attributes = GetU32(p + 68);
    e.date = GetU32(p + 72);
    e.first = GetU32(p + 76);
    e.stored = GetU32(p + 80);
    e.original = GetU32(p + 84);
    int32_t b = static_cast<int32_t>(e.first);
    while (b != -1) {
      if (b < 1 || static_cast<uint32_t>(b) > d.blockCount || owned[b - 1] || d.chain[b - 1].next == 0) {
        ADD_FAILURE() << e.path << ": broken chain at block " << b;
        break;
      }
      owned[b - 1] = true;
      EXPECT_EQ(d.chain[b - 1].used, 1u) << e.path;
      e.blocks.push_back(static_cast<uint32_t>(b));
      b = d.chain[b - 1].next;
    }
    size_t need = e.stored == 0 ? 1 : (e.stored + d.blockSize - 1) / d.blockSize;
    EXPECT_EQ(e.blocks.size(), need) << e.path << ": chain length";
    for (size_t i = 0; i < e.blocks.size(); ++i) {
      size_t at = d.dataStart + size_t{e.blocks[i] - 1} * d.blockSize;
      size_t n = std::min<size_t>(d.blockSize, e.stored > i * d.blockSize ? e.stored - i * d.blockSize : 0);
      e.data.insert(e.data.end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                    file.begin() + static_cast<std::ptrdiff_t>(at + n));
      for (size_t z = n; z < d.blockSize; ++z)
        if (file[at + z] != 0) {
          ADD_FAILURE() << e.path << ": nonzero byte after the data in block " << e.blocks[i];
          break;
        }
    }
    return e;
  };

  for (uint32_t s = 0; s < d.entryCount; ++s) {
    const uint8_t* p = &file[d.rootStart + 88 * s];
    if (p[0] == 0) {
      d.rootNames.push_back("");
      continue;
    }
    d.entries.push_back(readEntry(p, ""));
    d.rootNames.push_back(d.entries.back().path);
  }
  for (size_t i = 0; i < d.entries.size(); ++i) {
    if (!(d.entries[i].attributes & 2)) continue;
    EXPECT_EQ(d.entries[i].stored % 88, 0u) << d.entries[i].path;
    Bytes table = d.entries[i].data;
    std::string parent = d.entries[i].path;
    for (size_t k = 0; k + 88 <= table.size(); k += 88) d.entries.push_back(readEntry(&table[k], parent));
  }
  for (size_t i = 0; i < d.entries.size(); ++i) {
    EXPECT_TRUE(d.byPath.emplace(d.entries[i].path, i).second) << "two entries at " << d.entries[i].path;
  }
  uint32_t used = 0;
  for (uint32_t b = 0; b < d.blockCount; ++b) {
    if (d.chain[b].next == 0) {
      EXPECT_EQ(d.chain[b].used, 0u) << "free block " << b + 1;
      continue;
    }
    ++used;
    EXPECT_TRUE(owned[b]) << "block " << b + 1 << " is used but belongs to no entry";
  }
  if (expectSavedCount) {
    EXPECT_EQ(d.usedBlocks, used);
  }
  return d;
}

// The contents of a compressed file: u32 length + zlib stream per piece.
inline Bytes Unpack(const Bytes& stored) {
  Bytes out, piece;
  for (size_t at = 0; at + 4 <= stored.size();) {
    uint32_t n = GetU32(&stored[at]);
    at += 4;
    EXPECT_LE(at + n, stored.size());
    if (at + n > stored.size()) break;
    ZInflate(&stored[at], n, 50000, piece);
    out.insert(out.end(), piece.begin(), piece.end());
    at += n;
  }
  return out;
}

// The file as the container gives it back: unpacked when compressed.
// The container as the changes made so far leave it: until they are saved,
// they go to a copy beside it.
inline Bytes Working(const std::string& path) {
  const std::string copy = path + ".new";
  return testing_support::ReadFileBytes(platform::FileExists(copy) ? copy : path);
}

inline Bytes Contents(const Entry& e) { return (e.attributes & 8) ? Unpack(e.data) : e.data; }

}  // namespace vfs_test
