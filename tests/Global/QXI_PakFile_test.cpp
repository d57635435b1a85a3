#include "Global/QXI_PakFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "Global/CRC.h"
#include "Global/ZCodec.h"
#include "platform/ByteOrder.h"
#include "tests/support/TempDir.h"

using platform::File;
using platform::OpenMode;
using platform::SeekOrigin;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>(gen());
  return b;
}

uint32_t Crc(const Bytes& b) { return UpdateCRC32(0, b.data(), b.size()); }

struct Item {
  std::string name;
  uint16_t group;
  Bytes data;
};

// Appends the items as an archive behind whatever the file holds, or writes
// them into a new file.
void WriteArchive(const std::string& path, const std::vector<Item>& items) {
  bool exists = platform::FileExists(path);
  TPak pak(path, exists, !exists);
  ASSERT_TRUE(pak.IsOpen());
  for (const Item& it : items) {
    int i = pak.AddEntry(it.name, "", it.group);
    ASSERT_GE(i, 0);
    ASSERT_TRUE(pak.WriteEntryData(i, it.data.data(), it.data.size())) << pak.LastError();
  }
  ASSERT_TRUE(pak.WriteTable());
}

// Rewrites bytes of a file in place.
void Patch(const std::string& path, int64_t pos, const Bytes& bytes) {
  File f(path, OpenMode::ReadWrite);
  ASSERT_EQ(f.Seek(pos, pos < 0 ? SeekOrigin::End : SeekOrigin::Begin) >= 0, true);
  ASSERT_TRUE(f.Write(bytes.data(), bytes.size()));
}

Bytes U32(uint32_t v) {
  Bytes b;
  PutU32(b, v);
  return b;
}

// The sample archive: a fake program in front, then entries covering every
// storage case.
class PakFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix = Text("MZ");
    for (int i = 0; i < 98; ++i) prefix.push_back(static_cast<uint8_t>(i));
    compressible.clear();
    for (int i = 0; i < 2000; ++i) compressible.insert(compressible.end(), {'h', 'e', 'l', 'l', 'o', ' '});
    items = {
        {"empty.txt", 1, {}},
        {"tiny", 1, Text("ab")},
        {"sub\\big.txt", 2, compressible},
        {"dup.txt", 1, Text("first copy of dup dup dup dup dup dup dup dup")},
        {"dup.txt", 2, Text("second")},
    };
    path = dir.File("setup.exe");
    WriteFileBytes(path, prefix);
    WriteArchive(path, items);
  }

  TempDir dir;
  std::string path;
  Bytes prefix, compressible;
  std::vector<Item> items;
};

}  // namespace

TEST(PakStrings, LengthPrefixedRoundTripAndLimits) {
  TempDir dir;
  std::string path = dir.File("s.bin");
  {
    File f(path, OpenMode::Create);
    EXPECT_TRUE(WriteStrToFile(f, ""));
    EXPECT_TRUE(WriteStrToFile(f, "abc"));
    EXPECT_TRUE(WriteStrToFile(f, std::string(65535, 'x')));
    EXPECT_FALSE(WriteStrToFile(f, std::string(65536, 'y')));  // refused, nothing written
  }
  Bytes raw = ReadFileBytes(path);
  ASSERT_EQ(raw.size(), 2u + 5u + 2u + 65535u);
  EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 7), (Bytes{0, 0, 3, 0, 'a', 'b', 'c'}));

  File f(path, OpenMode::Read);
  std::string s;
  EXPECT_TRUE(ReadStrFromFile(f, s));
  EXPECT_EQ(s, "");
  EXPECT_TRUE(ReadStrFromFile(f, s));
  EXPECT_EQ(s, "abc");
  EXPECT_TRUE(ReadStrFromFile(f, s));
  EXPECT_EQ(s.size(), 65535u);
  EXPECT_FALSE(ReadStrFromFile(f, s));  // at the end
}

