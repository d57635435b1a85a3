#include "Global/SWAV.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "tests/packer/WavBuilder.h"

using namespace wav_builder;

namespace {

struct Parsed {
  TWavFile wav;
  std::string why;
  Bytes pcm;
  bool Valid() const { return why.empty(); }
};

// Parses a copy of exactly the file's bytes, so ASan reports any read
// outside them.
Parsed Parse(const Bytes& file) {
  auto exact = std::make_unique<uint8_t[]>(file.size());
  if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
  Parsed p;
  TWavMemory source(exact.get(), file.size());
  p.why = ReadWav(source, p.wav);
  if (p.Valid()) p.pcm.assign(exact.get() + p.wav.DataAt, exact.get() + p.wav.DataAt + p.wav.Header.DataSize);
  return p;
}

// The blob coded in pieces of the given size.
Bytes Blob(const Bytes& file, bool inEffects, size_t pieceBytes = kWavPieceBytes) {
  TWavMemory source(file.data(), file.size());
  Bytes blob;
  std::string why = CodeWavBlob(
      source, inEffects, [&](const uint8_t* p, size_t n) { blob.insert(blob.end(), p, p + n); }, pieceBytes);
  EXPECT_EQ(why, "");
  return blob;
}

}  // namespace

TEST(WavReader, AcceptedLayouts) {
  Bytes pcm = Ramp(40), odd = Ramp(9);
  Bytes list = Chunk("LIST", Ramp(5));  // odd: followed by a pad byte
  Bytes fmt = Chunk("fmt ", Format(1, 22050, 16)), fact = Chunk("fact", Ramp(4));
  // The oldest format: no bits per sample, taken from the block alignment.
  Bytes oldest = Format(2, 22050, 16), oldest8 = Format(1, 8000, 8);
  oldest.resize(14);
  oldest8.resize(14);
  struct Case {
    const char* what;
    Bytes file;
    Bytes pcm;
    uint16_t tag = 1;
    uint16_t bits = 16;
  } cases[] = {
      {"canonical 44-byte header", Simple(1, pcm), pcm},
      {"format chunk of 18 bytes", Riff({Chunk("fmt ", Format(1, 22050, 16, 2)), Chunk("data", pcm)}), pcm},
      {"format chunk of 21 bytes, padded", Riff({Chunk("fmt ", Format(1, 22050, 16, 5)), Chunk("data", pcm)}), pcm},
      {"LIST between format and data", Riff({Chunk("fmt ", Format(2, 44100, 16)), list, Chunk("data", pcm)}), pcm},
      {"JUNK before the format", Riff({Chunk("JUNK", Ramp(28)), fmt, Chunk("data", pcm)}), pcm},
      {"bext before the format, as broadcast recorders write",
       Riff({Chunk("bext", Ramp(602)), fmt, Chunk("fact", Ramp(4)), Chunk("data", pcm)}), pcm},
      {"format after the data", Riff({Chunk("data", pcm), list, fmt}), pcm},
      {"format chunk of 14 bytes", Riff({Chunk("fmt ", oldest), Chunk("data", pcm)}), pcm},
      {"format chunk of 14 bytes, 8-bit mono", Riff({Chunk("fmt ", oldest8), Chunk("data", odd)}), odd, 1, 8},
      {"odd data size", Simple(1, odd), odd},
      {"odd data size, pad byte missing at the end",
       [&] {
         Bytes f = Simple(1, odd);
         f.pop_back();
         return f;
       }(),
       odd},
      // The stored header has the 16 common bytes only: it names the
      // samples by the sub-format's tag.
      {"extensible integer PCM, as sox writes 6 channels",
       Riff({Chunk("fmt ", Extensible(6, 22050, 32, 1)), fact, Chunk("data", pcm)}), pcm, 1, 32},
      {"extensible float", Riff({Chunk("fmt ", Extensible(6, 22050, 32, 3)), fact, Chunk("data", pcm)}), pcm, 3, 32},
      // Claims beyond the file are taken as the bytes that are there.
      {"data size left at 0x7FFFF000 by a stream to a pipe", Riff({fmt, Chunk("data", pcm, true, 0x7FFFF000)}), pcm},
      {"data size left at 0xFFFFFFFF", Riff({fmt, Chunk("data", pcm, true, 0xFFFFFFFFu)}), pcm},
      {"data larger than the file", Riff({fmt, Chunk("data", pcm, true, 41)}), pcm},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.file);
    ASSERT_TRUE(p.Valid()) << c.what << ": " << p.why;
    const TWavFile& wav = p.wav;
    EXPECT_EQ(p.pcm, c.pcm) << c.what;
    EXPECT_EQ(wav.Header.FormatTag, c.tag) << c.what;
    EXPECT_EQ(wav.Header.BitsPerSample, c.bits) << c.what;
    EXPECT_EQ(wav.Header.FmtSize, 16u) << c.what;
    EXPECT_EQ(wav.Header.DataSize, static_cast<int32_t>(c.pcm.size())) << c.what;
    EXPECT_EQ(wav.Header.PayloadSize, wav.Header.DataSize) << c.what;
    EXPECT_EQ(wav.Header.Adpcm, 0) << c.what;
    EXPECT_EQ(std::string(wav.Header.DataId, 4), "data") << c.what;
    EXPECT_EQ(wav.Header.LoopStart, -1) << c.what;
  }
  TWavFile canonical = Parse(Simple(2, pcm, 44100)).wav;
  EXPECT_EQ(canonical.Header.Channels, 2);
  EXPECT_EQ(canonical.Header.SampleRate, 44100u);
  EXPECT_EQ(canonical.Header.BytesPerSec, 176400u);
  EXPECT_EQ(canonical.Header.BlockAlign, 4);
  EXPECT_EQ(canonical.Header.BitsPerSample, 16);
  EXPECT_EQ(canonical.Header.RiffSize, 36u + 40u);
}

