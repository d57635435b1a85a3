// The installer data archive: named entries (zlib streams or raw bytes) one
// after the other, then an entry table and a 16-byte "QXPF" trailer at the
// very end of the file. It is appended to an executable, so all offsets are
// absolute positions in the whole file and the reader starts from the end.
//
// How input is refused, here and in every reader and check that an author's
// or a player's file reaches: "this input is wrong" is a result, never a
// raise. The reason comes back as a string that is empty when all is well,
// or as false with the reason in an out-parameter or in LastError(), and
// names the file and what is wrong with it. The caller decides; a raise
// would end Torvane, whose exception hook stays strict. Raises are kept for
// what no caller expects (no memory, a broken invariant), and a library call
// that must raise for bad input runs in the hook's quiet scope
// (diagnostics/SHookQuiet.h) inside the catch that turns it into a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Global/ZBlocks.h"
#include "Global/ZCodec.h"
#include "platform/File.h"
#include "platform/buffer_type.h"

// Entries of this size or more are stored raw and copied out in pieces.
constexpr uint32_t kLargeEntrySize = 73400320;   // 70 MiB
constexpr uint32_t kLargeEntryPiece = 26214400;  // 25 MiB
constexpr size_t kPakTrailerSize = 16;
// The table's count and the name lengths are 16-bit; offsets are 32-bit.
constexpr size_t kMaxPakEntries = 65535;
constexpr uint64_t kMaxPakFileSize = 0xFFFFFFFFull;

struct TPakFile {
  std::string Name;         // may hold backslash-separated folders
  std::string SourcePath;   // writer side only; never stored
  uint32_t Crc = 0;         // CRC-32 of the stored bytes
  uint32_t Offset = 0;      // absolute position of the stored bytes
  uint32_t StoredSize = 0;  // length of the zlib stream; 0 = stored raw
  uint32_t OriginalSize = 0;
  uint16_t Group = 0;
};

// Length-prefixed strings: u16 little-endian byte count, then the bytes.
// Writing refuses a text longer than 65,535 bytes; both report failure.
bool WriteStrToFile(platform::File& file, const std::string& text);
bool ReadStrFromFile(platform::File& file, std::string& text);

// The whole file into `data`; false, with the reason naming the file, when it
// cannot be opened or read, or there is no memory for it.
bool ReadWholeFile(const std::string& path, Bytes& data, std::string& reason);

// 64-bit positioning; the new position, or -1.
int64_t FileSeek64(platform::File& file, platform::SeekOrigin origin, int64_t distance);

class TPak {
 public:
  // Receives the one text the user is shown while reading (an entry that
  // inflates to another size than its table says); LastError has it too.
  using ReportFn = std::function<void(const std::string& text)>;
  // Receives the pieces of a large entry as they are read.
  using PieceFn = std::function<bool(const uint8_t* data, size_t size)>;

  // Read mode (neither flag), append mode (takes precedence) or create mode.
  // A file that cannot be opened leaves the archive closed, with
  // "Cannot open archive" and its name in LastError. In read mode a damaged archive (a table that does not end at the
  // trailer, entry data outside the archive, shared by two entries or not
  // beginning at the archive's start, a compressed entry claiming 70 MiB or
  // more, which the writer always stores raw) reads as no archive (no
  // entries, a zero Magic), with the reason and its numbers in LastError.
  // Reading the table never allocates more than the file holds between the
  // table's offset and the trailer, and never reads outside that range.
  TPak(const std::string& fileName, bool append, bool createNew);
  ~TPak() { Close(); }
  TPak(const TPak&) = delete;
  TPak& operator=(const TPak&) = delete;

  // --- writing ---
  // Index of the new entry, or -1 (with LastError) when the table cannot
  // hold it: more than 65,535 entries or a name longer than 65,535 bytes.
  int AddEntry(const std::string& name, const std::string& sourcePath, uint16_t group);
  // Pack and append the entry's contents. False (with LastError) when the
  // source cannot be opened or read, or the write failed or would take the
  // file past 4 GiB; the file is then as it was. An empty source stores
  // nothing and is not a failure.
  bool WriteEntryFile(int index);
  bool WriteEntryData(int index, const void* data, size_t size);
  // The stored block for the contents (zlib stream, or a raw copy); fills in
  // the entry's sizes and CRC. Empty for no contents, and for a source that
  // cannot be read (with LastError).
  Bytes PackBuffer(int index, const void* data, size_t size);
  Bytes PackSourceFile(int index);
  // PackBuffer for a record of the caller's, touching nothing else, so
  // several threads may pack while one appends what they made with
  // WriteStoredBlock.
  static Bytes PackEntry(TPakFile& entry, const void* data, size_t size);
  // The same for a source file, read and compressed piece by piece, so a
  // packer holds little more than the block it makes. Contents that are
  // stored raw (large, or not made smaller) give no block and set `raw`:
  // WriteEntryRaw copies them from the source. Contents compressed in blocks
  // (Global/ZBlocks.h) give no block either and set `blocks` to their
  // count: WriteEntryBlocks writes them. A source that cannot be opened or
  // read gives no block and its reason in `reason` (empty otherwise).
  // `deflater`, when given, is the calling thread's, kept from one file to
  // the next.
  static Bytes PackEntryFile(TPakFile& entry, const std::string& path, bool& raw, uint64_t& blocks, std::string& reason,
                             TZDeflater* deflater = nullptr);
  // Appends the entry's source as it is, copied in pieces (stored raw);
  // failures as WriteEntryFile.
  bool WriteEntryRaw(int index);
  // Appends the zlib stream of `originalSize` bytes of contents compressed
  // in `blocks` blocks, which `next` hands over in order; each is written as
  // it comes, so the stream is never held whole. A stream longer than the
  // contents makes way for the contents stored raw, copied from the source.
  // `next` is handed the block written last (empty at first), to reuse its
  // memory, and puts the next one in its place; it returns why it could not
  // make the block, or empty. Such a reason ends the entry as a refusal of
  // its own (false, the reason in LastError, the file as it was); otherwise
  // as WriteEntryFile.
  bool WriteEntryBlocks(int index, uint32_t originalSize, uint64_t blocks,
                        const std::function<std::string(TZBlock& into)>& next);
  // Appends a block PackEntry made for `packed` as the data of the entry at
  // `index`, which takes over its sizes and CRC; false (with LastError) as
  // WriteEntryData. An empty block stores nothing and is not a failure.
  bool WriteStoredBlock(int index, const TPakFile& packed, const Bytes& block);
  // Appends the entry table and the trailer.
  bool WriteTable();

