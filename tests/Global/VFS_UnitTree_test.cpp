#include "Global/VFS_Unit.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>

#include "Global/DosDate.h"
#include "tests/Global/VFSImage.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using vfs_test::Contents;
using vfs_test::Decode;
using vfs_test::Decoded;
using vfs_test::Layout;
using vfs_test::Random;
using vfs_test::RawEntry;
using vfs_test::Text;

namespace {

Bytes Repeated(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>("level data "[i % 11]);
  return b;
}

struct Record {
  uint32_t hash, attributes, stored, original, first;
  uint8_t unique;
  bool operator==(const Record&) const = default;
};

std::vector<Record> ReadSideFile(const std::string& path) {
  Bytes b = ReadFileBytes(path);
  std::vector<Record> out;
  EXPECT_GE(b.size(), 4u);
  if (b.size() < 4) return out;
  uint32_t n = GetU32(b.data());
  EXPECT_EQ(b.size(), 4 + 21 * size_t{n});
  for (size_t i = 0; i < n && 4 + 21 * (i + 1) <= b.size(); ++i) {
    const uint8_t* p = &b[4 + 21 * i];
    out.push_back({GetU32(p), GetU32(p + 4), GetU32(p + 8), GetU32(p + 12), GetU32(p + 16), p[20]});
  }
  return out;
}

// A container with every block and root slot free.
Layout EmptyLayout(uint32_t blockSize = 128, uint32_t blocks = 64, uint32_t slots = 8) {
  Layout l;
  l.blockSize = blockSize;
  l.blockCount = blocks;
  l.entryCount = slots;
  return l;
}

// A container file for a test's files.
class Container {
 public:
  explicit Container(const Layout& layout = EmptyLayout()) : path_(dir_.File("game.vfs")) {
    WriteFileBytes(path_, layout.Build());
  }
  TVFSFile& Open() {
    file_ = std::make_unique<TVFSFile>();
    file_->Open(path_, true);
    return *file_;
  }
  TVFSTree& Tree() { return file_->Tree(); }
  int32_t Add(const std::string& path, const Bytes& data) {
    return file_->Tree().AddVFSFile(path, data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()));
  }
  void SaveAndClose() {
    file_->Save(false);
    file_.reset();
  }
  void CloseUnsaved() { file_.reset(); }
  Bytes Raw() const { return vfs_test::Working(path_); }
  Bytes OnDisk() const { return ReadFileBytes(path_); }
  vfs_test::Decoded Check(bool saved = false) const { return Decode(Raw(), saved); }
  const std::string& Path() const { return path_; }
  std::string SidePath() const { return dir_.File("game.ht"); }

 private:
  TempDir dir_;
  std::string path_;
  std::unique_ptr<TVFSFile> file_;
};

}  // namespace

TEST(VFSPaths, PathHashIsSdbmOverTheBytes) {
  struct Case {
    std::string text;
    uint32_t hash;
  } cases[] = {
      {"", 0},
      {"b", 0x62},
      {"a.dat", 0x4a68a86a},
      {"maps\\level1/a.dat", 0xdd13040d},
      {"maps\\level1\\a.dat", 0xc2e01c20},
      {"zjrumh.dat", 0x02460fb7},
      {"ayswfx.dat", 0x02460fb7},
      {"tpjhvbf", 0},
      {"\xff", 0xff},  // bytes are unsigned
  };
  for (const Case& c : cases) EXPECT_EQ(PathHash(c.text), c.hash) << c.text;
}

TEST(VFSPaths, SideFileNameReplacesTheExtension) {
  struct Case {
    std::string container, side;
  } cases[] = {
      {"c.vfs", "c.ht"},
      {"C:\\Game\\data.vfs", "C:\\Game\\data.ht"},
      {"C:\\Game\\data", "C:\\Game\\data.ht"},
      {"C:\\Game.v2\\data", "C:\\Game.v2\\data.ht"},
      {"dir.x/c", "dir.x/c.ht"},
      {"a.b.c", "a.b.ht"},
      {"C:data.vfs", "C:data.ht"},
  };
  for (const Case& c : cases) EXPECT_EQ(HashFileName(c.container), c.side) << c.container;
}

