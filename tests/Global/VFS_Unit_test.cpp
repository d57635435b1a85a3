#include "Global/VFS_Unit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "Global/DosDate.h"
#include "tests/Global/VFSImage.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using vfs_test::Layout;
using vfs_test::Random;
using vfs_test::RawEntry;
using vfs_test::Text;

namespace {

Bytes Slice(const Bytes& file, size_t at, size_t n) {
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at + n));
}

vfs_test::ChainCell CellAt(const Bytes& file, const Layout& l, uint32_t block) {
  size_t at = 52 + 256 + l.extra.size() + 8 * size_t{block - 1};
  return {GetU32(&file[at]), static_cast<int32_t>(GetU32(&file[at + 4]))};
}

Bytes BlockAt(const Bytes& file, const Layout& l, uint32_t block) {
  size_t at = 52 + 256 + l.extra.size() + 8 * size_t{l.blockCount} + 88 * size_t{l.entryCount} +
              size_t{l.blockSize} * (block - 1);
  return Slice(file, at, l.blockSize);
}

Bytes Md5Of(const Bytes& data) {
  platform::MD5Hash h;
  h.Update(data.data(), data.size());
  uint8_t d[16];
  h.Finish(d);
  return Bytes(d, d + 16);
}

// A sample with every header field set, description bytes after a NUL, extra
// description bytes, a file in a chain out of block order and a directory
// with one child.
Layout Sample() {
  Layout l;
  l.extra = Text("EXTRA");
  l.Put({5, 2, 9}, Text(std::string(150, 'f')));
  l.root[0] = RawEntry("file.bin", 1, 5, 150);
  l.Put({4, 11}, RawEntry("inner.txt", 1, 7, 3));
  l.Put({7}, Text("abc"));
  l.root[2] = RawEntry("Dir", 2, 4, 88);
  return l;
}

// A container file written from a layout and opened with its tree.
struct Opened {
  explicit Opened(const Layout& layout) : path(dir.File("c.vfs")) {
    WriteFileBytes(path, layout.Build());
    f.Open(path, true);
  }
  TempDir dir;
  std::string path;
  TVFSFile f;
};

}  // namespace

TEST(VFSFile, OpenReadsHeaderTablesAndTree) {
  Layout l = Sample();
  Opened o(l);
  TVFSFile& f = o.f;
  const TVFSHeader& h = f.Header;
  EXPECT_EQ(h.Id, l.id);
  EXPECT_EQ(h.BlockSize, 64u);
  EXPECT_EQ(h.BlockCount, 32u);
  EXPECT_EQ(h.EntryCount, 8u);
  EXPECT_EQ(h.Reserved[2], 0x33333333u);
  EXPECT_EQ(Bytes(h.MD5, h.MD5 + 16), Bytes(16, 0xA5));
  EXPECT_EQ(h.DescSize, 261u);
  ASSERT_EQ(h.Description.size(), 256u);
  EXPECT_EQ(h.Description.substr(0, 23), l.description);  // NUL bytes kept
  EXPECT_EQ(h.DescExtra, Text("EXTRA"));
  EXPECT_EQ(h.UsedBlocks, 6u);
  EXPECT_EQ(f.ChainTableStart, 52u + 261u);
  EXPECT_EQ(f.RootTableStart, 52u + 261u + 8u * 32u);
  EXPECT_EQ(f.DataStart, 52u + 261u + 8u * 32u + 88u * 8u);
  EXPECT_EQ(f.FreeBlocks(), 26u);

  ASSERT_EQ(f.RootTable.size(), 8u);
  EXPECT_EQ(f.RootTable[0].Name, "file.bin");
  EXPECT_EQ(f.RootTable[0].FirstBlock, 5u);
  EXPECT_TRUE(f.RootTable[1].Name.empty());
  EXPECT_EQ(f.Chain[4].Next, 2);
  EXPECT_EQ(f.Chain[8].Next, -1);
  EXPECT_TRUE(f.Chain[0].Free());

  std::vector<std::string> paths;
  for (const TTreeFileInfo& n : f.Tree().Nodes) paths.push_back(n.Path);
  EXPECT_EQ(paths, (std::vector<std::string>{"file.bin", "Dir", "Dir\\inner.txt"}));
  EXPECT_EQ(f.Tree().Nodes[1].RootSlot, 2);
  EXPECT_EQ(f.Tree().Nodes[2].Parent, 1);
  EXPECT_EQ(f.Tree().Nodes[2].RootSlot, -1);
  EXPECT_EQ(f.Tree().FileCount(), 2u);
  EXPECT_EQ(f.Tree().FindByPath("dir\\INNER.TXT"), 2);
}

