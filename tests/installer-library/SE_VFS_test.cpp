#include "installer-library/SE_VFS.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ByteOrder.h"
#include "platform/File.h"
#include "platform/MessageBox.h"
#include "tests/Global/VFSImage.h"
#include "tests/installer-library/GlobalsFixture.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using vfs_test::Decode;
using vfs_test::Random;
using vfs_test::Text;
namespace fs = std::filesystem;

namespace {

struct Item {
  std::string name;
  uint16_t group;
  Bytes data;
};

struct Recorder : TVFSReport {
  std::vector<std::string> statuses;
  std::vector<bool> steps;
  void Status(const std::u16string& text) override { statuses.push_back(std::string(text.begin(), text.end())); }
  void Step(bool visible) override { steps.push_back(visible); }
};

struct Box {
  std::string text, caption;
  unsigned flags;
};

vfs_test::Layout EmptyContainer(uint32_t blocks = 256) {
  vfs_test::Layout l;
  l.blockSize = 512;
  l.blockCount = blocks;
  l.entryCount = 8;
  return l;
}

}  // namespace

class ContainerUpdate : public InstallerGlobals {
 protected:
  void SetUp() override {
    InstallerGlobals::SetUp();
    std::u16string file =
        u"\xFEFF"
        u"English\r\n409\r\n19 <%QXPNAME%> <%FNUM%>/<%FTOTAL%>\r\n"
        u"20 Saving <%QXPNAME%>\r\n23 Container missing\r\n29 Opening <%QXPNAME%>\r\n";
    Bytes b;
    for (char16_t c : file) PutU16(b, c);
    Languages.AddFromBuffer(b.data(), b.size());
    Languages.Current = 0;
    fs::create_directory(tmp.File("game"));
    SetupInfoFile.InstallDir = tmp.File("game");
    AbortFlag = false;
    previous =
        platform::SetMessageBoxHandler([this](const std::string& text, const std::string& caption, unsigned flags) {
          boxes.push_back({text, caption, flags});
          return platform::kIdOk;
        });
  }

  void TearDown() override {
    GameVFS.reset();
    GameVFSSaved = false;
    SetupArchive = nullptr;
    AbortFlag = false;
    platform::SetMessageBoxHandler(previous);
    InstallerGlobals::TearDown();
  }

  void Archive(const std::vector<Item>& items) {
    {
      TPak writer(archivePath, false, true);
      for (const Item& it : items) {
        int i = writer.AddEntry(it.name, "", it.group);
        ASSERT_TRUE(writer.WriteEntryData(i, it.data.data(), it.data.size()));
      }
      ASSERT_TRUE(writer.WriteTable());
    }
    pak = std::make_unique<TPak>(archivePath, false, false);
    SetupArchive = pak.get();
  }

  void Container(const std::string& name, const vfs_test::Layout& layout = EmptyContainer()) {
    WriteFileBytes(tmp.File("game/" + name), layout.Build());
  }

  Bytes Raw(const std::string& name) { return ReadFileBytes(tmp.File("game/" + name)); }

  static bool ChecksumValid(const Bytes& file) {
    platform::MD5Hash md5;
    md5.Update(file.data() + 44, file.size() - 44);
    uint8_t digest[16];
    md5.Finish(digest);
    return std::equal(digest, digest + 16, file.begin() + 28);
  }

  TempDir tmp;
  std::string archivePath = tmp.File("setup.pak");
  std::unique_ptr<TPak> pak;
  Recorder rec;
  std::vector<Box> boxes;
  platform::MessageBoxHandler previous;
};

TEST_F(ContainerUpdate, AnEmptyGroupDoesNothingAtAll) {
  Archive({{"a.dat", 1, Text("a")}});
  ShowTargets();
  UpdateGameVFS(2, "missing.vfs", true, rec);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(rec.statuses.empty());
  EXPECT_FALSE(AbortFlag);
  EXPECT_FALSE(TakeStatusUpdate().FailureText);
}

