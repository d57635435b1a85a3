#include "compiler/QXI_SetupBuilder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "Global/CRC.h"
#include "compiler/QXI_CompilerUtils.h"
#include "tests/compiler/BuilderFixture.h"
#include "tests/support/LanguageFile.h"

using namespace builder_testing;

namespace {

using Names = std::vector<std::string>;

struct Entry {
  std::string name;
  uint16_t group;
};

std::vector<Entry> TableOf(const TPak& pak) {
  std::vector<Entry> out;
  for (const TPakFile& e : pak.Entries) out.push_back({e.Name, e.Group});
  return out;
}

bool operator==(const Entry& a, const Entry& b) { return a.name == b.name && a.group == b.group; }

std::ostream& operator<<(std::ostream& os, const Entry& e) { return os << e.name << "@" << e.group; }

Bytes Data(TPak& pak, const std::string& name, uint16_t group) {
  uint32_t size;
  return pak.FindFile(name, group, size);
}

TEST_F(BuilderTest, TheInstallerIsTheBaseProgramWithTheArchiveAppended) {
  CompileMod();
  ASSERT_TRUE(compiler.BuildSetup()) << testing::PrintToString(log);

  Bytes installer = ReadFileBytes(Target());
  ASSERT_GT(installer.size(), baseProgram.size());
  EXPECT_TRUE(std::equal(baseProgram.begin(), baseProgram.end(), installer.begin()));

  TPak pak(Target(), false, false);
  EXPECT_EQ(std::string(pak.Magic, 4), "QXPF");
  EXPECT_EQ(pak.Version, 1);
  EXPECT_EQ(pak.Base, baseProgram.size());
  EXPECT_EQ(pak.EntryCount, pak.Entries.size());
  const std::vector<Entry> expected = {
      {"LANGUAGE-English", 0},
      {"UNINSTALL_LANGUAGE-English", 0},
      {"Pages.txt", 0},
      {"Welcome.txt", 0},
      {"img\\logo.jpg", 0},
      {"UNINSTALL_icon.ico", 0},
      {"UNINSTALL_Pages.txt", 0},
      {"UNINSTALL_FINALISE.EXE", 0},
      {"Changelog", 0},
      {"SetupInfo", 0},
      {"CompiledLines", 0},
      {"a.dat", 1},
      {"sub\\b.dat", 1},
      {"x.dat", 2},
      {"y.dat", 2},
      {"z.dat", 2},
  };
  EXPECT_EQ(TableOf(pak), expected);

  // Entries lie one after the other from the base program on, the table
  // right after the last one, and every one passes its CRC-32.
  uint32_t next = pak.Base;
  for (int i = 0; i < static_cast<int>(pak.Entries.size()); ++i) {
    const TPakFile& e = pak.Entries[i];
    EXPECT_EQ(e.Offset, next) << e.Name;
    next += e.StoredSize ? e.StoredSize : e.OriginalSize;
    EXPECT_TRUE(pak.VerifyEntry(i)) << e.Name;
  }
  EXPECT_EQ(pak.TableOffset, next);

  // The contents are the sources; the later patch's y.dat replaced the first.
  EXPECT_EQ(Data(pak, "y.dat", 2), Text("y from patch 2"));
  EXPECT_EQ(Data(pak, "sub\\b.dat", 1), ReadFileBytes(Fs("mod/files/sub/b.dat").string()));
  EXPECT_EQ(Data(pak, "img\\logo.jpg", 0), ReadFileBytes(Fs("layout/Install/Classic/img/logo.jpg").string()));
  EXPECT_EQ(Data(pak, "UNINSTALL_icon.ico", 0), ReadFileBytes(Fs("layout/Uninstall/Plain/icon.ico").string()));
  EXPECT_EQ(Data(pak, "UNINSTALL_FINALISE.EXE", 0), Text("the finaliser"));
  EXPECT_EQ(Data(pak, "Changelog", 0), Text("1.0: first release"));
  EXPECT_EQ(pak.CountInGroup(3), 0) << "the merged line's own group stays empty";

  // The setup information as the installer sees it: the change log under
  // its entry name.
  TSetupInfoFile stored;
  Bytes setupInfo = Data(pak, "SetupInfo", 0);
  ASSERT_TRUE(stored.LoadFromBuffer(setupInfo.data(), setupInfo.size()));
  EXPECT_EQ(stored.Changelog, "ChangeLog");
  EXPECT_EQ(stored.SetupExeName, "MyMod.exe");
  EXPECT_EQ(stored.Pages, "Install\\Classic");
  EXPECT_EQ(stored.HasUninstall, 1);
  EXPECT_EQ(stored, compiler.SetupInfo);

  // The compiled lines: label and header-only lines as placeholders.
  TCompLines lines;
  Bytes compiled = Data(pak, "CompiledLines", 0);
  ASSERT_TRUE(lines.LoadFromBuffer(compiled.data(), compiled.size()));
  ASSERT_EQ(lines.Lines.size(), 4u);
  EXPECT_EQ(lines.Lines[0].Id, -1);
  EXPECT_EQ(lines.Lines[1].Id, commands.Find("message"));
  EXPECT_EQ(lines.Lines[1].Params, Names{"Hello there"});
  EXPECT_EQ(lines.Lines[2].Id, -1);
  EXPECT_EQ(lines.Lines[3].Id, commands.Find("goto"));

  // Nothing else is left in the output folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Fs("compiled")), {}), 1);
}

TEST_F(BuilderTest, TheLogListsEveryEntryAndTheSizes) {
  CompileMod();
  ASSERT_TRUE(compiler.BuildSetup());
  TPak pak(Target(), false, false);
  ASSERT_EQ(pak.Entries.size(), 16u);

  std::vector<std::string> expected = {"Adding Files:", ""};
  uint32_t sums[2][2] = {};  // [contents, setup files][packed, unpacked]
  for (const TPakFile& e : pak.Entries) {
    std::string sizes = "   " + FormatSize(e.StoredSize) + " / " + FormatSize(e.OriginalSize);
    expected.push_back(e.Group > 0 ? " " + e.Name + sizes : "SETUP COMPONENT:  " + e.Name + sizes);
    sums[e.Group > 0 ? 0 : 1][0] += e.StoredSize ? e.StoredSize : e.OriginalSize;
    sums[e.Group > 0 ? 0 : 1][1] += e.OriginalSize;
  }
  expected.push_back("");
  expected.push_back("Paked Contents Sizes   " + FormatSize(sums[0][0]) + " / " + FormatSize(sums[0][1]));
  expected.push_back("Paked Setup Files Sizes   " + FormatSize(sums[1][0]) + " / " + FormatSize(sums[1][1]));
  expected.push_back("Setup Size   " + FormatSize(static_cast<uint32_t>(ReadFileBytes(Target()).size())));
  expected.push_back("Finished");
  EXPECT_EQ(log, expected);

  // Random data does not shrink: kept raw, its stored size shows as 0.
  EXPECT_TRUE(Logged(" sub\\b.dat   0.00 Bytes / 2.93 KB"));
  EXPECT_TRUE(Logged("SETUP COMPONENT:  Changelog   0.00 Bytes / 18.00 Bytes"));

  // One status per entry while it is packed, after the listing's.
  std::vector<std::string> packing(status.end() - 16, status.end());
  EXPECT_EQ(packing.front(), "LANGUAGE-English is being processed 1 of 16");
  EXPECT_EQ(packing.back(), "z.dat is being processed 16 of 16");
  EXPECT_EQ(status.front(), "Adding To List Pages.txt Current Count: 7");
}

// Without an uninstaller, a change log or any mod file, group 0 holds the
// languages, the install layout and the two records, and the report is
// still written.
TEST_F(BuilderTest, WithoutUninstallerChangeLogOrModFilesGroupZeroHoldsLess) {
  info().HasUninstall = 0;
  info().Changelog = "";
  compiler.Compile({}, "");
  compiler.FileList.AddFile(Path("languages\\English.wri"), "LANGUAGE-English", 0, "");
  ASSERT_TRUE(compiler.BuildSetup());
  TPak pak(Target(), false, false);
  EXPECT_EQ(TableOf(pak), (std::vector<Entry>{{"LANGUAGE-English", 0},
                                              {"Pages.txt", 0},
                                              {"Welcome.txt", 0},
                                              {"img\\logo.jpg", 0},
                                              {"SetupInfo", 0},
                                              {"CompiledLines", 0}}));
  TSetupInfoFile stored;
  Bytes setupInfo = Data(pak, "SetupInfo", 0);
  ASSERT_TRUE(stored.LoadFromBuffer(setupInfo.data(), setupInfo.size()));
  EXPECT_EQ(stored.Changelog, "");
  EXPECT_TRUE(Logged("Paked Contents Sizes   0.00 Bytes / 0.00 Bytes"));
  EXPECT_EQ(log.back(), "Finished");
}

// A second compile run starts from an empty list, so a second build packs
// each file once.
TEST_F(BuilderTest, EachCompileRunStartsAFreshFileList) {
  CompileMod();
  compiler.FileList.RegKeyCount = 3;
  CompileMod();
  EXPECT_EQ(compiler.FileList.Groups.size(), 4u);
  EXPECT_EQ(compiler.FileList.LastGroup, 3);
  EXPECT_EQ(compiler.FileList.RegKeyCount, 0);
  ASSERT_TRUE(compiler.BuildSetup());
  TPak pak(Target(), false, false);
  EXPECT_EQ(pak.Entries.size(), 16u);
}

TEST_F(BuilderTest, TheLayoutIconBecomesTheProgramIconNotAnEntry) {
  CompileMod();
  ASSERT_TRUE(compiler.BuildSetup());
  ASSERT_EQ(iconCalls.size(), 1u);
  EXPECT_EQ(iconCalls[0].first, Path("layout/Install/Classic/icon.ico"));
  // Written into the copy before the archive, never into the base program.
  EXPECT_EQ(iconCalls[0].second.rfind(Path("compiled/MyMod.exe"), 0), 0u) << iconCalls[0].second;
  TPak pak(Target(), false, false);
  uint32_t size;
  EXPECT_TRUE(pak.FindFile("icon.ico", 0, size).empty());
  EXPECT_EQ(size, 0u);
}

TEST_F(BuilderTest, ALayoutWithoutIconKeepsTheBaseIcon) {
  std::filesystem::remove(Fs("layout/Install/Classic/icon.ico"));
  compiler.IconWriter = {};  // not needed, so not missed
  CompileMod();
  EXPECT_TRUE(compiler.BuildSetup());
  EXPECT_TRUE(iconCalls.empty());
}

TEST_F(BuilderTest, ABuildReplacesAnOlderInstaller) {
  Put("compiled/MyMod.exe", Repeated("older installer ", 10000));
  CompileMod();
  ASSERT_TRUE(compiler.BuildSetup());
  TPak pak(Target(), false, false);
  EXPECT_EQ(pak.Base, baseProgram.size());
  EXPECT_EQ(pak.Entries.size(), 16u);
}

// A large file is stored raw: its stored size shows as 0, while the packed
// totals count all of it.
TEST_F(BuilderTest, ALargeFileIsStoredRaw) {
  info().HasUninstall = 0;
  info().Changelog = "";
  compiler.Compile({}, "");
  Put("mod/big/big.bin", {});
  std::filesystem::resize_file(Fs("mod/big/big.bin"), 80u << 20);
  FileLine(Path("mod/big/"), "");
  ASSERT_TRUE(compiler.BuildSetup());
  EXPECT_TRUE(Logged(" big.bin   0.00 Bytes / 80.00 MB"));
  EXPECT_TRUE(Logged("Paked Contents Sizes   80.00 MB / 80.00 MB"));
  TPak pak(Target(), false, false);
  int index;
  ASSERT_TRUE(pak.FindFirstIndex(1, index));
  EXPECT_TRUE(pak.VerifyEntry(index));
}

// Workers pack ahead of the writer, which appends, logs and reports in the
// list's order: any number of them writes the same installer and the same
// log, and a source that fails midway ends the build at that entry.
TEST_F(BuilderTest, AnyNumberOfWorkersWritesTheSameInstaller) {
  info().HasUninstall = 0;
  info().Changelog = "";
  Put("mix/empty.dat", {});
  Put("mix/tiny.dat", Text("ab"));  // a zlib stream would be longer: kept raw
  for (int i = 0; i < 30; ++i)
    Put("mix/f" + std::to_string(10 + i) + ".dat",
        i % 2 ? Random(1000 + 500 * i, i) : Repeated("entry " + std::to_string(i) + " ", 3000 + 400 * i));
  // Above the block threshold: packed in blocks by all workers; the random
  // one's stream ends up longer, so it is kept raw after all.
  Put("mix/pieces.txt", Repeated("read and packed piece by piece ", 80000));
  Put("mix/pieces.bin", Random(kZBlockThreshold + 3, 7));
  Put("mix/large.bin", {});
  std::filesystem::resize_file(Fs("mix/large.bin"), (70u << 20) + 1);
  const std::string failing = "f25.dat";  // entry 21 of 41: past the first workers' reach

  std::vector<std::string> expectedLog, expectedStatus;
  Bytes expected;
  auto installer = [&] {  // read in one go: it is over 70 MiB
    std::ifstream in(Target(), std::ios::binary);
    Bytes bytes(std::filesystem::file_size(Target()));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  };
  for (bool fail : {false, true}) {
    for (int threads : {1, 2, 8}) {
      SCOPED_TRACE(testing::Message() << threads << " threads" << (fail ? ", failing" : ""));
      compiler.BuildThreads = threads;
      std::filesystem::remove(Target());
      compiler.Compile({}, Path("mix"));
      FileLine("", "");
      log.clear();
      status.clear();
      // Listed as a file, found as a folder: it cannot be read.
      if (fail) std::filesystem::remove(Fs("mix/" + failing)), std::filesystem::create_directory(Fs("mix/" + failing));
      bool built = compiler.BuildSetup();
      if (fail) std::filesystem::remove(Fs("mix/" + failing)), Put("mix/" + failing, Random(1000 + 500 * 15, 15));
      if (!fail) {
        ASSERT_TRUE(built);
        if (threads == 1) {
          expected = installer(), expectedLog = log, expectedStatus = status;
          // Packed piece by piece or block by block, every block is what
          // packing the whole contents at once gives.
          TPak pak(Target(), false, false);
          for (int i = 0; i < static_cast<int>(pak.Entries.size()); ++i) {
            const TPakFile& e = pak.Entries[i];
            if (e.Group == 0 || e.OriginalSize >= kLargeEntrySize) continue;
            Bytes contents = ReadFileBytes(Fs("mix/" + e.Name).string());
            TPakFile whole;
            EXPECT_EQ(TPak::PackEntry(whole, contents.data(), contents.size()), pak.ReadStored(i)) << e.Name;
            EXPECT_EQ(std::tie(whole.Crc, whole.StoredSize, whole.OriginalSize),
                      std::tie(e.Crc, e.StoredSize, e.OriginalSize))
                << e.Name;
          }
        }
        EXPECT_TRUE(installer() == expected);  // no dump of 70 MiB when not
        EXPECT_EQ(log, expectedLog);
        EXPECT_EQ(status, expectedStatus);
        continue;
      }
      EXPECT_FALSE(built);
      EXPECT_FALSE(std::filesystem::exists(Target()));
      EXPECT_FALSE(platform::FileExists(Path("compiled/MyMod.exe.new")));
      auto at = std::find_if(expectedLog.begin(), expectedLog.end(),
                             [&](const std::string& line) { return line.rfind(" " + failing + " ", 0) == 0; });
      ASSERT_NE(at, expectedLog.end());
      ASSERT_EQ(log.size(), static_cast<size_t>(at - expectedLog.begin()) + 1);
      EXPECT_TRUE(std::equal(log.begin(), log.end() - 1, expectedLog.begin()));
      EXPECT_EQ(log.back().rfind("Error: Cannot open file", 0), 0u) << log.back();
      EXPECT_NE(log.back().find(failing), std::string::npos) << log.back();
    }
  }
  log = expectedLog;
  EXPECT_TRUE(Logged(" large.bin   0.00 Bytes / 70.00 MB"));
  EXPECT_TRUE(Logged(" tiny.dat   0.00 Bytes / 2.00 Bytes"));
  EXPECT_TRUE(Logged(" pieces.bin   0.00 Bytes / 1.00 MB"));
  EXPECT_TRUE(Logged(" empty.dat   0.00 Bytes / 0.00 Bytes"));
}

// Every failure is logged as an error; the build never reports "Finished",
// leaves no partial output or temporary file behind, and an older installer
// of the same name stays as it was.
TEST_F(BuilderTest, FailuresAreReportedAndLeaveNoOutput) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string error;
  };
  const Bytes language = testing_support::LanguageFileBytes(u"English\r\n409;\r\n12 Back\r\n");
  const Bytes icon = ReadFileBytes(Fs("layout/Install/Classic/icon.ico").string());
  const Case cases[] = {
      // Setup could not start without its pages.
      {"install layout missing", [this] { info().Pages = "Install\\QX9"; },
       "Error: The install layout folder " + Path("layout\\Install\\QX9\\") + " is missing"},
      {"uninstall layout without its pages", [this] { info().UninstallPages = "Install\\Classic\\img"; },
       "Error: The uninstall layout " + Path("layout\\Install\\Classic\\img\\") + " has no Pages.txt"},
      // Nor with a language it cannot read.
      {"language file the installer cannot read",
       [&] { Put("languages/English.wri", testing_support::LanguageFileBytes(u"English\r\n409;\r\n12 Back\r\n\r\n")); },
       "Error: The language file " + Path("languages\\English.wri") +
           " cannot be read by the installer: line 4: '' is not a valid integer value (every line from line 3 on is "
           "a number, a blank and the text; no empty lines)"},
      // Nor with a page it cannot build: the installer's own reason, and the
      // page it was reading.
      {"a picture the installer cannot decode",
       [this] {
         Put("layout/Install/Classic/Pages.txt", Text("[pages]\r\nwelcome.txt\r\n"));
         Put("layout/Install/Classic/Welcome.txt", Text("[logo]\r\ntype=timage\r\nfile=img\\logo.bmp\r\n"));
         Put("layout/Install/Classic/img/logo.bmp", Text("\x89PNG\r\n\x1A\n a PNG named .bmp"));
       },
       "Error: The install layout " + Path("layout\\Install\\Classic\\") +
           " cannot be shown by the installer: page \"welcome.txt\": Picture \"img\\logo.bmp\": Bitmap image is not "
           "valid: no bitmap header"},
      {"a page value the installer cannot read",
       [this] {
         Put("layout/Install/Classic/Pages.txt", Text("[pages]\r\nwelcome.txt\r\n"));
         Put("layout/Install/Classic/Welcome.txt", Text("[title]\r\ntype=tlabel\r\nleft=1O\r\n"));
       },
       "Error: The install layout " + Path("layout\\Install\\Classic\\") +
           " cannot be shown by the installer: page \"welcome.txt\": '1O' is not a valid integer value"},
      {"an uninstall page that is missing",
       [this] { Put("layout/Uninstall/Plain/Pages.txt", Text("[pages]\r\ngone.txt\r\n")); },
       "Error: The uninstall layout " + Path("layout\\Uninstall\\Plain\\") +
           " cannot be shown by the installer: page \"gone.txt\": Error File Missing: |gone.txt|"},
      {"icon file damaged",
       [this] {
         Put("layout/Install/Classic/icon.ico", Bytes{0, 0, 1, 0});
       },
       "Error: The icon " + Path("layout\\Install\\Classic\\icon.ico") +
           " cannot be used: The file of 4 bytes is shorter than an icon file's header of 6 bytes"},
      {"missing base program", [this] { std::filesystem::remove(Fs("base/setup.exe")); },
       "Error: The base program " + Path("base\\setup.exe") + " is missing"},
      {"icon not written", [this] { iconResult = false; },
       "Error: Cannot write the icon " + Path("layout\\Install\\Classic\\icon.ico") + " into " +
           Path("compiled\\MyMod.exe.new")},
      {"no icon replacement in this build", [this] { compiler.IconWriter = {}; },
       "Error: Cannot write the icon " + Path("layout\\Install\\Classic\\icon.ico") + " into " +
           Path("compiled\\MyMod.exe.new")},
      {"a source vanished since it was listed", [this] { std::filesystem::remove(Fs("mod/files/sub/b.dat")); },
       "Error: Cannot open file \"" + Path("mod\\files\\sub\\b.dat") + "\""},
      // A folder on Windows holds no such file; the installer would refuse it.
      {"a file named after a device", [this] { compiler.FileList.Groups[1].Files[1].Name = "sub\\Nul.dat"; },
       "Error: Cannot pack " + Path("mod\\files\\sub\\b.dat") + " as \"sub\\Nul.dat\": \"Nul.dat\" is a device name"},
      {"more entries than the table can count",
       [this] {
         auto& files = compiler.FileList.Groups[1].Files;
         files.resize(65536 - 14, files[0]);  // with the build's 14 other entries, one too many
       },
       "Error: 65536 files to pack; an installer holds at most 65535"},
      {"an archive past 4 GiB",
       [this] {
         Put("mod/huge/huge.bin", {});
         std::filesystem::resize_file(Fs("mod/huge/huge.bin"), (4ull << 30) + 1);
         FileLine("huge\\", "");  // below the compile run's source folder
       },
       "Error: The archive would pass 4 GiB (adding " + Path("mod\\huge\\huge.bin") + ")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Fs("compiled"));
    std::filesystem::create_directory(Fs("compiled"));
    Put("base/setup.exe", baseProgram);
    Put("mod/files/sub/b.dat", Random(3000, 2));
    Put("languages/English.wri", language);
    Put("layout/Install/Classic/icon.ico", icon);
    Put("layout/Install/Classic/Pages.txt", Text("page1=welcome\r\n"));
    Put("layout/Uninstall/Plain/Pages.txt", Text("page1=uninstall\r\n"));
    std::filesystem::remove(Fs("layout/Install/Classic/img/logo.bmp"));
    info().Pages = "Install\\Classic";
    info().UninstallPages = "Uninstall\\Plain";
    iconResult = true;
    compiler.IconWriter = [this](const std::string& icon, const std::string& exe) {
      iconCalls.push_back({icon, exe});
      return iconResult;
    };
    info().Changelog = "changes.txt";  // a build renames it; the window resets it before each compile
    const Bytes older = Repeated("older installer ", 100);
    Put("compiled/MyMod.exe", older);
    CompileMod();
    c.arrange();
    EXPECT_FALSE(compiler.BuildSetup());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), c.error);
    EXPECT_EQ("Error: " + compiler.BuildError, c.error);
    EXPECT_FALSE(Logged("Finished"));
    EXPECT_EQ(ReadFileBytes(Target()), older);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Fs("compiled")), {}), 1) << "nothing else";
    std::filesystem::remove(Fs("mod/huge/huge.bin"));
  }
}