TEST(VFSTree, AddCreatesMissingDirectoriesFromTheRootDown) {
  Container c;
  TVFSFile& f = c.Open();
  int32_t slot = c.Add("maps\\level1\\a.dat", Text("hello"));
  EXPECT_EQ(f.Tree().Nodes[slot].Path, "maps\\level1\\a.dat");
  Decoded d = c.Check();
  // maps took block 1 and its slot at once; level1 took block 2; maps' table
  // moved to a new chain (block 1 again, freed just before); the file took
  // block 3; level1's table took a new chain, which climbs no further as
  // maps' table keeps its size.
  EXPECT_EQ(d.rootNames[0], "maps");
  const vfs_test::Entry* maps = d.Find("maps");
  const vfs_test::Entry* level1 = d.Find("maps\\level1");
  const vfs_test::Entry* file = d.Find("maps\\level1\\a.dat");
  ASSERT_TRUE(maps && level1 && file);
  EXPECT_EQ(maps->attributes, 2u);
  EXPECT_EQ(maps->stored, 88u);
  EXPECT_EQ(maps->original, 0u);
  EXPECT_EQ(maps->blocks, std::vector<uint32_t>{1});
  EXPECT_EQ(level1->blocks, std::vector<uint32_t>{2});
  EXPECT_EQ(file->blocks, std::vector<uint32_t>{3});
  EXPECT_EQ(file->attributes, 1u);
  EXPECT_EQ(file->data, Text("hello"));
  EXPECT_EQ(file->date, TodayDosDate());
  EXPECT_EQ(d.entries.size(), 3u);
  EXPECT_EQ(f.Header.UsedBlocks, 3u);
}

TEST(VFSTree, DirectoriesAreFoundIgnoringTheCaseOfAsciiLettersOnly) {
  Container c;
  TVFSFile& f = c.Open();
  c.Add("maps\\level1\\a.dat", Text("a"));
  c.Add("MAPS\\LEVEL1\\b.dat", Text("b"));
  c.Add("Maps\\Level1\\A.DAT", Text("A"));  // replaces a.dat
  // A-Z only: Windows-1252 E-acute (0xC9) and e-acute (0xE9) differ.
  c.Add("maps\\caf\xe9.dat", Text("1"));
  c.Add("maps\\CAF\xc9.dat", Text("2"));
  c.Add("maps\\CAF\xe9.DAT", Text("3"));
  Decoded d = c.Check();
  std::map<std::string, Bytes> files;
  size_t dirs = 0;
  for (const vfs_test::Entry& e : d.entries) {
    if (e.attributes & 2)
      ++dirs;
    else
      files[e.path] = Contents(e);
  }
  EXPECT_EQ(dirs, 2u);
  std::map<std::string, Bytes> expected = {
      {"maps\\level1\\b.dat", Text("b")},
      {"maps\\level1\\A.DAT", Text("A")},
      {"maps\\CAF\xc9.dat", Text("2")},
      {"maps\\CAF\xe9.DAT", Text("3")},
  };
  EXPECT_EQ(files, expected);
  EXPECT_EQ(f.Tree().FindByPath("MAPS\\level1\\a.dat"), f.Tree().FindByPath("maps\\LEVEL1\\A.dat"));
  int32_t upper = f.Tree().FindByPath("maps\\caf\xc9.dat"), lower = f.Tree().FindByPath("MAPS\\caf\xe9.dat");
  EXPECT_GE(upper, 0);
  EXPECT_GE(lower, 0);
  EXPECT_NE(upper, lower);
}

TEST(VFSTree, DirectoryPartOnlyWithADotAndABackslash) {
  struct Case {
    std::string added, stored;
  } cases[] = {
      {"maps\\readme", "readme"},  // no "." anywhere: root
      {"a.dat", "a.dat"},          // no "\": root
      {"maps.v2\\readme", "maps.v2\\readme"},
      {"maps\\\\b.dat", "maps\\b.dat"},  // one trailing "\" of the directory part goes
      {"\\lead.dat", "lead.dat"},        // empty directory part: root
      {"x\\y\\z\\deep.dat", "x\\y\\z\\deep.dat"},
  };
  for (const Case& cs : cases) {
    Container c;
    c.Open();
    c.Add(cs.added, Text("data"));
    Decoded d = c.Check();
    const vfs_test::Entry* e = d.Find(cs.stored);
    ASSERT_TRUE(e) << cs.added;
    EXPECT_EQ(e->data, Text("data")) << cs.added;
  }
}