TEST(WavReader, RejectedFilesSayWhy) {
  Bytes pcm = Ramp(16), fmt = Chunk("fmt ", Format(1, 8000, 16));
  Bytes foreign = Extensible(6, 8000, 16, 1);
  foreign[30] = 0x11;  // a GUID of its own, not a tag's
  struct Case {
    const char* what;
    Bytes file;
    std::string detail;
  } cases[] = {
      {"empty", {}, "the file holds 0 bytes, a RIFF header and a format chunk need 36"},
      {"header only", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'},
       "the file holds 12 bytes, a RIFF header and a format chunk need 36"},
      {"no data chunk, chunks end at the end", Riff({fmt, Chunk("LIST", Ramp(4))}), "the file has no \"data\" chunk"},
      {"data of size 0, as sox writes for trim 0 0", Riff({fmt, Chunk("data", {})}),
       "the data chunk holds no samples (0 bytes)"},
      {"data claimed, none there", Riff({fmt, Chunk("data", {}, true, 0x7FFFF000)}),
       "the data chunk claims 2147479552 bytes, the file holds 0"},
      {"chunk before data larger than the file",
       Riff({fmt, Chunk("LIST", Ramp(4), true, 0x7FFFFFF0), Chunk("data", pcm)}),
       "a chunk before the data claims 2147483632 bytes, the file holds 28"},
      {"chunk before data with a size past 31 bits",
       Riff({fmt, Chunk("junk", Ramp(4), true, 0xFFFFFFF8u), Chunk("data", pcm)}),
       "a chunk before the data claims 4294967288 bytes, the file holds 28"},
      {"format chunk shorter than 14 bytes", Riff({Chunk("fmt ", Format(1, 8000, 16), true, 12), Chunk("data", pcm)}),
       "the format chunk holds 12 bytes, its fields need 14"},
      {"format chunk of 14 bytes whose block does not split over its channels",
       Riff({Chunk("fmt ", Bytes{1, 0, 2, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 3, 0}), Chunk("data", pcm)}),
       "the format chunk of 14 bytes has no bits per sample, and a block of 3 bytes over 2 channels gives no whole "
       "bytes per sample"},
      {"format chunk of 15 bytes without channels",
       Riff({Chunk("fmt ", Bytes{1, 0, 0, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 2, 0, 0}), Chunk("data", pcm)}),
       "the format chunk of 15 bytes has no bits per sample, and a block of 2 bytes over 0 channels gives no whole "
       "bytes per sample"},
      {"format chunk longer than the file", Riff({Chunk("fmt ", Format(1, 8000, 16), true, 4000), Chunk("data", pcm)}),
       "the format chunk claims 4000 bytes, the file holds 40"},
      {"extensible format without its sub-format",
       Riff({Chunk("fmt ", Bytes(foreign.begin(), foreign.begin() + 24)), Chunk("data", pcm)}),
       "the extensible format chunk holds 24 bytes, its sub-format needs 40"},
      {"extensible format whose sub-format has no tag", Riff({Chunk("fmt ", foreign), Chunk("data", pcm)}),
       "the extensible format's sub-format has no format tag"},
      {"not RIFF",
       [&] {
         Bytes f = Simple(1, pcm);
         f[0] = 'X';
         return f;
       }(),
       "the file does not begin with \"RIFF\""},
      {"not WAVE",
       [&] {
         Bytes f = Simple(1, pcm);
         f[8] = 'X';
         return f;
       }(),
       "the RIFF file is not of the form \"WAVE\""},
      {"no format chunk", Riff({Chunk("LIST", Ramp(16)), Chunk("data", pcm)}), "the file has no format chunk \"fmt \""},
      {"format chunk after the data larger than the file", Riff({Chunk("data", pcm), Chunk("fmt ", Ramp(16), true, 99)}),
       "the format chunk claims 99 bytes, the file holds 16"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.file).why, c.detail) << c.what;
}