TEST_F(ContainerUpdate, EveryFileOfTheGroupIsAddedThenTheContainerSaved) {
  Archive({{"data\\maps\\a.map", 1, Random(700, 1)},
           {"other.dat", 2, Text("other group")},
           {"readme.txt", 1, Text("read me")},
           {"data\\empty.dat", 1, {}}});
  Container("game.vfs");
  UpdateGameVFS(1, "game.vfs", true, rec);
  EXPECT_EQ(rec.statuses, (std::vector<std::string>{"Opening game.vfs", "game.vfs 0/3", "game.vfs 0/3", "game.vfs 1/3",
                                                    "game.vfs 2/3", "Saving game.vfs"}));
  // 0% is not above the start; 33% and 66% are.
  EXPECT_EQ(rec.steps, (std::vector<bool>{false, true, true}));
  EXPECT_FALSE(GameVFS);
  Bytes raw = Raw("game.vfs");
  EXPECT_TRUE(ChecksumValid(raw));
  vfs_test::Decoded d = Decode(raw);
  EXPECT_EQ(d.Find("data\\maps\\a.map")->data, Random(700, 1));
  EXPECT_EQ(d.Find("readme.txt")->data, Text("read me"));
  EXPECT_EQ(d.Find("data\\empty.dat")->stored, 0u);
  EXPECT_FALSE(d.Find("other.dat"));
  EXPECT_TRUE(platform::FileExists(tmp.File("game/game.ht")));
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(AbortFlag);
}

TEST_F(ContainerUpdate, EverySecondStepOfTwoHundredIsShown) {
  std::vector<Item> items;
  for (int i = 0; i < 200; ++i) items.push_back({"d\\f" + std::to_string(i) + ".x", 1, Text("x")});
  Archive(items);
  Container("c.vfs");
  UpdateGameVFS(1, "c.vfs", true, rec);
  ASSERT_EQ(rec.steps.size(), 200u);
  for (size_t i = 0; i < 200; ++i) EXPECT_EQ(rec.steps[i], i > 0 && i % 2 == 0) << i;
  EXPECT_EQ(rec.statuses[201], "c.vfs 199/200");
  EXPECT_EQ(rec.statuses[202], "Saving c.vfs");
}

TEST_F(ContainerUpdate, ProgressReachesTheWindowThroughTheHandOff) {
  Archive({{"a.dat", 1, Text("a")}, {"b.dat", 1, Text("b")}, {"c.dat", 1, Text("c")}});
  Container("c.vfs");
  ShowTargets();
  UpdateGameVFS(1, "c.vfs", true);
  TStatusUpdate update = TakeStatusUpdate();
  EXPECT_EQ(update.StatusText, std::optional<std::string>("Saving c.vfs"));
  EXPECT_EQ(update.Progress, std::optional<int32_t>(3));
}

TEST_F(ContainerUpdate, AContainerKeptOpenIsSavedWhenTheNextLineOpensOne) {
  Archive({{"a.dat", 1, Text("first")}, {"b.dat", 2, Text("second")}});
  Container("c.vfs");
  Bytes before = Raw("c.vfs");
  UpdateGameVFS(1, "c.vfs", false, rec);
  ASSERT_TRUE(GameVFS);
  EXPECT_EQ(GameVFSName, "c.vfs");
  EXPECT_FALSE(GameVFSSaved);
  // Added but not saved: the container is as it was.
  EXPECT_EQ(Raw("c.vfs"), before);
  EXPECT_FALSE(platform::FileExists(tmp.File("game/c.ht")));

  UpdateGameVFS(2, "c.vfs", true, rec);
  EXPECT_EQ(rec.statuses, (std::vector<std::string>{"Opening c.vfs", "c.vfs 0/1", "c.vfs 0/1", "Saving c.vfs",
                                                    "Opening c.vfs", "c.vfs 0/1", "c.vfs 0/1", "Saving c.vfs"}));
  EXPECT_FALSE(GameVFS);
  Bytes raw = Raw("c.vfs");
  EXPECT_TRUE(ChecksumValid(raw));
  vfs_test::Decoded d = Decode(raw);
  EXPECT_EQ(d.Find("a.dat")->data, Text("first"));
  EXPECT_EQ(d.Find("b.dat")->data, Text("second"));
}