  // --- reading ---
  // Every reader below refuses one way: an empty result or false, with the
  // reason (entry name and the numbers that did not fit) in LastError. None
  // throws (no memory for an entry is such a refusal too), none reads
  // outside the entry's own bytes, and none allocates more than the file
  // justifies: the entry's stored bytes once they are known to lie in the
  // file, or a piece of them, and the contents of a compressed entry up to
  // its OriginalSize, which the table keeps below 70 MiB.
  //
  // The contents of the entry of that name (case-blind) in the group, with
  // `size` set to its table size; empty when there is no such entry (then
  // `size` is 0 and LastError is left alone) or as GetData.
  Bytes FindFile(const std::string& name, uint16_t group, uint32_t& size);
  // The entry's contents. Empty for an empty entry (not a failure), and on
  // refusal: no such index, data outside the file, a CRC-32 mismatch, a
  // stream that does not inflate, or one that inflates to another length
  // than OriginalSize (that one also goes to OnReport, unless the stream
  // holds 70 MiB or more: no stream the writer made does, so inflating
  // stops there and its length is not known). Never holds more than
  // OriginalSize bytes of output, whatever the stream claims.
  Bytes GetData(int index);
  // The entry's stored bytes (the stream, or the raw contents) once their
  // CRC-32 matches; empty on refusal or for an entry without data.
  Bytes ReadStored(int index);
  // Reads an entry's stored bytes in pieces of at most pieceSize, handing
  // each to `sink` (may be empty); true when all were read, the sink
  // accepted them and the CRC-32 matches. Memory stays at one piece.
  bool ReadStoredInPieces(int index, const PieceFn& sink, size_t pieceSize = kLargeEntryPiece);
  // The next entry of the group from Cursor on: its name and size, and its
  // contents when `withData` (as GetData). Empty name and size 0 when the
  // group has no more entries.
  Bytes FindFirst(uint16_t group, uint32_t& size, bool withData, std::string& name);
  Bytes FindNext(uint16_t group, uint32_t& size, bool withData, std::string& name);
  bool FindFirstIndex(uint16_t group, int& index);
  bool FindNextIndex(uint16_t group, int& index);
  void ForEachInGroup(uint16_t group, const std::function<void(int)>& proc);
  int CountGrouped() const;
  int CountInGroup(uint16_t group) const;
  // Whether the entry reads back whole and right: false with LastError on
  // any refusal of GetData, including a stream whose checksum matches but
  // which does not inflate. A large raw entry is read in pieces, each
  // handed to `onPiece` (may be empty) as it is checked.
  bool VerifyEntry(int index, const PieceFn& onPiece = nullptr);
  void Close() { file_.Close(); }

  bool IsOpen() const { return file_.IsOpen(); }
  platform::File& Handle() { return file_; }
  // The reason of the last refusal or failed write; kept until the next.
  const std::string& LastError() const { return lastError_; }

  std::vector<TPakFile> Entries;
  uint32_t Cursor = 0;
  // The trailer last read or written.
  char Magic[4] = {0, 0, 0, 0};
  uint16_t Version = 0;
  uint16_t EntryCount = 0;
  uint32_t Base = 0;
  uint32_t TableOffset = 0;

  ReportFn OnReport;

 private:
  bool ValidIndex(int index) const { return index >= 0 && static_cast<size_t>(index) < Entries.size(); }
  void ReadTable();
  // Packs into `stream` when the entry is kept compressed; false when the
  // raw bytes are to be stored instead.
  static bool Pack(TPakFile& entry, const uint8_t* data, size_t size, Bytes& stream);
  // Appends `size` stored bytes at the end of the file as the entry's data.
  bool AppendStored(TPakFile& entry, const uint8_t* data, size_t size);
  bool AppendLargeSource(TPakFile& entry, platform::File& source, int64_t size);
  // End of the file, when `more` bytes still fit below 4 GiB; else -1.
  int64_t EndWithRoomFor(uint64_t more);
  bool Fail(const std::string& text);
  // ValidIndex, with LastError set for an index outside the table.
  bool KnownIndex(int index);
  // Whether the entry's stored bytes lie in the file; positions there.
  bool CanReadStored(int index);
  bool CheckStoredCrc(const TPakFile& e, uint32_t crc);
  // Sizes the block for the entry's bytes; false with LastError when there
  // is no memory for them.
  bool Allocate(Bytes& block, size_t size, const TPakFile& e);
  bool RestoreEnd(int64_t end);

  platform::File file_;
  std::string lastError_;
};
