#include "packer/SWAV.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "platform/ByteOrder.h"

namespace {

// A read position that never moves past the end of its bytes.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size, size_t pos = 0) : data_(data), size_(size), pos_(pos > size ? size : pos) {}

  size_t Left() const { return size_ - pos_; }
  size_t Pos() const { return pos_; }
  // The next n bytes, or null (and no move) when fewer are left.
  const uint8_t* Take(size_t n) {
    if (n > Left()) return nullptr;
    const uint8_t* at = data_ + pos_;
    pos_ += n;
    return at;
  }
  // Skips a chunk's body and, for an odd size, its pad byte when present.
  bool SkipChunk(uint64_t size) {
    if (size > Left()) return false;
    pos_ += static_cast<size_t>(size);
    if (size % 2 && Left() > 0) ++pos_;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_, pos_;
};

bool IdIs(const char (&id)[4], const char* want) { return std::memcmp(id, want, 4) == 0; }

constexpr uint16_t kFormatExtensible = 0xFFFE;
// An extensible format chunk: the 16 common bytes, the extra size, the valid
// bits and the channel mask, then the sub-format's GUID.
constexpr uint32_t kExtensibleFormatSize = 40;
constexpr size_t kSubFormatAt = 24;
// The GUID of a sub-format that has a format tag: the tag in its first two
// bytes, then these.
constexpr uint8_t kTaggedSubFormat[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The stored header keeps only the 16 common format bytes, in which the
// extensible tag no longer says what the samples are; it names them by the
// sub-format's own tag instead (1 PCM, 3 float), as a 16-byte chunk would.
// `format` is the format chunk's body, all FmtSize bytes of it in the file.
// The refusal, or empty.
std::string TakeSubFormatTag(const uint8_t* format, TWavHeader& h) {
  if (h.FormatTag != kFormatExtensible) return "";
  if (h.FmtSize < kExtensibleFormatSize)
    return "the extensible format chunk holds " + std::to_string(h.FmtSize) + " bytes, its sub-format needs 40";
  const uint8_t* guid = format + kSubFormatAt;
  uint16_t tag = GetU16(guid);
  if (std::memcmp(guid + 2, kTaggedSubFormat, sizeof kTaggedSubFormat) != 0 || tag == kFormatExtensible)
    return "the extensible format's sub-format has no format tag";
  h.FormatTag = tag;
  return "";
}

}  // namespace

void ReadWavFromBuffer(const uint8_t* buffer, size_t length, TWavFile& wav) {
  using std::to_string;
  wav = TWavFile();
  auto refuse = [&wav](std::string why) { wav.Detail = std::move(why); };
  Cursor in(buffer, length);
  // "RIFF", size, "WAVE", "fmt ", size and the 16 format bytes lie in the
  // file as in the stored header; the rest of the header is filled below.
  const uint8_t* head = in.Take(36);
  if (!head) return refuse("the file holds " + to_string(length) + " bytes, a RIFF header and a format chunk need 36");
  uint8_t raw[kWavHeaderSize] = {};
  std::memcpy(raw, head, 36);
  wav.Header = TWavHeader::ReadFrom(raw);
  TWavHeader& h = wav.Header;
  h.LoopStart = h.LoopEnd = -1;
  if (!IdIs(h.RiffId, "RIFF")) return refuse("the file does not begin with \"RIFF\"");
  if (!IdIs(h.WaveId, "WAVE")) return refuse("the RIFF file is not of the form \"WAVE\"");
  if (!IdIs(h.FmtId, "fmt ")) return refuse("the first chunk is not the format chunk \"fmt \"");
  // A format chunk shorter than its 16 fields would lend them bytes of the
  // next chunk.
  if (h.FmtSize < 16) return refuse("the format chunk holds " + to_string(h.FmtSize) + " bytes, its fields need 16");
  if (h.FmtSize - 16 > in.Left())
    return refuse("the format chunk claims " + to_string(h.FmtSize) + " bytes, the file holds " +
                  to_string(16 + in.Left()));
  if (std::string why = TakeSubFormatTag(head + 20, h); !why.empty()) return refuse(why);
  // The header describes only the 16 format bytes; the rest is skipped.
  in.SkipChunk(h.FmtSize - 16);
  h.FmtSize = 16;

  const uint8_t* chunk;
  while ((chunk = in.Take(8)) && std::memcmp(chunk, "data", 4) != 0) {
    uint32_t size = GetU32(chunk + 4);
    if (!in.SkipChunk(size))
      return refuse("a chunk before the data claims " + to_string(size) + " bytes, the file holds " +
                    to_string(in.Left()));
  }
  if (!chunk) return refuse("the file has no \"data\" chunk");
  std::memcpy(h.DataId, chunk, 4);
  uint32_t claimed = GetU32(chunk + 4);
  if (claimed == 0) return refuse("the data chunk holds no samples (0 bytes)");
  if (in.Left() == 0) return refuse("the data chunk claims " + to_string(claimed) + " bytes, the file holds 0");
  // A writer that streams to a pipe cannot go back to fill in the size and
  // leaves a placeholder (0x7FFFF000, 0xFFFFFFFF), and a file cut short
  // claims what it lost: the sound is the bytes that are there, as players
  // read it.
  size_t size = std::min<size_t>(claimed, in.Left());
  if (size > static_cast<size_t>(INT32_MAX))
    return refuse("the data chunk holds " + to_string(size) + " bytes, more than an archive can hold");
  h.DataSize = h.PayloadSize = static_cast<int32_t>(size);
  wav.Valid = true;
  wav.PcmData = buffer + in.Pos();
  in.SkipChunk(size);
  ReadCuePoints(buffer, length, in.Pos(), wav);
}

void ReadCuePoints(const uint8_t* buffer, size_t length, size_t pos, TWavFile& wav) {
  TWavHeader& h = wav.Header;
  h.LoopStart = h.LoopEnd = -1;
  h.LoopEndIsDataSize = 0;
  bool haveStart = false, haveEnd = false;
  Cursor in(buffer, length, pos);
  while (const uint8_t* chunk = in.Take(8)) {
    int32_t size = static_cast<int32_t>(GetU32(chunk + 4));
    if (size < 0 || static_cast<size_t>(size) > in.Left()) break;
    if (std::memcmp(chunk, "cue ", 4) != 0) {
      in.SkipChunk(static_cast<uint32_t>(size));
      continue;
    }
    // Only the first cue chunk counts, and only when all its points lie in
    // it: a count beyond the chunk says nothing trustworthy about them.
    const uint8_t* body = in.Take(static_cast<size_t>(size));
    if (size < 4 || h.SampleRate == 0) break;
    uint64_t count = GetU32(body);
    if (count * 24 > static_cast<uint64_t>(size) - 4) break;
    uint64_t bytesPerSample = h.BytesPerSec / h.SampleRate;
    uint64_t dataSize = h.DataSize > 0 ? static_cast<uint64_t>(h.DataSize) : 0;
    for (uint64_t k = 0; k < count && k < 2; ++k) {
      // A point past the data would send a player seeking outside the
      // sound: it is dropped, as if the file did not have it.
      uint64_t offset = bytesPerSample * GetU32(body + 4 + 24 * k + 4);
      if (offset > dataSize) continue;
      (k == 0 ? h.LoopStart : h.LoopEnd) = static_cast<int32_t>(offset);
      (k == 0 ? haveStart : haveEnd) = true;
    }
    break;
  }
  if (!haveStart) {
    h.LoopEnd = -1;  // an end comes only with a start
  } else if (!haveEnd) {
    h.LoopEnd = h.DataSize;
    h.LoopEndIsDataSize = 1;
  } else if (h.LoopEnd < h.LoopStart) {
    std::swap(h.LoopStart, h.LoopEnd);
  }
}
