#include "Global/QX_PakSystem.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Global/DosDate.h"
#include "Global/SWAV.h"
#include "packer/SQXP.h"
#include "platform/ByteOrder.h"
#include "tests/Global/PakSystemFixture.h"
#include "tests/packer/WavBuilder.h"

using namespace pak_system_test;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;
using testing_support::WriteFileText;
namespace fs = std::filesystem;

TEST_F(PakSystemTest, AddsAndReplacesEntriesOfAPackedArchive) {
  fs::create_directories(dir.File("src/sub"));
  WriteFileText(dir.File("src/a.txt"), "the old a, the old a, the old a, the old a");
  WriteFileBytes(dir.File("src/keep.txt"), Compressible(900));
  WriteFileBytes(dir.File("src/sub/b.dat"), Random(700, 1));
  TQXP().Make(Game(), dir.File("src"));
  ReadBack before = ReadArchive(Game());
  ASSERT_EQ(before.status, TQXPReadStatus::Ok);

  UseSetupArchive({{"A.TXT", 1, Compressible(5000)},
                   {"new\\c.txt", 1, Compressible(300)},
                   {"other.txt", 2, Text("another group")},
                   {"noise.bin", 1, Random(400, 2)}});
  ASSERT_NE(SetupArchive->Entries[0].StoredSize, 0u);  // kept as a zlib stream
  ASSERT_EQ(SetupArchive->Entries[3].StoredSize, 0u);  // kept raw
  PakSystem.UpdateArchive(1, "game.qxp", "pw");
  EXPECT_TRUE(alerts.Fatals.empty());

  ReadBack after = ReadArchive(Game());
  ASSERT_EQ(after.status, TQXPReadStatus::Ok);
  std::vector<std::string> names;
  for (const TQXPEntry& e : after.tail.Entries) names.push_back(e.Name);
  // A replaced entry keeps its stored spelling and moves to the end.
  EXPECT_EQ(names, (std::vector<std::string>{"keep.txt", "sub\\b.dat", "a.txt", "new\\c.txt", "noise.bin"}));
  EXPECT_EQ(QXPContents(after.file, *FindEntry(after, "keep.txt")), Compressible(900));
  EXPECT_EQ(QXPContents(after.file, *FindEntry(after, "sub\\b.dat")), Random(700, 1));
  EXPECT_EQ(QXPContents(after.file, *FindEntry(after, "a.txt")), Compressible(5000));
  EXPECT_EQ(QXPContents(after.file, *FindEntry(after, "new\\c.txt")), Compressible(300));
  EXPECT_EQ(QXPContents(after.file, *FindEntry(after, "noise.bin")), Random(400, 2));

  // The new blobs follow each other from where the old table began; the
  // old data, the replaced blob included, is untouched.
  int64_t pos = before.tail.TableStart;
  for (size_t i = 2; i < 5; ++i) {
    const TQXPEntry& e = after.tail.Entries[i];
    EXPECT_EQ(e.Method, kMethodZlib) << e.Name;
    EXPECT_EQ(e.Offset, pos) << e.Name;
    EXPECT_EQ(static_cast<uint32_t>(e.FileDate), TodayDosDate()) << e.Name;
    EXPECT_EQ(e.Pad, 0) << e.Name;
    pos += e.StoredSize;
  }
  EXPECT_EQ(after.tail.TableStart, pos);
  EXPECT_TRUE(std::equal(before.file.begin(), before.file.begin() + before.tail.TableStart, after.file.begin()));
  // The installer archive's own stream is stored, scrambled.
  Bytes blob = QXPBlob(after.file, after.tail.Entries[2]);
  ScrambleBlob(blob.data(), blob.size());
  EXPECT_EQ(blob, SetupArchive->ReadStored(0));

  // The trailer: marker 1, a version "2" block with seeds from 2 to 6.
  const TQXPTrailer& t = after.tail.Trailer;
  EXPECT_EQ(t.BlockVersion, '2');
  EXPECT_EQ(t.Password, "pw");
  EXPECT_EQ(t.FlagByte, 0);
  const uint8_t* head = after.file.data() + after.file.size() - t.Length;
  EXPECT_EQ(GetU16(head + 4), 1);
  EXPECT_TRUE(head[10] >= 2 && head[10] <= 6 && head[11] >= 2 && head[11] <= 6);
  TQXP packer;
  ASSERT_EQ(packer.Open(Game()), TQXPReadStatus::Ok);
  EXPECT_EQ(packer.Header2.Text, "pw");
  EXPECT_EQ(packer.Entries.size(), 5u);
}

