// The wizard against the host's stand-in machine: drives of every type and
// a record of the programs started through the shell.
#include <gtest/gtest.h>

#include "Setup/FormMain.h"
#include "Setup/SE_ShellTreeView.h"
#include "installer-library/SE_Global.h"
#include "platform/HostSystem.h"
#include "platform/TempPath.h"
#include "platform/Text.h"
#include "tests/Setup/WizardFixture.h"

namespace {

class HostWizardTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    platform::host::SetDrives({{"A:\\", 0}, {"C:\\", 3}, {"D:\\", 5}, {"R:\\", 6}, {"Z:\\", 3}});
    platform::host::SetDriveFreeBytes("C:\\", 5000);
    platform::host::TakeShellProcessStarts();
  }
  void TearDown() override {
    platform::host::SetDrives({});
    WizardTest::TearDown();
  }
};

}  // namespace

TEST_F(HostWizardTest, TheFolderEditTakesOnlyDrivesThatCanHoldAnInstallation) {
  SetupInfoFile.InstallDir = "C:\\Games\\Quexar";
  Open(WizardLayout({{"welcome", "[installdir_edit]\r\ntype=tedit"}, {"installdir", ""}, {"patch", ""}}));
  TTntEdit& edit = *form->InstallDirEdit();
  edit.SetText(u"C:\\Elsewhere");
  EXPECT_EQ(SetupInfoFile.InstallDir, "C:\\Games\\Quexar") << "no effect away from the folder page";

  form->NextButtonClick();
  EXPECT_TRUE(form->InstallDirShown);
  EXPECT_EQ(edit.Text(), u"C:\\Games\\Quexar") << "the folder page shows the install folder";
  struct Case {
    std::u16string text;
    bool nextEnabled;
    std::string installDir;  // after the change
  } cases[] = {
      {u"C:\\Mods\\Cool", true, "C:\\Mods\\Cool\\"}, {u"D:\\Cool", false, "C:\\Mods\\Cool\\"},  // CD-ROM
      {u"R:\\Cool", false, "C:\\Mods\\Cool\\"},                                                 // RAM disk
      {u"A:\\Cool", false, "C:\\Mods\\Cool\\"},                                                 // type unknown
      {u"Q:\\Cool", false, "C:\\Mods\\Cool\\"},                                                 // no such drive
      {u"relative", false, "C:\\Mods\\Cool\\"},      {u"c:\\lower\\", true, "c:\\lower\\"},
  };
  for (const Case& c : cases) {
    SpaceAvailable = 1;
    edit.SetText(c.text);
    EXPECT_EQ(form->NextButton.Enabled(), c.nextEnabled) << platform::WideToAnsi(c.text);
    EXPECT_EQ(SetupInfoFile.InstallDir, c.installDir) << platform::WideToAnsi(c.text);
    EXPECT_EQ(SpaceAvailable, c.nextEnabled ? 5000 : 1) << platform::WideToAnsi(c.text);
  }
}

TEST_F(HostWizardTest, AnUninstallerStartsItsFinaliserOnceAndAnInstallerNever) {
  struct Case {
    const char* name;
    uint8_t uninstaller;
    size_t starts;
  } cases[] = {{"uninstaller", 1, 1}, {"installer", 0, 0}};
  for (const Case& c : cases) {
    form.reset();
    SetupInfoFile.IsUninstaller = c.uninstaller;
    std::vector<ArchiveItem> items = WizardLayout({{"welcome", ""}, {"finish", ""}});
    items.push_back({"FINALISE.EXE", 0, "MZ finaliser"});
    Open(items);
    form->NextButtonClick();  // arrives at the finish page and closes the window
    ASSERT_TRUE(host.Closed) << c.name;
    form->FormClose();  // a second close
    std::vector<platform::host::ShellProcessStart> starts = platform::host::TakeShellProcessStarts();
    EXPECT_EQ(starts.size(), c.starts) << c.name;
    if (!starts.empty()) {
      EXPECT_EQ(starts[0].File.rfind(platform::TempPath(), 0), 0u);
      EXPECT_EQ(starts[0].File.substr(starts[0].File.rfind('\\')), "\\FINALISE.exe");
    }
  }
}

TEST_F(HostWizardTest, TheUsersPickInTheTreeBecomesTheInstallFolder) {
  Open(WizardLayout(
      {{"welcome", ""},
       {"installdir", "[installdir_edit]\r\ntype=tedit\r\n[installdir_shelltreeview]\r\ntype=tshelltreeview"}}));
  TSE_ShellTreeView& tree = *form->InstallDirTree();
  form->NextButtonClick();
  struct Case {
    std::string picked;
    std::u16string edit;
    std::string installDir;
  } cases[] = {
      {"C:\\Games", u"C:\\Games", "C:\\Games\\"},
      {"D:\\Disc", u"C:\\Games", "C:\\Games\\"},  // a CD-ROM is no pick
      {"C:\\Mods\\", u"C:\\Mods\\", "C:\\Mods\\"},
  };
  for (const Case& c : cases) {
    tree.SelectionChanged(c.picked);
    EXPECT_EQ(form->InstallDirEdit()->Text(), c.edit) << c.picked;
    EXPECT_EQ(SetupInfoFile.InstallDir, c.installDir) << c.picked;
  }
  WizardPages->ShowPage(0);
  tree.SelectionChanged("C:\\Elsewhere");
  EXPECT_EQ(form->InstallDirEdit()->Text(), u"C:\\Mods\\") << "only on the folder page";
}
