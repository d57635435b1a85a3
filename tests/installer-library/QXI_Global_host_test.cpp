// Writes that stop short: the process's file size limit makes the system
// refuse bytes past it, as a full disk would; a kill stops them anywhere.
#include "installer-library/QXI_Global.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "installer-library/QXI_PakExtract.h"
#include "installer-library/SE_Originals.h"
#include "platform/FileReplacement.h"
#include "platform/HostSystem.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/SetupArchives.h"
#include "tests/support/TempDir.h"

using testing_support::DrivePath;
using testing_support::FileSizeLimit;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

class ShortWrites : public InstallerGlobals {
 protected:
  // What the folder "out" holds after a failed write: the earlier file, with
  // its contents, or nothing; never a half-written file.
  void ExpectOutAsBefore(const std::string& name, const std::string& earlier) {
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(tmp.File("out"))) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, earlier.empty() ? std::vector<std::string>{} : std::vector<std::string>{name}) << earlier;
    if (!earlier.empty()) {
      EXPECT_EQ(testing_support::ReadFileBytes(tmp.File("out/" + name)), Bytes(earlier.begin(), earlier.end()));
    }
  }

  TempDir tmp;
  std::string base = DrivePath(tmp.Path());
};

}  // namespace

TEST_F(ShortWrites, AFileThatCannotBeWrittenWholeLeavesTheFolderAsItWas) {
  Bytes data(5000, 'x');
  for (const char* earlier : {"", "the player's file"}) {
    fs::remove_all(tmp.File("out"));
    if (*earlier) {
      fs::create_directory(tmp.File("out"));
      testing_support::WriteFileText(tmp.File("out/f.bin"), earlier);
    }
    {
      FileSizeLimit limit(1000);
      EXPECT_FALSE(WriteBufferToFile(base + "\\out\\f.bin", data.data(), data.size())) << earlier;
    }
    ExpectOutAsBefore("f.bin", earlier);
    EXPECT_TRUE(WriteBufferToFile(base + "\\out\\f.bin", data.data(), data.size()));
    EXPECT_EQ(fs::file_size(tmp.File("out/f.bin")), data.size());
  }
}

TEST_F(ShortWrites, ALargeEntryThatCannotBeWrittenWholeLeavesTheFolderAsItWas) {
  std::mt19937 gen(9);
  Bytes data(5000);
  for (auto& b : data) b = static_cast<uint8_t>(gen());
  std::string archive = tmp.File("setup.pak");
  {
    TPak pak(archive, false, true);
    int i = pak.AddEntry("big.bin", "", 1);
    ASSERT_TRUE(pak.WriteEntryData(i, data.data(), data.size()));
    ASSERT_TRUE(pak.WriteTable());
  }
  TPak pak(archive, false, false);
  ASSERT_EQ(pak.Entries[0].StoredSize, 0u);
  fs::create_directory(tmp.File("out"));
  for (const char* earlier : {"", "the player's file"}) {
    fs::remove(tmp.File("out/big.bin"));
    if (*earlier) testing_support::WriteFileText(tmp.File("out/big.bin"), earlier);
    std::string error;
    {
      FileSizeLimit limit(2500);
      EXPECT_FALSE(ExtractLargeEntry(pak, base + "\\out\\big.bin", "big.bin", 5000, 0, error, HandOffProgress(), 1024));
    }
    EXPECT_NE(error.find("Cannot write"), std::string::npos) << error;
    ExpectOutAsBefore("big.bin", earlier);
  }
}

// Whenever a byte of an extracted file is about to land, the log kept saved
// on disk names that file already (and every file before it), so a kill
// anywhere leaves no file it does not name; a file of the player's is named
// only once its original is kept. An entry that fails leaves the log again,
// with those logged ahead of it.
TEST_F(ShortWrites, TheSavedLogNamesEachFileBeforeItsFirstByte) {
  std::vector<testing_support::ArchiveItem> items;
  for (int i = 0; i < 60; ++i) items.push_back({"f\\" + std::to_string(100 + i) + ".txt", 1, Bytes(3000, 'a' + i % 9)});
  testing_support::WriteSetupArchive(tmp.File("setup.pak"), items);
  TPak pak(tmp.File("setup.pak"), false, false);
  {
    // f\150.txt fails its checksum.
    platform::File damage(tmp.File("setup.pak"), platform::OpenMode::ReadWrite);
    ASSERT_EQ(damage.Seek(pak.Entries[50].Offset + 3, platform::SeekOrigin::Begin), pak.Entries[50].Offset + 3);
    ASSERT_TRUE(damage.Write("\xFF", 1));
  }
  fs::create_directories(tmp.File("out/f"));
  testing_support::WriteFileText(tmp.File("out/f/130.txt"), "the player's own");
  SetupInfoFile.InstallDir = base + "\\out";
  SetupInfoFile.HasUninstall = 1;
  SetupInfoFile.UninstallPrefix = "T_";
  UninstallList.KeepSaved(SetupInfoFile.InstallDir, "T_");
  const std::string value = RegEntryText("HKCU", "Software\\Mod", "Path", "$INSTDIR");
  UninstallList.AddRegEntry(value);
  UninstallList.AddDir(SetupInfoFile.InstallDir);
  BeginKeepingOriginals();
  const std::string players = SetupInfoFile.InstallDir + "\\f\\130.txt", kept = KeptPathOf(players);
  int checks = 0;
  platform::host::SetFileChangeHook([&] {
    TUninstallList saved;
    saved.LoadFromFile(SetupInfoFile.InstallDir, "T_");
    for (const auto& e : fs::directory_iterator(tmp.File("out/f"))) {
      const std::string path = SetupInfoFile.InstallDir + "\\f\\" + e.path().filename().string();
      ++checks;
      // The player's file is replaced by way of a copy beside it, which the
      // next run clears away.
      if (path == platform::FileReplacement::AsideOf(players)) continue;
      if (path != players) {
        ASSERT_TRUE(saved.NamesFile(path)) << path;
      } else if (saved.NamesFile(path)) {
        ASSERT_EQ(platform::File(kept, platform::OpenMode::Read).Size(), 16) << "named before it was kept";
      }
    }
  });
  std::string error;
  EXPECT_FALSE(ExtractGroup(pak, SetupInfoFile.InstallDir, 1, error, HandOffProgress()));
  platform::host::SetFileChangeHook(nullptr);
  EXPECT_GT(checks, 50 * 49 / 2);
  std::vector<std::string> written;
  for (int i = 0; i < 50; ++i) {
    if (i == 30) written.push_back("$INSTDIR\\T_originals\\INSTDIR\\f\\130.txt");
    written.push_back("$INSTDIR\\f\\" + std::to_string(100 + i) + ".txt");
  }
  EXPECT_EQ(UninstallList.Files(), written);
  EXPECT_EQ(UninstallList.RegEntries(), std::vector<std::string>{value}) << "the rest of the log stays";
  ASSERT_EQ(UninstallList.Dirs().size(), 4u) << "with the folders of the kept copy";
  EXPECT_EQ(UninstallList.Dirs().front(), "$INSTDIR");
  TUninstallList saved;
  ASSERT_TRUE(saved.LoadFromFile(SetupInfoFile.InstallDir, "T_"));
  EXPECT_EQ(saved.Files(), written);
}