TEST_F(PakSystemTest, TheSameFilesAgainWriteNoBlob) {
  WriteFileBytes(Game(), HandArchive({{"Data\\Map.txt", Text("old map")}}, {}));
  UseSetupArchive({{"Data\\Map.txt", 1, Compressible(3000)}, {"snd\\x.bin", 1, Random(100, 3)}});
  PakSystem.UpdateArchive(1, "game.qxp", "");
  ReadBack first = ReadArchive(Game());
  ASSERT_EQ(first.status, TQXPReadStatus::Ok);

  // The same contents under names in another case.
  UseSetupArchive({{"DATA\\map.TXT", 1, Compressible(3000)}, {"SND\\X.BIN", 1, Random(100, 3)}});
  PakSystem.UpdateArchive(1, "game.qxp", "");
  ReadBack second = ReadArchive(Game());
  ASSERT_EQ(second.status, TQXPReadStatus::Ok);
  EXPECT_EQ(second.tail.TableStart, first.tail.TableStart);
  EXPECT_EQ(second.file.size(), first.file.size());
  EXPECT_TRUE(std::equal(first.file.begin(), first.file.begin() + first.tail.TableStart, second.file.begin()));
  ASSERT_EQ(second.tail.Entries.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(second.tail.Entries[i].Name, first.tail.Entries[i].Name);
    EXPECT_EQ(second.tail.Entries[i].Offset, first.tail.Entries[i].Offset);
  }
}

TEST_F(PakSystemTest, NothingToAddLeavesTheArchiveAlone) {
  Bytes original = HandArchive({{"a", Text("a")}}, ShortTrailer("secret"));
  WriteFileBytes(Game(), original);
  UseSetupArchive({{"x.txt", 1, Text("x")}});
  struct Case {
    int32_t group;
    const char* archive;
  } cases[] = {{2, "game.qxp"}, {-1, "game.qxp"}, {65537, "game.qxp"}, {2, "missing.qxp"}, {0, "missing.qxp"}};
  for (const Case& c : cases) {
    PakSystem.UpdateArchive(c.group, c.archive, "wrong");
    EXPECT_EQ(ReadFileBytes(Game()), original) << c.group;
  }
  SetupArchive = nullptr;
  PakSystem.UpdateArchive(1, "game.qxp", "wrong");
  EXPECT_EQ(ReadFileBytes(Game()), original);
  EXPECT_TRUE(alerts.Fatals.empty());
  EXPECT_TRUE(alerts.Questions.empty());
}

