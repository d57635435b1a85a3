// A sound file as both programs read it: the packer's chunk walk with its
// cue points and blob coding, and the installer's canonical-header rule with
// its cue scan and blob coding.
#include "Global/QX_PakFormat.h"
#include "Global/QX_PakSystem.h"
#include "packer/SWAV.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TWavFile wav;
  ReadWavFromBuffer(data, size, wav);
  if (wav.Valid) MakeWavBlob(wav.Header, wav.PcmData, false);

  Bytes file(data, data + size), blob;
  MakeSetupWavBlob(file, "sounds\\fuzz.wav", blob);
  MakeSetupWavBlob(file, "sounds\\Effects\\fuzz.wav", blob);
  return 0;
}
