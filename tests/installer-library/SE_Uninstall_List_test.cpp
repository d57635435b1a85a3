#include "installer-library/SE_Uninstall_List.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Global/ZCodec.h"
#include "installer-library/QXI_DigitKey.h"
#include "platform/ByteOrder.h"
#include "platform/File.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

using Lists = std::vector<std::vector<std::string>>;

Lists Contents(const TUninstallList& list) { return {list.Files(), list.RegEntries(), list.Dirs()}; }

TUninstallList Filled(const Lists& lists) {
  TUninstallList list;
  for (const auto& f : lists[0]) EXPECT_TRUE(list.AddFile(f));
  for (const auto& r : lists[1]) EXPECT_TRUE(list.AddRegEntry(r));
  for (const auto& d : lists[2]) EXPECT_TRUE(list.AddDir(d));
  return list;
}

// The file as written: the three counts, then every string scrambled with
// key A, the key starting afresh for each string.
Bytes Expected(const Lists& lists) {
  Bytes out;
  for (const auto& l : lists) PutU16(out, static_cast<uint16_t>(l.size()));
  for (const auto& l : lists)
    for (const std::string& s : l) {
      PutU16(out, static_cast<uint16_t>(s.size()));
      for (size_t i = 0; i < s.size(); ++i) out.push_back(static_cast<uint8_t>(s[i] + (kDigitKeyA[i % 244] - '0')));
    }
  return out;
}

}  // namespace

class UninstallLog : public InstallerGlobals {
 protected:
  TempDir tmp;
};

TEST_F(UninstallLog, ThreeEmptyListsAreSixZeroBytes) {
  ASSERT_TRUE(TUninstallList().SaveToFile(tmp.Path(), ""));
  EXPECT_EQ(ReadFileBytes(tmp.File("install.log")), Bytes(6, 0));
}

TEST_F(UninstallLog, StoredBytes) {
  const Lists lists = {{"AB", "$INSTDIR\\readme.txt"}, {}, {"", std::string(300, 'x'), std::string("\xFF\x00\x80", 3)}};
  ASSERT_TRUE(Filled(lists).SaveToFile(tmp.Path(), "MyMod_"));
  Bytes bytes = ReadFileBytes(tmp.File("MyMod_install.log"));
  EXPECT_EQ(bytes, Expected(lists));
  // the key's first digits are 9 and 5: "AB" is stored as "JG"
  ASSERT_GE(bytes.size(), 10u);
  EXPECT_EQ(bytes[8], 'J');
  EXPECT_EQ(bytes[9], 'G');
  EXPECT_FALSE(std::filesystem::exists(tmp.File("MyMod_install.log.new")));
}

TEST_F(UninstallLog, SaveThenLoadGivesTheListsBack) {
  const Lists lists = {{"$INSTDIR\\a.txt", "", "$INSTDIR\\\xE9t\xE9.txt", std::string(1000, '\xFE')},
                       {"\"HKCR\" \"myproto\" \"\" \"\"", "\"HKLM\" \"SOFTWARE\\Mod\" \"Path\" \"$INSTDIR\""},
                       {"C:\\Games\\", "C:\\Games\\Mod", "C:\\Games\\"}};
  ASSERT_TRUE(Filled(lists).SaveToFile(tmp.Path(), "p_"));
  TUninstallList loaded;
  EXPECT_TRUE(loaded.LoadFromFile(tmp.Path(), "p_"));
  EXPECT_EQ(Contents(loaded), lists);
}

