// The packer's WAV reader: walks the RIFF chunks of a ".wav" file held in
// memory for its format and PCM data, and takes loop points from its cue
// points. It touches no file and no shared state, so every worker thread
// uses it at once. Sizes in the file are never trusted: anything that does
// not fit makes the file not valid, or gives no loop points.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Global/QX_PakFormat.h"

struct TWavFile {
  TWavHeader Header;
  // The PCM data (Header.DataSize bytes) inside the buffer that was parsed,
  // which must outlive it; none when the file is not valid.
  const uint8_t* PcmData = nullptr;
  // "RIFF", "WAVE", a format chunk of at least 16 bytes first, and a "data"
  // chunk of more than 0 bytes that lies wholly in the file.
  bool Valid = false;
};

// Parses a whole ".wav" file: header, format, chunk walk to "data", then
// the cue points behind the data. Odd-sized chunks are followed by a pad
// byte, which is skipped.
void ReadWavFromBuffer(const uint8_t* buffer, size_t length, TWavFile& wav);

// Loop points from the first "cue " chunk at or after `pos` (right after
// the PCM data): cue point 0 gives LoopStart, cue point 1 LoopEnd, in bytes.
// One cue point ends the loop at DataSize; two in falling order are swapped.
// A cue chunk whose points do not fit in it, or a sample rate of 0, gives
// no loop points.
void ReadCuePoints(const uint8_t* buffer, size_t length, size_t pos, TWavFile& wav);
