#include "installer-library/QXI_CompLines.h"

#include <utility>

#include "installer-library/QXI_CommandList.h"
#include "platform/ByteOrder.h"
#include "platform/buffer_type.h"

namespace {

constexpr size_t kRecordHead = 12;  // Id, Line, ParamCount
constexpr size_t kEmptyString = 2;  // a length of 0

bool IsPlaceholder(const TCompLine& line, const TCommandList& commands) {
  if (line.Id == 0 || line.Id == -1) return true;
  const TCommandClass* command = commands.Get(line.Id);
  return command && command->HeaderOnly;
}

}  // namespace

bool TCompLines::Store(const TCommandList& commands, Bytes& out) {
  if (Lines.size() > kMaxCompiledLines) return false;
  out.clear();
  PutU16(out, static_cast<uint16_t>(Lines.size()));
  for (size_t i = 0; i < Lines.size(); ++i) {
    const TCompLine& line = Lines[i];
    if (IsPlaceholder(line, commands)) {
      PutU32(out, 0xFFFFFFFFu);
      PutU32(out, 0xFFFFFFFFu);
      PutU32(out, 0);
      continue;
    }
    if (!commands.Get(line.Id)) return false;
    PutU32(out, static_cast<uint32_t>(line.Id));
    PutU32(out, static_cast<uint32_t>(i));
    PutU32(out, static_cast<uint32_t>(line.ParamCount()));
    for (const std::string& p : line.Params)
      if (!PutStr(out, p)) return false;
  }
  // Only a list that could be stored whole takes its stored positions.
  for (size_t i = 0; i < Lines.size(); ++i)
    if (!IsPlaceholder(Lines[i], commands)) Lines[i].Line = static_cast<int32_t>(i);
  return true;
}

bool TCompLines::LoadFromBuffer(const void* data, size_t size, std::string& reason) {
  auto refuse = [&](std::string text) {
    reason = std::move(text);
    return false;
  };
  reason.clear();
  if (size > UINT32_MAX) return refuse("A block of " + std::to_string(size) + " bytes is no compiled script");
  TBufferManager in(data, static_cast<uint32_t>(size));
  uint16_t count;
  if (!ReadWord(in, count)) return refuse(CutValueText(in, 0, "The line count", false));
  // Sizes are checked against what the block can hold before anything is
  // allocated for them.
  if (count * kRecordHead > in.Left())
    return refuse(std::to_string(count) + " lines need at least " + std::to_string(count * kRecordHead) +
                  " bytes, but only " + std::to_string(in.Left()) + " follow the count");
  std::vector<TCompLine> lines(count);
  for (int32_t i = 0; i < count; ++i) {
    TCompLine& line = lines[static_cast<size_t>(i)];
    const std::string name = "Line " + std::to_string(i);
    const uint32_t at = in.Position;
    int32_t paramCount;
    if (!ReadInt(in, line.Id) || !ReadInt(in, line.Line) || !ReadInt(in, paramCount))
      return refuse(CutValueText(in, at, name + "'s record", false));
    const std::string params = std::to_string(paramCount) + " parameters";
    if (line.Id == -1) {
      if (line.Line != -1 || paramCount != 0)
        return refuse(name + " is a placeholder with line " + std::to_string(line.Line) + " and " + params +
                      ", not -1 and 0");
      continue;
    }
    if (line.Id < 1 || line.Id > kCommandCount)
      return refuse(name + " has the id " + std::to_string(line.Id) + ", outside 1 to " +
                    std::to_string(kCommandCount));
    if (line.Line != i) return refuse(name + " is stored as line " + std::to_string(line.Line));
    if (paramCount < 0) return refuse(name + " has " + params);
    if (static_cast<size_t>(paramCount) * kEmptyString > in.Left())
      return refuse(name + " has " + params + ", more than the " + std::to_string(in.Left()) + " bytes left can hold");
    line.Params.resize(static_cast<size_t>(paramCount));
    for (size_t p = 0; p < line.Params.size(); ++p) {
      const uint32_t from = in.Position;
      if (!ReadStr(in, line.Params[p]))
        return refuse(CutValueText(in, from, "Parameter " + std::to_string(p) + " of " + name, true));
    }
  }
  if (in.Left() != 0)
    return refuse(std::to_string(in.Left()) + " bytes follow the last line at byte " + std::to_string(in.Position));
  Lines = std::move(lines);
  return true;
}