TEST_F(PakSystemTest, PasswordOfTheArchiveOrTheOneGiven) {
  const std::string longest(kMaxQXPPassword, 'p');
  struct Case {
    const char* what;
    Bytes trailer;
    std::string given;
    bool refused;
    std::string password;  // afterwards
    uint8_t flag;
  } cases[] = {
      {"no trailer takes the given one", {}, "Given1", false, "Given1", 0},
      {"no trailer, empty given", {}, "", false, "", 0},
      {"no trailer, longest given", {}, longest, false, longest, 0},
      {"short trailer, leading letters and digits", ShortTrailer("abc-xyz12"), "abc", false, "abc", 0},
      {"short trailer, other case", ShortTrailer("abc"), "ABC", true, "", 0},
      {"short trailer starting with a blank has none", ShortTrailer(" abc"), "new", false, "new", 0},
      {"block 1", BlockTrailer('1', "se cret"), "se cret", false, "se cret", 0},
      {"block 1, wrong", BlockTrailer('1', "secret"), "secret ", true, "", 0},
      {"block 2 keeps its flag", BlockTrailer('2', "pw", 7), "pw", false, "pw", 7},
      {"block 2 without password takes the given one", BlockTrailer('2', "", 1), "mine", false, "mine", 1},
      {"block 3 counts as no password", BlockTrailer('3', "theirs", 1), "mine", false, "mine", 0},
      {"too long for the trailer", {}, longest + "p", true, "", 0},
  };
  UseSetupArchive({{"n.txt", 1, Text("new file")}});
  for (const Case& c : cases) {
    Bytes original = HandArchive({{"old.txt", Text("old")}}, c.trailer);
    WriteFileBytes(Game(), original);
    alerts.Fatals.clear();
    if (c.refused) {
      EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", c.given), EPakSystemEnded) << c.what;
      ASSERT_EQ(alerts.Fatals.size(), 1u) << c.what;
      std::string reason = c.given.size() > kMaxQXPPassword ? "Error Password Too Long" : "Error Incorrect Password";
      EXPECT_EQ(alerts.Fatals[0], reason + "\rFile: game.qxp") << c.what;
      EXPECT_EQ(ReadFileBytes(Game()), original) << c.what;
      continue;
    }
    PakSystem.UpdateArchive(1, "game.qxp", c.given);
    EXPECT_TRUE(alerts.Fatals.empty()) << c.what;
    ReadBack r = ReadArchive(Game());
    ASSERT_EQ(r.status, TQXPReadStatus::Ok) << c.what;
    EXPECT_EQ(r.tail.Entries.size(), 2u) << c.what;
    EXPECT_EQ(r.tail.Trailer.BlockVersion, '2') << c.what;
    EXPECT_EQ(r.tail.Trailer.Password, c.password) << c.what;
    EXPECT_EQ(r.tail.Trailer.FlagByte, c.flag) << c.what;
  }
}

TEST_F(PakSystemTest, OfficialFlagNeedsTheAccessCode) {
  struct Case {
    const char* code;
    const char* flag;
    bool changed;
    uint8_t official;
  } cases[] = {
      {"04nkth1", "true", true, 1},  {"04NKTH1", "TRUE", true, 1}, {"04nkth1", "t", true, 1},
      {"04nkth1", "T", true, 1},     {"04nkth1", "1", true, 1},    {"04nkth1", "yes", true, 0},
      {"04nkth1", "0", true, 0},     {"04nkth1", "", true, 0},     {"04nkth1", " true", true, 0},
      {"04nkth2", "true", false, 0}, {"", "1", false, 0},
  };
  for (const Case& c : cases) {
    Bytes original = HandArchive({{"a.txt", Text("a")}, {"b.txt", Text("bb")}}, BlockTrailer('2', "pass", 0));
    WriteFileBytes(Game(), original);
    PakSystem.SetOfficial("game.qxp", c.code, c.flag);
    ReadBack r = ReadArchive(Game());
    ASSERT_EQ(r.status, TQXPReadStatus::Ok) << c.code << c.flag;
    EXPECT_EQ(r.file == original, !c.changed) << c.code << c.flag;
    if (!c.changed) continue;
    // Only the trailer is new: same data, same table, same password.
    EXPECT_EQ(r.tail.TableStart, 3);
    EXPECT_EQ(r.tail.Entries.size(), 2u);
    EXPECT_EQ(r.tail.Trailer.Password, "pass");
    EXPECT_EQ(r.tail.Trailer.FlagByte, c.official) << c.code << c.flag;
  }
  // A wrong code does not even look for the archive.
  PakSystem.SetOfficial("missing.qxp", "nope", "1");
  EXPECT_TRUE(alerts.Questions.empty());
  EXPECT_TRUE(alerts.Fatals.empty());
}

