#include "Setup/SE_Uninstaller.h"

#include <gtest/gtest.h>

#include <map>

#include "installer-library/QXI_SetupInfo.h"
#include "installer-library/SE_Global.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/Registry.h"
#include "tests/Setup/RuntimeFixture.h"

namespace {

struct Entry {
  std::string Name;
  std::string Data;
  bool operator==(const Entry&) const = default;
};

class UninstallerTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    SetupInfoFile.SetupName = "Cool Mod";
    SetupInfoFile.UninstallExe = "Cool_Uninstall.exe";
    SetupInfoFile.UninstallPrefix = "Cool_";
    SetupInfoFile.HasUninstall = 1;
    savedWriter_ = UninstallerIconWriter;
    UninstallerIconWriter = [this](const Bytes& icon, const std::string& exePath) {
      icons.push_back({exePath, std::string(icon.begin(), icon.end())});
      return true;
    };
  }
  void TearDown() override {
    UninstallerIconWriter = savedWriter_;
    RuntimeTest::TearDown();
  }

  // The group-0 entries of the archive at the end of a file.
  static std::vector<Entry> EntriesOf(const std::string& path) {
    TPak pak(path, false, false);
    std::vector<Entry> out;
    for (size_t i = 0; i < pak.Entries.size(); ++i) {
      EXPECT_EQ(pak.Entries[i].Group, 0);
      Bytes data = pak.GetData(static_cast<int>(i));
      out.push_back({pak.Entries[i].Name, std::string(data.begin(), data.end())});
    }
    return out;
  }

  // The bytes of a file before its archive.
  static std::string StubOf(const std::string& path) {
    TPak pak(path, false, false);
    std::string all = ReadText(path);
    return all.substr(0, static_cast<size_t>(ArchiveStart(pak, static_cast<int64_t>(all.size()))));
  }

  struct IconCall {
    std::string Exe, Icon;
  };
  std::vector<IconCall> icons;

 private:
  TIconWriter savedWriter_;
};

const std::vector<ArchiveItem> kInstallerItems = {
    {"LANGUAGE-English", 0, "install language"},
    {"Pages.txt", 0, "[pages]\rwelcome.txt"},
    {"UNINSTALL_Pages.txt", 0, "[pages]\runinstall.txt"},
    {"uninstall_icon.ico", 0, "the uninstall icon"},
    {"UNINSTALL_LANGUAGE-English", 0, "uninstall language"},
    {"Uninstall_Finalise.exe", 0, "finaliser program"},
    {"UNINSTALL_empty.txt", 0, ""},
    {"SetupInfo", 0, "installer setup information"},
    {"CompiledLines", 0, "compiled lines"},
    {"UNINSTALL_Data.dat", 1, "a mod file that happens to be named so"},
};

}  // namespace

TEST(ArchiveStart, IsWhereTheFirstStoredBytesOrTheTableBegin) {
  testing_support::TempDir dir;
  struct Case {
    const char* name;
    std::vector<ArchiveItem> items;
    std::string stub;
    size_t start;
  } cases[] = {
      {"entries after a program", {{"a", 0, "abc"}, {"b", 0, "defg"}}, "MZ-stub", 7},
      {"an empty first entry has no data", {{"empty", 0, ""}, {"b", 0, "x"}}, "MZ", 2},
      {"no entry holds data", {{"empty", 0, ""}}, "MZ12", 4},
      {"no entries at all", {}, "MZ123", 5},
      {"an archive in a file of its own", {{"a", 0, "abc"}}, "", 0},
  };
  for (const Case& c : cases) {
    std::string path = dir.File("f");
    testing_support::WriteFileText(path, c.stub);
    {
      TPak writer(path, true, false);
      for (const ArchiveItem& item : c.items)
        writer.WriteEntryData(writer.AddEntry(item.Name, "", item.Group), item.Data.data(), item.Data.size());
      writer.WriteTable();
    }
    TPak pak(path, false, false);
    EXPECT_EQ(ArchiveStart(pak, 1000), static_cast<int64_t>(c.start)) << c.name;
  }
  testing_support::WriteFileText(dir.File("bare"), "MZ no archive");
  TPak bare(dir.File("bare"), false, false);
  EXPECT_EQ(ArchiveStart(bare, 13), 13) << "a program without an archive is all stub";
}

