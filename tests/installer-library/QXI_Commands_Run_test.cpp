// The commands' run steps against files, the registry and the uninstall
// log, natively and under Wine.
#include "installer-library/QXI_Commands.h"

#include <gtest/gtest.h>

#include "installer-library/SE_VFS.h"
#include "platform/Registry.h"
#include "tests/Global/VFSImage.h"
#include "tests/installer-library/CommandRunFixture.h"
#include "tests/support/SetupArchives.h"
#include "tests/support/TestData.h"

using namespace command_testing;
using testing_support::DrivePath;
using testing_support::ReadFileBytes;
using testing_support::Text;
using testing_support::WriteFileText;
using testing_support::WriteSetupArchive;
namespace fs = std::filesystem;

namespace {

std::string Read(const std::string& path) {
  std::vector<uint8_t> b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

}  // namespace

TEST_F(CommandRun, JumpsWriteTheLineBeforeTheNextToRun) {
  WriteFileText(InInst("a.txt"), "a");
  fs::create_directory(InInst("sub"));
  struct Case {
    int32_t id;
    std::vector<std::string> params;
    int32_t line;  // CurrentLine afterwards; it was 3
  };
  const Case cases[] = {
      {kGoto, {"7"}, 7},
      {kGoto, {"0"}, 0},
      {kGoto, {"-1"}, 3},  // no jump
      {kGoto, {"x"}, 3},
      {kGoto, {}, 3},
      {kIfFileExists, {"$INSTDIR\\a.txt", "5", "9"}, 5},
      {kIfFileExists, {"$INSTDIR\\none.txt", "5", "9"}, 9},
      {kIfFileExists, {"$INSTDIR\\sub", "5", "9"}, 9},  // a folder is no file
      {kIfFileExists, {"$INSTDIR\\a.txt", "-1", "9"}, 3},
      {kIfFileExists, {"$INSTDIR\\none.txt", "5", "-1"}, 3},
      {kIfFileExists, {"$INSTDIR\\a.txt", "0", "9"}, 0},
      {kIfFileExists, {"$INSTDIR\\a.txt"}, 3},  // targets missing from a damaged line
  };
  for (const Case& c : cases) {
    CurrentLine = 3;
    RunLine(c.id, c.params);
    EXPECT_EQ(CurrentLine, c.line) << c.id << " " << (c.params.empty() ? "" : c.params[0]);
  }
  EXPECT_FALSE(AbortFlag);
}

TEST_F(CommandRun, MessageBoxJumpsToTheTargetOfTheAnswer) {
  struct Case {
    int answer;
    std::string onOk, otherwise;
    int32_t line;  // CurrentLine afterwards; it was 3
  };
  const Case cases[] = {
      {platform::kIdOk, "5", "9", 4},  {platform::kIdCancel, "5", "9", 8},
      {platform::kIdOk, "0", "9", -1},  // a label on line 0: the interpreter goes on from line 0
      {platform::kIdOk, "-1", "9", 3}, {platform::kIdCancel, "5", "-1", 3},
      {platform::kIdOk, "1", "9", 0},  {platform::kIdCancel, "5", "x", 3},
  };
  for (const Case& c : cases) {
    CurrentLine = 3;
    answers = {c.answer};
    RunLine(kMessageBox, {"Install into $INSTDIR?", "%NOSUCHVAR% $LANGUAGESELECTION", c.onOk, c.otherwise});
    EXPECT_EQ(OneBox(), (Box{"Install into " + inst + "?", "%NOSUCHVAR% English", 0x21}));
    EXPECT_EQ(CurrentLine, c.line) << c.answer << " " << c.onOk << " " << c.otherwise;
  }
}

TEST_F(CommandRun, MessageShowsLanguageTagsButNoFolders) {
  RunLine(kMessage, {"<LANG21> $INSTDIR <LANG99>"});
  EXPECT_EQ(TakeStatusUpdate().StatusText, "Installing $INSTDIR NOT FOUND 99");
}

TEST_F(CommandRun, FailureShowsItsTextAndAbortsTheScript) {
  RunLine(kFailure, {"any", "thing"});
  TStatusUpdate u = TakeStatusUpdate();
  EXPECT_EQ(u.FailureText, u"Installation failed");
  EXPECT_TRUE(u.RepaintFailure);
  EXPECT_TRUE(AbortFlag);
}

TEST_F(CommandRun, DeleteAndRenameTouchOnlyFiles) {
  WriteFileText(InInst("old.txt"), "old");
  WriteFileText(InInst("taken.txt"), "taken");
  WriteFileText(InInst("gone.txt"), "gone");
  fs::create_directories(InInst("dir/inner"));

  RunLine(kDelete, {"$INSTDIR\\gone.txt"});
  RunLine(kDelete, {"$INSTDIR\\dir"});  // a folder: nothing happens
  RunLine(kDelete, {"$INSTDIR\\missing.txt"});
  EXPECT_FALSE(fs::exists(InInst("gone.txt")));
  EXPECT_TRUE(fs::exists(InInst("dir/inner")));

  RunLine(kRename, {"$INSTDIR\\old.txt", "$INSTDIR\\taken.txt"});  // never replaces
  EXPECT_EQ(Read(InInst("old.txt")), "old");
  EXPECT_EQ(Read(InInst("taken.txt")), "taken");
  RunLine(kRename, {"$INSTDIR\\dir", "$INSTDIR\\dir2"});
  EXPECT_TRUE(fs::exists(InInst("dir")));
  RunLine(kRename, {"$INSTDIR\\old.txt", "$INSTDIR\\dir\\new.txt"});
  EXPECT_FALSE(fs::exists(InInst("old.txt")));
  EXPECT_EQ(Read(InInst("dir/new.txt")), "old");
  EXPECT_TRUE(UninstallList.Files().empty()) << "a file the installation did not log stays unlogged";

  // A logged file is logged under its new name, in its old place.
  UninstallList.AddFile(inst + "\\first.txt");
  UninstallList.AddFile(inst + "\\dir\\new.txt");
  UninstallList.AddFile(inst + "\\last.txt");
  RunLine(kRename, {"$INSTDIR\\dir\\new.txt", "$INSTDIR\\renamed.txt"});
  EXPECT_EQ(Read(InInst("renamed.txt")), "old");
  EXPECT_EQ(UninstallList.Files(),
            (std::vector<std::string>{"$INSTDIR\\first.txt", "$INSTDIR\\renamed.txt", "$INSTDIR\\last.txt"}));
}

TEST_F(CommandRun, FoldersAreMadeAndLoggedOrRemovedWhole) {
  fs::create_directories(InInst("old/a/b"));
  WriteFileText(InInst("old/a/b/f.txt"), "f");
  for (const char* flag : {"1", "0"}) {  // the flag word never spared anything
    RunLine(kRMDir, {"$INSTDIR\\old", flag});
    EXPECT_FALSE(fs::exists(InInst("old"))) << flag;
    fs::create_directories(InInst("old"));
  }
  RunLine(kRMDir, {"$INSTDIR\\old\\..\\x\\.\\..\\old\\", "1"});  // resolved first
  EXPECT_FALSE(fs::exists(InInst("old")));
  EXPECT_FALSE(AbortFlag);

  RunLine(kCreateDirectory, {"$INSTDIR\\x\\y"});
  RunLine(kCreateDirectory, {"$INSTDIR\\x"});  // exists: logged once more, made nothing
  EXPECT_TRUE(fs::is_directory(InInst("x/y")));
  // Below the install folder, relative to it: a moved installation still
  // finds them.
  EXPECT_EQ(UninstallList.Dirs(),
            (std::vector<std::string>{"$INSTDIR\\x\\", "$INSTDIR\\x\\y", "$INSTDIR\\x\\y", "$INSTDIR\\x"}));
}

TEST_F(CommandRun, CopyFileMakesAndLogsTheDestination) {
  WriteFileText(InInst("src.txt"), "source");
  WriteFileText(InInst("dest.txt"), "older");
  WriteFileText(InInst("players.txt"), "the player's own");
  struct Case {
    std::string source, destination, status;
    const char* content;  // of the destination afterwards; null: none
    bool logged;
  };
  const Case cases[] = {
      {"src.txt", "new\\deep\\copy.txt", "Copying src.txt", "source", true},
      {"src.txt", "dest.txt", "Copying src.txt", "source", true},  // replaces
      // Nothing was written: nothing for the uninstaller.
      {"missing.txt", "none.txt", "Copying missing.txt", nullptr, false},
      // Nothing was copied over it: the uninstaller must not delete it.
      {"missing.txt", "players.txt", "Copying missing.txt", "the player's own", false},
  };
  for (const Case& c : cases) {
    RunLine(kCopyFile, {"$INSTDIR\\" + c.source, "$INSTDIR\\" + c.destination});
    EXPECT_EQ(TakeStatusUpdate().StatusText, c.status);
    EXPECT_EQ(UninstallList.HasFile("$INSTDIR\\" + c.destination), c.logged) << c.destination;
    std::string onDisk = InInst(c.destination);
    std::replace(onDisk.begin(), onDisk.end(), '\\', '/');
    if (c.content)
      EXPECT_EQ(Read(onDisk), c.content);
    else
      EXPECT_FALSE(fs::exists(onDisk));
  }
  EXPECT_EQ(UninstallList.Dirs(), (std::vector<std::string>{"$INSTDIR\\new\\", "$INSTDIR\\new\\deep\\"}));
  EXPECT_FALSE(AbortFlag);  // a missing source is no failure
}

TEST_F(CommandRun, UninstallLogIsSavedAndLoadedWhereTheScriptSays) {
  UninstallList.AddFile(inst + "\\a.txt");
  RunLine(kUninstallLogSave, {"$INSTDIR"});
  RunLine(kUninstallLogSave, {"$INSTDIR", "abc_"});
  EXPECT_TRUE(fs::exists(InInst("install.log")));
  EXPECT_TRUE(fs::exists(InInst("abc_install.log")));

  UninstallList.Clear();
  UninstallList.AddDir("C:\\other");
  RunLine(kUninstallLogLoad, {"$INSTDIR", "abc_"});
  EXPECT_EQ(UninstallList.Files(), std::vector<std::string>{"$INSTDIR\\a.txt"});
  EXPECT_TRUE(UninstallList.Dirs().empty());
  RunLine(kUninstallLogLoad, {"$INSTDIR", "none_"});  // no such log: the lists stay
  EXPECT_EQ(UninstallList.Files().size(), 1u);
  // A damaged log is refused as a missing one is.
  WriteFileText(InInst("bad_install.log"), "\x05\x01garbage");
  RunLine(kUninstallLogLoad, {"$INSTDIR", "bad_"});
  EXPECT_EQ(UninstallList.Files(), std::vector<std::string>{"$INSTDIR\\a.txt"});
  EXPECT_FALSE(AbortFlag);
}

// --- registry ------------------------------------------------------------------------

namespace {

const std::string kKey = "Software\\ModkitCommandsTest";

std::string ReadValue(uint8_t root, const std::string& key, const std::string& name) {
  platform::Registry r;
  r.SetRoot(root);
  std::string value = "<none>";
  if (r.OpenKeyReadOnly(key) && !r.ReadString(name, value)) value = "<none>";
  return value;
}

// Removes a key with the subkeys the tests make, deepest first.
void RemoveTestKeys(uint8_t root, const std::string& key, std::vector<std::string> subkeys) {
  platform::Registry r;
  r.SetRoot(root);
  for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it) r.DeleteKey(key + "\\" + *it);
  r.DeleteKey(key);
}

}  // namespace

