// A program file's appended blocks as the exception hook reads them: the
// block index at the end, the embedded address map it points to, and the
// lookups of a trace. An input may carry a second part, the text map beside
// the program, which is read when the program has no block.
#include <cstdio>
#include <cstdlib>

#include "diagnostics/SEXEExtra.h"
#include "diagnostics/SEXEMap.h"
#include "fuzz/FuzzSupport.h"

namespace {

void LookUp(const TEXEMap& map) {
  size_t n = 0;
  for (const TEXEMapLine& line : map.Lines()) {
    if (++n > 16) break;
    map.GetAddressInfo(line.Address);
    map.GetAddressInfo(uint64_t{line.Address} + 7);
  }
  map.GetAddressInfo(kEXEMapCodeStart);
  map.GetAddressInfo(0);
  map.GetAddressInfo(UINT64_MAX);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_support;
  std::vector<std::string_view> parts = Split(data, size, kPartMarker);
  std::string path = WriteFile("program.exe", parts[0].data(), parts[0].size());
  std::string textMap = WorkFile("program.map");
  if (parts.size() > 1)
    WriteFile("program.map", parts[1].data(), parts[1].size());
  else
    std::remove(textMap.c_str());
  {
    platform::File file(path, platform::OpenMode::Read);
    TEXEExtraIndex index;
    index.Read(file);
    FindEXEExtra(kEXEMapBlockId, file);
  }
  int64_t blockSize = TEXEMap::GetEmbeddedMapSize(path);
  if (blockSize < 0 || blockSize > static_cast<int64_t>(parts[0].size())) std::abort();
  TEXEMap map;
  map.LoadFromFile(path, {"keepexemap"});
  LookUp(map);
  return 0;
}
