// An installer's data archive as Setup reads it from its own program file:
// the table and trailer, the check of every entry, the group-0 items it
// loads, every entry's contents, each group extracted into a folder, and
// the raw entries read in pieces as large ones are.
#include <cstdlib>
#include <set>

#include "Global/QXI_PakFile.h"
#include "fuzz/FuzzSupport.h"
#include "installer-library/QXI_PakExtract.h"
#include "installer-library/SE_Uninstall_List.h"

namespace {

// Extraction reports nothing to a window here.
struct Quiet : TExtractProgress {
  void Status(const std::u16string&) override {}
  void Step() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fuzz_support;
  std::string path = WriteFile("setup.exe", data, size);
  TPak pak(path, false, false);
  pak.OnReport = [](const std::string&) {};
  if (pak.Entries.size() != pak.EntryCount) std::abort();
  // Readers refuse through their results: any exception escaping is a fault.
  uint32_t found = 0;
  pak.FindFile("SetupInfo", 0, found);
  pak.FindFile("CompiledLines", 0, found);
  std::set<uint16_t> groups;
  for (size_t i = 0; i < pak.Entries.size(); ++i) {
    const TPakFile& e = pak.Entries[i];
    int index = static_cast<int>(i);
    groups.insert(e.Group);
    pak.VerifyEntry(index);
    Bytes contents = pak.GetData(index);
    if (!contents.empty() && contents.size() != e.OriginalSize) std::abort();
    if (e.StoredSize == 0)
      pak.ReadStoredInPieces(
          index, [](const uint8_t*, size_t) { return true; }, 64);
  }
  Quiet quiet;
  size_t extracted = 0;
  for (uint16_t group : groups) {
    if (++extracted > 4) break;
    std::string dir = FreshFolder("out");
    std::string error;
    ExtractGroup(pak, dir, group, error, quiet);
  }
  UninstallList.Clear();
  return 0;
}
