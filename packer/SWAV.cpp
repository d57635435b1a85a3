#include "packer/SWAV.h"

#include <cstring>
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

}  // namespace

void ReadWavFromBuffer(const uint8_t* buffer, size_t length, TWavFile& wav) {
  wav = TWavFile();
  Cursor in(buffer, length);
  // "RIFF", size, "WAVE", "fmt ", size and the 16 format bytes lie in the
  // file as in the stored header; the rest of the header is filled below.
  const uint8_t* head = in.Take(36);
  if (!head) return;
  uint8_t raw[kWavHeaderSize] = {};
  std::memcpy(raw, head, 36);
  wav.Header = TWavHeader::ReadFrom(raw);
  TWavHeader& h = wav.Header;
  h.LoopStart = h.LoopEnd = -1;
  // The 16 format bytes were read; a longer format chunk's extra bytes are
  // skipped and the header describes only the 16. A shorter one has lent
  // bytes of the next chunk to the format: not a usable file.
  if (h.FmtSize < 16 || !in.SkipChunk(h.FmtSize - 16)) return;
  h.FmtSize = 16;

  bool foundData = false;
  while (const uint8_t* chunk = in.Take(8)) {
    std::memcpy(h.DataId, chunk, 4);
    h.DataSize = static_cast<int32_t>(GetU32(chunk + 4));
    if (IdIs(h.DataId, "data")) {
      foundData = true;
      break;
    }
    if (h.DataSize < 0 || !in.SkipChunk(static_cast<uint32_t>(h.DataSize))) return;
  }
  h.PayloadSize = h.DataSize;
  wav.Valid = foundData && IdIs(h.RiffId, "RIFF") && IdIs(h.WaveId, "WAVE") && IdIs(h.FmtId, "fmt ") &&
              h.DataSize > 0 && static_cast<size_t>(h.DataSize) <= in.Left();
  if (!wav.Valid) return;
  wav.PcmData = buffer + in.Pos();
  in.SkipChunk(static_cast<uint32_t>(h.DataSize));
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
    uint32_t bytesPerSample = h.BytesPerSec / h.SampleRate;
    for (uint64_t k = 0; k < count && k < 2; ++k) {
      int32_t offset = static_cast<int32_t>(bytesPerSample * GetU32(body + 4 + 24 * k + 4));
      (k == 0 ? h.LoopStart : h.LoopEnd) = offset;
      (k == 0 ? haveStart : haveEnd) = true;
    }
    break;
  }
  if (haveStart && !haveEnd) {
    h.LoopEnd = h.DataSize;
    h.LoopEndIsDataSize = 1;
  } else if (haveStart && h.LoopEnd < h.LoopStart) {
    std::swap(h.LoopStart, h.LoopEnd);
  }
}