TEST(VFSFile, SaveWritesEveryFieldBackAndTheChecksumOfTheRest) {
  struct Case {
    bool zeroChecksum;
  } cases[] = {{true}, {false}};
  for (const Case& c : cases) {
    TempDir dir;
    Layout l = Sample();
    std::string path = dir.File("c.vfs");
    Bytes before = l.Build();
    WriteFileBytes(path, before);
    {
      TVFSFile f;
      f.Open(path, true);
      f.Save(c.zeroChecksum);
    }
    Bytes after = ReadFileBytes(path);
    ASSERT_EQ(after.size(), before.size());
    // Everything but the checksum comes back byte for byte.
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 28, before.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 44, after.end(), before.begin() + 44));
    Bytes expected = c.zeroChecksum ? Bytes(16, 0) : Md5Of(Bytes(before.begin() + 44, before.end()));
    EXPECT_EQ(Bytes(after.begin() + 28, after.begin() + 44), expected) << c.zeroChecksum;
  }
}

TEST(VFSFile, ChecksumCoversTheUsedBlockCountJustWritten) {
  Layout l = Sample();
  l.usedBlocks = 99;  // stale: the save writes the count kept in memory
  Opened o(l);
  TVFSFile& f = o.f;
  const std::string& path = o.path;
  TVFSDirEntry e;
  f.WriteFile(e, Random(10, 1).data(), 10);
  f.Save(false);
  Bytes after = ReadFileBytes(path);
  EXPECT_EQ(GetU32(&after[48 + 261]), 100u);  // 99 + 1
  EXPECT_EQ(Bytes(after.begin() + 28, after.begin() + 44), Md5Of(Bytes(after.begin() + 44, after.end())));
}

