#include "packer/SWAV.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "tests/packer/WavBuilder.h"

using namespace wav_builder;

namespace {

// Parses a copy of exactly the file's bytes, so ASan reports any read
// outside them.
TWavFile Parse(const Bytes& file, Bytes* pcm = nullptr) {
  auto exact = std::make_unique<uint8_t[]>(file.size());
  if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
  TWavFile wav;
  ReadWavFromBuffer(exact.get(), file.size(), wav);
  if (pcm) {
    pcm->clear();
    if (wav.PcmData) pcm->assign(wav.PcmData, wav.PcmData + wav.Header.DataSize);
  }
  return wav;
}

}  // namespace

TEST(WavReader, AcceptedLayouts) {
  Bytes pcm = Ramp(40), odd = Ramp(9);
  Bytes list = Chunk("LIST", Ramp(5));  // odd: followed by a pad byte
  Bytes fmt = Chunk("fmt ", Format(1, 22050, 16)), fact = Chunk("fact", Ramp(4));
  struct Case {
    const char* what;
    Bytes file;
    Bytes pcm;
    uint16_t tag = 1;
  } cases[] = {
      {"canonical 44-byte header", Simple(1, pcm), pcm},
      {"format chunk of 18 bytes", Riff({Chunk("fmt ", Format(1, 22050, 16, 2)), Chunk("data", pcm)}), pcm},
      {"format chunk of 21 bytes, padded", Riff({Chunk("fmt ", Format(1, 22050, 16, 5)), Chunk("data", pcm)}), pcm},
      {"LIST between format and data", Riff({Chunk("fmt ", Format(2, 44100, 16)), list, Chunk("data", pcm)}), pcm},
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
       Riff({Chunk("fmt ", Extensible(6, 22050, 32, 1)), fact, Chunk("data", pcm)}), pcm},
      {"extensible float", Riff({Chunk("fmt ", Extensible(6, 22050, 32, 3)), fact, Chunk("data", pcm)}), pcm, 3},
      // Claims beyond the file are taken as the bytes that are there.
      {"data size left at 0x7FFFF000 by a stream to a pipe", Riff({fmt, Chunk("data", pcm, true, 0x7FFFF000)}), pcm},
      {"data size left at 0xFFFFFFFF", Riff({fmt, Chunk("data", pcm, true, 0xFFFFFFFFu)}), pcm},
      {"data larger than the file", Riff({fmt, Chunk("data", pcm, true, 41)}), pcm},
  };
  for (const Case& c : cases) {
    Bytes got;
    TWavFile wav = Parse(c.file, &got);
    ASSERT_TRUE(wav.Valid) << c.what;
    EXPECT_EQ(wav.Detail, "") << c.what;
    EXPECT_EQ(got, c.pcm) << c.what;
    EXPECT_EQ(wav.Header.FormatTag, c.tag) << c.what;
    EXPECT_EQ(wav.Header.FmtSize, 16u) << c.what;
    EXPECT_EQ(wav.Header.DataSize, static_cast<int32_t>(c.pcm.size())) << c.what;
    EXPECT_EQ(wav.Header.PayloadSize, wav.Header.DataSize) << c.what;
    EXPECT_EQ(wav.Header.Adpcm, 0) << c.what;
    EXPECT_EQ(std::string(wav.Header.DataId, 4), "data") << c.what;
    EXPECT_EQ(wav.Header.LoopStart, -1) << c.what;
  }
  TWavFile canonical = Parse(Simple(2, pcm, 44100));
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
      {"format chunk shorter than 16 bytes", Riff({Chunk("fmt ", Format(1, 8000, 16), true, 12), Chunk("data", pcm)}),
       "the format chunk holds 12 bytes, its fields need 16"},
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
      {"no format chunk first", Riff({Chunk("LIST", Ramp(16)), fmt, Chunk("data", pcm)}),
       "the first chunk is not the format chunk \"fmt \""},
  };
  for (const Case& c : cases) {
    TWavFile wav = Parse(c.file);
    EXPECT_FALSE(wav.Valid) << c.what;
    EXPECT_EQ(wav.PcmData, nullptr) << c.what;
    EXPECT_EQ(wav.Detail, c.detail) << c.what;
  }
}

TEST(WavReader, EveryTruncationReadsWithoutOverRead) {
  Bytes file = Riff({Chunk("fmt ", Format(2, 22050, 16, 2)), Chunk("LIST", Ramp(7)), Chunk("data", Ramp(64)),
                     Chunk("cue ", Cue({10, 20}))});
  size_t dataEnd = file.size() - 8 - 4 - 48, dataStart = dataEnd - 64;
  for (size_t n = 0; n < file.size(); ++n) {
    TWavFile wav = Parse(Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(n)));
    // A cut into the samples keeps those before it.
    EXPECT_EQ(wav.Valid, n > dataStart) << n;
    if (wav.Valid) {
      EXPECT_EQ(wav.Header.DataSize, static_cast<int32_t>(std::min(n, dataEnd) - dataStart)) << n;
      EXPECT_EQ(wav.Header.LoopStart, -1) << "cue chunk cut off at " << n;
    } else {
      EXPECT_NE(wav.Detail, "") << n;
    }
  }
  EXPECT_EQ(Parse(file).Header.LoopStart, 40);
}

TEST(WavReader, CuePoints) {
  Bytes fmt = Chunk("fmt ", Format(2, 22050, 16)), data = Chunk("data", Ramp(400));  // 4 bytes per frame
  struct Case {
    const char* what;
    std::vector<Bytes> after;  // chunks after the data
    int32_t start, end;
    uint8_t endIsDataSize;
  } cases[] = {
      {"none", {}, -1, -1, 0},
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
    std::vector<Bytes> chunks = {fmt, data};
    chunks.insert(chunks.end(), c.after.begin(), c.after.end());
    TWavFile wav = Parse(Riff(chunks));
    ASSERT_TRUE(wav.Valid) << c.what;
    EXPECT_EQ(wav.Header.LoopStart, c.start) << c.what;
    EXPECT_EQ(wav.Header.LoopEnd, c.end) << c.what;
    EXPECT_EQ(wav.Header.LoopEndIsDataSize, c.endIsDataSize) << c.what;
  }
}

TEST(WavReader, SampleRateOfZeroGivesNoLoopPoints) {
  Bytes file = Riff({Chunk("fmt ", Format(1, 0, 16)), Chunk("data", Ramp(8)), Chunk("cue ", Cue({1, 2}))});
  TWavFile wav = Parse(file);
  ASSERT_TRUE(wav.Valid);
  EXPECT_EQ(wav.Header.LoopStart, -1);
  EXPECT_EQ(wav.Header.LoopEnd, -1);
}

TEST(WavReader, OddChunksAreFollowedByTheirPadByte) {
  // Without the pad byte the walk would read "Xdat" as the next id.
  Bytes file = Riff({Chunk("fmt ", Format(1, 8000, 8)), Chunk("LIST", Ramp(3)), Chunk("data", Ramp(5)),
                     Chunk("junk", Ramp(1)), Chunk("cue ", Cue({3}))});
  TWavFile wav = Parse(file);
  ASSERT_TRUE(wav.Valid);
  EXPECT_EQ(wav.Header.DataSize, 5);
  EXPECT_EQ(wav.Header.LoopStart, 3);
  EXPECT_EQ(wav.Header.LoopEnd, 5);
}