TEST_F(PakSystemTest, DuplicateEntrySharesTheSourcesBlob) {
  auto run = [&](const std::vector<GameFile>& files, const std::string& from, const std::string& to) {
    WriteFileBytes(Game(), HandArchive(files, BlockTrailer('3', "")));
    PakSystem.DuplicateEntry("game.qxp", from, to);
    return ReadArchive(Game());
  };
  std::vector<GameFile> files = {{"Src.txt", Text("source")}, {"Same.txt", Text("x")}, {"other.txt", Text("oth")}};

  // A new target: its name lower-cased, the source's blob.
  ReadBack r = run(files, "SRC.TXT", "Copies\\NEW.txt");
  ASSERT_EQ(r.tail.Entries.size(), 4u);
  const TQXPEntry& added = r.tail.Entries[3];
  EXPECT_EQ(added.Name, "copies\\new.txt");
  EXPECT_EQ(added.Offset, r.tail.Entries[0].Offset);
  EXPECT_EQ(added.StoredSize, 6);
  EXPECT_EQ(added.FileDate, 0x12345678);
  EXPECT_EQ(QXPContents(r.file, added), Text("source"));
  EXPECT_EQ(r.tail.Trailer.BlockVersion, '2');

  // A target that names another blob stays; the tail is still rewritten.
  r = run(files, "src.txt", "OTHER.TXT");
  ASSERT_EQ(r.tail.Entries.size(), 3u);
  EXPECT_EQ(QXPContents(r.file, r.tail.Entries[2]), Text("oth"));
  EXPECT_EQ(r.tail.Trailer.BlockVersion, '2');

  // A missing source leaves the file as it was.
  Bytes original = HandArchive(files, BlockTrailer('3', ""));
  WriteFileBytes(Game(), original);
  PakSystem.DuplicateEntry("game.qxp", "absent.txt", "new.txt");
  EXPECT_EQ(ReadFileBytes(Game()), original);
}

TEST_F(PakSystemTest, DuplicateOntoTheSameBlobTakesTheSourcesFields) {
  // Two records of one blob that differ in method and date.
  Bytes file = HandArchive({{"a", Text("shared")}}, {});
  Bytes table;
  TQXPEntry a, b;
  a.Name = "a";
  b.Name = "B";
  a.StoredSize = a.OriginalSize = b.StoredSize = b.OriginalSize = 6;
  a.FileDate = 111;
  b.FileDate = 222;
  b.Method = kMethodWav;
  a.WriteTo(table);
  b.WriteTo(table);
  Bytes z = ZCompress(table.data(), table.size());
  file.resize(6);
  file.insert(file.end(), z.begin(), z.end());
  TQXPHeader{static_cast<int32_t>(z.size()), 304, 5, 2, 0}.WriteTo(file);
  WriteFileBytes(Game(), file);
  PakSystem.DuplicateEntry("game.qxp", "A", "b");
  ReadBack r = ReadArchive(Game());
  ASSERT_EQ(r.tail.Entries.size(), 2u);
  EXPECT_EQ(r.tail.Entries[1].Name, "B");
  EXPECT_EQ(r.tail.Entries[1].FileDate, 111);
  EXPECT_EQ(r.tail.Entries[1].Method, kMethodStored);
}