TEST_F(UninstallLog, AddRules) {
  TUninstallList list;
  // A-Z fold, nothing else does; the first spelling stays
  EXPECT_TRUE(list.AddFile("E:\\Mods\\Read.txt"));
  EXPECT_TRUE(list.AddFile("e:\\MODS\\read.TXT"));
  EXPECT_TRUE(list.AddFile("E:\\Mods\\\xC4.txt"));
  EXPECT_TRUE(list.AddFile("E:\\Mods\\\xE4.txt"));
  EXPECT_TRUE(list.AddFile("E:\\Mods\\\\Read.txt"));  // no path normalisation
  EXPECT_EQ(list.Files(), (std::vector<std::string>{"E:\\Mods\\Read.txt", "E:\\Mods\\\xC4.txt", "E:\\Mods\\\xE4.txt",
                                                    "E:\\Mods\\\\Read.txt"}));
  EXPECT_TRUE(list.HasFile("E:\\MODS\\READ.TXT"));
  EXPECT_FALSE(list.HasFile("E:\\Mods\\Read.tx"));

  EXPECT_TRUE(list.AddRegEntry("\"HKLM\" \"Key\" \"V\" \"x\""));
  EXPECT_TRUE(list.AddRegEntry("\"hklm\" \"KEY\" \"v\" \"X\""));
  EXPECT_EQ(list.RegEntries().size(), 1u);
  EXPECT_TRUE(list.HasRegEntry("\"HKLM\" \"key\" \"v\" \"x\""));

  EXPECT_TRUE(list.AddDir("C:\\Games\\"));
  EXPECT_TRUE(list.AddDir("C:\\Games\\"));
  EXPECT_EQ(list.Dirs().size(), 2u);

  // files and folders are logged with their known folder collapsed
  SetupInfoFile.InstallDir = "C:\\Games\\Mod";
  EXPECT_TRUE(list.AddFile("C:\\Games\\Mod\\data\\x.bin"));
  EXPECT_TRUE(list.AddFile("C:\\GAMES\\MOD\\DATA\\X.BIN"));
  EXPECT_EQ(list.Files().back(), "$INSTDIR\\data\\x.bin");
  EXPECT_EQ(list.Files().size(), 5u);
  EXPECT_TRUE(list.AddDir("C:\\Games\\Mod\\data\\"));
  EXPECT_TRUE(list.AddDir("C:\\Games\\Mod"));
  EXPECT_EQ(list.Dirs(), (std::vector<std::string>{"C:\\Games\\", "C:\\Games\\", "$INSTDIR\\data\\", "$INSTDIR"}));

  list.Clear();
  EXPECT_EQ(Contents(list), Lists(3));
  EXPECT_FALSE(list.HasFile("E:\\Mods\\Read.txt"));
}

TEST_F(UninstallLog, WhatTheFileCannotHoldIsRefused) {
  TUninstallList list;
  EXPECT_TRUE(list.AddDir(std::string(kMaxUninstallText, 'd')));
  EXPECT_FALSE(list.AddDir(std::string(kMaxUninstallText + 1, 'd')));
  EXPECT_FALSE(list.AddFile(std::string(kMaxUninstallText + 1, 'f')));
  EXPECT_FALSE(list.AddRegEntry(std::string(kMaxUninstallText + 1, 'r')));
  for (size_t i = 1; i < kMaxUninstallEntries; ++i) ASSERT_TRUE(list.AddDir("d"));
  for (size_t i = 0; i < kMaxUninstallEntries; ++i) ASSERT_TRUE(list.AddRegEntry(std::to_string(i)));
  EXPECT_FALSE(list.AddDir("one too many"));
  EXPECT_FALSE(list.AddRegEntry("one too many"));
  EXPECT_TRUE(list.AddRegEntry("0"));  // already there: nothing to add
  EXPECT_EQ(list.Dirs().size(), kMaxUninstallEntries);

  ASSERT_TRUE(list.SaveToFile(tmp.Path(), ""));
  TUninstallList loaded;
  EXPECT_TRUE(loaded.LoadFromFile(tmp.Path(), ""));
  EXPECT_EQ(Contents(loaded), Contents(list));
}

