#include "platform/MD5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using platform::kMD5Size;
using platform::MD5Hash;

namespace {

std::string Hex(const uint8_t (&digest)[kMD5Size]) {
  std::string out;
  char two[3];
  for (uint8_t b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

// Digest of `text` fed in pieces of `piece` bytes (0 = in one call).
std::string Digest(const std::string& text, size_t piece = 0) {
  MD5Hash h;
  EXPECT_TRUE(h.Ready());
  size_t step = piece ? piece : text.size();
  for (size_t at = 0; at < text.size(); at += step)
    EXPECT_TRUE(h.Update(text.data() + at, std::min(step, text.size() - at)));
  uint8_t digest[kMD5Size];
  EXPECT_TRUE(h.Finish(digest));
  return Hex(digest);
}

}  // namespace

TEST(MD5, Rfc1321TestSuite) {
  struct Case {
    std::string text, digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) EXPECT_EQ(Digest(c.text), c.digest) << '"' << c.text << '"';
}

TEST(MD5, PiecesAcrossBlockBoundariesGiveTheWholeDigest) {
  // 64-byte blocks: pieces that split them unevenly must not change the result.
  std::string million(1000000, 'a');
  for (size_t piece : {0u, 1u, 63u, 64u, 65u, 262144u})
    EXPECT_EQ(Digest(million, piece), "7707d6ae4e027c70eea2a935c2296f21") << piece;
}

TEST(MD5, EmptyUpdatesChangeNothing) {
  MD5Hash h;
  ASSERT_TRUE(h.Ready());
  EXPECT_TRUE(h.Update("", 0));
  EXPECT_TRUE(h.Update("abc", 3));
  EXPECT_TRUE(h.Update("", 0));
  uint8_t digest[kMD5Size];
  ASSERT_TRUE(h.Finish(digest));
  EXPECT_EQ(Hex(digest), "900150983cd24fb0d6963f7d28e17f72");
}
