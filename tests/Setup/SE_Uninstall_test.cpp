#include "Setup/SE_Uninstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "Setup/SE_Uninstaller.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Registry.h"
#include "tests/Setup/RuntimeFixture.h"

namespace {

constexpr uint8_t kHKCU = 1;
const std::string kTestKey = "Software\\ModKitTests\\Uninstall";

struct Update {
  std::u16string Status;  // empty for a gauge update
  int32_t Progress = -1;  // -1 for a status update
  bool operator==(const Update&) const = default;
};

class RecordingDisplay : public TRunDisplay {
 public:
  void SetStatus(const std::u16string& text) override { updates.push_back({text, -1}); }
  void SetMaximum(int32_t maximum) override { this->maximum = maximum; }
  void SetProgress(int32_t position) override { updates.push_back({u"", position}); }
  std::vector<Update> updates;
  int32_t maximum = -1;
};

// A page whose controls fail whenever they are touched.
class FailingDisplay : public TRunDisplay {
 public:
  void SetStatus(const std::u16string&) override { throw std::runtime_error("no label"); }
  void SetMaximum(int32_t) override { throw std::runtime_error("no gauge"); }
  void SetProgress(int32_t) override { throw std::runtime_error("no gauge"); }
};

class UninstallTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    AddLanguage(u"English\r\n409;\r\n19 <%QXPNAME%>:<%FNUM%>/<%FTOTAL%>\r\n24 registry\r\n25 folders\r\n");
    SetupInfoFile.UninstallExe = "Uninstall.exe";
    SetupInfoFile.UninstallPrefix = "Cool_";
    reg.SetRoot(kHKCU);
  }
  void TearDown() override {
    reg.CloseKey();
    reg.DeleteKey(kTestKey);
    RuntimeTest::TearDown();
  }

  // An installation as the log describes it: files, folders (one holds a
  // file nobody logged), registry values, the uninstall entry and the log.
  void Install() {
    for (const char* d : {"", "\\sub", "\\sub\\deep", "\\keep"}) {
      platform::MakeDir(installDir + d);
      UninstallList.AddDir(installDir + d);
    }
    for (const char* f : {"\\a.txt", "\\sub\\deep\\b.dat"}) {
      testing_support::WriteFileText(Host(f), "installed");
      UninstallList.AddFile(installDir + f);
    }
    UninstallList.AddFile(installDir + "\\already gone.txt");
    testing_support::WriteFileText(Host("\\keep\\saved game.sav"), "the player's own");
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    for (const char* v : {"One", "Two Words", ""}) {
      ASSERT_TRUE(reg.WriteString(v, "value"));
      UninstallList.AddRegEntry("\"HKCU\" \"" + kTestKey + "\" \"" + v + "\" \"value\"");
    }
    reg.CloseKey();
    RegisterUninstaller();
    ASSERT_TRUE(UninstallList.SaveToFile(installDir, "Cool_"));
    // What a save of the log leaves when the installer is killed during it.
    testing_support::WriteFileText(Host("\\Cool_install.log.new"), "cut short");
  }

  // A path of the install folder as the test's own file functions take it.
  std::string Host(const std::string& inside) const {
    std::string path = dir.Path() + "/Game" + inside;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
  }

  platform::Registry reg;
};

}  // namespace

