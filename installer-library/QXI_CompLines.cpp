#include "installer-library/QXI_CompLines.h"

#include <utility>

#include "installer-library/QXI_CommandList.h"
#include "platform/ByteOrder.h"
#include "platform/File.h"
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

bool TCompLines::SaveToFile(const std::string& path, const TCommandList& commands) {
  Bytes out;
  if (!Store(commands, out)) return false;
  platform::File file;
  return file.Open(path, platform::OpenMode::Create) && file.Write(out.data(), out.size());
}

bool TCompLines::LoadFromBuffer(const void* data, size_t size) {
  if (size > UINT32_MAX) return false;
  TBufferManager in(data, static_cast<uint32_t>(size));
  uint16_t count;
  // Sizes are checked against what the block can hold before anything is
  // allocated for them.
  if (!ReadWord(in, count) || count * kRecordHead > in.Left()) return false;
  std::vector<TCompLine> lines(count);
  for (int32_t i = 0; i < count; ++i) {
    TCompLine& line = lines[static_cast<size_t>(i)];
    int32_t paramCount;
    if (!ReadInt(in, line.Id) || !ReadInt(in, line.Line) || !ReadInt(in, paramCount)) return false;
    if (line.Id == -1) {
      if (line.Line != -1 || paramCount != 0) return false;
      continue;
    }
    if (line.Id < 1 || line.Id > kCommandCount || line.Line != i || paramCount < 0 ||
        static_cast<size_t>(paramCount) * kEmptyString > in.Left())
      return false;
    line.Params.resize(static_cast<size_t>(paramCount));
    for (std::string& p : line.Params)
      if (!ReadStr(in, p)) return false;
  }
  if (in.Left() != 0) return false;
  Lines = std::move(lines);
  return true;
}
