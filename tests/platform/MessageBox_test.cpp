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

// A run nobody watches shows no box and waits for nobody: each box is one
// line on standard error and takes the answer that lets the run go on to
// its end.
TEST(MessageBoxes, NobodyWatchingEachBoxIsALineAndTakesTheAnswerThatEndsTheRun) {
  struct Case {
    std::string text;
    unsigned flags;
    int answer;
    std::string line;
  } cases[] = {
      {"Disk full", platform::kMbOk, platform::kIdOk, "Caption: Disk full\n"},
      {"Go on?", platform::kMbOkCancel | platform::kMbIconQuestion, platform::kIdOk, "Caption: Go on?\n"},
      {"Held open\rFile: a.qxp", platform::kMbRetryCancel | platform::kMbIconWarning, platform::kIdCancel,
       "Caption: Held open File: a.qxp\n"},
      {"Quit?", platform::kMbYesNo, platform::kIdYes, "Caption: Quit?\n"},
      {"Error\r\rLog\r\nCreated\n", platform::kMbOk, platform::kIdOk, "Caption: Error Log Created \n"},
      {"", platform::kMbOk, platform::kIdOk, "Caption: \n"},
  };
  platform::SetPersonWatching(false);
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    const int answer = platform::ShowMessageBox(c.text, "Caption", c.flags);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    EXPECT_EQ(answer, c.answer) << c.line;
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform::ShowMessageBoxW(u"Unicode", u"Wide", platform::kMbRetryCancel), platform::kIdCancel);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Wide: Unicode\n");
  platform::SetPersonWatching(true);
}