TEST(UninstallProgress, PercentAdvanced) {
  struct Case {
    int64_t done, total;
    int32_t last;
    bool advanced;
  } cases[] = {
      {1, 1, 0, true},   {1, 2, 0, true},  {1, 3, 33, false}, {2, 3, 33, true},   {1, 250, 0, false},
      {3, 250, 0, true}, {0, 5, 0, false}, {5, 0, 0, false},  {10, 10, 99, true}, {10, 10, 100, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PercentAdvanced(c.done, c.total, c.last), c.advanced) << c.done << "/" << c.total << " > " << c.last;
}

TEST_F(UninstallTest, FormatProgressTextFillsEveryPlaceholder) {
  Languages = TLanguages();
  AddLanguage(u"English\r\n409;\r\n19 <%fnum%> of <%FTotal%> (<%QXPNAME%>, again <%FNUM%>)\r\n");
  EXPECT_EQ(FormatProgressText(u"data.qxp", 7, 12), u"7 of 12 (data.qxp, again 7)");
  Languages = TLanguages();
  EXPECT_EQ(FormatProgressText(u"x", 1, 2), u"NOT FOUND 19") << "no language loaded";
}

TEST_F(UninstallTest, RemovesWhatTheLogListsAndTheUninstallEntry) {
  Install();
  RecordingDisplay display;
  EXPECT_EQ(RunUninstall(display), "") << "a logged file already gone is no failure";

  EXPECT_FALSE(platform::FileExists(installDir + "\\a.txt"));
  EXPECT_FALSE(platform::FileExists(installDir + "\\sub\\deep\\b.dat"));
  EXPECT_FALSE(platform::DirectoryExists(installDir + "\\sub")) << "innermost folders go first";
  EXPECT_TRUE(platform::FileExists(installDir + "\\keep\\saved game.sav")) << "a folder in use stays";
  EXPECT_TRUE(platform::DirectoryExists(installDir));
  EXPECT_FALSE(platform::FileExists(TUninstallList::LogPath(installDir, "Cool_")));
  EXPECT_FALSE(platform::FileExists(TUninstallList::LogPath(installDir, "Cool_") + ".new"));

  ASSERT_TRUE(reg.OpenKeyReadOnly(kTestKey)) << "logged values go, their keys stay";
  std::string value;
  for (const char* v : {"One", "Two Words", ""}) EXPECT_FALSE(reg.ReadString(v, value)) << v;
  reg.CloseKey();
  platform::Registry machine;
  machine.SetRoot(0);
  EXPECT_FALSE(machine.KeyExists(UninstallKeyPath()));

  // 3 files, 4 folders, 3 registry values; each phase counts on its own.
  EXPECT_EQ(display.maximum, 10);
  std::vector<Update> expected = {{u"Status: 0 of 10 items remaining", -1}, {u"", 0}};
  auto phase = [&](const std::u16string& name, int32_t base, int32_t total) {
    for (int32_t k = 1; k <= total; ++k) {
      std::u16string text = name + u":" + static_cast<char16_t>(u'0' + k) + u"/" + static_cast<char16_t>(u'0' + total);
      expected.push_back({text, -1});
      expected.push_back({u"", base + k});
    }
  };
  phase(u"", 0, 3);
  phase(u"folders", 3, 4);
  phase(u"registry", 7, 3);
  EXPECT_EQ(display.updates, expected);
}

TEST_F(UninstallTest, LoggedPathsThatAreNoPlainFullPathsAreSkippedAndKept) {
  Install();
  // What a damaged or foreign log may name: beside the install folder
  // through "..", relative to wherever the uninstaller runs, a stream, a
  // device, the long-path and share forms.
  const std::string victim = dir.File("victim.txt"), victimDir = dir.File("victim dir");
  testing_support::WriteFileText(victim, "not the installation's");
  platform::MakeDir(victimDir);
  for (const std::string& file : {std::string("$INSTDIR\\..\\victim.txt"), dir.Path() + "\\victim.txt",
                                  std::string("$INSTDIR\\a.txt:stream"), std::string("$INSTDIR\\sub\\NUL"),
                                  "\\\\?\\" + installDir + "\\..\\victim.txt", std::string("\\\\server\\share\\x")})
    UninstallList.AddFile(file);
  UninstallList.AddDir(installDir + "\\..\\victim dir");
  const std::vector<std::string> skippedFiles(UninstallList.Files().end() - 6, UninstallList.Files().end());
  RecordingDisplay display;
  EXPECT_EQ(RunUninstall(display),
            "Error: 7 logged items are no plain full paths; they were left alone and stay in the install log.");
  EXPECT_TRUE(platform::FileExists(victim));
  EXPECT_TRUE(platform::DirectoryExists(victimDir));
  EXPECT_FALSE(platform::FileExists(installDir + "\\a.txt")) << "the rest of the log is removed";
  EXPECT_EQ(display.updates.back(), (Update{u"Status: skipped 7 logged items that are no plain full paths", -1}));
  EXPECT_EQ(UninstallList.Files(), skippedFiles) << "the log keeps exactly what was skipped";
  EXPECT_EQ(UninstallList.Dirs(), std::vector<std::string>{"$INSTDIR\\..\\victim dir"});
  EXPECT_TRUE(platform::FileExists(TUninstallList::LogPath(installDir, "Cool_")));
}

TEST_F(UninstallTest, EachPhaseShowsAtMostOneUpdatePerPercent) {
  for (int i = 0; i < 250; ++i) UninstallList.AddFile(installDir + "\\f" + std::to_string(i));
  RecordingDisplay display;
  RunUninstall(display);
  size_t statuses = 0;
  for (const Update& u : display.updates) statuses += u.Progress < 0;
  EXPECT_EQ(statuses, 1u + 100u);
  EXPECT_EQ(display.updates.back(), (Update{u"", 250}));
}

TEST_F(UninstallTest, AFailingDisplayDoesNotStopTheRun) {
  Install();
  FailingDisplay display;
  RunUninstall(display);
  EXPECT_FALSE(platform::FileExists(installDir + "\\a.txt"));
  EXPECT_FALSE(platform::DirectoryExists(installDir + "\\sub"));
  ASSERT_TRUE(reg.OpenKeyReadOnly(kTestKey));
  std::string value;
  EXPECT_FALSE(reg.ReadString("One", value)) << "the registry phase runs too";
  EXPECT_FALSE(platform::FileExists(TUninstallList::LogPath(installDir, "Cool_")));
}

TEST_F(UninstallTest, DeleteRegEntryDeletesOnlyTheNamedValue) {
  struct Case {
    const char* name;
    std::string entry;
    std::vector<const char*> gone, kept;
  } cases[] = {
      {"named value", "\"HKCU\" \"" + kTestKey + "\" \"One\" \"1\"", {"One"}, {"Two Words", ""}},
      {"root in lower case, blanks in the name",
       "\"hkcu\" \"" + kTestKey + "\" \"Two Words\" \"2\"",
       {"Two Words"},
       {"One", ""}},
      {"the default value", "\"HKCU\" \"" + kTestKey + "\" \"\" \"\"", {""}, {"One", "Two Words"}},
      {"a key that does not exist",
       "\"HKCU\" \"" + kTestKey + "\\Missing\" \"One\" \"\"",
       {},
       {"One", "Two Words", ""}},
      {"another root", "\"HKCR\" \"" + kTestKey + "\" \"One\" \"\"", {}, {"One", "Two Words", ""}},
      {"too few fields", "\"HKCU\"", {}, {"One", "Two Words", ""}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    for (const char* v : {"One", "Two Words", ""}) ASSERT_TRUE(reg.WriteString(v, "x"));
    reg.CloseKey();
    DeleteRegEntry(c.entry);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kTestKey)) << c.name;
    std::string value;
    for (const char* v : c.gone) EXPECT_FALSE(reg.ReadString(v, value)) << c.name << ": " << v;
    for (const char* v : c.kept) EXPECT_TRUE(reg.ReadString(v, value)) << c.name << ": " << v;
    reg.CloseKey();
  }
}

TEST_F(UninstallTest, WithoutAShortNameTheListOfInstalledProgramsIsLeftAlone) {
  SetupInfoFile.SetupShortName = "";
  platform::Registry machine;
  machine.SetRoot(0);
  ASSERT_TRUE(machine.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true));
  ASSERT_TRUE(machine.WriteString("DisplayName", "not ours"));
  machine.CloseKey();
  RecordingDisplay display;
  RunUninstall(display);
  ASSERT_TRUE(machine.OpenKeyReadOnly("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
  std::string value;
  EXPECT_TRUE(machine.ReadString("DisplayName", value));
  machine.CloseKey();
  ASSERT_TRUE(machine.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", false));
  machine.DeleteValue("DisplayName");
}
