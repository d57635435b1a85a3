// An uninstallation that cannot remove everything: files kept open by
// another program (the game still running) cannot be deleted on Windows.
#include <gtest/gtest.h>

#include "Setup/SE_Uninstall.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tests/Setup/WizardFixture.h"

namespace {

class NullDisplay : public TRunDisplay {
 public:
  void SetStatus(const std::u16string&) override {}
  void SetMaximum(int32_t) override {}
  void SetProgress(int32_t) override {}
};

class LockedUninstall : public WizardTest {
 protected:
  // Installed and logged files 0.txt, 1.txt, ...; the first `locked` of
  // them held open (without leave to delete them) as a running game holds
  // its files.
  void Install(int files, int locked) {
    platform::MakeDir(installDir);
    for (int i = 0; i < files; ++i) {
      std::string path = installDir + "\\" + std::to_string(i) + ".txt";
      WriteText(path, "installed");
      UninstallList.AddFile(path);
      if (i < locked) open.emplace_back(path, platform::OpenMode::Read);
    }
    UninstallList.AddDir(installDir);
    UninstallList.SaveToFile(installDir, "");
  }

  std::vector<platform::File> open;
};

}  // namespace

TEST_F(LockedUninstall, FilesThatCannotBeDeletedAreNamedInTheOutcome) {
  struct Case {
    const char* name;
    int files, locked;
    std::string outcome;  // "<n>" stands for the path of file n
  } cases[] = {
      {"nothing held open", 3, 0, ""},
      {"one held open", 3, 1,
       "Error: These installed items could not be removed; they may be in use:\r<0>\rClose the programs that use "
       "them and run the uninstaller again."},
      {"more than ten", 12, 12,
       "Error: These installed items could not be removed; they may be in use:\r<0>\r<1>\r<2>\r<3>\r<4>\r<5>\r<6>"
       "\r<7>\r<8>\r<9>\r... and 2 more\rClose the programs that use them and run the uninstaller again."},
  };
  for (const Case& c : cases) {
    UninstallList.Clear();
    Install(c.files, c.locked);
    NullDisplay display;
    std::string expected = c.outcome;
    for (int i = c.files - 1; i >= 0; --i) {
      std::string tag = "<" + std::to_string(i) + ">";
      for (size_t at; (at = expected.find(tag)) != std::string::npos;)
        expected.replace(at, tag.size(), installDir + "\\" + std::to_string(i) + ".txt");
    }
    EXPECT_EQ(RunUninstall(display), expected) << c.name;
    // Everything else went: the unlocked files.
    for (int i = c.locked; i < c.files; ++i)
      EXPECT_FALSE(platform::FileExists(installDir + "\\" + std::to_string(i) + ".txt")) << c.name << " " << i;
    // The log names exactly what is left, for the next run: the files and
    // the folder that holds them.
    TUninstallList log;
    EXPECT_EQ(log.LoadFromFile(installDir, ""), c.locked > 0) << c.name;
    std::vector<std::string> left;
    for (int i = 0; i < c.locked; ++i) left.push_back("$INSTDIR\\" + std::to_string(i) + ".txt");
    EXPECT_EQ(log.Files(), left) << c.name;
    EXPECT_EQ(log.Dirs(), c.locked ? std::vector<std::string>{"$INSTDIR"} : std::vector<std::string>{}) << c.name;
    open.clear();
    for (int i = 0; i < c.files; ++i) platform::RemoveFile(installDir + "\\" + std::to_string(i) + ".txt");
  }
}

TEST_F(LockedUninstall, TheWizardShowsWhatStayedAndEndsAsAFailure) {
  SetupInfoFile.IsUninstaller = 1;
  const std::vector<ArchiveItem> layout = WizardLayout({{"welcome", ""}, {"uninstall", ""}, {"finish", ""}});
  const std::string text = "Error: These installed items could not be removed; they may be in use:\r" + installDir +
                           "\\0.txt\rClose the programs that use them and run the uninstaller again.";
  struct Case {
    const char* name;
    bool silent;
    std::string idDir;
    std::vector<RecordedBox> boxes;
  } cases[] = {
      {"shown", false, "", {{text, "Setup Error", 0}}},
      {"silent", true, "", {{text, "Error", 0}}},
      {"silent, folder named (a line on the error stream then)", true, installDir, {{text, "Error", 0}}},
  };
  for (const Case& c : cases) {
    form.reset();
    boxes.clear();
    UninstallList.Clear();
    Install(1, 1);
    Silent = c.silent;
    IdDir = platform::AnsiToWide(c.idDir);
    Open(layout);
    if (c.silent) {
      EXPECT_EQ(RunSilently(), kExitFailed) << c.name;
    } else {
      form->NextButtonClick();
      EXPECT_EQ(WizardPages->Current, 2) << c.name;
      EXPECT_EQ(form->ExitCode(), kExitFailed) << c.name;
    }
    EXPECT_EQ(boxes, c.boxes) << c.name;
    open.clear();
  }
}
