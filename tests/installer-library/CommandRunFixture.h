// The installer as a run step finds it: an install folder below a fresh
// temporary folder, a language with the strings the commands show, the
// window's hand-off targets in place, and message boxes recorded and
// answered instead of shown.
#pragma once

#include <deque>
#include <filesystem>

#include "platform/ByteOrder.h"
#include "platform/MessageBox.h"
#include "tests/installer-library/CommandTesting.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/TempDir.h"

class CommandRun : public InstallerGlobals {
 protected:
  void SetUp() override {
    InstallerGlobals::SetUp();
    std::u16string file =
        u"\xFEFF"
        u"English\r\n409\r\n17 Copying <%FILENAME%>\r\n18 Extracting <%FILENAME%>\r\n"
        u"21 Installing\r\n23 Installation failed\r\n";
    Bytes b;
    for (char16_t c : file) PutU16(b, c);
    Languages.AddFromBuffer(b.data(), b.size());
    Languages.Current = 0;
    std::filesystem::create_directory(tmp.File("inst"));
    SetupInfoFile.InstallDir = inst;
    ShowTargets();
    platform::SetMessageBoxHandler([this](const std::string& text, const std::string& caption, unsigned flags) {
      boxes.push_back({text, caption, flags});
      int answer = answers.empty() ? platform::kIdOk : answers.front();
      if (!answers.empty()) answers.pop_front();
      return answer;
    });
  }

  void TearDown() override {
    platform::SetMessageBoxHandler(nullptr);
    InstallerGlobals::TearDown();
  }

  struct Box {
    std::string text, caption;
    unsigned flags;
    bool operator==(const Box&) const = default;
  };

  // The one box shown since the last look.
  Box OneBox() {
    EXPECT_EQ(boxes.size(), 1u);
    Box box = boxes.empty() ? Box{} : boxes.front();
    boxes.clear();
    return box;
  }

  // A run step's failure ended the installation with this message.
  void ExpectFailure(const std::string& message) {
    EXPECT_EQ(OneBox(), (Box{message, "Error", platform::kMbOk}));
    EXPECT_EQ(TakeStatusUpdate().FailureText, u"Installation failed");
    EXPECT_TRUE(AbortFlag);
  }

  // A path below the install folder as std::filesystem takes it.
  std::string InInst(const std::string& relative) const { return tmp.File("inst/" + relative); }

  testing_support::TempDir tmp;
  std::string inst = testing_support::DrivePath(tmp.File("inst"));
  std::vector<Box> boxes;
  std::deque<int> answers;  // for the boxes to come; OK when none is left
};
