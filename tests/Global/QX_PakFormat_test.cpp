#include "Global/QX_PakFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "Global/CRC.h"
#include "Global/KVLD_Encryption.h"
#include "platform/ByteOrder.h"

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TQXPTrailer Read(const Bytes& file, TQXPTrailerRules rules) {
  size_t n = file.size() < kQXPTailProbe ? file.size() : kQXPTailProbe;
  return ReadQXPTrailer(file.data() + file.size() - n, n, rules);
}

}  // namespace

TEST(QXPRecords, FieldsLieAtTheirOffsets) {
  TQXPHeader h{0x11223344, 152 * 3, 5, 3, 0};
  Bytes hb;
  h.WriteTo(hb);
  ASSERT_EQ(hb.size(), kQXPHeaderSize);
  EXPECT_EQ(GetU32(&hb[0]), 0x11223344u);
  EXPECT_EQ(GetU32(&hb[4]), 456u);
  EXPECT_EQ(GetU32(&hb[8]), 5u);
  EXPECT_EQ(GetU32(&hb[12]), 3u);
  TQXPHeader back = TQXPHeader::ReadFrom(hb.data());
  EXPECT_EQ(back.CompressedSize, h.CompressedSize);
  EXPECT_EQ(back.Count, 3);
  EXPECT_TRUE(back.Valid());

  TQXPEntry e;
  e.Method = kMethodZlib;
  e.Pad = 0x5A;
  e.FileDate = 0x5A2B6000;
  e.StoredSize = -2;
  e.OriginalSize = 1000;
  e.Offset = 0x01020304;
  e.Name = "sounds\\a.wav";
  Bytes eb;
  e.WriteTo(eb);
  ASSERT_EQ(eb.size(), kQXPEntrySize);
  EXPECT_EQ(eb[0], 0x0D);
  EXPECT_EQ(eb[1], 0x0A);
  EXPECT_EQ(eb[2], 2);
  EXPECT_EQ(GetU32(&eb[8]), 0xFFFFFFFEu);
  EXPECT_EQ(GetU32(&eb[16]), 0x01020304u);
  EXPECT_EQ(GetU32(&eb[20]), 0u);
  EXPECT_EQ(eb[24], 12);
  EXPECT_EQ(std::string(eb.begin() + 25, eb.begin() + 37), "sounds\\a.wav");
  EXPECT_TRUE(std::all_of(eb.begin() + 37, eb.end(), [](uint8_t c) { return c == 0; }));
  TQXPEntry eback = TQXPEntry::ReadFrom(eb.data());
  EXPECT_EQ(eback.Name, e.Name);
  EXPECT_EQ(eback.StoredSize, -2);
  EXPECT_EQ(eback.Pad, 0x5A);
  EXPECT_EQ(eback.FileDate, e.FileDate);

  TWavHeader w;
  w.RiffSize = 0xABCDEF;
  w.FormatTag = 1;
  w.Channels = 2;
  w.SampleRate = 22050;
  w.BytesPerSec = 88200;
  w.BlockAlign = 4;
  w.BitsPerSample = 16;
  w.DataSize = 4096;
  w.Adpcm = 1;
  w.LoopStart = 10;
  w.LoopEnd = -1;
  w.LoopEndIsDataSize = 1;
  w.PayloadSize = 1036;
  Bytes wb;
  w.WriteTo(wb);
  ASSERT_EQ(wb.size(), kWavHeaderSize);
  EXPECT_EQ(std::string(wb.begin(), wb.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(wb.begin() + 8, wb.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(GetU32(&wb[16]), 16u);
  EXPECT_EQ(std::string(wb.begin() + 36, wb.begin() + 40), "data");
  EXPECT_EQ(GetU32(&wb[40]), 4096u);
  EXPECT_EQ(wb[44], 1);
  EXPECT_EQ(GetU32(&wb[45]), 10u);
  EXPECT_EQ(GetU32(&wb[49]), 0xFFFFFFFFu);
  EXPECT_EQ(wb[53], 1);
  EXPECT_EQ(GetU32(&wb[54]), 1036u);
  Bytes again;
  TWavHeader::ReadFrom(wb.data()).WriteTo(again);
  EXPECT_EQ(again, wb);
}

TEST(QXPRecords, NamesNeverReachPastTheirBytes) {
  struct Case {
    size_t length;
    size_t stored;
  } cases[] = {{0, 0}, {1, 1}, {127, 127}, {128, 127}, {300, 127}};
  for (const Case& c : cases) {
    TQXPEntry e;
    e.Name.assign(c.length, 'n');
    Bytes b;
    e.WriteTo(b);
    ASSERT_EQ(b.size(), kQXPEntrySize) << c.length;
    EXPECT_EQ(b[24], c.stored) << c.length;
  }
  // A hostile length byte is taken as 127: the record's last byte is the
  // name's last, and nothing beyond the 152 bytes is read (ASan checks).
  Bytes record(kQXPEntrySize, 'x');
  record[24] = 255;
  auto exact = std::make_unique<uint8_t[]>(kQXPEntrySize);
  std::memcpy(exact.get(), record.data(), kQXPEntrySize);
  EXPECT_EQ(TQXPEntry::ReadFrom(exact.get()).Name, std::string(127, 'x'));
}

TEST(QXPRecords, ScrambleBlobXorsFirstWordWithCrcOfTheRest) {
  Bytes four = {1, 2, 3, 4};
  ScrambleBlob(four.data(), four.size());
  EXPECT_EQ(four, (Bytes{1, 2, 3, 4}));  // 4 bytes or less stay

  Bytes five = {0x78, 0xDA, 0x01, 0x02, 0x61};
  uint32_t crc = UpdateCRC32(0, "a", 1);
  Bytes scrambled = five;
  ScrambleBlob(scrambled.data(), scrambled.size());
  EXPECT_EQ(GetU32(scrambled.data()), GetU32(five.data()) ^ crc);
  EXPECT_EQ(scrambled[4], 0x61);
  ScrambleBlob(scrambled.data(), scrambled.size());
  EXPECT_EQ(scrambled, five);

  Bytes empty;
  ScrambleBlob(empty.data(), 0);
}

TEST(QXPRecords, EffectsFolderTestsOfEachProgram) {
  struct Case {
    const char* name;
    bool packer, setup;
  } cases[] = {
      {"sfx\\soundeffects\\a.wav", true, false},
      {"Effects\\a.wav", true, false},  // no backslash in front
      {"x\\Effects\\a.wav", true, true},
      {"x\\EFFECTS\\a.wav", true, false},
      {"x\\effects.wav", false, false},
      {"effects", false, false},
      {"music\\a.wav", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InPackerEffectsFolder(c.name), c.packer) << c.name;
    EXPECT_EQ(InSetupEffectsFolder(c.name), c.setup) << c.name;
  }
}

TEST(QXPTrailers, WrittenTrailersReadBackUnderBothRules) {
  Bytes body = Text("....table....header..........");
  for (char version : {'2', '3'}) {
    for (uint8_t flag : {0x00, 0x01, 0xFE}) {
      Bytes trailer = MakeLongTrailer(version == '2' ? 1 : 0, version, 200, 17, "Pass42", flag);
      EXPECT_EQ(Bytes(trailer.begin(), trailer.begin() + 4), Text("QXP3"));
      EXPECT_EQ(GetU16(&trailer[4]), version == '2' ? 1 : 0);
      EXPECT_EQ(Bytes(trailer.begin() + 6, trailer.begin() + 10), Text(std::string("EIH") + version));
      EXPECT_EQ(trailer.back(), flag);
      Bytes file = Concat({body, trailer});

      TQXPTrailer packer = Read(file, TQXPTrailerRules::Packer);
      EXPECT_EQ(packer.Length, trailer.size());
      EXPECT_TRUE(packer.Decoded);
      EXPECT_EQ(packer.BlockVersion, version);
      EXPECT_EQ(packer.Password, "Pass42");
      EXPECT_EQ(packer.FlagByte, flag);

      TQXPTrailer setup = Read(file, TQXPTrailerRules::Setup);
      EXPECT_EQ(setup.Length, trailer.size());
      // The installer reads only versions 1 and 2; a "3" block gives the
      // trailer length alone.
      EXPECT_EQ(setup.Decoded, version == '2');
      EXPECT_EQ(setup.Password, version == '2' ? "Pass42" : "");
    }
  }
  EXPECT_THROW(MakeLongTrailer(0, '3', 1, 1, std::string(42, 'p'), 0), std::length_error);
  EXPECT_EQ(MakeLongTrailer(0, '3', 1, 1, std::string(41, 'p'), 0).size(), kLongTrailerHead + kMaxPasswordBlock);
}

TEST(QXPTrailers, ReadingRulesAndDamagedTrailers) {
  Bytes body(40, 'b');
  // A version-1 block (no flag byte) with a one-byte password.
  TTarvoEncryptionType cipher(5, 6);
  std::string sealed = cipher.Encrypt("Z");
  Bytes v1 = Concat({Text("QXP3"), {0, 0}, Text("EIH1"), {5, 6, 1, 0}, Text(sealed)});
  // A version-2 block whose text length claims more than the file holds.
  Bytes overlong = Concat({Text("QXP3"), {1, 0}, Text("EIH2"), {5, 6, 200, 0}, Text("abc")});
  // Two trailers: an inner one with a block, then "QXP3" at the very end.
  Bytes inner = MakeLongTrailer(0, '3', 9, 9, "In", 1);
  Bytes twice = Concat({body, inner, Text("QXP3"), {0, 0}});

  struct Case {
    const char* what;
    Bytes file;
    TQXPTrailerRules rules;
    size_t length;
    bool decoded;
    std::string password;
  } cases[] = {
      {"no trailer", body, TQXPTrailerRules::Packer, 0, false, ""},
      {"no trailer (setup)", body, TQXPTrailerRules::Setup, 0, false, ""},
      {"short trailer", Concat({body, Text("QXP2abc123XYZ")}), TQXPTrailerRules::Packer, 13, false, "abc123XYZ"},
      {"short trailer, bytes skipped", Concat({body, Text(std::string("QXP2-ab_c\0de!", 13))}),
       TQXPTrailerRules::Packer, 13, false, "abcde"},
      {"short trailer, leading letters only", Concat({body, Text("QXP2ab_cde123")}), TQXPTrailerRules::Setup, 13, false,
       "ab"},
      {"short trailer starting with a blank", Concat({body, Text("QXP2 abcdefgh")}), TQXPTrailerRules::Setup, 13, false,
       ""},
      {"version 1 block", Concat({body, v1}), TQXPTrailerRules::Packer, v1.size(), true, "Z"},
      {"version 1 block (setup)", Concat({body, v1}), TQXPTrailerRules::Setup, v1.size(), true, "Z"},
      {"text past the end", Concat({body, overlong}), TQXPTrailerRules::Packer, overlong.size(), false, ""},
      {"\"QXP3\" at the very end", Concat({body, Text("QXP3"), {0, 0}}), TQXPTrailerRules::Packer, 6, false, ""},
      {"\"QXP3\" at the very end (setup)", Concat({body, Text("QXP3"), {0, 0}}), TQXPTrailerRules::Setup, 0, false, ""},
      {"farthest \"QXP3\" wins", twice, TQXPTrailerRules::Packer, inner.size() + 6, true, "In"},
      // The installer skips the one at the very end and finds the inner
      // trailer, whose version-3 block it does not decode.
      {"\"QXP3\" at the very end skipped (setup)", twice, TQXPTrailerRules::Setup, inner.size() + 6, false, ""},
      {"tiny file", Text("QXP3"), TQXPTrailerRules::Packer, 0, false, ""},
      {"empty file", Bytes{}, TQXPTrailerRules::Packer, 0, false, ""},
  };
  for (const Case& c : cases) {
    // The reader gets exactly the file's last bytes: ASan reports any read
    // outside them.
    size_t n = std::min(c.file.size(), kQXPTailProbe);
    auto tail = std::make_unique<uint8_t[]>(n);
    if (n) std::memcpy(tail.get(), c.file.data() + c.file.size() - n, n);
    TQXPTrailer t = ReadQXPTrailer(tail.get(), n, c.rules);
    EXPECT_EQ(t.Length, c.length) << c.what;
    EXPECT_EQ(t.Decoded, c.decoded) << c.what;
    EXPECT_EQ(t.Password, c.password) << c.what;
  }
}