TEST_F(PakFixture, StoredLayoutIsExact) {
  Bytes file = ReadFileBytes(path);
  ASSERT_TRUE(std::equal(prefix.begin(), prefix.end(), file.begin()));

  // Data blocks follow the prefix without gaps; the empty entry stores nothing.
  Bytes bigStream = ZCompress(compressible.data(), compressible.size());
  Bytes dup1Stream = ZCompress(items[3].data.data(), items[3].data.size());
  ASSERT_LT(dup1Stream.size(), items[3].data.size());
  Bytes second = items[4].data;  // its stream is longer than its 6 bytes: raw
  struct Expect {
    uint32_t offset, stored, original;
    Bytes block;
  } expect[] = {
      {0, 0, 0, {}},
      {100, 0, 2, Text("ab")},
      {102, static_cast<uint32_t>(bigStream.size()), 12000, bigStream},
      {static_cast<uint32_t>(102 + bigStream.size()), static_cast<uint32_t>(dup1Stream.size()),
       static_cast<uint32_t>(items[3].data.size()), dup1Stream},
      {static_cast<uint32_t>(102 + bigStream.size() + dup1Stream.size()), 0, 6, second},
  };

  Bytes table;
  uint32_t dataEnd = 100;
  for (size_t i = 0; i < items.size(); ++i) {
    const Expect& e = expect[i];
    PutU16(table, static_cast<uint16_t>(items[i].name.size()));
    table.insert(table.end(), items[i].name.begin(), items[i].name.end());
    PutU32(table, e.block.empty() ? 0 : Crc(e.block));
    PutU32(table, e.offset);
    PutU32(table, e.stored);
    PutU32(table, e.original);
    PutU16(table, items[i].group);
    if (!e.block.empty()) {
      ASSERT_EQ(Bytes(file.begin() + e.offset, file.begin() + e.offset + e.block.size()), e.block) << i;
      dataEnd = e.offset + static_cast<uint32_t>(e.block.size());
    }
  }
  Bytes trailer = Text("QXPF");
  PutU16(trailer, 1);
  PutU16(trailer, 5);
  PutU32(trailer, 100);      // Base: the prefix's size
  PutU32(trailer, dataEnd);  // TableOffset
  Bytes tail(file.begin() + dataEnd, file.end());
  table.insert(table.end(), trailer.begin(), trailer.end());
  EXPECT_EQ(tail, table);
}

TEST_F(PakFixture, ReadsBackEveryEntry) {
  TPak pak(path, false, false);
  ASSERT_EQ(pak.EntryCount, 5);
  EXPECT_EQ(std::string(pak.Magic, 4), "QXPF");
  EXPECT_EQ(pak.Version, 1);
  EXPECT_EQ(pak.Base, 100u);
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(pak.Entries[i].Name, items[i].name);
    EXPECT_EQ(pak.Entries[i].Group, items[i].group);
    EXPECT_TRUE(pak.Entries[i].SourcePath.empty());
    EXPECT_EQ(pak.GetData(static_cast<int>(i)), items[i].data) << i;
    EXPECT_EQ(pak.VerifyEntry(static_cast<int>(i)), !items[i].data.empty()) << i;
  }
  EXPECT_EQ(pak.CountGrouped(), 5);
  EXPECT_EQ(pak.CountInGroup(1), 3);
  EXPECT_EQ(pak.CountInGroup(2), 2);
  EXPECT_EQ(pak.CountInGroup(0), 0);
  // The empty entry: all numbers 0, no data.
  const TPakFile& empty = pak.Entries[0];
  EXPECT_EQ(empty.Offset | empty.Crc | empty.StoredSize | empty.OriginalSize, 0u);
  // Out-of-range indexes give nothing.
  EXPECT_TRUE(pak.GetData(-1).empty());
  EXPECT_TRUE(pak.GetData(5).empty());
  EXPECT_TRUE(pak.ReadStored(99).empty());
  EXPECT_FALSE(pak.VerifyEntry(5));
}

TEST_F(PakFixture, FindFileMatchesNameAndGroup) {
  TPak pak(path, false, false);
  struct Case {
    std::string name;
    uint16_t group;
    Bytes data;
    uint32_t size;
  } cases[] = {
      {"DUP.TXT", 1, items[3].data, static_cast<uint32_t>(items[3].data.size())},  // case-insensitive
      {"dup.txt", 2, Text("second"), 6},                                           // the group decides
      {"Sub\\Big.Txt", 2, compressible, 12000},
      {"sub/big.txt", 2, {}, 0},  // separators are not folded
      {"tiny", 2, {}, 0},         // wrong group
      {"empty.txt", 1, {}, 0},    // found, but has no data
      {"missing", 1, {}, 0},
  };
  for (const Case& c : cases) {
    uint32_t size = 12345;
    EXPECT_EQ(pak.FindFile(c.name, c.group, size), c.data) << c.name;
    EXPECT_EQ(size, c.size) << c.name;
  }
  EXPECT_EQ(pak.Cursor, 0u);  // lookups by name leave the group walk alone
}

