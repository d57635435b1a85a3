// The compiled lines as Setup loads them from its archive. Lines that load
// store again, with the installer's command table, to the very same bytes.
#include <cstdlib>
#include <cstring>

#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_Commands.h"
#include "installer-library/QXI_CompLines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TCommandList* commands = [] {
    auto* list = new TCommandList;
    RegisterCommands(*list);
    return list;
  }();
  TCompLines lines;
  std::string reason;
  if (!lines.LoadFromBuffer(data, size, reason)) {
    // Refused input leaves the lines as they were, and says why.
    if (!lines.Lines.empty() || reason.empty()) std::abort();
    return 0;
  }
  // A header-only command stored whole is not what the writer makes (it
  // leaves a placeholder), so only other lines must come back byte for byte.
  for (const TCompLine& line : lines.Lines) {
    TCommandClass* command = line.Id > 0 ? commands->Get(line.Id) : nullptr;
    if (command && command->HeaderOnly) return 0;
  }
  Bytes again;
  if (!lines.Store(*commands, again) || again.size() != size || std::memcmp(again.data(), data, size) != 0)
    std::abort();
  return 0;
}
