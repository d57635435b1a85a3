#include "Global/SWAV.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/ByteOrder.h"

using std::to_string;

bool TWavMemory::ReadAt(uint64_t pos, uint8_t* out, size_t n) {
  if (pos > size_ || n > size_ - pos) return false;
  if (n) std::memcpy(out, data_ + pos, n);
  return true;
}

bool TWavFileRange::ReadAt(uint64_t pos, uint8_t* out, size_t n) {
  if (pos > size_ || n > size_ - pos) return false;
  int64_t at = base_ + static_cast<int64_t>(pos);
  return file_.Seek(at, platform::SeekOrigin::Begin) == at && file_.Read(out, n) == n;
}

namespace {

constexpr size_t kRiffHeaderSize = 12;
constexpr size_t kChunkHeaderSize = 8;
// The format fields: tag, channels, rate, bytes per second, block
// alignment, then the bits per sample that the oldest form lacks.
constexpr uint32_t kFormatFields = 16;
constexpr uint32_t kOldestFormatFields = 14;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// An extensible format chunk: the 16 common bytes, the extra size, the valid
// bits and the channel mask, then the sub-format's GUID.
constexpr uint32_t kExtensibleFormatSize = 40;
constexpr size_t kSubFormatAt = 24;
// The GUID of a sub-format that has a format tag: the tag in its first two
// bytes, then these.
constexpr uint8_t kTaggedSubFormat[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// A cue chunk: the count, then 24 bytes a point, the sample position at 4.
constexpr size_t kCuePointSize = 24;
constexpr size_t kCuePointsRead = 2;

bool IdIs(const uint8_t* id, const char* want) { return std::memcmp(id, want, 4) == 0; }

// Where one chunk's body lies and what it claims.
struct TChunk {
  bool Found = false;
  uint64_t At = 0;
  uint32_t Size = 0;
};

// The stored header keeps only the 16 common format bytes, in which the
// extensible tag no longer says what the samples are; it names them by the
// sub-format's own tag instead (1 PCM, 3 float), as a 16-byte chunk would.
// `format` holds the first min(FmtSize, 40) bytes of the chunk's body.
// The refusal, or empty.
std::string TakeSubFormatTag(const uint8_t* format, uint32_t fmtSize, TWavHeader& h) {
  if (h.FormatTag != kFormatExtensible) return "";
  if (fmtSize < kExtensibleFormatSize)
    return "the extensible format chunk holds " + to_string(fmtSize) + " bytes, its sub-format needs 40";
  const uint8_t* guid = format + kSubFormatAt;
  uint16_t tag = GetU16(guid);
  if (std::memcmp(guid + 2, kTaggedSubFormat, sizeof kTaggedSubFormat) != 0 || tag == kFormatExtensible)
    return "the extensible format's sub-format has no format tag";
  h.FormatTag = tag;
  return "";
}

// The format fields from the chunk's body (at least the oldest form's 14
// bytes); the refusal, or empty.
std::string TakeFormat(const uint8_t* format, uint32_t fmtSize, TWavHeader& h) {
  h.FormatTag = GetU16(format);
  h.Channels = GetU16(format + 2);
  h.SampleRate = GetU32(format + 4);
  h.BytesPerSec = GetU32(format + 8);
  h.BlockAlign = GetU16(format + 12);
  if (fmtSize >= kFormatFields) {
    h.BitsPerSample = GetU16(format + 14);
  } else {
    // The oldest form has no bits per sample: a block holds one sample of
    // each channel, so they follow from its size where it splits evenly.
    std::string head = "the format chunk of " + to_string(fmtSize) + " bytes has no bits per sample";
    if (h.Channels == 0 || h.BlockAlign == 0 || h.BlockAlign % h.Channels != 0)
      return head + ", and a block of " + to_string(h.BlockAlign) + " bytes over " + to_string(h.Channels) +
             " channels gives no whole bytes per sample";
    uint32_t bits = 8u * (h.BlockAlign / h.Channels);
    if (bits > UINT16_MAX)
      return head + ", and a block of " + to_string(h.BlockAlign) + " bytes gives " + to_string(bits) +
             ", more than the field can hold";
    h.BitsPerSample = static_cast<uint16_t>(bits);
  }
  std::string why = TakeSubFormatTag(format, fmtSize, h);
  // The header describes only the 16 format bytes.
  h.FmtSize = kFormatFields;
  return why;
}

// Loop points from a cue chunk's body (its first bytes, `size` in all).
void TakeCuePoints(const uint8_t* body, uint32_t size, TWavHeader& h) {
  bool haveStart = false, haveEnd = false;
  // Only a chunk whose points all lie in it counts: a count beyond the
  // chunk says nothing trustworthy about them.
  uint64_t count = size >= 4 ? GetU32(body) : 0;
  if (size >= 4 && h.SampleRate != 0 && count * kCuePointSize <= size - 4u) {
    uint64_t bytesPerSample = h.BytesPerSec / h.SampleRate;
    uint64_t dataSize = h.DataSize > 0 ? static_cast<uint64_t>(h.DataSize) : 0;
    for (uint64_t k = 0; k < count && k < kCuePointsRead; ++k) {
      // A point past the data would send a player seeking outside the
      // sound: it is dropped, as if the file did not have it.
      uint64_t offset = bytesPerSample * GetU32(body + 4 + kCuePointSize * k + 4);
      if (offset > dataSize) continue;
      (k == 0 ? h.LoopStart : h.LoopEnd) = static_cast<int32_t>(offset);
      (k == 0 ? haveStart : haveEnd) = true;
    }
  }
  if (!haveStart) {
    h.LoopStart = h.LoopEnd = -1;  // an end comes only with a start
  } else if (!haveEnd) {
    h.LoopEnd = h.DataSize;
    h.LoopEndIsDataSize = 1;
  } else if (h.LoopEnd < h.LoopStart) {
    std::swap(h.LoopStart, h.LoopEnd);
  }
}

}  // namespace

std::string ReadWav(TWavSource& in, TWavFile& wav) {
  wav = TWavFile();
  TWavHeader& h = wav.Header;
  h.LoopStart = h.LoopEnd = -1;
  const uint64_t size = in.Size();
  const std::string unreadable = "the file cannot be read";
  if (size < 36) return "the file holds " + to_string(size) + " bytes, a RIFF header and a format chunk need 36";
  uint8_t riff[kRiffHeaderSize];
  if (!in.ReadAt(0, riff, sizeof riff)) return unreadable;
  if (!IdIs(riff, "RIFF")) return "the file does not begin with \"RIFF\"";
  h.RiffSize = GetU32(riff + 4);
  if (!IdIs(riff + 8, "WAVE")) return "the RIFF file is not of the form \"WAVE\"";

  // The walk ends once the three chunks are found, or behind the data at
  // a chunk that does not fit.
  TChunk format, data, cue;
  uint64_t dataLength = 0;
  for (uint64_t pos = kRiffHeaderSize; pos + kChunkHeaderSize <= size && !(format.Found && data.Found && cue.Found);) {
    uint8_t head[kChunkHeaderSize];
    if (!in.ReadAt(pos, head, sizeof head)) return unreadable;
    TChunk chunk{true, pos + kChunkHeaderSize, GetU32(head + 4)};
    uint64_t left = size - chunk.At;
    if (IdIs(head, "data") && !data.Found) {
      data = chunk;
      // A writer that streams to a pipe cannot go back to fill in the size
      // and leaves a placeholder (0x7FFFF000, 0xFFFFFFFF), and a file cut
      // short claims what it lost: the sound is the bytes that are there,
      // as players read it.
      dataLength = std::min<uint64_t>(chunk.Size, left);
    } else if (chunk.Size > left) {
      if (IdIs(head, "fmt ") && !format.Found)
        return "the format chunk claims " + to_string(chunk.Size) + " bytes, the file holds " + to_string(left);
      if (!data.Found)
        return "a chunk before the data claims " + to_string(chunk.Size) + " bytes, the file holds " + to_string(left);
      break;
    } else if (IdIs(head, "fmt ") && !format.Found) {
      // Shorter than its fields, it would lend them the next chunk's bytes.
      if (chunk.Size < kOldestFormatFields)
        return "the format chunk holds " + to_string(chunk.Size) + " bytes, its fields need 14";
      format = chunk;
    } else if (IdIs(head, "cue ") && !cue.Found) {
      cue = chunk;
    }
    uint64_t length = std::min<uint64_t>(chunk.Size, left);
    pos = chunk.At + length + (length % 2);
  }
  if (!format.Found) return "the file has no format chunk \"fmt \"";
  uint8_t body[kExtensibleFormatSize] = {};
  size_t held = std::min<size_t>(format.Size, sizeof body);
  if (!in.ReadAt(format.At, body, held)) return unreadable;
  if (std::string why = TakeFormat(body, format.Size, h); !why.empty()) return why;

  if (!data.Found) return "the file has no \"data\" chunk";
  if (data.Size == 0) return "the data chunk holds no samples (0 bytes)";
  if (dataLength == 0) return "the data chunk claims " + to_string(data.Size) + " bytes, the file holds 0";
  if (dataLength > static_cast<uint64_t>(INT32_MAX))
    return "the data chunk holds " + to_string(dataLength) + " bytes, more than an archive can hold";
  h.DataSize = h.PayloadSize = static_cast<int32_t>(dataLength);
  wav.DataAt = data.At;

  uint8_t points[4 + kCuePointsRead * kCuePointSize] = {};
  uint32_t cueSize = cue.Found ? cue.Size : 0;
  if (!in.ReadAt(cue.At, points, std::min<size_t>(cueSize, sizeof points))) return unreadable;
  TakeCuePoints(points, cueSize, h);
  return "";
}

TWavBlobCoder::TWavBlobCoder(const TWavFile& wav, bool inEffectsFolder, size_t pieceBytes)
    : header_(wav.Header), dataAt_(wav.DataAt), pieceBytes_(pieceBytes), adpcm_(wav.Header.Channels) {
  TWavHeader& h = header_;
  uint64_t dataSize = h.DataSize > 0 ? static_cast<uint64_t>(h.DataSize) : 0;
  // The coder knows one and two channels; more are stored as they are
  // rather than coded as if they were one.
  bool codable = h.BitsPerSample == 16 && (h.Channels == 1 || h.Channels == 2);
  h.Adpcm = codable && h.LoopStart == -1 && h.LoopEnd == -1 && !inEffectsFolder;
  if (h.Adpcm) {
    dataSize -= dataSize % (h.Channels == 1 ? 4 : 8);
    h.DataSize = static_cast<int32_t>(dataSize);
    h.PayloadSize = static_cast<int32_t>(TAdpcmCoder::CodedSize(dataSize));
  } else {
    h.PayloadSize = h.DataSize;
  }
  pieces_ = std::max<size_t>(1, static_cast<size_t>((dataSize + pieceBytes_ - 1) / pieceBytes_));
}

size_t TWavBlobCoder::PieceLength(size_t k) const {
  uint64_t dataSize = static_cast<uint64_t>(std::max(header_.DataSize, 0));
  uint64_t at = static_cast<uint64_t>(k) * pieceBytes_;
  return at >= dataSize ? 0 : static_cast<size_t>(std::min<uint64_t>(pieceBytes_, dataSize - at));
}

size_t TWavBlobCoder::CodedSize(size_t n) const {
  return (begun_ ? 0 : kWavHeaderSize) + (header_.Adpcm ? TAdpcmCoder::CodedSize(n) : n);
}

void TWavBlobCoder::Code(const uint8_t* pcm, size_t n, uint8_t* out) {
  if (!begun_) {
    Bytes head;
    header_.WriteTo(head);
    out = std::copy(head.begin(), head.end(), out);
    begun_ = true;
  }
  if (header_.Adpcm)
    adpcm_.Code(pcm, n, out);
  else if (n)
    std::memcpy(out, pcm, n);
}

std::string CodeWavBlob(TWavSource& source, bool inEffectsFolder,
                        const std::function<void(const uint8_t* data, size_t size)>& sink, size_t pieceBytes) {
  TWavFile wav;
  if (std::string why = ReadWav(source, wav); !why.empty()) return why;
  TWavBlobCoder coder(wav, inEffectsFolder, pieceBytes);
  Bytes pcm, coded;
  for (size_t k = 0; k < coder.Pieces(); ++k) {
    pcm.resize(coder.PieceLength(k));
    if (!source.ReadAt(coder.PieceAt(k), pcm.data(), pcm.size())) return "the file cannot be read";
    coded.resize(coder.CodedSize(pcm.size()));
    coder.Code(pcm.data(), pcm.size(), coded.data());
    sink(coded.data(), coded.size());
  }
  return "";
}
