#include "packer/SQXP.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <numeric>

#include "Global/CRC.h"
#include "Global/QX_Adpcm.h"
#include "Global/ZBlocks.h"
#include "platform/ByteOrder.h"
#include "tests/packer/WavBuilder.h"
#include "tests/support/QXPContents.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

using testing_support::Compressible;
using testing_support::QXPBlob;
using testing_support::QXPContents;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using testing_support::WriteFileText;
using namespace wav_builder;
namespace fs = std::filesystem;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Noise(size_t n, uint32_t seed) {
  Bytes b(n);
  for (auto& c : b) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

// A 16-bit tone, the kind of sound the coder is made for.
Bytes Tone(size_t bytes) {
  Bytes b;
  for (size_t i = 0; b.size() < bytes; ++i)
    PutU16(b, static_cast<uint16_t>(static_cast<int16_t>(9000 * std::sin(0.05 * static_cast<double>(i)))));
  return b;
}

// Decodes an IMA-ADPCM payload as the game does (the first sample of a byte
// in its high nibble, a block's left codes before its right ones, the state
// carried from block to block) and gives the signal-to-noise ratio of its
// worst channel against the source, in dB.
double AdpcmSnr(const uint8_t* payload, const Bytes& pcm, size_t dataSize, size_t channels) {
  std::vector<TAdpcmState> states(channels);
  std::vector<double> signal(channels), noise(channels);
  for (size_t at = 0; at < dataSize; at += kAdpcmBlockBytes) {
    size_t samples = std::min(kAdpcmBlockBytes, dataSize - at) / 2 / channels;
    const uint8_t* codes = payload + at / kAdpcmBlockBytes * (kAdpcmBlockBytes / 4 + kAdpcmStateBytes);
    for (size_t c = 0; c < channels; ++c) {
      TAdpcmState& s = states[c];
      for (size_t i = 0; i < samples; ++i) {
        uint8_t pair = codes[c * samples / 2 + i / 2];
        int code = i % 2 ? pair & 15 : pair >> 4, step = kAdpcmStepTable[s.Index];
        int delta = (step >> 3) + (code & 4 ? step : 0) + (code & 2 ? step >> 1 : 0) + (code & 1 ? step >> 2 : 0);
        s.Predictor = static_cast<int16_t>(std::clamp(s.Predictor + (code & 8 ? -delta : delta), -32768, 32767));
        s.Index = static_cast<uint8_t>(std::clamp(s.Index + kAdpcmIndexTable[code], 0, 88));
        double source = static_cast<int16_t>(GetU16(pcm.data() + at + 2 * (i * channels + c)));
        signal[c] += source * source;
        noise[c] += (source - s.Predictor) * (source - s.Predictor);
      }
    }
  }
  double worst = INFINITY;
  for (size_t c = 0; c < channels; ++c) worst = std::min(worst, 10 * std::log10(signal[c] / noise[c]));
  return worst;
}

std::map<std::string, TQXPEntry> ByName(const TQXP& q) {
  std::map<std::string, TQXPEntry> m;
  for (const TQXPEntry& e : q.Entries) m[e.Name] = e;
  return m;
}

void MakeDirs(const std::string& root, std::initializer_list<const char*> dirs) {
  for (const char* d : dirs) fs::create_directories(root + "/" + d);
}

}  // namespace