TEST(VFSFile, ChainsTakeBlocksByBlockSize) {
  struct Case {
    uint32_t size;
    std::vector<uint32_t> blocks;
  } cases[] = {
      {0, {1}}, {1, {1}}, {4095, {1}}, {4096, {1}}, {4097, {1, 2}}, {8192, {1, 2}}, {8193, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    Layout l;
    l.blockSize = 4096;
    l.blockCount = 4;
    Opened o(l);
    TVFSFile& f = o.f;
    Bytes data = Random(c.size, c.size);
    TVFSDirEntry e;
    f.WriteFile(e, c.size ? data.data() : nullptr, c.size);
    EXPECT_EQ(e.FirstBlock, 1u);
    EXPECT_EQ(e.StoredSize, c.size);
    EXPECT_EQ(e.Date, TodayDosDate());
    EXPECT_EQ(f.Header.UsedBlocks, c.blocks.size());
    Bytes file = vfs_test::Working(o.path);
    Bytes stored;
    for (size_t i = 0; i < c.blocks.size(); ++i) {
      int32_t next = i + 1 < c.blocks.size() ? static_cast<int32_t>(c.blocks[i + 1]) : -1;
      vfs_test::ChainCell cell = CellAt(file, l, c.blocks[i]);
      EXPECT_EQ(cell.used, 1u) << c.size;
      EXPECT_EQ(cell.next, next) << c.size;
      Bytes block = BlockAt(file, l, c.blocks[i]);
      stored.insert(stored.end(), block.begin(), block.end());
    }
    EXPECT_EQ(CellAt(file, l, static_cast<uint32_t>(c.blocks.size() + 1)).next, 0) << c.size;
    // The data, then zeros to the end of the last block.
    Bytes expected = data;
    expected.resize(stored.size(), 0);
    EXPECT_EQ(stored, expected) << c.size;
  }
}

TEST(VFSFile, NewChainsTakeTheLowestFreeBlocksAndFreeingKeepsContents) {
  Layout l;
  l.blockCount = 10;
  for (uint32_t b : {1u, 2u, 4u, 5u, 6u, 8u, 10u}) l.Put({b}, Text("used"));
  Opened o(l);
  TVFSFile& f = o.f;
  const std::string& path = o.path;
  EXPECT_EQ(f.FindFreeBlock(false), 2);  // block 3
  EXPECT_EQ(f.FindFreeBlock(true), 6);   // block 7
  TVFSDirEntry e;
  Bytes data = Random(100, 5);
  f.WriteFile(e, data.data(), 100);
  EXPECT_EQ(e.FirstBlock, 3u);
  EXPECT_EQ(f.Chain[2].Used, 1u);
  EXPECT_EQ(f.Chain[2].Next, 7);
  EXPECT_EQ(f.Chain[6].Next, -1);
  EXPECT_EQ(f.Header.UsedBlocks, 9u);
  EXPECT_EQ(f.FindFreeBlock(false), 8);
  EXPECT_EQ(f.FindFreeBlock(true), -1);
  Bytes file = vfs_test::Working(path);
  EXPECT_EQ(CellAt(file, l, 3).next, 7);
  EXPECT_EQ(CellAt(file, l, 7).next, -1);

  f.FreeChain(e);
  EXPECT_EQ(f.Header.UsedBlocks, 7u);
  EXPECT_TRUE(f.Chain[2].Free() && f.Chain[2].Used == 0);
  EXPECT_TRUE(f.Chain[6].Free() && f.Chain[6].Used == 0);
  EXPECT_EQ(f.FindFreeBlock(false), 2);
  file = vfs_test::Working(path);
  EXPECT_EQ(CellAt(file, l, 3).used | CellAt(file, l, 3).next | CellAt(file, l, 7).used | CellAt(file, l, 7).next, 0);
  Bytes block3 = BlockAt(file, l, 3);
  EXPECT_TRUE(std::equal(block3.begin(), block3.end(), data.begin()));  // not erased
}

TEST(VFSFile, WriteRefusalsChangeNothing) {
  Layout l;
  l.blockCount = 3;
  Bytes before = l.Build();
  Opened o(l);
  TVFSFile& f = o.f;
  const std::string& path = o.path;
  TVFSDirEntry e;
  e.FirstBlock = 77;
  uint8_t byte = 1;
  try {
    f.WriteFile(e, &byte, 0);
    ADD_FAILURE() << "no error";
  } catch (const EVFSError& x) {
    EXPECT_STREQ(x.what(), "WriteFile: Error Buffer is Assigned but size is 0");
  }
  Bytes big = Random(64 * 3 + 1, 2);  // four blocks into three
  EXPECT_THROW(f.WriteFile(e, big.data(), static_cast<uint32_t>(big.size())), EVFSError);
  EXPECT_EQ(e.FirstBlock, 77u);
  EXPECT_EQ(f.FreeBlocks(), 3u);
  EXPECT_EQ(vfs_test::Working(path), before);
  // Exactly three blocks fit.
  f.WriteFile(e, big.data(), 64 * 3);
  EXPECT_EQ(f.FreeBlocks(), 0u);
  EXPECT_EQ(f.FindFreeBlock(false), -1);
}

TEST(VFSFile, ReadFileDataFollowsTheChainAndCutsToTheStoredSize) {
  Opened o(Sample());
  TVFSFile& f = o.f;
  std::unique_ptr<TVFSFileBuffer> b = f.ReadFileData(f.RootTable[0]);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->Data(), Text(std::string(150, 'f')));
  TVFSDirEntry empty = f.RootTable[0];
  empty.StoredSize = 0;
  EXPECT_FALSE(f.ReadFileData(empty));
  // A size the container cannot hold is refused before anything is read.
  TVFSDirEntry huge = f.RootTable[0];
  huge.StoredSize = 0xFFFFFFF0u;
  EXPECT_THROW(f.ReadFileData(huge), EVFSError);
}

