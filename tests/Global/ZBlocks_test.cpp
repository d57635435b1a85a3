#include "Global/ZBlocks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "tests/support/TestData.h"

using testing_support::Compressible;
using testing_support::Random;

// Every size around the threshold and the block edges gives a stream that
// plain uncompress reads back, the same whether the contents come whole or
// in pieces; up to the threshold it is ZCompress's own.
TEST(ZBlocks, StreamsInflateWithPlainZlibAtEveryBlockEdge) {
  struct Case {
    size_t size;
    uint64_t blocks;
  } cases[] = {
      {kZBlockThreshold, 1},
      {kZBlockThreshold + 1, kZBlockThreshold / kZBlockSize + 1},  // a last block of one byte
      {kZBlockThreshold + kZBlockSize - 1, kZBlockThreshold / kZBlockSize + 1},
      {kZBlockThreshold + kZBlockSize, kZBlockThreshold / kZBlockSize + 1},  // whole blocks only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    for (const Bytes& contents : {Compressible(c.size), Random(c.size, 3)}) {
      Bytes stream = ZCompressContents(contents.data(), contents.size());
      EXPECT_EQ(ZBlockCount(c.size), c.blocks);
      if (!UsesZBlocks(c.size)) {
        EXPECT_EQ(stream, ZCompress(contents.data(), contents.size()));
      }
      // Handed over in pieces of any size, the contents make the same stream.
      Bytes pieces;
      TZBlockStream blocks(c.size, [&pieces](const uint8_t* p, size_t n) {
        pieces.insert(pieces.end(), p, p + n);
        return true;
      });
      for (size_t at = 0, n = 1; at < c.size; at += n, n = n * 7 + 3)
        ASSERT_TRUE(blocks.Add(contents.data() + at, std::min(n, c.size - at)));
      ASSERT_TRUE(blocks.Finish());
      EXPECT_TRUE(pieces == stream);
      TZBlockStream shortOfOne(c.size + 1, [](const uint8_t*, size_t) { return true; });
      shortOfOne.Add(contents.data(), c.size);
      EXPECT_FALSE(shortOfOne.Finish());
      Bytes back(contents.size());
      uLongf length = static_cast<uLongf>(back.size());
      ASSERT_EQ(uncompress(back.data(), &length, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
      EXPECT_EQ(length, contents.size());
      EXPECT_TRUE(back == contents);
    }
  }
}

// On text the blocks cost next to nothing against one whole-file stream.
TEST(ZBlocks, BlocksStayWithinHalfAPercentOfTheWholeStream) {
  std::mt19937 gen(5);
  const std::string words[] = {"texture ", "model ", "level ", "sound ", "the ", "of ", "mod ", "data\n"};
  Bytes contents;
  while (contents.size() < kZBlockThreshold + kZBlockSize) {
    const std::string& word = words[gen() % 8];
    contents.insert(contents.end(), word.begin(), word.end());
  }
  double blocked = static_cast<double>(ZCompressContents(contents.data(), contents.size()).size());
  double whole = static_cast<double>(ZCompress(contents.data(), contents.size()).size());
  EXPECT_LT(blocked / whole, 1.005);
}