TEST(PakFind, FirstMatchWinsAndLettersBeyondAscii) {
  TempDir dir;
  std::string path = dir.File("a.pak");
  // Windows-1252: 0xC4 is A with diaeresis, 0xE4 its lower case.
  WriteArchive(path, {{"Readme.txt", 0, Text("one")}, {"README.TXT", 0, Text("two")}, {"\xC4rger", 0, Text("x")}});
  TPak pak(path, false, false);
  uint32_t size;
  EXPECT_EQ(pak.FindFile("readme.txt", 0, size), Text("one"));
  EXPECT_EQ(pak.FindFile("\xE4RGER", 0, size), Text("x"));
}

TEST_F(PakFixture, GroupWalkSharesOneCursor) {
  TPak pak(path, false, false);
  uint32_t size;
  std::string name;
  EXPECT_EQ(pak.FindFirst(1, size, true, name), Bytes{});  // empty.txt: found, no data
  EXPECT_EQ(name, "empty.txt");
  EXPECT_EQ(pak.Cursor, 1u);
  EXPECT_EQ(pak.FindNext(1, size, false, name), Bytes{});  // without data
  EXPECT_EQ(name, "tiny");
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(pak.FindNext(1, size, true, name), items[3].data);
  EXPECT_EQ(pak.Cursor, 4u);
  // Nothing left: empty name, size 0, cursor unchanged.
  EXPECT_TRUE(pak.FindNext(1, size, true, name).empty());
  EXPECT_EQ(name, "");
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(pak.Cursor, 4u);

  int index = 77;
  EXPECT_TRUE(pak.FindFirstIndex(2, index));
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(pak.FindNextIndex(2, index));
  EXPECT_EQ(index, 4);
  EXPECT_FALSE(pak.FindNextIndex(2, index));
  EXPECT_EQ(index, 0);
  EXPECT_FALSE(pak.FindFirstIndex(9, index));

  // A walk started from the other pair continues from the shared cursor.
  pak.FindFirstIndex(1, index);
  EXPECT_EQ(pak.FindNext(1, size, false, name), Bytes{});
  EXPECT_EQ(name, "tiny");

  std::vector<int> seen;
  pak.ForEachInGroup(1, [&](int i) { seen.push_back(i); });
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 3}));
  pak.ForEachInGroup(1, nullptr);  // no procedure: nothing happens
}

TEST_F(PakFixture, AppendingASecondArchiveHidesTheFirst) {
  size_t before = ReadFileBytes(path).size();
  WriteArchive(path, {{"new.txt", 0, Text("fresh contents")}});
  TPak pak(path, false, false);
  ASSERT_EQ(pak.EntryCount, 1);
  EXPECT_EQ(pak.Base, before);
  EXPECT_EQ(pak.Entries[0].Offset, before);
  uint32_t size;
  EXPECT_EQ(pak.FindFile("new.txt", 0, size), Text("fresh contents"));
  EXPECT_TRUE(pak.FindFile("tiny", 1, size).empty());
  // The old archive is untouched in the prefix.
  Bytes file = ReadFileBytes(path);
  EXPECT_EQ(Bytes(file.begin() + 100, file.begin() + 102), Text("ab"));
}

TEST(PakWrite, CreateModeAndPackingChoices) {
  TempDir dir;
  std::string path = dir.File("new.pak");
  WriteFileBytes(path, Text("old contents are truncated"));

  // Find contents whose zlib stream is exactly as long as they are: it stays
  // compressed. A random head plus a run of one byte, tuned by length.
  Bytes equal;
  for (size_t head = 40; head < 400 && equal.empty(); ++head)
    for (size_t run = 0; run < 64 && equal.empty(); ++run) {
      Bytes b = Random(head, 7);
      b.insert(b.end(), run, 'z');
      if (ZCompress(b.data(), b.size()).size() == b.size()) equal = b;
    }
  ASSERT_FALSE(equal.empty());
  Bytes incompressible = Random(300, 3);

  TPak pak(path, false, true);
  ASSERT_TRUE(pak.IsOpen());
  EXPECT_EQ(pak.Base, 0u);
  int a = pak.AddEntry("equal", "", 3);
  int b = pak.AddEntry("random", "", 3);
  Bytes blockA = pak.PackBuffer(a, equal.data(), equal.size());
  EXPECT_EQ(pak.Entries[a].StoredSize, equal.size());
  EXPECT_EQ(pak.Entries[a].Crc, Crc(blockA));
  Bytes blockB = pak.PackBuffer(b, incompressible.data(), incompressible.size());
  EXPECT_EQ(blockB, incompressible);
  EXPECT_EQ(pak.Entries[b].StoredSize, 0u);
  EXPECT_EQ(pak.Entries[b].Crc, Crc(incompressible));
  EXPECT_TRUE(pak.PackBuffer(b, nullptr, 0).empty());

  ASSERT_TRUE(pak.WriteEntryData(a, equal.data(), equal.size()));
  ASSERT_TRUE(pak.WriteEntryData(b, incompressible.data(), incompressible.size()));
  ASSERT_TRUE(pak.WriteTable());
  pak.Close();

  TPak back(path, false, false);
  ASSERT_EQ(back.EntryCount, 2);
  EXPECT_EQ(back.Entries[0].Offset, 0u);  // no prefix: data starts at 0
  EXPECT_EQ(back.GetData(0), equal);
  EXPECT_EQ(back.GetData(1), incompressible);
}