TEST(QXPRanges, SplitExamplesAndCoverage) {
  struct Case {
    int count;
    std::vector<int> sizes;
  } cases[] = {
      {0, {0, 0, 0, 0, 0, 0, 0, 0}},  {3, {1, 1, 1, 0, 0, 0, 0, 0}},  {4, {1, 1, 1, 1, 0, 0, 0, 0}},
      {10, {2, 2, 1, 1, 1, 1, 1, 1}}, {12, {2, 2, 2, 2, 2, 2, 0, 0}}, {20, {3, 3, 3, 3, 2, 2, 2, 2}},
      {28, {4, 4, 4, 4, 4, 4, 4, 0}}, {36, {5, 5, 5, 5, 4, 4, 4, 4}}, {100, {13, 13, 13, 13, 12, 12, 12, 12}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitRanges(c.count, 8), c.sizes) << c.count;
  for (int workers : {1, 2, 3, 8}) {
    for (int count = 0; count <= 600; ++count) {
      std::vector<int> sizes = SplitRanges(count, workers);
      ASSERT_EQ(sizes.size(), static_cast<size_t>(workers));
      ASSERT_EQ(std::accumulate(sizes.begin(), sizes.end(), 0), count) << count << " over " << workers;
      for (int n : sizes) ASSERT_GE(n, 0) << count;
    }
  }
}

class MakeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    src = dir.File("mod");
    archive = dir.File("out.qxp");
    MakeDirs(src, {"data", "sounds/effects", "sfx/soundeffects", "deep/er"});
    text = Compressible(20000);
    noise = Noise(3000, 7);
    pcm16 = Tone(5000);
    WriteFileBytes(src + "/readme.txt", text);
    WriteFileBytes(src + "/data/noise.bin", noise);
    WriteFileBytes(src + "/data/empty.dat", {});
    WriteFileText(src + "/data/Thumbs.DB", "not packed");
    WriteFileText(src + "/deep/er/thumbs.db", "not packed either");
    WriteFileBytes(src + "/deep/er/x.txt", Text("tiny"));
    WriteFileBytes(src + "/sounds/music.WAV", Simple(2, pcm16));
    WriteFileBytes(src + "/sounds/effects/hit.wav", Simple(1, pcm16));
    WriteFileBytes(src + "/sfx/soundeffects/boom.wav", Simple(1, pcm16));
    WriteFileBytes(src + "/sounds/looped.wav",
                   Riff({Chunk("fmt ", Format(1, 22050, 16)), Chunk("data", pcm16), Chunk("cue ", Cue({100}))}));
    WriteFileBytes(src + "/sounds/eight.wav", Simple(1, Ramp(101), 11025, 8));
    // As sox writes them: six channels in the extensible format, and a
    // stream to a pipe that could not fill in its data size.
    WriteFileBytes(src + "/sounds/six.wav", Riff({Chunk("fmt ", Extensible(6, 22050, 16, 1)), Chunk("data", pcm16)}));
    WriteFileBytes(src + "/sounds/float.wav", Riff({Chunk("fmt ", Extensible(6, 22050, 32, 3)), Chunk("data", pcm16)}));
    WriteFileBytes(src + "/sounds/streamed.wav",
                   Riff({Chunk("fmt ", Format(1, 22050, 16)), Chunk("data", pcm16, true, 0xFFFFFFFFu)}));
  }

  // Files above the block threshold: one that compresses, read and coded
  // in blocks (the last one short), and one whose stream ends up longer.
  void AddLargeFiles() {
    large = Compressible(kZBlockThreshold + kZBlockSize / 2 + 5);
    largeNoise = Noise(kZBlockThreshold + 1, 11);
    WriteFileBytes(src + "/data/large.txt", large);
    WriteFileBytes(src + "/data/large.bin", largeNoise);
  }

  TempDir dir;
  std::string src, archive;
  Bytes text, noise, pcm16, large, largeNoise;
};