TEST_F(BuilderTest, WithoutTheOutputFolderNothingIsWritten) {
  CompileMod();
  std::filesystem::remove_all(Fs("compiled"));
  EXPECT_FALSE(compiler.BuildSetup());
  EXPECT_EQ(log.back(), "Error: Cannot create " + Path("compiled\\MyMod.exe.new"));
  EXPECT_FALSE(std::filesystem::exists(Fs("compiled")));
}

// The installer name comes from the script; it can never place the output
// outside the output folder, nor remove anything there.
TEST_F(BuilderTest, TheInstallerNameMustBeAPlainFileName) {
  CompileMod();
  const auto before = Snapshot();
  for (const char* name : {"", ".", "..", "..\\evil.exe", "..\\..\\evil.exe", "sub\\x.exe", "a/b.exe", "C:evil.exe",
                           "\\evil.exe", "/evil.exe", "NUL.exe", "con", "setup?.exe", "setup.exe."}) {
    log.clear();
    info().SetupExeName = name;
    EXPECT_FALSE(compiler.BuildSetup()) << name;
    EXPECT_EQ(log, (Names{std::string("Error: The installer name \"") + name + "\" must be a plain file name"}));
    EXPECT_EQ(Snapshot(), before) << name;
  }
  EXPECT_FALSE(std::filesystem::exists("evil.exe"));
}

}  // namespace
