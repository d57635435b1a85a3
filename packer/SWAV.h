// The packer's WAV reader: walks the RIFF chunks of a ".wav" file held in
// memory for its format and PCM data, and takes loop points from its cue
// points. It touches no file and no shared state, so every worker thread
// uses it at once. Sizes in the file are never trusted: anything that does
// not fit makes the file not valid, or gives no loop points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Global/QX_PakFormat.h"

struct TWavFile {
  TWavHeader Header;
  // The PCM data (Header.DataSize bytes) inside the buffer that was parsed,
  // which must outlive it; none when the file is not valid.
  const uint8_t* PcmData = nullptr;
  // "RIFF", "WAVE", a format chunk of at least 16 bytes first (an
  // extensible one of 40, with a sub-format that has a format tag), and a
  // "data" chunk with at least one byte in the file.
  bool Valid = false;
  // Why the file is not valid, with the numbers that did not fit; empty
  // when it is.
  std::string Detail;
};

// Parses a whole ".wav" file: header, format, chunk walk to "data", then
// the cue points behind the data. Odd-sized chunks are followed by a pad
// byte, which is skipped. The header's FmtSize is 16 and an extensible
// format's FormatTag is its sub-format's tag. A data chunk that claims more
// bytes than the file holds (a header streamed to a pipe, a file cut short)
// has the bytes that are there.
void ReadWavFromBuffer(const uint8_t* buffer, size_t length, TWavFile& wav);

// Loop points from the first "cue " chunk at or after `pos` (right after
// the PCM data): cue point 0 gives LoopStart, cue point 1 LoopEnd, in bytes.
// One cue point ends the loop at DataSize; two in falling order are swapped.
// A point past DataSize is dropped: without the first there is no loop,
// without the second the loop ends at DataSize. A cue chunk whose points do
// not fit in it, or a sample rate of 0, gives no loop points.
void ReadCuePoints(const uint8_t* buffer, size_t length, size_t pos, TWavFile& wav);
