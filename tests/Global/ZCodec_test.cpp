#include "Global/ZCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(ZCodec, RoundTripAndLimits) {
  Bytes contents = Text(std::string(10000, 'x') + "tail");
  Bytes stream = ZCompress(contents.data(), contents.size());
  ASSERT_LT(stream.size(), contents.size());

  struct Case {
    size_t limit;
    size_t kept;
  } cases[] = {
      {contents.size(), contents.size()},       // exact room
      {contents.size() + 50, contents.size()},  // more room than needed
      {100, 100},                               // less: the rest is only counted
      {0, 0},
  };
  for (const Case& c : cases) {
    Bytes out;
    EXPECT_EQ(ZInflate(stream.data(), stream.size(), c.limit, out), contents.size()) << c.limit;
    ASSERT_EQ(out.size(), c.kept) << c.limit;
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