TEST(PakWrite, SourceFilesAndPackSourceFile) {
  TempDir dir;
  std::string src = dir.File("src.txt"), emptySrc = dir.File("empty.txt"), path = dir.File("a.pak");
  Bytes contents = Text(std::string(3000, 'q'));
  WriteFileBytes(src, contents);
  WriteFileBytes(emptySrc, {});

  TPak pak(path, false, true);
  int i = pak.AddEntry("src.txt", src, 1);
  Bytes stream = pak.PackSourceFile(i);
  EXPECT_EQ(stream, ZCompress(contents.data(), contents.size()));
  EXPECT_TRUE(pak.WriteEntryFile(i));
  int e = pak.AddEntry("empty.txt", emptySrc, 1);
  EXPECT_TRUE(pak.WriteEntryFile(e));  // nothing to store is not a failure
  EXPECT_EQ(pak.Entries[e].Offset, 0u);
  // A source that cannot be opened is refused by name, the file as it was.
  int m = pak.AddEntry("missing", dir.File("missing"), 1);
  const int64_t before = pak.Handle().Size();
  const std::string refusal = "Cannot open file \"" + dir.File("missing") + "\"";
  EXPECT_FALSE(pak.WriteEntryFile(m));
  EXPECT_EQ(pak.LastError(), refusal);
  EXPECT_TRUE(pak.PackSourceFile(m).empty());
  EXPECT_FALSE(pak.WriteEntryRaw(m));
  EXPECT_EQ(pak.LastError(), refusal);
  EXPECT_EQ(pak.Handle().Size(), before);
  ASSERT_TRUE(pak.WriteTable());
  pak.Close();

  TPak back(path, false, false);
  uint32_t size;
  EXPECT_EQ(back.FindFile("src.txt", 1, size), contents);
}

// The large-entry threshold on both sides, from memory and from a source
// file; large entries carry their real checksum and are verified in pieces.
TEST(PakWrite, LargeEntryThreshold) {
  TempDir dir;
  std::string path = dir.File("big.pak"), src = dir.File("big.bin");
  Bytes below(kLargeEntrySize - 1, 'a');
  Bytes at(kLargeEntrySize, 'b');
  at[12345] = 'c';
  WriteFileBytes(src, at);

  {
    TPak pak(path, false, true);
    int i = pak.AddEntry("below", "", 1);
    ASSERT_TRUE(pak.WriteEntryData(i, below.data(), below.size()));
    EXPECT_GT(pak.Entries[i].StoredSize, 0u);
    int j = pak.AddEntry("at", "", 1);
    ASSERT_TRUE(pak.WriteEntryData(j, at.data(), at.size()));
    EXPECT_EQ(pak.Entries[j].StoredSize, 0u);
    EXPECT_EQ(pak.Entries[j].Crc, Crc(at));
    int k = pak.AddEntry("file", src, 1);
    ASSERT_TRUE(pak.WriteEntryFile(k));
    EXPECT_EQ(pak.Entries[k].StoredSize, 0u);
    EXPECT_EQ(pak.Entries[k].OriginalSize, kLargeEntrySize);
    EXPECT_EQ(pak.Entries[k].Crc, Crc(at));
    ASSERT_TRUE(pak.WriteTable());
  }
  TPak pak(path, false, false);
  ASSERT_EQ(pak.EntryCount, 3);
  EXPECT_TRUE(pak.VerifyEntry(0));
  EXPECT_TRUE(pak.VerifyEntry(1));
  EXPECT_TRUE(pak.VerifyEntry(2));

  // Pieces arrive in order, never larger than asked, and add up to the entry.
  Bytes joined;
  size_t largest = 0;
  EXPECT_TRUE(pak.ReadStoredInPieces(
      2,
      [&](const uint8_t* p, size_t n) {
        largest = std::max(largest, n);
        joined.insert(joined.end(), p, p + n);
        return true;
      },
      1 << 20));
  EXPECT_EQ(largest, 1u << 20);
  EXPECT_TRUE(joined == at);
  EXPECT_FALSE(pak.ReadStoredInPieces(2, [](const uint8_t*, size_t) { return false; }));  // sink refuses

  // A damaged large entry fails its check.
  uint32_t offset = pak.Entries[2].Offset;
  pak.Close();
  Patch(path, offset + 5000000, Text("X"));
  TPak damaged(path, false, false);
  EXPECT_FALSE(damaged.VerifyEntry(2));
  EXPECT_TRUE(damaged.VerifyEntry(1));
}

