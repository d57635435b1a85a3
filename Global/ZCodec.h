// Whole-buffer zlib coding (RFC 1950 streams), shared by every archive format
// of the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/ByteOrder.h"

// An error reported by the compression library, with its own text.
class EZlibError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The zlib stream of the data at the given level (default window and memory).
Bytes ZCompress(const void* data, size_t size, int level = 9);

// Inflates a whole zlib stream and returns the length of its contents. At most
// `limit` bytes are kept in `out`; anything beyond is only counted, so a
// stream cannot make the caller hold more than it expects. Counting stops
// once more than `countLimit` bytes came out (the result is then above
// countLimit), so a small stream of gigabytes cannot keep the caller busy.
// Invalid or truncated data raise EZlibError.
uint64_t ZInflate(const void* stream, size_t size, size_t limit, Bytes& out, uint64_t countLimit = UINT64_MAX);