class RegistryRun : public CommandRun {
 protected:
  void TearDown() override {
    for (uint8_t root : {0, 1, 2})
      RemoveTestKeys(
          root, kKey,
          {"proto", "proto\\DefaultIcon", "proto\\shell", "proto\\shell\\open", "proto\\shell\\open\\command", "cond"});
    CommandRun::TearDown();
  }
};

TEST_F(RegistryRun, WriteRegStrWritesTheExpandedValueAndLogsItAsWritten) {
  struct Case {
    std::vector<std::string> params;
    uint8_t root;
    std::string name, value;
  };
  const Case cases[] = {
      {{"HKCU", kKey, "", "$INSTDIR"}, 1, "", inst},
      {{"hkcu", kKey, "Path", "$INSTDIR\\bin"}, 1, "Path", inst + "\\bin"},
      {{"HKEY_CURRENT_USER", kKey, "Long", "x"}, 0, "Long", "x"},  // not a short name: local machine
  };
  for (const Case& c : cases) {
    RunLine(kWriteRegStr, c.params);
    EXPECT_EQ(ReadValue(c.root, kKey, c.name), c.value) << c.params[0];
    EXPECT_TRUE(UninstallList.HasRegEntry(RegEntryText(c.params[0], kKey, c.name, c.params[3])));
  }
  EXPECT_EQ(UninstallList.RegEntries().front(), "\"HKCU\" \"" + kKey + "\" \"\" \"$INSTDIR\"");
}

