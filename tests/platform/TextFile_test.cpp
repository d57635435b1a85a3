#include "platform/TextFile.h"

#include <gtest/gtest.h>

TEST(TextFile, TheMarkOrTheBytesSayTheEncoding) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"UTF-8 without a mark",
       "\xC3\x9C"
       "ber \xE2\x82\xAC",
       u"\u00DCber \u20AC"},
      {"UTF-8 with its mark",
       "\xEF\xBB\xBF\xC3\x9C"
       "ber",
       u"\u00DCber"},
      {"UTF-16 little-endian", std::string("\xFF\xFEP\0l\0\x1F\x04", 8), u"Pl\u041F"},
      {"UTF-16 big-endian", std::string("\xFE\xFF\0P\x04\x1F", 6), u"P\u041F"},
      {"UTF-16 with an odd last byte", std::string("\xFF\xFEP\0l", 5), u"P"},
      {"a character beyond 16 bits", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"plain ASCII", "Terms\r\n", u"Terms\r\n"},
      {"code page",
       "\xDC"
       "ber",
       u"\u00DCber"},
      {"code page ending in a lead byte", "caf\xC3", u"caf\u00C3"},
      {"an overlong form is no UTF-8", "\xC0\x80", u"\u00C0\u20AC"},
      {"a surrogate is no UTF-8", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},
      {"broken UTF-8 after its mark",
       "\xEF\xBB\xBF"
       "a\xFF"
       "b",
       u"a\uFFFDb"},
      {"empty", "", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::DecodeTextFile(c.bytes), c.text) << c.name;
}