TEST(VFSTree, PathsThatCannotBeStoredAreRefusedUntouched) {
  struct Case {
    std::string path;
  } cases[] = {{""}, {"maps\\"}, {"maps.x\\"}, {"a\\\\\\b.dat"}, {"a\\\\\\\\b.dat"}, {"maps\\\\\\"}};
  for (const Case& cs : cases) {
    Container c;
    c.Open();
    c.Add("keep.dat", Text("k"));
    Bytes before = c.Raw();
    EXPECT_THROW(c.Add(cs.path, Text("data")), EVFSError) << cs.path;
    EXPECT_EQ(c.Raw(), before) << cs.path;
    EXPECT_EQ(c.Tree().FileCount(), 1u) << cs.path;
  }
}

TEST(VFSTree, AFileIsNeverTakenForADirectory) {
  struct Case {
    std::string existing, added;
  } cases[] = {
      {"maps", "maps\\a.dat"},                          // at the root
      {"maps\\level1.dat", "maps\\level1.dat\\a.dat"},  // below a directory
      {"maps\\level1.dat", "maps\\level1.dat\\x\\a.dat"},
  };
  for (const Case& cs : cases) {
    Container c;
    c.Open();
    c.Add("maps\\other.dat", Text("o"));
    c.Add(cs.existing, Text("a file"));
    Bytes before = c.Raw();
    EXPECT_THROW(c.Add(cs.added, Text("data")), EVFSError) << cs.added;
    EXPECT_EQ(c.Raw(), before) << cs.added;
    Decoded d = c.Check();
    const vfs_test::Entry* e = d.Find(cs.existing);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data, Text("a file"));
  }
}

TEST(VFSTree, ReplacingInADirectoryRewritesItsTableInPlace) {
  Container c;
  TVFSFile& f = c.Open();
  c.Add("maps\\a.dat", Random(100, 1));  // 1 block
  c.Add("maps\\b.dat", Random(100, 2));
  Decoded before = c.Check();
  const vfs_test::Entry* maps0 = before.Find("maps");
  ASSERT_TRUE(maps0);
  EXPECT_EQ(maps0->stored, 176u);
  Bytes raw = c.Raw();
  Bytes rootBefore(raw.begin() + static_cast<std::ptrdiff_t>(before.rootStart),
                   raw.begin() + static_cast<std::ptrdiff_t>(before.rootStart + 88));
  uint32_t oldBlock = before.Find("maps\\a.dat")->first;

  Bytes replacement = Random(300, 3);  // 3 blocks
  c.Add("maps\\a.dat", replacement);
  Decoded after = c.Check();
  const vfs_test::Entry* maps = after.Find("maps");
  EXPECT_EQ(maps->blocks, maps0->blocks);
  raw = c.Raw();
  EXPECT_EQ(Bytes(raw.begin() + static_cast<std::ptrdiff_t>(after.rootStart),
                  raw.begin() + static_cast<std::ptrdiff_t>(after.rootStart + 88)),
            rootBefore);  // maps' own entry untouched on disk
  const vfs_test::Entry* a = after.Find("maps\\a.dat");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->data, replacement);
  // The old chain was freed first, so the new one starts there.
  std::vector<uint32_t> lowest;
  for (uint32_t b = 1; lowest.size() < 3; ++b)
    if (std::find(maps->blocks.begin(), maps->blocks.end(), b) == maps->blocks.end() &&
        b != after.Find("maps\\b.dat")->first)
      lowest.push_back(b);
  EXPECT_EQ(a->blocks, lowest);
  EXPECT_EQ(a->blocks[0], oldBlock);
  EXPECT_EQ(after.entries.size(), 3u);
  EXPECT_EQ(f.Tree().FileCount(), 2u);
}

TEST(VFSTree, ReplacingAtTheRootTakesTheLowestFreeSlot) {
  Layout l = EmptyLayout();
  l.Put({1}, Text("old"));
  l.root[1] = RawEntry("r.dat", 1, 1, 3);  // slot 0 free
  l.Put({2}, Text("keep"));
  l.root[2] = RawEntry("k.dat", 1, 2, 4);
  Container c(l);
  TVFSFile& f = c.Open();
  int32_t slot = c.Add("R.DAT", Text("new"));
  EXPECT_EQ(f.Tree().Nodes[slot].RootSlot, 0);
  Decoded d = c.Check();
  EXPECT_EQ(d.rootNames, (std::vector<std::string>{"R.DAT", "", "k.dat", "", "", "", "", ""}));
  EXPECT_EQ(d.Find("R.DAT")->data, Text("new"));
  EXPECT_EQ(d.Find("R.DAT")->first, 1u);  // the freed block
  EXPECT_TRUE(f.RootTable[1].Name.empty());
  // Replacing again keeps slot 0: it is freed first.
  slot = c.Add("r.dat", Text("newer"));
  EXPECT_EQ(f.Tree().Nodes[slot].RootSlot, 0);
}

