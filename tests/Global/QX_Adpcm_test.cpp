#include "Global/QX_Adpcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/ByteOrder.h"

namespace {

Bytes Pcm(const std::vector<int16_t>& samples) {
  Bytes b;
  for (int16_t s : samples) PutU16(b, static_cast<uint16_t>(s));
  return b;
}

std::vector<int16_t> Tone(size_t n, double period, double amplitude, double phase = 0) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(amplitude * std::sin(phase + 6.283185307 * i / period));
  return s;
}

}  // namespace

// Worked by hand from the step and index tables:
//   1000 from (0, 0): step 7 -> code 7, predictor 11, index 8;
//   0 from (11, 8):   step 16, diff -11 -> code 8|2, predictor 1, index 7;
//   -1000 from (0,0): code 8|7, predictor -11, index 8;
//   0 from (-11, 8):  code 2, predictor -1, index 7.
TEST(ImaAdpcm, HandCheckedBlocks) {
  struct Case {
    const char* what;
    std::vector<int16_t> samples;
    uint16_t channels;
    Bytes payload;
  } cases[] = {
      {"mono: first sample in the high nibble", {1000, 0}, 1, {0x7A, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00}},
      {"stereo: left codes, then right codes, then both states",
       {1000, -1000, 0, 0},
       2,
       {0x7A, 0xF2, 0x01, 0x00, 0x07, 0xFF, 0xFF, 0x07}},
      {"silence keeps the index at 0", {0, 0, 0, 0}, 1, {0x00, 0x00, 0, 0, 0, 0, 0, 0}},
      // 0 from (1, 7): diff -1 -> code 8, predictor 0, index 6; 0 from (0, 6):
      // code 0 but delta 13 >> 3 = 1 is still added: predictor 1, index 5.
      {"more than two channels coded as one", {1000, 0, 0, 0}, 4, {0x7A, 0x80, 0x01, 0x00, 0x05, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Bytes pcm = Pcm(c.samples);
    Bytes out = EncodeAdpcmBlocks(pcm.data(), pcm.size(), c.channels);
    EXPECT_EQ(out, c.payload) << c.what;
  }
}

TEST(ImaAdpcm, OddSampleCountEndsWithEmptyLowNibble) {
  std::vector<int16_t> s = {1000, 0, 1000};
  uint8_t out[2] = {0xFF, 0xFF};
  TAdpcmState state;
  EncodeAdpcmChannel(s.data(), out, 3, 1, state);
  EXPECT_EQ(out[0], 0x7A);
  EXPECT_EQ(out[1] & 0x0F, 0);
}

TEST(ImaAdpcm, StateCarriesAcrossBlocksAndIsStoredAfterEach) {
  // Three blocks of a mono tone, the last one short.
  std::vector<int16_t> samples = Tone(1024 + 1024 + 100, 37.5, 12000);
  Bytes pcm = Pcm(samples);
  Bytes out = EncodeAdpcmBlocks(pcm.data(), pcm.size(), 1);
  ASSERT_EQ(out.size(), pcm.size() / 4 + 3 * kAdpcmStateBytes);

  // The same samples coded as one run, with one state that is never reset.
  std::vector<uint8_t> codes(samples.size() / 2);
  TAdpcmState run;
  std::vector<TAdpcmState> after;
  for (size_t block = 0; block < 3; ++block) {
    size_t first = block * 1024, n = std::min<size_t>(1024, samples.size() - first);
    EncodeAdpcmChannel(samples.data() + first, codes.data() + first / 2, n, 1, run);
    after.push_back(run);
  }
  for (size_t block = 0; block < 3; ++block) {
    size_t start = block * (512 + kAdpcmStateBytes);
    size_t n = block < 2 ? 512 : 50;
    EXPECT_TRUE(std::equal(codes.begin() + block * 512, codes.begin() + block * 512 + n, out.begin() + start))
        << "codes of block " << block;
    const uint8_t* state = out.data() + start + n;
    EXPECT_EQ(static_cast<int16_t>(GetU16(state)), after[block].Predictor) << block;
    EXPECT_EQ(state[2], after[block].Index) << block;
    EXPECT_EQ(GetU16(state + 3), 0) << "right half of a mono state";
    EXPECT_EQ(state[5], 0);
  }
  // A reset at the block edge would start block 1 from index 0: the coded
  // tone has long left the smallest step by then.
  EXPECT_GT(after[0].Index, 10);
}

TEST(ImaAdpcm, StereoCodesEachChannelOnItsOwn) {
  std::vector<int16_t> left = Tone(512 + 4, 20, 9000), right = Tone(512 + 4, 51, 3000, 1.0);
  std::vector<int16_t> mixed;
  for (size_t i = 0; i < left.size(); ++i) {
    mixed.push_back(left[i]);
    mixed.push_back(right[i]);
  }
  Bytes pcm = Pcm(mixed);
  Bytes out = EncodeAdpcmBlocks(pcm.data(), pcm.size(), 2);
  ASSERT_EQ(out.size(), pcm.size() / 4 + 2 * kAdpcmStateBytes);

  for (const auto& [channel, offset] : {std::pair{&left, size_t{0}}, std::pair{&right, size_t{256}}}) {
    // Block 0 holds 512 frames: 256 code bytes per channel.
    std::vector<uint8_t> codes(channel->size() / 2);
    TAdpcmState state;
    EncodeAdpcmChannel(channel->data(), codes.data(), 512, 1, state);
    EXPECT_TRUE(std::equal(codes.begin(), codes.begin() + 256, out.begin() + offset));
    // Block 1: the 4 remaining frames, 2 code bytes per channel, left first.
    EncodeAdpcmChannel(channel->data() + 512, codes.data() + 256, 4, 1, state);
    EXPECT_TRUE(std::equal(codes.begin() + 256, codes.begin() + 258, out.begin() + 518 + offset / 128));
    const uint8_t* stored = out.data() + 518 + 4 + (offset ? 3 : 0);
    EXPECT_EQ(static_cast<int16_t>(GetU16(stored)), state.Predictor);
    EXPECT_EQ(stored[2], state.Index);
  }
}

TEST(ImaAdpcm, PredictorAndIndexStayInRange) {
  struct Case {
    int16_t sample;
  } cases[] = {{32767}, {-32768}};
  for (const Case& c : cases) {
    TAdpcmState state;
    for (int i = 0; i < 200; ++i) {
      uint8_t code;
      EncodeAdpcmChannel(&c.sample, &code, 1, 1, state);
      ASSERT_LE(state.Index, 88);
      // Without clamping, an overshoot wraps the 16-bit predictor to the
      // other sign.
      if (c.sample > 0)
        ASSERT_GE(state.Predictor, 0) << i;
      else
        ASSERT_LE(state.Predictor, 0) << i;
    }
  }
  // Alternating extremes drive the index to its top and keep it there.
  TAdpcmState state;
  for (int i = 0; i < 100; ++i) {
    int16_t s = i % 2 ? -32768 : 32767;
    uint8_t code;
    EncodeAdpcmChannel(&s, &code, 1, 1, state);
  }
  EXPECT_EQ(state.Index, 88);
}
