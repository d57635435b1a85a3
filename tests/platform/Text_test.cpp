#include "platform/Text.h"

#include <gtest/gtest.h>

using platform::AnsiToWide;
using platform::WideToAnsi;

TEST(CodePage, EveryByteComesBackFromSixteenBits) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::u16string wide = AnsiToWide(all);
  EXPECT_EQ(wide.size(), all.size());
  EXPECT_EQ(WideToAnsi(wide), all);
  EXPECT_EQ(AnsiToWide(""), u"");
  EXPECT_EQ(WideToAnsi(u""), "");
}

TEST(CodePage, Windows1252) {
  struct Case {
    char byte;
    char16_t wide;
  } cases[] = {{'A', u'A'},         {'\x80', u'\u20AC'}, {'\x8A', u'\u0160'}, {'\x9F', u'\u0178'},
               {'\x81', u'\u0081'}, {'\xA0', u'\u00A0'}, {'\xE9', u'\u00E9'}, {'\xFF', u'\u00FF'}};
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToWide(std::string(1, c.byte)), std::u16string(1, c.wide)) << int(c.byte);
    EXPECT_EQ(WideToAnsi(std::u16string(1, c.wide)), std::string(1, c.byte));
  }
  EXPECT_EQ(WideToAnsi(u"a\u4E2Db"), "a?b");  // not in the code page
}

TEST(CaseRules, SameTextAZFoldsOnlyAsciiLetters) {
  struct Case {
    std::string a, b;
    bool same;
  } cases[] = {
      {"", "", true},
      {"Maps\\Level1", "mAPS\\level1", true},
      {"a", "ab", false},
      {"caf\xe9", "CAF\xe9", true},
      {"caf\xe9", "caf\xc9", false},  // Windows-1252 e-acute and E-acute differ
      {"[", "{", false},              // 0x5B and 0x7B are not letters
      {"@", "`", false},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::SameTextAZ(c.a, c.b), c.same) << c.a << " / " << c.b;
}
