#include "installer-library/QXI_DigitKey.h"

#include <gtest/gtest.h>

#include "Global/CRC.h"

namespace {

std::string AllByteValues() {
  std::string s;
  for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}

TEST(DigitKey, EncodesByteByByteWithWrapAround) {
  struct Case {
    const char* what;
    std::string key, plain, scrambled;
  };
  const Case cases[] = {
      {"empty text", "19", "", ""},
      {"digit 0 keeps the byte", "0", std::string("\x00\x7F\xFF", 3), std::string("\x00\x7F\xFF", 3)},
      {"255 plus a digit wraps to a small value", "19", std::string("\xFF\xF8", 2), std::string("\x00\x01", 2)},
      {"key restarts after its last digit", "12", "aaaaa", "bcbcb"},
      {"text shorter than the key uses its first digits", "9876", "A", "J"},
      {"zero bytes are scrambled like any other", "3", std::string("\0\0", 2), "\x03\x03"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DigitKeyEncode(c.key, c.plain), c.scrambled) << c.what;
    EXPECT_EQ(DigitKeyDecode(c.key, c.scrambled), c.plain) << c.what;
  }
}

TEST(DigitKey, FixedKeysRoundTripEveryByteValueAcrossTheWrap) {
  // 1,000 bytes: every value several times, and the key wraps four times.
  std::string text;
  while (text.size() < 1000) text += AllByteValues();
  text.resize(1000);
  for (std::string_view key : {kDigitKeyA, kDigitKeyB}) {
    std::string scrambled = DigitKeyEncode(key, text);
    ASSERT_EQ(scrambled.size(), text.size());
    EXPECT_NE(scrambled, text);
    EXPECT_EQ(DigitKeyDecode(key, scrambled), text);
    // Decoding is the inverse in the other order as well.
    EXPECT_EQ(DigitKeyEncode(key, DigitKeyDecode(key, text)), text);
  }
}

TEST(DigitKey, TheKeyWrapsToItsFirstDigitAfterThe244thByte) {
  std::string zeros(244 * 2 + 3, '\0');
  std::string scrambled = DigitKeyEncode(kDigitKeyA, zeros);
  for (size_t i = 0; i < scrambled.size(); ++i) ASSERT_EQ(scrambled[i], kDigitKeyA[i % 244] - '0') << "byte " << i;
}

TEST(DigitKey, EachStringStartsAtTheFirstDigit) {
  std::string first = DigitKeyEncode(kDigitKeyB, "same password");
  DigitKeyEncode(kDigitKeyB, "something in between of another length");
  EXPECT_EQ(DigitKeyEncode(kDigitKeyB, "same password"), first);
}

TEST(DigitKey, ABadKeyIsAnError) {
  for (std::string_view key : {std::string_view(""), std::string_view("12a4"), std::string_view(" 1"),
                               std::string_view("1/"), std::string_view("9:")}) {
    EXPECT_THROW(DigitKeyEncode(key, "text"), EDigitKey) << key;
    EXPECT_THROW(DigitKeyDecode(key, "text"), EDigitKey) << key;
    EXPECT_THROW(DigitKeyEncode(key, ""), EDigitKey) << key;
  }
}

// Uninstall logs and compiled scripts already written depend on these exact
// values; a change here would make them unreadable.
TEST(DigitKey, TheBuiltInSecretsNeverChange) {
  auto crc = [](std::string_view s) { return UpdateCRC32(0, s.data(), s.size()); };
  EXPECT_EQ(crc(kDigitKeyA), 0xE8E54327u);
  EXPECT_EQ(crc(kDigitKeyB), 0xC090A057u);
  EXPECT_EQ(kOfficialAccessCode, "04nkth1");
  EXPECT_NE(kDigitKeyA, kDigitKeyB);
}

}  // namespace
