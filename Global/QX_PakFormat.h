// The game's archive format (".qxp"), read from its end: an optional trailer
// that may carry a password, a 20-byte header, a zlib-compressed table of
// 152-byte entry records and, in front of all that, the entry data (blobs)
// at absolute offsets. Shared by the packer, which writes whole archives,
// and the installer, which updates them in place; the two differ in a few
// reading and writing rules, which are named here where they diverge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Global/ZCodec.h"
#include "platform/File.h"

constexpr int32_t kQXPVersion = 5;
constexpr size_t kQXPHeaderSize = 20;
constexpr size_t kQXPEntrySize = 152;
constexpr size_t kWavHeaderSize = 58;
constexpr size_t kMaxQXPName = 127;
constexpr uint16_t kQXPSignature = 0x0A0D;
// Offsets and sizes are signed 32-bit: the whole file stays below 2 GiB.
constexpr int64_t kMaxQXPArchiveSize = 0x7FFFFFFF;
// Trailers: "QXP2" + 9 password bytes, or "QXP3" + u16 + a block of at most
// 50 bytes, which is as far as readers search.
constexpr size_t kShortTrailerSize = 13;
constexpr size_t kLongTrailerHead = 6;
constexpr size_t kMaxPasswordBlock = 50;
// The longest password a block with a flag byte can carry within that.
constexpr size_t kMaxQXPPassword = kMaxPasswordBlock - 9;
// The last bytes of a file that hold every trailer a reader can find.
constexpr size_t kQXPTailProbe = kLongTrailerHead + kMaxPasswordBlock;

enum TQXPMethod : uint8_t {
  kMethodStored = 0,  // the file's bytes as they are
  kMethodWav = 1,     // TWavHeader, then PCM or IMA-ADPCM blocks
  kMethodZlib = 2,    // zlib stream, first word scrambled (ScrambleBlob)
};

struct TQXPHeader {
  int32_t CompressedSize = 0;
  int32_t TableSize = 0;
  int32_t Version = kQXPVersion;
  int32_t Count = 0;
  int32_t Reserved = 0;

  void WriteTo(Bytes& out) const;
  static TQXPHeader ReadFrom(const uint8_t* p);  // kQXPHeaderSize bytes
  bool Valid() const { return Version == kQXPVersion && Reserved == 0; }
};

struct TQXPEntry {
  uint16_t Signature = kQXPSignature;
  uint8_t Method = kMethodStored;
  uint8_t Pad = 0;
  int32_t FileDate = 0;  // DOS date (high word) and time (low word), local
  int32_t StoredSize = 0;
  int32_t OriginalSize = 0;
  int32_t Offset = 0;
  int32_t Reserved = 0;
  std::string Name;  // relative path, "\" separated, at most 127 bytes

  // The 128 name bytes are the length byte, the name and zeros; a longer
  // name is cut to 127 bytes (callers that must not lose it check first).
  void WriteTo(Bytes& out) const;
  // A length byte above 127 is taken as 127: the name never reaches past
  // its own 128 bytes.
  static TQXPEntry ReadFrom(const uint8_t* p);  // kQXPEntrySize bytes
};

struct TWavHeader {
  char RiffId[4] = {'R', 'I', 'F', 'F'};
  uint32_t RiffSize = 0;
  char WaveId[4] = {'W', 'A', 'V', 'E'};
  char FmtId[4] = {'f', 'm', 't', ' '};
  uint32_t FmtSize = 16;
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SampleRate = 0;
  uint32_t BytesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  char DataId[4] = {'d', 'a', 't', 'a'};
  int32_t DataSize = 0;
  uint8_t Adpcm = 0;
  int32_t LoopStart = -1;
  int32_t LoopEnd = -1;
  uint8_t LoopEndIsDataSize = 0;
  int32_t PayloadSize = 0;

  void WriteTo(Bytes& out) const;
  static TWavHeader ReadFrom(const uint8_t* p);  // kWavHeaderSize bytes
};

// XORs the first word of a method-2 blob with the CRC-32 of the rest; the
// same call undoes it. Blobs of 4 bytes or less stay as they are.
void ScrambleBlob(uint8_t* blob, size_t size);
// The same for a blob written in pieces: its first word, given the CRC-32
// of everything after it.
void ScrambleFirstWord(uint8_t word[4], uint32_t crcOfRest);

// Whether a file is coded as a sound: its extension is ".wav" in any case.
bool IsWavName(const std::string& name);

// Whether a sound's entry name lies in an effects folder, where sounds stay
// PCM: the packer looks for "effects\" in the lower-cased name, the
// installer for "\Effects\" exactly.
bool InPackerEffectsFolder(const std::string& name);
bool InSetupEffectsFolder(const std::string& name);

// --- trailers ---

// What a reader takes from the end of a file.
struct TQXPTrailer {
  size_t Length = 0;      // bytes after the header
  bool Decoded = false;   // a password block was read
  char BlockVersion = 0;  // '1', '2' or '3' when Decoded
  std::string Password;   // plain text
  uint8_t FlagByte = 0;   // the block's flag byte as stored (0 for '1')
};

// The readers find the trailer by different rules.
enum class TQXPTrailerRules {
  // Short trailer: the leading letters and digits. Long trailer: the first
  // "QXP3" from the end, not at the very end; blocks "1" and "2" decoded.
  Setup,
  // Short trailer: every letter and digit. Long trailer: the farthest
  // "QXP3" sets the length; blocks "1" to "3", the farthest decoded wins.
  Packer,
};

// Reads the trailer from the last bytes of a file (`tail`, the last
// min(file size, kQXPTailProbe) bytes). Never reads outside `tail`: a block
// whose text runs past it is not decoded.
TQXPTrailer ReadQXPTrailer(const uint8_t* tail, size_t tailSize, TQXPTrailerRules rules);

// --- reading an archive's end ---

enum class TQXPReadStatus {
  Ok,
  InvalidVersion,  // the header's version is not 5
  InvalidHeader,   // reserved field not 0, or the header or its sizes do not fit the file
  InvalidTable,    // the table does not inflate to its size or holds fewer records than counted
};

// What a reader finds behind the blobs.
struct TQXPTail {
  TQXPTrailer Trailer;
  TQXPHeader Header{0, 0, 0, 0, 0};
  int64_t TableStart = 0;          // file offset of the compressed table
  std::vector<TQXPEntry> Entries;  // the counted records in table order; only when Ok
  std::string Detail;              // what did not fit, with its numbers; empty when Ok
};

// Reads the trailer, header and table from the end of an open archive by
// the given reader's rules, filling `tail` as far as it gets. The status is
// the only channel: a refusal (including a table that is not a zlib
// stream) is a status other than Ok with the reason in `tail.Detail`, and
// nothing is thrown. Every size taken from the file is checked against the
// file before anything is allocated or read; nothing outside the file is
// read, and the table's output is held to its counted records.
TQXPReadStatus ReadQXPTail(platform::File& file, TQXPTrailerRules rules, TQXPTail& tail);

// The long trailer: "QXP3", the u16 marker, then a password block of the
// given version ('2' or '3') with the seeds, the enciphered password and
// the flag byte. Throws std::length_error for a password that would make the
// block longer than readers search.
Bytes MakeLongTrailer(uint16_t marker, char version, uint8_t seedA, uint8_t seedB, const std::string& password,
                      uint8_t flagByte);
