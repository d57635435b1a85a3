#include "Global/CRC.h"

#include <gtest/gtest.h>

#include <string>

TEST(CRC32, StandardCheckValueAndPieces) {
  const std::string check = "123456789";
  uint32_t crc = 0;
  ASSERT_TRUE(GetCRC32(check.data(), check.size(), crc));
  EXPECT_EQ(crc, 0xCBF43926u);

  // Continuing over pieces gives the checksum of the whole.
  uint32_t pieces = UpdateCRC32(0, check.data(), 4);
  pieces = UpdateCRC32(pieces, check.data() + 4, check.size() - 4);
  EXPECT_EQ(pieces, 0xCBF43926u);
}

TEST(CRC32, EmptyInputLeavesTheValue) {
  uint32_t crc = 0x12345678;
  EXPECT_TRUE(GetCRC32("", 0, crc));
  EXPECT_EQ(crc, 0x12345678u);
}
