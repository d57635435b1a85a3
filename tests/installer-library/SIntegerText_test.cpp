#include "installer-library/SIntegerText.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct Case {
  const char* text;
  bool ok;
  int32_t value;
};

}  // namespace

TEST(IntegerText, AcceptsExactlyTheIntegerForms) {
  const Case cases[] = {
      {"0", true, 0},
      {"123", true, 123},
      {"00012", true, 12},
      {"+7", true, 7},
      {"-5", true, -5},
      {"-0", true, 0},
      {"2147483647", true, INT_MAX},
      {"-2147483648", true, INT_MIN},
      {"$10", true, 16},
      {"$ff", true, 255},
      {"$Ab", true, 171},
      {"-$10", true, -16},
      {"+$1", true, 1},
      {"$7FFFFFFF", true, INT_MAX},
      {"$80000000", true, INT_MIN},  // all 32 bits: colour codes
      {"$FFFFFFFF", true, -1},
      {"$0000000000FF", true, 255},  // leading zeros do not count
      {"-$FFFFFFFF", true, 1},
      // outside the range: an error, never a wrapped value
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"99999999999999999999", false, 0},
      {"$100000000", false, 0},
      // not integers
      {"", false, 0},
      {"-", false, 0},
      {"+", false, 0},
      {"$", false, 0},
      {"-$", false, 0},
      {"$-1", false, 0},
      {"--1", false, 0},
      {"+-1", false, 0},
      {" 1", false, 0},
      {"1 ", false, 0},
      {"1 2", false, 0},
      {"12x", false, 0},
      {"x12", false, 0},
      {"0x10", false, 0},
      {"1.0", false, 0},
      {"1e3", false, 0},
      {"$fg", false, 0},
      {"ff", false, 0},
      {"\t5", false, 0},
  };
  for (const Case& c : cases) {
    int32_t v = 12345;
    EXPECT_EQ(TryStrToInt32(c.text, v), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(v, c.ok ? c.value : 12345) << '"' << c.text << '"';
  }
}

TEST(IntegerText, EmbeddedZeroIsNotADigit) {
  int32_t v;
  EXPECT_FALSE(TryStrToInt32(std::string("1\0", 2), v));
}

TEST(IntegerText, ConversionErrorCarriesTheText) {
  const char* bad[] = {"12x", "", "Start Here", "'q'"};
  for (const char* text : bad) {
    try {
      StrToInt32(text);
      ADD_FAILURE() << "no error for \"" << text << '"';
    } catch (const EIntegerConversion& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
  EXPECT_EQ(StrToInt32("-$20"), -32);
}
