// CRC-32 (reflected 0xEDB88320, initial all ones, result complemented), the
// checksum that guards every stored entry.
#pragma once

#include <cstddef>
#include <cstdint>

// crc := CRC-32 of the data. A length of 0 leaves crc as it was.
bool GetCRC32(const void* data, size_t length, uint32_t& crc);

// Continues a CRC-32 over further data; start from 0.
uint32_t UpdateCRC32(uint32_t crc, const void* data, size_t length);
