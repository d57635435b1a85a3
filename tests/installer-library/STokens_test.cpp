#include "installer-library/STokens.h"

#include <gtest/gtest.h>

TEST(Tokens, SplitFirstToken) {
  struct Case {
    std::string text, token, rest;
  };
  const Case cases[] = {
      {"a b", "a", " b"},
      {"  a\tb  ", "a", "\tb"},          // trimmed first; a tab separates
      {"a   b c", "a", "   b c"},        // the rest keeps its separators
      {"\"a b\" c", "a b", " c"},        // a blank inside quotes belongs to the token
      {"ab\"c d\"e f", "abc de", " f"},  // quotes group and vanish anywhere
      {"\"\" x", "", " x"},              // an empty quoted token
      {"\"\"", "", ""},
      {"\"a b", "a b", ""},  // an unterminated quote runs to the end
      {"a\"\"b", "ab", ""},
      {"", "", ""},
      {" \t\r\n", "", ""},
      {"one", "one", ""},
      {"x\x01y z", "x\x01y", " z"},  // control characters inside do not separate
  };
  for (const Case& c : cases) {
    std::string token = "old", rest = "old";
    SplitFirstToken(c.text, token, rest);
    EXPECT_EQ(token, c.token) << c.text;
    EXPECT_EQ(rest, c.rest) << c.text;
  }
}

TEST(Tokens, TrimAndStripQuotes) {
  EXPECT_EQ(TrimBlanks(std::string("\x01 a b \x1f\x20", 7)), "a b");
  EXPECT_EQ(TrimBlanks("\xa0x\xa0"), "\xa0x\xa0");  // only codes up to 32 are trimmed
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(StripQuotes("\"a\"\"b\" c\""), "ab c");
  EXPECT_EQ(StripQuotes("no quotes"), "no quotes");
}

TEST(Tokens, SixteenBitTextFollowsTheSameRules) {
  struct Case {
    std::u16string text, first, rest;
  } cases[] = {
      {u"  one two three ", u"one", u" two three"},
      {u"one\ttwo", u"one", u"\ttwo"},
      {u"\"a b\" c", u"a b", u" c"},
      {u"\"a b\"c d", u"a bc", u" d"},
      {u"single", u"single", u""},
      {u"\"unclosed quote", u"unclosed quote", u""},
      {u"", u"", u""},
      {u"\r\n\x01 x \r", u"x", u""},
      {u"\u0120x\u0120 y", u"\u0120x\u0120", u" y"},  // only codes up to 32, not their low bytes
      {u"a\u3000b c", u"a\u3000b", u" c"},
  };
  for (const Case& c : cases) {
    std::u16string first, rest;
    WideSplitFirstToken(c.text, first, rest);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(rest, c.rest);
  }
  EXPECT_EQ(WideStripQuotes(u"\"a\"\"b\" c\""), u"ab c");
}
