// The IMA-ADPCM coder of the game's sound blobs. It differs from the common
// WAV flavour: the first sample of each pair goes into the HIGH nibble, a
// stereo block holds all left codes and then all right codes, the channel
// state is carried from block to block (never reset), and each block ends
// with the state as it stands after it.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The whole payload: `blocks` blocks of `blockSize` PCM bytes (the last one
// holding the rest) from 16-bit little-endian PCM of `dataSize` bytes, each
// followed by its state bytes. Two channels are coded as stereo, any other
// count as one channel. dataSize must already be rounded (a multiple of 4,
// or of 8 for other than one channel).
Bytes EncodeAdpcmBlocks(const uint8_t* pcm, size_t dataSize, uint16_t channels, size_t blockSize, size_t blocks);
