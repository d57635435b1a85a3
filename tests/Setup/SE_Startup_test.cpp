#include "Setup/SE_Startup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_SetupInfo.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/ByteOrder.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WidePath.h"
#include "tests/Setup/RuntimeFixture.h"

namespace {

using namespace std::chrono_literals;

constexpr uint8_t kHKCU = 1;
const std::string kTestKey = "Software\\ModKitTests\\Startup";

// Command ids of the stored script format.
constexpr int32_t kFile = 7, kQxpUpdate = 11, kVfsUpdate = 30, kMessage = 15;

class RecordingVerifyView : public TVerifyView {
 public:
  void Show(const std::string& status, int32_t position, int32_t maximum) override {
    shown.push_back(status + " " + std::to_string(position) + "/" + std::to_string(maximum));
  }
  void ProcessMessages() override { ++pumped; }
  void Close() override { closed = true; }
  std::vector<std::string> shown;
  int pumped = 0;
  bool closed = false;
};

class StartupTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    Silent = false;
    IdDir.clear();
    SystemLangId = 0x409;
    SpaceRequired = SpaceAvailable = 0;
    GroupKinds.clear();
    info.SetupName = "Cool Mod";
    info.SetupShortName = kShortName;
    info.InstallDir = "C:\\Games\\Quexar";
    info.UninstallPrefix = "Cool_";
  }
  void TearDown() override {
    platform::Registry reg;
    reg.SetRoot(kHKCU);
    reg.DeleteKey(kTestKey);
    RuntimeTest::TearDown();
  }

  static std::string Stored(const TSetupInfoFile& record) {
    Bytes b;
    EXPECT_TRUE(record.Store(b));
    return std::string(b.begin(), b.end());
  }

  static std::string Stored(const std::vector<TCompLine>& lines) {
    TCommandList commands;
    RegisterCommands(commands);
    TCompLines script = Script(lines);
    Bytes b;
    EXPECT_TRUE(script.Store(commands, b));
    return std::string(b.begin(), b.end());
  }

  static std::string Language(const std::u16string& text) {
    std::vector<uint8_t> b = testing_support::LanguageFileBytes(text);
    return std::string(b.begin(), b.end());
  }

  // An installer: two languages, a layout file, its setup information and
  // a script of two file groups and one archive-update group.
  std::vector<ArchiveItem> Installer() const {
    return {
        {"LANGUAGE-English", 0, Language(u"English\r\n409;809;\r\n12 Back\r\n")},
        {"Pages.txt", 0, "[pages]"},
        {"language-Deutsch", 0, Language(u"Deutsch\r\n407;\r\n12 Zur\u00FCck\r\n")},
        {"SetupInfo", 0, Stored(info)},
        {"CompiledLines", 0,
         Stored({Cmd(kFile, {"$INSTDIR", "1"}), Cmd(kMessage, {"hi"}), Cmd(kQxpUpdate, {"a.qxp", "pw", "x", "2"}),
                 Cmd(kFile, {"$INSTDIR\\b", "3"})})},
        {"data\\a.dat", 1, std::string(1000, 'a')},
        {"b.dat", 3, std::string(24, 'b')},
        {"packed.wav", 2, std::string(5000, 'w')},
    };
  }

  // Opens and loads an archive of these items, as start-up does after the
  // verification.
  bool Load(const std::vector<ArchiveItem>& items) {
    std::string path = WriteArchiveFile("setup.exe", items, "MZ");
    EXPECT_TRUE(OpenSetupArchive(path));
    int64_t space = 0;
    EXPECT_TRUE(VerifySetupArchive(nullptr, space));
    return LoadSetup(space);
  }

  // Changes a number of entry `index` in the archive's table: 0 the CRC, 2
  // the stored size, 3 the original size.
  static void PatchTable(const std::string& path, size_t index, int field, uint32_t value) {
    TPak pak(path, false, false);
    int64_t at = pak.TableOffset;
    for (size_t i = 0; i < index; ++i) at += 2 + pak.Entries[i].Name.size() + 18;
    at += 2 + pak.Entries[index].Name.size() + 4 * field;
    pak.Close();
    platform::File file(path, platform::OpenMode::ReadWrite);
    Bytes b;
    PutU32(b, value);
    ASSERT_EQ(file.Seek(at, platform::SeekOrigin::Begin), at);
    ASSERT_TRUE(file.Write(b.data(), b.size()));
  }

  TSetupInfoFile info;
};

}  // namespace