TEST(VFSTree, FilesAreCompressedInPiecesWhenThatIsShorter) {
  struct Case {
    const char* what;
    Bytes data;
    uint32_t attributes, original;
    std::vector<uint32_t> pieceInputs;  // expected input per piece
  } cases[] = {
      {"compressible, three pieces", Repeated(120000), 9, 120000, {50000, 50000, 20000}},
      {"exactly one piece", Repeated(50000), 9, 50000, {50000}},
      {"incompressible", Random(1000, 4), 1, 0, {}},
      {"small", Text("abc"), 1, 0, {}},
      {"empty", Bytes{}, 1, 0, {}},
  };
  for (const auto& cs : cases) {
    Container c(EmptyLayout(4096, 64, 8));
    c.Open();
    c.Add("f.dat", cs.data);
    Decoded d = c.Check();
    const vfs_test::Entry* e = d.Find("f.dat");
    ASSERT_TRUE(e) << cs.what;
    EXPECT_EQ(e->attributes, cs.attributes) << cs.what;
    EXPECT_EQ(e->original, cs.original) << cs.what;
    EXPECT_EQ(Contents(*e), cs.data) << cs.what;
    // Walk the pieces: each a length and one zlib stream of its input.
    std::vector<uint32_t> inputs;
    if (e->attributes & 8) {
      for (size_t at = 0; at < e->data.size();) {
        uint32_t n = GetU32(&e->data[at]);
        Bytes out;
        inputs.push_back(static_cast<uint32_t>(ZInflate(&e->data[at + 4], n, 50000, out)));
        at += 4 + n;
      }
      EXPECT_LT(e->stored, cs.data.size()) << cs.what;
    } else {
      EXPECT_EQ(e->stored, cs.data.size()) << cs.what;
    }
    EXPECT_EQ(inputs, cs.pieceInputs) << cs.what;
  }
}

TEST(VFSTree, CompressionGivesUpAsSoonAsItWouldNotBeShorter) {
  // A first piece of noise outgrows the whole input before the rest, which
  // would compress well, is reached: the file goes raw.
  Bytes data = Random(50000, 8);
  Bytes tail = Repeated(20);
  data.insert(data.end(), tail.begin(), tail.end());
  EXPECT_TRUE(TVFSTree::InternalCompressFile(data.data(), static_cast<uint32_t>(data.size())).empty());
  EXPECT_TRUE(TVFSTree::InternalCompressFile(nullptr, 0).empty());
  Bytes good = Repeated(50001);
  Bytes packed = TVFSTree::InternalCompressFile(good.data(), 50001);
  ASSERT_FALSE(packed.empty());
  Bytes first = ZCompress(good.data(), 50000, 9), second = ZCompress(good.data() + 50000, 1, 9);
  Bytes expected;
  PutU32(expected, static_cast<uint32_t>(first.size()));
  expected.insert(expected.end(), first.begin(), first.end());
  PutU32(expected, static_cast<uint32_t>(second.size()));
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(packed, expected);
}

TEST(VFSTree, SideFileListsFilesByUnsignedPathHash) {
  Container c;
  c.Open();
  c.Add("maps\\level1\\a.dat", Text("1"));  // hashed as maps\level1/a.dat: 0xdd13040d
  c.Add("a.dat", Random(300, 1));           // 0x4a68a86a
  c.Add("zjrumh.dat", Text("first"));       // 0x02460fb7
  c.Add("ayswfx.dat", Text("second"));      // same hash
  c.Add("tpjhvbf", Text("zero"));           // hash 0
  c.Add("empty\\dir.x\\f", Text("x"));      // directories are not listed
  c.SaveAndClose();
  Decoded d = c.Check(true);
  auto rec = [&](const std::string& path, uint32_t hash, uint8_t unique) {
    const vfs_test::Entry* e = d.Find(path);
    EXPECT_TRUE(e) << path;
    return Record{hash, e->attributes, e->stored, e->original, e->first, unique};
  };
  std::vector<Record> expected = {
      rec("tpjhvbf", 0, 1),
      rec("zjrumh.dat", 0x02460fb7, 0),  // the first added stands for both
      rec("a.dat", 0x4a68a86a, 1),
      rec("empty\\dir.x\\f", PathHash("empty\\dir.x/f"), 1),
      rec("maps\\level1\\a.dat", 0xdd13040d, 1),
  };
  std::sort(expected.begin(), expected.end(), [](const Record& a, const Record& b) { return a.hash < b.hash; });
  EXPECT_EQ(ReadSideFile(c.SidePath()), expected);
}