TEST_F(RegistryRun, UrlProtocolHandlerWritesThreeKeysAndLogsFourEntries) {
  const std::string proto = kKey + "\\proto";
  RunLine(kWriteRegStrURL, {proto, "$INSTDIR\\icon.ico", "$INSTDIR\\run.exe", "-url", "%1"});
  EXPECT_EQ(ReadValue(2, proto, ""), "URL:" + proto + " Protocol");
  EXPECT_EQ(ReadValue(2, proto, "URL Protocol"), "");
  EXPECT_EQ(ReadValue(2, proto + "\\DefaultIcon", ""), inst + "\\icon.ico");
  EXPECT_EQ(ReadValue(2, proto + "\\shell\\open\\command", ""), "\"" + inst + "\\run.exe\" \"-url\" \"%1\"");
  EXPECT_EQ(
      UninstallList.RegEntries(),
      (std::vector<std::string>{RegEntryText("HKCR", proto, "", ""), RegEntryText("HKCR", proto, "URL Protocol", ""),
                                RegEntryText("HKCR", proto + "\\DefaultIcon\\", "", ""),
                                RegEntryText("HKCR", proto + "\\shell\\open\\command\\", "", "")}));
}

TEST_F(RegistryRun, AKeyThatCannotBeOpenedIsSkippedAndNothingOfItLogged) {
  // No key name may be longer than 255 characters.
  const std::string tooLong = kKey + "\\" + std::string(300, 'k');
  struct Case {
    int32_t command;
    std::vector<std::string> params;
    std::string status;
  } cases[] = {
      {kWriteRegStr, {"HKCU", tooLong, "Path", "x"}, "Unable to open the registry key HKCU\\" + tooLong + ", skipped"},
      {kWriteRegStrURL,
       {tooLong, "icon.ico", "run.exe"},
       "Unable to open the registry key HKCR\\" + tooLong + "\\shell\\open\\command\\, skipped"},
  };
  for (const Case& c : cases) {
    UninstallList.Clear();
    EXPECT_NO_THROW(RunLine(c.command, c.params));
    EXPECT_TRUE(UninstallList.RegEntries().empty()) << c.status;
    EXPECT_EQ(TakeStatusUpdate().StatusText, c.status);
    EXPECT_FALSE(AbortFlag);
  }
}

