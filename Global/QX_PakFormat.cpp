#include "Global/QX_PakFormat.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Global/CRC.h"
#include "Global/KVLD_Encryption.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"

namespace {

void PutI32(Bytes& out, int32_t v) { PutU32(out, static_cast<uint32_t>(v)); }
int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
void PutId(Bytes& out, const char (&id)[4]) { out.insert(out.end(), id, id + 4); }
void GetId(char (&id)[4], const uint8_t* p) { std::memcpy(id, p, 4); }

bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The password block at `p` (`size` bytes up to the end of the file):
// "EIH", version, seeds, length-prefixed enciphered text, flag by version.
bool DecodeBlock(const uint8_t* p, size_t size, bool acceptVersion3, TQXPTrailer& out) {
  if (size < 8 || std::memcmp(p, "EIH", 3) != 0) return false;
  char version = static_cast<char>(p[3]);
  if (version != '1' && version != '2' && !(version == '3' && acceptVersion3)) return false;
  size_t length = GetU16(p + 6);
  size_t flagBytes = version == '1' ? 0 : 1;
  if (8 + length + flagBytes > size) return false;
  TTarvoEncryptionType cipher(p[4], p[5]);
  out.Password = cipher.Decrypt(std::string(reinterpret_cast<const char*>(p + 8), length));
  out.FlagByte = flagBytes ? p[8 + length] : 0;
  out.BlockVersion = version;
  out.Decoded = true;
  return true;
}

}  // namespace

void TQXPHeader::WriteTo(Bytes& out) const {
  for (int32_t v : {CompressedSize, TableSize, Version, Count, Reserved}) PutI32(out, v);
}

TQXPHeader TQXPHeader::ReadFrom(const uint8_t* p) {
  TQXPHeader h;
  h.CompressedSize = GetI32(p);
  h.TableSize = GetI32(p + 4);
  h.Version = GetI32(p + 8);
  h.Count = GetI32(p + 12);
  h.Reserved = GetI32(p + 16);
  return h;
}

void TQXPEntry::WriteTo(Bytes& out) const {
  PutU16(out, Signature);
  out.push_back(Method);
  out.push_back(Pad);
  for (int32_t v : {FileDate, StoredSize, OriginalSize, Offset, Reserved}) PutI32(out, v);
  size_t n = Name.size() < kMaxQXPName ? Name.size() : kMaxQXPName;
  out.push_back(static_cast<uint8_t>(n));
  out.insert(out.end(), Name.begin(), Name.begin() + static_cast<ptrdiff_t>(n));
  out.insert(out.end(), kMaxQXPName - n, 0);
}

TQXPEntry TQXPEntry::ReadFrom(const uint8_t* p) {
  TQXPEntry e;
  e.Signature = GetU16(p);
  e.Method = p[2];
  e.Pad = p[3];
  e.FileDate = GetI32(p + 4);
  e.StoredSize = GetI32(p + 8);
  e.OriginalSize = GetI32(p + 12);
  e.Offset = GetI32(p + 16);
  e.Reserved = GetI32(p + 20);
  size_t n = p[24] < kMaxQXPName ? p[24] : kMaxQXPName;
  e.Name.assign(reinterpret_cast<const char*>(p + 25), n);
  return e;
}

void TWavHeader::WriteTo(Bytes& out) const {
  PutId(out, RiffId);
  PutU32(out, RiffSize);
  PutId(out, WaveId);
  PutId(out, FmtId);
  PutU32(out, FmtSize);
  PutU16(out, FormatTag);
  PutU16(out, Channels);
  PutU32(out, SampleRate);
  PutU32(out, BytesPerSec);
  PutU16(out, BlockAlign);
  PutU16(out, BitsPerSample);
  PutId(out, DataId);
  PutI32(out, DataSize);
  out.push_back(Adpcm);
  PutI32(out, LoopStart);
  PutI32(out, LoopEnd);
  out.push_back(LoopEndIsDataSize);
  PutI32(out, PayloadSize);
}

