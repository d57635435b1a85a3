#include "Global/ZCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(ZCodec, RoundTripAndLimits) {
  Bytes contents = Text(std::string(100000, 'x') + "tail");
  Bytes stream = ZCompress(contents.data(), contents.size());
  ASSERT_LT(stream.size(), contents.size());

  struct Case {
    size_t limit;
    uint64_t countLimit = UINT64_MAX;
  } cases[] = {
      {contents.size()},       // exact room
      {contents.size() + 50},  // more room than needed
      {100},                   // less: the rest is only counted
      {0},
      {100, contents.size()},  // counted to the end: the whole length
      {100, 50000},            // counting stops once past 50000
      {3000, 1999},            // and so does inflating
  };
  for (const Case& c : cases) {
    Bytes out;
    uint64_t length = ZInflate(stream.data(), stream.size(), c.limit, out, c.countLimit);
    if (c.countLimit < contents.size()) {
      EXPECT_GT(length, c.countLimit) << c.limit;
      EXPECT_LT(length, contents.size()) << c.limit;
    } else {
      EXPECT_EQ(length, contents.size()) << c.limit;
    }
    ASSERT_EQ(out.size(), std::min<uint64_t>(length, c.limit)) << c.limit;
    EXPECT_TRUE(std::equal(out.begin(), out.end(), contents.begin()));
  }
}

TEST(ZCodec, DamagedStreamsRaise) {
  Bytes contents = Text(std::string(5000, 'a') + std::string(5000, 'b'));
  Bytes stream = ZCompress(contents.data(), contents.size());
  Bytes out;

  Bytes truncated(stream.begin(), stream.begin() + stream.size() / 2);
  EXPECT_THROW(ZInflate(truncated.data(), truncated.size(), contents.size(), out), EZlibError);

  Bytes garbage = Text("this is not a zlib stream");
  EXPECT_THROW(ZInflate(garbage.data(), garbage.size(), 100, out), EZlibError);

  EXPECT_THROW(ZInflate(nullptr, 0, 100, out), EZlibError);
}