TEST(VFSTree, NoFilesMeansNoSideFile) {
  Container c;
  WriteFileBytes(c.SidePath(), Bytes{1, 0, 0, 0, 9});
  c.Open();
  c.Add("only\\dir.d\\f.dat", Text("f"));
  c.Tree().DeleteByPath("only\\dir.d\\f.dat", false);
  EXPECT_EQ(c.Tree().FileCount(), 0u);
  c.SaveAndClose();
  EXPECT_FALSE(platform::FileExists(c.SidePath()));
}

// An update is made in a copy beside the container, which replaces the
// container and its side file as a pair when saved. Whenever a run ends,
// the two are the old pair or the new one: each row is what the disk
// holds when a run ends at some point of the save, and the next open
// finishes the pair or takes it back.
TEST(VFSTree, TheContainerAndItsSideFileAreTheOldPairOrTheNew) {
  Container c;
  c.Open();
  c.Add("maps\\a.dat", Random(300, 1));
  c.Add("b.dat", Text("b"));
  c.SaveAndClose();
  const Bytes oldC = c.OnDisk(), oldH = ReadFileBytes(c.SidePath());
  const std::string containerAside = c.Path() + ".new", sideAside = c.SidePath() + ".new";
  // A file replaced (its blocks freed and taken again) and one added; until
  // the save, nothing of it is on disk, and closed unsaved it is gone.
  for (bool save : {false, true}) {
    c.Open();
    c.Add("maps\\a.dat", Random(400, 2));
    c.Add("maps\\c.dat", Text("c"));
    EXPECT_EQ(c.OnDisk(), oldC);
    EXPECT_EQ(ReadFileBytes(c.SidePath()), oldH);
    if (save)
      c.SaveAndClose();
    else
      c.CloseUnsaved();
    EXPECT_FALSE(platform::FileExists(containerAside) || platform::FileExists(sideAside));
  }
  const Bytes newC = c.OnDisk(), newH = ReadFileBytes(c.SidePath());
  ASSERT_NE(newC, oldC);
  ASSERT_NE(newH, oldH);
  EXPECT_EQ(c.Check(true).Find("maps\\a.dat")->data, Random(400, 2));

  auto part = [](const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); };
  struct Case {
    const char* what;
    Bytes container, side;
    std::optional<Bytes> containerCopy, sideCopy;  // the aside files left
    bool isNew;
  } cases[] = {
      {"ended while the copy was written", oldC, oldH, part(newC, 1000), std::nullopt, false},
      {"ended while the side file was written", oldC, oldH, newC, part(newH, 5), false},
      {"ended before the container was replaced", oldC, oldH, newC, newH, false},
      {"ended between the container and the side file", newC, oldH, std::nullopt, newH, true},
      {"ended after both", newC, newH, std::nullopt, std::nullopt, true},
  };
  for (const Case& cs : cases) {
    WriteFileBytes(c.Path(), cs.container);
    WriteFileBytes(c.SidePath(), cs.side);
    if (cs.containerCopy) WriteFileBytes(containerAside, *cs.containerCopy);
    if (cs.sideCopy) WriteFileBytes(sideAside, *cs.sideCopy);
    c.Open();
    c.CloseUnsaved();
    EXPECT_EQ(c.OnDisk(), cs.isNew ? newC : oldC) << cs.what;
    EXPECT_EQ(ReadFileBytes(c.SidePath()), cs.isNew ? newH : oldH) << cs.what;
    EXPECT_FALSE(platform::FileExists(containerAside) || platform::FileExists(sideAside)) << cs.what;
  }
}

