#include "platform/buffer_type.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(BufferManager, ReadAllocTakesWhatIsLeft) {
  Bytes data = Text("0123456789");
  TBufferManager in(data.data(), static_cast<uint32_t>(data.size()));
  in.Seek(6);
  uint32_t count = 99;
  EXPECT_EQ(in.ReadAlloc(10, count), Text("6789"));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(in.Position, 10u);
  EXPECT_TRUE(in.ReadAlloc(10, count).empty());
  EXPECT_EQ(count, 0u);

  in.Seek(2);
  EXPECT_TRUE(in.ReadAlloc(0, count).empty());
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(in.Position, 2u);
  EXPECT_EQ(in.ReadBlock(3), Text("234"));

  TBufferManager empty(nullptr, 0);
  EXPECT_TRUE(empty.ReadBlock(1).empty());
  EXPECT_EQ(empty.Position, 0u);
}

TEST(BufferManager, ReadAndSeekStayInsideTheBlock) {
  Bytes data = Text("abcdef");
  TBufferManager in(data.data(), static_cast<uint32_t>(data.size()));
  char dest[8] = "xxxxxxx";
  EXPECT_EQ(in.Read(4, dest), 4u);
  EXPECT_EQ(std::string(dest), "abcdxxx");
  EXPECT_EQ(in.Read(4, dest), 2u);  // only two left
  EXPECT_EQ(std::string(dest), "efcdxxx");
  std::memcpy(dest, "zzzzzzz", 8);
  EXPECT_EQ(in.Read(4, dest), 0u);  // at the end: untouched
  EXPECT_EQ(std::string(dest), "zzzzzzz");

  in.Seek(100);  // never past the end
  EXPECT_EQ(in.Position, 6u);
  EXPECT_EQ(in.Left(), 0u);
  in.Seek(1);
  EXPECT_EQ(in.Left(), 5u);
}

TEST(StoredValues, ReadWholeValuesLittleEndian) {
  Bytes data = {0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 'a', 'b', 'c', 0, 0};
  TBufferManager in(data.data(), static_cast<uint32_t>(data.size()));
  uint16_t w;
  int32_t i;
  std::string s = "old";
  EXPECT_TRUE(ReadWord(in, w));
  EXPECT_EQ(w, 0x1234);
  EXPECT_TRUE(ReadInt(in, i));
  EXPECT_EQ(i, -2);
  EXPECT_TRUE(ReadStr(in, s));
  EXPECT_EQ(s, "abc");
  EXPECT_TRUE(ReadStr(in, s));  // length 0
  EXPECT_EQ(s, "");
  EXPECT_EQ(in.Left(), 0u);
}

TEST(StoredValues, ValuesCutShortAreReportedAndNotOverread) {
  struct Case {
    Bytes data;
    int kind;          // 0 word, 1 int, 2 string
    std::string text;  // what a cut string still holds
  };
  const Case cases[] = {
      {{}, 0, ""},
      {{0x01}, 0, ""},
      {{}, 1, ""},
      {{1, 2, 3}, 1, ""},
      {{}, 2, ""},
      {{5}, 2, ""},                       // the count itself is cut
      {{5, 0, 'a', 'b', 'c'}, 2, "abc"},  // two bytes missing
      {{0xFF, 0xFF, 'x'}, 2, "x"},        // a huge count over a tiny block
  };
  for (const Case& c : cases) {
    // A copy of exactly the case's size, so ASan sees any over-read.
    Bytes exact(c.data);
    TBufferManager in(exact.data(), static_cast<uint32_t>(exact.size()));
    uint16_t w = 7;
    int32_t i = 7;
    std::string s = "old";
    bool ok = c.kind == 0 ? ReadWord(in, w) : c.kind == 1 ? ReadInt(in, i) : ReadStr(in, s);
    EXPECT_FALSE(ok);
    EXPECT_EQ(in.Left(), 0u);
    EXPECT_EQ(w, c.kind == 0 ? 0 : 7);
    EXPECT_EQ(i, c.kind == 1 ? 0 : 7);
    EXPECT_EQ(s, c.kind == 2 ? c.text : "old");
  }
}

TEST(StoredValues, LongestStringRoundTrips) {
  Bytes out;
  EXPECT_TRUE(PutStr(out, std::string(65535, 'q')));
  EXPECT_FALSE(PutStr(out, std::string(65536, 'q')));  // refused, nothing appended
  ASSERT_EQ(out.size(), 2u + 65535u);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0xFF);
  TBufferManager in(out.data(), static_cast<uint32_t>(out.size()));
  std::string s;
  EXPECT_TRUE(ReadStr(in, s));
  EXPECT_EQ(s, std::string(65535, 'q'));
}