TEST_F(MakeFixture, MakeThenReadBack) {
  AddLargeFiles();
  {
    TQXP q;
    std::vector<std::pair<int, int>> progress;
    // Workers that run out take entries from the others: each row's counts
    // stay its own, and in the end they cover every entry once.
    int assigned = 0;
    q.OnProgress = [&](int done, int total) {
      progress.emplace_back(done, total);
      assigned = 0;
      for (const auto& t : q.Threads) {
        EXPECT_LE(t->DoneCount.load(), t->AssignedCount.load());
        assigned += t->AssignedCount.load();
      }
    };
    q.Make(archive, src);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(14, 14));
    EXPECT_EQ(assigned, 14);
    EXPECT_TRUE(q.Threads.empty());
  }
  Bytes file = ReadFileBytes(archive);
  TQXP q;
  ASSERT_EQ(q.Open(archive), TQXPReadStatus::Ok);
  EXPECT_EQ(q.Header.Count, 14);
  EXPECT_EQ(q.Header.TableSize, 14 * 152);
  EXPECT_FALSE(q.Header2.HasText);
  EXPECT_FALSE(q.Header2.Flag);

  // Depth first, names sorted without regard to case, thumbs.db left out.
  std::vector<std::string> names;
  for (const TQXPEntry& e : q.Entries) names.push_back(e.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"data\\empty.dat", "data\\large.bin", "data\\large.txt", "data\\noise.bin",
                                             "deep\\er\\x.txt", "readme.txt", "sfx\\soundeffects\\boom.wav",
                                             "sounds\\effects\\hit.wav", "sounds\\eight.wav", "sounds\\float.wav",
                                             "sounds\\looped.wav", "sounds\\music.WAV", "sounds\\six.wav",
                                             "sounds\\streamed.wav"}));

  auto e = ByName(q);
  struct Expect {
    const char* name;
    uint8_t method;
    Bytes content;  // for methods 0 and 2
  } plain[] = {
      {"readme.txt", kMethodZlib, text},       {"data\\noise.bin", kMethodStored, noise},
      {"data\\empty.dat", kMethodStored, {}},  {"deep\\er\\x.txt", kMethodStored, Text("tiny")},
      {"data\\large.txt", kMethodZlib, large}, {"data\\large.bin", kMethodStored, largeNoise},
  };
  for (const Expect& x : plain) {
    ASSERT_TRUE(e.count(x.name)) << x.name;
    const TQXPEntry& entry = e[x.name];
    EXPECT_EQ(entry.Method, x.method) << x.name;
    EXPECT_EQ(entry.OriginalSize, static_cast<int32_t>(x.content.size())) << x.name;
    EXPECT_EQ(QXPContents(file, entry), x.content) << x.name;
    EXPECT_EQ(entry.Signature, kQXPSignature);
    EXPECT_NE(entry.FileDate, 0) << x.name;
  }
  EXPECT_LT(e["readme.txt"].StoredSize, 20000);
  // The scrambled first word is not the zlib header any more.
  Bytes readme = QXPBlob(file, e["readme.txt"]);
  EXPECT_FALSE(readme[0] == 0x78 && readme[1] == 0xDA);

  struct Sound {
    const char* name;
    uint16_t channels, bits;
    uint8_t adpcm;
    int32_t dataSize, loopStart, loopEnd;
    uint16_t tag = 1;
  } sounds[] = {
      {"sounds\\music.WAV", 2, 16, 1, 5000 - 5000 % 8, -1, -1},
      {"sounds\\effects\\hit.wav", 1, 16, 0, 5000, -1, -1},
      {"sfx\\soundeffects\\boom.wav", 1, 16, 0, 5000, -1, -1},
      {"sounds\\looped.wav", 1, 16, 0, 5000, 200, 5000},
      {"sounds\\eight.wav", 1, 8, 0, 101, -1, -1},
      {"sounds\\six.wav", 6, 16, 0, 5000, -1, -1},
      {"sounds\\float.wav", 6, 32, 0, 5000, -1, -1, 3},
      {"sounds\\streamed.wav", 1, 16, 1, 5000, -1, -1},
  };
  for (const Sound& s : sounds) {
    const TQXPEntry& entry = e[s.name];
    EXPECT_EQ(entry.Method, kMethodWav) << s.name;
    Bytes blob = QXPBlob(file, entry);
    ASSERT_GE(blob.size(), kWavHeaderSize) << s.name;
    TWavHeader h = TWavHeader::ReadFrom(blob.data());
    EXPECT_EQ(h.Channels, s.channels) << s.name;
    EXPECT_EQ(h.BitsPerSample, s.bits) << s.name;
    EXPECT_EQ(h.Adpcm, s.adpcm) << s.name;
    EXPECT_EQ(h.DataSize, s.dataSize) << s.name;
    EXPECT_EQ(h.LoopStart, s.loopStart) << s.name;
    EXPECT_EQ(h.LoopEnd, s.loopEnd) << s.name;
    EXPECT_EQ(h.FmtSize, 16u);
    EXPECT_EQ(h.FormatTag, s.tag) << s.name;
    EXPECT_EQ(static_cast<size_t>(entry.StoredSize), kWavHeaderSize + static_cast<size_t>(h.PayloadSize)) << s.name;
    if (!s.adpcm) {
      EXPECT_EQ(h.PayloadSize, s.dataSize) << s.name;
      Bytes source = s.bits == 8 ? Ramp(101) : pcm16;
      EXPECT_EQ(Bytes(blob.begin() + kWavHeaderSize, blob.end()), source) << s.name;
    } else {
      EXPECT_EQ(h.PayloadSize, s.dataSize / 4 + 6 * ((s.dataSize + 2047) / 2048)) << s.name;
      // Coded as one channel, six channels would come back at about 17 dB.
      EXPECT_GT(AdpcmSnr(blob.data() + kWavHeaderSize, pcm16, static_cast<size_t>(h.DataSize), h.Channels), 25)
          << s.name;
    }
  }

  // Blobs do not overlap and end where the table begins.
  std::vector<std::pair<int32_t, int32_t>> spans;
  for (const TQXPEntry& x : q.Entries) spans.emplace_back(x.Offset, x.StoredSize);
  std::sort(spans.begin(), spans.end());
  int64_t end = 0;
  for (auto [offset, size] : spans) {
    EXPECT_EQ(offset, end);
    end = offset + size;
  }
  TQXPTrailer t = ReadQXPTrailer(file.data() + file.size() - kQXPTailProbe, kQXPTailProbe, TQXPTrailerRules::Packer);
  EXPECT_EQ(t.BlockVersion, '3');
  EXPECT_EQ(t.FlagByte & 1, 0);
  EXPECT_EQ(file[file.size() - t.Length + 4], 0);  // the u16 after "QXP3"
  EXPECT_EQ(end + q.Header.CompressedSize + 20 + static_cast<int64_t>(t.Length), static_cast<int64_t>(file.size()));
}