TEST(VFSFile, RewriteFileDataKeepsTheChain) {
  Layout l = Sample();
  Opened o(l);
  TVFSFile& f = o.f;
  const std::string& path = o.path;
  TVFSDirEntry& e = f.RootTable[0];
  Bytes data = Random(150, 9);
  f.RewriteFileData(e, data.data(), 150);
  EXPECT_EQ(e.Date, TodayDosDate());
  EXPECT_EQ(e.FirstBlock, 5u);
  EXPECT_EQ(f.Header.UsedBlocks, 6u);
  EXPECT_EQ(f.ReadFileData(e)->Data(), data);
  Bytes file = vfs_test::Working(path);
  Bytes last = BlockAt(file, l, 9);
  EXPECT_TRUE(std::equal(last.begin(), last.begin() + 22, data.begin() + 128));
  EXPECT_EQ(Bytes(last.begin() + 22, last.end()), Bytes(42, 0));
  EXPECT_THROW(f.RewriteFileData(e, data.data(), 149), EVFSError);
}

TEST(VFSFile, NamesOf65BytesHaveNoTerminatorAndLongerOnesAreCut) {
  TempDir dir;
  Layout l;
  std::string path = dir.File("c.vfs");
  WriteFileBytes(path, l.Build());
  std::string n65(65, 'n'), n66 = std::string(65, 'm') + "X";
  {
    TVFSFile f;
    f.Open(path, true);
    f.Tree().AddVFSFile(n65, Text("1").data(), 1);
    f.Tree().AddVFSFile(n66, Text("2").data(), 1);
    f.Save(false);
  }
  Bytes file = ReadFileBytes(path);
  size_t root = 52 + 256 + 8 * 32;
  EXPECT_EQ(Slice(file, root, 68), Text(n65 + std::string(3, '\0')));
  EXPECT_EQ(Slice(file, root + 88, 65), Text(std::string(65, 'm')));
  TVFSFile f;
  f.Open(path, true);
  EXPECT_EQ(f.RootTable[0].Name, n65);
  EXPECT_EQ(f.RootTable[1].Name, std::string(65, 'm'));
}

TEST(VFSFileBuffer, ReadsCopyWhatIsLeft) {
  Bytes data = {0xFE, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04, 'a', 'b', 'c'};
  TVFSFileBuffer b(data.data(), static_cast<uint32_t>(data.size()));
  EXPECT_EQ(b.ReadInt32(), -2);
  EXPECT_EQ(b.ReadUInt32(), 0x04030201u);
  uint8_t out[8] = {};
  EXPECT_EQ(b.Read(out, 2), 2u);
  EXPECT_EQ(out[1], 'b');
  EXPECT_EQ(b.ReadString(5), "c");  // what is left
  EXPECT_EQ(b.Read(out, 8), 0u);
  EXPECT_EQ(b.ReadUInt32(), 0u);  // nothing left: zeros
  EXPECT_EQ(b.Position(), 11u);
  TVFSFileBuffer tail(Bytes{0x01, 0x02});
  EXPECT_EQ(tail.ReadUInt32(), 0x0201u);
}