TEST_F(PakSystemTest, DamagedArchivesEndTheRunUnchanged) {
  UseSetupArchive({{"n.txt", 1, Text("new")}});
  Bytes good = HandArchive({{"a.txt", Text("aaaa")}, {"b.txt", Text("bb")}}, BlockTrailer('2', "pw"));
  ReadBack g;
  WriteFileBytes(Game(), good);
  g = ReadArchive(Game());
  size_t headerAt = good.size() - g.tail.Trailer.Length - kQXPHeaderSize;
  auto withHeader = [&](auto change) {
    Bytes b = good;
    TQXPHeader h = g.tail.Header;
    change(h);
    Bytes raw;
    h.WriteTo(raw);
    std::copy(raw.begin(), raw.end(), b.begin() + static_cast<ptrdiff_t>(headerAt));
    return b;
  };
  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"empty file", {}},
      {"version 4", withHeader([](TQXPHeader& h) { h.Version = 4; })},
      {"reserved set", withHeader([](TQXPHeader& h) { h.Reserved = 1; })},
      {"more records than the table", withHeader([](TQXPHeader& h) { h.Count = 3; })},
      {"huge count", withHeader([](TQXPHeader& h) { h.Count = 0x7FFFFFFF; })},
      {"table size not what inflates", withHeader([](TQXPHeader& h) { h.TableSize += 152; })},
      {"compressed size past the start", withHeader([](TQXPHeader& h) { h.CompressedSize = 0x7FFFFFFF; })},
      {"negative compressed size", withHeader([](TQXPHeader& h) { h.CompressedSize = -1; })},
  };
  for (const Case& c : cases) {
    WriteFileBytes(Game(), c.file);
    alerts.Fatals.clear();
    EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", "pw"), EPakSystemEnded) << c.what;
    EXPECT_EQ(alerts.Fatals, std::vector<std::string>{"File " + GamePath() + " has corrupted header."}) << c.what;
    EXPECT_EQ(ReadFileBytes(Game()), c.file) << c.what;
  }
  // Every cut of the archive, and every byte of it flipped, is refused
  // unchanged or read within its bytes and updated into a whole archive.
  std::vector<Bytes> damaged;
  for (size_t n = 0; n < good.size(); ++n) {
    damaged.emplace_back(good.begin(), good.begin() + static_cast<ptrdiff_t>(n));
    damaged.push_back(good);
    damaged.back()[n] ^= 0xFF;
  }
  for (size_t i = 0; i < damaged.size(); ++i) {
    WriteFileBytes(Game(), damaged[i]);
    try {
      PakSystem.UpdateArchive(1, "game.qxp", "pw");
      EXPECT_EQ(ReadArchive(Game()).status, TQXPReadStatus::Ok) << i;
    } catch (const EPakSystemEnded&) {
      EXPECT_EQ(ReadFileBytes(Game()), damaged[i]) << i;
    }
  }
}

TEST_F(PakSystemTest, ATableThatIsNoZlibStreamIsACorruptedHeaderBeforeAnyChange) {
  Bytes file = HandArchive({{"a.txt", Text("aaaa")}}, {});
  for (size_t i = 4; i < file.size() - kQXPHeaderSize; ++i) file[i] ^= 0x5A;
  WriteFileBytes(Game(), file);
  UseSetupArchive({{"n.txt", 1, Text("new")}});
  EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", ""), EPakSystemEnded);
  EXPECT_EQ(alerts.Fatals, std::vector<std::string>{"File " + GamePath() + " has corrupted header."});
  EXPECT_EQ(ReadFileBytes(Game()), file);
  // The archive was let go: the next operation opens it again.
  WriteFileBytes(Game(), HandArchive({{"a.txt", Text("aaaa")}}, {}));
  PakSystem.UpdateArchive(1, "game.qxp", "");
  EXPECT_EQ(ReadArchive(Game()).tail.Entries.size(), 2u);
}

TEST_F(PakSystemTest, ADamagedSetupEntryKeepsWhatWasAddedBeforeIt) {
  WriteFileBytes(Game(), HandArchive({{"old.txt", Text("old")}}, {}));
  UseSetupArchive(
      {{"first.txt", 1, Compressible(500)}, {"second.txt", 1, Compressible(800)}, {"third.txt", 1, Compressible(90)}});
  // Damage the stored bytes of the second entry.
  {
    platform::File f(dir.File("setup.bin"), platform::OpenMode::ReadWrite);
    int64_t at = static_cast<int64_t>(SetupArchive->Entries[1].Offset) + 3;
    ASSERT_EQ(f.Seek(at, platform::SeekOrigin::Begin), at);
    ASSERT_TRUE(f.Write("\xFF\xFF", 2));
  }
  ShowTargets();
  EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", ""), EPakSystemError);
  ReadBack r = ReadArchive(Game());
  ASSERT_EQ(r.status, TQXPReadStatus::Ok);
  ASSERT_EQ(r.tail.Entries.size(), 2u);
  EXPECT_EQ(QXPContents(r.file, r.tail.Entries[1]), Compressible(500));
  EXPECT_EQ(TakeStatusUpdate().StatusText, "Writing game.qxp");
}