TEST_F(ContainerUpdate, AContainerLeftOpenIsSavedWhenClosedAtTheEnd) {
  Archive({{"a.dat", 1, Text("a")}});
  Container("c.vfs");
  UpdateGameVFS(1, "c.vfs", false, rec);
  CloseGameVFS(rec);
  EXPECT_FALSE(GameVFS);
  EXPECT_EQ(rec.statuses.back(), "Saving c.vfs");
  EXPECT_TRUE(ChecksumValid(Raw("c.vfs")));
  // Closing twice, or with nothing open, does nothing.
  rec.statuses.clear();
  CloseGameVFS(rec);
  SaveGameVFS(rec);
  EXPECT_TRUE(rec.statuses.empty());
}

TEST_F(ContainerUpdate, AMissingOrUnusableContainerAbortsTheScript) {
  vfs_test::Layout oneRootSlot = EmptyContainer();
  oneRootSlot.entryCount = 1;
  struct Case {
    const char* what;
    Bytes file;  // none: missing
    std::string box;
    bool copyBlocked = false;  // no copy can be written beside it
  } cases[] = {
      {"missing", {}, "Error: Unable to find <c.vfs>"},
      {"damaged", Bytes(100, 0),
       "Error: Unable to open <c.vfs>\nThe container " + tmp.File("game") + "\\c.vfs is damaged: too short"},
      // The group needs 5 blocks (1 + 3 + 1, none compresses): refused
      // before the first file, not halfway.
      {"too small", EmptyContainer(3).Build(),
       "Error: Not enough room in <c.vfs>: the update needs 2 more free blocks than the 3 it has"},
      {"no root slot for the second file", oneRootSlot.Build(),
       "Error: Unable to update <c.vfs>\nCreateNewFileDir: ROOT Result = Cardinal(-1)"},
      {"no copy beside it", EmptyContainer().Build(),
       "Error: Unable to update <c.vfs>\nUnable to write a copy of the container " + tmp.File("game") +
           "\\c.vfs beside it",
       true},
  };
  for (const Case& c : cases) {
    Archive({{"a.dat", 1, Random(512, 1)}, {"b.dat", 1, Random(3 * 512, 2)}, {"c.dat", 1, Text("c")}});
    ShowTargets();
    if (!c.file.empty()) WriteFileBytes(tmp.File("game/c.vfs"), c.file);
    if (c.copyBlocked) fs::create_directory(tmp.File("game/c.vfs.new"));
    Bytes before = platform::FileExists(tmp.File("game/c.vfs")) ? Raw("c.vfs") : Bytes{};
    boxes.clear();
    rec.statuses.clear();
    AbortFlag = false;
    UpdateGameVFS(1, "c.vfs", true, rec);
    ASSERT_EQ(boxes.size(), 1u) << c.what;
    EXPECT_EQ(boxes[0].text, c.box) << c.what;
    EXPECT_EQ(boxes[0].caption, "VFS Error") << c.what;
    EXPECT_EQ(boxes[0].flags, platform::kMbOk) << c.what;
    EXPECT_TRUE(AbortFlag) << c.what;
    TStatusUpdate update = TakeStatusUpdate();
    EXPECT_EQ(update.FailureText, std::optional<std::u16string>(u"Container missing")) << c.what;
    EXPECT_TRUE(update.RepaintFailure) << c.what;
    EXPECT_FALSE(GameVFS) << c.what;
    if (!before.empty()) {
      EXPECT_EQ(Raw("c.vfs"), before) << c.what;
    }
    EXPECT_FALSE(platform::FileExists(tmp.File("game/c.ht"))) << c.what;
  }
}

TEST_F(ContainerUpdate, AGroupThatFitsOnlyCompressedIsAdded) {
  // Raw the two files need 4 + 1 blocks of the 4; compressed, 2.
  Archive({{"big.dat", 1, Bytes(2000, 'x')}, {"small.dat", 1, Text("s")}});
  Container("c.vfs", EmptyContainer(4));
  UpdateGameVFS(1, "c.vfs", true, rec);
  EXPECT_TRUE(boxes.empty());
  vfs_test::Decoded d = Decode(Raw("c.vfs"));
  EXPECT_EQ(d.Find("big.dat")->attributes, kVFSAttrFile | kVFSAttrCompressed);
  EXPECT_EQ(d.Find("big.dat")->original, 2000u);
  EXPECT_TRUE(d.Find("small.dat"));
}