TEST(StartupSwitches, ReadSwitches) {
  struct Case {
    std::vector<std::u16string> params;
    bool silent;
    std::u16string idDir;
    bool watched;  // whether a person is taken to watch the run
  } cases[] = {
      {{}, false, u"", true},
      {{u"-silent"}, true, u"", true},
      {{u"setup.pak", u"-SILENT", u"-Id", u"C:\\Games\\"}, true, u"C:\\Games\\", false},
      {{u"-id"}, false, u"", true},
      {{u"-silent", u"-id"}, true, u"", true},
      {{u"-id", u"C:\\Games"}, false, u"C:\\Games", true},
      {{u"-id", u"-silent"}, true, u"-silent", false},
      {{u"-silentx", u"/silent", u"-id=C:\\"}, false, u"", true},
      {{u"-id", u"C:\\A", u"-id", u"D:\\B"}, false, u"D:\\B", true},
      {{u"-id", u"C:\\Games\\\u0141\u00F3d\u017A"}, false, u"C:\\Games\\\u0141\u00F3d\u017A", true},
  };
  for (const Case& c : cases) {
    Silent = false;
    IdDir.clear();
    ReadSwitches(c.params);
    EXPECT_EQ(Silent, c.silent) << c.params.size();
    EXPECT_TRUE(IdDir == c.idDir) << c.params.size();
    EXPECT_EQ(platform::PersonWatching(), c.watched) << c.params.size();
  }
  Silent = false;
  IdDir.clear();
  platform::SetPersonWatching(true);
}