TEST_F(UninstallerTest, CarriesTheProgramTheUninstallItemsAndItsOwnSetupInformation) {
  std::string program = WriteArchiveFile("setup.exe", kInstallerItems, "MZ the installer program");
  OpenArchive(program);
  ASSERT_EQ(WriteUninstaller(program), "");
  std::string uninstaller = installDir + "\\Cool_Uninstall.exe";
  EXPECT_EQ(StubOf(uninstaller), "MZ the installer program");
  std::vector<Entry> entries = EntriesOf(uninstaller);
  ASSERT_EQ(entries.size(), 5u);
  // The "UNINSTALL_" items of group 0 without that prefix, in table order;
  // the icon, the installer's own items and group 1 stay behind.
  EXPECT_EQ(std::vector<Entry>(entries.begin(), entries.end() - 1),
            (std::vector<Entry>{{"Pages.txt", "[pages]\runinstall.txt"},
                                {"LANGUAGE-English", "uninstall language"},
                                {"Finalise.exe", "finaliser program"},
                                {"empty.txt", ""}}));
  EXPECT_EQ(entries[4].Name, "SetupInfo");

  TSetupInfoFile info;
  ASSERT_TRUE(info.LoadFromBuffer(entries[4].Data.data(), entries[4].Data.size()));
  TSetupInfoFile expected = SetupInfoFile;
  expected.IsUninstaller = 1;
  EXPECT_EQ(info, expected) << "the install folder of this run goes along";
  EXPECT_EQ(SetupInfoFile.IsUninstaller, 0) << "the installer itself stays an installer";

  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].Icon, "the uninstall icon");
  EXPECT_EQ(icons[0].Exe, uninstaller + ".new") << "the icon goes into the program being built";
  EXPECT_FALSE(platform::FileExists(uninstaller + ".new"));
}

TEST_F(UninstallerTest, TheStubIsCutFromTheRunningProgramWhateverArchiveWasRead) {
  // Setup read its archive from a file named on its command line.
  OpenArchive(WriteArchiveFile("setup.pak", kInstallerItems));
  testing_support::WriteFileText(dir.File("bare.exe"), "MZ bare runtime");
  struct Case {
    const char* name;
    std::string program;  // the running program's file
    std::string stub;
  } cases[] = {
      {"a bare program", dir.File("bare.exe"), "MZ bare runtime"},
      {"a program with an archive of its own",
       WriteArchiveFile("other.exe", {{"LANGUAGE-x", 0, "other items"}}, "MZ other installer"), "MZ other installer"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(WriteUninstaller(c.program), "") << c.name;
    std::string uninstaller = installDir + "\\Cool_Uninstall.exe";
    EXPECT_EQ(StubOf(uninstaller), c.stub) << c.name;
    EXPECT_EQ(EntriesOf(uninstaller).size(), 5u) << c.name;
  }
}

TEST_F(UninstallerTest, WithoutUninstallItemsOnlyTheSetupInformationGoesAlong) {
  std::string program =
      WriteArchiveFile("setup.exe", {{"Pages.txt", 0, "x"}, {"SetupInfo", 0, "y"}}, "MZ the installer program");
  OpenArchive(program);
  ASSERT_EQ(WriteUninstaller(program), "");
  std::vector<Entry> entries = EntriesOf(installDir + "\\Cool_Uninstall.exe");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, "SetupInfo");
  EXPECT_TRUE(icons.empty()) << "no uninstall icon: the installer's own icon stays";
}

TEST_F(UninstallerTest, AnOlderUninstallerIsReplacedOnlyByAWholeNewOne) {
  std::string program = WriteArchiveFile("setup.exe", kInstallerItems, "MZ the installer program");
  OpenArchive(program);
  std::string uninstaller = installDir + "\\Cool_Uninstall.exe";
  platform::MakeDir(installDir);
  struct Case {
    const char* name;
    std::string program;
    bool written;
  } cases[] = {
      {"the program file is missing", dir.File("missing.exe"), false},
      {"a whole new uninstaller", program, true},
  };
  for (const Case& c : cases) {
    WriteText(uninstaller, "older uninstaller");
    WriteText(uninstaller + ".new", "what a run killed while it built one left");
    std::string error = WriteUninstaller(c.program);
    EXPECT_EQ(error, c.written ? "" : "Error: The uninstaller could not be written: " + uninstaller) << c.name;
    EXPECT_EQ(StubOf(uninstaller), c.written ? "MZ the installer program" : "older uninstaller") << c.name;
    EXPECT_FALSE(platform::FileExists(uninstaller + ".new")) << c.name;
  }
}

TEST_F(UninstallerTest, AnItemDamagedSinceStartUpFailsTheBuild) {
  std::string program =
      WriteArchiveFile("setup.exe", {{"UNINSTALL_Pages.txt", 0, std::string(300, 'p')}}, "MZ program");
  OpenArchive(program);
  // One stored byte of the item changes under the running installer.
  {
    platform::File file(program, platform::OpenMode::ReadWrite);
    uint8_t b = 0;
    file.Seek(SetupArchive->Entries[0].Offset + 3, platform::SeekOrigin::Begin);
    file.Read(&b, 1);
    b ^= 0xFF;
    file.Seek(SetupArchive->Entries[0].Offset + 3, platform::SeekOrigin::Begin);
    file.Write(&b, 1);
  }
  EXPECT_NE(WriteUninstaller(program), "");
  EXPECT_FALSE(platform::FileExists(installDir + "\\Cool_Uninstall.exe"));
  EXPECT_FALSE(platform::FileExists(installDir + "\\Cool_Uninstall.exe.new"));
}