TEST_F(ContainerUpdate, AReadOnlyContainerAndSideFileAreMadeWritable) {
  Archive({{"a.dat", 1, Text("a")}, {"b.dat", 2, Text("b")}});
  Container("c.vfs");
  UpdateGameVFS(1, "c.vfs", true, rec);
  const Bytes firstSideFile = Raw("c.ht");
  for (const char* name : {"game/c.vfs", "game/c.ht"})
    fs::permissions(tmp.File(name), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  UpdateGameVFS(2, "c.vfs", true, rec);
  for (const char* name : {"game/c.vfs", "game/c.ht"})
    EXPECT_NE(fs::status(tmp.File(name)).permissions() & fs::perms::owner_write, fs::perms::none) << name;
  EXPECT_TRUE(Decode(Raw("c.vfs")).Find("b.dat"));
  EXPECT_EQ(Raw("c.ht").size(), firstSideFile.size() + kVFSHashRecordSize) << "the side file lists both files";
  EXPECT_FALSE(AbortFlag);
}

TEST_F(ContainerUpdate, ASaveThatFailsIsReportedForItsOwnContainer) {
  Archive({{"a.dat", 1, Text("a")}, {"b.dat", 2, Text("b")}});
  Container("a.vfs");
  Container("b.vfs");
  const Bytes kept = Raw("a.vfs"), other = Raw("b.vfs");
  UpdateGameVFS(1, "a.vfs", false, rec);        // kept open for a later line
  fs::create_directory(tmp.File("game/a.ht"));  // its side file cannot be written
  UpdateGameVFS(2, "b.vfs", true, rec);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind("Error: Unable to save <a.vfs>\n", 0), 0u) << boxes[0].text;
  EXPECT_EQ(boxes[0].caption, "VFS Error");
  EXPECT_TRUE(AbortFlag);
  EXPECT_FALSE(GameVFS) << "closed, so that nothing saves it again";
  EXPECT_EQ(Raw("a.vfs"), kept) << "without its side file, the container is not replaced either";
  EXPECT_FALSE(platform::FileExists(tmp.File("game/a.vfs.new")) || platform::FileExists(tmp.File("game/a.ht.new")));
  EXPECT_EQ(Raw("b.vfs"), other);
}

TEST_F(ContainerUpdate, AnEntryWhoseDataCannotBeReadIsLeftOut) {
  Archive({{"bad.dat", 1, Random(300, 1)}, {"good.dat", 1, Text("good")}});
  {
    // Flip a stored byte of the first entry: it fails its checksum.
    platform::File f(archivePath, platform::OpenMode::ReadWrite);
    uint8_t b;
    ASSERT_GE(f.Seek(pak->Entries[0].Offset, platform::SeekOrigin::Begin), 0);
    ASSERT_EQ(f.Read(&b, 1), 1u);
    b ^= 0x55;
    ASSERT_GE(f.Seek(pak->Entries[0].Offset, platform::SeekOrigin::Begin), 0);
    ASSERT_TRUE(f.Write(&b, 1));
  }
  Container("c.vfs");
  UpdateGameVFS(1, "c.vfs", true, rec);
  vfs_test::Decoded d = Decode(Raw("c.vfs"));
  EXPECT_FALSE(d.Find("bad.dat"));
  EXPECT_EQ(d.Find("good.dat")->data, Text("good"));
  EXPECT_EQ(rec.steps.size(), 2u);
}

TEST_F(ContainerUpdate, ProgressTextFillsItsThreePlaceholders) {
  EXPECT_EQ(FormatVFSProgress("data.vfs", 12, 345), u"data.vfs 12/345");
  Languages = TLanguages();
  EXPECT_EQ(FormatVFSProgress("data.vfs", 1, 2), u"NOT FOUND 19");
}
