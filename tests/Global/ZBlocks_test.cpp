#include "Global/ZBlocks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "tests/support/TestData.h"

using testing_support::Compressible;
using testing_support::Random;

// Every size around the threshold and the block edges gives a stream that
// plain uncompress reads back; up to the threshold it is ZCompress's own.
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