TEST(VFSTree, DeletingRewritesTablesAndFreesEverythingBelow) {
  Container c;
  TVFSFile& f = c.Open();
  c.Add("pack\\a.dat", Random(200, 1));  // 2 blocks
  c.Add("pack\\b.dat", Random(100, 2));
  c.Add("pack\\sub\\c.dat", Random(100, 3));
  c.Add("keep.dat", Random(100, 4));
  uint32_t used = f.Header.UsedBlocks;

  // Without deferring, the parent's table is rewritten at once: it shrinks
  // from three entries (three blocks) to two (two blocks), in a new chain.
  f.Tree().DeleteByPath("PACK\\A.DAT", false);
  EXPECT_EQ(f.Header.UsedBlocks, used - 2 - 1);
  Decoded d = c.Check();
  EXPECT_FALSE(d.Find("pack\\a.dat"));
  EXPECT_EQ(d.Find("pack")->stored, 176u);
  EXPECT_EQ(d.Find("pack\\b.dat")->data, Random(100, 2));

  // A root directory goes with everything below; its slot is free again.
  f.Tree().DeleteByPath("pack", false);
  d = c.Check();
  EXPECT_EQ(d.entries.size(), 1u);
  EXPECT_EQ(d.rootNames[0], "");
  EXPECT_EQ(f.Header.UsedBlocks, 1u);
  EXPECT_EQ(d.FreeBlocks(), 63u);
  EXPECT_EQ(f.Tree().FindByPath("pack\\sub\\c.dat"), -1);
  // Freed node slots are taken again, lowest first.
  int32_t slot = c.Add("n.dat", Text("n"));
  EXPECT_EQ(slot, 0);
}

TEST(VFSTree, LongNamesFindTheEntryTheyWereStoredAs) {
  Container c;
  TVFSFile& f = c.Open();
  std::string longDir(70, 'D'), longFile = std::string(66, 'f') + ".dat";
  c.Add(longDir + "\\one.dat", Text("1"));
  c.Add(longDir + "\\two.dat", Text("2"));
  c.Add(longFile, Text("first"));
  c.Add(longFile, Text("second"));
  Decoded d = c.Check();
  EXPECT_EQ(d.entries.size(), 4u);
  EXPECT_EQ(d.rootNames[0], std::string(65, 'D'));
  EXPECT_EQ(d.Find(std::string(65, 'f'))->data, Text("second"));
  EXPECT_EQ(f.Tree().FileCount(), 3u);
}

TEST(VFSTree, NoRootSlotLeftIsRefusedBeforeAnyWrite) {
  Container c(EmptyLayout(128, 64, 2));
  c.Open();
  c.Add("a.dat", Text("a"));
  c.Add("b.dat", Text("b"));
  Bytes before = c.Raw();
  for (const char* path : {"c.dat", "dir\\c.dat"}) {
    try {
      c.Add(path, Text("c"));
      ADD_FAILURE() << path;
    } catch (const EVFSError& e) {
      EXPECT_STREQ(e.what(), "CreateNewFileDir: ROOT Result = Cardinal(-1)");
    }
    EXPECT_EQ(c.Raw(), before) << path;
  }
  // Replacing a root file frees its slot first.
  EXPECT_NO_THROW(c.Add("A.DAT", Text("A")));
}

