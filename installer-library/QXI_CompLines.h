// The compiled script: lines of command id and parameters. Its stored form
// "CompiledLines" keeps every line in its place (jump targets are line
// indices) but reduces label lines and header-only commands to placeholders,
// so label names and header values never reach the installer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Global/ZCodec.h"

class TCommandList;

// The stored counts are 16-bit.
constexpr size_t kMaxCompiledLines = 65535;

struct TCompLine {
  // 0 a label line (its one parameter is the name), -1 a placeholder,
  // 1.. the id of a registered command.
  int32_t Id = 0;
  std::vector<std::string> Params;
  // In the compiler the source line the compiled line came from; once
  // stored, the line's own position, or -1 for a placeholder.
  int32_t Line = 0;

  int32_t ParamCount() const { return static_cast<int32_t>(Params.size()); }
  bool operator==(const TCompLine&) const = default;
};

class TCompLines {
 public:
  std::vector<TCompLine> Lines;

  // The stored form, with the header-only flags taken from `commands`; sets
  // the Line of every line written whole to its position. False (nothing
  // changed) when the lines cannot be stored: more than 65,535 lines, a
  // parameter longer than 65,535 bytes, or an id that is neither a label,
  // a placeholder nor a registered command.
  bool Store(const TCommandList& commands, Bytes& out);
  // Replaces the lines by those stored in the caller's block. A block that
  // is cut short, holds more than the lines, or holds a record the writer
  // never produces (an id outside the command range, a Line that is not the
  // record's own position, a malformed placeholder, more parameters than
  // the block can hold) is damaged: false, with the reason and its numbers
  // in `reason`, and the lines stay as they were.
  bool LoadFromBuffer(const void* data, size_t size, std::string& reason);
  bool LoadFromBuffer(const void* data, size_t size) {
    std::string reason;
    return LoadFromBuffer(data, size, reason);
  }
};
