// Block compression of large contents: the contents are cut into fixed
// blocks that any number of threads deflate at once, each block primed with
// the 32 KiB in front of it as its dictionary and flushed to a byte boundary,
// so that the blocks joined in order, behind one zlib header and in front of
// the combined Adler-32, are one zlib stream that plain `uncompress` reads.
// Where the blocks begin depends only on the size of the contents, so the
// stream is the same byte for byte whatever the number of threads. Contents
// up to the threshold keep the whole-file level-9 stream of ZCompress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Global/ZCodec.h"

struct z_stream_s;

// Contents of more than this many bytes are compressed in blocks. Blocks of
// 128 KiB cost about 0.2 % in size on text against one stream, and keep the
// last block on each core short, so that one large file ends on all of them
// at once.
constexpr size_t kZBlockThreshold = 1u << 20;
constexpr size_t kZBlockSize = 1u << 17;
// What deflate can look back: the most a block's dictionary holds.
constexpr size_t kZDictionarySize = 32768;

inline bool UsesZBlocks(uint64_t size) { return size > kZBlockThreshold; }

// Where block `index` of contents of `size` bytes lies, with its dictionary
// (the bytes from `Dictionary` to `Begin`) in front of it.
struct TZBlockSpan {
  uint64_t Dictionary = 0, Begin = 0, End = 0;
  bool Last = false;
  size_t DictionaryLength() const { return static_cast<size_t>(Begin - Dictionary); }
  size_t Length() const { return static_cast<size_t>(End - Begin); }
  size_t ReadLength() const { return static_cast<size_t>(End - Dictionary); }
};
uint64_t ZBlockCount(uint64_t size);
TZBlockSpan ZBlockSpan(uint64_t size, uint64_t index);

// Buffers handed back by the jobs of a pipeline for its next jobs. Large
// blocks of memory come fresh from the system at every allocation (the C
// library's and Windows' heaps alike), a page fault for each page, which
// costs eight threads more than their allocation saves; a pool keeps at
// most `most` buffers, so it never holds more than were in use at once.
// Safe to share between threads.
class TBufferPool {
 public:
  explicit TBufferPool(size_t most) : most_(most) {}
  // `size` bytes, in a buffer handed back when there is one: the latest
  // handed back that holds them, else the latest.
  Bytes Take(size_t size);
  void Give(Bytes&& buffer);

 private:
  std::mutex lock_;
  std::vector<Bytes> free_;
  const size_t most_;
};

// One block's share of the stream: its deflate data, and the Adler-32 and
// length of the contents it covers.
struct TZBlock {
  Bytes Data;
  uint32_t Adler = 1;
  size_t Length = 0;
};

// A thread's deflater, kept from one block to the next so that its tables
// are set up once. Not to be shared between threads.
class TZBlockCoder {
 public:
  TZBlockCoder();
  ~TZBlockCoder();
  TZBlockCoder(const TZBlockCoder&) = delete;
  TZBlockCoder& operator=(const TZBlockCoder&) = delete;

  // Deflates the block after the first `dictionary` bytes of `data` (of
  // `size` in all), as ZBlockSpan read it, into a buffer of `buffers` when
  // given. EZlibError when zlib fails.
  TZBlock Code(const uint8_t* data, size_t dictionary, size_t size, bool last, TBufferPool* buffers = nullptr);

 private:
  std::unique_ptr<z_stream_s> z_;
};

// Joins blocks handed over in order into one zlib stream.
class TZBlockJoin {
 public:
  static constexpr size_t kHeaderSize = 2, kTrailerSize = 4;
  // The zlib header of a level-9 stream without a preset dictionary, the
  // same two bytes ZCompress writes.
  static const uint8_t kHeader[kHeaderSize];

  void Add(const TZBlock& block);
  // The Adler-32 of all blocks added, most significant byte first.
  void Trailer(uint8_t out[kTrailerSize]) const;

 private:
  uint32_t adler_ = 1;
};

// The same stream made of contents that arrive in pieces of any size, in
// order, and handed on in pieces as it is made: it never holds more than one
// block with its dictionary (or, up to the threshold, the contents).
class TZBlockStream {
 public:
  // Receives the stream's pieces in order; false stops the stream.
  using Sink = std::function<bool(const uint8_t* data, size_t size)>;
  // For contents of exactly `size` bytes.
  TZBlockStream(uint64_t size, Sink sink);
  // The next bytes of the contents. False once the sink has refused a
  // piece or the contents pass their size. EZlibError when zlib fails.
  bool Add(const uint8_t* data, size_t size);
  // After the last bytes: the rest of the stream. False when the contents
  // fell short of their size or a piece was refused.
  bool Finish();

 private:
  bool Code(bool last);

  const uint64_t size_;
  Sink sink_;
  uint64_t added_ = 0;
  Bytes window_;  // the dictionary, then the block being filled
  size_t dictionary_ = 0;
  std::unique_ptr<TZBlockCoder> coder_;
  TZBlockJoin join_;
  bool begun_ = false;  // the stream's header is out
  bool ok_ = true;
};

// The zlib stream of contents as the packers store them: ZCompress at level
// 9 up to the threshold (with the caller's deflater and into a buffer of
// `buffers` when given), blocks above it. Either way the same bytes as the
// threaded writers make of the same contents.
Bytes ZCompressContents(const void* data, size_t size, TBufferPool* buffers = nullptr, TZDeflater* deflater = nullptr);