TEST(WavReader, EveryTruncationReadsWithoutOverRead) {
  Bytes file = Riff({Chunk("fmt ", Format(2, 22050, 16, 2)), Chunk("LIST", Ramp(7)), Chunk("data", Ramp(64)),
                     Chunk("cue ", Cue({10, 20}))});
  size_t dataEnd = file.size() - 8 - 4 - 48, dataStart = dataEnd - 64;
  for (size_t n = 0; n < file.size(); ++n) {
    Parsed p = Parse(Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(n)));
    // A cut into the samples keeps those before it.
    EXPECT_EQ(p.Valid(), n > dataStart) << n;
    if (p.Valid()) {
      EXPECT_EQ(p.wav.Header.DataSize, static_cast<int32_t>(std::min(n, dataEnd) - dataStart)) << n;
      EXPECT_EQ(p.wav.Header.LoopStart, -1) << "cue chunk cut off at " << n;
    }
  }
  EXPECT_EQ(Parse(file).wav.Header.LoopStart, 40);
}

TEST(WavReader, CuePoints) {
  Bytes fmt = Chunk("fmt ", Format(2, 22050, 16)), data = Chunk("data", Ramp(400));  // 4 bytes per frame
  struct Case {
    const char* what;
    std::vector<Bytes> after;  // chunks after the data
    int32_t start, end;
    uint8_t endIsDataSize;
    std::vector<Bytes> before = {};  // chunks between the format and the data
  } cases[] = {
      {"none", {}, -1, -1, 0},
      {"a cue chunk before the data counts", {}, 40, 120, 0, {Chunk("cue ", Cue({10, 30}))}},
      {"the first cue chunk counts, before the data too",
       {Chunk("cue ", Cue({5}))},
       40,
       120,
       0,
       {Chunk("cue ", Cue({10, 30}))}},
      {"one cue point ends at the data size", {Chunk("cue ", Cue({25}))}, 100, 400, 1},
      {"two cue points", {Chunk("cue ", Cue({10, 30}))}, 40, 120, 0},
      {"two in falling order are swapped", {Chunk("cue ", Cue({30, 10}))}, 40, 120, 0},
      {"a third is ignored", {Chunk("cue ", Cue({1, 2, 3}))}, 4, 8, 0},
      {"LIST after the data is skipped", {Chunk("LIST", Ramp(11)), Chunk("cue ", Cue({5}))}, 20, 400, 1},
      {"only the first cue chunk counts", {Chunk("cue ", Cue({5})), Chunk("cue ", Cue({6, 7}))}, 20, 400, 1},
      {"count of zero", {Chunk("cue ", Cue({}))}, -1, -1, 0},
      {"count beyond the chunk", {Chunk("cue ", Cue({5, 6}, 3))}, -1, -1, 0},
      {"huge count", {Chunk("cue ", Cue({5}, 0xFFFFFFFFu))}, -1, -1, 0},
      {"cue chunk too short for its count", {Chunk("cue ", Bytes{1, 0})}, -1, -1, 0},
      {"cue chunk larger than the file", {Chunk("cue ", Cue({5}), true, 1000)}, -1, -1, 0},
      {"chunk size that does not fit ends the scan",
       {Chunk("LIST", Ramp(4), true, 0x7FFFFFFF), Chunk("cue ", Cue({5}))},
       -1,
       -1,
       0},
      {"negative chunk size ends the scan",
       {Chunk("LIST", Ramp(4), true, 0xFFFFFFF0u), Chunk("cue ", Cue({5}))},
       -1,
       -1,
       0},
      {"stray bytes after the data", {Bytes{1, 2, 3}}, -1, -1, 0},
      // A point past the data is dropped; one right at its end is kept.
      {"both points far past the data", {Chunk("cue ", Cue({1000000, 2000000}))}, -1, -1, 0},
      {"the second point past the data: the loop ends there", {Chunk("cue ", Cue({25, 101}))}, 100, 400, 1},
      {"the first point past the data: no loop", {Chunk("cue ", Cue({101, 25}))}, -1, -1, 0},
      {"a point at the end of the data", {Chunk("cue ", Cue({0, 100}))}, 0, 400, 0},
      {"a byte offset past 32 bits is past the data", {Chunk("cue ", Cue({0x40000001u}))}, -1, -1, 0},
  };
  for (const Case& c : cases) {
    std::vector<Bytes> chunks = {fmt};
    chunks.insert(chunks.end(), c.before.begin(), c.before.end());
    chunks.push_back(data);
    chunks.insert(chunks.end(), c.after.begin(), c.after.end());
    Parsed p = Parse(Riff(chunks));
    ASSERT_TRUE(p.Valid()) << c.what;
    const TWavFile& wav = p.wav;
    EXPECT_EQ(wav.Header.LoopStart, c.start) << c.what;
    EXPECT_EQ(wav.Header.LoopEnd, c.end) << c.what;
    EXPECT_EQ(wav.Header.LoopEndIsDataSize, c.endIsDataSize) << c.what;
  }
}