TEST_F(UninstallLog, SavingReplacesTheOldLogOrLeavesIt) {
  ASSERT_TRUE(Filled({{"a", "b", "c"}, {"r"}, {"d"}}).SaveToFile(tmp.Path(), ""));
  const Lists shorter = {{"x"}, {}, {}};
  ASSERT_TRUE(Filled(shorter).SaveToFile(tmp.Path(), ""));
  EXPECT_EQ(ReadFileBytes(tmp.File("install.log")), Expected(shorter));

  // the new log cannot be written aside: the old one stays as it was
  std::filesystem::create_directory(tmp.File("install.log.new"));
  EXPECT_FALSE(Filled({{"y"}, {}, {}}).SaveToFile(tmp.Path(), ""));
  EXPECT_EQ(ReadFileBytes(tmp.File("install.log")), Expected(shorter));
  // nor into a folder that does not exist
  EXPECT_FALSE(TUninstallList().SaveToFile(tmp.Path() + "\\missing", ""));
}

TEST_F(UninstallLog, LoadingReplacesTheListsOnlyWhenTheFileExists) {
  ASSERT_TRUE(Filled({{"saved"}, {}, {}}).SaveToFile(tmp.Path(), "x"));
  TUninstallList list = Filled({{"earlier"}, {"reg"}, {"dir"}});
  EXPECT_FALSE(list.LoadFromFile(tmp.Path(), "absent"));
  EXPECT_EQ(Contents(list), (Lists{{"earlier"}, {"reg"}, {"dir"}}));
  EXPECT_TRUE(list.LoadFromFile(tmp.Path(), "x"));
  EXPECT_EQ(Contents(list), (Lists{{"saved"}, {}, {}}));
}

TEST_F(UninstallLog, ALogThatEndsEarlyIsRefusedAndMergesTheEntriesItHoldsWhole) {
  const Lists lists = {{"one", "two"}, {"reg"}, {"", "dir"}};
  const Bytes whole = Expected(lists);
  // the entries in file order, each with the offset where it ends
  std::vector<std::pair<int, size_t>> ends;
  size_t at = 6;
  for (int k = 0; k < 3; ++k)
    for (const std::string& s : lists[k]) ends.push_back({k, at += 2 + s.size()});
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    WriteFileBytes(tmp.File("install.log"), Bytes(whole.begin(), whole.begin() + cut));
    TUninstallList list = Filled({{"before"}, {}, {}});
    EXPECT_FALSE(list.LoadFromFile(tmp.Path(), "")) << cut;
    EXPECT_EQ(Contents(list), (Lists{{"before"}, {}, {}})) << cut << ": as for a missing log";
    Lists expected(3);
    size_t n = 0;
    for (int k = 0; k < 3; ++k)
      for (const std::string& s : lists[k])
        if (cut >= 6 && ends[n++].second <= cut) expected[k].push_back(s);
    TUninstallList merged;
    EXPECT_FALSE(merged.MergeFromFile(tmp.Path(), "")) << cut;
    EXPECT_EQ(Contents(merged), expected) << cut;
  }
  // counts far beyond what the file holds
  Bytes hostile = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 'J'};
  WriteFileBytes(tmp.File("install.log"), hostile);
  TUninstallList list;
  EXPECT_FALSE(list.MergeFromFile(tmp.Path(), ""));
  EXPECT_EQ(Contents(list), (Lists{{"A"}, {}, {}}));
  EXPECT_EQ(list.LoadError(), "The log ends in its list of 65535 files at entry 1");
  EXPECT_FALSE(list.LoadFromFile(tmp.Path(), ""));
  EXPECT_EQ(list.LoadError(), "The log ends in its list of 65535 files at entry 1");
  EXPECT_EQ(Contents(list), (Lists{{"A"}, {}, {}}));
}