TEST_F(PakSystemTest, OpeningAsksAgainUntilCancelled) {
  UseSetupArchive({{"n.txt", 1, Text("new")}});
  // Cancel ends the run.
  EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", ""), EPakSystemEnded);
  EXPECT_EQ(alerts.Questions, std::vector<std::string>{"File not found: \"" + GamePath() + "\"."});
  EXPECT_EQ(alerts.Cancels, 1);

  // Retry after the file has come.
  alerts.Questions.clear();
  alerts.Answer = [&](const std::string&) {
    WriteFileBytes(Game(), HandArchive({}, {}));
    return true;
  };
  PakSystem.UpdateArchive(1, "game.qxp", "");
  EXPECT_EQ(alerts.Questions.size(), 1u);
  EXPECT_EQ(ReadArchive(Game()).tail.Entries.size(), 1u);

  // A read-only archive is made writable and updated.
  alerts.Questions.clear();
  WriteFileBytes(Game(), HandArchive({}, {}));
  fs::permissions(Game(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  PakSystem.UpdateArchive(1, "game.qxp", "");
  EXPECT_TRUE(alerts.Questions.empty());
  EXPECT_NE(fs::status(Game()).permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(ReadArchive(Game()).tail.Entries.size(), 1u);
}

TEST_F(PakSystemTest, AnArchiveThatWouldPassTwoGigabytesIsPutBack) {
  // A sparse archive whose table starts a few bytes below 2 GiB.
  Bytes table;
  TQXPEntry e;
  e.Name = "far.txt";
  e.Offset = 0x7FFFFF00;
  e.StoredSize = e.OriginalSize = 0x10;
  e.WriteTo(table);
  Bytes tail = ZCompress(table.data(), table.size());
  TQXPHeader{static_cast<int32_t>(tail.size()), 152, 5, 1, 0}.WriteTo(tail);
  Bytes trailer = BlockTrailer('2', "pw");
  tail.insert(tail.end(), trailer.begin(), trailer.end());
  const int64_t tableAt = 0x7FFFFF10;
  {
    platform::File f(Game(), platform::OpenMode::Create);
    ASSERT_EQ(f.Seek(tableAt, platform::SeekOrigin::Begin), tableAt);
    ASSERT_TRUE(f.Write(tail.data(), tail.size()));
  }
  UseSetupArchive({{"big.bin", 1, Random(1000, 9)}});
  EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", "pw"), EPakSystemEnded);
  EXPECT_EQ(alerts.Fatals, std::vector<std::string>{"File " + GamePath() + " would pass 2 GB; it was left as it was."});
  platform::File f(Game(), platform::OpenMode::Read);
  ASSERT_EQ(f.Size(), tableAt + static_cast<int64_t>(tail.size()));
  Bytes back(tail.size());
  f.Seek(tableAt, platform::SeekOrigin::Begin);
  ASSERT_EQ(f.Read(back.data(), back.size()), back.size());
  EXPECT_EQ(back, tail);
}

TEST_F(PakSystemTest, ProgressStepsAndStatusText) {
  // Steps are counted per entry; a step is published when its percentage
  // (files done before it) rises.
  struct Run {
    int files;
    int32_t published;  // -1: none
  } runs[] = {{1, -1}, {3, 3}, {4, 4}};
  ShowTargets();
  for (const Run& run : runs) {
    WriteFileBytes(Game(), HandArchive({}, {}));
    std::vector<SetupItem> items;
    for (int i = 0; i < run.files; ++i) items.push_back({std::to_string(i).append(".txt"), 1, Text("text")});
    UseSetupArchive(items);
    ProgressCount = 0;
    TakeStatusUpdate();
    PakSystem.UpdateArchive(1, "game.qxp", "");
    EXPECT_EQ(ProgressCount, run.files);
    TStatusUpdate update = TakeStatusUpdate();
    EXPECT_EQ(update.Progress.value_or(-1), run.published) << run.files;
    EXPECT_EQ(update.StatusText, "Writing game.qxp");
    EXPECT_EQ(ReadArchive(Game()).tail.Entries.size(), static_cast<size_t>(run.files));
  }
}

TEST_F(PakSystemTest, OddTablesAreHandledSafely) {
  // Records pointing outside the file, a name twice, and a name longer
  // than a record holds.
  std::string longName = "deep\\" + std::string(130, 'n') + ".txt";
  Bytes file = HandArchive({{"dup.txt", Text("one")}, {"DUP.TXT", Text("two")}}, {});
  ReadBack hand;
  WriteFileBytes(Game(), file);
  hand = ReadArchive(Game());
  // Make the first record claim a blob of the new file's size far away.
  Bytes newBlob = ZCompress(Compressible(64).data(), 64);
  Bytes table;
  TQXPEntry far = hand.tail.Entries[0];
  far.Offset = 0x7FFFFFF0;
  far.StoredSize = static_cast<int32_t>(newBlob.size());
  far.OriginalSize = 64;
  far.WriteTo(table);
  hand.tail.Entries[1].WriteTo(table);
  Bytes z = ZCompress(table.data(), table.size());
  file.resize(6);
  file.insert(file.end(), z.begin(), z.end());
  TQXPHeader{static_cast<int32_t>(z.size()), 304, 5, 2, 0}.WriteTo(file);
  WriteFileBytes(Game(), file);

  UseSetupArchive({{"Dup.txt", 1, Compressible(64)}, {longName, 1, Text("long")}});
  PakSystem.UpdateArchive(1, "game.qxp", "");
  ReadBack r = ReadArchive(Game());
  ASSERT_EQ(r.status, TQXPReadStatus::Ok);
  // The first record of the name was replaced (its far blob was not read),
  // the second stays; the long name is stored cut.
  ASSERT_EQ(r.tail.Entries.size(), 3u);
  EXPECT_EQ(r.tail.Entries[0].Name, "DUP.TXT");
  EXPECT_EQ(QXPContents(r.file, r.tail.Entries[0]), Text("two"));
  EXPECT_EQ(r.tail.Entries[1].Name, "dup.txt");
  EXPECT_EQ(QXPContents(r.file, r.tail.Entries[1]), Compressible(64));
  EXPECT_EQ(r.tail.Entries[2].Name, longName.substr(0, kMaxQXPName));
  EXPECT_EQ(QXPContents(r.file, r.tail.Entries[2]), Text("long"));

  // Found again under its cut name: unchanged, not added twice.
  UseSetupArchive({{longName, 1, Text("long")}});
  PakSystem.UpdateArchive(1, "game.qxp", "");
  ReadBack again = ReadArchive(Game());
  ASSERT_EQ(again.tail.Entries.size(), 3u);
  EXPECT_EQ(again.tail.Entries[2].Offset, r.tail.Entries[2].Offset);
}

// --- sounds -----------------------------------------------------------------------

namespace {

using namespace wav_builder;

// A 16-bit file with its data chunk right after the format, then chunks.
Bytes Canonical(uint16_t channels, size_t dataBytes, const std::vector<Bytes>& after = {}, uint16_t bits = 16,
                uint32_t rate = 22050) {
  std::vector<Bytes> chunks = {Chunk("fmt ", Format(channels, rate, bits)), Chunk("data", Ramp(dataBytes), false)};
  chunks.insert(chunks.end(), after.begin(), after.end());
  return Riff(chunks);
}

// The blob the packer makes of a sound, with the installer's effects rule.
Bytes PackerBlob(const Bytes& file, const std::string& name) {
  TWavMemory source(file.data(), file.size());
  Bytes blob;
  EXPECT_EQ(CodeWavBlob(source, InSetupEffectsFolder(name),
                        [&](const uint8_t* p, size_t n) { blob.insert(blob.end(), p, p + n); }),
            "");
  return blob;
}

}  // namespace

TEST_F(PakSystemTest, SoundsAreStoredAsThePackerStoresThem) {
  Bytes noise = testing_support::Random(30000, 5);
  struct Case {
    const char* what;
    std::string name;
    Bytes file;
    uint8_t adpcm;
  } cases[] = {
      {"stereo, coded", "Sounds\\Hit.WAV", Canonical(2, 5000), 1},
      {"a LIST chunk before the data, as many tools write", "Sounds\\list.wav",
       Riff({Chunk("fmt ", Format(1, 22050, 16)), Chunk("LIST", Text("INFOISFT")), Chunk("data", Ramp(900))}), 1},
      {"a cue chunk before the data keeps the loop", "Sounds\\loop.wav",
       Riff({Chunk("fmt ", Format(1, 22050, 16)), Chunk("cue ", Cue({10})), Chunk("data", Ramp(900))}), 0},
      {"noise the setup archive stores as it is, read where it lies", "Sounds\\noise.wav", Simple(1, noise), 1},
      {"effects folder stays PCM", "snd\\Effects\\s.wav", Canonical(1, 400), 0},
      {"effects only in exact case", "snd\\effects\\s.wav", Canonical(1, 400), 1},
  };
  for (const Case& c : cases) {
    WriteFileBytes(Game(), HandArchive({}, {}));
    UseSetupArchive({{c.name, 1, c.file}, {"wav", 1, Text("plain")}});
    PakSystem.UpdateArchive(1, "game.qxp", "");
    EXPECT_TRUE(alerts.Fatals.empty()) << c.what;
    ReadBack r = ReadArchive(Game());
    ASSERT_EQ(r.tail.Entries.size(), 2u) << c.what;
    const TQXPEntry& sound = r.tail.Entries[0];
    EXPECT_EQ(sound.Name, c.name) << c.what;
    EXPECT_EQ(sound.Method, kMethodWav) << c.what;
    EXPECT_EQ(sound.OriginalSize, static_cast<int32_t>(c.file.size())) << c.what;
    Bytes blob = QXPBlob(r.file, sound);
    EXPECT_EQ(blob, PackerBlob(c.file, c.name)) << c.what;
    EXPECT_EQ(blob.at(44), c.adpcm) << c.what;
    EXPECT_EQ(r.tail.Entries[1].Method, kMethodZlib) << c.what;
    EXPECT_EQ(SetupArchive->Entries[0].StoredSize == 0, c.file.size() > noise.size()) << c.what;
  }
}

TEST_F(PakSystemTest, ASoundThatIsNotAWavFileFailsItsLineNamingIt) {
  Bytes game = HandArchive({{"old.txt", Text("old")}}, {});
  WriteFileBytes(Game(), game);
  UseSetupArchive(
      {{"first.txt", 1, Text("first")}, {"Sounds\\bad.wav", 1, Text("RIFF")}, {"Sounds\\ok.wav", 1, Canonical(1, 40)}});
  EXPECT_THROW(PakSystem.UpdateArchive(1, "game.qxp", ""), EPakSystemEnded);
  EXPECT_EQ(alerts.Fatals, std::vector<std::string>{"Cannot add \"Sounds\\bad.wav\" to " + GamePath() +
                                                    ": not a valid WAV file: the file holds 4 bytes, a RIFF header "
                                                    "and a format chunk need 36"});
  EXPECT_EQ(ReadFileBytes(Game()), game);
}
