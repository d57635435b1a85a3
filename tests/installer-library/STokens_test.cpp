#include "installer-library/STokens.h"

#include <gtest/gtest.h>

TEST(Tokens, SplitFirstToken) {
  struct Case {
    std::string text, token, rest;
  };
  const Case cases[] = {
      {"a b", "a", " b"},
      {"  a\tb  ", "a", "\tb"},            // trimmed first; a tab separates
      {"a   b c", "a", "   b c"},         // the rest keeps its separators
      {"\"a b\" c", "a b", " c"},          // a blank inside quotes belongs to the token
      {"ab\"c d\"e f", "abc de", " f"},    // quotes group and vanish anywhere
      {"\"\" x", "", " x"},                // an empty quoted token
      {"\"\"", "", ""},
      {"\"a b", "a b", ""},                // an unterminated quote runs to the end
      {"a\"\"b", "ab", ""},
      {"", "", ""},
      {" \t\r\n", "", ""},
      {"one", "one", ""},
      {"x\x01y z", "x\x01y", " z"},        // control characters inside do not separate
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