TEST_F(StartupTest, TheArchiveComesFromAnExistingFileNamedFirst) {
  WriteText(dir.File("setup.pak"), "archive");
  platform::MakeDir(dir.File("folder"));
  struct Case {
    std::vector<std::string> params;
    std::string file;
  } cases[] = {
      {{dir.File("setup.pak"), "-silent"}, dir.File("setup.pak")},
      {{"-silent", dir.File("setup.pak")}, "Setup.exe"},
      {{dir.File("missing.pak")}, "Setup.exe"},
      {{dir.File("folder")}, "Setup.exe"},
      {{}, "Setup.exe"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ArchiveFileName(c.params, "Setup.exe"), c.file) << ::testing::PrintToString(c.params);
}

TEST_F(StartupTest, AFileWithoutAWholeArchiveIsRefused) {
  std::string good = WriteArchiveFile("good.exe", {{"a", 0, "abc"}}, "MZ");
  Bytes whole = testing_support::ReadFileBytes(good);
  struct Case {
    const char* name;
    std::string content;
  } cases[] = {
      {"the bare program", "MZ runtime without an archive"},
      {"shorter than a trailer", "QXPF"},
      {"an empty file", ""},
      {"the trailer cut off", std::string(whole.begin(), whole.end() - 1)},
      {"the entry count lowered",
       std::string(whole.begin(), whole.end() - 10) + '\0' + std::string(whole.end() - 9, whole.end())},
  };
  for (const Case& c : cases) {
    boxes.clear();
    WriteText(dir.File("bad.exe"), c.content);
    EXPECT_FALSE(OpenSetupArchive(dir.File("bad.exe"))) << c.name;
    EXPECT_EQ(boxes,
              (std::vector<RecordedBox>{{"Invalid Setup Header. No Contents or Corrupted Contents.", "Error", 0}}))
        << c.name;
  }
  EXPECT_FALSE(OpenSetupArchive(dir.File("missing.exe")));
  EXPECT_TRUE(OpenSetupArchive(good));
}

TEST_F(StartupTest, VerificationChecksEveryEntryAndNamesTheFirstBadOne) {
  const std::vector<ArchiveItem> items = {{"LANGUAGE-English", 0, std::string(200, 'e')},
                                          {"empty", 0, ""},
                                          {"data.dat", 1, std::string(300, 'd')},
                                          {"more.dat", 2, "0123456789"}};
  struct Case {
    const char* name;
    std::function<void(const std::string& path, const TPak& pak)> damage;
    bool passes;
    std::vector<RecordedBox> boxes;
  } cases[] = {
      {"a whole archive", [](const std::string&, const TPak&) {}, true, {}},
      {"a stored byte changed",
       [](const std::string& path, const TPak& pak) {
         platform::File file(path, platform::OpenMode::ReadWrite);
         file.Seek(pak.Entries[2].Offset + 5, platform::SeekOrigin::Begin);
         file.Write("?", 1);
       },
       false,
       {{"Error: Verification Failed. Setup is corrupt.\rID: 2 Filename: data.dat", "Verification Error", 0}}},
      {"an original size that does not match",
       [](const std::string& path, const TPak&) { PatchTable(path, 0, 3, 201); },
       false,
       {{"LANGUAGE-English\r\rError: DecompSize - 200 OrigSize - 201", "Error", 0},
        {"Error: Verification Failed. Setup is corrupt.\rID: 0 Filename: LANGUAGE-English", "Verification Error", 0}}},
  };
  for (const Case& c : cases) {
    boxes.clear();
    std::string path = WriteArchiveFile("setup.exe", items, "MZ");
    {
      TPak pak(path, false, false);
      c.damage(path, pak);
    }
    ASSERT_TRUE(OpenSetupArchive(path)) << c.name;
    RecordingVerifyView view;
    int64_t space = -1;
    EXPECT_EQ(VerifySetupArchive(&view, space, 0ms), c.passes) << c.name;
    EXPECT_EQ(boxes, c.boxes) << c.name;
    if (!c.passes) continue;
    EXPECT_EQ(space, 310) << c.name;
    EXPECT_EQ(view.shown, (std::vector<std::string>{
                              "Status: 0 out of 4 files verifyed 0/4", "Status: 1 out of 4 files verifyed 1/4",
                              "Status: 2 out of 4 files verifyed 2/4", "Status: 3 out of 4 files verifyed 3/4",
                              "Status: 4 out of 4 files verifyed 4/4"}))
        << c.name;
    EXPECT_EQ(view.pumped, 4) << c.name;
    // At most once an interval, and the last state at the end.
    RecordingVerifyView paced;
    EXPECT_TRUE(VerifySetupArchive(&paced, space, 1h));
    EXPECT_EQ(paced.shown, (std::vector<std::string>{"Status: 0 out of 4 files verifyed 0/4",
                                                     "Status: 4 out of 4 files verifyed 4/4"}));
    EXPECT_EQ(paced.pumped, 1);
  }
}

TEST_F(StartupTest, ALargeEntryKeepsTheVerificationWindowAnswering) {
  std::string path = WriteArchiveFile("setup.exe", {{"big.dat", 1, std::string(kLargeEntrySize, 'L')}}, "MZ");
  ASSERT_TRUE(OpenSetupArchive(path));
  RecordingVerifyView view;
  int64_t space = 0;
  EXPECT_TRUE(VerifySetupArchive(&view, space, 0ms));
  // Pieces of 25 MiB: the bar moves in thousandths of the entry.
  EXPECT_EQ(view.shown, (std::vector<std::string>{
                            "Status: 0 out of 1 files verifyed 0/1", "Status: 0 out of 1 files verifyed 357/1000",
                            "Status: 0 out of 1 files verifyed 714/1000", "Status: 0 out of 1 files verifyed 1000/1000",
                            "Status: 1 out of 1 files verifyed 1/1"}));
  EXPECT_EQ(view.pumped, 4);
}

TEST_F(StartupTest, AStreamThatIsNoZlibDataFailsVerification) {
  // Raw bytes whose checksum is right, claimed to be a compressed stream.
  std::string path = WriteArchiveFile("setup.exe", {{"x", 0, "\x01\x02\x03\x04\x05\x06\x07\x08"}}, "MZ");
  PatchTable(path, 0, 2, 8);
  PatchTable(path, 0, 3, 100);
  ASSERT_TRUE(OpenSetupArchive(path));
  int64_t space = 0;
  EXPECT_FALSE(VerifySetupArchive(nullptr, space));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(boxes, (std::vector<RecordedBox>{
                       {"Error: Verification Failed. Setup is corrupt.\rID: 0 Filename: x", "Verification Error", 0}}));
  EXPECT_EQ(SetupArchive->LastError().rfind("The data of entry \"x\" do not inflate: zlib: ", 0), 0u)
      << SetupArchive->LastError();
}

TEST_F(StartupTest, AnEmptyArchivePassesVerificationAndStopsAtTheMissingSetupInformation) {
  RecordingVerifyView view;
  EXPECT_FALSE(StartUp(WriteArchiveFile("setup.exe", {}, "MZ"), &view, 0ms));
  EXPECT_EQ(view.shown, (std::vector<std::string>{"Loading Header 0/100", "Status: 0 out of 0 files verifyed 0/0"}));
  EXPECT_TRUE(view.closed);
  EXPECT_EQ(
      boxes,
      (std::vector<RecordedBox>{{"Error: Setup Information Missing. Setup is corrupt", "Verification Error", 0}}));
}

TEST_F(StartupTest, TheVerificationWindowStandsAWhileAlsoInASilentRun) {
  std::string path = WriteArchiveFile("setup.exe", Installer(), "MZ");
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(StartUp(path, nullptr, 200ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
}

TEST_F(StartupTest, AnInstallerLoadsItsScriptCommandsAndSpace) {
  ASSERT_TRUE(Load(Installer()));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(SetupInfoFile.SetupName, "Cool Mod");
  EXPECT_EQ(CompLines.Lines.size(), 4u);
  EXPECT_EQ(CommandList.Count(), kCommandCount);
  EXPECT_EQ(GroupKinds, (std::vector<uint8_t>{0, 0, 1, 0}));
  // Plain groups count their contents, the update group its stored bytes.
  const TPakFile& packed = SetupArchive->Entries[7];
  ASSERT_NE(packed.StoredSize, 0u);
  EXPECT_EQ(SpaceRequired, 1000 + 24 + static_cast<int64_t>(packed.StoredSize));
  EXPECT_EQ(SpaceRequiredText, FormatByteSize(SpaceRequired));
  EXPECT_EQ(SetupInfoFile.InstallDir, "C:\\Games\\Quexar");
}

TEST_F(StartupTest, MissingOrDamagedItemsEndTheStartUp) {
  const std::string script = Stored({Cmd(kMessage, {"hi"})});
  TSetupInfoFile uninstaller = info;
  uninstaller.IsUninstaller = 1;
  uninstaller.InstallDir = installDir;
  struct Case {
    const char* name;
    std::vector<ArchiveItem> items;
    RecordedBox box;
  } cases[] = {
      {"no setup information",
       {{"CompiledLines", 0, script}},
       {"Error: Setup Information Missing. Setup is corrupt", "Verification Error", 0}},
      {"damaged setup information",
       {{"SetupInfo", 0, "\x05"}, {"CompiledLines", 0, script}},
       {"Error: Setup Information Missing. Setup is corrupt", "Verification Error", 0}},
      {"setup information in another group",
       {{"SetupInfo", 1, Stored(info)}, {"CompiledLines", 0, script}},
       {"Error: Setup Information Missing. Setup is corrupt", "Verification Error", 0}},
      {"an installer without its script",
       {{"SetupInfo", 0, Stored(info)}},
       {"Error: Compiled Lines Missing. Setup is corrupt", "Verification Error", 0}},
      {"an installer with a damaged script",
       {{"SetupInfo", 0, Stored(info)}, {"CompiledLines", 0, "\x01\x00\x07"}},
       {"Error: Compiled Lines Missing. Setup is corrupt", "Verification Error", 0}},
      {"an uninstaller without its log",
       {{"SetupInfo", 0, Stored(uninstaller)}},
       {"Error: install log is missing", "Setup Error", 0}},
      {"an uninstaller whose log is cut short",
       {{"SetupInfo", 0, Stored(uninstaller)}},
       {"Error: The install log is damaged: " + TUninstallList::LogPath(installDir, "Cool_") +
            "\rThe log ends in its list of 1 files at entry 0",
        "Setup Error", 0}},
  };
  for (const Case& c : cases) {
    boxes.clear();
    if (c.box.Text.find("damaged") != std::string::npos) {
      platform::MakeDir(installDir);
      testing_support::WriteFileBytes(dir.File("Game/Cool_install.log"), {1, 0, 0, 0, 0, 0});
    }
    EXPECT_FALSE(Load(c.items)) << c.name;
    EXPECT_EQ(boxes, (std::vector<RecordedBox>{c.box})) << c.name;
  }
}

TEST_F(StartupTest, AnUninstallerLoadsTheLogOfItsInstallFolder) {
  TSetupInfoFile record = info;
  record.IsUninstaller = 1;
  record.InstallDir = installDir;
  const std::string elsewhere = testing_support::DrivePath(dir.Path()) + "\\Moved";
  platform::MakeDir(installDir);
  platform::MakeDir(elsewhere);
  struct Case {
    const char* name;
    std::string idDir;
    std::string logDir;
  };
  // The uninstaller reads itself from a folder of its own, which holds the
  // log when the installation was moved there.
  const std::string own = testing_support::DrivePath(dir.Path()) + "\\Own";
  platform::MakeDir(own);
  WriteArchiveFile("Own/Cool_Uninstall.exe",
                   {{"LANGUAGE-English", 0, Language(u"English\r\n409;\r\n")},
                    {"SetupInfo", 0, Stored(record)},
                    {"data.dat", 1, "not counted"}},
                   "MZ");
  const Case cases[] = {
      {"the stored folder", "", installDir},
      {"the folder named by -id", elsewhere, elsewhere},
      {"moved: the uninstaller's own folder, when the stored one has no log", "", own},
  };
  for (const Case& c : cases) {
    UninstallList.Clear();
    UninstallList.AddFile(c.logDir + "\\logged.txt");
    ASSERT_TRUE(UninstallList.SaveToFile(c.logDir, "Cool_"));
    UninstallList.Clear();
    IdDir = platform::AnsiToWide(c.idDir);
    SpaceAvailable = 7;
    ASSERT_TRUE(OpenSetupArchive(own + "\\Cool_Uninstall.exe"));
    ASSERT_TRUE(LoadSetup(0)) << c.name;
    EXPECT_EQ(UninstallList.Files().size(), 1u) << c.name;
    EXPECT_EQ(SetupInfoFile.InstallDir, c.logDir) << c.name;
    EXPECT_EQ(SpaceRequired, 0) << c.name;
    EXPECT_EQ(CommandList.Count(), 0) << "an uninstaller registers no commands";
    EXPECT_EQ(SpaceAvailable == 7, c.idDir.empty()) << "only -id makes an uninstaller look at the drive";
    platform::RemoveFile(TUninstallList::LogPath(c.logDir, "Cool_"));
  }
}

TEST_F(StartupTest, TheLanguageIsTheSystemsElseTheFirst) {
  struct Case {
    uint16_t langId;
    int32_t current;
  } cases[] = {{0x409, 0}, {0x809, 0}, {0x407, 1}, {0x40C, 0}};
  for (const Case& c : cases) {
    Languages = TLanguages();
    SystemLangId = c.langId;
    ASSERT_TRUE(Load(Installer()));
    EXPECT_EQ(Languages.Items.size(), 2u) << "names compared without case";
    EXPECT_EQ(Languages.Current, c.current) << std::hex << c.langId;
  }
  Languages = TLanguages();
  std::vector<ArchiveItem> none = Installer();
  none.erase(none.begin() + 2);
  none.erase(none.begin());
  ASSERT_TRUE(Load(none));
  EXPECT_TRUE(Languages.Items.empty());
  EXPECT_EQ(Languages.Current, 0);
}

TEST_F(StartupTest, TheInstallFolderComesFromTheCommandLineTheRegistryOrTheSetup) {
  platform::Registry reg;
  reg.SetRoot(kHKCU);
  ASSERT_TRUE(reg.OpenKey(kTestKey, true));
  ASSERT_TRUE(reg.WriteString("Path", "D:\\Quexar"));
  ASSERT_TRUE(reg.WriteString("Empty", ""));
  ASSERT_TRUE(reg.WriteString("Dot", "C:\\QuexarDot\\.\\"));
  ASSERT_TRUE(reg.WriteString("Slashes", "C:/QuexarFS"));
  ASSERT_TRUE(reg.WriteString("Relative", "Games\\Quexar"));
  reg.CloseKey();
  const std::string refusal = "Error: The install folder ";
  struct Case {
    const char* name;
    std::string idDir;
    std::vector<TREGKEY> slots;
    std::string stored;
    std::string result;  // empty: refused with `box`
    std::string box = "";
  } cases[] = {
      {"stored", "", {}, "C:\\Games\\Quexar", "C:\\Games\\Quexar"},
      {"-id wins over everything", "E:\\Mine", {{kHKCU, kTestKey, "Path"}}, "C:\\Games", "E:\\Mine"},
      {"the first slot that gives a folder",
       "",
       {{kHKCU, kTestKey, ""},
        {kHKCU, kTestKey, "Empty"},
        {kHKCU, kTestKey + "\\Missing", "Path"},
        {9, kTestKey, "Path"},
        {kHKCU, kTestKey, "Path"}},
       "C:\\Games",
       "D:\\Quexar"},
      {"no slot gives one: the stored folder stays", "", {{kHKCU, kTestKey, "Missing"}}, "C:\\Games", "C:\\Games"},
      {"nothing at all", "", {}, "", "", "Error: Registry Key Not Found. Please Install Software"},
      {"slots give nothing and nothing is stored",
       "",
       {{kHKCU, kTestKey, "Empty"}},
       "",
       "",
       "Error: Registry Key Not Found. Please Install Software"},
      {"-id a drive's root", "E:\\", {}, "C:\\Games", "E:\\"},
      {"-id relative",
       "Mine\\Games",
       {},
       "C:\\Games",
       "",
       refusal + "named by -id cannot be used: Mine\\Games\rIt is not the full path of a folder on a drive."},
      {"-id a share",
       "\\\\server\\games",
       {},
       "C:\\Games",
       "",
       refusal + "named by -id cannot be used: \\\\server\\games\rIt is not the full path of a folder on a drive."},
      {"-id with a parent's name",
       "E:\\Mine\\..\\Games",
       {},
       "C:\\Games",
       "",
       refusal + "named by -id cannot be used: E:\\Mine\\..\\Games\rIt is not the full path of a folder on a drive."},
      {"-id of 300 characters, refused before anything is made",
       "E:\\" + std::string(296, 'x'),
       {},
       "C:\\Games",
       "",
       refusal + "named by -id cannot be used: E:\\" + std::string(296, 'x') +
           "\rIt is too long: with the installer's own files in it a path would pass the system's 259 characters."},
      {"a registry folder with a dot", "", {{kHKCU, kTestKey, "Dot"}}, "C:\\Games", "C:\\QuexarDot\\"},
      {"a registry folder with slashes", "", {{kHKCU, kTestKey, "Slashes"}}, "C:\\Games", "C:\\QuexarFS"},
      {"a relative registry folder",
       "",
       {{kHKCU, kTestKey, "Relative"}},
       "C:\\Games",
       "",
       refusal +
           "named in the registry cannot be used: Games\\Quexar\rIt is not the full path of a folder on a drive."},
  };
  for (const Case& c : cases) {
    boxes.clear();
    info.InstallDirRegKey = {};
    for (size_t i = 0; i < c.slots.size(); ++i) info.InstallDirRegKey[i] = c.slots[i];
    info.InstallDir = c.stored;
    IdDir = platform::AnsiToWide(c.idDir);
    bool loaded = Load(Installer());
    EXPECT_EQ(loaded, !c.result.empty()) << c.name;
    if (loaded)
      EXPECT_EQ(SetupInfoFile.InstallDir, c.result) << c.name;
    else
      EXPECT_EQ(boxes, (std::vector<RecordedBox>{{c.box, c.box.starts_with(refusal) ? "Setup Error" : "Error", 0}}))
          << c.name;
  }
}

// The one check of install folders: names the code page cannot hold, and
// the length that leaves room for the installer's own files.
TEST_F(StartupTest, AnInstallFolderOutsideTheCodePageOrTooLongIsRefused) {
  SetupInfoFile.UninstallPrefix = "Cool_";
  SetupInfoFile.UninstallExe = "Cool_Uninstall.exe";  // the longer of the two names
  const std::string room(259 - 3 - 1 - 18, 'x');
  struct Case {
    std::u16string given;
    std::string folder;  // empty: refused with `fault`
    std::string fault;
  } cases[] = {
      {u"C:\\" + platform::AnsiToWide(room), "C:\\" + room, ""},
      {u"C:\\" + platform::AnsiToWide(room) + u"\\", "C:\\" + room + "\\", ""},
      {u"C:\\" + platform::AnsiToWide(room + "x"), "",
       "is too long: with the installer's own files in it a path would pass the system's 259 characters"},
      {u"C:\\Games\\caf\u00E9", "C:\\Games\\caf\xE9", ""},  // in the code page
      {u"C:\\\u0418\u0433\u0440\u0430", "", platform::kNoNarrowPath},
      {u"C:\\Games\\\u0141\u00F3d\u017A\\Mod", "", platform::kNoNarrowPath},
      {u"", "", "is not the full path of a folder on a drive"},
  };
  for (const Case& c : cases) {
    std::string folder = "stale";
    EXPECT_EQ(InstallFolderFault(c.given, folder), c.fault) << c.folder;
    EXPECT_EQ(folder, c.folder);
  }
}

TEST(SpaceOfGroups, CountsContentsOfFileGroupsAndStoredBytesOfUpdates) {
  auto entry = [](uint16_t group, uint32_t stored, uint32_t original) {
    TPakFile e;
    e.Group = group;
    e.StoredSize = stored;
    e.OriginalSize = original;
    return e;
  };
  const std::vector<uint8_t> kinds = {0, 0, 1};
  struct Case {
    const char* name;
    std::vector<TPakFile> entries;
    int64_t space;
  } cases[] = {
      {"group 0 counts nothing", {entry(0, 10, 100)}, 0},
      {"a file group counts contents", {entry(1, 10, 100), entry(1, 0, 7)}, 107},
      {"an update group counts stored bytes", {entry(2, 10, 100)}, 10},
      {"a raw update entry counts its contents", {entry(2, 0, 70)}, 70},
      {"groups beyond the script count nothing", {entry(3, 10, 100), entry(65535, 1, 1)}, 0},
      {"more than 4 GiB in all",
       {entry(1, 1, 0xFFFFFFFF), entry(1, 1, 0xFFFFFFFF), entry(2, 0xFFFFFFFF, 1)},
       3 * int64_t{0xFFFFFFFF}},
  };
  for (const Case& c : cases) EXPECT_EQ(SpaceOfGroups(c.entries, kinds), c.space) << c.name;
  EXPECT_EQ(SpaceOfGroups({entry(1, 1, 5)}, {}), 0) << "no kinds at all";
}
