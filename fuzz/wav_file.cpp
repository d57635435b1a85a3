// A sound file as both programs read it: the chunk walk with its cue points,
// and the blob coded in pieces. A blob is its header and exactly the payload
// the header announces, whatever the size of the pieces.
#include <cstdlib>

#include "Global/QX_PakFormat.h"
#include "Global/SWAV.h"

namespace {

Bytes Blob(const uint8_t* data, size_t size, bool inEffects, size_t pieceBytes) {
  TWavMemory source(data, size);
  Bytes blob;
  std::string why = CodeWavBlob(
      source, inEffects, [&](const uint8_t* p, size_t n) { blob.insert(blob.end(), p, p + n); }, pieceBytes);
  if (!why.empty() && !blob.empty()) std::abort();
  if (why.empty()) {
    if (blob.size() < kWavHeaderSize) std::abort();
    TWavHeader header = TWavHeader::ReadFrom(blob.data());
    if (header.PayloadSize < 0 || blob.size() != kWavHeaderSize + static_cast<size_t>(header.PayloadSize)) std::abort();
  }
  return blob;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (bool inEffects : {false, true})
    if (Blob(data, size, inEffects, kWavPieceBytes) != Blob(data, size, inEffects, kAdpcmBlockBytes)) std::abort();
  return 0;
}
