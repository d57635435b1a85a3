// A read cursor over a memory block owned by somebody else (typically an
// archive entry), and the readers of the stored values built on it. Nothing
// here reads outside the block: a read near the end takes what is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ByteOrder.h"

// Stored strings carry a 16-bit length.
constexpr size_t kMaxStoredString = 65535;

class TBufferManager {
 public:
  // The block is not copied and must outlive the cursor.
  TBufferManager(const void* data, uint32_t size) : Data(static_cast<const uint8_t*>(data)), Size(size) {}

  // A new block of the next n bytes, or of what is left when fewer remain;
  // empty for n = 0 or at the end. count := its length.
  Bytes ReadAlloc(uint32_t n, uint32_t& count);
  Bytes ReadBlock(uint32_t n);
  // Copies the next n bytes (or what is left) to dest and advances; the
  // number copied. dest is untouched at the end.
  uint32_t Read(uint32_t n, void* dest);
  // Positions past the end stop at the end.
  void Seek(uint32_t position) { Position = position < Size ? position : Size; }
  uint32_t Left() const { return Size - Position; }

  const uint8_t* Data;
  uint32_t Position = 0;  // never above Size
  uint32_t Size;
};

// Stored values, little-endian. Each gives false when the block ends inside
// the value: the cursor is then at the end, a number reads as 0 and a string
// holds the bytes that were there.
bool ReadStr(TBufferManager& in, std::string& text);  // u16 length, then the bytes
bool ReadInt(TBufferManager& in, int32_t& value);
bool ReadWord(TBufferManager& in, uint16_t& value);

// A reader's reason for refusing a block in which `what`, begun at byte
// `at`, runs past the end: "<what> at byte <at> runs past the end of the
// <Size>-byte block", naming the length a string claims when the block
// holds its length.
std::string CutValueText(const TBufferManager& in, uint32_t at, const std::string& what, bool isString);

// The writing side of ReadStr: appends the length-prefixed form; false (and
// nothing appended) for a text longer than 65,535 bytes.
bool PutStr(Bytes& out, const std::string& text);