TEST_F(UninstallLog, AnEarlierLogIsMergedInFrontOfThisRunsEntries) {
  SetupInfoFile.InstallDir = "C:\\Games\\Mod";
  const Lists earlier = {{"$INSTDIR\\a.txt", "$INSTDIR\\old.txt"},
                         {"\"HKCU\" \"K\" \"V\" \"x\""},
                         {"$INSTDIR", "$INSTDIR\\data\\", "$INSTDIR\\data\\levels\\", "C:\\Games\\Mod\\saves"}};
  const Bytes stored = Expected(earlier);
  struct Case {
    const char* name;
    size_t cut;  // bytes of the earlier log kept; 0: all
    Lists now;   // what this run logged before the merge
    Lists merged;
  } cases[] = {
      {"a repair: nothing twice, folders once however spelled",
       0,
       {{"$INSTDIR\\A.TXT"}, {"\"HKCU\" \"K\" \"V\" \"x\""}, {"$INSTDIR\\", "$INSTDIR\\saves\\"}},
       {earlier[0], earlier[1], {"$INSTDIR", "$INSTDIR\\data\\", "C:\\Games\\Mod\\saves", "$INSTDIR\\data\\levels\\"}}},
      {"an upgrade: the earlier entries first; each folder after the one that holds it",
       0,
       {{"$INSTDIR\\new.txt"}, {}, {"$INSTDIR\\sounds\\effects\\", "$INSTDIR\\sounds\\"}},
       {{"$INSTDIR\\a.txt", "$INSTDIR\\old.txt", "$INSTDIR\\new.txt"},
        earlier[1],
        {"$INSTDIR", "$INSTDIR\\data\\", "C:\\Games\\Mod\\saves", "$INSTDIR\\sounds\\", "$INSTDIR\\data\\levels\\",
         "$INSTDIR\\sounds\\effects\\"}}},
      {"a damaged earlier log: what it holds whole",
       6 + 2 + 14 + 1,
       {{"$INSTDIR\\new.txt"}, {}, {}},
       {{"$INSTDIR\\a.txt", "$INSTDIR\\new.txt"}, {}, {}}},
  };
  for (const Case& c : cases) {
    WriteFileBytes(tmp.File("install.log"), c.cut ? Bytes(stored.begin(), stored.begin() + c.cut) : stored);
    TUninstallList list;
    list.Assign(c.now[0], c.now[1], c.now[2]);
    EXPECT_EQ(list.MergeFromFile(tmp.Path(), ""), c.cut == 0) << c.name;
    EXPECT_EQ(Contents(list), c.merged) << c.name;
  }
  TUninstallList list = Filled({{"only"}, {}, {}});
  EXPECT_TRUE(list.MergeFromFile(tmp.Path(), "absent_")) << "no earlier log";
  EXPECT_EQ(Contents(list), (Lists{{"only"}, {}, {}}));
}

TEST_F(UninstallLog, ACheckpointSavesWhereTheLogIsKeptWhenItChanged) {
  TUninstallList list;
  EXPECT_TRUE(list.Checkpoint()) << "kept nowhere: nothing to save";
  EXPECT_FALSE(std::filesystem::exists(tmp.File("k_install.log")));
  list.KeepSaved(tmp.Path(), "k_");
  EXPECT_TRUE(list.Checkpoint());
  EXPECT_EQ(ReadFileBytes(tmp.File("k_install.log")), Bytes(6, 0)) << "the first checkpoint saves";
  std::filesystem::remove(tmp.File("k_install.log"));
  EXPECT_TRUE(list.Checkpoint());
  EXPECT_FALSE(std::filesystem::exists(tmp.File("k_install.log"))) << "unchanged: not saved again";
  list.AddFile("f");
  list.AddFile("F");
  EXPECT_TRUE(list.Checkpoint());
  EXPECT_EQ(ReadFileBytes(tmp.File("k_install.log")), Expected({{"f"}, {}, {}}));
  list.KeepSaved(tmp.Path() + "/missing", "k_");
  list.AddDir("d");
  EXPECT_FALSE(list.Checkpoint());
}
