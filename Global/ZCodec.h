// Whole-buffer zlib coding (RFC 1950 streams), shared by every archive format
// of the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"

// An error reported by the compression library, with its own text.
class EZlibError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The zlib stream of the data at the given level (default window and memory),
// written into the memory of `room` when it is given.
Bytes ZCompress(const void* data, size_t size, int level = 9, Bytes room = {});

struct z_stream_s;
// A level-9 deflater (default window and memory) kept from one stream to the
// next: its tables are a quarter of a megabyte that would otherwise come
// fresh from the system for every file, a page fault for each page. One per
// thread; its streams are the same bytes as ZCompress makes.
class TZDeflater {
 public:
  TZDeflater();
  ~TZDeflater();
  TZDeflater(const TZDeflater&) = delete;
  TZDeflater& operator=(const TZDeflater&) = delete;

  // ZCompress at level 9.
  Bytes Compress(const void* data, size_t size, Bytes room = {});
  // The deflater reset for a new stream, to be fed by the caller.
  z_stream_s& Reset();
  // A buffer for the caller's input, kept with the deflater.
  Bytes Piece;

 private:
  std::unique_ptr<z_stream_s> z_;
};

// Inflates a whole zlib stream into `length`, the length of its contents. At
// most `limit` bytes are kept in `out`; anything beyond is only counted, so a
// stream cannot make the caller hold more than it expects. Counting stops
// once more than `countLimit` bytes came out (the length is then above
// countLimit), so a small stream of gigabytes cannot keep the caller busy.
// Invalid or truncated data are refused: false, with zlib's text in
// `reason` and `out` empty.
bool ZInflate(const void* stream, size_t size, size_t limit, Bytes& out, uint64_t& length, std::string& reason,
              uint64_t countLimit = UINT64_MAX);
// The same returning the length, for readers that raise their refusals:
// invalid or truncated data raise EZlibError.
uint64_t ZInflate(const void* stream, size_t size, size_t limit, Bytes& out, uint64_t countLimit = UINT64_MAX);
