// What a game archive holds for an entry: its blob, and the file's bytes as
// the game gets them back from a method 0 or 2 blob.
#pragma once

#include <gtest/gtest.h>

#include "Global/QX_PakFormat.h"

namespace testing_support {

// The entry's blob within the archive's bytes; empty (and a test failure)
// when the record points outside them.
inline Bytes QXPBlob(const Bytes& archive, const TQXPEntry& e) {
  if (e.Offset < 0 || e.StoredSize < 0 ||
      static_cast<size_t>(e.Offset) + static_cast<size_t>(e.StoredSize) > archive.size()) {
    ADD_FAILURE() << e.Name << " points outside the archive";
    return {};
  }
  return Bytes(archive.begin() + e.Offset, archive.begin() + e.Offset + e.StoredSize);
}

inline Bytes QXPContents(const Bytes& archive, const TQXPEntry& e) {
  Bytes blob = QXPBlob(archive, e);
  if (e.Method != kMethodZlib) return blob;
  ScrambleBlob(blob.data(), blob.size());
  Bytes out;
  ZInflate(blob.data(), blob.size(), static_cast<size_t>(e.OriginalSize), out);
  return out;
}

}  // namespace testing_support
