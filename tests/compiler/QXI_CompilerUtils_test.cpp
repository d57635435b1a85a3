#include "compiler/QXI_CompilerUtils.h"

#include <gtest/gtest.h>

namespace {

TEST(CompilerUtils, FormatSize) {
  struct Case {
    uint32_t size;
    const char* text;
  };
  const Case cases[] = {
      {0, "0.00 Bytes"},
      {1, "1.00 Bytes"},
      {500, "500.00 Bytes"},
      {1023, "1023.00 Bytes"},
      {1024, "1.00 KB"},
      {1152, "1.13 KB"},  // 1.125: halves round up
      {1536, "1.50 KB"},
      {10239, "10.00 KB"},
      {1048575, "1024.00 KB"},
      {1048576, "1.00 MB"},
      {1073741823, "1.00 GB"},  // single precision: 2^30 - 1 becomes 2^30
      {1073741824, "1.00 GB"},
      {3221225472u, "3.00 GB"},
      // Taken as a single-precision number first: 2,152,852,356 becomes
      // 2,152,852,480, which is 2.0050001 GB, not 2.0049999 GB.
      {2152852356u, "2.01 GB"},
      {4294967295u, "4.00 GB"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatSize(c.size), c.text) << c.size;
}

TEST(CompilerUtils, IncludeSlash) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},     {"a", "a\\"},   {"a\\", "a\\"},
      {"a/", "a/"}, {"C:", "C:\\"}, {"layout\\Install\\x", "layout\\Install\\x\\"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(IncludeSlash(in), out) << in;
}

TEST(CompilerUtils, ExtractFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},    {"a.txt", "a.txt"}, {"C:\\x\\a.txt", "a.txt"}, {"x/y/a.txt", "a.txt"}, {"C:a.txt", "a.txt"},
      {"x\\", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ExtractFileName(in), out) << in;
}

TEST(CompilerUtils, ExtractFileDir) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"a.exe", ""},
      {"C:\\x\\a.exe", "C:\\x"},
      {"/opt/kit/torvane", "/opt/kit"},
      {"C:a.exe", "C:"},
      {"C:\\a.exe", "C:"},
      {"x\\", "x"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ExtractFileDir(in), out) << in;
}

}  // namespace
