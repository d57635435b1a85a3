#include "Global/KVLD_Encryption.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

}  // namespace

TEST(TarvoCipher, DigitStreamsOfSelectedSeeds) {
  struct Case {
    bool sine;
    uint8_t seed;
    const char* digits;
  } cases[] = {
      {true, 3, "14112859867"},      // default seed A: sin 3 = 0.141120008059867
      {false, 4, "65364362863612"},  // default seed B: cos 4 = -0.653643620863612
      {true, 1, "8414798487897"},    // 0.841470984807897
      {false, 1, "54323586814"},     // 0.540302305868140: the trailing zero is dropped
      {true, 0, ""},                 // sin 0 = 0: no digits at all
      {false, 0, "1"},               // cos 0 = 1 ("1.0")
      {true, 22, "885139294388"},    // -0.00885130929040388: leading zeros are not digits
      {false, 11, "4425697988579"},  // 0.00442569798805079
      // Seeds whose 15th digit a plain double gets wrong: the exact value
      // lies within a hair of a rounding boundary.
      {false, 91, "9943674692822"},   // -0.994367460928202, double gives ...201
      {true, 114, "78498388681311"},  // 0.784980388681311, double gives ...31
      {true, 142, "587795716746"},    // -0.587795007167406, double gives ...407
      {true, 218, "94252452732942"},  // -0.942524527329402, double gives ...403
      {true, 255, "56391634924491"},
  };
  for (const Case& c : cases) {
    TTarvoEncryptionType cipher(c.sine ? c.seed : 3, c.sine ? 4 : c.seed);
    EXPECT_EQ(cipher.KeyDigits(c.sine), c.digits) << (c.sine ? "sin " : "cos ") << int(c.seed);
  }
}

TEST(TarvoCipher, StartsWithSeedsThreeAndFour) {
  TTarvoEncryptionType cipher;
  EXPECT_EQ(cipher.SeedA, 3);
  EXPECT_EQ(cipher.SeedB, 4);
  // One byte: b + first digit of A + first digit of B.
  EXPECT_EQ(cipher.Encrypt("a"), std::string(1, 'a' + 1 + 6));
  // A adds 1,4,1 in reading order ("bfd"), then B adds 6,5,3 reading from
  // the end: d+6, f+5, b+3.
  EXPECT_EQ(cipher.Encrypt("abc"), "jke");
  EXPECT_EQ(cipher.Decrypt("jke"), "abc");
}

TEST(TarvoCipher, PassesWrapKeyAndBytes) {
  struct Case {
    const char* name;
    std::string got, want;
  } cases[] = {
      {"key restarts at its first digit", TTarvoEncryptionType::AddPass("12", std::string(5, '\0'), false),
       Bytes({1, 2, 1, 2, 1})},
      {"from the end reverses", TTarvoEncryptionType::AddPass("1", "abc", true), "dcb"},
      {"sum wraps past 255", TTarvoEncryptionType::AddPass("9", Bytes({0xFF, 0xF8}), false), Bytes({8, 0x01})},
      {"difference wraps below 0", TTarvoEncryptionType::SubPass("9", Bytes({2, 9}), false), Bytes({0xF9, 0})},
      {"prepend undoes the reversal", TTarvoEncryptionType::SubPass("1", "dcb", true), "abc"},
      {"empty text", TTarvoEncryptionType::AddPass("123", "", true), ""},
      // Seed A = 0 gives no digits: a pass then leaves bytes as they are
      // instead of reading a digit that does not exist.
      {"empty key adds nothing", TTarvoEncryptionType::AddPass("", "xyz", false), "xyz"},
      {"empty key still reverses", TTarvoEncryptionType::SubPass("", "xyz", true), "zyx"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

TEST(TarvoCipher, EveryPairOfSeedsRoundTrips) {
  // Longer than any stream (at most 15 digits), with bytes that wrap.
  std::string text;
  for (int i = 0; i < 41; ++i) text.push_back(static_cast<char>(250 + i * 3));
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      TTarvoEncryptionType cipher(static_cast<uint8_t>(a), static_cast<uint8_t>(b));
      std::string sealed = cipher.Encrypt(text);
      ASSERT_EQ(sealed.size(), text.size());
      ASSERT_EQ(cipher.Decrypt(sealed), text) << a << "," << b;
      ASSERT_EQ(cipher.Encrypt(""), "");
      ASSERT_EQ(cipher.Decrypt(""), "");
    }
  }
}

TEST(TarvoCipher, WrongSeedsDoNotRecoverText) {
  TTarvoEncryptionType writer(10, 20), reader(10, 21);
  EXPECT_NE(reader.Decrypt(writer.Encrypt("secret")), "secret");
}
