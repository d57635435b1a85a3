// A sound file as both programs read it: the packer's chunk walk with its
// cue points and blob coding, and the installer's canonical-header rule with
// its cue scan and blob coding. A blob is its header and exactly the payload
// the header announces.
#include <cstdlib>

#include "Global/QX_PakFormat.h"
#include "Global/QX_PakSystem.h"
#include "packer/SWAV.h"

namespace {

void CheckBlob(const Bytes& blob) {
  if (blob.size() < kWavHeaderSize) std::abort();
  TWavHeader header = TWavHeader::ReadFrom(blob.data());
  if (header.PayloadSize < 0 || blob.size() != kWavHeaderSize + static_cast<size_t>(header.PayloadSize)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TWavFile wav;
  ReadWavFromBuffer(data, size, wav);
  if (wav.Valid) CheckBlob(MakeWavBlob(wav.Header, wav.PcmData, false));

  Bytes file(data, data + size), blob;
  if (MakeSetupWavBlob(file, "sounds\\fuzz.wav", blob)) CheckBlob(blob);
  if (MakeSetupWavBlob(file, "sounds\\Effects\\fuzz.wav", blob)) CheckBlob(blob);
  return 0;
}