// Each case prepares a container, then adds one file with exactly `free`
// blocks left. Too few blocks must be refused with the file untouched; the
// smallest count that works is what the add really needs.
TEST(VFSTree, AddsNeedExactlyTheBlocksTheyTake) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, Bytes>> setup;
    std::string path;
    Bytes data;
    uint32_t needed;
  } cases[] = {
      {"new root file", {}, "f.dat", Random(300, 1), 3},
      {"replaced root file gives its blocks back", {{"f.dat", Random(200, 2)}}, "f.dat", Random(300, 1), 1},
      {"smaller replacement", {{"f.dat", Random(300, 2)}}, "f.dat", Random(100, 1), 0},
      // Data 3 blocks, then the table grows from one block to two.
      {"new file in a directory", {{"d\\a.dat", Random(10, 2)}}, "d\\f.dat", Random(300, 1), 4},
      // Table keeps its size: rewritten in place.
      {"replacement in a directory",
       {{"d\\a.dat", Random(10, 2)}, {"d\\f.dat", Random(100, 3)}},
       "d\\f.dat",
       Random(300, 1),
       2},
      // Two new directories (a block each), the data, tables moved block for block.
      {"two new directories", {}, "x\\y\\f.dat", Random(300, 1), 5},
      {"new directory in an existing one", {{"d\\a.dat", Random(10, 2)}}, "d\\e\\f.dat", Random(300, 1), 5},
      // The directory's table (2 blocks) and its two files go first.
      {"file replaces a directory",
       {{"pack\\a.dat", Random(100, 2)}, {"pack\\b.dat", Random(100, 3)}},
       "pack",
       Random(300, 1),
       0},
      {"empty file", {}, "e.dat", Bytes{}, 1},
  };
  for (const auto& cs : cases) {
    uint32_t works = 0xFFFFFFFF;
    for (uint32_t freeBlocks = 0; freeBlocks <= 8 && works == 0xFFFFFFFF; ++freeBlocks) {
      Container c(EmptyLayout(128, 40, 8));
      TVFSFile& f = c.Open();
      for (const auto& [path, data] : cs.setup) c.Add(path, data);
      // A raw filler leaves exactly `freeBlocks` blocks.
      uint32_t fill = f.FreeBlocks() - freeBlocks;
      if (fill) c.Add("filler", Random(fill * 128, 99));
      ASSERT_EQ(f.FreeBlocks(), freeBlocks) << cs.what;
      f.Save(true);  // for the trial, which reads the container
      Bytes before = c.Raw();
      if (freeBlocks == 0) {
        // A trial without a free block counts every block the add needs,
        // and writes nothing.
        TVFSFile trial;
        trial.OpenTrial(c.Path());
        trial.Tree().AddVFSFile(cs.path, cs.data.empty() ? nullptr : cs.data.data(),
                                static_cast<uint32_t>(cs.data.size()));
        EXPECT_EQ(trial.BlocksShort(), cs.needed) << cs.what;
        EXPECT_EQ(c.Raw(), before) << cs.what;
      }
      try {
        c.Add(cs.path, cs.data);
        works = freeBlocks;
        Decoded d = c.Check();
        const vfs_test::Entry* e = d.Find(cs.path);
        ASSERT_TRUE(e) << cs.what;
        EXPECT_EQ(e->data, cs.data) << cs.what;
      } catch (const EVFSError&) {
        EXPECT_EQ(c.Raw(), before) << cs.what << " with " << freeBlocks << " free";
        EXPECT_EQ(f.FreeBlocks(), freeBlocks) << cs.what;
      }
    }
    EXPECT_EQ(works, cs.needed) << cs.what;
  }
}

TEST(VFSTree, ManyFilesRoundTripThroughSaveAndReopen) {
  Container c(EmptyLayout(512, 2000, 16));
  std::map<std::string, Bytes> expected;
  std::mt19937 gen(11);
  const char* dirs[] = {"data", "data\\maps", "data\\maps\\l1", "sound", "sound\\fx", "gfx"};
  {
    c.Open();
    for (int i = 0; i < 120; ++i) {
      std::string path = std::string(dirs[gen() % 6]) + "\\f" + std::to_string(gen() % 60) + ".bin";
      Bytes data = gen() % 2 ? Repeated(gen() % 3000) : Random(gen() % 3000, static_cast<unsigned>(i));
      c.Add(path, data);
      expected[path] = data;
    }
    c.SaveAndClose();
  }
  Decoded d = c.Check(true);
  std::map<std::string, Bytes> found;
  for (const vfs_test::Entry& e : d.entries)
    if (e.attributes & 1) found[e.path] = Contents(e);
  EXPECT_EQ(found, expected);
  Bytes raw = c.Raw();
  platform::MD5Hash md5;
  md5.Update(raw.data() + 44, raw.size() - 44);
  uint8_t digest[16];
  md5.Finish(digest);
  EXPECT_TRUE(std::equal(digest, digest + 16, raw.begin() + 28));

  // The side file agrees with the tree, and one reopened without the tree
  // writes back the same side file.
  std::vector<Record> side = ReadSideFile(c.SidePath());
  EXPECT_EQ(side.size(), expected.size());  // no collisions among these
  for (const Record& r : side) {
    bool matched = false;
    for (const vfs_test::Entry& e : d.entries) {
      if (!(e.attributes & 1)) continue;
      size_t cut = e.path.rfind('\\');
      std::string text = cut == std::string::npos ? e.path : e.path.substr(0, cut) + "/" + e.path.substr(cut + 1);
      if (PathHash(text) == r.hash) matched = r == Record{r.hash, e.attributes, e.stored, e.original, e.first, 1};
    }
    EXPECT_TRUE(matched) << r.hash;
  }
  Bytes sideBytes = ReadFileBytes(c.SidePath());
  TVFSFile f;
  f.Open(c.Path(), false);
  EXPECT_TRUE(f.HashFile().Loaded());
  EXPECT_EQ(f.HashFile().Records.size(), side.size());
  EXPECT_EQ(f.Tree().Nodes.size(), 3u);  // the root entries only
  f.Save(false);
  EXPECT_EQ(ReadFileBytes(c.SidePath()), sideBytes);
  EXPECT_EQ(c.Raw(), raw);
}

