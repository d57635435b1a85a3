#include "Global/QX_Adpcm.h"

#include <algorithm>
#include <cassert>
#include "platform/ByteOrder.h"

const int16_t kAdpcmStepTable[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int8_t kAdpcmIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

namespace {

uint8_t EncodeSample(int sample, TAdpcmState& state) {
  int step = kAdpcmStepTable[state.Index];
  int diff = sample - state.Predictor;
  uint8_t sign = 0;
  if (diff < 0) {
    sign = 8;
    diff = -diff;
  }
  uint8_t code = 0;
  int delta = step >> 3;
  if (diff >= step) {
    code = 4;
    diff -= step;
    delta += step;
  }
  if (diff >= step / 2) {
    code |= 2;
    diff -= step / 2;
    delta += step / 2;
  }
  if (diff >= step / 4) {
    code |= 1;
    delta += step / 4;
  }
  int predictor = sign ? state.Predictor - delta : state.Predictor + delta;
  state.Predictor = static_cast<int16_t>(std::clamp(predictor, -32768, 32767));
  code |= sign;
  state.Index = static_cast<uint8_t>(std::clamp(state.Index + kAdpcmIndexTable[code], 0, 88));
  return code;
}

void PutState(uint8_t* out, const TAdpcmState& s) {
  out[0] = static_cast<uint8_t>(s.Predictor);
  out[1] = static_cast<uint8_t>(static_cast<uint16_t>(s.Predictor) >> 8);
  out[2] = s.Index;
}

}  // namespace

void EncodeAdpcmChannel(const int16_t* samples, uint8_t* out, size_t count, size_t stride, TAdpcmState& state) {
  for (size_t i = 0; i < count; ++i) {
    uint8_t code = EncodeSample(samples[i * stride], state);
    if (i % 2 == 0)
      out[i / 2] = static_cast<uint8_t>(code << 4);
    else
      out[i / 2] |= code;
  }
}

void EncodeAdpcmBlock(const int16_t* samples, uint8_t* out, size_t count, bool stereo, TAdpcmState& right,
                      TAdpcmState& left) {
  if (!stereo) {
    EncodeAdpcmChannel(samples, out, count, 1, left);
    return;
  }
  assert(count % 2 == 0);
  EncodeAdpcmChannel(samples, out, count / 2, 2, left);
  EncodeAdpcmChannel(samples + 1, out + count / 4, count / 2, 2, right);
}

size_t TAdpcmCoder::CodedSize(size_t n) {
  return n / 4 + kAdpcmStateBytes * ((n + kAdpcmBlockBytes - 1) / kAdpcmBlockBytes);
}

void TAdpcmCoder::Code(const uint8_t* pcm, size_t n, uint8_t* out) {
  samples_.resize(kAdpcmBlockBytes / 2);
  for (size_t at = 0; at < n; at += kAdpcmBlockBytes) {
    size_t length = std::min(kAdpcmBlockBytes, n - at);
    // Samples are little-endian in the file whatever the host's byte order.
    for (size_t i = 0; i < length / 2; ++i) samples_[i] = static_cast<int16_t>(GetU16(pcm + at + 2 * i));
    EncodeAdpcmBlock(samples_.data(), out, length / 2, stereo_, right_, left_);
    PutState(out + length / 4, left_);
    PutState(out + length / 4 + 3, right_);
    out += length / 4 + kAdpcmStateBytes;
  }
}

Bytes EncodeAdpcmBlocks(const uint8_t* pcm, size_t dataSize, uint16_t channels) {
  Bytes out(TAdpcmCoder::CodedSize(dataSize));
  TAdpcmCoder(channels).Code(pcm, dataSize, out.data());
  return out;
}
