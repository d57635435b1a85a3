#include "installer-library/QXI_PakExtract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "platform/ByteOrder.h"
#include "platform/File.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/SetupArchives.h"
#include "tests/support/TempDir.h"

using testing_support::DrivePath;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteSetupArchive;
namespace fs = std::filesystem;

namespace {

Bytes Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>(gen());
  return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Flips one stored byte of an entry, so that its checksum fails.
void Damage(const std::string& path, const TPakFile& entry) {
  platform::File f(path, platform::OpenMode::ReadWrite);
  uint8_t b;
  ASSERT_EQ(f.Seek(entry.Offset, platform::SeekOrigin::Begin), entry.Offset);
  ASSERT_EQ(f.Read(&b, 1), 1u);
  b ^= 0x55;
  ASSERT_EQ(f.Seek(entry.Offset, platform::SeekOrigin::Begin), entry.Offset);
  ASSERT_TRUE(f.Write(&b, 1));
}

struct Recorder : TExtractProgress {
  std::vector<std::string> statuses;
  int steps = 0;
  void Status(const std::u16string& text) override { statuses.push_back(std::string(text.begin(), text.end())); }
  void Step() override { ++steps; }
};

}  // namespace

class Extraction : public InstallerGlobals {
 protected:
  void SetUp() override {
    InstallerGlobals::SetUp();
    std::u16string file =
        u"\xFEFF"
        u"English\r\n409\r\n18 Extracting <%FILENAME%>\r\n";
    Bytes b;
    for (char16_t c : file) PutU16(b, c);
    Languages.AddFromBuffer(b.data(), b.size());
    Languages.Current = 0;
    fs::create_directory(tmp.File("out"));
    SetupInfoFile.InstallDir = dir;
  }

  TempDir tmp;
  std::string archive = tmp.File("setup.pak");
  std::string dir = DrivePath(tmp.File("out"));
  Recorder rec;
  std::string error;
};

TEST_F(Extraction, AGroupIsWrittenAndLoggedEntryByEntry) {
  const Bytes big = Random(5000, 1);
  WriteSetupArchive(archive, {{"readme.txt", 1, Text("hello")},
                              {"other.txt", 2, Text("not this group")},
                              {"data\\sub\\x.bin", 1, big},
                              {"empty.txt", 1, {}}});
  TPak pak(archive, false, false);
  ASSERT_TRUE(ExtractGroup(pak, dir, 1, error, rec)) << error;
  EXPECT_EQ(ReadFileBytes(tmp.File("out/readme.txt")), Text("hello"));
  EXPECT_EQ(ReadFileBytes(tmp.File("out/data/sub/x.bin")), big);
  EXPECT_TRUE(ReadFileBytes(tmp.File("out/empty.txt")).empty());
  EXPECT_FALSE(fs::exists(tmp.File("out/other.txt")));
  EXPECT_EQ(rec.statuses, (std::vector<std::string>{"Extracting readme.txt", "Extracting data\\sub\\x.bin",
                                                    "Extracting empty.txt", "Extracting "}));
  EXPECT_EQ(rec.steps, 3);
  EXPECT_EQ(UninstallList.Files(),
            (std::vector<std::string>{"$INSTDIR\\readme.txt", "$INSTDIR\\data\\sub\\x.bin", "$INSTDIR\\empty.txt"}));
  EXPECT_EQ(UninstallList.Dirs(), (std::vector<std::string>{"$INSTDIR\\data\\", "$INSTDIR\\data\\sub\\"}));

  // A target that ends in a backslash, as every resolved folder does, logs
  // the same paths: no doubled separator.
  const std::vector<std::string> logged = UninstallList.Files();
  UninstallList.Clear();
  ASSERT_TRUE(ExtractGroup(pak, dir + "\\", 1, error, rec)) << error;
  EXPECT_EQ(UninstallList.Files(), logged);
}

TEST_F(Extraction, AnEmptyGroupSetsTheStatusOnce) {
  WriteSetupArchive(archive, {{"a.txt", 1, Text("a")}});
  TPak pak(archive, false, false);
  EXPECT_TRUE(ExtractGroup(pak, dir, 3, error, rec));
  EXPECT_EQ(rec.statuses, std::vector<std::string>{"Extracting "});
  EXPECT_EQ(rec.steps, 0);
  EXPECT_TRUE(UninstallList.Files().empty());
}

