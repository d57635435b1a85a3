#include "platform/MessageBox.h"

#include <gtest/gtest.h>

#include <vector>

TEST(MessageBoxes, AHandlerTakesThePlaceOfTheBoxUntilRemoved) {
  std::vector<std::string> shown;
  platform::MessageBoxHandler first = [&](const std::string& text, const std::string& caption, unsigned flags) {
    shown.push_back(caption + ": " + text + " " + std::to_string(flags));
    return 7;
  };
  platform::MessageBoxHandler before = platform::SetMessageBoxHandler(first);
  EXPECT_EQ(platform::ShowMessageBox("text", "Caption", 4), 7);
  EXPECT_EQ(shown, std::vector<std::string>{"Caption: text 4"});
  // The replaced handler comes back, so nesting restores in order.
  platform::MessageBoxHandler mine = platform::SetMessageBoxHandler(before);
  ASSERT_TRUE(mine);
  EXPECT_EQ(mine("a", "b", 0), 7);
  EXPECT_EQ(shown.size(), 2u);
}
