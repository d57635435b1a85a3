#include "platform/gui/FileDialog.h"

#include <gtest/gtest.h>

TEST(FileDialogFilter, PartsEndInZeroAndTheListInOneMore) {
  using namespace std::string_literals;
  struct Case {
    std::string filter, list;
  };
  const Case cases[] = {
      {"TRVX Setup(*.TRVX)|*.trvx", "TRVX Setup(*.TRVX)\0*.trvx\0\0"s},
      {"EXE|*.EXE|All|*.*", "EXE\0*.EXE\0All\0*.*\0\0"s},
      {"Only text", "Only text\0\0\0"s},  // a missing pattern is empty
      {"", "\0\0"s},
  };
  for (const Case& c : cases) EXPECT_EQ(gui::FileDialogFilter(c.filter), c.list) << c.filter;
}