TEST(VFSFile, OpenReportsProgressOverBothTables) {
  TempDir dir;
  Layout l;
  l.blockCount = 3;
  l.entryCount = 2;
  std::string path = dir.File("c.vfs");
  WriteFileBytes(path, l.Build());
  std::vector<std::pair<uint64_t, uint64_t>> calls;
  TVFSFile f;
  f.Open(path, true, [&](uint64_t pos, uint64_t total) { calls.emplace_back(pos, total); });
  std::vector<std::pair<uint64_t, uint64_t>> expected = {{0, 100}, {0, 5}, {0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}};
  EXPECT_EQ(calls, expected);
}

TEST(VFSFile, EmptyTablesOpenAndRefuseAdds) {
  Layout l;
  l.blockCount = 0;
  l.entryCount = 0;
  l.blockSize = 0;
  Opened o(l);
  TVFSFile& f = o.f;
  EXPECT_EQ(f.FindFreeBlock(false), -1);
  EXPECT_THROW(f.Tree().AddVFSFile("a.dat", Text("x").data(), 1), EVFSError);
  f.Save(false);
  f.Close();
  EXPECT_FALSE(platform::FileExists(o.dir.File("c.ht")));
}

TEST(VFSFile, DamagedHeadersAreRefused) {
  // Header fields at their offsets, patched into a sound container.
  auto set = [](size_t offset, uint32_t value) {
    return [=](Bytes& image) {
      Bytes v;
      PutU32(v, value);
      std::copy(v.begin(), v.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    };
  };
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  } cases[] = {
      {"description below 256", set(44, 255)},
      {"description beyond the file", set(44, 0xFFFFFFF0u)},
      {"block table beyond the file", set(8, 0x7FFFFFFF)},
      {"root table beyond the file", set(12, 0x40000000)},
      {"block count above the signed range", set(8, 0x80000000u)},
      {"root count above the signed range", set(12, 0x80000000u)},
      {"blocks of size 0", set(4, 0)},
      {"blocks beyond the file", set(4, 0xFFFFFFFFu)},
      {"last block cut short", [](Bytes& image) { image.pop_back(); }},
      {"header only", [](Bytes& image) { image.resize(44); }},
      {"nothing", [](Bytes& image) { image.clear(); }},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Bytes image = Sample().Build();
    c.damage(image);
    std::string path = dir.File("c.vfs");
    WriteFileBytes(path, image);
    TVFSFile f;
    EXPECT_THROW(f.Open(path, true), EVFSError) << c.what;
    EXPECT_FALSE(f.IsOpen()) << c.what;
    EXPECT_TRUE(f.Tree().Nodes.empty()) << c.what;
  }
}

TEST(VFSFile, EveryTruncationIsRefused) {
  TempDir dir;
  Bytes image = Sample().Build();
  std::string path = dir.File("c.vfs");
  for (size_t n = 0; n < image.size(); ++n) {
    WriteFileBytes(path, Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(n)));
    TVFSFile f;
    EXPECT_THROW(f.Open(path, true), EVFSError) << n;
  }
  WriteFileBytes(path, image);
  TVFSFile f;
  EXPECT_NO_THROW(f.Open(path, true));
}

