#include "platform/buffer_type.h"

#include <cstring>

#include "platform/ByteOrder.h"

Bytes TBufferManager::ReadAlloc(uint32_t n, uint32_t& count) {
  count = n < Left() ? n : Left();
  if (count == 0) return {};
  Bytes block(Data + Position, Data + Position + count);
  Position += count;
  return block;
}

Bytes TBufferManager::ReadBlock(uint32_t n) {
  uint32_t count;
  return ReadAlloc(n, count);
}

uint32_t TBufferManager::Read(uint32_t n, void* dest) {
  uint32_t count = n < Left() ? n : Left();
  if (count > 0) std::memcpy(dest, Data + Position, count);
  Position += count;
  return count;
}

bool ReadStr(TBufferManager& in, std::string& text) {
  text.clear();
  uint16_t length;
  if (!ReadWord(in, length)) return false;
  text.resize(length < in.Left() ? length : in.Left());
  in.Read(static_cast<uint32_t>(text.size()), text.data());
  return text.size() == length;
}

bool ReadInt(TBufferManager& in, int32_t& value) {
  uint8_t b[4];
  bool whole = in.Read(4, b) == 4;
  value = whole ? static_cast<int32_t>(GetU32(b)) : 0;
  return whole;
}

bool ReadWord(TBufferManager& in, uint16_t& value) {
  uint8_t b[2];
  bool whole = in.Read(2, b) == 2;
  value = whole ? GetU16(b) : 0;
  return whole;
}

std::string CutValueText(const TBufferManager& in, uint32_t at, const std::string& what, bool isString) {
  std::string text = what + " at byte " + std::to_string(at);
  if (isString && at <= in.Size && in.Size - at >= 2)
    text += " (a string of " + std::to_string(GetU16(in.Data + at)) + " bytes)";
  return text + " runs past the end of the " + std::to_string(in.Size) + "-byte block";
}

bool PutStr(Bytes& out, const std::string& text) {
  if (text.size() > kMaxStoredString) return false;
  PutU16(out, static_cast<uint16_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
  return true;
}