TEST(PakWrite, LimitsAreRefusedNotWrapped) {
  TempDir dir;
  std::string path = dir.File("many.pak");
  TPak pak(path, false, true);
  EXPECT_EQ(pak.AddEntry(std::string(65536, 'n'), "", 0), -1);
  EXPECT_NE(pak.LastError(), "");
  EXPECT_EQ(pak.AddEntry(std::string(65535, 'n'), "", 0), 0);
  for (int i = 1; i < 65535; ++i) {
    std::string name = "e";
    name += std::to_string(i);
    ASSERT_EQ(pak.AddEntry(name, "", 1), i);
  }
  EXPECT_EQ(pak.AddEntry("one too many", "", 1), -1);
  EXPECT_NE(pak.LastError().find("65535"), std::string::npos);
  ASSERT_TRUE(pak.WriteTable());
  pak.Close();
  TPak back(path, false, false);
  EXPECT_EQ(back.EntryCount, 65535);
  EXPECT_EQ(back.Entries[0].Name.size(), 65535u);
  EXPECT_EQ(back.Entries[65534].Name, "e65534");
}

TEST(PakWrite, FourGigabyteLimit) {
  TempDir dir;
  std::string path = dir.File("huge.exe");
  const int64_t prefix = int64_t{0xFFFFFFFF} - 100;  // sparse: costs no disk
  {
    File f(path, OpenMode::Create);
    ASSERT_EQ(f.Seek(prefix, SeekOrigin::Begin), prefix);
    ASSERT_TRUE(f.Truncate());
  }
  Bytes data = Random(60, 1);
  TPak pak(path, true, false);
  EXPECT_EQ(pak.Base, static_cast<uint32_t>(prefix));
  int i = pak.AddEntry("fits", "", 1);
  ASSERT_TRUE(pak.WriteEntryData(i, data.data(), data.size()));
  int j = pak.AddEntry("does not fit", "", 1);
  EXPECT_FALSE(pak.WriteEntryData(j, data.data(), data.size()));
  EXPECT_NE(pak.LastError().find("4 GiB"), std::string::npos);
  EXPECT_EQ(pak.Handle().Size(), prefix + 60);  // nothing of the refused entry
  EXPECT_FALSE(pak.WriteTable());               // 60 + 16 + ... no longer fit
  EXPECT_EQ(pak.Handle().Size(), prefix + 60);
}

// A stream written block by block as its blocks come: a block that cannot
// be made, or the 4 GiB limit, leaves the file as it was.
TEST(PakWrite, BlockStreamFailuresLeaveTheFileAsItWas) {
  TempDir dir;
  std::string path = dir.File("blocks.exe");
  const int64_t prefix = int64_t{0xFFFFFFFF} - 100;  // sparse: costs no disk
  {
    File f(path, OpenMode::Create);
    ASSERT_EQ(f.Seek(prefix, SeekOrigin::Begin), prefix);
    ASSERT_TRUE(f.Truncate());
  }
  const Bytes contents(kZBlockThreshold + kZBlockSize / 2, 'b');
  const uint64_t count = ZBlockCount(contents.size());
  TZBlockCoder coder;
  auto blocksFailingAt = [&](uint64_t failing) {
    return [&, failing, k = uint64_t{0}](TZBlock& into) mutable -> std::string {
      if (k == failing) return "no block";
      TZBlockSpan span = ZBlockSpan(contents.size(), k++);
      into = coder.Code(contents.data() + span.Dictionary, span.DictionaryLength(), span.ReadLength(), span.Last);
      return "";
    };
  };
  TPak pak(path, true, false);
  int i = pak.AddEntry("blocks", "", 1);
  EXPECT_FALSE(pak.WriteEntryBlocks(i, static_cast<uint32_t>(contents.size()), count, blocksFailingAt(1)));
  EXPECT_EQ(pak.LastError(), "no block");
  EXPECT_EQ(pak.Handle().Size(), prefix);
  EXPECT_FALSE(pak.WriteEntryBlocks(i, static_cast<uint32_t>(contents.size()), count, blocksFailingAt(count)));
  EXPECT_NE(pak.LastError().find("4 GiB"), std::string::npos);
  EXPECT_EQ(pak.Handle().Size(), prefix);
}

