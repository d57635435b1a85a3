// The script compiler on a script text (lines cut at carriage returns, as
// the editor hands them over), then what a successful run stores: the
// compiled lines and the setup information, loaded back as Setup loads
// them. Stored lines come back as written, label and header lines as
// placeholders.
#include <cstdlib>

#include "compiler/TCompiler.h"
#include "fuzz/FuzzSupport.h"
#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_Commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TCommandList* commands = [] {
    auto* list = new TCommandList;
    RegisterCommands(*list);
    return list;
  }();
  std::vector<std::string> lines;
  for (std::string_view line : fuzz_support::Split(data, size, "\r")) lines.emplace_back(line);
  TCompiler compiler(commands);
  compiler.ProgramDir = fuzz_support::WorkDir();
  compiler.Compile(lines, fuzz_support::WorkDir());
  if (!compiler.Error.Text.empty()) return 0;

  std::vector<TCompLine> compiled = compiler.CompLines.Lines;
  Bytes stored;
  if (!compiler.CompLines.Store(*commands, stored)) return 0;  // too large to store: refused, not lost
  TCompLines loaded;
  if (!loaded.LoadFromBuffer(stored.data(), stored.size()) || loaded.Lines.size() != compiled.size()) std::abort();
  for (size_t i = 0; i < compiled.size(); ++i) {
    const TCompLine& back = loaded.Lines[i];
    if (back.Id == -1) {
      TCommandClass* command = compiled[i].Id > 0 ? commands->Get(compiled[i].Id) : nullptr;
      if (compiled[i].Id != 0 && !(command && command->HeaderOnly)) std::abort();
    } else if (back.Id != compiled[i].Id || back.Params != compiled[i].Params || back.Line != static_cast<int32_t>(i)) {
      std::abort();
    }
  }
  Bytes info;
  TSetupInfoFile infoBack;
  if (compiler.SetupInfo.Store(info) &&
      (!infoBack.LoadFromBuffer(info.data(), info.size()) || !(infoBack == compiler.SetupInfo)))
    std::abort();
  return 0;
}
