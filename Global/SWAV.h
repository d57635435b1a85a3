// The one reader of sound files, shared by the packer and the installer's
// archive updater: walks the RIFF chunks of a ".wav" file for its format,
// its PCM data and its cue points, wherever they stand among the chunks,
// and codes the game's WAV blob from them piece by piece. The file is read
// through a source, positions first and then the data in pieces, so that a
// sound of any size needs no more memory than a small one. Nothing here
// keeps shared state: every worker thread codes sounds at once. Sizes in the
// file are never trusted: whatever does not fit is a refusal with its
// reason, or gives no loop points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "Global/QX_Adpcm.h"
#include "Global/QX_PakFormat.h"
#include "platform/File.h"

// Where a reader gets a file's bytes.
class TWavSource {
 public:
  virtual ~TWavSource() = default;
  virtual uint64_t Size() const = 0;
  // Exactly n bytes from pos, which the caller keeps inside Size(); false
  // when they cannot be read.
  virtual bool ReadAt(uint64_t pos, uint8_t* out, size_t n) = 0;
};

// Bytes held by the caller, who keeps them while the source is read.
class TWavMemory : public TWavSource {
 public:
  TWavMemory(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t pos, uint8_t* out, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// `size` bytes of an open file from `base` on: a sound file, or a sound
// stored as it is inside an archive. Reading moves the file's position.
class TWavFileRange : public TWavSource {
 public:
  TWavFileRange(platform::File& file, int64_t base, uint64_t size) : file_(file), base_(base), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t pos, uint8_t* out, size_t n) override;

 private:
  platform::File& file_;
  int64_t base_;
  uint64_t size_;
};

struct TWavFile {
  // What goes in front of the blob: the 16 common format bytes (FmtSize
  // 16, an extensible format named by its sub-format's tag, the bits per
  // sample of a 14-byte format taken from its block alignment), DataSize
  // as the bytes of PCM data in the file, the loop points in bytes, and
  // PayloadSize = DataSize, before the coding rule is applied.
  TWavHeader Header;
  // Where the PCM data begins in the file.
  uint64_t DataAt = 0;
};

// Reads a ".wav" file's layout: "RIFF", "WAVE", then the chunks, each
// followed by a pad byte when its size is odd. The first "fmt ", "data"
// and "cue " chunks count, in any order. Before the data every chunk must
// lie in the file; a data chunk that claims more bytes than the file holds
// (a header streamed to a pipe, a file cut short) has the bytes that are
// there; behind the data a chunk that does not fit ends the walk. The cue
// points: cue point 0 gives LoopStart, cue point 1 LoopEnd, in bytes; one
// cue point ends the loop at DataSize; two in falling order are swapped. A
// point past DataSize is dropped: without the first there is no loop,
// without the second the loop ends at DataSize. A cue chunk whose points
// do not fit in it, or a sample rate of 0, gives no loop points.
// The reason the file is refused, with the numbers that did not fit; empty
// when it is a sound. Only the format and cue chunks are held, never more
// than 64 bytes of them.
std::string ReadWav(TWavSource& source, TWavFile& wav);

// The PCM bytes read and coded at a time: whole ADPCM blocks.
constexpr size_t kWavPieceBytes = 512 * kAdpcmBlockBytes;

// Codes the blob of a sound that ReadWav accepted, piece by piece, in the
// order of the pieces. The coding rule: the payload is IMA-ADPCM for 16-bit
// sound of one or two channels without loop points outside an effects
// folder, with DataSize rounded down to whole sample frames of the coder
// (a multiple of 4 bytes, or of 8 for stereo); else the PCM bytes as they
// are. Piece k is the PCM from PieceAt(k), PieceLength(k) bytes.
class TWavBlobCoder {
 public:
  TWavBlobCoder(const TWavFile& wav, bool inEffectsFolder, size_t pieceBytes = kWavPieceBytes);

  // The header as stored: Adpcm, DataSize and PayloadSize set.
  const TWavHeader& Header() const { return header_; }
  uint64_t BlobSize() const { return kWavHeaderSize + static_cast<uint64_t>(header_.PayloadSize); }
  // At least 1: a sound of no whole frame is a piece of no PCM.
  size_t Pieces() const { return pieces_; }
  uint64_t PieceAt(size_t k) const { return dataAt_ + static_cast<uint64_t>(k) * pieceBytes_; }
  size_t PieceLength(size_t k) const;
  // The blob bytes that the next piece, of n PCM bytes, gives: its payload,
  // after the header for the first piece.
  size_t CodedSize(size_t n) const;
  // Codes the next piece into CodedSize(n) bytes at `out`.
  void Code(const uint8_t* pcm, size_t n, uint8_t* out);

 private:
  TWavHeader header_;
  uint64_t dataAt_;
  size_t pieceBytes_, pieces_;
  bool begun_ = false;
  TAdpcmCoder adpcm_;
};

// Reads and codes a whole sound from the source, handing the blob to `sink`
// piece by piece, header first. ReadWav's reason when the file is refused
// (then nothing is handed over), or that the file cannot be read when the
// source fails part way.
std::string CodeWavBlob(TWavSource& source, bool inEffectsFolder,
                        const std::function<void(const uint8_t* data, size_t size)>& sink,
                        size_t pieceBytes = kWavPieceBytes);