TEST(PakWrite, FailedWritesAreReported) {
  TempDir dir;
  TPak nowhere(dir.File("no-such-folder/x.pak"), false, true);
  EXPECT_FALSE(nowhere.IsOpen());
  EXPECT_NE(nowhere.LastError(), "");
  int i = nowhere.AddEntry("a", "", 0);
  Bytes data = Text("abc");
  EXPECT_FALSE(nowhere.WriteEntryData(i, data.data(), data.size()));
  EXPECT_FALSE(nowhere.WriteTable());

  // A reader cannot write.
  std::string path = dir.File("r.pak");
  WriteArchive(path, {{"a", 0, Text("abc")}});
  Bytes before = ReadFileBytes(path);
  TPak reader(path, false, false);
  int j = reader.AddEntry("b", "", 0);
  EXPECT_FALSE(reader.WriteEntryData(j, data.data(), data.size()));
  EXPECT_FALSE(reader.WriteTable());
  reader.Close();
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(PakLifetime, DestructionClosesTheFile) {
  TempDir dir;
  std::string path = dir.File("closed.pak");
  WriteFileBytes(path, Text("prefix"));
  { TPak pak(path, true, false); }
  EXPECT_TRUE(platform::RemoveFile(path));  // Windows refuses while a handle is open
}

// --- damaged archives ---------------------------------------------------------

TEST_F(PakFixture, DamagedEntryData) {
  TPak clean(path, false, false);
  uint32_t bigOffset = clean.Entries[2].Offset, tinyOffset = clean.Entries[1].Offset;
  clean.Close();

  std::vector<std::string> reports;
  auto open = [&] {
    auto pak = std::make_unique<TPak>(path, false, false);
    pak->OnReport = [&](const std::string& text) { reports.push_back(text); };
    return pak;
  };

  // A flipped byte of a stream or raw entry: no data, no message.
  Patch(path, bigOffset + 10, Text("\xFF"));
  Patch(path, tinyOffset, Text("A"));
  auto pak = open();
  EXPECT_TRUE(pak->GetData(2).empty());
  EXPECT_TRUE(pak->ReadStored(2).empty());
  EXPECT_FALSE(pak->VerifyEntry(2));
  EXPECT_FALSE(pak->VerifyEntry(1));
  uint32_t size;
  EXPECT_TRUE(pak->FindFile("sub\\big.txt", 2, size).empty());
  EXPECT_EQ(size, 12000u);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(pak->GetData(3), items[3].data);  // neighbours are unaffected
}

TEST_F(PakFixture, ChangedOriginalSizeShowsDecompSize) {
  TPak clean(path, false, false);
  uint32_t tableOffset = clean.TableOffset;
  clean.Close();
  // Entry 2 "sub\big.txt": its OriginalSize sits after the names of entries
  // 0 and 1 and its own name and first three numbers.
  int64_t pos = tableOffset + (2 + 9 + 18) + (2 + 4 + 18) + (2 + 11) + 12;
  struct Case {
    uint32_t claimed;
    std::string text;
  } cases[] = {
      {11999, "sub\\big.txt\r\rError: DecompSize - 12000 OrigSize - 11999"},
      {12001, "sub\\big.txt\r\rError: DecompSize - 12000 OrigSize - 12001"},
      {1, "sub\\big.txt\r\rError: DecompSize - 12000 OrigSize - 1"},
      // The most a compressed entry may claim (more reads as no archive)
      // costs no more than the stream's contents.
      {kLargeEntrySize - 1, "sub\\big.txt\r\rError: DecompSize - 12000 OrigSize - 73400319"},
  };
  for (const Case& c : cases) {
    Patch(path, pos, U32(c.claimed));
    TPak pak(path, false, false);
    ASSERT_EQ(pak.Entries[2].OriginalSize, c.claimed);
    std::vector<std::string> reports;
    pak.OnReport = [&](const std::string& text) { reports.push_back(text); };
    EXPECT_TRUE(pak.GetData(2).empty());
    EXPECT_EQ(reports, std::vector<std::string>{c.text});
    EXPECT_FALSE(pak.VerifyEntry(2));
  }
}

TEST_F(PakFixture, EntriesPointingOutsideTheFile) {
  TPak clean(path, false, false);
  uint32_t tableOffset = clean.TableOffset;
  clean.Close();
  int64_t tinyNumbers = tableOffset + (2 + 9 + 18) + (2 + 4);  // Crc of entry 1
  struct Case {
    int64_t pos;
    uint32_t value;
  } cases[] = {
      {tinyNumbers + 4, 0xFFFFFF00},   // Offset beyond the end
      {tinyNumbers + 12, 0x7FFFFFFF},  // raw OriginalSize beyond the end
  };
  for (const Case& c : cases) {
    Bytes saved = ReadFileBytes(path);
    Patch(path, c.pos, U32(c.value));
    TPak pak(path, false, false);
    EXPECT_TRUE(pak.GetData(1).empty());
    EXPECT_FALSE(pak.VerifyEntry(1));
    EXPECT_FALSE(pak.ReadStoredInPieces(1, nullptr));
    pak.Close();
    WriteFileBytes(path, saved);
  }
}

TEST_F(PakFixture, DamagedTablesReadAsNoArchive) {
  Bytes good = ReadFileBytes(path);
  TPak clean(path, false, false);
  uint32_t tableOffset = clean.TableOffset;
  clean.Close();
  size_t n = good.size();

  struct Case {
    const char* what;
    std::function<Bytes(Bytes)> damage;
    std::string detail;
  } cases[] = {
      {"bad magic",
       [&](Bytes b) {
         b[n - 16] = 'q';
         return b;
       },
       "No archive at the end of the file"},
      {"no archive at all", [&](Bytes) { return prefix; }, "No archive at the end of the file"},
      {"shorter than a trailer", [&](Bytes) { return Text("QXPF"); },
       "The file of 4 bytes is shorter than the archive's trailer"},
      {"empty file", [&](Bytes) { return Bytes{}; }, "The file of 0 bytes is shorter than the archive's trailer"},
      {"table cut short",
       [&](Bytes b) {
         Bytes trailer(b.end() - 16, b.end());
         b.resize(tableOffset + 30);
         b.insert(b.end(), trailer.begin(), trailer.end());
         return b;
       },
       "The table of 5 entries needs at least 100 bytes, but only 30 lie before the trailer"},
      {"count beyond the table",
       [&](Bytes b) {
         b[n - 10] = 0xFF;
         b[n - 9] = 0xFF;
         return b;
       },
       "The table of 65535 entries needs at least 1310700 bytes, but only 138 lie before the trailer"},
      {"count one too high",
       [&](Bytes b) {
         b[n - 10] = 6;
         return b;
       },
       "The table of 6 entries runs into the trailer at entry 5"},
      {"table offset past the trailer",
       [&](Bytes b) {
         Bytes off = U32(static_cast<uint32_t>(n));
         std::copy(off.begin(), off.end(), b.end() - 4);
         return b;
       },
       "The entry table at 338 lies behind the trailer at 322"},
      {"table offset at the end",
       [&](Bytes b) {
         Bytes off = U32(0xFFFFFFFF);
         std::copy(off.begin(), off.end(), b.end() - 4);
         return b;
       },
       "The entry table at 4294967295 lies behind the trailer at 322"},
      {"name running into the trailer",
       [&](Bytes b) {
         b[tableOffset] = 0xFF;
         b[tableOffset + 1] = 0xFF;
         return b;
       },
       "The table of 5 entries runs into the trailer at entry 0"},
      // The last entry's record left over in front of the trailer.
      {"count one too low",
       [&](Bytes b) {
         b[n - 10] = 4;
         return b;
       },
       "The table of 4 entries ends 27 bytes before the trailer"},
      // Entry 1 "tiny" (raw, at the prefix's end): its Offset field.
      {"data below the archive's start",
       [&](Bytes b) {
         b[tableOffset + 29 + 6 + 4] = 99;
         return b;
       },
       "The data of entry \"tiny\" (2 bytes at 99) lie outside the archive (start 100, table at 184)"},
      {"data running into the table",
       [&](Bytes b) {
         Bytes off = U32(tableOffset - 1);
         std::copy(off.begin(), off.end(), b.begin() + tableOffset + 29 + 6 + 4);
         return b;
       },
       "The data of entry \"tiny\" (2 bytes at 183) lie outside the archive (start 100, table at 184)"},
      {"two entries sharing bytes",
       [&](Bytes b) {
         b[tableOffset + 29 + 6 + 4] = 101;
         return b;
       },
       "The archive's data begin at 101, not at its start (start 100, table at 184)"},
      {"an empty entry with an offset",
       [&](Bytes b) {
         b[tableOffset + 2 + 9 + 4] = 1;
         return b;
       },
       "The empty entry \"empty.txt\" has data numbers"},
      {"archive starting before its data",
       [&](Bytes b) {
         b[n - 8] = 99;
         return b;
       },
       "The archive's data begin at 100, not at its start (start 99, table at 184)"},
      // Entry 2 "sub\big.txt" (compressed): its OriginalSize field.
      {"a compressed entry claiming 70 MiB",
       [&](Bytes b) {
         Bytes size = U32(kLargeEntrySize);
         std::copy(size.begin(), size.end(), b.begin() + tableOffset + 29 + 24 + 13 + 12);
         return b;
       },
       "The compressed entry \"sub\\big.txt\" claims 73400320 bytes; entries of 73400320 bytes or more are stored "
       "raw"},
      {"archive starting behind its table",
       [&](Bytes b) {
         Bytes base = U32(tableOffset + 1);
         std::copy(base.begin(), base.end(), b.end() - 8);
         return b;
       },
       "The archive's start lies behind its table (start 185, table at 184)"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(path, c.damage(good));
    TPak pak(path, false, false);
    EXPECT_EQ(pak.EntryCount, 0) << c.what;
    EXPECT_TRUE(pak.Entries.empty()) << c.what;
    EXPECT_NE(std::string(pak.Magic, 4), "QXPF") << c.what;
    uint32_t size = 1;
    EXPECT_TRUE(pak.FindFile("tiny", 1, size).empty()) << c.what;
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(pak.CountGrouped(), 0) << c.what;
    EXPECT_EQ(pak.LastError(), c.detail) << c.what;
  }

  TPak missing(dir.File("does-not-exist"), false, false);
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.EntryCount, 0);
  EXPECT_EQ(missing.LastError(), "Cannot open archive \"" + dir.File("does-not-exist") + "\"");
}

TEST(PakRead, EmptyTableIsAnEmptyArchive) {
  TempDir dir;
  std::string path = dir.File("empty.pak");
  WriteArchive(path, {});
  EXPECT_EQ(ReadFileBytes(path).size(), 16u);
  TPak pak(path, false, false);
  EXPECT_EQ(std::string(pak.Magic, 4), "QXPF");
  EXPECT_EQ(pak.EntryCount, 0);
  uint32_t size = 9;
  EXPECT_TRUE(pak.FindFile("x", 0, size).empty());
  EXPECT_EQ(size, 0u);
}

// A small stream of 70 MiB or more that claims little: no stream the writer
// made holds that much, so inflating stops there, and the length shown in
// the DecompSize box is not known.
TEST(PakRead, AStreamOfMoreThanAnyEntryHoldsIsRefusedUnshown) {
  TempDir dir;
  std::string path = dir.File("bomb.pak");
  Bytes zeros(kLargeEntrySize);
  Bytes stream = ZCompress(zeros.data(), zeros.size(), 1);
  {
    TPak pak(path, false, true);
    TPakFile packed;
    packed.StoredSize = static_cast<uint32_t>(stream.size());
    packed.OriginalSize = 1000;
    packed.Crc = Crc(stream);
    ASSERT_TRUE(pak.WriteStoredBlock(pak.AddEntry("bomb", "", 1), packed, stream));
    ASSERT_TRUE(pak.WriteTable());
  }
  TPak pak(path, false, false);
  std::vector<std::string> reports;
  pak.OnReport = [&](const std::string& text) { reports.push_back(text); };
  EXPECT_TRUE(pak.GetData(0).empty());
  EXPECT_EQ(pak.LastError(), "The data of entry \"bomb\" inflate to more than 73400319 bytes, not 1000");
  EXPECT_FALSE(pak.VerifyEntry(0));
  EXPECT_TRUE(reports.empty());
}

TEST(PakRead, InvalidStreamWithMatchingChecksumIsRefused) {
  TempDir dir;
  std::string path = dir.File("bad.pak");
  Bytes contents = Text(std::string(1000, 'k'));
  WriteArchive(path, {{"k", 0, contents}});
  TPak pak(path, false, false);
  uint32_t offset = pak.Entries[0].Offset, stored = pak.Entries[0].StoredSize;
  pak.Close();
  // Garbage in place of the stream, with a table CRC to match it.
  Bytes garbage = Random(stored, 5);
  Patch(path, offset, garbage);
  TPak probe(path, false, false);
  int64_t crcPos = probe.TableOffset + 2 + 1;
  probe.Close();
  Patch(path, crcPos, U32(Crc(garbage)));
  TPak bad(path, false, false);
  EXPECT_TRUE(bad.GetData(0).empty());
  EXPECT_EQ(bad.LastError().rfind("The data of entry \"k\" do not inflate: zlib: ", 0), 0u) << bad.LastError();
  EXPECT_FALSE(bad.VerifyEntry(0));
}