// Blobs lie in the order they were coded, but each is the same.
TEST_F(MakeFixture, OneWorkerWritesTheSameBlobs) {
  AddLargeFiles();
  TQXP eight, one;
  one.WorkerCount = 1;
  eight.Make(archive, src);
  one.Make(dir.File("one.qxp"), src);
  Bytes eightFile = ReadFileBytes(archive), oneFile = ReadFileBytes(dir.File("one.qxp"));
  ASSERT_EQ(eight.Entries.size(), one.Entries.size());
  for (size_t i = 0; i < one.Entries.size(); ++i) {
    EXPECT_EQ(eight.Entries[i].Name, one.Entries[i].Name);
    EXPECT_EQ(eight.Entries[i].StoredSize, one.Entries[i].StoredSize);
    EXPECT_EQ(eight.Entries[i].Method, one.Entries[i].Method);
    EXPECT_TRUE(QXPBlob(eightFile, eight.Entries[i]) == QXPBlob(oneFile, one.Entries[i])) << one.Entries[i].Name;
  }
}

TEST_F(MakeFixture, ArchiveInsideItsSourceIsNotPackedIntoItself) {
  std::string inside = src + "/data/self.qxp";
  TQXP first;
  first.Make(inside, src);
  EXPECT_EQ(first.Header.Count, 12);
  // The archive now exists in the folder being packed, and so does what a
  // killed run left beside it, which goes.
  WriteFileText(inside + ".new", "left by a killed run");
  TQXP second;
  second.Make(src + "\\data\\..\\data\\self.qxp", src);
  EXPECT_EQ(second.Header.Count, 12);
  EXPECT_FALSE(fs::exists(inside + ".new"));
  TQXP back;
  ASSERT_EQ(back.Open(inside), TQXPReadStatus::Ok);
  for (const TQXPEntry& e : back.Entries) EXPECT_NE(e.Name, "data\\self.qxp");
}

