#include "Global/CRC.h"

#include <zlib.h>

uint32_t UpdateCRC32(uint32_t crc, const void* data, size_t length) {
  return static_cast<uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), length));
}

bool GetCRC32(const void* data, size_t length, uint32_t& crc) {
  if (length > 0) crc = UpdateCRC32(0, data, length);
  return true;
}