TEST_F(UninstallerTest, RegistersTheUninstallerUnderItsShortName) {
  struct Case {
    const char* shortName;
    std::string installDir;  // as the folder page gives it
    bool registered;
  } cases[] = {{kShortName, installDir, true}, {kShortName, installDir + "\\", true}, {"", installDir, false}};
  for (const Case& c : cases) {
    RemoveUninstallKey();
    SetupInfoFile.SetupShortName = c.shortName;
    SetupInfoFile.InstallDir = c.installDir;
    EXPECT_EQ(RegisterUninstaller(), c.registered);
    platform::Registry reg;
    reg.SetRoot(0);
    std::string key = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kShortName;
    ASSERT_EQ(reg.OpenKeyReadOnly(key), c.registered) << c.shortName;
    if (!c.registered) continue;
    std::string name, command;
    EXPECT_TRUE(reg.ReadString("DisplayName", name));
    EXPECT_TRUE(reg.ReadString("UninstallString", command));
    EXPECT_EQ(name, kShortName);
    // Quoted, one backslash: the system would otherwise try "C:\\Program" first.
    EXPECT_EQ(command, "\"" + installDir + "\\Cool_Uninstall.exe\"") << c.installDir;
  }
  // Without a short name nothing lands in the list of installed programs itself.
  platform::Registry reg;
  reg.SetRoot(0);
  ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
  std::string value;
  EXPECT_FALSE(reg.ReadString("UninstallString", value));
}

TEST_F(UninstallerTest, OnlyAnUninstallerThatWasWrittenIsRegistered) {
  OpenArchive(WriteArchiveFile("setup.exe", kInstallerItems, "MZ the installer program"));
  SetupInfoFile.SetupShortName = kShortName;
  platform::Registry reg;
  reg.SetRoot(0);
  const std::string key = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kShortName;
  struct Case {
    const char* name;
    std::string installDir;
    bool written;
  } cases[] = {
      {"a file where the install folder should be", installDir + "\\blocked\\Game", false},
      {"a folder that can be written", installDir, true},
  };
  platform::MakeDir(installDir);
  WriteText(installDir + "\\blocked", "a file");
  for (const Case& c : cases) {
    RemoveUninstallKey();
    SetupInfoFile.InstallDir = c.installDir;
    EXPECT_EQ(CreateUninstaller().empty(), c.written) << c.name;
    EXPECT_EQ(platform::FileExists(UninstallerPath()), c.written) << c.name;
    EXPECT_EQ(reg.KeyExists(key), c.written) << c.name;
  }
}

TEST_F(UninstallerTest, AnEntryOfAnotherProgramIsNeverChanged) {
  SetupInfoFile.SetupShortName = kShortName;
  SetupInfoFile.InstallDir = installDir;
  const std::string key = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kShortName;
  // Another installation of this setup, still there.
  const std::string elsewhere = testing_support::DrivePath(dir.Path()) + "\\Elsewhere";
  const std::string other = elsewhere + "\\Cool_Uninstall.exe";
  platform::MakeDir(elsewhere);
  WriteText(other, "another installation's uninstaller");
  using Values = std::map<std::string, std::string>;
  struct Case {
    const char* name;
    Values before;
    bool owned;
    Values afterUnregister;  // empty: the key is gone
  } cases[] = {
      {"another program's name",
       {{"DisplayName", "Quexar"}, {"UninstallString", "C:\\Quexar\\unins.exe"}},
       false,
       {{"DisplayName", "Quexar"}, {"UninstallString", "C:\\Quexar\\unins.exe"}}},
      {"this name, another installation that is there",
       {{"DisplayName", kShortName}, {"UninstallString", other}},
       false,
       {{"DisplayName", kShortName}, {"UninstallString", other}}},
      {"an earlier installation whose uninstaller is gone",
       {{"DisplayName", kShortName}, {"UninstallString", "\"C:\\Gone\\Cool_Uninstall.exe\""}},
       true,
       {}},
      {"its own, with a value another program added",
       {{"DisplayName", kShortName}, {"UninstallString", "\"" + UninstallerPath() + "\""}, {"Publisher", "x"}},
       true,
       {{"Publisher", "x"}}},
  };
  platform::Registry reg;
  reg.SetRoot(0);
  auto values = [&] {
    Values found;
    if (!reg.OpenKeyReadOnly(key)) return found;
    for (const char* name : {"DisplayName", "UninstallString", "Publisher"})
      if (std::string v; reg.ReadString(name, v)) found[name] = v;
    reg.CloseKey();
    return found;
  };
  for (const Case& c : cases) {
    RemoveUninstallKey();
    ASSERT_TRUE(reg.OpenKey(key, true));
    for (const auto& [name, text] : c.before) reg.WriteString(name, text);
    reg.CloseKey();
    EXPECT_EQ(OwnsUninstallEntry(), c.owned) << c.name;
    EXPECT_EQ(RegisterUninstaller(), c.owned) << c.name;
    if (!c.owned) {
      EXPECT_EQ(values(), c.before) << c.name << ": not registered";
    }
    UnregisterUninstaller();
    EXPECT_EQ(values(), c.afterUnregister) << c.name;
    EXPECT_EQ(reg.KeyExists(key), !c.afterUnregister.empty()) << c.name;
  }
}