TEST(VFSTree, AContainerOpenedWithoutItsTreeIsNotChanged) {
  Container c;
  c.Open();
  c.Add("maps\\a.dat", Text("a"));
  c.Add("b.dat", Text("b"));
  c.SaveAndClose();
  Bytes before = c.Raw();
  TVFSFile f;
  f.Open(c.Path(), false);
  // maps' table would be rewritten with only the new child in it.
  EXPECT_THROW(f.Tree().AddVFSFile("maps\\c.dat", Text("c").data(), 1), EVFSError);
  EXPECT_THROW(f.Tree().DeleteByPath("b.dat", false), EVFSError);
  EXPECT_EQ(c.Raw(), before);
}

TEST(VFSTree, RootSlotsBeyond255AreWrittenWhereTheyBelong) {
  // 299 root files in slots 0-299 but 290; the new one takes slot 290.
  Layout l = EmptyLayout(64, 310, 300);
  for (uint32_t s = 0; s < 300; ++s) {
    if (s == 290) continue;
    l.Put({s + 1}, Text("r"));
    l.root[s] = RawEntry("r" + std::to_string(s), 1, s + 1, 1);
  }
  Container c(l);
  TVFSFile& f = c.Open();
  int32_t slot = c.Add("new.dat", Text("new"));
  EXPECT_EQ(f.Tree().Nodes[slot].RootSlot, 290);
  Decoded d = c.Check();
  EXPECT_EQ(d.rootNames[290], "new.dat");
  EXPECT_EQ(d.rootNames[34], "r34");
  EXPECT_EQ(d.Find("new.dat")->data, Text("new"));
  // Replacing a file in a slot above 255 clears that slot, not another.
  c.Add("r299", Text("again"));
  d = c.Check();
  EXPECT_EQ(d.rootNames[299], "r299");
  EXPECT_EQ(d.rootNames[43], "r43");
  EXPECT_EQ(d.Find("r299")->data, Text("again"));
}

TEST(VFSHashFile, DamagedOrMissingSideFilesAreNotLoaded) {
  // A count, then that many bytes of records.
  auto side = [](uint32_t count, size_t bytes) {
    Bytes b(4 + bytes, 7);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(count >> (8 * i));
    return b;
  };
  struct Case {
    const char* what;
    Bytes side;
    bool loaded;
    size_t records;
  } cases[] = {
      {"count beyond the file", side(0xFFFFFFFF, 3), false, 0},
      {"one record short", side(2, 21 + 20), false, 0},
      {"shorter than a count", Bytes{1, 0}, false, 0},
      {"empty table", side(0, 0), true, 0},
      {"one record", side(1, 21), true, 1},
  };
  for (const auto& cs : cases) {
    Container c;
    WriteFileBytes(c.SidePath(), cs.side);
    TVFSFile f;
    f.Open(c.Path(), false);
    EXPECT_EQ(f.HashFile().Loaded(), cs.loaded) << cs.what;
    EXPECT_EQ(f.HashFile().Records.size(), cs.records) << cs.what;
    f.Save(true);
    // What was not loaded is left as it was; an empty table is not written.
    if (!cs.loaded) {
      EXPECT_EQ(ReadFileBytes(c.SidePath()), cs.side) << cs.what;
    } else {
      EXPECT_EQ(platform::FileExists(c.SidePath()), cs.records > 0) << cs.what;
    }
  }
  Container none;
  TVFSFile f;
  f.Open(none.Path(), false);
  EXPECT_FALSE(f.HashFile().Loaded());
  f.Save(false);
  EXPECT_FALSE(platform::FileExists(none.SidePath()));
}