TWavHeader TWavHeader::ReadFrom(const uint8_t* p) {
  TWavHeader h;
  GetId(h.RiffId, p);
  h.RiffSize = GetU32(p + 4);
  GetId(h.WaveId, p + 8);
  GetId(h.FmtId, p + 12);
  h.FmtSize = GetU32(p + 16);
  h.FormatTag = GetU16(p + 20);
  h.Channels = GetU16(p + 22);
  h.SampleRate = GetU32(p + 24);
  h.BytesPerSec = GetU32(p + 28);
  h.BlockAlign = GetU16(p + 32);
  h.BitsPerSample = GetU16(p + 34);
  GetId(h.DataId, p + 36);
  h.DataSize = GetI32(p + 40);
  h.Adpcm = p[44];
  h.LoopStart = GetI32(p + 45);
  h.LoopEnd = GetI32(p + 49);
  h.LoopEndIsDataSize = p[53];
  h.PayloadSize = GetI32(p + 54);
  return h;
}

void ScrambleBlob(uint8_t* blob, size_t size) {
  if (size > 4) ScrambleFirstWord(blob, UpdateCRC32(0, blob + 4, size - 4));
}

void ScrambleFirstWord(uint8_t word[4], uint32_t crcOfRest) {
  uint32_t scrambled = GetU32(word) ^ crcOfRest;
  for (int i = 0; i < 4; ++i) word[i] = static_cast<uint8_t>(scrambled >> (8 * i));
}

bool IsWavName(const std::string& name) {
  size_t dot = name.find_last_of(".\\");
  return dot != std::string::npos && name[dot] == '.' && platform::AnsiLowerCase(name.substr(dot)) == ".wav";
}

bool InPackerEffectsFolder(const std::string& name) {
  return platform::AnsiLowerCase(name).find("effects\\") != std::string::npos;
}

bool InSetupEffectsFolder(const std::string& name) { return name.find("\\Effects\\") != std::string::npos; }

TQXPTrailer ReadQXPTrailer(const uint8_t* tail, size_t tailSize, TQXPTrailerRules rules) {
  TQXPTrailer t;
  bool setup = rules == TQXPTrailerRules::Setup;
  if (tailSize >= kShortTrailerSize) {
    const uint8_t* p = tail + tailSize - kShortTrailerSize;
    if (std::memcmp(p, "QXP2", 4) == 0) {
      t.Length = kShortTrailerSize;
      for (size_t k = 4; k < kShortTrailerSize; ++k) {
        if (IsAlnum(p[k]))
          t.Password.push_back(static_cast<char>(p[k]));
        else if (setup)
          break;
      }
      return t;
    }
  }
  for (size_t i = setup ? 1 : 0; i <= kMaxPasswordBlock && kLongTrailerHead + i <= tailSize; ++i) {
    const uint8_t* head = tail + tailSize - kLongTrailerHead - i;
    if (std::memcmp(head, "QXP3", 4) != 0) continue;
    t.Length = i + kLongTrailerHead;
    TQXPTrailer block;
    if (DecodeBlock(head + kLongTrailerHead, i, !setup, block)) {
      t.Decoded = true;
      t.BlockVersion = block.BlockVersion;
      t.Password = block.Password;
      t.FlagByte = block.FlagByte;
    }
    if (setup) break;
  }
  return t;
}

