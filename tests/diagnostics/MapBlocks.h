// Program files with appended blocks, built byte by byte for the tests of
// the readers: an address map block with its trailer, and a block index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/SEXEExtra.h"
#include "diagnostics/SEXEMap.h"
#include "platform/ByteOrder.h"

namespace diag_test {

using Bytes = std::vector<uint8_t>;

inline void PutShortString(Bytes& out, const std::string& text, size_t capacity) {
  out.push_back(static_cast<uint8_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
  out.resize(out.size() + capacity - text.size(), 0);
}

// The block (counts, units, lines) followed by its 15-byte trailer.
inline Bytes MapBlock(const std::vector<TEXEMapUnit>& units, const std::vector<TEXEMapLine>& lines) {
  Bytes block;
  PutU32(block, static_cast<uint32_t>(units.size()));
  PutU32(block, static_cast<uint32_t>(lines.size()));
  for (const TEXEMapUnit& u : units) {
    PutShortString(block, u.Name, 255);
    for (const TEXEMapRange& r : u.Segments) {
      PutU32(block, r.Start);
      PutU32(block, r.Length);
    }
  }
  for (const TEXEMapLine& l : lines) {
    PutU32(block, l.Address);
    PutU32(block, static_cast<uint32_t>(l.Line));
    PutU32(block, static_cast<uint32_t>(l.Unit));
  }
  uint32_t size = static_cast<uint32_t>(block.size());
  PutU16(block, 0);
  block.push_back(1);
  PutU32(block, size);
  PutShortString(block, "EXEMAP", 6);
  block.push_back(0);
  return block;
}

// The index: entries, then the 12-byte trailer with the entry count.
inline Bytes IndexBlock(const std::vector<TEXEExtraEntry>& entries, uint8_t count) {
  Bytes index;
  for (const TEXEExtraEntry& e : entries) {
    index.push_back(e.Id);
    PutU32(index, e.Offset);
    PutU32(index, e.Reserved);
  }
  PutU16(index, 0);
  index.push_back(1);
  PutShortString(index, "EXEIND", 6);
  index.push_back(0);
  index.push_back(count);
  return index;
}

inline Bytes IndexBlock(const std::vector<TEXEExtraEntry>& entries) {
  return IndexBlock(entries, static_cast<uint8_t>(entries.size()));
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Something that stands for the program in front of the blocks.
inline Bytes ProgramBytes(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
  return b;
}

}  // namespace diag_test