TEST(WavReader, SampleRateOfZeroGivesNoLoopPoints) {
  Bytes file = Riff({Chunk("fmt ", Format(1, 0, 16)), Chunk("data", Ramp(8)), Chunk("cue ", Cue({1, 2}))});
  TWavFile wav = Parse(file).wav;
  EXPECT_EQ(wav.Header.LoopStart, -1);
  EXPECT_EQ(wav.Header.LoopEnd, -1);
}

TEST(WavReader, OddChunksAreFollowedByTheirPadByte) {
  // Without the pad byte the walk would read "Xdat" as the next id.
  Bytes file = Riff({Chunk("fmt ", Format(1, 8000, 8)), Chunk("LIST", Ramp(3)), Chunk("data", Ramp(5)),
                     Chunk("junk", Ramp(1)), Chunk("cue ", Cue({3}))});
  TWavFile wav = Parse(file).wav;
  EXPECT_EQ(wav.Header.DataSize, 5);
  EXPECT_EQ(wav.Header.LoopStart, 3);
  EXPECT_EQ(wav.Header.LoopEnd, 5);
}

TEST(WavBlob, CodingRuleAndRounding) {
  struct Case {
    const char* what;
    uint16_t channels, bits;
    size_t dataSize;
    std::vector<Bytes> after;  // chunks after the data
    bool effects;
    uint8_t adpcm;
    int32_t roundedSize, payload;
  } cases[] = {
      {"mono 6 bytes: 4 coded, one block", 1, 16, 6, {}, false, 1, 4, 1 + 6},
      {"mono full block", 1, 16, 2048, {}, false, 1, 2048, 512 + 6},
      {"mono one byte into a second block", 1, 16, 2049 + 3, {}, false, 1, 2052, 513 + 12},
      {"stereo rounds to 8", 2, 16, 15, {}, false, 1, 8, 2 + 6},
      {"more than two channels stay PCM: the coder knows one and two", 6, 16, 36, {}, false, 0, 36, 36},
      {"too short to code", 1, 16, 3, {}, false, 1, 0, 0},
      {"8-bit stays PCM", 1, 8, 7, {}, false, 0, 7, 7},
      {"cue points keep PCM", 1, 16, 6, {Chunk("cue ", Cue({0, 3}))}, false, 0, 6, 6},
      {"one cue point keeps PCM", 1, 16, 6, {Chunk("cue ", Cue({1}))}, false, 0, 6, 6},
      {"effects folder keeps PCM", 2, 16, 13, {}, true, 0, 13, 13},
  };
  for (const Case& c : cases) {
    std::vector<Bytes> chunks = {Chunk("fmt ", Format(c.channels, 22050, c.bits)), Chunk("data", Ramp(c.dataSize))};
    chunks.insert(chunks.end(), c.after.begin(), c.after.end());
    Bytes blob = Blob(Riff(chunks), c.effects);
    ASSERT_EQ(blob.size(), kWavHeaderSize + static_cast<size_t>(c.payload)) << c.what;
    TWavHeader h = TWavHeader::ReadFrom(blob.data());
    EXPECT_EQ(h.Adpcm, c.adpcm) << c.what;
    EXPECT_EQ(h.DataSize, c.roundedSize) << c.what;
    EXPECT_EQ(h.PayloadSize, c.payload) << c.what;
    if (!c.adpcm) {
      EXPECT_EQ(Bytes(blob.begin() + kWavHeaderSize, blob.end()), Ramp(c.dataSize)) << c.what;
    }
  }
}

