// The IMA-ADPCM coder of the game's sound blobs. It differs from the common
// WAV flavour: the first sample of each pair goes into the HIGH nibble, a
// stereo block holds all left codes and then all right codes, the channel
// state is carried from block to block (never reset), and each block ends
// with the state as it stands after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Global/ZCodec.h"

// PCM bytes per block, and the state bytes that follow each block's codes:
// left predictor (i16), left index, right predictor (i16), right index.
constexpr size_t kAdpcmBlockBytes = 2048;
constexpr size_t kAdpcmStateBytes = 6;

// The standard tables: the 89 step sizes, and the step index change of
// each 4-bit code.
extern const int16_t kAdpcmStepTable[89];
extern const int8_t kAdpcmIndexTable[16];

struct TAdpcmState {
  int16_t Predictor = 0;
  uint8_t Index = 0;
};

// Codes `count` samples taken `stride` apart into count/2 bytes (rounded up;
// an odd count leaves the last low nibble 0).
void EncodeAdpcmChannel(const int16_t* samples, uint8_t* out, size_t count, size_t stride, TAdpcmState& state);

// One block of `count` interleaved samples: one channel, or (stereo) the
// left channel's codes from `out` and the right's from out + count/4.
// Stereo needs an even count.
void EncodeAdpcmBlock(const int16_t* samples, uint8_t* out, size_t count, bool stereo, TAdpcmState& right,
                      TAdpcmState& left);

// Codes one sound's PCM into its payload piece by piece. A piece holds
// whole blocks, except the sound's last, which ends with the rest; the
// channel states carry from one piece to the next as from one block to the
// next, so the pieces' output joined is the payload of the whole sound. Two
// channels are coded as stereo, any other count as one channel.
class TAdpcmCoder {
 public:
  explicit TAdpcmCoder(uint16_t channels) : stereo_(channels == 2) {}
  // The payload bytes of n PCM bytes: their codes and each block's state.
  static size_t CodedSize(size_t n);
  // Codes n bytes of 16-bit little-endian PCM into CodedSize(n) bytes at
  // `out`. n is a multiple of 4 (of 8 for stereo), and of the block size
  // unless this is the sound's last piece.
  void Code(const uint8_t* pcm, size_t n, uint8_t* out);

 private:
  bool stereo_;
  TAdpcmState left_, right_;
  std::vector<int16_t> samples_;
};

// The whole payload of `dataSize` PCM bytes in one piece.
Bytes EncodeAdpcmBlocks(const uint8_t* pcm, size_t dataSize, uint16_t channels);