TEST_F(MakeFixture, FailuresNameTheCauseAndKeepThePreviousArchive) {
  Bytes previous = Text("an archive made before");
  std::function<void(int, int)> progress;
  struct Case {
    const char* what;
    std::function<void()> prepare;
    std::string source;
    const char* message;
  } cases[] = {
      {"missing source folder", [] {}, "nowhere", "Source folder not found"},
      {"no source folder", [] {}, "", "No source folder"},
      {"source of two characters", [] {}, "ab", "too short"},
      {"a drive", [] {}, "Z:", "The source folder \"Z:\" is a whole drive; name a folder on it"},
      {"a drive's root", [] {}, "z:\\", "is a whole drive"},
      {"a drive's root, the other separator twice", [] {}, "Z://", "is a whole drive"},
      {"a drive's root by its device path", [] {}, "\\\\?\\Z:\\", "is a whole drive"},
      {"a drive by its device path", [] {}, "\\\\.\\c:", "is a whole drive"},
      {"the current drive's root", [] {}, "\\\\\\", "is a whole drive"},
      {"name over 127 bytes", [&] { WriteFileText(src + "/data/" + std::string(123, 'n'), "x"); }, "mod",
       "is longer than 127 bytes"},
      {"folder too deep for any name",
       [&] {
         fs::create_directories(src + "/" + std::string(126, 'd'));
         WriteFileText(src + "/" + std::string(126, 'd') + "/f", "x");
       },
       "mod", "is longer than 127 bytes"},
      {"sound that is not a WAV file", [&] { WriteFileText(src + "/sounds/broken.wav", "RIFF....WAVEjunk"); }, "mod",
       "\"sounds\\broken.wav\": not a valid WAV file: the file holds 16 bytes, a RIFF header and a format chunk need "
       "36"},
      // The run goes on past a refused file, so that each one is named, in
      // the order of the table.
      {"two refused files",
       [&] {
         WriteFileText(src + "/sounds/broken.wav", "RIFF....WAVEjunk");
         WriteFileBytes(src + "/data/silence.wav", Simple(1, {}));
       },
       "mod",
       "Cannot pack 2 files:\n\"data\\silence.wav\": not a valid WAV file: the data chunk holds no samples (0 "
       "bytes)\n\"sounds\\broken.wav\": not a valid WAV file: the file holds 16 bytes, a RIFF header and a format "
       "chunk need 36"},
      {"progress display that throws",
       [&] { progress = [](int, int) { throw std::runtime_error("the console is gone"); }; }, "mod",
       "The progress display failed: the console is gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(archive, previous);
    c.prepare();
    TQXP q;
    q.OnProgress = progress;
    std::string source = c.source == "mod" || c.source == "nowhere" ? dir.File(c.source) : c.source;
    try {
      q.Make(archive, source);
      ADD_FAILURE() << "no error";
    } catch (const EQXPError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFileBytes(archive), previous);
    // Nothing the run wrote stays beside it.
    std::vector<std::string> left;
    for (const auto& item : fs::directory_iterator(dir.File(""))) left.push_back(item.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"mod", "out.qxp"}));
    // Undo the damage for the next case.
    fs::remove(src + "/data/" + std::string(123, 'n'));
    fs::remove_all(src + "/" + std::string(126, 'd'));
    fs::remove(src + "/sounds/broken.wav");
    fs::remove(src + "/data/silence.wav");
    progress = nullptr;
  }
  // A name of exactly 127 bytes is fine; so are what is never packed: a
  // folder at the limit holding only an empty folder or Thumbs.db, and a
  // link that leads nowhere.
  WriteFileText(src + "/data/" + std::string(122, 'k'), "x");
  fs::create_directories(src + "/" + std::string(126, 'e') + "/empty");
  fs::create_directories(src + "/" + std::string(126, 't'));
  WriteFileText(src + "/" + std::string(126, 't') + "/Thumbs.db", "x");
  std::error_code linked;
  fs::create_symlink(src + "/gone.dat", src + "/data/dangling.dat", linked);
  TQXP q;
  q.Make(archive, src);
  EXPECT_EQ(ByName(q).count("data\\" + std::string(122, 'k')), 1u);
  EXPECT_EQ(ByName(q).count("data\\dangling.dat"), 0u);
}