TEST_F(Extraction, StatusGoesThroughTheHandOffByDefault) {
  WriteSetupArchive(archive, {{"a.txt", 1, Text("a")}});
  TPak pak(archive, false, false);
  ShowTargets();
  EXPECT_TRUE(ExtractGroup(pak, dir, 1, error));
  TStatusUpdate u = TakeStatusUpdate();
  EXPECT_EQ(u.StatusText, "Extracting ");
  EXPECT_EQ(u.Progress, 1);
}

TEST(EntryNames, OnlyPlainNamesBelowTheTargetAreSafe) {
  using namespace std::string_literals;
  struct Case {
    std::string name;
    bool safe;
  } cases[] = {
      {"a.txt", true},
      {"sub\\a.txt", true},
      {"a..b", true},
      {".hidden", true},
      {"x\\..y\\z", true},
      {"..\\x", false},
      {"a\\..\\..\\x", false},
      {"sub/../x", false},
      {"\\x", false},
      {"/x", false},
      {"C:\\x", false},
      {"C:x", false},
      {"a.txt:stream", false},
      {"...\\x", false},
      {". \\x", false},
      {"x\\.", false},
      {"x\\.. ", false},
      {"..", false},
      {"", false},
      // a NUL byte ends the path the file system sees: the folder itself, or another file
      {"\0data\\items.ini"s, false},
      {"sub\\a\0.txt"s, false},
      // a device in any part, in every form: writing there could never end
      {"CON", false},
      {"sub\\nul.txt", false},
      {"Aux\\x.dat", false},
      {"data\\com1.tar.gz", false},
      {"lpt9 .txt", false},
      {"x\\CONOUT$", false},
      {"prn \\x", false},
      {"COM\xB9\\x", false},
      {"com0.txt", true},
      {"console\\lpt10", true},
      // nor anything else no file name can be
      {"a\\\\b", false},
      {"sub\\", false},
      {"a?.txt", false},
      {"readme.txt.", false},
      {"dir \\x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << c.name;
  EXPECT_EQ(EntryNameFault("data\\Con \\a.txt"), "\"Con \" is a device name");
}

TEST_F(Extraction, NamesLeavingTheFolderAreRefused) {
  WriteSetupArchive(archive, {{"good.txt", 1, Text("g")}, {"..\\evil.txt", 1, Text("e")}, {"after.txt", 1, Text("a")}});
  TPak pak(archive, false, false);
  EXPECT_FALSE(ExtractGroup(pak, dir, 1, error, rec));
  EXPECT_NE(error.find("..\\evil.txt"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(tmp.File("evil.txt")));
  EXPECT_FALSE(fs::exists(tmp.File("out/after.txt")));  // extraction stops there
  EXPECT_EQ(UninstallList.Files(), std::vector<std::string>{"$INSTDIR\\good.txt"});
  EXPECT_EQ(rec.steps, 1);
}

TEST_F(Extraction, AnUnreadableEntryIsAnErrorNotAnEmptyFile) {
  for (bool compressible : {true, false}) {
    UninstallList.Clear();
    Bytes data = compressible ? Bytes(4000, 'z') : Random(4000, 2);
    WriteSetupArchive(archive, {{"bad.bin", 1, data}});
    {
      TPak pak(archive, false, false);
      EXPECT_EQ(pak.Entries[0].StoredSize != 0, compressible);
      Damage(archive, pak.Entries[0]);
    }
    TPak pak(archive, false, false);
    EXPECT_FALSE(ExtractGroup(pak, dir, 1, error, rec));
    EXPECT_NE(error.find("bad.bin"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(tmp.File("out/bad.bin")));
    EXPECT_TRUE(UninstallList.Files().empty());
  }
}

TEST_F(Extraction, AFailedWriteIsReportedAndNotLogged) {
  fs::create_directories(tmp.File("out/taken.txt"));
  WriteSetupArchive(archive, {{"taken.txt", 1, Text("x")}});
  TPak pak(archive, false, false);
  EXPECT_FALSE(ExtractGroup(pak, dir, 1, error, rec));
  EXPECT_NE(error.find("taken.txt"), std::string::npos) << error;
  EXPECT_TRUE(UninstallList.Files().empty());
  EXPECT_EQ(rec.steps, 0);
}

TEST_F(Extraction, AFileTheUninstallLogCannotHoldIsReported) {
  for (size_t i = 0; i < kMaxUninstallEntries; ++i) ASSERT_TRUE(UninstallList.AddFile(std::to_string(i)));
  WriteSetupArchive(archive, {{"one.txt", 1, Text("x")}});
  TPak pak(archive, false, false);
  EXPECT_FALSE(ExtractGroup(pak, dir, 1, error, rec));
  EXPECT_NE(error.find("uninstall log is full"), std::string::npos) << error;
  EXPECT_EQ(rec.steps, 0);
}

TEST_F(Extraction, LargeEntriesAreCopiedInPiecesWithTheirProgress) {
  const Bytes data = Random(3 * 1024 + 1, 3);  // stored raw: random bytes do not compress
  WriteSetupArchive(archive, {{"big.bin", 1, data}});
  TPak pak(archive, false, false);
  ASSERT_EQ(pak.Entries[0].StoredSize, 0u);
  ASSERT_TRUE(ExtractLargeEntry(pak, dir + "\\sub\\big.bin", "big.bin", 3073, 0, error, rec, 1024)) << error;
  EXPECT_EQ(ReadFileBytes(tmp.File("out/sub/big.bin")), data);
  EXPECT_EQ(rec.statuses, (std::vector<std::string>{
                              "Extracting big.bin - 0.00 Bytes / 3.00 KB", "Extracting big.bin - 1.00 KB / 3.00 KB",
                              "Extracting big.bin - 2.00 KB / 3.00 KB", "Extracting big.bin - 3.00 KB / 3.00 KB"}));
  EXPECT_EQ(UninstallList.Dirs(), std::vector<std::string>{"$INSTDIR\\sub\\"});
}

TEST_F(Extraction, ALargeEntryThatFailsItsChecksumLeavesTheFolderAsItWas) {
  WriteSetupArchive(archive, {{"big.bin", 1, Random(5000, 4)}});
  {
    TPak pak(archive, false, false);
    TPakFile last = pak.Entries[0];
    last.Offset += 4999;
    Damage(archive, last);  // the last byte: only the checksum can tell
  }
  TPak pak(archive, false, false);
  for (const std::string earlier : {"", "the player's file"}) {
    rec.statuses.clear();
    if (!earlier.empty()) testing_support::WriteFileText(tmp.File("out/big.bin"), earlier);
    EXPECT_FALSE(ExtractLargeEntry(pak, dir + "\\big.bin", "big.bin", 5000, 0, error, rec, 1024));
    EXPECT_EQ(rec.statuses.size(), 5u);
    // Nothing half written beside it, and an earlier file is untouched.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.File("out")), fs::directory_iterator()),
              earlier.empty() ? 0 : 1);
    if (!earlier.empty())
      EXPECT_EQ(ReadFileBytes(tmp.File("out/big.bin")), Text(earlier));
    else
      EXPECT_FALSE(fs::exists(tmp.File("out/big.bin")));
  }
}

TEST_F(Extraction, ALargeEntryMustBeStoredRawAndWhole) {
  WriteSetupArchive(archive, {{"packed.bin", 1, Bytes(5000, 'p')}, {"raw.bin", 1, Random(100, 5)}});
  TPak pak(archive, false, false);
  ASSERT_NE(pak.Entries[0].StoredSize, 0u);
  EXPECT_FALSE(ExtractLargeEntry(pak, dir + "\\packed.bin", "packed.bin", 5000, 0, error, rec));
  EXPECT_FALSE(ExtractLargeEntry(pak, dir + "\\raw.bin", "raw.bin", 200, 1, error, rec));  // a size not its own
  EXPECT_FALSE(ExtractLargeEntry(pak, dir + "\\x.bin", "x.bin", 100, 7, error, rec));      // no such entry
  EXPECT_FALSE(fs::exists(tmp.File("out/packed.bin")));
  EXPECT_FALSE(fs::exists(tmp.File("out/raw.bin")));
}

TEST_F(Extraction, AnEntryOfSeventyMebibytesOrMoreGoesInPiecesOfTwentyFive) {
  const size_t size = 78643201;  // three whole pieces and one byte
  Bytes data(size, 0);
  data[size - 1] = 0x42;
  WriteSetupArchive(archive, {{"huge.bin", 1, data}});
  data = Bytes();
  TPak pak(archive, false, false);
  ASSERT_TRUE(ExtractGroup(pak, dir, 1, error, rec)) << error;
  EXPECT_EQ(rec.statuses, (std::vector<std::string>{
                              "Extracting huge.bin", "Extracting huge.bin - 0.00 Bytes / 75.00 MB",
                              "Extracting huge.bin - 25.00 MB / 75.00 MB", "Extracting huge.bin - 50.00 MB / 75.00 MB",
                              "Extracting huge.bin - 75.00 MB / 75.00 MB", "Extracting "}));
  EXPECT_EQ(rec.steps, 1);
  EXPECT_EQ(fs::file_size(tmp.File("out/huge.bin")), size);
  EXPECT_EQ(UninstallList.Files(), std::vector<std::string>{"$INSTDIR\\huge.bin"});
}