TEST_F(RegistryRun, RegistryConditionsCompareExactlyAndLeaveNoKeys) {
  RunLine(kWriteRegStr, {"HKCU", kKey + "\\cond", "Version", "1.2"});
  {
    platform::Registry r;
    r.SetRoot(1);
    ASSERT_TRUE(r.OpenKey(kKey + "\\cond", false));
    ASSERT_TRUE(r.WriteInteger("Build", 0));
  }
  struct Case {
    std::string key, name, expected, sense;
    bool holds;
  };
  const std::string key = kKey + "\\cond", missing = kKey + "\\missing";
  const Case cases[] = {
      {key, "Version", "1.2", "1", true},      {key, "Version", "1.2", "no", true},  // only 0, f and false invert
      {key, "Version", "1.2", "F", false},     {key, "Version", "1.2", "0", false},
      {key, "Version", "1.2", "FALSE", false}, {key, "Version", "1.20", "1", false},
      {key, "Other", "", "1", true},           {key, "Other", "x", "1", false},
      {key, "Build", "", "1", false},          {key, "Build", "0", "f", true},  // a number is no text
      {missing, "Version", "", "1", true},     {missing, "Version", "1.2", "f", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RegConditionHolds("hkcu", c.key, c.name, c.expected, c.sense), c.holds)
        << c.key << " " << c.name << " " << c.expected << " " << c.sense;
  platform::Registry r;
  r.SetRoot(1);
  EXPECT_FALSE(r.KeyExists(missing));
}

// --- the file command --------------------------------------------------------------------

TEST_F(RegistryRun, FileLinesExtractTheirGroupWhereTheTargetSays) {
  WriteSetupArchive(tmp.File("setup.pak"), {{"a.txt", 1, Text("one")}, {"b.txt", 2, Text("two")}});
  TPak pak(tmp.File("setup.pak"), false, false);
  SetupArchive = &pak;
  RunLine(kWriteRegStr, {"HKCU", kKey + "\\cond", "Edition", "Gold"});
  const std::string elsewhere = DrivePath(tmp.File("elsewhere"));
  struct Case {
    std::vector<std::string> params;  // as stored: the group number last
    std::string written;              // the file below the temporary folder; empty: none
  };
  const Case cases[] = {
      {{"src", "1"}, "inst/a.txt"},
      {{"src", "$INSTDIR\\sub", "2"}, "inst/sub/b.txt"},
      {{"src", elsewhere, "1"}, "elsewhere/a.txt"},
      {{"src", "mods\\x", "1"}, "inst/mods/x/a.txt"},
      {{"src", "t7", "HKCU", kKey + "\\cond", "Edition", "Gold", "1", "2"}, "inst/t7/b.txt"},
      {{"src", "t7f", "HKCU", kKey + "\\cond", "Edition", "Gold", "f", "2"}, ""},
      {{"src", "t7n", "HKCU", kKey + "\\cond", "Edition", "Silver", "FALSE", "2"}, "inst/t7n/b.txt"},
      // The registry form resolves its target like the others.
      {{"src", "$INSTDIR\\lit", "HKCU", kKey + "\\cond", "Edition", "Gold", "1", "1"}, "inst/lit/a.txt"},
      {{"src", elsewhere, "HKCU", kKey + "\\cond", "Edition", "Gold", "1", "2"}, "elsewhere/b.txt"},
      {{"src", "9"}, ""},  // an empty group
      {{"src", "0"}, ""},  // group 0 is the installer's own: never extracted by a line
      {{"src", "x"}, ""},  // a damaged line
  };
  for (const Case& c : cases) {
    UninstallList.Clear();
    RunLine(kFile, c.params);
    if (!c.written.empty()) {
      EXPECT_TRUE(fs::exists(tmp.File(c.written))) << c.written;
      EXPECT_EQ(UninstallList.Files().size(), 1u) << c.written;
    } else {
      EXPECT_TRUE(UninstallList.Files().empty()) << c.params[1];
    }
  }
  EXPECT_FALSE(AbortFlag);
}

TEST(FileTargets, AbsolutePathsStayAndOthersGoBelowTheInstallFolder) {
  SetupInfoFile.InstallDir = "C:\\Game";
  struct Case {
    const char* path;
    bool absolute;
    const char* dir;
  };
  const Case cases[] = {
      {"D:\\Games\\X", true, "D:\\Games\\X\\"},
      {"d:\\x\\", true, "d:\\x\\"},
      {"C:\\", true, "C:\\"},  // a drive root
      {"C:x\\y", false, "C:\\Game\\C:x\\y\\"},
      {"1:\\x", false, "C:\\Game\\1:\\x\\"},
      {"D:", false, "C:\\Game\\D:\\"},  // no backslash: relative to that drive's current folder
      {"", false, "C:\\Game\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsAbsolutePath(c.path), c.absolute) << c.path;
    EXPECT_EQ(ResolveTargetDir(c.path), c.dir) << c.path;
  }
  SetupInfoFile = TSetupInfoFile();
}

TEST_F(CommandRun, FileLinesWithAnUnsupportedCountShowTheirErrorAndGoOn) {
  for (size_t given : {0u, 3u, 4u, 5u, 6u, 8u}) {
    std::vector<std::string> params(given, "p");
    params.push_back("1");
    RunLine(kFile, params);
    EXPECT_EQ(OneBox(), (Box{"TFileCommand.SFXProcess - Param Count Invalid!!!", "Error", 0})) << given;
  }
  EXPECT_FALSE(AbortFlag);
  EXPECT_TRUE(UninstallList.Files().empty());
}

TEST_F(CommandRun, AFileLineWhoseGroupCannotBeExtractedEndsTheInstallation) {
  WriteSetupArchive(tmp.File("setup.pak"), {{"..\\outside.txt", 1, Text("x")}});
  TPak pak(tmp.File("setup.pak"), false, false);
  SetupArchive = &pak;
  RunLine(kFile, {"src", "1"});
  ExpectFailure("Refused to extract \"..\\outside.txt\": the name leaves the target folder");
  EXPECT_FALSE(fs::exists(tmp.File("outside.txt")));
}

TEST_F(CommandRun, ACopyThatFailsWithItsSourcePresentEndsTheInstallation) {
  WriteFileText(InInst("src.txt"), "s");
  fs::create_directory(InInst("busy"));  // a folder where the copy should go
  RunLine(kCopyFile, {"$INSTDIR\\src.txt", "$INSTDIR\\busy"});
  ExpectFailure("Error: Unable to copy <" + inst + "\\src.txt> to <" + inst + "\\busy>");
}

TEST_F(CommandRun, AnUninstallLogThatCannotBeWrittenEndsTheInstallation) {
  RunLine(kUninstallLogSave, {"$INSTDIR\\missing", "p_"});
  ExpectFailure("Error: Unable to write <" + inst + "\\missing\\p_install.log>");
}

// --- archive-update commands ------------------------------------------------------------

TEST_F(CommandRun, VfsUpdateClosesTheContainerUnlessItsFlagKeepsItOpen) {
  WriteSetupArchive(tmp.File("setup.pak"), {{"a.dat", 1, Text("one")}, {"b.dat", 2, Text("two")}});
  TPak pak(tmp.File("setup.pak"), false, false);
  SetupArchive = &pak;
  vfs_test::Layout layout;
  layout.blockSize = 512;
  layout.blockCount = 64;
  testing_support::WriteFileBytes(InInst("c.vfs"), layout.Build());

  RunLine(kVFSUpdate, {"src", "c.vfs", "0", "1"});  // kept open for the next line
  ASSERT_TRUE(GameVFS);
  EXPECT_EQ(GameVFSName, "c.vfs");
  EXPECT_GE(GameVFS->Tree().FindByPath("a.dat"), 0);
  RunLine(kVFSUpdate, {"src", "c.vfs", "2"});  // no flag: saved and closed
  EXPECT_FALSE(GameVFS);
  TVFSFile reopened;
  reopened.Open(inst + "\\c.vfs", true);
  EXPECT_GE(reopened.Tree().FindByPath("a.dat"), 0);
  EXPECT_GE(reopened.Tree().FindByPath("b.dat"), 0);
  reopened.Close();

  RunLine(kVFSUpdate, {"src", "missing.vfs", "1", "1"});
  EXPECT_EQ(OneBox(), (Box{"Error: Unable to find <missing.vfs>", "VFS Error", platform::kMbOk}));
  EXPECT_TRUE(AbortFlag);
}
