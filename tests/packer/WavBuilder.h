// Builds RIFF WAV files chunk by chunk for the packer's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"

namespace wav_builder {

using Bytes = std::vector<uint8_t>;

inline void Id(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

// A chunk: id, u32 size (as given, so tests can lie), body, and a pad byte
// when the body's length is odd and `pad` is set.
inline Bytes Chunk(const char* id, const Bytes& body, bool pad = true, int64_t claimed = -1) {
  Bytes b;
  Id(b, id);
  PutU32(b, static_cast<uint32_t>(claimed >= 0 ? claimed : static_cast<int64_t>(body.size())));
  b.insert(b.end(), body.begin(), body.end());
  if (pad && body.size() % 2) b.push_back(0);
  return b;
}

inline Bytes Format(uint16_t channels, uint32_t rate, uint16_t bits, size_t extra = 0) {
  Bytes f;
  PutU16(f, 1);
  PutU16(f, channels);
  PutU32(f, rate);
  PutU32(f, rate * channels * bits / 8);
  PutU16(f, static_cast<uint16_t>(channels * bits / 8));
  PutU16(f, bits);
  if (extra) {
    PutU16(f, static_cast<uint16_t>(extra - 2));
    f.insert(f.end(), extra - 2, 0xEE);
  }
  return f;
}

// The 40-byte extensible format that sox writes for more than two channels
// or more than 16 bits: tag 0xFFFE, then the extra size, the valid bits, a
// channel mask and the sub-format's GUID, which begins with its own tag.
inline Bytes Extensible(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subTag) {
  Bytes f = Format(channels, rate, bits);
  f[0] = 0xFE;
  f[1] = 0xFF;
  PutU16(f, 22);
  PutU16(f, bits);
  PutU32(f, (1u << channels) - 1);
  PutU16(f, subTag);
  for (uint8_t b : {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) f.push_back(b);
  return f;
}

// A cue chunk body with the given sample positions.
inline Bytes Cue(const std::vector<uint32_t>& positions, int64_t claimedCount = -1) {
  Bytes c;
  PutU32(c, static_cast<uint32_t>(claimedCount >= 0 ? claimedCount : static_cast<int64_t>(positions.size())));
  for (size_t i = 0; i < positions.size(); ++i) {
    PutU32(c, static_cast<uint32_t>(i + 1));  // cue id
    PutU32(c, positions[i]);                  // play position: the one read
    Id(c, "data");
    PutU32(c, 0);
    PutU32(c, 0);
    // The sample offset differs from the play position, so that a reader
    // taking this field instead gets other loop points.
    PutU32(c, positions[i] + 1000);
  }
  return c;
}

// "RIFF", size, "WAVE", then the chunks.
inline Bytes Riff(const std::vector<Bytes>& chunks) {
  Bytes body;
  Id(body, "WAVE");
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b;
  Id(b, "RIFF");
  PutU32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

inline Bytes Ramp(size_t n, uint8_t start = 0) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(start + i * 7);
  return b;
}

// A canonical 16-bit file: format, then data.
inline Bytes Simple(uint16_t channels, const Bytes& pcm, uint32_t rate = 22050, uint16_t bits = 16) {
  return Riff({Chunk("fmt ", Format(channels, rate, bits)), Chunk("data", pcm)});
}

}  // namespace wav_builder
