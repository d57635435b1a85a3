#include "platform/CommandLine.h"

#include <gtest/gtest.h>

#include "platform/Text.h"

TEST(CommandLineSplitter, QuotesButNoEscapes) {
  struct Case {
    const char* line;
    std::vector<std::string> items;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"setup.exe", {"setup.exe"}},
      {"setup.exe -silent", {"setup.exe", "-silent"}},
      {"  a \t b  ", {"a", "b"}},
      {"\"C:\\Program Files\\x.exe\" -id \"C:\\Games\\\"", {"C:\\Program Files\\x.exe", "-id", "C:\\Games\\"}},
      {"a\\\\b \\\"c", {"a\\\\b", "\\c"}},  // a quote after a backslash still groups
      {"-make \"my dir\"\\sub", {"-make", "my dir\\sub"}},
      {"x \"\" y", {"x", "", "y"}},  // empty quoted item
      {"x \"unclosed quote", {"x", "unclosed quote"}},
      {"ab\"c d\"ef", {"abc def"}},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> items;
    for (const std::string& item : c.items) items.push_back(platform::AnsiToWide(item));
    EXPECT_EQ(platform::SplitCommandLine(platform::AnsiToWide(c.line)), items) << c.line;
  }
}