TEST(VFSFile, DamagedChainsAreRefused) {
  struct Case {
    const char* what;
    std::function<void(Layout&)> damage;
  } cases[] = {
      {"first block 0", [](Layout& l) { l.root[0] = RawEntry("file.bin", 1, 0, 150); }},
      {"first block past the table", [](Layout& l) { l.root[0] = RawEntry("file.bin", 1, 33, 150); }},
      {"next past the table", [](Layout& l) { l.chain[2].next = 33; }},
      {"next negative", [](Layout& l) { l.chain[2].next = -7; }},
      {"chain into a free block", [](Layout& l) { l.chain[2].next = 12; }},
      {"chain looping", [](Layout& l) { l.chain[9].next = 5; }},
      {"chain too short for the size", [](Layout& l) { l.root[0] = RawEntry("file.bin", 1, 5, 193); }},
      {"two entries share a block", [](Layout& l) { l.root[3] = RawEntry("other", 1, 2, 10); }},
      {"a directory lists itself",
       [](Layout& l) {
         l.Put({4, 11}, RawEntry("Self", 2, 4, 88));
       }},
      {"a directory lists its parent",
       [](Layout& l) {
         l.Put({10, 12}, RawEntry("Back", 2, 4, 88));
         l.Put({4, 11}, RawEntry("Sub", 2, 10, 88));
       }},
      {"a directory table beyond its chain", [](Layout& l) { l.root[2] = RawEntry("Dir", 2, 4, 129); }},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Layout l = Sample();
    c.damage(l);
    std::string path = dir.File("c.vfs");
    WriteFileBytes(path, l.Build());
    TVFSFile f;
    EXPECT_THROW(f.Open(path, true), EVFSError) << c.what;
    EXPECT_FALSE(f.IsOpen()) << c.what;
  }
}

TEST(VFSFile, NestingBeyondAnyRealPathIsRefused) {
  // 70 directories of 65-byte names, each one block holding the next; the
  // path of the deepest is 4,619 bytes long.
  Layout l;
  l.blockSize = 88;
  l.blockCount = 70;
  std::string name(65, 'd');
  for (uint32_t b = 1; b < 70; ++b) l.Put({b}, RawEntry(name, 2, b + 1, b + 1 < 70 ? 88 : 0));
  l.Put({70}, Bytes{});
  l.root[0] = RawEntry(name, 2, 1, 88);
  TempDir dir;
  std::string path = dir.File("c.vfs");
  WriteFileBytes(path, l.Build());
  TVFSFile f;
  EXPECT_THROW(f.Open(path, true), EVFSError);
  // Cut at 61 levels (4,025 bytes) it opens.
  l.blocks[60] = RawEntry(name, 2, 61, 0);
  l.blocks[61] = Bytes{};
  WriteFileBytes(path, l.Build());
  ASSERT_NO_THROW(f.Open(path, true));
  EXPECT_EQ(f.Tree().Nodes.size(), 61u);
  EXPECT_EQ(f.Tree().Nodes.back().Path.size(), 61u * 66u - 1u);
}

TEST(VFSFile, MissingContainerIsReported) {
  TempDir dir;
  TVFSFile f;
  EXPECT_THROW(f.Open(dir.File("none.vfs"), true), EVFSError);
  EXPECT_FALSE(f.IsOpen());
}

TEST(VFSFile, RandomDamageNeverReadsOutsideTheFile) {
  // Bytes of a sound container changed at random: opening either refuses it
  // or gives a container that can take new files and be saved.
  Layout l = Sample();
  Bytes sound = l.Build();
  std::mt19937 gen(7);
  TempDir dir;
  std::string path = dir.File("c.vfs");
  int opened = 0;
  for (int round = 0; round < 300; ++round) {
    Bytes image = sound;
    int changes = 1 + static_cast<int>(gen() % 4);
    for (int k = 0; k < changes; ++k) {
      // Mostly the tables, where the structure lives.
      size_t at = gen() % 2 ? 52 + 256 + 5 + gen() % (8 * 32 + 88 * 8) : gen() % image.size();
      image[at] = static_cast<uint8_t>(gen() % 3 == 0 ? 0xFF : gen());
    }
    WriteFileBytes(path, image);
    TVFSFile f;
    try {
      f.Open(path, true);
    } catch (const EVFSError&) {
      continue;
    }
    ++opened;
    try {
      f.Tree().AddVFSFile("maps\\new.dat", Text("new data").data(), 8);
      f.Tree().AddVFSFile("Dir\\inner.txt", Text("replaced").data(), 8);
      f.Save(false);
    } catch (const EVFSError&) {
    }
  }
  EXPECT_GT(opened, 0);
}