TEST_F(MakeFixture, FileVanishingBeforeItsTurnFailsTheRun) {
  TQXP q;
  bool removed = false;
  q.OnProgress = [&](int, int) {
    if (!removed) removed = fs::remove(src + "/sounds/looped.wav");
  };
  try {
    q.Make(archive, src);
    ADD_FAILURE() << "no error";
  } catch (const EQXPError& e) {
    EXPECT_NE(std::string(e.what()).find("\"sounds\\looped.wav\": the file cannot be opened"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(fs::exists(archive));
}

TEST_F(MakeFixture, ArchivePastTheSizeLimitIsRefused) {
  for (int64_t limit : {int64_t{100}, int64_t{20000}}) {
    TQXP q;
    q.MaxArchiveSize = limit;
    try {
      q.Make(archive, src);
      ADD_FAILURE() << "no error at " << limit;
    } catch (const EQXPError& e) {
      EXPECT_NE(std::string(e.what()).find("2 GiB"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(archive));
  }
  // The whole archive, tail included, at exactly the limit is accepted (one
  // worker, so that the blob order and the table are the same each time).
  TQXP full;
  full.WorkerCount = 1;
  full.Make(archive, src);
  int64_t size = static_cast<int64_t>(fs::file_size(archive));
  TQXP exact;
  exact.WorkerCount = 1;
  exact.MaxArchiveSize = size;
  exact.Make(archive, src);
  EXPECT_EQ(static_cast<int64_t>(fs::file_size(archive)), size);
}

TEST(QXPMake, EmptyFolderAndManyFiles) {
  TempDir dir;
  fs::create_directories(dir.File("empty"));
  TQXP empty;
  empty.Make(dir.File("e.qxp"), dir.File("empty"));
  TQXP back;
  ASSERT_EQ(back.Open(dir.File("e.qxp")), TQXPReadStatus::Ok);
  EXPECT_EQ(back.Header.Count, 0);
  EXPECT_EQ(back.Header.TableSize, 0);
  EXPECT_GT(back.Header.CompressedSize, 0);  // the zlib stream of nothing

  fs::create_directories(dir.File("many"));
  for (int i = 0; i < 137; ++i)
    WriteFileBytes(dir.File("many/f" + std::to_string(1000 + i)),
                   i % 3 ? Compressible(100 + i * 37) : Noise(50 + i, i));
  TQXP many;
  many.Make(dir.File("m.qxp"), dir.File("many") + "\\");
  Bytes file = ReadFileBytes(dir.File("m.qxp"));
  TQXP read;
  ASSERT_EQ(read.Open(dir.File("m.qxp")), TQXPReadStatus::Ok);
  ASSERT_EQ(read.Entries.size(), 137u);
  for (int i = 0; i < 137; ++i) {
    const TQXPEntry& e = read.Entries[static_cast<size_t>(i)];
    EXPECT_EQ(e.Name, std::string("f").append(std::to_string(1000 + i)));
    EXPECT_EQ(QXPContents(file, e), i % 3 ? Compressible(100 + i * 37) : Noise(50 + i, i)) << e.Name;
  }
}

TEST(QXPRead, DamagedArchivesAreRejectedWithoutOverRead) {
  TempDir dir;
  fs::create_directories(dir.File("src"));
  for (int i = 0; i < 5; ++i) WriteFileBytes(dir.File("src/f" + std::to_string(i)), Compressible(300 * (i + 1)));
  std::string path = dir.File("a.qxp");
  {
    TQXP q;
    q.Make(path, dir.File("src"));
  }
  const Bytes good = ReadFileBytes(path);
  TQXPTrailer t = ReadQXPTrailer(good.data() + good.size() - kQXPTailProbe, kQXPTailProbe, TQXPTrailerRules::Packer);
  size_t headerAt = good.size() - t.Length - kQXPHeaderSize;
  TQXPHeader h = TQXPHeader::ReadFrom(good.data() + headerAt);
  size_t tableAt = headerAt - static_cast<size_t>(h.CompressedSize);

  auto withHeader = [&](auto change) {
    Bytes b = good;
    TQXPHeader x = h;
    change(x);
    Bytes raw;
    x.WriteTo(raw);
    std::copy(raw.begin(), raw.end(), b.begin() + static_cast<ptrdiff_t>(headerAt));
    return b;
  };
  // A valid stream of a table holding only 4 of the 5 counted records.
  Bytes shortTable = [&] {
    Bytes table;
    ZInflate(good.data() + tableAt, static_cast<size_t>(h.CompressedSize), 1 << 20, table);
    table.resize(4 * kQXPEntrySize);
    Bytes z = ZCompress(table.data(), table.size());
    Bytes b = good;
    b.resize(tableAt);
    for (uint8_t c : z) b.push_back(c);
    TQXPHeader x = h;
    x.CompressedSize = static_cast<int32_t>(z.size());
    x.TableSize = static_cast<int32_t>(table.size());
    x.WriteTo(b);
    for (size_t i = good.size() - t.Length; i < good.size(); ++i) b.push_back(good[i]);
    return b;
  }();

  struct Case {
    const char* what;
    Bytes file;
    TQXPReadStatus status;
    std::string detail;
  } cases[] = {
      {"intact", good, TQXPReadStatus::Ok, ""},
      {"empty file", {}, TQXPReadStatus::InvalidHeader, "the header would begin at -20, before the file's start"},
      {"version 4", withHeader([](TQXPHeader& x) { x.Version = 4; }), TQXPReadStatus::InvalidVersion, "version 4"},
      {"reserved set", withHeader([](TQXPHeader& x) { x.Reserved = 1; }), TQXPReadStatus::InvalidHeader,
       "reserved field 1"},
      {"negative count", withHeader([](TQXPHeader& x) { x.Count = -1; }), TQXPReadStatus::InvalidHeader,
       "count -1 < 0"},
      {"huge count", withHeader([](TQXPHeader& x) { x.Count = 0x7FFFFFFF; }), TQXPReadStatus::InvalidTable,
       "2147483647 records need 326417514344 bytes, the table holds 760"},
      {"count above the table", withHeader([](TQXPHeader& x) { x.Count = 6; }), TQXPReadStatus::InvalidTable,
       "6 records need 912 bytes, the table holds 760"},
      {"negative compressed size", withHeader([](TQXPHeader& x) { x.CompressedSize = -5; }),
       TQXPReadStatus::InvalidHeader, "compressed size -5 < 0"},
      {"compressed size past the start", withHeader([](TQXPHeader& x) { x.CompressedSize = 0x7FFFFFFF; }),
       TQXPReadStatus::InvalidHeader,
       "compressed size 2147483647 > " + std::to_string(headerAt) + " bytes before the header"},
      {"compressed size cuts the stream", withHeader([](TQXPHeader& x) { x.CompressedSize -= 3; }),
       TQXPReadStatus::InvalidTable, "the table does not inflate: zlib: incorrect header check"},
      {"table size not what inflates", withHeader([](TQXPHeader& x) { x.TableSize += 152; }),
       TQXPReadStatus::InvalidTable, "the table inflates to 760 bytes, its header says 912"},
      {"table size below what inflates", withHeader([](TQXPHeader& x) {
         x.Count = 4;
         x.TableSize -= 152;
       }),
       TQXPReadStatus::InvalidTable, "the table inflates to more than the 608 bytes its header says"},
      {"table shorter than its count", shortTable, TQXPReadStatus::InvalidTable,
       "5 records need 760 bytes, the table holds 608"},
      {"garbage table",
       [&] {
         Bytes b = good;
         for (size_t i = tableAt; i < headerAt; ++i) b[i] ^= 0x5A;
         return b;
       }(),
       TQXPReadStatus::InvalidTable, "the table does not inflate: zlib: incorrect header check"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(path, c.file);
    TQXP q;
    EXPECT_EQ(q.Open(path), c.status) << c.what;
    EXPECT_EQ(q.Detail, c.detail) << c.what;
    if (c.status != TQXPReadStatus::Ok) {
      EXPECT_TRUE(q.Entries.empty()) << c.what;
    }
  }
  // Every cut of the file reads as damaged, never past its end; only cuts
  // that leave the header at the end, or "QXP3" at its place before it, are
  // still whole archives.
  for (size_t n = 0; n < good.size(); ++n) {
    WriteFileBytes(path, Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(n)));
    TQXP q;
    bool whole = n == headerAt + kQXPHeaderSize || n >= headerAt + kQXPHeaderSize + kLongTrailerHead;
    EXPECT_EQ(q.Open(path) == TQXPReadStatus::Ok, whole) << n;
    EXPECT_EQ(q.Entries.size(), whole ? 5u : 0u) << n;
  }
  EXPECT_THROW(TQXP().Open(dir.File("missing.qxp")), EQXPError);
}

TEST(QXPRead, TrailerVariantsGivePasswordAndFlag) {
  TempDir dir;
  fs::create_directories(dir.File("src"));
  WriteFileText(dir.File("src/a.txt"), "abc");
  std::string path = dir.File("a.qxp");
  TQXP maker;
  maker.Make(path, dir.File("src"));
  Bytes good = ReadFileBytes(path);
  TQXPTrailer t = ReadQXPTrailer(good.data() + good.size() - kQXPTailProbe, kQXPTailProbe, TQXPTrailerRules::Packer);
  Bytes body(good.begin(), good.end() - static_cast<ptrdiff_t>(t.Length));

  struct Case {
    const char* what;
    Bytes trailer;
    std::string text;
    bool flag;
  } cases[] = {
      {"none", {}, "", false},
      {"short", Text("QXP2Ab-9?xyz!"), "Ab9xyz", false},
      {"version 2, official", MakeLongTrailer(1, '2', 4, 5, "pw", 2), "pw", true},
      {"version 2, not official", MakeLongTrailer(1, '2', 4, 5, "pw", 0), "pw", false},
      {"version 3, bit 0 set", MakeLongTrailer(0, '3', 200, 100, "", 0xA5), "", true},
      {"version 3, bit 0 clear", MakeLongTrailer(0, '3', 200, 100, "x", 0xA4), "x", false},
  };
  for (const Case& c : cases) {
    Bytes file = body;
    file.insert(file.end(), c.trailer.begin(), c.trailer.end());
    WriteFileBytes(path, file);
    TQXP q;
    ASSERT_EQ(q.Open(path), TQXPReadStatus::Ok) << c.what;
    EXPECT_EQ(q.Header2.Text, c.text) << c.what;
    EXPECT_EQ(q.Header2.HasText, !c.text.empty()) << c.what;
    EXPECT_EQ(q.Header2.Flag, c.flag) << c.what;
    EXPECT_EQ(q.Entries.size(), 1u) << c.what;
  }
}