TQXPReadStatus ReadQXPTail(platform::File& file, TQXPTrailerRules rules, TQXPTail& tail) {
  using platform::SeekOrigin;
  using std::to_string;
  tail = TQXPTail();
  auto refuse = [&tail](TQXPReadStatus status, std::string why) {
    tail.Detail = std::move(why);
    return status;
  };
  int64_t size = file.Size();
  if (size < 0) return refuse(TQXPReadStatus::InvalidHeader, "the file's size cannot be read");

  uint8_t end[kQXPTailProbe];
  size_t endSize = static_cast<size_t>(std::min<int64_t>(size, kQXPTailProbe));
  if (file.Seek(size - static_cast<int64_t>(endSize), SeekOrigin::Begin) < 0 || file.Read(end, endSize) != endSize)
    return refuse(TQXPReadStatus::InvalidHeader, "the file's last " + to_string(endSize) + " bytes cannot be read");
  tail.Trailer = ReadQXPTrailer(end, endSize, rules);

  int64_t headerPos = size - static_cast<int64_t>(tail.Trailer.Length) - static_cast<int64_t>(kQXPHeaderSize);
  uint8_t raw[kQXPHeaderSize];
  if (headerPos < 0)
    return refuse(TQXPReadStatus::InvalidHeader,
                  "the header would begin at " + to_string(headerPos) + ", before the file's start");
  if (file.Seek(headerPos, SeekOrigin::Begin) < 0 || file.Read(raw, sizeof raw) != sizeof raw)
    return refuse(TQXPReadStatus::InvalidHeader, "the header at " + to_string(headerPos) + " cannot be read");
  TQXPHeader& h = tail.Header = TQXPHeader::ReadFrom(raw);
  if (h.Version != kQXPVersion) return refuse(TQXPReadStatus::InvalidVersion, "version " + to_string(h.Version));
  if (h.Reserved != 0) return refuse(TQXPReadStatus::InvalidHeader, "reserved field " + to_string(h.Reserved));
  if (h.Count < 0) return refuse(TQXPReadStatus::InvalidHeader, "count " + to_string(h.Count) + " < 0");
  if (h.TableSize < 0) return refuse(TQXPReadStatus::InvalidHeader, "table size " + to_string(h.TableSize) + " < 0");
  if (h.CompressedSize < 0)
    return refuse(TQXPReadStatus::InvalidHeader, "compressed size " + to_string(h.CompressedSize) + " < 0");
  if (h.CompressedSize > headerPos)
    return refuse(TQXPReadStatus::InvalidHeader, "compressed size " + to_string(h.CompressedSize) + " > " +
                                                     to_string(headerPos) + " bytes before the header");
  tail.TableStart = headerPos - h.CompressedSize;
  // The counted records must lie within the stated table; that also keeps
  // their byte count within 31 bits on every platform.
  uint64_t wanted = static_cast<uint64_t>(h.Count) * kQXPEntrySize;
  if (wanted > static_cast<uint64_t>(h.TableSize))
    return refuse(TQXPReadStatus::InvalidTable, to_string(h.Count) + " records need " + to_string(wanted) +
                                                    " bytes, the table holds " + to_string(h.TableSize));

  Bytes stream(static_cast<size_t>(h.CompressedSize));
  if (file.Seek(tail.TableStart, SeekOrigin::Begin) < 0 || file.Read(stream.data(), stream.size()) != stream.size())
    return refuse(TQXPReadStatus::InvalidHeader, "the table at " + to_string(tail.TableStart) + " cannot be read");
  Bytes table;
  uint64_t inflated;
  try {
    // Counting stops past the stated size: a small stream of gigabytes is
    // refused as soon as it is longer, not once it has all come out.
    inflated =
        ZInflate(stream.data(), stream.size(), static_cast<size_t>(wanted), table, static_cast<uint64_t>(h.TableSize));
  } catch (const EZlibError& error) {
    return refuse(TQXPReadStatus::InvalidTable, std::string("the table does not inflate: ") + error.what());
  }
  if (inflated > static_cast<uint64_t>(h.TableSize))
    return refuse(TQXPReadStatus::InvalidTable,
                  "the table inflates to more than the " + to_string(h.TableSize) + " bytes its header says");
  if (inflated != static_cast<uint64_t>(h.TableSize))
    return refuse(TQXPReadStatus::InvalidTable,
                  "the table inflates to " + to_string(inflated) + " bytes, its header says " + to_string(h.TableSize));
  tail.Entries.reserve(static_cast<size_t>(h.Count));
  for (size_t i = 0; i < static_cast<size_t>(h.Count); ++i)
    tail.Entries.push_back(TQXPEntry::ReadFrom(table.data() + i * kQXPEntrySize));
  return TQXPReadStatus::Ok;
}

Bytes MakeLongTrailer(uint16_t marker, char version, uint8_t seedA, uint8_t seedB, const std::string& password,
                      uint8_t flagByte) {
  std::string text = TTarvoEncryptionType(seedA, seedB).Encrypt(password);
  if (text.size() > kMaxQXPPassword) throw std::length_error("password too long for the archive trailer");
  Bytes out;
  out.reserve(kLongTrailerHead + kMaxPasswordBlock);
  for (char c : std::string("QXP3")) out.push_back(static_cast<uint8_t>(c));
  PutU16(out, marker);
  for (char c : std::string("EIH") + version) out.push_back(static_cast<uint8_t>(c));
  out.push_back(seedA);
  out.push_back(seedB);
  PutU16(out, static_cast<uint16_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(flagByte);
  return out;
}