TEST(WavBlob, PiecesJoinToTheWholeSound) {
  // Stereo over a few pieces of two blocks, the last one short: the state
  // carries across pieces as across blocks.
  Bytes pcm;
  for (size_t i = 0; i < 5 * kAdpcmBlockBytes / 2 + 4; ++i)
    PutU16(pcm, static_cast<uint16_t>(9000 * ((i / 37) % 2 ? 1 : -1) + 50 * (i % 37)));
  Bytes file = Simple(2, pcm);
  Bytes whole = EncodeAdpcmBlocks(pcm.data(), pcm.size(), 2);
  Bytes blob = Blob(file, false, 2 * kAdpcmBlockBytes);
  ASSERT_EQ(blob.size(), kWavHeaderSize + whole.size());
  EXPECT_EQ(Bytes(blob.begin() + kWavHeaderSize, blob.end()), whole);
  EXPECT_EQ(Blob(file, false), blob);

  // A source that fails part way: the reason, after the pieces it gave.
  class Failing : public TWavMemory {
   public:
    using TWavMemory::TWavMemory;
    bool ReadAt(uint64_t pos, uint8_t* out, size_t n) override {
      return pos < 2 * kAdpcmBlockBytes && TWavMemory::ReadAt(pos, out, n);
    }
  } failing(file.data(), file.size());
  size_t handed = 0;
  EXPECT_EQ(CodeWavBlob(
                failing, false, [&](const uint8_t*, size_t n) { handed += n; }, 2 * kAdpcmBlockBytes),
            "the file cannot be read");
  EXPECT_EQ(handed, kWavHeaderSize + TAdpcmCoder::CodedSize(2 * kAdpcmBlockBytes));
}
